// The built programs carry the protections the build asks for: position-independent code, full
// RELRO (relocations read-only and bound at start-up), the stack protector and fortified libc calls.
#include <QProcess>
#include <QTest>

class TestHardening : public QObject {
    Q_OBJECT
private slots:
    void protections_data();
    void protections();
};

namespace {

QString ReadElf(const QString& option, const QString& file) {
    QProcess p;
    p.setProcessEnvironment([] {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        return env;
    }());
    p.start(QStringLiteral(Z7_READELF), {QStringLiteral("-W"), option, file});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromLatin1(p.readAllStandardOutput());
}

} // namespace

void TestHardening::protections_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("z7panel") << QStringLiteral(Z7_PANEL);
    QTest::newRow("z7sim") << QStringLiteral(Z7_SIM);
}

void TestHardening::protections() {
    QFETCH(QString, file);
    const QString header = ReadElf(QStringLiteral("-h"), file);
    QVERIFY2(!header.isEmpty(), qPrintable("readelf could not read " + file));
    QVERIFY2(header.contains(QLatin1String("Type:                              DYN")),
             "not a position-independent executable");

    const QString dynamic = ReadElf(QStringLiteral("-d"), file);
    QVERIFY2(dynamic.contains(QRegularExpression(QStringLiteral("FLAGS_1\\).*\\bPIE\\b"))),
             "no PIE flag in the dynamic section");
    QVERIFY2(dynamic.contains(
                 QRegularExpression(QStringLiteral("\\(FLAGS\\).*\\bBIND_NOW\\b|FLAGS_1\\).*\\bNOW\\b"))),
             "symbols are bound lazily: RELRO is only partial");
    QVERIFY2(ReadElf(QStringLiteral("-l"), file).contains(QLatin1String("GNU_RELRO")), "no RELRO segment");

    const QString symbols = ReadElf(QStringLiteral("--dyn-syms"), file);
    QVERIFY2(symbols.contains(QLatin1String("__stack_chk_fail")), "no stack protector");
    if (!Z7_EXPECT_FORTIFY)
        QSKIP("this build leaves _FORTIFY_SOURCE off (sanitizers or Debug)");
    QVERIFY2(symbols.contains(QRegularExpression(QStringLiteral("__\\w+_chk\\b"))), "no fortified libc call");
}

QTEST_GUILESS_MAIN(TestHardening)
#include "tst_Hardening.moc"
