// The traffic log file: failures reported once and the lost records counted in the log, the path
// followed when the file is rotated away (by the next write, or at once on SIGHUP), and pipes and
// devices used without a Qt warning and without the program ending on a pipe whose reader left.
#include "TrafficLogFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TrafficRecord Made(int id) {
    TrafficRecord r;
    r.utcMs = 1796976902123 + id * 1000LL;
    r.direction = TrafficDirection::Tx;
    r.verdict = Verdict::Sent;
    r.bytes = QByteArray("\x01\x03\x00", 3) + char(id);
    return r;
}

QString Line(int id) {
    return TrafficLogLine(Made(id));
}

QString LostLine(int id, int lost) {
    return IsoUtcMs(Made(id).utcMs) + QStringLiteral(" log lost %1").arg(lost);
}

// The file's lines; the last one must be ended.
QStringList Lines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(cannot read %1)").arg(path)};
    QStringList lines = QString::fromLatin1(file.readAll()).split(u'\n');
    if (lines.takeLast() != QString())
        lines << QStringLiteral("(last line not ended)");
    return lines;
}

// What the pipe's reader has, without waiting.
QString Drain(int fd) {
    QByteArray got;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        got.append(buffer, n);
    return QString::fromLatin1(got);
}

QStringList g_messages;

void Catch(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg)
        g_messages << message;
}

} // namespace

class TestTrafficLogFile : public QObject {
    Q_OBJECT
private slots:
    void failureReportedOnceAndTheGapCounted();
    void lineCutShortIsEnded();
    void followsThePathWhenTheFileGoes_data();
    void followsThePathWhenTheFileGoes();
    void hangUpReopensAtOnce();
    void pipesAndDevicesWithoutWarnings_data();
    void pipesAndDevicesWithoutWarnings();
    void pipeWithoutReaderLosesRecordsOnly();
};

void TestTrafficLogFile::failureReportedOnceAndTheGapCounted() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    // A full disk: the path leads to /dev/full until a file takes its place.
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));
    TrafficLogFile log;
    QString why;
    QVERIFY2(log.Open(path, &why), qPrintable(why));
    QSignalSpy failed(&log, &TrafficLogFile::writeFailed);
    QSignalSpy resumed(&log, &TrafficLogFile::writeResumed);
    for (int id = 1; id <= 3; ++id)
        log.Write(Made(id));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed[0][0].toString(), qt_error_string(ENOSPC));
    QCOMPARE(resumed.count(), 0);
    QCOMPARE(log.Lost(), 3);

    const QString file = dir.filePath(QStringLiteral("new"));
    QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    QCOMPARE(::rename(QFile::encodeName(file).constData(), QFile::encodeName(path).constData()), 0);
    log.Write(Made(4));
    log.Write(Made(5));
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(resumed[0][0].toLongLong(), 3);
    QCOMPARE(log.Lost(), 0);
    QCOMPARE(Lines(path), QStringList({LostLine(4, 3), Line(4), Line(5)}));

    // Failing again is a new failure, reported again.
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));
    log.Write(Made(6));
    QCOMPARE(failed.count(), 2);
    QCOMPARE(resumed.count(), 1);
}

void TestTrafficLogFile::lineCutShortIsEnded() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    TrafficLogFile log;
    QVERIFY(log.Open(path, nullptr));
    QSignalSpy failed(&log, &TrafficLogFile::writeFailed);
    QSignalSpy resumed(&log, &TrafficLogFile::writeResumed);
    log.Write(Made(1));

    // The file may grow by 10 more bytes only: the next line is cut there, as on a disk that fills up.
    rlimit before{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit cut = before;
    cut.rlim_cur = rlim_t(QFileInfo(path).size() + 10);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &cut), 0);
    log.Write(Made(2));
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &before), 0);
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(failed.count(), 1);

    log.Write(Made(3));
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(resumed[0][0].toLongLong(), 1);
    QCOMPARE(Lines(path), QStringList({Line(1), Line(2).left(10), LostLine(3, 1), Line(3)}));
}

void TestTrafficLogFile::followsThePathWhenTheFileGoes_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("moved away") << "moved";
    QTest::newRow("deleted") << "deleted";
    QTest::newRow("replaced by another file") << "replaced";
}

