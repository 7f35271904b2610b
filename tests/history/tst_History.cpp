// The history without threads: the store's round trip, files that are not ours, the schema's migration,
// retention and minute rows, events from register-image transitions and from traffic, the CSV files, and
// the trend's reduction.
#include "EventDetector.h"
#include "HistoryCsv.h"
#include "HistoryStore.h"
#include "HistoryTestData.h"
#include "TrendData.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <grp.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

Q_DECLARE_METATYPE(QList<BlockSample>)
Q_DECLARE_METATYPE(QList<Quantity>)

namespace {

constexpr qint64 kDay = 24LL * 3600 * 1000;

QByteArray FileHash(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// One value of a query on the file, through SQLite directly, as a user would ask it.
QString Query(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    QString result;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
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

QStringList Texts(const std::vector<HistoryEvent>& events) {
    QStringList texts;
    for (const HistoryEvent& e : events)
        texts << (QString::fromLatin1(EventKindKeyword(e.kind)) + (e.detail.isEmpty() ? "" : " " + e.detail));
    return texts;
}

QList<StoredBlock> AllBlocks(HistoryStore& store, int deviceId = 0) {
    QList<StoredBlock> blocks;
    store.ForEachBlock(deviceId, kNoLimitFrom, kNoLimitTo, [&](const StoredBlock& b) {
        blocks << b;
        return true;
    });
    return blocks;
}

constexpr char kNoRightsToGiveUp[] = "cannot give up the superuser's rights";

// What HistoryStore::Open says in another process: "opened", "refused: " and the reason, or how that
// process ended. A crash then fails the case, not the test program. With `unprivileged`, the superuser,
// whom file permissions do not bind, gives up its rights there first.
QString OpenElsewhere(const QString& path, HistoryStore::Access access, bool unprivileged) {
    int out[2];
    if (::pipe(out) != 0)
        return QStringLiteral("no pipe");
    const pid_t pid = ::fork();
    if (pid < 0)
        return QStringLiteral("no fork");
    if (pid == 0) {
        ::close(out[0]);
        if (unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        QByteArray said;
        {
            HistoryStore store;
            QString why;
            said = store.Open(path, access, &why) ? QByteArray("opened") : "refused: " + why.toUtf8();
        }
        const bool written = ::write(out[1], said.constData(), size_t(said.size())) == said.size();
        ::_exit(written ? 0 : 4);
    }
    ::close(out[1]);
    QByteArray said;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
        said.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return QStringLiteral("killed by signal %1").arg(WTERMSIG(status));
    if (WEXITSTATUS(status) == 3)
        return QString::fromLatin1(kNoRightsToGiveUp);
    if (WEXITSTATUS(status) != 0)
        return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
    return QString::fromUtf8(said);
}

QList<MinuteRow> AllMinutes(HistoryStore& store, int deviceId) {
    QList<MinuteRow> rows;
    store.ForEachMinute(deviceId, kNoLimitFrom, kNoLimitTo, [&](const MinuteRow& m) { rows << m; });
    return rows;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void storeRoundTrip();
    void refusesFilesNotOurs_data();
    void refusesFilesNotOurs();
    void migratesVersion1();
    void retentionKeepsSpikeAsMaximum();
    void clockAheadKeepsTheHistory();
    void minuteRowsAfterCrash();
    void minuteRowKeepsUpWithLateBlocks_data();
    void minuteRowKeepsUpWithLateBlocks();
    void eventsFromTransitions_data();
    void eventsFromTransitions();
    void refusedRepliesRecordNothing_data();
    void refusedRepliesRecordNothing();
    void commandFates_data();
    void commandFates();
    void commandDetails();
    void linkLostAndRestored();
    void csvFormat_data();
    void csvFormat();
    void trendCsvHasEveryBlockKept();
    void trendDrawsBlocksWhereTheyAreKept();
    void trendColumnsFromMinuteRows_data();
    void trendColumnsFromMinuteRows();
    void docsAgreeWithTheTable();
    void reductionKeepsEveryExtreme_data();
    void reductionKeepsEveryExtreme();

private:
    QTemporaryDir m_dir;
};

void TestHistory::storeRoundTrip() {
    const QString path = m_dir.filePath(QStringLiteral("round.sqlite"));
    const DeviceKey other{QStringLiteral("tcp://10.0.0.5:4001"), 17};
    const std::vector<BlockSample> blocks = {
        Block(kT0 + 123, 0, {{0, 1234}, {1, 7}, {3, 3}, {4, 1000}, {5, 5}}),
        Block(kT0 + 1001, 10, {{10, 655}, {11, 1000}, {12, 150}, {13, 0x105}, {15, 3800}}),
        Block(kT0 + 2002, 20, {{20, 1}, {21, 22}, {22, 333}, {23, 65535}, {24, 9}}),
        Block(kT0 + 2002, 20, {{20, 5}}, other),
    };
    const std::vector<HistoryEvent> events = {
        {kT0 + 1001, kDevice, EventKind::AlarmSet, QStringLiteral("TEMP MAX")},
        {kT0 + 1500, other, EventKind::Command, QStringLiteral("register 4 value 250")},
    };
    {
        HistoryStore store;
        QString why;
        QVERIFY2(store.Open(path, HistoryStore::Access::ReadWrite, &why), qPrintable(why));
        QVERIFY(store.Append(blocks, events));
    }
    HistoryStore store;
    QString why;
    QVERIFY2(store.Open(path, HistoryStore::Access::ReadOnly, &why), qPrintable(why));
    QCOMPARE(store.SchemaVersion(), HistoryStore::kSchemaVersion);
    const QHash<int, DeviceKey> devices = store.Devices();
    QCOMPARE(devices.size(), 2);
    const QList<StoredBlock> read = AllBlocks(store);
    QCOMPARE(read.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const BlockSample& b = blocks[size_t(i)];
        QCOMPARE(read[i].utcMs, b.utcMs);
        QCOMPARE(read[i].block, b.block);
        QCOMPARE(devices.value(read[i].deviceId), b.device);
        for (const QuantityInfo& q : kQuantities)
            if (read[i].Has(q.quantity))
                QCOMPARE(read[i].raw[size_t(q.quantity)], qint32(b.registers[size_t(q.reg - q.block)]));
    }
    QList<HistoryEvent> readEvents;
    QVERIFY(store.ForEachEvent(0, kNoLimitFrom, kNoLimitTo,
                               [&](const StoredEvent& e) { readEvents << e.event; }));
    QCOMPARE(readEvents, QList<HistoryEvent>(events.begin(), events.end()));
    const int id = *store.DeviceId(kDevice);
    QCOMPARE(store.BlockSpan(id), std::make_optional(std::make_pair(kT0 + 123, kT0 + 2002)));
    QCOMPARE(store.OldestBlock(id), std::make_optional(kT0 + 123));

    // The file as users query it: the views give the panel's units.
    QCOMPARE(Query(path, "PRAGMA integrity_check"), QStringLiteral("ok"));
    QCOMPARE(Query(path, "PRAGMA journal_mode"), QStringLiteral("wal"));
    QCOMPARE(Query(path, "SELECT time || ' ' || device || ' ' || input_setting_pct || ' ' || run || ' ' || "
                         "max_output_pct FROM readings WHERE block = 0"),
             QStringLiteral("2026-12-10T08:00:00.123Z /dev/ttyUSB0#1 12.34 1 100.0"));
    QCOMPARE(Query(path, "SELECT voltage_v FROM readings WHERE block = 20 AND device LIKE '/dev%'"),
             QStringLiteral("6553.5"));
    QCOMPARE(
        Query(path,
              "SELECT temperature_c || ' ' || alarms || ' ' || ifnull(current_r_a, 'none') FROM readings "
              "WHERE block = 10"),
        QStringLiteral("150 261 none"));
    QCOMPARE(Query(path, "SELECT kind || ' ' || device FROM events ORDER BY time DESC"),
             QStringLiteral("command tcp://10.0.0.5:4001#17"));
}

void TestHistory::refusesFilesNotOurs_data() {
    QTest::addColumn<QByteArray>("setupSql"); // empty: `content` is written as plain bytes
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("damage"); // a history of ours made unusable so; `content` unused
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("readReason"); // why reading is refused too; empty: it may be read
    QTest::newRow("text file") << QByteArray() << QByteArray("time,value\n1,2\n") << QString()
                               << "not an SQLite database"
                               << "not an SQLite database";
    QTest::newRow("short file") << QByteArray() << QByteArray("SQLite") << QString()
                                << "not an SQLite database"
                                << "not an SQLite database";
    QTest::newRow("another program's database")
        << QByteArray(
               "CREATE TABLE accounts (id INTEGER, balance REAL); INSERT INTO accounts VALUES (1, 2.5);")
        << QByteArray() << QString() << "another program"
        << "another program";
    QTest::newRow("another application id") << QByteArray("PRAGMA application_id = 1234; CREATE TABLE t (x);")
                                            << QByteArray() << QString() << "another program"
                                            << "another program";
    QTest::newRow("newer schema")
        << QByteArray(
               "PRAGMA application_id = 1513574472; PRAGMA user_version = 99; CREATE TABLE reading (x);")
        << QByteArray() << QString() << "newer Z7 Panel"
        << "newer Z7 Panel";
    // Histories of ours that pass the first look but cannot be read or written.
    QTest::newRow("truncated history") << QByteArray() << QByteArray() << "truncated"
                                       << "malformed"
                                       << "malformed";
    QTest::newRow("in a read-only folder") << QByteArray() << QByteArray() << "read-only folder"
                                           << "cannot write in the folder"
                                           << "cannot read";
    QTest::newRow("locked by another process") << QByteArray() << QByteArray() << "locked"
                                               << "database is locked"
                                               << "database is locked";
    QTest::newRow("read-only file") << QByteArray() << QByteArray() << "read-only file"
                                    << "cannot write to" << QString();
}

void TestHistory::refusesFilesNotOurs() {
    QFETCH(QByteArray, setupSql);
    QFETCH(QByteArray, content);
    QFETCH(QString, damage);
    QFETCH(QString, reason);
    QFETCH(QString, readReason);
    // Each file in a folder of its own, whose rights the case may take away.
    QVERIFY(QDir(m_dir.path()).mkpath(QString::fromLatin1(QTest::currentDataTag())));
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    const QString path = folder + QStringLiteral("/history.db");
    const auto restore = qScopeGuard(
        [&] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    // The checks run in a process that is no superuser (see OpenElsewhere): the folders on the way must
    // let it through.
    QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ExeOther | QFile::ExeGroup);
    if (!damage.isEmpty()) {
        {
            HistoryStore store;
            QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
            std::vector<BlockSample> blocks;
            for (int s = 0; s < 600; ++s)
                blocks.push_back(Block(kT0 + s * 1000, 20, {{20, quint16(s)}}));
            QVERIFY(store.Append(blocks, {}));
        }
        if (damage == u"truncated")
            QVERIFY(QFile::resize(path, 1000));
    } else if (setupSql.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    } else {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, setupSql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    // The folder and the file open to everyone but for the right a case takes away.
    const QFile::Permissions all = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther | QFile::ExeOwner |
                                   QFile::ExeGroup | QFile::ExeOther;
    const QFile::Permissions write = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    QVERIFY(QFile::setPermissions(folder, damage == u"read-only folder" ? all : all | write));
    QVERIFY(QFile::setPermissions(path, damage == u"read-only file" ? all : all | write));
    // Another process holds the file (a write of an exclusive connection) beyond the busy time-out.
    sqlite3* holder = nullptr;
    if (damage == u"locked") {
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &holder), SQLITE_OK);
        QCOMPARE(sqlite3_exec(holder, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr, nullptr,
                              nullptr),
                 SQLITE_OK);
    }
    const QByteArray before = FileHash(path);
    for (HistoryStore::Access access : {HistoryStore::Access::ReadWrite, HistoryStore::Access::ReadOnly}) {
        const QString expected = access == HistoryStore::Access::ReadWrite ? reason : readReason;
        const QString result = OpenElsewhere(path, access, damage.startsWith(u"read-only"));
        if (result == QLatin1String(kNoRightsToGiveUp))
            QSKIP(kNoRightsToGiveUp);
        if (expected.isEmpty()) {
            QCOMPARE(result, QStringLiteral("opened"));
            continue;
        }
        QVERIFY2(result.startsWith(u"refused: ") && result.contains(expected) && result.contains(path),
                 qPrintable(result));
    }
    if (holder) {
        sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(holder);
    }
    QCOMPARE(FileHash(path), before);
    if (damage.isEmpty())
        QVERIFY(!QFile::exists(path + "-wal"));
}

void TestHistory::migratesVersion1() {
    const QString path = m_dir.filePath(QStringLiteral("v1.sqlite"));
    {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        QString why;
        QVERIFY2(HistoryStore::CreateSchemaVersion(db, 1, &why), qPrintable(why));
        // Two minutes of a version 1 recording, one block of currents every second.
        QByteArray sql = "INSERT INTO device VALUES (1, 'COM4', 1);";
        for (int s = 0; s < 120; ++s)
            sql +=
                "INSERT INTO reading (device, block, time_ms, reg20, reg21, reg22, reg23) VALUES (1, 20, " +
                QByteArray::number(kT0 + s * 1000) + ", " + QByteArray::number(100 + s) + ", 0, 0, 3800);";
        QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    QCOMPARE(Query(path, "PRAGMA user_version"), QStringLiteral("1"));
    HistoryStore store;
    QString why;
    QVERIFY2(store.Open(path, HistoryStore::Access::ReadWrite, &why), qPrintable(why));
    QCOMPARE(store.SchemaVersion(), 2);
    QCOMPARE(AllBlocks(store).size(), 120);
    const QList<MinuteRow> minutes = AllMinutes(store, 1);
    QCOMPARE(minutes.size(), 2);
    const size_t r = size_t(Quantity::CurrentR);
    QCOMPARE(minutes[1].utcMs, kT0 + 60000);
    QCOMPARE(minutes[1].counts[2], 60);
    QCOMPARE(minutes[1].min[r], 160);
    QCOMPARE(minutes[1].max[r], 219);
    QCOMPARE(minutes[1].sum[r], qint64((160 + 219) * 30));
    store.Close();
    QCOMPARE(Query(path, "PRAGMA user_version"), QStringLiteral("2"));
    QCOMPARE(Query(path, "SELECT current_r_a_mean FROM minutes ORDER BY time LIMIT 1"),
             QStringLiteral("12.95"));
}

void TestHistory::retentionKeepsSpikeAsMaximum() {
    const QString path = m_dir.filePath(QStringLiteral("retention.sqlite"));
    HistoryStore store;
    QString why;
    QVERIFY2(store.Open(path, HistoryStore::Access::ReadWrite, &why), qPrintable(why));
    // Three minutes at 100.0 A, with a one-second spike to 250.0 A in the second; alarms TEMP MAX for
    // ten seconds of it; the device running half of the third.
    std::vector<BlockSample> blocks;
    for (int s = 0; s < 180; ++s) {
        const qint64 t = kT0 + s * 1000;
        blocks.push_back(Block(t, 20, {{20, quint16(s == 95 ? 2500 : 1000)}, {23, 3800}}));
        blocks.push_back(Block(t + 300, 10, {{13, quint16(s >= 100 && s < 110 ? 0x10 : 0)}, {12, 40}}));
        blocks.push_back(Block(t + 600, 0, {{3, quint16(s >= 150 ? 1 : 0)}}));
    }
    // One more, 15 days on: blocks before it by more than 14 days go at the next trim.
    blocks.push_back(Block(kT0 + 15 * kDay, 20, {{20, 1000}}));
    QVERIFY(store.Append(blocks, {{kT0, kDevice, EventKind::PortOpen, "/dev/ttyUSB0"}}));
    QVERIFY(store.CatchUpMinutes());
    const int id = *store.DeviceId(kDevice);

    QVERIFY(store.Trim(kT0 + 15 * kDay));
    QCOMPARE(store.LastTrimMs(), kT0 + 15 * kDay);
    QList<StoredBlock> left = AllBlocks(store);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].utcMs, kT0 + 15 * kDay);
    const QList<MinuteRow> minutes = AllMinutes(store, id);
    QCOMPARE(minutes.size(), 4);
    const size_t r = size_t(Quantity::CurrentR);
    QCOMPARE(minutes[1].min[r], 1000);
    QCOMPARE(minutes[1].max[r], 2500);
    QCOMPARE(minutes[1].sum[r], qint64(59 * 1000 + 2500));
    QCOMPARE(minutes[0].max[r], 1000);
    QCOMPARE(minutes[1].alarmsAny, 0x10);
    QCOMPARE(minutes[1].alarmsAll, 0);
    QCOMPARE(minutes[2].alarmsAny, 0);
    const size_t run = size_t(Quantity::Run);
    QCOMPARE(minutes[2].sum[run], qint64(30));
    QCOMPARE(minutes[2].min[run], 0);
    QCOMPARE(minutes[2].max[run], 1);

    // The trend over those minutes, at any width, still reaches 250.0 A, and shows the alarm.
    for (int columns : {1, 2, 3, 500}) {
        const TrendData trend = QueryTrend(store, id, kT0, kT0 + 3 * 60000, columns, {Quantity::CurrentR});
        QVERIFY(trend.anyMinuteRows);
        double highest = 0;
        for (const QPointF& p : trend.series[0].Points())
            highest = std::max(highest, p.y());
        QCOMPARE(highest, 250.0);
        QVERIFY(std::any_of(trend.alarms.begin(), trend.alarms.end(), [](quint16 a) { return a == 0x10; }));
    }

    // Two years on, the minute rows and events go too.
    QVERIFY(store.Append({Block(kT0 + 2 * 365 * kDay + kDay, 20, {{20, 1000}})}, {}));
    QVERIFY(store.Trim(kT0 + 2 * 365 * kDay + kDay));
    QCOMPARE(AllMinutes(store, id).size(), 2); // the block's 15 days on, and the new one's
    int events = 0;
    store.ForEachEvent(0, kNoLimitFrom, kNoLimitTo, [&](const StoredEvent&) { ++events; });
    QCOMPARE(events, 0);
    QCOMPARE(Query(path, "PRAGMA integrity_check"), QStringLiteral("ok"));
}

void TestHistory::clockAheadKeepsTheHistory() {
    // The trim counts back from the newest record, not from a clock set years ahead at start.
    const QString path = m_dir.filePath(QStringLiteral("clock-ahead.sqlite"));
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    std::vector<BlockSample> blocks;
    for (int day = 0; day < 20; ++day)
        blocks.push_back(Block(kT0 + day * kDay, 20, {{20, quint16(day)}}));
    QVERIFY(store.Append(blocks, {{kT0, kDevice, EventKind::PortOpen, "/dev/ttyUSB0"}}));
    const qint64 newest = kT0 + 19 * kDay;
    for (qint64 now : {newest + 10 * 365 * kDay, newest}) {
        QVERIFY(store.Trim(now));
        // The newest 14 days of blocks (days 5 to 19), every minute row and the event.
        const QList<StoredBlock> left = AllBlocks(store);
        QCOMPARE(left.size(), 15);
        QCOMPARE(left.first().utcMs, kT0 + 5 * kDay);
        QCOMPARE(AllMinutes(store, 1).size(), 20);
        int events = 0;
        store.ForEachEvent(0, kNoLimitFrom, kNoLimitTo, [&](const StoredEvent&) { ++events; });
        QCOMPARE(events, 1);
    }
}

void TestHistory::minuteRowsAfterCrash() {
    // A recording that ended without writing the minute rows of its last minutes (a crash) gets them
    // when the file is next opened for writing and trimmed.
    const QString path = m_dir.filePath(QStringLiteral("crash-minutes.sqlite"));
    {
        HistoryStore store;
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
        QVERIFY(store.Append({Block(kT0, 20, {{20, 10}}), Block(kT0 + 61000, 20, {{20, 30}})}, {}));
    }
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    QCOMPARE(AllMinutes(store, 1).size(), 1); // the first minute, closed by the second's block
    QVERIFY(store.Trim(kT0 + 62000));
    const QList<MinuteRow> minutes = AllMinutes(store, 1);
    QCOMPARE(minutes.size(), 2);
    QCOMPARE(minutes[1].max[size_t(Quantity::CurrentR)], 30);
}

void TestHistory::minuteRowKeepsUpWithLateBlocks_data() {
    QTest::addColumn<bool>("reopen");
    // A block for a minute whose row is written: the clock set back while recording, or a recording
    // started again within the minute the last one closed (and killed before it left that minute).
    QTest::newRow("clock set back") << false;
    QTest::newRow("recording again in the same minute") << true;
}

void TestHistory::minuteRowKeepsUpWithLateBlocks() {
    QFETCH(bool, reopen);
    const QString path = m_dir.filePath(QStringLiteral("late-%1.sqlite").arg(reopen));
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    std::vector<BlockSample> blocks;
    for (int s = 0; s < (reopen ? 30 : 90); ++s)
        blocks.push_back(Block(kT0 + s * 1000, 20, {{20, 1000}}));
    QVERIFY(store.Append(blocks, {}));
    if (reopen) {
        QVERIFY(store.CatchUpMinutes());
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    }
    QCOMPARE(AllMinutes(store, 1).value(0).max[size_t(Quantity::CurrentR)], 1000);
    QVERIFY(store.Append({Block(kT0 + 40500, 20, {{20, 2500}})}, {}));
    store.Close();
    QVERIFY(store.Open(path, HistoryStore::Access::ReadOnly, nullptr));
    const MinuteRow row = AllMinutes(store, 1).value(0);
    QCOMPARE(row.utcMs, kT0);
    QCOMPARE(row.counts[2], (reopen ? 30 : 60) + 1);
    QCOMPARE(row.max[size_t(Quantity::CurrentR)], 2500);
}

void TestHistory::eventsFromTransitions_data() {
    QTest::addColumn<QList<BlockSample>>("blocks");
    QTest::addColumn<QStringList>("events");
    const DeviceKey second{QStringLiteral("/dev/ttyUSB0"), 2};
    const auto alarms = [](quint16 bits, const DeviceKey& d = kDevice) {
        return Block(kT0, 10, {{13, bits}}, d);
    };
    const auto run = [](quint16 reg3) { return Block(kT0, 0, {{3, reg3}}); };
    QTest::newRow("quiet at first sight") << QList<BlockSample>{alarms(0), run(0)} << QStringList{};
    QTest::newRow("alarms at first sight")
        << QList<BlockSample>{alarms(0x105)}
        << QStringList{"state-at-start PWER", "state-at-start S", "state-at-start CUUR SHO"};
    QTest::newRow("set then cleared") << QList<BlockSample>{alarms(0), alarms(0x10), alarms(0x10), alarms(0)}
                                      << QStringList{"alarm-set TEMP MAX", "alarm-clear TEMP MAX"};
    QTest::newRow("several at once") << QList<BlockSample>{alarms(0x001), alarms(0x0C2)}
                                     << QStringList{"state-at-start PWER", "alarm-clear PWER", "alarm-set R",
                                                    "alarm-set CUUR MAX", "alarm-set CUUR PLO"};
    QTest::newRow("every name") << QList<BlockSample>{alarms(0), alarms(0x1FF)}
                                << QStringList{
                                       "alarm-set PWER",     "alarm-set R",        "alarm-set S",
                                       "alarm-set T",        "alarm-set TEMP MAX", "alarm-set TEMP LOA",
                                       "alarm-set CUUR MAX", "alarm-set CUUR PLO", "alarm-set CUUR SHO"};
    QTest::newRow("bits above the LEDs") << QList<BlockSample>{alarms(0), alarms(0xFE00)} << QStringList{};
    QTest::newRow("run and stop") << QList<BlockSample>{run(0), run(1), run(1), run(0)}
                                  << QStringList{"run", "stop"};
    QTest::newRow("running at first sight") << QList<BlockSample>{run(1), run(1), run(0), run(1)}
                                            << QStringList{"state-at-start run", "stop", "run"};
    QTest::newRow("only bit 0 runs") << QList<BlockSample>{run(0), run(2), run(3), run(0xFFFE)}
                                     << QStringList{"run", "stop"};
    QTest::newRow("other blocks leave the state")
        << QList<BlockSample>{alarms(0x10), Block(kT0, 20, {{20, 0x10}}), Block(kT0, 0, {{0, 0x10}}),
                              alarms(0x10)}
        << QStringList{"state-at-start TEMP MAX"};
    QTest::newRow("each device its own state")
        << QList<BlockSample>{alarms(0x10), alarms(0x10, second), alarms(0, second), alarms(0x10, second)}
        << QStringList{"state-at-start TEMP MAX", "state-at-start TEMP MAX", "alarm-clear TEMP MAX",
                       "alarm-set TEMP MAX"};
}

void TestHistory::eventsFromTransitions() {
    QFETCH(QList<BlockSample>, blocks);
    QFETCH(QStringList, events);
    EventDetector detector;
    std::vector<HistoryEvent> seen;
    for (const BlockSample& b : blocks) {
        const EventDetector::Output out = detector.OnTraffic(ReadRecord(b), b.device.port);
        QVERIFY(out.block.has_value());
        QCOMPARE(out.block->registers, b.registers);
        QCOMPARE(out.block->device, b.device);
        for (const HistoryEvent& e : out.events) {
            QCOMPARE(e.utcMs, b.utcMs);
            QCOMPARE(e.device, b.device);
        }
        seen.insert(seen.end(), out.events.begin(), out.events.end());
    }
    QCOMPARE(Texts(seen), events);
}

void TestHistory::refusedRepliesRecordNothing_data() {
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("firstRegister");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("recorded");
    QTest::newRow("accepted") << int(Verdict::Accepted) << 10 << 25 << true;
    for (Verdict v : {Verdict::Crc, Verdict::Address, Verdict::Function, Verdict::Count, Verdict::Short,
                      Verdict::Exception, Verdict::Unexpected, Verdict::Oversize})
        QTest::newRow(VerdictKeyword(v)) << int(v) << 10 << 25 << false;
    QTest::newRow("not a block's start") << int(Verdict::Accepted) << 5 << 25 << false;
    QTest::newRow("cut short") << int(Verdict::Accepted) << 10 << 24 << false;
}

void TestHistory::refusedRepliesRecordNothing() {
    QFETCH(int, verdict);
    QFETCH(int, firstRegister);
    QFETCH(int, length);
    QFETCH(bool, recorded);
    EventDetector detector;
    TrafficRecord r = ReadRecord(Block(kT0, 10, {{13, 0x10}}), Verdict(verdict));
    r.firstRegister = quint16(firstRegister);
    r.bytes.truncate(length);
    const EventDetector::Output out = detector.OnTraffic(r, kDevice.port);
    QCOMPARE(out.block.has_value(), recorded);
    QCOMPARE(out.events.size(), size_t(recorded ? 1 : 0));
}

namespace {

// One thing the line or the port does on the way of a command, as the detector is told of it.
struct FateStep {
    TrafficRecord record;
    bool closePort = false;
};

// A record of the write of `value` to `reg` handed to the port at `sentUs` (steady clock): the request
// itself, or its answer.
FateStep Write(TrafficDirection direction, Verdict verdict, quint16 value, qint64 sentUs, quint8 reg = 4) {
    TrafficRecord r = Record(direction, verdict, 0x06, reg, value, kT0);
    r.requestUs = sentUs;
    return {r};
}

// An answer to the read of `block` requested at `requestUs`.
FateStep Read(quint8 block, std::initializer_list<std::pair<int, quint16>> regs, qint64 requestUs,
              Verdict verdict = Verdict::Accepted, quint8 address = 1) {
    TrafficRecord r = ReadRecord(Block(kT0, block, regs, DeviceKey{kDevice.port, address}), verdict);
    r.requestUs = requestUs;
    return {r};
}

} // namespace

Q_DECLARE_METATYPE(QList<FateStep>)

void TestHistory::commandFates_data() {
    QTest::addColumn<QList<FateStep>>("steps");
    QTest::addColumn<QStringList>("events");
    using D = TrafficDirection;
    using V = Verdict;
    const FateStep sent = Write(D::Tx, V::Sent, 250, 100);
    const FateStep lost = Write(D::Missing, V::NoReply, 250, 100);
    const QString unconfirmed = QStringLiteral("command-unconfirmed register 4 value 250 reason noreply");
    const QString heldByDevice =
        QStringLiteral("command-confirmed register 4 value 250 reason read held 250");
    FateStep exception = Write(D::Rx, V::Exception, 250, 100);
    exception.record.exceptionCode = 2;
    FateStep closed;
    closed.closePort = true;

    // Answered at once: what a later read holds changes nothing.
    QTest::newRow("clean echo") << QList<FateStep>{sent, Write(D::Rx, V::Confirmed, 250, 100),
                                                   Read(0, {{4, 240}}, 200)}
                                << QStringList{"command-confirmed register 4 value 250"};
    QTest::newRow("exception") << QList<FateStep>{sent, exception, Read(0, {{4, 250}}, 200)}
                               << QStringList{"command-refused register 4 value 250 reason exception 02"};
    QTest::newRow("port refused") << QList<FateStep>{Write(D::Tx, V::Refused, 250, 100),
                                                     Read(0, {{4, 250}}, 200)}
                                  << QStringList{"command-refused register 4 value 250 reason port"};

    // Echo lost or garbled: the next read of the register decides.
    QTest::newRow("lost echo, read holds the value")
        << QList<FateStep>{sent, lost, Read(0, {{4, 250}}, 200)} << QStringList{unconfirmed, heldByDevice};
    QTest::newRow("lost echo, read holds another value")
        << QList<FateStep>{sent, lost, Read(0, {{4, 240}}, 200)}
        << QStringList{unconfirmed, "command-refused register 4 value 250 reason read held 240"};
    QTest::newRow("garbled echo, read holds the value")
        << QList<FateStep>{sent, Write(D::Rx, V::Crc, 250, 100), Read(0, {{4, 250}}, 200)}
        << QStringList{"command-unconfirmed register 4 value 250 reason crc", heldByDevice};
    QTest::newRow("garbled echo, read holds another value")
        << QList<FateStep>{sent, Write(D::Rx, V::Function, 250, 100), Read(0, {{4, 0}}, 200)}
        << QStringList{"command-unconfirmed register 4 value 250 reason function",
                       "command-refused register 4 value 250 reason read held 0"};
    QTest::newRow("echo of another value")
        << QList<FateStep>{sent, Write(D::Rx, V::Echo, 250, 100), Read(0, {{4, 250}}, 200)}
        << QStringList{"command-unconfirmed register 4 value 250 reason echo", heldByDevice};
    QTest::newRow("garbled, then the clean echo")
        << QList<FateStep>{sent, Write(D::Rx, V::Crc, 250, 100), Write(D::Rx, V::Confirmed, 250, 100),
                           Read(0, {{4, 240}}, 200)}
        << QStringList{"command-unconfirmed register 4 value 250 reason crc",
                       "command-confirmed register 4 value 250"};

    // What does not settle it.
    QTest::newRow("reads of other blocks")
        << QList<FateStep>{sent, lost, Read(10, {{10, 250}}, 200), Read(20, {{20, 250}}, 300),
                           Read(0, {{4, 250}}, 400)}
        << QStringList{unconfirmed, heldByDevice};
    QTest::newRow("a read asked before the write")
        << QList<FateStep>{sent, lost, Read(0, {{4, 240}}, 50), Read(0, {{4, 250}}, 200)}
        << QStringList{unconfirmed, heldByDevice};
    QTest::newRow("a refused read") << QList<FateStep>{sent, lost, Read(0, {{4, 240}}, 200, V::Crc),
                                                       Read(0, {{4, 250}}, 300)}
                                    << QStringList{unconfirmed, heldByDevice};
    QTest::newRow("another slave's read")
        << QList<FateStep>{sent, lost, Read(0, {{4, 240}}, 200, V::Accepted, 2), Read(0, {{4, 250}}, 300)}
        << QStringList{unconfirmed, heldByDevice};
    QTest::newRow("a newer command to the register")
        << QList<FateStep>{sent, lost, Write(D::Tx, V::Sent, 260, 150), Write(D::Rx, V::Confirmed, 260, 150),
                           Read(0, {{4, 260}}, 200)}
        << QStringList{unconfirmed, "command-confirmed register 4 value 260"};
    QTest::newRow("the port closed") << QList<FateStep>{sent, lost, closed, Read(0, {{4, 250}}, 200)}
                                     << QStringList{unconfirmed, "port-close /dev/ttyUSB0"};

    // Several at once, each by its own register; the run switch by bit 0 as the panel shows it, where a
    // stop (1) done shows the plant stopped (0) and a start (0) done shows it running (1).
    QTest::newRow("each register its own fate")
        << QList<FateStep>{sent,
                           lost,
                           Write(D::Tx, V::Sent, 1, 150, 3),
                           Write(D::Rx, V::Short, 1, 150, 3),
                           Write(D::Tx, V::Sent, 7, 160, 5),
                           Write(D::Missing, V::NoReply, 7, 160, 5),
                           Read(0, {{3, 0}, {4, 250}, {5, 7}}, 200)}
        << QStringList{unconfirmed,
                       "command-unconfirmed register 3 value 1 reason short",
                       "command-unconfirmed register 5 value 7 reason noreply",
                       heldByDevice,
                       "command-confirmed register 3 value 1 reason read held 0",
                       "command-confirmed register 5 value 7 reason read held 7"};
    QTest::newRow("stop not done, by bit 0")
        << QList<FateStep>{Write(D::Tx, V::Sent, 1, 100, 3), Write(D::Missing, V::NoReply, 1, 100, 3),
                           Read(0, {{3, 0x0101}}, 200)}
        << QStringList{"command-unconfirmed register 3 value 1 reason noreply",
                       "command-refused register 3 value 1 reason read held 257", "state-at-start run"};
    QTest::newRow("start done, by bit 0")
        << QList<FateStep>{Write(D::Tx, V::Sent, 0, 100, 3), Write(D::Missing, V::NoReply, 0, 100, 3),
                           Read(0, {{3, 0x0101}}, 200)}
        << QStringList{"command-unconfirmed register 3 value 0 reason noreply",
                       "command-confirmed register 3 value 0 reason read held 257", "state-at-start run"};
}

void TestHistory::commandFates() {
    QFETCH(QList<FateStep>, steps);
    QFETCH(QStringList, events);
    EventDetector detector;
    std::vector<HistoryEvent> seen;
    for (int i = 0; i < steps.size(); ++i) {
        // Each step at a time of its own: an event carries the time of the step that decided it.
        const qint64 at = kT0 + 1000 * i;
        std::vector<HistoryEvent> out;
        if (steps[i].closePort) {
            out = {detector.OnPort(PortChange::Closed, kDevice, at)};
        } else {
            TrafficRecord r = steps[i].record;
            r.utcMs = at;
            const EventDetector::Output o = detector.OnTraffic(r, kDevice.port);
            QCOMPARE(o.block.has_value(), r.function == 0x03 && r.verdict == Verdict::Accepted);
            out = o.events;
        }
        for (const HistoryEvent& e : out) {
            QCOMPARE(e.utcMs, at);
            QCOMPARE(e.device, kDevice);
        }
        seen.insert(seen.end(), out.begin(), out.end());
    }
    QCOMPARE(Texts(seen), events);
}

void TestHistory::commandDetails() {
    // The operator's command, sent or held back by the communication box.
    EventDetector detector;
    QCOMPARE(Texts(detector.OnCommand(kDevice, 4, 250, true, kT0)),
             QStringList{"command register 4 value 250"});
    QCOMPARE(Texts(detector.OnCommand(kDevice, 3, 1, false, kT0)),
             QStringList{"command register 3 value 1 reason commoff"});

    // Every detail reads back as it was written, to the last field.
    using R = CommandDetail::Reason;
    const QList<CommandDetail> details = {
        {0, 595},
        {3, 1, R::CommOff},
        {65535, 65535, R::Port},
        {4, 250, R::Answer, Verdict::NoReply},
        {4, 250, R::Answer, Verdict::Crc},
        {5, 12, R::Answer, Verdict::Exception, 0xAB},
        {4, 250, R::Read, Verdict::Confirmed, 0, 240},
    };
    for (const CommandDetail& d : details)
        QCOMPARE(CommandDetail::Parse(d.Text()), std::optional<CommandDetail>(d));
    // Details of earlier panels keep what follows the command; anything else is no command's.
    const std::optional<CommandDetail> old = CommandDetail::Parse(u"register 4 value 250; answer: crc");
    QVERIFY(old);
    QCOMPARE(old->reason, R::None);
    QCOMPARE(old->rest, QStringLiteral("; answer: crc"));
    QCOMPARE(old->Text(), QStringLiteral("register 4 value 250; answer: crc"));
    QCOMPARE(CommandDetail::Parse(u"register 4 value 250 reason read held x")->rest,
             QStringLiteral(" reason read held x"));
    for (const char* text : {"TEMP MAX", "register 4", "register 70000 value 1", "value 4 register 250", ""})
        QVERIFY2(!CommandDetail::Parse(QString::fromLatin1(text)), text);
}

void TestHistory::linkLostAndRestored() {
    EventDetector detector;
    QStringList seen;
    const auto feed = [&](const TrafficRecord& r) {
        seen << Texts(detector.OnTraffic(r, kDevice.port).events);
    };
    const auto miss = [&] { feed(Record(TrafficDirection::Missing, Verdict::NoReply, 0x03, 0, 10, kT0)); };
    const auto answer = [&] { feed(ReadRecord(Block(kT0, 0, {}))); };
    miss();
    miss();
    answer(); // two in a row are not yet a lost link
    miss();
    // Another slave's missing answers do not count.
    feed(Record(TrafficDirection::Missing, Verdict::NoReply, 0x03, 0, 10, kT0, 2));
    feed(Record(TrafficDirection::Missing, Verdict::NoReply, 0x03, 0, 10, kT0, 2));
    miss();
    QVERIFY(seen.isEmpty());
    // A refused answer is a poll without an accepted reply, as a missing one is.
    feed(ReadRecord(Block(kT0, 0, {}), Verdict::Crc));
    QCOMPARE(seen, QStringList{"link-lost 3 polls unanswered"});
    miss();
    miss();
    miss();
    QCOMPARE(seen.size(), 1);
    answer();
    answer();
    QCOMPARE(seen, (QStringList{"link-lost 3 polls unanswered", "link-restored"}));
    const HistoryEvent port = detector.OnPort(PortChange::Vanished, kDevice, kT0);
    QCOMPARE(Texts({port}), QStringList{"port-vanished /dev/ttyUSB0"});
    QCOMPARE(Texts({detector.OnRecording(true, kDevice, "z7panel 1.0", kT0),
                    detector.OnRecording(false, kDevice, "SIGTERM", kT0)}),
             (QStringList{"recording-started z7panel 1.0", "recording-stopped SIGTERM"}));
    // Every kind is read back from its keyword.
    for (int k = 0; k < kEventKindCount; ++k)
        QCOMPARE(EventKindFromKeyword(QString::fromLatin1(EventKindKeyword(EventKind(k)))),
                 std::optional<EventKind>(EventKind(k)));
}

void TestHistory::csvFormat_data() {
    QTest::addColumn<QString>("locale");
    QTest::newRow("C") << "C";
    QTest::newRow("comma decimal") << "de_DE";
}

void TestHistory::csvFormat() {
    QFETCH(QString, locale);
    const QLocale saved;
    QLocale::setDefault(QLocale(locale));
    const QByteArray savedC = std::setlocale(LC_ALL, nullptr);
    // Where the system has the locale, the C library's formatting uses a comma too.
    std::setlocale(LC_ALL, (locale + ".UTF-8").toLatin1().constData());
    const auto restore = qScopeGuard([&] {
        QLocale::setDefault(saved);
        std::setlocale(LC_ALL, savedC.constData());
    });
    QCOMPARE(QLocale().toString(1.5), locale == "C" ? QStringLiteral("1.5") : QStringLiteral("1,5"));

    const QString path = m_dir.filePath(QStringLiteral("csv-%1.sqlite").arg(locale));
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    const DeviceKey odd{QStringLiteral("tcp://host,\"a\""), 9};
    QVERIFY(
        store.Append({Block(kT0 + 123, 0, {{0, 1234}, {3, 3}, {4, 1000}, {5, 5}}),
                      Block(kT0 + 1001, 10, {{10, 655}, {11, 1000}, {12, 150}, {13, 0x105}, {15, 3800}}),
                      Block(kT0 + 2002, 20, {{20, 1}, {21, 22}, {22, 333}, {23, 65535}}),
                      Block(kT0 + 3000, 20, {{20, 7}}, odd)},
                     {{kT0 + 5, kDevice, EventKind::AlarmSet, QStringLiteral("TEMP MAX")},
                      {kT0 + 6, odd, EventKind::CommandRefused, QStringLiteral("register 4 value 250; crc")},
                      {kT0 + 7, kDevice, EventKind::Run, QString()}}));

    QBuffer readings;
    readings.open(QIODevice::WriteOnly);
    QString why;
    QVERIFY2(WriteReadingsCsv(store, 0, kNoLimitFrom, kNoLimitTo, readings, &why), qPrintable(why));
    QCOMPARE(readings.data(),
             QByteArray(
                 "time,device,block,input_setting_pct,run,max_output_pct,min_output_pct,input_pct,output_pct,"
                 "temperature_c,alarms,full_scale_v,current_r_a,current_s_a,current_t_a,voltage_v\r\n"
                 "2026-12-10T08:00:00.123Z,/dev/ttyUSB0#1,0,12.34,1,100.0,0.5,,,,,,,,,\r\n"
                 "2026-12-10T08:00:01.001Z,/dev/ttyUSB0#1,10,,,,,65.5,100.0,150,261,380.0,,,,\r\n"
                 "2026-12-10T08:00:02.002Z,/dev/ttyUSB0#1,20,,,,,,,,,,0.1,2.2,33.3,6553.5\r\n"
                 "2026-12-10T08:00:03.000Z,\"tcp://host,\"\"a\"\"#9\",20,,,,,,,,,,0.7,0.0,0.0,0.0\r\n"));

    // A span: from inclusive, to exclusive; one device.
    QBuffer span;
    span.open(QIODevice::WriteOnly);
    QVERIFY(WriteReadingsCsv(store, *store.DeviceId(kDevice), kT0 + 1001, kT0 + 2002, span, &why));
    QCOMPARE(span.data().count("\r\n"), 2);
    QVERIFY(span.data().contains("08:00:01.001Z"));

    QBuffer events;
    events.open(QIODevice::WriteOnly);
    QVERIFY(WriteEventsCsv(store, 0, kNoLimitFrom, kNoLimitTo, events, &why));
    QCOMPARE(events.data(), QByteArray("time,device,kind,detail\r\n"
                                       "2026-12-10T08:00:00.005Z,/dev/ttyUSB0#1,alarm-set,TEMP MAX\r\n"
                                       "2026-12-10T08:00:00.006Z,\"tcp://host,\"\"a\"\"#9\",command-refused,"
                                       "register 4 value 250; crc\r\n"
                                       "2026-12-10T08:00:00.007Z,/dev/ttyUSB0#1,run,\r\n"));

    QVERIFY(store.CatchUpMinutes());
    QBuffer minutes;
    minutes.open(QIODevice::WriteOnly);
    QVERIFY(WriteMinutesCsv(store, *store.DeviceId(kDevice), kNoLimitFrom, kNoLimitTo, minutes, &why));
    const QList<QByteArray> lines = minutes.data().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith("time,device,blocks,input_setting_pct_min,input_setting_pct_mean,"));
    QVERIFY2(
        lines[1].startsWith("2026-12-10T08:00:00.000Z,/dev/ttyUSB0#1,3,12.34,12.3400,12.34,1,1.00,1,100.0,"),
        lines[1].constData());
    QVERIFY(lines[1].endsWith(",6553.5,6553.500,6553.5\r"));
}

void TestHistory::trendCsvHasEveryBlockKept() {
    // Three weeks of a device, a block of currents every minute on the minute, its minute rows written,
    // trimmed to 14 days of blocks; then two blocks in a minute whose row is not written yet.
    const QString path = m_dir.filePath(QStringLiteral("trend-csv.sqlite"));
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    const DeviceKey other{QStringLiteral("COM9"), 3};
    std::vector<BlockSample> blocks;
    const int minutes = 21 * 24 * 60;
    for (int m = 0; m < minutes; ++m)
        blocks.push_back(Block(kT0 + m * 60000LL, 20, {{20, quint16(m % 1000)}}));
    blocks.push_back(Block(kT0 + 5000, 10, {{13, 0x10}}, other));
    QVERIFY(store.Append(blocks, {}));
    const qint64 last = kT0 + (minutes - 1) * 60000LL;
    QVERIFY(store.Trim(last));
    QVERIFY(store.Append({Block(last + 60000, 20, {{20, 2500}}), Block(last + 61000, 10, {{13, 0x21}})}, {}));
    const int id = *store.DeviceId(kDevice);
    const qint64 oldest = *store.OldestBlock(id);
    QCOMPARE(oldest, last - 14 * kDay);

    // Ten minutes before the oldest block to the end: three lines for each minute row, then every block.
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    QString why;
    QVERIFY2(WriteTrendCsv(store, id, oldest - 600000, last + 120000, csv, &why), qPrintable(why));
    QList<QByteArray> lines = csv.data().split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.takeFirst() + '\n', ReadingsCsvHeader());
    QCOMPARE(lines.size(), 3 * 10 + 14 * 24 * 60 + 1 + 2);
    const int before = int((oldest - 600000 - kT0) / 60000) % 1000;
    const QByteArray minuteStart = IsoUtcMs(oldest - 600000).toLatin1() + ",/dev/ttyUSB0#1,";
    QCOMPARE(lines[0],
             minuteStart + "min,,,,,,,,,," + CsvValue(Quantity::CurrentR, before) + ",0.0,0.0,0.0\r");
    QCOMPARE(lines[1], minuteStart + "mean,,,,,,,,,," + CsvValue(Quantity::CurrentR, before) +
                           "00,0.000,0.000,0.000\r");
    QCOMPARE(lines[2],
             minuteStart + "max,,,,,,,,,," + CsvValue(Quantity::CurrentR, before) + ",0.0,0.0,0.0\r");
    QVERIFY2(lines[30].startsWith(IsoUtcMs(oldest).toLatin1() + ",/dev/ttyUSB0#1,20,"),
             lines[30].constData());
    for (int i = 30; i < lines.size(); ++i)
        QVERIFY2(!lines[i].contains(",min,") && !lines[i].contains(",max,"), lines[i].constData());
    // The newest minute, which has no row yet, and nothing of the other device.
    QCOMPARE(lines.last(),
             IsoUtcMs(last + 61000).toLatin1() + ",/dev/ttyUSB0#1,10,,,,,0.0,0.0,0,33,0.0,,,,\r");
    QVERIFY(!csv.data().contains("COM9"));

