// The writer thread: what the GUI thread hands over reaches the file in order and is readable while the
// writer goes on; closing writes the open minute; failed writes are held within bounds and tried again
// until they succeed; and a recording killed with SIGKILL leaves a sound file that lacks at most its last
// second.
#include "HistoryRecorder.h"
#include "HistoryTestData.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kChildOption[] = "--record-until-killed";

// The child: records a block of currents every 10 ms with the wall clock's time and, once each is
// handed over, prints that time; it runs until it is killed.
int RecordUntilKilled(const char* path) {
    HistoryRecorder recorder;
    QString why;
    if (!recorder.Open(QString::fromLocal8Bit(path), &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    for (quint16 i = 0;; ++i) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        recorder.Record(Block(now, 20, {{20, i}, {23, 3800}}));
        std::printf("%lld\n", static_cast<long long>(now));
        std::fflush(stdout);
        ::usleep(10000);
    }
}

QString Query(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    QString result;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        else
            result = QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return result;
}

} // namespace

class TestHistoryRecorder : public QObject {
    Q_OBJECT
private slots:
    void recordsOffTheGuiThread();
    void closeWritesTheOpenMinute();
    void failedWritesAreHeldWithinBounds();
    void killedRecordingLosesAtMostASecond();

private:
    QTemporaryDir m_dir;
};

void TestHistoryRecorder::recordsOffTheGuiThread() {
    const QString path = m_dir.filePath(QStringLiteral("thread.sqlite"));
    HistoryRecorder recorder;
    QString why;
    QVERIFY2(recorder.Open(path, &why), qPrintable(why));
    std::atomic<int> commits = 0;
    std::atomic<bool> onGuiThread = false;
    const std::thread::id gui = std::this_thread::get_id();
    recorder.SetCommitted([&] {
        ++commits;
        if (std::this_thread::get_id() == gui)
            onGuiThread = true;
    });
    HistoryStore reader;
    for (int i = 0; i < 2000; ++i) {
        recorder.Record(Block(kT0 + i * 1000, quint8(10 * (i % 3)), {{10 * (i % 3), quint16(i)}}));
        if (i % 100 == 0)
            recorder.Record(HistoryEvent{kT0 + i * 1000, kDevice, EventKind::AlarmSet, QString::number(i)});
        // A reader on its own connection meanwhile, as the windows do.
        if (i == 1000) {
            recorder.Flush();
            QVERIFY(reader.Open(path, HistoryStore::Access::ReadOnly, &why));
        }
    }
    recorder.Flush();
    QVERIFY(commits > 0);
    QVERIFY(!onGuiThread);
    int blocks = 0;
    qint64 last = 0;
    bool ordered = true;
    QVERIFY(reader.ForEachBlock(0, kNoLimitFrom, kNoLimitTo, [&](const StoredBlock& b) {
        ordered = ordered && b.utcMs > last;
        last = b.utcMs;
        ++blocks;
        return true;
    }));
    QCOMPARE(blocks, 2000);
    QVERIFY(ordered);
    int events = 0;
    reader.ForEachEvent(0, kNoLimitFrom, kNoLimitTo, [&](const StoredEvent&) { ++events; });
    QCOMPARE(events, 20);
}

void TestHistoryRecorder::closeWritesTheOpenMinute() {
    const QString path = m_dir.filePath(QStringLiteral("close.sqlite"));
    {
        HistoryRecorder recorder;
        QVERIFY(recorder.Open(path, nullptr));
        for (int s = 0; s < 5; ++s)
            recorder.Record(Block(kT0 + s * 1000, 20, {{20, quint16(s * 10)}}));
    }
    QCOMPARE(Query(path, "SELECT n20 || ' ' || reg20_max FROM minute"), QStringLiteral("5 40"));
}

void TestHistoryRecorder::failedWritesAreHeldWithinBounds() {
    const QString path = m_dir.filePath(QStringLiteral("failing.sqlite"));
    HistoryRecorder recorder;
    QString why;
    QVERIFY2(recorder.Open(path, &why), qPrintable(why));
    std::atomic<int> failures = 0, recoveries = 0;
    recorder.SetFailed([&](const QString&) { ++failures; });
    recorder.SetRecovered([&] { ++recoveries; });
    recorder.Record(HistoryEvent{kT0, kDevice, EventKind::PortOpen, QStringLiteral("before")});
    recorder.Flush();

    // Another connection holds the write lock beyond the busy time-out: every write fails meanwhile.
    sqlite3* holder = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &holder), SQLITE_OK);
    QCOMPARE(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const int blocks = 3600 + 100, events = 10000 + 100;
    for (int i = 0; i < blocks; ++i)
        recorder.Record(Block(kT0 + 1000 + i * 1000, 20, {{20, quint16(i)}}));
    for (int i = 0; i < events; ++i)
        recorder.Record(HistoryEvent{kT0 + 1000 + i, kDevice, EventKind::LinkLost, QString::number(i)});
    recorder.Flush();
    QCOMPARE(failures.load(), 1);
    QCOMPARE(recoveries.load(), 0);

    // Free again: what is held goes in without anything new handed over, and the recovery is told once.
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    QTRY_COMPARE_WITH_TIMEOUT(recoveries.load(), 1, 20000);
    recorder.Close();
    QCOMPARE(failures.load(), 1);
    // The newest hour of blocks and the newest 10000 events.
    QCOMPARE(Query(path, "SELECT count(*) || ' ' || min(reg20) || ' ' || max(reg20) FROM reading"),
             QStringLiteral("3600 100 3699"));
    QCOMPARE(Query(path, "SELECT count(*) || ' ' || min(CAST(detail AS INTEGER)) || ' ' || "
                         "max(CAST(detail AS INTEGER)) FROM event WHERE kind = 'link-lost'"),
             QStringLiteral("10000 100 10099"));
    QCOMPARE(Query(path, "SELECT count(*) FROM event WHERE detail = 'before'"), QStringLiteral("1"));
}

void TestHistoryRecorder::killedRecordingLosesAtMostASecond() {
    const QString path = m_dir.filePath(QStringLiteral("killed.sqlite"));
    int out[2];
    QCOMPARE(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    QByteArray option(kChildOption);
    QByteArray file = QFile::encodeName(path);
    char* argv[] = {self.data(), option.data(), file.data(), nullptr};
    pid_t pid = -1;
    QCOMPARE(posix_spawn(&pid, self.constData(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);

    // Read what the child handed over for two seconds, then kill it in the middle of its work.
    std::vector<qint64> handed;
    QByteArray pending;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            pending.append(buffer, n);
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                handed.push_back(pending.left(end).toLongLong());
                pending.remove(0, end + 1);
            }
        }
    }
    const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(out[0]);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    QVERIFY2(handed.size() > 50, qPrintable(QString::number(handed.size())));

    QCOMPARE(Query(path, "PRAGMA integrity_check"), QStringLiteral("ok"));
    HistoryStore store;
    QString why;
    QVERIFY2(store.Open(path, HistoryStore::Access::ReadWrite, &why), qPrintable(why));
    QSet<qint64> kept;
    store.ForEachBlock(0, kNoLimitFrom, kNoLimitTo, [&](const StoredBlock& b) {
        kept.insert(b.utcMs);
        return true;
    });
    int lost = 0;
    for (qint64 t : handed)
        if (t < killedAt - 1000 && !kept.contains(t))
            ++lost;
    QCOMPARE(lost, 0);
}

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], kChildOption) == 0)
        return RecordUntilKilled(argv[2]);
    QCoreApplication app(argc, argv);
    TestHistoryRecorder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_HistoryRecorder.moc"
