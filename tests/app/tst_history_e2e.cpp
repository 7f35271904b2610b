// The panel records its history while polling the device simulator through line faults, splits and
// delays among them, while the operator flips the run switch and turns knobs. The judge is the simulator's
// line log, the bytes it really put on the line after each fault, decoded here and not by the panel: every
// recorded block is a reply that went out whole and valid for that block, every such reply is recorded, and
// each command ends in the history with the fate that the device and the line gave it.
#include "CRC16.h"
#include "Controls.h"
#include "EventDetector.h"
#include "Fonts.h"
#include "HistoryHook.h"
#include "MainWindow.h"
#include "SimulatorProcess.h"
#include "iKnob.h"
#include "iSwitchLed.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>

namespace {

// The master ends a chunk after more than 100 ms of silence; the faults leave either no gap or 250 ms
// and more, so the bursts of the log join into the chunks the panel received.
constexpr qint64 kChunkGapMs = 100;
constexpr int kSlave = 1;
// The faults of the run and their share of the replies: each must hit a read reply at least once.
constexpr struct {
    const char* name;
    const char* probability;
} kFaults[] = {{"crc", "0.08"},     {"split", "0.08"},     {"delay", "0.08"},    {"garbage", "0.08"},
               {"noreply", "0.06"}, {"exception", "0.06"}, {"otheraddr", "0.06"}};
// Its faults hit every kind of read and spoil the answers of a knob and of the switch within the first
// two dozen replies; the run goes on until they have, whatever the seed.
constexpr const char* kSeed = "315";

quint16 Crc16(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// A whole frame with its CRC: the CRC over all of it is zero.
bool CrcOk(const QByteArray& frame) {
    return frame.size() >= 4 && Crc16(frame) == 0;
}

quint16 Word(const QByteArray& bytes, int at) {
    return quint16(quint8(bytes[at]) << 8 | quint8(bytes[at + 1]));
}

// A reply of ten registers from our slave at the start of `bytes`, complete and with a good CRC.
bool StartsWithReadReply(const QByteArray& bytes) {
    return bytes.size() >= 25 && bytes[0] == kSlave && bytes[1] == 0x03 && bytes[2] == 20 &&
           CrcOk(bytes.left(25));
}

// The simulator's line log (z7sim --line-log): per reply the request it answers, the device's answer,
// the fault, and the bursts that went on the line, joined into chunks as the master's silence rule does.
struct Witness {
    struct Reply {
        qint64 requestMs = 0;
        QByteArray request; // as the device took it
        QByteArray answer;  // as the device gave it, before the line's fault
        QString fault;
        QList<int> chunks; // the chunks its bursts went into
    };
    struct Chunk {
        qint64 lastMs = 0; // when its last burst was out
        QByteArray bytes;
        QList<int> replies; // whose bursts it holds, in order
    };
    QMap<int, Reply> replies; // by the simulator's reply number
    QList<Chunk> chunks;

    static Witness Read(const QString& path) {
        Witness w;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return w;
        const QList<QByteArray> lines = file.readAll().split('\n');
        // The last element is what follows the last line end: empty, or a line still being written.
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            const QList<QByteArray> words = lines[i].split(' ');
            if (words.size() < 3)
                continue;
            const qint64 ms =
                QDateTime::fromString(QString::fromLatin1(words[0]), Qt::ISODateWithMs).toMSecsSinceEpoch();
            const int n = words[1].toInt();
            const QByteArray kind = words[2];
            const qsizetype hexFrom = kind == "reply" ? 4 : 3;
            QByteArray bytes;
            for (qsizetype k = hexFrom; k < words.size(); ++k)
                bytes.append(char(words[k].toInt(nullptr, 16)));
            Reply& reply = w.replies[n];
            if (kind == "request") {
                reply.requestMs = ms;
                reply.request = bytes;
            } else if (kind == "reply") {
                reply.fault = QString::fromLatin1(words.value(3));
                reply.answer = bytes;
            } else if (kind == "line") {
                if (w.chunks.isEmpty() || ms - w.chunks.last().lastMs > kChunkGapMs)
                    w.chunks.append(Chunk{});
                Chunk& chunk = w.chunks.last();
                chunk.lastMs = ms;
                chunk.bytes += bytes;
                if (!chunk.replies.contains(n))
                    chunk.replies << n;
                if (!reply.chunks.contains(int(w.chunks.size() - 1)))
                    reply.chunks << int(w.chunks.size() - 1);
            }
        }
        return w;
    }
};

// What a write's answer was on the line, for the fate the panel may give the command.
enum class EchoOnLine { Whole, Exception, LostOrGarbled };

EchoOnLine Echo(const Witness& w, const Witness::Reply& r) {
    if (r.chunks.size() != 1)
        return EchoOnLine::LostOrGarbled; // nothing, or cut in two
    const Witness::Chunk& chunk = w.chunks[r.chunks.first()];
    if (chunk.replies.size() == 1 && chunk.bytes == r.request && CrcOk(chunk.bytes))
        return EchoOnLine::Whole;
    if (chunk.replies.size() == 1 && chunk.bytes.size() == 5 && chunk.bytes[0] == kSlave &&
        quint8(chunk.bytes[1]) == 0x86 && CrcOk(chunk.bytes))
        return EchoOnLine::Exception;
    return EchoOnLine::LostOrGarbled;
}

bool IsWrite(const Witness::Reply& r) {
    return r.request.size() == 8 && r.request[1] == 0x06;
}

} // namespace