    // Where only minute rows are left, they alone; the alarms' bits at any time and throughout.
    QVERIFY(store.CatchUpMinutes());
    QBuffer rows;
    rows.open(QIODevice::WriteOnly);
    QVERIFY(WriteTrendCsv(store, *store.DeviceId(other), kNoLimitFrom, kNoLimitTo, rows, &why));
    QCOMPARE(rows.data().count("\r\n"), 1 + 3);
    QVERIFY2(rows.data().contains(",COM9#3,min,,,,,0.0,0.0,0,16,0.0,,,,\r\n") &&
                 rows.data().contains(",COM9#3,mean,,,,,0.000,0.000,0.00,,0.000,,,,\r\n") &&
                 rows.data().contains(",COM9#3,max,,,,,0.0,0.0,0,16,0.0,,,,\r\n"),
             rows.data().constData());

    // The minute rows of every device, in time order.
    QBuffer all;
    all.open(QIODevice::WriteOnly);
    QVERIFY(WriteMinutesCsv(store, 0, kNoLimitFrom, kT0 + 120000, all, &why));
    QVERIFY(all.data().startsWith(MinutesCsvHeader()));
    QStringList order;
    for (const QByteArray& line : all.data().split('\n').mid(1, 3))
        order << QString::fromLatin1(line.left(line.indexOf(',', 25)));
    QCOMPARE(order, (QStringList{"2026-12-10T08:00:00.000Z,/dev/ttyUSB0#1", "2026-12-10T08:00:00.000Z,COM9#3",
                                 "2026-12-10T08:01:00.000Z,/dev/ttyUSB0#1"}));
    QCOMPARE(all.data().count("\r\n"), 1 + 3);
}