void TestTrafficLogFile::followsThePathWhenTheFileGoes() {
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    const QString rotated = path + QStringLiteral(".1");
    TrafficLogFile log;
    QVERIFY(log.Open(path, nullptr));
    QSignalSpy failed(&log, &TrafficLogFile::writeFailed);
    log.Write(Made(1));
    QStringList expected = {Line(2)};
    if (how == u"deleted") {
        QVERIFY(QFile::remove(path));
    } else {
        QVERIFY(QFile::rename(path, rotated));
        if (how == u"replaced") {
            QFile other(path);
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write("started by another\n");
            expected.prepend(QStringLiteral("started by another"));
        }
    }
    log.Write(Made(2));
    QCOMPARE(Lines(path), expected);
    if (how != u"deleted")
        QCOMPARE(Lines(rotated), QStringList({Line(1)}));
    QCOMPARE(failed.count(), 0);
}

void TestTrafficLogFile::hangUpReopensAtOnce() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    const QString rotated = path + QStringLiteral(".1");
    TrafficLogFile log;
    QVERIFY(log.Open(path, nullptr));
    QString why;
    QVERIFY2(log.ReopenOnHangUp(&why), qPrintable(why));
    log.Write(Made(1));

    // logrotate's way: move the file, then SIGHUP; the new file is there before the next record.
    QVERIFY(QFile::rename(path, rotated));
    QCOMPARE(::raise(SIGHUP), 0);
    QTRY_VERIFY(QFile::exists(path));
    log.Write(Made(2));
    QCOMPARE(Lines(rotated), QStringList({Line(1)}));
    QCOMPARE(Lines(path), QStringList({Line(2)}));
}

void TestTrafficLogFile::pipesAndDevicesWithoutWarnings_data() {
    QTest::addColumn<QString>("device"); // empty: a FIFO of the test's own
    QTest::addColumn<bool>("writable");
    QTest::newRow("FIFO") << QString() << true;
    QTest::newRow("/dev/null") << QStringLiteral("/dev/null") << true;
    QTest::newRow("/dev/full") << QStringLiteral("/dev/full") << false;
}

void TestTrafficLogFile::pipesAndDevicesWithoutWarnings() {
    QFETCH(QString, device);
    QFETCH(bool, writable);
    QTemporaryDir dir;
    QString path = device;
    int reader = -1;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
    }
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(Catch);
    {
        TrafficLogFile log;
        QSignalSpy failed(&log, &TrafficLogFile::writeFailed);
        const bool opened = log.Open(path, nullptr);
        log.Write(Made(1));
        log.Reopen();
        log.Write(Made(2));
        qInstallMessageHandler(previous);
        QVERIFY(opened);
        QCOMPARE(failed.count(), writable ? 0 : 1);
    }
    QCOMPARE(g_messages, QStringList());
    if (reader >= 0) {
        QCOMPARE(Drain(reader), Line(1) + u'\n' + Line(2) + u'\n');
        ::close(reader);
    }
}

void TestTrafficLogFile::pipeWithoutReaderLosesRecordsOnly() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fifo"));
    const QByteArray name = QFile::encodeName(path);
    QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    int reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);
    TrafficLogFile log;
    QVERIFY(log.Open(path, nullptr));
    QSignalSpy failed(&log, &TrafficLogFile::writeFailed);
    QSignalSpy resumed(&log, &TrafficLogFile::writeResumed);
    log.Write(Made(1));
    QCOMPARE(Drain(reader), Line(1) + u'\n');

    // The reader leaves: a write into the pipe would raise SIGPIPE. With no reader the pipe cannot be
    // opened again either, and the program does not wait for one.
    ::close(reader);
    log.Write(Made(2));
    log.Write(Made(3));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed[0][0].toString(), qt_error_string(EPIPE));

    reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);
    log.Write(Made(4));
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(resumed[0][0].toLongLong(), 2);
    QCOMPARE(Drain(reader), LostLine(4, 2) + u'\n' + Line(4) + u'\n');
    ::close(reader);
}

QTEST_GUILESS_MAIN(TestTrafficLogFile)
#include "tst_TrafficLogFile.moc"
