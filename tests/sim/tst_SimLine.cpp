// The simulator's line: the address lists of --address and --silent, and the time of one character.
#include "SimLine.h"

#include <QTest>

#include <set>

class tst_SimLine : public QObject {
    Q_OBJECT
private slots:
    void addressLists_data();
    void addressLists();
    void characterTime_data();
    void characterTime();
    void devicesGetTheirOwnSeeds();
};

void tst_SimLine::addressLists_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("addresses"); // empty: refused
    QTest::addColumn<QString>("error");        // a part of the reason given
    QTest::addColumn<QString>("formatted");

    QTest::newRow("one") << "3" << QList<int>{3} << ""
                         << "3";
    QTest::newRow("hex, as the single address took it") << "0x10" << QList<int>{16} << ""
                                                        << "16";
    QTest::newRow("range") << "1-8" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8} << ""
                           << "1-8";
    QTest::newRow("mixture") << "1-4,7" << QList<int>{1, 2, 3, 4, 7} << ""
                             << "1-4,7";
    QTest::newRow("out of order") << "9,2-3,5" << QList<int>{2, 3, 5, 9} << ""
                                  << "2,3,5,9";
    QTest::newRow("range of one") << "5-5" << QList<int>{5} << ""
                                  << "5";
    QList<int> all;
    for (int a = 1; a <= 247; ++a)
        all << a;
    QTest::newRow("the whole line") << "1-247" << all << ""
                                    << "1-247";
    QTest::newRow("zero") << "0" << QList<int>{} << "0 is not an address"
                          << "";
    QTest::newRow("beyond 247") << "1-248" << QList<int>{} << "248 is not an address"
                                << "";
    QTest::newRow("huge") << "99999999999999999999" << QList<int>{} << "neither"
                          << "";
    QTest::newRow("negative") << "-3" << QList<int>{} << "neither"
                              << "";
    QTest::newRow("backwards") << "4-1" << QList<int>{} << "runs backwards"
                               << "";
    QTest::newRow("open range") << "4-" << QList<int>{} << "neither"
                                << "";
    QTest::newRow("empty") << "" << QList<int>{} << "empty item"
                           << "";
    QTest::newRow("empty item") << "1,,2" << QList<int>{} << "empty item"
                                << "";
    QTest::newRow("trailing comma") << "1," << QList<int>{} << "empty item"
                                    << "";
    QTest::newRow("twice") << "1-4,3" << QList<int>{} << "3 is given twice"
                           << "";
    QTest::newRow("word") << "two" << QList<int>{} << "neither"
                          << "";
    QTest::newRow("space") << "1, 2" << QList<int>{} << "neither"
                           << "";
}

void tst_SimLine::addressLists() {
    QFETCH(QString, text);
    QFETCH(QList<int>, addresses);
    QFETCH(QString, error);
    QFETCH(QString, formatted);

    std::string why;
    const std::vector<int> got = ParseAddressList(text.toStdString(), &why);
    QCOMPARE(QList<int>(got.begin(), got.end()), addresses);
    if (addresses.isEmpty()) {
        QVERIFY2(QString::fromStdString(why).contains(error), why.c_str());
        return;
    }
    QCOMPARE(QString::fromStdString(FormatAddressList(got)), formatted);
    // What the simulator prints reads back as the same list.
    QCOMPARE(ParseAddressList(FormatAddressList(got), nullptr), got);
}

void tst_SimLine::characterTime_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("format");
    QTest::addColumn<qint64>("ns");

    QTest::newRow("8_N_2 at 19200") << 19200 << "8_N_2" << qint64(572916); // 11 bits
    QTest::newRow("8_E_1 at 19200") << 19200 << "8_E_1" << qint64(572916);
    QTest::newRow("8_O_1 at 9600") << 9600 << "8_O_1" << qint64(1145833);
    QTest::newRow("8_N_1 at 115200") << 115200 << "8_N_1" << qint64(86805); // 10 bits
    QTest::newRow("7_E_2 at 1200") << 1200 << "7_E_2" << qint64(9166666);   // 11 bits
    QTest::newRow("7_N_1 at 50") << 50 << "7_N_1" << qint64(180000000);     // 9 bits
}

void tst_SimLine::characterTime() {
    QFETCH(int, baud);
    QFETCH(QString, format);
    QFETCH(qint64, ns);
    const QByteArray f = format.toLatin1();
    QCOMPARE(qint64(CharacterTime(baud, f[0] - '0', f[2], f[4] - '0').count()), ns);
}

void tst_SimLine::devicesGetTheirOwnSeeds() {
    // Devices on one line, and the same addresses under the neighbouring seed, all differ.
    std::set<std::uint64_t> seen;
    for (std::uint64_t seed : {1u, 2u})
        for (int a = 1; a <= 247; ++a)
            seen.insert(DeviceSeed(seed, a));
    QCOMPARE(seen.size(), std::size_t(2 * 247));
}

QTEST_APPLESS_MAIN(tst_SimLine)
#include "tst_SimLine.moc"