void TestHistory::trendDrawsBlocksWhereTheyAreKept() {
    // A recording that starts within a minute: its minute row must not be drawn before its first block.
    const QString path = m_dir.filePath(QStringLiteral("trend-start.sqlite"));
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    std::vector<BlockSample> blocks;
    for (int s = 48; s < 180; ++s)
        blocks.push_back(Block(kT0 + s * 1000, 20, {{20, quint16(s)}}));
    QVERIFY(store.Append(blocks, {}));
    QVERIFY(store.CatchUpMinutes());
    const TrendData trend = QueryTrend(store, 1, kT0 - 300000, kT0 + 180000, 800, {Quantity::CurrentR});
    QVERIFY(!trend.anyMinuteRows);
    const QList<QPointF> points = trend.series[0].Points();
    QCOMPARE(points.first(), QPointF(double(kT0 + 48000), 4.8));
    QCOMPARE(points.last(), QPointF(double(kT0 + 179000), 17.9));

    // Alarms read every three seconds shade every column between two readings; a pause ends them.
    std::vector<BlockSample> alarms;
    for (int s = 0; s < 30; s += 3)
        alarms.push_back(Block(kT0 + 200000 + s * 1000, 10, {{13, 0x10}}));
    alarms.push_back(Block(kT0 + 260000, 10, {{13, 0x10}}));
    QVERIFY(store.Append(alarms, {}));
    const TrendData shaded = QueryTrend(store, 1, kT0 + 200000, kT0 + 270000, 700, {});
    const auto shadedAt = [&](qint64 t) {
        return shaded.alarms[size_t(ColumnReducer(kT0 + 200000, kT0 + 270000, 700).Column(t))];
    };
    for (qint64 t = kT0 + 200000; t <= kT0 + 227000; t += 100)
        QCOMPARE(shadedAt(t), quint16(0x10));
    QCOMPARE(shadedAt(kT0 + 240000), quint16(0));
    QCOMPARE(shadedAt(kT0 + 260000), quint16(0x10));

    // A span of a month: the two whole minutes with rows inside the column are drawn from their rows;
    // the first minute (it starts before the first block) and the newest minute rows from the blocks.
    const TrendData month = QueryTrend(store, 1, kT0 - 20 * kDay, kT0 + 10 * kDay, 800, {Quantity::CurrentR});
    QVERIFY(!month.anyMinuteRows);
    QCOMPARE(month.blocksFrom, kT0 + 48000);
    QCOMPARE(month.minutesForBlocks, 2);
    QCOMPARE(month.series[0].Points(),
             (QList<QPointF>{{double(kT0 + 48000), 4.8}, {double(kT0 + 120000), 17.9}}));
}

