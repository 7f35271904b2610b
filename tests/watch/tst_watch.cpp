// Whether readings are live, what became of a command, and a typed set-point, on records as the form's
// poll cycle makes them.

#include "HistoryTestData.h"
#include "LineWatch.h"
#include "ModbusFrame.h"
#include "SetPoint.h"

#include <QTest>

namespace {

constexpr quint8 kAddress = 1;

// One record of the form's line about `address`, stamped `us` microseconds into the run.
TrafficRecord Rec(TrafficDirection direction, Verdict verdict, quint8 function, quint16 reg,
                  quint16 countOrValue, qint64 us, qint64 requestUs, quint8 address = kAddress) {
    TrafficRecord r =
        Record(direction, verdict, function, reg, countOrValue, 1'700'000'000'000 + us / 1000, address);
    r.monotonicUs = us;
    r.requestUs = requestUs;
    if (direction == TrafficDirection::Rx && verdict == Verdict::Accepted)
        r.bytes = QByteArray(kReadReplyLength, '\0');
    if (direction == TrafficDirection::Rx && verdict == Verdict::Accepted && reg == 0)
        r.bytes[3 + 2 * 4 + 1] = char(250); // register 4 holds 250
    return r;
}

} // namespace

class TestWatch : public QObject {
    Q_OBJECT
private slots:
    void readingsLiveAndStale_data();
    void readingsLiveAndStale();
    void commandFates_data();
    void commandFates();
    void setPointParsing_data();
    void setPointParsing();
};

void TestWatch::readingsLiveAndStale_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("live");
    QTest::addColumn<bool>("everRead");
    // o open, c closed, p polling on, q polling off, a accepted reply, m missing answer, x refused reply
    // (crc), r request refused by the port, b accepted reply from another address, 2 the address box
    // set to another address.
    QTest::newRow("nothing yet") << "op" << false << false;
    QTest::newRow("first reply") << "opa" << true << true;
    QTest::newRow("reply while polling off") << "oa" << false << true;
    QTest::newRow("port closed") << "opac" << false << true;
    QTest::newRow("reopened, no reply yet") << "opaco" << false << true;
    QTest::newRow("reopened and answered") << "opacoa" << true << true;
    QTest::newRow("polling switched off") << "opaq" << false << true;
    QTest::newRow("two misses") << "opamm" << true << true;
    QTest::newRow("three misses") << "opammm" << false << true;
    QTest::newRow("misses broken by a reply") << "opammamm" << true << true;
    QTest::newRow("three refused replies") << "opaxxx" << false << true;
    QTest::newRow("refused by the port") << "opamrx" << false << true;
    QTest::newRow("back after three misses") << "opammma" << true << true;
    QTest::newRow("another slave's reply") << "opmmmb" << false << false;
    QTest::newRow("another address chosen") << "opa2" << false << true;
}