class TestHistoryE2E : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void recordsExactlyTheRepliesThatWentOutWhole();
    void commandsEndWithTheFateTheLineGaveThem();
    void eventsOfTheRun();

private:
    QTemporaryDir m_dir;
    Witness m_witness;
    QList<StoredBlock> m_blocks;
    QList<StoredEvent> m_events;
    QString m_counts; // the simulator's line of counts
};

void TestHistoryE2E::initTestCase() {
    const QString log = m_dir.filePath(QStringLiteral("line.log"));
    TSimulatorProcess sim;
    QStringList args{"--link", sim.LinkPath(), "--alarm", "0x105", "--seed", kSeed, "--line-log", log};
    for (const auto& fault : kFaults)
        args << QStringLiteral("--fault-") + QLatin1String(fault.name) << QLatin1String(fault.probability);
    QVERIFY(sim.Start(QStringLiteral(Z7_SIM), args, sim.LinkPath()));
    const QString path = m_dir.filePath(QStringLiteral("e2e.sqlite"));
    TMainWindow window;
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(window.AttachHistory(&hook, path));
    TForm1* form = window.Form();
    window.show();

    // Accepted deliveries only pace the operator: a command is given just after one, when no answer is
    // due on the line. Nothing below is judged by the panel's own verdicts.
    int accepted = 0;
    connect(form, &TForm1::trafficRecorded, this, [&](const TrafficRecord& r) {
        accepted += r.direction == TrafficDirection::Rx && r.verdict == Verdict::Accepted;
    });
    const auto nextAccepted = [&] {
        const int before = accepted;
        return QTest::qWaitFor([&] { return accepted > before; }, 15000);
    };
    form->PresetPort(sim.LinkPath());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(accepted >= 3, 15000);

    // The run/stop switch (the plant starts, so the readings move) and the knobs in turn, each knob
    // with a new value. Three accepted reads cover the three blocks, so a register is read back before
    // it is written again.
    const auto turn = [](TiKnob* knob, double position) {
        knob->SetPosition(position);
        QTest::mouseClick(knob, Qt::LeftButton, {}, knob->rect().center());
    };
    const QList<std::function<void(int round)>> commands = {
        [&](int) {
            QTest::mouseClick(form->iSwitchLed1, Qt::LeftButton, {}, form->iSwitchLed1->rect().center());
        },
        [&](int round) { turn(form->iKnob2, 250 + 10 * round); },
        [&](int round) { turn(form->iKnob3, 40 + 5 * round); },
        [&](int round) { turn(form->iKnob1, 300 + 10 * round); },
    };
    const auto enough = [&] {
        const Witness w = Witness::Read(log);
        int whole = 0, spoilt = 0;
        QSet<QString> readFaults;
        for (const Witness::Reply& r : w.replies) {
            if (!IsWrite(r)) {
                readFaults << r.fault;
                continue;
            }
            const EchoOnLine echo = Echo(w, r);
            whole += echo == EchoOnLine::Whole;
            spoilt += echo == EchoOnLine::LostOrGarbled;
        }
        return whole >= 1 && spoilt >= 1 &&
               std::all_of(std::begin(kFaults), std::end(kFaults),
                           [&](const auto& f) { return readFaults.contains(QLatin1String(f.name)); });
    };
    const QDeadlineTimer deadline(28000);
    for (int k = 0; k < commands.size() || (!enough() && !deadline.hasExpired()); ++k) {
        commands[k % commands.size()](k / int(commands.size()));
        QCOMPARE(form->Poll().WritePending(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(form->Poll().WritePending(), 0, 5000);
        QVERIFY(nextAccepted());
    }
    // The last commands read back before the port closes.
    for (int k = 0; k < 3; ++k)
        QVERIFY(nextAccepted());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    m_counts = QString::fromLocal8Bit(sim.Stop());
    hook.Recorder().Flush();

    m_witness = Witness::Read(log);
    QVERIFY2(enough(), qPrintable(m_counts));
    HistoryStore store;
    QString why;
    QVERIFY2(store.Open(path, HistoryStore::Access::ReadOnly, &why), qPrintable(why));
    store.ForEachBlock(0, kNoLimitFrom, kNoLimitTo, [&](const StoredBlock& b) {
        m_blocks << b;
        return true;
    });
    store.ForEachEvent(0, kNoLimitFrom, kNoLimitTo, [&](const StoredEvent& e) { m_events << e; });
}

void TestHistoryE2E::recordsExactlyTheRepliesThatWentOutWhole() {
    // Each block comes from the last chunk that was on the line a silence interval before it was
    // recorded: that chunk starts with a whole reply for this block, unchanged from the device, and its
    // registers are the block's.
    QSet<int> recorded; // chunks
    for (const StoredBlock& b : m_blocks) {
        const QString at = QString::number(b.utcMs);
        int c = int(m_witness.chunks.size()) - 1;
        while (c >= 0 && m_witness.chunks[c].lastMs > b.utcMs - kChunkGapMs + 5)
            --c;
        QVERIFY2(c >= 0 && b.utcMs - m_witness.chunks[c].lastMs < 1000, qPrintable(at));
        const Witness::Chunk& chunk = m_witness.chunks[c];
        QVERIFY2(StartsWithReadReply(chunk.bytes), qPrintable(at + u' ' + chunk.bytes.toHex(' ')));
        const Witness::Reply reply = m_witness.replies.value(chunk.replies.first());
        QVERIFY2(chunk.bytes.left(25) == reply.answer, qPrintable(at));
        QVERIFY2(reply.fault == QLatin1String("good") || reply.fault == QLatin1String("delay"),
                 qPrintable(at + u' ' + reply.fault));
        QVERIFY2(reply.request.size() == 8 && reply.request[1] == 0x03 && Word(reply.request, 2) == b.block &&
                     Word(reply.request, 4) == 10,
                 qPrintable(at + u' ' + reply.request.toHex(' ')));
        for (const QuantityInfo& q : kQuantities)
            if (b.Has(q.quantity))
                QCOMPARE(b.raw[size_t(q.quantity)], qint32(Word(chunk.bytes, 3 + 2 * (q.reg - b.block))));
        QVERIFY2(!recorded.contains(c), qPrintable(at));
        recorded << c;
    }

    // And every reply that went out whole on its own, before the next request, is in the history; only
    // those the closing port may have cut off are spared.
    qint64 closedMs = 0;
    for (const StoredEvent& e : m_events)
        if (e.event.kind == EventKind::PortClose)
            closedMs = e.event.utcMs;
    QVERIFY(closedMs > 0);
    int whole = 0;
    for (int c = 0; c < m_witness.chunks.size(); ++c) {
        const Witness::Chunk& chunk = m_witness.chunks[c];
        if (chunk.replies.size() != 1 || chunk.bytes.size() != 25 || !StartsWithReadReply(chunk.bytes))
            continue;
        const int n = chunk.replies.first();
        const auto next = m_witness.replies.constFind(n + 1);
        if ((next != m_witness.replies.cend() && next->requestMs <= chunk.lastMs) ||
            chunk.lastMs > closedMs - 500)
            continue;
        ++whole;
        QVERIFY2(recorded.contains(c),
                 qPrintable(QStringLiteral("reply %1: %2").arg(n).arg(chunk.bytes.toHex(' '))));
    }
    QVERIFY2(whole >= 5, qPrintable(m_counts));
}

void TestHistoryE2E::commandsEndWithTheFateTheLineGaveThem() {
    QList<const Witness::Reply*> writes;
    for (const Witness::Reply& r : m_witness.replies)
        if (IsWrite(r))
            writes << &r;
    QStringList commands;
    for (const StoredEvent& e : m_events)
        if (e.event.kind == EventKind::Command)
            commands << e.event.detail;
    QCOMPARE(commands.size(), writes.size());
    QCOMPARE(TSimulatorProcess::Count(m_counts.toLocal8Bit(), "writes"), int(writes.size()));

    int whole = 0, spoilt = 0;
    for (int k = 0; k < writes.size(); ++k) {
        const Witness::Reply& w = *writes[k];
        const QString command = CommandDetail{Word(w.request, 2), Word(w.request, 4)}.Text();
        QCOMPARE(commands[k], command);
        // Its outcomes, as the history tells them.
        QStringList fates;
        for (const StoredEvent& e : m_events)
            if (e.event.kind != EventKind::Command &&
                (e.event.detail == command || e.event.detail.startsWith(command + u' ')))
                fates << QString::fromLatin1(EventKindKeyword(e.event.kind));
        const QString seen = QStringLiteral("%1 (%2): %3").arg(command, w.fault, fates.join(u' '));
        switch (Echo(m_witness, w)) {
        case EchoOnLine::Whole:
            ++whole;
            QVERIFY2(fates == QStringList{QStringLiteral("command-confirmed")}, qPrintable(seen));
            break;
        case EchoOnLine::Exception:
            // Refused, as far as anyone on the line can tell.
            QVERIFY2(fates == QStringList{QStringLiteral("command-refused")}, qPrintable(seen));
            break;
        case EchoOnLine::LostOrGarbled: {
            // Open until the register is read back, which shows what the device did.
            ++spoilt;
            const QString done = w.answer == w.request ? QStringLiteral("command-confirmed")
                                                       : QStringLiteral("command-refused");
            QVERIFY2(!fates.isEmpty() && fates.last() == done, qPrintable(seen));
            QVERIFY2(fates.count(QStringLiteral("command-unconfirmed")) == fates.size() - 1,
                     qPrintable(seen));
            break;
        }
        }
    }
    QVERIFY2(whole >= 1 && spoilt >= 1,
             qPrintable(QStringLiteral("%1 whole, %2 spoilt").arg(whole).arg(spoilt)));
}

void TestHistoryE2E::eventsOfTheRun() {
    QStringList kinds;
    for (const StoredEvent& e : m_events)
        kinds << QString::fromLatin1(EventKindKeyword(e.event.kind));
    QCOMPARE(kinds.first(), QStringLiteral("recording-started"));
    QCOMPARE(kinds[1], QStringLiteral("port-open"));
    QCOMPARE(kinds.last(), QStringLiteral("port-close"));
    // The simulator's alarms were on before the first reading: found at start, not seen coming on.
    QCOMPARE(kinds.count(QStringLiteral("state-at-start")), 3);
    QCOMPARE(kinds.count(QStringLiteral("alarm-set")), 0);
    // Each switch command the device took started or stopped the plant, and the history saw it.
    int runs = 0, stops = 0;
    for (const Witness::Reply& r : m_witness.replies)
        if (IsWrite(r) && Word(r.request, 2) == 3 && r.answer == r.request)
            ++(Word(r.request, 4) == 0 ? runs : stops);
    QVERIFY(runs >= 1);
    QCOMPARE(kinds.count(QStringLiteral("run")), runs);
    QCOMPARE(kinds.count(QStringLiteral("stop")), stops);
}

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestHistoryE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history_e2e.moc"