void TestHistory::trendColumnsFromMinuteRows_data() {
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QList<Quantity>>("quantities");
    QTest::addColumn<bool>("wide");
    const QList<Quantity> currents{Quantity::CurrentS, Quantity::Voltage, Quantity::Temperature};
    const QList<Quantity> all{Quantity::CurrentR,      Quantity::CurrentS,    Quantity::CurrentT,
                              Quantity::Voltage,       Quantity::Temperature, Quantity::OutputQuantity,
                              Quantity::InputQuantity, Quantity::InputSetting};
    const qint64 end = kT0 + 6 * 3600000;
    QTest::newRow("whole recording, 100 columns") << kT0 << end << 100 << all << true;
    QTest::newRow("a column per hour") << kT0 - 3600000 << end + 3600000 << 8 << currents << true;
    QTest::newRow("span inside minutes") << kT0 + 17000 << end - 23000 << 150 << all << true;
    QTest::newRow("narrow columns") << kT0 << end << 200 << currents << false;
    QTest::newRow("alarm register drawn")
        << kT0 << end << 100 << QList<Quantity>{Quantity::CurrentR, Quantity::Alarms} << false;
}

void TestHistory::trendColumnsFromMinuteRows() {
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, columns);
    QFETCH(QList<Quantity>, quantities);
    QFETCH(bool, wide);
    // Six hours of noisy blocks with spikes, a block a second in turn, paused for ten minutes; alarms
    // that come and go. Spikes also sit on both sides of minute borders, of the borders of the 100 and
    // of the hourly columns below, and of the pause. One minute lost its row (a crash, and no start
    // since to catch up). The recording stopped in its last minute, whose row was written then, and
    // went on in that minute with spikes. At the end the clock was set back by over an hour for two
    // blocks with spikes and an alarm, into a minute that had its row.
    const QString path = m_dir.filePath(QStringLiteral("trend-minutes.sqlite"));
    constexpr qint64 kLost = 3 * 3600, kEnd = 6 * 3600, kGoneOn = kEnd - 30, kSetBack = 5000;
    static std::vector<BlockSample> blocks;
    if (blocks.empty()) {
        const std::set<qint64> spikes = {1799,         1800,     4199,         4200,     216 * 7 - 1, 216 * 7,
                                         216 * 23 - 1, 216 * 23, 216 * 61 - 1, 216 * 61, 3599,        3600,
                                         14399,        14400,    7199,         7800};
        QRandomGenerator random(7);
        for (qint64 s = 0; s < kEnd; ++s) {
            if (s >= 7200 && s < 7800)
                continue;
            const quint8 block = quint8(10 * (s % 3));
            std::array<quint16, 10> regs{};
            for (quint16& r : regs)
                r = quint16(1000 + random.bounded(100));
            if (random.bounded(200) == 0)
                regs[size_t(random.bounded(10))] = quint16(random.bounded(2) ? 5000 : 3);
            if (block == 10)
                regs[3] = random.bounded(40) == 0 ? quint16(1 << random.bounded(9)) : 0;
            if ((s >= kLost && s < kLost + 6) || s >= kEnd - 10 || spikes.count(s))
                regs.fill(s % 2 ? 7000 : 1);
            BlockSample b = Block(kT0 + s * 1000 + random.bounded(900), block, {});
            b.registers = regs;
            blocks.push_back(b);
        }
        const auto split = std::find_if(blocks.begin(), blocks.end(), [&](const BlockSample& b) {
            return b.utcMs >= kT0 + kGoneOn * 1000;
        });
        const std::vector<BlockSample> first(blocks.begin(), split), then(split, blocks.end());
        std::vector<BlockSample> setBack;
        for (quint8 block : {quint8(10), quint8(20)}) {
            BlockSample b = Block(kT0 + (kSetBack + block) * 1000 + 950, block, {});
            b.registers.fill(block == 10 ? 2 : 9000);
            b.registers[3] = 0x100;
            setBack.push_back(b);
            blocks.push_back(b);
        }
        HistoryStore store;
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
        QVERIFY(store.Append(first, {}));
        QVERIFY(store.CatchUpMinutes());
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
        QVERIFY(store.Append(then, {}));
        QVERIFY(store.Append(setBack, {}));
        store.Close();
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        const QByteArray lost =
            "DELETE FROM minute WHERE time_ms = " + QByteArray::number(kT0 + kLost * 1000);
        QCOMPARE(sqlite3_exec(db, lost.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_changes(db), 1);
        sqlite3_close(db);
    }

    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadOnly, nullptr));
    const TrendData fast = QueryTrend(store, 1, from, to, columns, quantities);
    const TrendData exact = QueryTrend(store, 1, from, to, columns, quantities, TrendSource::Blocks);
    QCOMPARE(fast.minutesForBlocks > 0, wide);
    QCOMPARE(exact.minutesForBlocks, 0);
    QVERIFY(!fast.anyMinuteRows);
    // Each column's lowest and highest value of each quantity, straight from the blocks recorded.
    for (int i = 0; i < quantities.size(); ++i) {
        const Quantity q = quantities[i];
        std::vector<double> low(size_t(columns), qInf()), high(size_t(columns), -qInf());
        const ColumnReducer grid(from, to, columns);
        for (const BlockSample& b : blocks) {
            const int c = grid.Column(b.utcMs);
            if (c < 0 || b.block != Info(q).block)
                continue;
            const double v = ScaledValue(q, b.registers[size_t(Info(q).reg - b.block)]);
            low[size_t(c)] = std::min(low[size_t(c)], v);
            high[size_t(c)] = std::max(high[size_t(c)], v);
        }
        for (const TrendData* trend : {&fast, &exact}) {
            for (int c = 0; c < columns; ++c) {
                const ColumnReducer::Cell& cell = trend->series[size_t(i)].Cells()[size_t(c)];
                QCOMPARE(cell.any, low[size_t(c)] != qInf());
                if (cell.any) {
                    QCOMPARE(cell.low, low[size_t(c)]);
                    QCOMPARE(cell.high, high[size_t(c)]);
                }
            }
        }
    }
    // The alarm bits of each column: in wide columns exactly those read in it; in narrow ones they are
    // also held between readings, the same whichever way the columns were read.
    QCOMPARE(fast.alarms, exact.alarms);
    if (wide) {
        std::vector<quint16> alarms(size_t(columns), 0);
        const ColumnReducer grid(from, to, columns);
        for (const BlockSample& b : blocks)
            if (const int c = grid.Column(b.utcMs); c >= 0 && b.block == 10)
                alarms[size_t(c)] |= quint16(b.registers[3] & kAlarmMask);
        QCOMPARE(fast.alarms, alarms);
    }
    QVERIFY(std::any_of(fast.alarms.begin(), fast.alarms.end(), [](quint16 a) { return a & 0x100; }));
}

