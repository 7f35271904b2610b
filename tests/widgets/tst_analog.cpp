#include "iAnalogOutput.h"

#include <QTest>

class TestAnalog : public QObject {
    Q_OBJECT

private slots:
    void formatValue_data();
    void formatValue();
    void parseText_data();
    void parseText();
    void commaLocale();
};

void TestAnalog::formatValue_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("text");

    QTest::newRow("precision 0, units") << 25.0 << 0 << "'C"
                                        << "25'C";
    QTest::newRow("zero") << 0.0 << 1 << ""
                          << "0.0";
    QTest::newRow("half up") << 1.25 << 1 << ""
                             << "1.3";
    QTest::newRow("negative half away from zero") << -1.25 << 1 << ""
                                                  << "-1.3";
    QTest::newRow("half at precision 0") << 2.5 << 0 << ""
                                         << "3";
    QTest::newRow("decimal digits, not binary ones") << 2.675 << 2 << ""
                                                     << "2.68";
    QTest::newRow("carry into integer part") << 99.95 << 1 << ""
                                             << "100.0";
    QTest::newRow("rounds to zero without sign") << -0.04 << 1 << ""
                                                 << "0.0";
    QTest::newRow("two decimals") << 3.14159 << 2 << ""
                                  << "3.14";
    QTest::newRow("four decimals") << 3.14159 << 4 << ""
                                   << "3.1416";
    QTest::newRow("no thousands separator") << 1234567.0 << 1 << ""
                                            << "1234567.0";
    QTest::newRow("units kept untrimmed") << 1.0 << 0 << " A"
                                          << "1 A";
    QTest::newRow("general 0.1") << 0.1 << -1 << ""
                                 << "0.1";
    QTest::newRow("general 1e20") << 1e20 << -1 << ""
                                  << "1E+20";
    QTest::newRow("general 15 digits") << 2.0 / 3.0 << -1 << ""
                                       << "0.666666666666667";
    QTest::newRow("absurd precision bounded") << 1.5 << 1000000 << ""
                                              << "1.500000000000000000";
}

void TestAnalog::formatValue() {
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(QString, units);
    QTEST(FormatValue(value, precision, units, QLocale::c()), "text");
}

void TestAnalog::parseText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("units");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << "7"
                           << "" << true << 7.0;
    QTest::newRow("units removed") << "25'C"
                                   << "'C" << true << 25.0;
    QTest::newRow("units any case, anywhere") << "a1a.5A"
                                              << " A " << true << 1.5;
    QTest::newRow("blanks around") << " -2.5 "
                                   << "" << true << -2.5;
    QTest::newRow("exponent") << "1E+20"
                              << "" << true << 1e20;
    QTest::newRow("letter") << "7x"
                            << "" << false << 0.0;
    QTest::newRow("empty") << ""
                           << "" << false << 0.0;
    QTest::newRow("units only") << "'C"
                                << "'C" << false << 0.0;
    QTest::newRow("group separator") << "1,000"
                                     << "" << false << 0.0;
    QTest::newRow("infinity") << "inf"
                              << "" << false << 0.0;
    QTest::newRow("not a number") << "nan"
                                  << "" << false << 0.0;
    QTest::newRow("overflow") << "1e999"
                              << "" << false << 0.0;
}

void TestAnalog::parseText() {
    QFETCH(QString, text);
    QFETCH(QString, units);
    QFETCH(bool, ok);
    const std::optional<double> value = ParseValueText(text, units, QLocale::c());
    QCOMPARE(value.has_value(), ok);
    if (ok)
        QTEST(*value, "value");
}

void TestAnalog::commaLocale() {
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(DecimalSeparator(german), QChar(','));
    QCOMPARE(FormatValue(1234.25, 2, "V", german), QString("1234,25V"));
    QCOMPARE(ParseValueText("12,5V", "V", german), std::optional<double>(12.5));
    QVERIFY(!ParseValueText("12.5", "", german));
    QCOMPARE(DecimalSeparator(QLocale::c()), QChar('.'));
}

QTEST_MAIN(TestAnalog)
#include "tst_analog.moc"