void TestWatch::readingsLiveAndStale() {
    QFETCH(QString, script);
    QFETCH(bool, live);
    QFETCH(bool, everRead);
    LineWatch watch;
    watch.SetDevice(kDevice);
    QList<bool> changes;
    connect(&watch, &LineWatch::liveChanged, this, [&changes](bool now) { changes << now; });
    qint64 us = 1'000'000;
    for (QChar step : script) {
        us += 1'000'000;
        const auto take = [&](TrafficDirection d, Verdict v, quint8 address = kAddress) {
            watch.Take(Rec(d, v, kReadHoldingRegisters, 0, 10, us, us - 150'000, address));
        };
        switch (step.toLatin1()) {
        case 'o':
            watch.OnPort(PortChange::Opened);
            break;
        case 'c':
            watch.OnPort(PortChange::Closed);
            break;
        case 'p':
            watch.SetPolling(true);
            break;
        case 'q':
            watch.SetPolling(false);
            break;
        case 'a':
            take(TrafficDirection::Rx, Verdict::Accepted);
            break;
        case 'b':
            take(TrafficDirection::Rx, Verdict::Accepted, 2);
            break;
        case 'm':
            take(TrafficDirection::Missing, Verdict::NoReply);
            break;
        case 'x':
            take(TrafficDirection::Rx, Verdict::Crc);
            break;
        case 'r':
            take(TrafficDirection::Tx, Verdict::Refused);
            break;
        case '2':
            watch.SetDevice(DeviceKey{kDevice.port, 2});
            break;
        }
    }
    QCOMPARE(watch.Readings().Live(), live);
    QCOMPARE(watch.Readings().LastUpdateUtcMs().has_value(), everRead);
    // Each change is told once: the signals alternate and end in the state.
    for (int i = 1; i < changes.size(); ++i)
        QVERIFY(changes[i] != changes[i - 1]);
    if (!changes.isEmpty())
        QCOMPARE(changes.last(), live);
}

void TestWatch::commandFates_data() {
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("state");
    QTest::addColumn<qint64>("ms");
    using S = CommandFate::State;
    // e echo, x exception 02, c garbled echo (crc), m missing echo, r read holding 250, p port refused,
    // o an echo of an older command, v a read requested before the write, g the form gave the command
    // up; a leading - keeps the request off the wire
    QTest::newRow("waiting") << true << "" << int(S::Sending) << qint64(0);
    QTest::newRow("confirmed") << true << "e" << int(S::Confirmed) << qint64(180);
    QTest::newRow("refused by the device") << true << "x" << int(S::Refused) << qint64(0);
    QTest::newRow("refused by the port") << true << "p" << int(S::Refused) << qint64(0);
    QTest::newRow("no answer") << true << "m" << int(S::NoAnswer) << qint64(0);
    QTest::newRow("garbled echo") << true << "c" << int(S::Unconfirmed) << qint64(0);
    QTest::newRow("garbled, then read back") << true << "cr" << int(S::Confirmed) << qint64(1180);
    QTest::newRow("lost, read before the write") << true << "mv" << int(S::NoAnswer) << qint64(0);
    QTest::newRow("an older command's echo") << true << "o" << int(S::Sending) << qint64(0);
    QTest::newRow("polling off") << false << "" << int(S::NotSent) << qint64(0);
    QTest::newRow("given up before the wire") << true << "-g" << int(S::LineBusy) << qint64(0);
    QTest::newRow("given up unanswered") << true << "mg" << int(S::NoAnswer) << qint64(0);
    QTest::newRow("given up after its echo") << true << "eg" << int(S::Confirmed) << qint64(180);
}

void TestWatch::commandFates() {
    QFETCH(bool, sent);
    QFETCH(QString, outcome);
    QFETCH(int, state);
    QFETCH(qint64, ms);
    LineWatch watch;
    watch.SetDevice(kDevice);
    watch.OnPort(PortChange::Opened);
    // Register 4 to 250 (25.0 %), given now and on the wire 20 ms later.
    const qint64 given = TrafficMonotonicUs();
    const qint64 sentUs = given + 20'000;
    watch.OnCommand(4, 250, sent);
    if (sent && !outcome.startsWith(u'-'))
        watch.Take(Rec(TrafficDirection::Tx, outcome == u"p" ? Verdict::Refused : Verdict::Sent,
                       kWriteSingleRegister, 4, 250, sentUs, sentUs));
    const qint64 answerUs = given + 180'000;
    for (QChar step : outcome) {
        const auto echo = [&](Verdict v, quint16 value = 250) {
            TrafficRecord r = Rec(TrafficDirection::Rx, v, kWriteSingleRegister, 4, value, answerUs, sentUs);
            if (v == Verdict::Exception)
                r.exceptionCode = 2;
            watch.Take(r);
        };
        switch (step.toLatin1()) {
        case 'e':
            echo(Verdict::Confirmed);
            break;
        case 'x':
            echo(Verdict::Exception);
            break;
        case 'c':
            echo(Verdict::Crc);
            break;
        case 'o':
            echo(Verdict::Confirmed, 240);
            break;
        case 'm':
            watch.Take(Rec(TrafficDirection::Missing, Verdict::NoReply, kWriteSingleRegister, 4, 250,
                           answerUs, sentUs));
            break;
        case 'r':
            watch.Take(Rec(TrafficDirection::Rx, Verdict::Accepted, kReadHoldingRegisters, 0, 10,
                           given + 1'180'000, given + 1'030'000));
            break;
        case 'g':
            watch.OnCommandEnded();
            break;
        case 'v':
            watch.Take(Rec(TrafficDirection::Rx, Verdict::Accepted, kReadHoldingRegisters, 0, 10,
                           given + 1'180'000, given));
            break;
        }
    }
    const std::optional<CommandFate::Fate>& fate = watch.Commands().Current();
    QVERIFY(fate);
    QCOMPARE(int(fate->state), state);
    QCOMPARE(fate->reg, quint16(4));
    QCOMPARE(fate->value, quint16(250));
    QCOMPARE(fate->ms, ms);
    if (outcome == u"x") {
        QCOMPARE(fate->detail.reason, CommandDetail::Reason::Answer);
        QCOMPARE(fate->detail.exceptionCode, quint8(2));
    }
}

void TestWatch::setPointParsing_data() {
    QTest::addColumn<int>("quantity");
    QTest::addColumn<double>("max");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("raw");
    using E = ParsedSetPoint::Error;
    const int setting = int(Quantity::InputSetting), maxOut = int(Quantity::MaxOutput),
              minOut = int(Quantity::MinOutput);
    QTest::newRow("10.00 hit exactly") << setting << 10.0 << "C"
                                       << "10.00" << int(E::None) << 1000;
    QTest::newRow("smallest step") << setting << 10.0 << "C"
                                   << " 0.01 " << int(E::None) << 1;
    QTest::newRow("between two steps") << setting << 10.0 << "C"
                                       << "5.555" << int(E::TooManyDecimals) << 0;
    QTest::newRow("above the knob") << setting << 10.0 << "C"
                                    << "10.01" << int(E::OutOfRange) << 0;
    QTest::newRow("below zero") << setting << 10.0 << "C"
                                << "-0.5" << int(E::OutOfRange) << 0;
    QTest::newRow("letters") << setting << 10.0 << "C"
                             << "5 %" << int(E::NotANumber) << 0;
    QTest::newRow("empty") << setting << 10.0 << "C"
                           << "  " << int(E::Empty) << 0;
    QTest::newRow("not a finite number") << setting << 10.0 << "C"
                                         << "inf" << int(E::NotANumber) << 0;
    QTest::newRow("maximum output") << maxOut << 100.0 << "C"
                                    << "100" << int(E::None) << 1000;
    QTest::newRow("comma decimals") << maxOut << 100.0 << "de_DE"
                                    << "25,5" << int(E::None) << 255;
    QTest::newRow("point in a comma locale") << maxOut << 100.0 << "de_DE"
                                             << "25.5" << int(E::None) << 255;
    QTest::newRow("minimum output's top") << minOut << 40.0 << "C"
                                          << "40.1" << int(E::OutOfRange) << 0;
}

void TestWatch::setPointParsing() {
    QFETCH(int, quantity);
    QFETCH(double, max);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(int, error);
    QFETCH(int, raw);
    const SetPointRange range{Quantity(quantity), 0, max};
    const ParsedSetPoint parsed = ParseSetPoint(range, text, QLocale(locale));
    QCOMPARE(int(parsed.error), error);
    if (parsed.error == ParsedSetPoint::Error::None) {
        QCOMPARE(int(parsed.raw), raw);
        // What a knob at that value would write.
        QCOMPARE(parsed.raw, SetPointRaw(Quantity(quantity), parsed.value));
    }
}

QTEST_GUILESS_MAIN(TestWatch)
#include "tst_watch.moc"