void TestHistory::docsAgreeWithTheTable() {
    // The user's page on the history names each quantity with the register and scale the panel uses,
    // and the alarms by the names above their LEDs.
    QFile page(qEnvironmentVariable("Z7_SOURCE_DIR") + QStringLiteral("/docs/history.md"));
    QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.fileName()));
    const QString text = QString::fromUtf8(page.readAll());
    for (const QuantityInfo& q : kQuantities) {
        const QString scale = q.kind == QuantityKind::Bit    ? QStringLiteral("bit 0")
                              : q.kind == QuantityKind::Bits ? QStringLiteral("bits 0 to 8")
                                                             : QStringLiteral("÷ %1").arg(q.divisor);
        const QString row = QStringLiteral("| `%1` | %2 | %3 | %4 | %5 | %6 |")
                                .arg(QLatin1String(q.key))
                                .arg(q.reg)
                                .arg(scale, QString::fromUtf8(q.unit))
                                .arg(q.block)
                                .arg(QString::fromUtf8(q.label));
        QVERIFY2(text.contains(row), qPrintable(row));
    }
    for (int k = 0; k < kAlarmCount; ++k) {
        const QString name = QStringLiteral("%1 `%2`").arg(k).arg(QLatin1String(kAlarmNames[size_t(k)]));
        QVERIFY2(text.contains(name), qPrintable(name));
    }
    // and every kind of event in its list of events.
    for (int k = 0; k < kEventKindCount; ++k) {
        const QString kind = QStringLiteral("`%1`").arg(QLatin1String(EventKindKeyword(EventKind(k))));
        QVERIFY2(text.contains(kind), qPrintable(kind));
    }
    // The README shows the export's header as the program writes it.
    QFile readme(qEnvironmentVariable("Z7_SOURCE_DIR") + QStringLiteral("/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    QVERIFY(readme.readAll().contains("\n" + ReadingsCsvHeader().trimmed() + "\n"));
}

void TestHistory::reductionKeepsEveryExtreme_data() {
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("samples");
    for (int columns : {1, 7, 640, 1920})
        for (int samples : {5, 10000})
            QTest::newRow(qPrintable(QStringLiteral("%1 columns, %2 samples").arg(columns).arg(samples)))
                << columns << samples;
}

void TestHistory::reductionKeepsEveryExtreme() {
    QFETCH(int, columns);
    QFETCH(int, samples);
    // A noisy signal with one-sample spikes up and down at random places.
    QRandomGenerator random(42);
    const qint64 from = kT0, to = kT0 + qint64(samples) * 1000;
    std::vector<std::pair<qint64, double>> data;
    for (int i = 0; i < samples; ++i) {
        double v = 100.0 + random.bounded(10.0);
        if (random.bounded(50) == 0)
            v = random.bounded(2) ? 900.0 + i : -500.0 - i;
        data.emplace_back(from + i * 1000 + random.bounded(1000), v);
    }
    ColumnReducer reducer(from, to, columns);
    for (const auto& [t, v] : data)
        reducer.Add(t, v);
    const QList<QPointF> points = reducer.Points();
    QVERIFY(points.size() <= 4 * columns);
    for (int i = 1; i < points.size(); ++i)
        QVERIFY(points[i].x() >= points[i - 1].x());
    // Every column's lowest and highest sample is among the points drawn in that column.
    std::vector<double> low(size_t(columns), qInf()), high(size_t(columns), -qInf());
    for (const auto& [t, v] : data) {
        const int c = reducer.Column(t);
        low[size_t(c)] = std::min(low[size_t(c)], v);
        high[size_t(c)] = std::max(high[size_t(c)], v);
    }
    std::vector<double> drawnLow(size_t(columns), qInf()), drawnHigh(size_t(columns), -qInf());
    for (const QPointF& p : points) {
        const int c = reducer.Column(qint64(p.x()));
        drawnLow[size_t(c)] = std::min(drawnLow[size_t(c)], p.y());
        drawnHigh[size_t(c)] = std::max(drawnHigh[size_t(c)], p.y());
    }
    QCOMPARE(drawnLow, low);
    QCOMPARE(drawnHigh, high);
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_History.moc"
