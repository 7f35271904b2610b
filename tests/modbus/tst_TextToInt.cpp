#include "TextToInt.h"

#include <QTest>

class TestTextToInt : public QObject {
    Q_OBJECT
private slots:
    void conversion_data();
    void conversion();
};

void TestTextToInt::conversion_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("decimal") << "19200" << 19200;
    QTest::newRow("leading blanks") << " 12" << 12;
    QTest::newRow("stops at first non-digit") << "12a" << 12;
    QTest::newRow("dollar hex") << "$1F" << 31;
    QTest::newRow("letters only") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blanks only") << "   " << 0;
    QTest::newRow("inner blank ends the number") << "1 2" << 1;
    QTest::newRow("0x lower-case digits") << "0x1f" << 31;
    QTest::newRow("0X prefix") << "0X10" << 16;
    QTest::newRow("x prefix") << "x10" << 16;
    QTest::newRow("X prefix") << "X10" << 16;
    QTest::newRow("prefix without digits") << "$" << 0;
    QTest::newRow("leading zero stays decimal") << "08" << 8;
    QTest::newRow("hex digit in decimal ends it") << "1F" << 1;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("minus sign") << "-5" << -5;
    QTest::newRow("blanks then minus") << "  -12" << -12;
    QTest::newRow("minus ignored when text not fully read") << "-5a" << 5;
    QTest::newRow("minus hex") << "-$10" << -16;
    QTest::newRow("sign alone") << "-" << 0;
    QTest::newRow("address 256") << "256" << 256;
    // Beyond 32 bits the result is the low 32 bits of the number as typed.
    QTest::newRow("2^31 wraps negative") << "2147483648" << std::numeric_limits<qint32>::min();
    QTest::newRow("2^32 - 1") << "4294967295" << -1;
    QTest::newRow("2^32") << "4294967296" << 0;
    QTest::newRow("2^32 + 1") << "4294967297" << 1;
    QTest::newRow("eleven digits") << "99999999999" << 1215752191;
    QTest::newRow("minus beyond 32 bits") << "-4294967297" << -1;
    QTest::newRow("hex beyond 32 bits") << "$1FFFFFFFF" << -1;
    QTest::newRow("twenty digits") << "18446744073709551617" << 1;
}

void TestTextToInt::conversion() {
    QFETCH(QString, text);
    QFETCH(qint32, expected);
    QCOMPARE(TextToInt(text), expected);
}

QTEST_APPLESS_MAIN(TestTextToInt)
#include "tst_TextToInt.moc"
