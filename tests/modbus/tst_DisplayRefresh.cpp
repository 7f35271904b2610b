#include "DisplayRefresh.h"

#include <QTest>

#include <map>

class TestDisplayRefresh : public QObject {
    Q_OBJECT
private slots:
    void knobWriteValue_data();
    void knobWriteValue();
    void switchCommand_data();
    void switchCommand();
    void emptyImage();
    void registersToWidgets();
    void alarmBitsToLeds();
};

void TestDisplayRefresh::knobWriteValue_data() {
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("value");
    QTest::newRow("half down to even") << 12.5 << 12;
    QTest::newRow("half up to even") << 13.5 << 14;
    QTest::newRow("999.5") << 999.5 << 1000;
    QTest::newRow("998.5") << 998.5 << 998;
    QTest::newRow("below half") << 250.49 << 250;
    QTest::newRow("above half") << 0.51 << 1;
    QTest::newRow("arrow steps") << 0.1 + 0.1 + 0.1 << 0;
    QTest::newRow("low 16 bits") << 65536.0 + 7 << 7;
    QTest::newRow("negative wraps") << -1.0 << 65535;
    QTest::newRow("not a number") << qQNaN() << 0;
}

void TestDisplayRefresh::knobWriteValue() {
    QFETCH(double, position);
    QFETCH(int, value);
    QCOMPARE(int(KnobWriteValue(position)), value);
}

void TestDisplayRefresh::switchCommand_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("command");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("memo");
    QTest::newRow("STOP starts") << "STOP" << true << 1 << "1111";
    QTest::newRow("RUN stops") << "RUN" << true << 0 << "3333";
    QTest::newRow("case matters") << "run" << false << 0 << "";
    QTest::newRow("no blanks") << "STOP " << false << 0 << "";
    QTest::newRow("empty") << "" << false << 0 << "";
}

void TestDisplayRefresh::switchCommand() {
    QFETCH(QString, caption);
    QFETCH(bool, command);
    QFETCH(int, value);
    QFETCH(QString, memo);
    const auto result = SwitchCommandFor(caption);
    QCOMPARE(result.has_value(), command);
    if (command) {
        QCOMPARE(int(result->value), value);
        QCOMPARE(result->memoText, memo);
    }
}

void TestDisplayRefresh::emptyImage() {
    const DisplayValues v = ComputeDisplay([](int) { return 0; });
    QCOMPARE(v.switchCaption, QStringLiteral("RUN"));
    QCOMPARE(v.switchColor, kDisplayRed);
    for (quint32 c : v.alarmColors)
        QCOMPARE(c, kDisplayLime);
    QCOMPARE(v.gaugeFullScale, 0.0);
    QCOMPARE(v.inputSetting, 0.0);
}

void TestDisplayRefresh::registersToWidgets() {
    // Each register a different value, so a swapped source shows.
    const std::map<int, qint32> image = {{0, 1234}, {3, 3},     {4, 9999}, {5, 2305}, {10, 655}, {11, 1000},
                                         {12, 150}, {15, 3800}, {20, 1},   {21, 22},  {22, 333}, {23, 65535}};
    const DisplayValues v = ComputeDisplay([&](int r) {
        const auto it = image.find(r);
        return it == image.end() ? 0 : it->second;
    });
    QCOMPARE(v.inputSetting, 12.34);
    QCOMPARE(v.inputQuantity, 65.5);
    QCOMPARE(v.outputQuantity, 100.0);
    QCOMPARE(v.temperature, 150.0);
    QCOMPARE(v.switchCaption, QStringLiteral("STOP"));
    QCOMPARE(v.switchColor, kDisplayLime);
    QCOMPARE(v.maxOutput, 999.9);
    QCOMPARE(v.minOutput, 230.5);
    QCOMPARE(v.phaseCurrentsAndVolts[0], 0.1);
    QCOMPARE(v.phaseCurrentsAndVolts[1], 2.2);
    QCOMPARE(v.phaseCurrentsAndVolts[2], 33.3);
    QCOMPARE(v.phaseCurrentsAndVolts[3], 6553.5);
    QCOMPARE(v.gaugeFullScale, 380.0);
    QCOMPARE(v.gaugePosition, 6553.5);
}

void TestDisplayRefresh::alarmBitsToLeds() {
    // Bits 0, 2 and 8 set; bit 9 and above are not shown.
    const DisplayValues v = ComputeDisplay([](int r) { return r == 13 ? 0xFE05 | 0x0100 : 2; });
    const std::array<quint32, 9> expected = {kDisplayRed,  kDisplayLime, kDisplayRed,
                                             kDisplayLime, kDisplayLime, kDisplayLime,
                                             kDisplayLime, kDisplayLime, kDisplayRed};
    QCOMPARE(v.alarmColors, expected);
    QCOMPARE(v.switchCaption, QStringLiteral("RUN"));
}

QTEST_GUILESS_MAIN(TestDisplayRefresh)
#include "tst_DisplayRefresh.moc"
