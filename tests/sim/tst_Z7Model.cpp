// The simulated plant behind z7sim's registers, driven step by step without a line.
#include "Z7Model.h"

#include <QTest>

#include <array>

namespace {

struct Plant {
    std::array<std::uint16_t, Z7Model::kRegisterCount> reg{};
    Z7Model model;
    std::int64_t ms = 0;

    explicit Plant(std::uint64_t seed = 1, std::uint16_t alarms = 0) : model(reg.data(), seed, alarms) {}
    void run(double seconds) {
        ms += static_cast<std::int64_t>(seconds * 1000);
        model.AdvanceTo(ms);
    }
    // As a function 06 write does it: the value lands in the register, then the model hears of it.
    void write(int r, std::uint16_t value) {
        reg[static_cast<std::size_t>(r)] = value;
        model.Written(r);
    }
    void start() { write(Z7Model::RunStop, 0); }
    void stop() { write(Z7Model::RunStop, 1); }
};

} // namespace

class tst_Z7Model : public QObject {
    Q_OBJECT
private slots:
    void outputFollowsSettingWithinLimits_data();
    void outputFollowsSettingWithinLimits();
    void rampIsGradual();
    void temperatureAlarmHasHysteresis();
    void forcedAlarmsStaySet();
    void sameSeedSameReadings();
};

void tst_Z7Model::outputFollowsSettingWithinLimits_data() {
    QTest::addColumn<int>("setting");
    QTest::addColumn<int>("maxLimit");
    QTest::addColumn<int>("minLimit");
    QTest::addColumn<QList<int>>("commands"); // written to register 3 in turn: 0 runs, 1 stops
    QTest::addColumn<int>("output");

    const QList<int> run{0};
    QTest::newRow("within limits") << 500 << 1000 << 0 << run << 500;
    QTest::newRow("above maximum") << 900 << 600 << 0 << run << 600;
    QTest::newRow("below minimum") << 100 << 1000 << 300 << run << 300;
    QTest::newRow("minimum above maximum yields") << 100 << 200 << 400 << run << 200;
    QTest::newRow("setting beyond full scale") << 5000 << 65535 << 0 << run << 1000;
    QTest::newRow("stopped from the start") << 500 << 1000 << 300 << QList<int>{} << 0;
    QTest::newRow("run, then stop") << 500 << 1000 << 300 << QList<int>{0, 1} << 0;
    QTest::newRow("stop twice, then run") << 500 << 1000 << 0 << QList<int>{1, 1, 0} << 500;
    QTest::newRow("other values are no command") << 500 << 1000 << 0 << QList<int>{2} << 0;
    QTest::newRow("other values leave it running") << 500 << 1000 << 0 << QList<int>{0, 3, 0xFFFF} << 500;
}

void tst_Z7Model::outputFollowsSettingWithinLimits() {
    QFETCH(int, setting);
    QFETCH(int, maxLimit);
    QFETCH(int, minLimit);
    QFETCH(QList<int>, commands);
    QFETCH(int, output);

    Plant p;
    p.reg[Z7Model::InputSetting] = static_cast<std::uint16_t>(setting);
    p.reg[Z7Model::MaxOutput] = static_cast<std::uint16_t>(maxLimit);
    p.reg[Z7Model::MinOutput] = static_cast<std::uint16_t>(minLimit);
    for (int c : commands) {
        p.write(Z7Model::RunStop, static_cast<std::uint16_t>(c));
        p.run(1);
    }
    p.run(60);
    // Register 3 reads the state, never the command last written.
    QCOMPARE(p.reg[Z7Model::RunStop], output > 0 ? 1 : 0);
    QCOMPARE(p.model.Running(), output > 0);
    QCOMPARE(p.reg[Z7Model::OutputQuantity], output);
    QCOMPARE(p.reg[Z7Model::InputQuantity], std::min(setting, 1000));
    // Phase currents follow the output, a little apart from each other.
    for (int phase = Z7Model::CurrentR; phase <= Z7Model::CurrentT; ++phase)
        QVERIFY2(std::abs(p.reg[phase] - output) <= output / 20 + 3,
                 qPrintable(QString::number(p.reg[phase])));
    QVERIFY(std::abs(p.reg[Z7Model::LineVolts] - 3800) <= 60);
    QCOMPARE(p.reg[Z7Model::FullScaleVolts], 3800);
}

