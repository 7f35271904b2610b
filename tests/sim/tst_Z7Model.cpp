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
    QTest::addColumn<int>("run");
    QTest::addColumn<int>("output");

    QTest::newRow("within limits") << 500 << 1000 << 0 << 1 << 500;
    QTest::newRow("above maximum") << 900 << 600 << 0 << 1 << 600;
    QTest::newRow("below minimum") << 100 << 1000 << 300 << 1 << 300;
    QTest::newRow("minimum above maximum yields") << 100 << 200 << 400 << 1 << 200;
    QTest::newRow("setting beyond full scale") << 5000 << 65535 << 0 << 1 << 1000;
    QTest::newRow("stopped") << 500 << 1000 << 300 << 0 << 0;
    QTest::newRow("only bit 0 runs") << 500 << 1000 << 0 << 2 << 0;
}

void tst_Z7Model::outputFollowsSettingWithinLimits() {
    QFETCH(int, setting);
    QFETCH(int, maxLimit);
    QFETCH(int, minLimit);
    QFETCH(int, run);
    QFETCH(int, output);

    Plant p;
    p.reg[Z7Model::InputSetting] = static_cast<std::uint16_t>(setting);
    p.reg[Z7Model::MaxOutput] = static_cast<std::uint16_t>(maxLimit);
    p.reg[Z7Model::MinOutput] = static_cast<std::uint16_t>(minLimit);
    p.reg[Z7Model::RunStop] = static_cast<std::uint16_t>(run);
    p.run(60);
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
    p.reg[Z7Model::RunStop] = 1;
    p.run(1.0);
    const int afterOne = p.reg[Z7Model::OutputQuantity];
    QVERIFY2(afterOne >= 20 && afterOne <= 100, qPrintable(QString::number(afterOne))); // a few % per second
    p.run(1.0);
    QVERIFY(p.reg[Z7Model::OutputQuantity] > afterOne);
    p.reg[Z7Model::RunStop] = 0;
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
    p.reg[Z7Model::RunStop] = 1;
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

    p.reg[Z7Model::RunStop] = 0;
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
    p.reg[Z7Model::RunStop] = 1;
    p.run(300);
    QCOMPARE(p.reg[Z7Model::Alarms], 0x105 | Z7Model::kTempMaxBit);
}

void tst_Z7Model::sameSeedSameReadings() {
    Plant a(42), b(42), c(43);
    for (Plant* p : {&a, &b, &c}) {
        p->reg[Z7Model::RunStop] = 1;
        p->run(30);
    }
    QCOMPARE(a.reg, b.reg);
    QVERIFY(a.reg != c.reg);
}

QTEST_APPLESS_MAIN(tst_Z7Model)
#include "tst_Z7Model.moc"