void tst_Z7Model::rampIsGradual() {
    Plant p;
    p.reg[Z7Model::InputSetting] = 1000;
    p.start();
    p.run(1.0);
    const int afterOne = p.reg[Z7Model::OutputQuantity];
    QVERIFY2(afterOne >= 20 && afterOne <= 100, qPrintable(QString::number(afterOne))); // a few % per second
    p.run(1.0);
    QVERIFY(p.reg[Z7Model::OutputQuantity] > afterOne);
    p.stop();
    p.run(0.5);
    QVERIFY(p.reg[Z7Model::OutputQuantity] < 2 * afterOne);
    QVERIFY(p.reg[Z7Model::OutputQuantity] > 0);
    // Time that does not reach the next step changes nothing.
    const auto before = p.reg;
    p.run(0.05);
    QCOMPARE(p.reg, before);
}

void tst_Z7Model::temperatureAlarmHasHysteresis() {
    Plant p;
    QCOMPARE(p.reg[Z7Model::Temperature], 25);
    p.reg[Z7Model::InputSetting] = 1000;
    p.start();
    int lastTemp = 25;
    int setAt = -1;
    for (int s = 0; s < 600 && setAt < 0; ++s) {
        p.run(1);
        QVERIFY(p.reg[Z7Model::Temperature] >= lastTemp); // rises with load
        lastTemp = p.reg[Z7Model::Temperature];
        if (p.reg[Z7Model::Alarms] & Z7Model::kTempMaxBit)
            setAt = lastTemp;
    }
    QVERIFY2(setAt >= Z7Model::kTempMaxSetC, qPrintable(QString::number(setAt)));

    p.stop();
    p.run(25); // the output ramps down first; the heat sink may still warm meanwhile
    lastTemp = p.reg[Z7Model::Temperature];
    bool sawBetween = false;
    for (int s = 0; s < 1200 && (p.reg[Z7Model::Alarms] & Z7Model::kTempMaxBit); ++s) {
        p.run(1);
        QVERIFY(p.reg[Z7Model::Temperature] <= lastTemp); // falls once the load is gone
        lastTemp = p.reg[Z7Model::Temperature];
        if (lastTemp < Z7Model::kTempMaxSetC && lastTemp >= Z7Model::kTempMaxClearC &&
            (p.reg[Z7Model::Alarms] & Z7Model::kTempMaxBit))
            sawBetween = true;
    }
    QVERIFY(sawBetween);
    QCOMPARE(p.reg[Z7Model::Alarms] & Z7Model::kTempMaxBit, 0);
    QVERIFY(lastTemp <= Z7Model::kTempMaxClearC);
}

void tst_Z7Model::forcedAlarmsStaySet() {
    Plant p(1, 0x105);
    QCOMPARE(p.reg[Z7Model::Alarms], 0x105);
    p.reg[Z7Model::InputSetting] = 1000;
    p.start();
    p.run(300);
    QCOMPARE(p.reg[Z7Model::Alarms], 0x105 | Z7Model::kTempMaxBit);
}

void tst_Z7Model::sameSeedSameReadings() {
    Plant a(42), b(42), c(43);
    for (Plant* p : {&a, &b, &c}) {
        p->start();
        p->run(30);
    }
    QCOMPARE(a.reg, b.reg);
    QVERIFY(a.reg != c.reg);
}

QTEST_APPLESS_MAIN(tst_Z7Model)
#include "tst_Z7Model.moc"
