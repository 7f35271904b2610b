#include "HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

constexpr qint64 kMinuteMs = HistoryStore::kMinuteMs;

QByteArray RegColumn(const QuantityInfo& q) {
    return "reg" + QByteArray::number(q.reg);
}

// The minute table's column stem of a quantity: the run bit is aggregated as a bit, not as register 3.
QByteArray MinuteStem(const QuantityInfo& q) {
    return q.quantity == Quantity::Run ? QByteArray("run") : RegColumn(q);
}

// The value a minute row aggregates: the run bit, or the register.
QByteArray MinuteSource(const QuantityInfo& q) {
    return q.quantity == Quantity::Run ? RegColumn(q) + " & 1" : RegColumn(q);
}

QByteArray AllRegColumns() {
    QByteArrayList list;
    for (const QuantityInfo& q : kQuantities)
        list << RegColumn(q);
    return list.join(", ");
}

QByteArray MinuteColumns() {
    QByteArrayList list;
    for (const QuantityInfo& q : kQuantities) {
        if (q.quantity == Quantity::Alarms) {
            list << "alarms_any"
                 << "alarms_all";
            continue;
        }
        const QByteArray stem = MinuteStem(q);
        list << stem + "_min" << stem + "_sum" << stem + "_max";
    }
    return list.join(", ");
}

// strftime has whole seconds only; the milliseconds are appended, so the text is exact.
QByteArray IsoTime(const char* column) {
    return QByteArray("strftime('%Y-%m-%dT%H:%M:%S', ") + column +
           " / 1000, 'unixepoch') || printf('.%03dZ', " + column + " % 1000)";
}

QByteArray ShownValue(const QuantityInfo& q, const QByteArray& raw) {
    switch (q.kind) {
    case QuantityKind::Bit:
        return raw + " & 1";
    case QuantityKind::Bits:
        return raw;
    case QuantityKind::Scaled:
        break;
    }
    return q.divisor == 1 ? raw : raw + " / " + QByteArray::number(q.divisor) + ".0";
}

QByteArray SchemaV1() {
    QByteArray regs;
    for (const QuantityInfo& q : kQuantities)
        regs += "  " + RegColumn(q) + " INTEGER,\n";
    QByteArray shown;
    for (const QuantityInfo& q : kQuantities)
        shown += ",\n  " + ShownValue(q, "r." + RegColumn(q)) + " AS " + q.key;
    return "CREATE TABLE device (\n"
           "  id INTEGER PRIMARY KEY,\n"
           "  port TEXT NOT NULL,\n"
           "  address INTEGER NOT NULL,\n"
           "  UNIQUE (port, address));\n"
           "CREATE TABLE reading (\n"
           "  device INTEGER NOT NULL REFERENCES device (id),\n"
           "  block INTEGER NOT NULL,\n"
           "  time_ms INTEGER NOT NULL,\n" +
           regs +
           "  PRIMARY KEY (device, block, time_ms)) WITHOUT ROWID;\n"
           "CREATE TABLE event (\n"
           "  id INTEGER PRIMARY KEY,\n"
           "  time_ms INTEGER NOT NULL,\n"
           "  device INTEGER NOT NULL REFERENCES device (id),\n"
           "  kind TEXT NOT NULL,\n"
           "  detail TEXT NOT NULL DEFAULT '');\n"
           "CREATE INDEX event_by_time ON event (time_ms);\n"
           "CREATE VIEW readings AS SELECT\n  " +
           IsoTime("r.time_ms") +
           " AS time,\n"
           "  d.port || '#' || d.address AS device,\n"
           "  r.block" +
           shown +
           "\nFROM reading r JOIN device d ON d.id = r.device;\n"
           "CREATE VIEW events AS SELECT\n  " +
           IsoTime("e.time_ms") +
           " AS time,\n"
           "  d.port || '#' || d.address AS device,\n"
           "  e.kind, e.detail\n"
           "FROM event e JOIN device d ON d.id = e.device;\n";
}

QByteArray SchemaV2() {
    QByteArray columns;
    QByteArray shown;
    for (const QuantityInfo& q : kQuantities) {
        if (q.quantity == Quantity::Alarms) {
            columns += "  alarms_any INTEGER,\n  alarms_all INTEGER,\n";
            shown += ",\n  m.alarms_any, m.alarms_all";
            continue;
        }
        const QByteArray stem = MinuteStem(q);
        columns += "  " + stem + "_min INTEGER,\n  " + stem + "_sum INTEGER,\n  " + stem + "_max INTEGER,\n";
        const QByteArray n = "m.n" + QByteArray::number(q.block);
        const QByteArray scale = q.divisor == 1 ? QByteArray() : " / " + QByteArray::number(q.divisor) + ".0";
        shown += ",\n  m." + stem + "_min" + scale + " AS " + q.key + "_min";
        shown += ",\n  m." + stem + "_sum * 1.0 / " + n + scale + " AS " + q.key + "_mean";
        shown += ",\n  m." + stem + "_max" + scale + " AS " + q.key + "_max";
    }
    return "CREATE TABLE minute (\n"
           "  device INTEGER NOT NULL REFERENCES device (id),\n"
           "  time_ms INTEGER NOT NULL,\n"
           "  n0 INTEGER NOT NULL,\n"
           "  n10 INTEGER NOT NULL,\n"
           "  n20 INTEGER NOT NULL,\n" +
           columns +
           "  PRIMARY KEY (device, time_ms)) WITHOUT ROWID;\n"
           "CREATE TABLE meta (\n"
           "  key TEXT PRIMARY KEY,\n"
           "  value) WITHOUT ROWID;\n"
           "CREATE VIEW minutes AS SELECT\n  " +
           IsoTime("m.time_ms") +
           " AS time,\n"
           "  d.port || '#' || d.address AS device,\n"
           "  m.n0, m.n10, m.n20" +
           shown + "\nFROM minute m JOIN device d ON d.id = m.device;\n";
}

// The bits of the alarm register, each kept if set in any (max) or every (min) block of a group.
QByteArray AlarmBits(const char* aggregate) {
    QByteArrayList bits;
    for (int k = 0; k < kAlarmCount; ++k)
        bits << QByteArray(aggregate) + "(reg13 & " + QByteArray::number(1 << k) + ")";
    return bits.join(" | ");
}

QByteArray AggregateSql() {
    QByteArrayList values;
    for (const QuantityInfo& q : kQuantities) {
        if (q.quantity == Quantity::Alarms) {
            values << AlarmBits("max") << AlarmBits("min");
            continue;
        }
        const QByteArray src = MinuteSource(q);
        values << "min(" + src + ")"
               << "sum(" + src + ")"
               << "max(" + src + ")";
    }
    return "INSERT OR REPLACE INTO minute (device, time_ms, n0, n10, n20, " + MinuteColumns() +
           ")\nSELECT device, time_ms / 60000 * 60000 AS m, sum(block = 0), sum(block = 10), sum(block = "
           "20), " +
           values.join(", ") +
           "\nFROM reading WHERE device = ?1 AND block IN (0, 10, 20) AND time_ms >= ?2 AND time_ms < ?3"
           " GROUP BY m";
}

// Statement that is reset when it goes out of scope, so a cached statement is ready for the next use.
class Stmt {
public:
    explicit Stmt(sqlite3_stmt* s) : m_s(s) {}
    ~Stmt() {
        if (m_s) {
            sqlite3_reset(m_s);
            sqlite3_clear_bindings(m_s);
        }
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    explicit operator bool() const { return m_s != nullptr; }
    sqlite3_stmt* get() const { return m_s; }
    void Bind(int i, qint64 v) { sqlite3_bind_int64(m_s, i, v); }
    void Bind(int i, const QString& v) {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(m_s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    int Step() { return sqlite3_step(m_s); }
    qint64 Int(int i) const { return sqlite3_column_int64(m_s, i); }
    bool IsNull(int i) const { return sqlite3_column_type(m_s, i) == SQLITE_NULL; }
    QString Text(int i) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_s, i)),
                                 sqlite3_column_bytes(m_s, i));
    }

private:
    sqlite3_stmt* m_s;
};

bool LooksLikeSqlite(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(16) == QByteArray("SQLite format 3\0", 16);
}

} // namespace

HistoryStore::HistoryStore() = default;

HistoryStore::~HistoryStore() {
    Close();
}

QString HistoryStore::LastError() const {
    return m_error;
}

bool HistoryStore::Fail(const QString& what) {
    m_error = m_db ? QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))) : what;
    return false;
}

bool HistoryStore::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    m_error = QString::fromUtf8(message ? message : "unknown error");
    sqlite3_free(message);
    return false;
}

sqlite3_stmt* HistoryStore::Prepare(const QByteArray& sql) {
    if (sqlite3_stmt* cached = m_stmts.value(sql))
        return cached;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                           nullptr) != SQLITE_OK) {
        Fail(QStringLiteral("cannot prepare a query"));
        return nullptr;
    }
    m_stmts.insert(sql, stmt);
    return stmt;
}

bool HistoryStore::CreateSchemaVersion(sqlite3* db, int version, QString* error) {
    const QByteArray steps[] = {SchemaV1(), SchemaV2()};
    QByteArray sql = "BEGIN;\n";
    for (int v = 1; v <= version; ++v)
        sql += steps[v - 1];
    sql += "PRAGMA application_id = " + QByteArray::number(kApplicationId) + ";\n";
    sql += "PRAGMA user_version = " + QByteArray::number(version) + ";\nCOMMIT;\n";
    char* message = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = QString::fromUtf8(message ? message : "unknown error");
    sqlite3_free(message);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool HistoryStore::Migrate(int from) {
    if (from == 0) {
        QString why;
        if (!CreateSchemaVersion(m_db, kSchemaVersion, &why))
            return Fail(QStringLiteral("cannot create the history's tables: ") + why);
        return true;
    }
    // Version 1 had no minute rows: version 2 adds them, computed from the blocks already kept.
    if (from == 1) {
        const QByteArray sql = "BEGIN;\n" + SchemaV2() + "PRAGMA user_version = 2;\nCOMMIT;\n";
        if (!Exec(sql.constData())) {
            Exec("ROLLBACK");
            return Fail(QStringLiteral("cannot bring the history up to date: ") + m_error);
        }
        m_version = 2;
        return CatchUpMinutes();
    }
    return true;
}

bool HistoryStore::Open(const QString& path, Access access, QString* error) {
    Close();
    m_path = path;
    m_error.clear();
    // Closing finalizes every prepared statement: no Stmt may be alive when this runs.
    const auto fail = [&](const QString& why) {
        m_error = why;
        // The statements prepared while checking the file go first: a connection with statements
        // left would refuse to close and stay allocated.
        Close();
        if (error)
            *error = why;
        return false;
    };
    const auto sqliteSays = [this] { return QString::fromUtf8(sqlite3_errmsg(m_db)); };
    const QFileInfo info(path);
    const bool fresh = !info.exists() || (info.isFile() && info.size() == 0);
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("%1 is not a file").arg(path));
    if (fresh && access == Access::ReadOnly)
        return fail(QStringLiteral("%1: no history there").arg(path));
    // Anything that is not an SQLite file is somebody else's: it is never handed to SQLite to write.
    if (!fresh && !LooksLikeSqlite(path))
        return fail(QStringLiteral("%1 is not a Z7 Panel history (not an SQLite database)").arg(path));
    if (fresh && !info.absoluteDir().exists() && !QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
    // The write-ahead log and its index are files beside the history, made and removed as it is
    // written: a folder that takes no new files would fail the first write, not the opening.
    if (access == Access::ReadWrite && !QFileInfo(info.absolutePath()).isWritable())
        return fail(QStringLiteral("cannot record into %1: cannot write in the folder %2")
                        .arg(path, info.absolutePath()));

    int flags = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (fresh)
        flags |= SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        const QString why = m_db ? sqliteSays() : QStringLiteral("out of memory");
        return fail(QStringLiteral("cannot open %1: %2").arg(path, why));
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // SQLite opens a file it may not write for reading only, without a word.
    if (access == Access::ReadWrite && sqlite3_db_readonly(m_db, "main") == 1)
        return fail(QStringLiteral("cannot write to %1: the file is read-only").arg(path));

    // The first reads: a file cut short, a folder where the log's index cannot be made, or a lock held
    // beyond the busy time-out fail here.
    qint64 applicationId = 0, tables = 0;
    const bool readable = [&] {
        Stmt id(Prepare("PRAGMA application_id"));
        if (!id || id.Step() != SQLITE_ROW)
            return false;
        applicationId = id.Int(0);
        Stmt version(Prepare("PRAGMA user_version"));
        if (!version || version.Step() != SQLITE_ROW)
            return false;
        m_version = int(version.Int(0));
        Stmt count(Prepare("SELECT count(*) FROM sqlite_master"));
        if (!count || count.Step() != SQLITE_ROW)
            return false;
        tables = count.Int(0);
        return true;
    }();
    if (!readable)
        return fail(QStringLiteral("cannot read %1: %2").arg(path, sqliteSays()));
    const bool empty = applicationId == 0 && m_version == 0 && tables == 0;
    if (!empty && applicationId != kApplicationId)
        return fail(
            QStringLiteral("%1 is an SQLite database of another program, not a Z7 Panel history").arg(path));
    if (m_version > kSchemaVersion)
        return fail(
            QStringLiteral("%1 was written by a newer Z7 Panel (history schema %2; this one knows %3)")
                .arg(path)
                .arg(m_version)
                .arg(kSchemaVersion));
    if (access == Access::ReadOnly) {
        if (empty)
            return fail(QStringLiteral("%1: no history there").arg(path));
        Exec("PRAGMA mmap_size = 1073741824");
        return true;
    }

    // Each transaction reaches the disk before it returns; the log keeps readers and the writer apart.
    const bool walOn = [&] {
        Stmt wal(Prepare("PRAGMA journal_mode = WAL"));
        return wal && wal.Step() == SQLITE_ROW && wal.Text(0) == u"wal";
    }();
    if (!walOn)
        return fail(QStringLiteral("%1: cannot switch to write-ahead logging: %2").arg(path, sqliteSays()));
    if (!Exec("PRAGMA synchronous = FULL") || !Exec("PRAGMA mmap_size = 1073741824"))
        return fail(QStringLiteral("%1: %2").arg(path, m_error));
    if (m_version < kSchemaVersion) {
        if (!Migrate(m_version))
            return fail(QStringLiteral("%1: %2").arg(path, m_error));
        m_version = kSchemaVersion;
    }
    // A write lock taken and given back: what keeps this file from being written (a log or its index
    // that may not be written, a lock held elsewhere) shows now rather than at the first write.
    if (!Exec("BEGIN IMMEDIATE"))
        return fail(QStringLiteral("cannot write to %1: %2").arg(path, m_error));
    Exec("ROLLBACK");
    return true;
}

void HistoryStore::Close() {
    for (sqlite3_stmt* s : std::as_const(m_stmts))
        sqlite3_finalize(s);
    m_stmts.clear();
    m_deviceIds.clear();
    m_openMinute.clear();
    m_newestRow.clear();
    m_reading = false;
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

int HistoryStore::EnsureDevice(const DeviceKey& device) {
    const QString name = device.Name();
    if (const auto it = m_deviceIds.constFind(name); it != m_deviceIds.constEnd())
        return *it;
    {
        Stmt insert(Prepare("INSERT OR IGNORE INTO device (port, address) VALUES (?1, ?2)"));
        if (!insert)
            return 0;
        insert.Bind(1, device.port);
        insert.Bind(2, device.address);
        if (insert.Step() != SQLITE_DONE) {
            Fail(QStringLiteral("cannot record the device"));
            return 0;
        }
    }
    const std::optional<int> id = DeviceId(device);
    if (!id)
        return 0;
    m_deviceIds.insert(name, *id);
    return *id;
}

std::optional<int> HistoryStore::DeviceId(const DeviceKey& device) {
    if (const auto it = m_deviceIds.constFind(device.Name()); it != m_deviceIds.constEnd())
        return *it;
    Stmt select(Prepare("SELECT id FROM device WHERE port = ?1 AND address = ?2"));
    if (!select)
        return std::nullopt;
    select.Bind(1, device.port);
    select.Bind(2, device.address);
    if (select.Step() != SQLITE_ROW)
        return std::nullopt;
    return int(select.Int(0));
}

QHash<int, DeviceKey> HistoryStore::Devices() {
    QHash<int, DeviceKey> devices;
    Stmt select(Prepare("SELECT id, port, address FROM device"));
    while (select && select.Step() == SQLITE_ROW)
        devices.insert(int(select.Int(0)), DeviceKey{select.Text(1), quint8(select.Int(2))});
    return devices;
}

bool HistoryStore::AggregateMinutes(int deviceId, qint64 from, qint64 to) {
    Stmt aggregate(Prepare(AggregateSql()));
    if (!aggregate)
        return false;
    aggregate.Bind(1, deviceId);
    aggregate.Bind(2, from);
    aggregate.Bind(3, to);
    if (aggregate.Step() != SQLITE_DONE)
        return Fail(QStringLiteral("cannot write the minute rows"));
    // The newest row known may only be too late, never too early (see NewestRow).
    const auto known = m_newestRow.find(deviceId);
    if (known != m_newestRow.end()) {
        // Written so that the open-ended span of a catch-up (to = kNoLimitTo) cannot overflow.
        if (from <= kNoLimitTo - kMinuteMs && to == from + kMinuteMs)
            *known = std::max(*known, from);
        else
            m_newestRow.erase(known);
    }
    return true;
}

qint64 HistoryStore::NewestRow(int deviceId) {
    const auto known = m_newestRow.constFind(deviceId);
    if (known != m_newestRow.constEnd())
        return *known;
    const qint64 newest = NewestMinute(deviceId).value_or(kNoLimitFrom);
    m_newestRow.insert(deviceId, newest);
    return newest;
}

bool HistoryStore::Append(const std::vector<BlockSample>& blocks, const std::vector<HistoryEvent>& events) {
    if (!m_db)
        return Fail(QStringLiteral("the history is not open"));
    if (!Exec("BEGIN IMMEDIATE"))
        return Fail(QStringLiteral("cannot start writing: ") + m_error);
    const auto rollback = [this] {
        const QString why = m_error;
        Exec("ROLLBACK");
        m_error = why;
        // The minutes left open may belong to rows that are gone now.
        m_openMinute.clear();
        m_newestRow.clear();
        return false;
    };
    QByteArray placeholders;
    for (int i = 0; i < kQuantityCount; ++i)
        placeholders += ", ?" + QByteArray::number(4 + i);
    const QByteArray insertSql = "INSERT OR IGNORE INTO reading (device, block, time_ms, " + AllRegColumns() +
                                 ") VALUES (?1, ?2, ?3" + placeholders + ")";
    for (const BlockSample& b : blocks) {
        const int id = EnsureDevice(b.device);
        if (id == 0)
            return rollback();
        const qint64 minute = b.utcMs - b.utcMs % kMinuteMs;
        const auto open = m_openMinute.constFind(id);
        if (open != m_openMinute.constEnd() && *open != minute &&
            !AggregateMinutes(id, *open, *open + kMinuteMs))
            return rollback();
        m_openMinute.insert(id, minute);
        Stmt insert(Prepare(insertSql));
        if (!insert)
            return rollback();
        insert.Bind(1, id);
        insert.Bind(2, b.block);
        insert.Bind(3, b.utcMs);
        for (int i = 0; i < kQuantityCount; ++i) {
            const QuantityInfo& q = kQuantities[size_t(i)];
            if (q.block == b.block)
                insert.Bind(4 + i, b.registers[size_t(q.reg - q.block)]);
        }
        if (insert.Step() != SQLITE_DONE) {
            Fail(QStringLiteral("cannot record a reading"));
            return rollback();
        }
        // A block in a minute that has its row already (the clock set back, or a recording started
        // again within the minute the last one closed) brings that row up to date in the same
        // transaction: a row never lacks a block of its minute, so a reader may stand it for them.
        if (minute <= NewestRow(id) && !AggregateMinutes(id, minute, minute + kMinuteMs))
            return rollback();
    }
    for (const HistoryEvent& e : events) {
        const int id = EnsureDevice(e.device);
        if (id == 0)
            return rollback();
        Stmt insert(Prepare("INSERT INTO event (time_ms, device, kind, detail) VALUES (?1, ?2, ?3, ?4)"));
        if (!insert)
            return rollback();
        insert.Bind(1, e.utcMs);
        insert.Bind(2, id);
        insert.Bind(3, QString::fromLatin1(EventKindKeyword(e.kind)));
        insert.Bind(4, e.detail);
        if (insert.Step() != SQLITE_DONE) {
            Fail(QStringLiteral("cannot record an event"));
            return rollback();
        }
    }
    if (!Exec("COMMIT")) {
        Fail(QStringLiteral("cannot commit: ") + m_error);
        return rollback();
    }
    return true;
}

bool HistoryStore::CatchUpMinutes() {
    if (!m_db)
        return false;
    const QList<int> ids = Devices().keys();
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    for (int id : ids) {
        qint64 from = kNoLimitFrom;
        {
            Stmt last(Prepare("SELECT max(time_ms) FROM minute WHERE device = ?1"));
            if (!last)
                return Exec("ROLLBACK"), false;
            last.Bind(1, id);
            if (last.Step() == SQLITE_ROW && !last.IsNull(0))
                from = last.Int(0);
        }
        if (!AggregateMinutes(id, from, kNoLimitTo)) {
            Exec("ROLLBACK");
            return false;
        }
    }
    return Exec("COMMIT");
}

bool HistoryStore::Trim(qint64 nowMs) {
    if (!m_db)
        return false;
    // Every block about to go has its minute row first.
    if (!CatchUpMinutes())
        return false;
    // Counted back from the newest record when the clock runs ahead of it: a clock set years ahead
    // must not make the whole history look old.
    const QList<int> ids = Devices().keys();
    const qint64 until = std::min(nowMs, NewestRecord(ids).value_or(nowMs));
    const qint64 blocksBefore = (until - kFullResolutionMs) / kMinuteMs * kMinuteMs;
    const qint64 minutesBefore = until - kMinuteRowsMs;
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    for (int id : ids) {
        for (quint8 block : kBlockStarts) {
            Stmt del(Prepare("DELETE FROM reading WHERE device = ?1 AND block = ?2 AND time_ms < ?3"));
            del.Bind(1, id);
            del.Bind(2, block);
            del.Bind(3, blocksBefore);
            ok = ok && del && del.Step() == SQLITE_DONE;
        }
        Stmt del(Prepare("DELETE FROM minute WHERE device = ?1 AND time_ms < ?2"));
        del.Bind(1, id);
        del.Bind(2, minutesBefore);
        ok = ok && del && del.Step() == SQLITE_DONE;
    }
    {
        Stmt del(Prepare("DELETE FROM event WHERE time_ms < ?1"));
        del.Bind(1, minutesBefore);
        ok = ok && del && del.Step() == SQLITE_DONE;
        Stmt mark(Prepare("INSERT OR REPLACE INTO meta (key, value) VALUES ('last_trim_ms', ?1)"));
        mark.Bind(1, nowMs);
        ok = ok && mark && mark.Step() == SQLITE_DONE;
    }
    if (!ok) {
        Fail(QStringLiteral("cannot trim the history"));
        Exec("ROLLBACK");
        return false;
    }
    return Exec("COMMIT");
}

std::optional<qint64> HistoryStore::NewestRecord(const QList<int>& deviceIds) {
    std::optional<qint64> newest;
    const auto take = [&newest](Stmt& s) {
        if (s && s.Step() == SQLITE_ROW && !s.IsNull(0))
            newest = std::max(newest.value_or(kNoLimitFrom), s.Int(0));
    };
    // Each max() alone is one seek in its key or index.
    for (int id : deviceIds) {
        for (quint8 block : kBlockStarts) {
            Stmt blocks(Prepare("SELECT max(time_ms) FROM reading WHERE device = ?1 AND block = ?2"));
            blocks.Bind(1, id);
            blocks.Bind(2, block);
            take(blocks);
        }
        Stmt minutes(Prepare("SELECT max(time_ms) FROM minute WHERE device = ?1"));
        minutes.Bind(1, id);
        take(minutes);
    }
    Stmt events(Prepare("SELECT max(time_ms) FROM event"));
    take(events);
    return newest;
}

qint64 HistoryStore::LastTrimMs() {
    Stmt select(Prepare("SELECT value FROM meta WHERE key = 'last_trim_ms'"));
    return select && select.Step() == SQLITE_ROW ? select.Int(0) : 0;
}

namespace {

void ReadRegs(const Stmt& s, int firstColumn, StoredBlock& b) {
    for (int i = 0; i < kQuantityCount; ++i)
        b.raw[size_t(i)] = s.IsNull(firstColumn + i) ? 0 : qint32(s.Int(firstColumn + i));
}

} // namespace

bool HistoryStore::ForEachBlock(int deviceId, qint64 from, qint64 to,
                                const std::function<bool(const StoredBlock&)>& sink) {
    const QByteArray sql =
        deviceId == 0
            ? "SELECT device, block, time_ms, " + AllRegColumns() +
                  " FROM reading WHERE time_ms >= ?2 AND time_ms < ?3 ORDER BY time_ms, device, block"
            : "SELECT device, block, time_ms, " + AllRegColumns() +
                  " FROM reading WHERE device = ?1 AND block IN (0, 10, 20) AND time_ms >= ?2 AND time_ms < "
                  "?3"
                  " ORDER BY time_ms, block";
    Stmt select(Prepare(sql));
    if (!select)
        return false;
    if (deviceId != 0)
        select.Bind(1, deviceId);
    select.Bind(2, from);
    select.Bind(3, to);
    StoredBlock b;
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
        b.deviceId = int(select.Int(0));
        b.block = quint8(select.Int(1));
        b.utcMs = select.Int(2);
        ReadRegs(select, 3, b);
        if (!sink(b))
            return true;
    }
    return rc == SQLITE_DONE || Fail(QStringLiteral("cannot read the readings"));
}

bool HistoryStore::ForEachBlockOf(int deviceId, quint8 block,
                                  const std::vector<std::pair<qint64, qint64>>& spans,
                                  const QList<Quantity>& quantities,
                                  const std::function<void(const StoredBlock&)>& sink) {
    // Each column read costs on every row: only those asked for, each read into its place.
    StoredBlock b;
    b.deviceId = deviceId;
    b.block = block;
    QByteArray columns;
    std::vector<qint32*> into;
    for (const QuantityInfo& q : kQuantities) {
        if (q.block == block && quantities.contains(q.quantity)) {
            columns += ", " + RegColumn(q);
            into.push_back(&b.raw[size_t(q.quantity)]);
        }
    }
    Stmt select(Prepare("SELECT time_ms" + columns +
                        " FROM reading WHERE device = ?1 AND block = ?2 AND time_ms >= ?3 AND time_ms < ?4"
                        " ORDER BY time_ms"));
    if (!select)
        return false;
    sqlite3_stmt* s = select.get();
    const int n = int(into.size());
    for (const auto& [from, to] : spans) {
        sqlite3_reset(s);
        select.Bind(1, deviceId);
        select.Bind(2, block);
        select.Bind(3, from);
        select.Bind(4, to);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            b.utcMs = sqlite3_column_int64(s, 0);
            for (int i = 0; i < n; ++i)
                *into[size_t(i)] = sqlite3_column_int(s, 1 + i);
            sink(b);
        }
        if (rc != SQLITE_DONE)
            return Fail(QStringLiteral("cannot read the readings"));
    }
    return true;
}

bool HistoryStore::ForEachMinute(int deviceId, qint64 from, qint64 to,
                                 const std::function<void(const MinuteRow&)>& sink) {
    if (m_version < 2)
        return true;
    const QByteArray columns = "SELECT device, time_ms, n0, n10, n20, " + MinuteColumns() + " FROM minute";
    Stmt select(Prepare(
        deviceId == 0 ? columns + " WHERE time_ms >= ?2 AND time_ms < ?3 ORDER BY time_ms, device"
                      : columns + " WHERE device = ?1 AND time_ms >= ?2 AND time_ms < ?3 ORDER BY time_ms"));
    if (!select)
        return false;
    if (deviceId != 0)
        select.Bind(1, deviceId);
    select.Bind(2, from);
    select.Bind(3, to);
    MinuteRow m;
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
        m.deviceId = int(select.Int(0));
        m.utcMs = select.Int(1);
        for (int i = 0; i < 3; ++i)
            m.counts[size_t(i)] = int(select.Int(2 + i));
        int c = 5;
        for (int i = 0; i < kQuantityCount; ++i) {
            if (kQuantities[size_t(i)].quantity == Quantity::Alarms) {
                m.alarmsAny = qint32(select.Int(c++));
                m.alarmsAll = qint32(select.Int(c++));
                continue;
            }
            m.min[size_t(i)] = qint32(select.Int(c++));
            m.sum[size_t(i)] = select.Int(c++);
            m.max[size_t(i)] = qint32(select.Int(c++));
        }
        sink(m);
    }
    return rc == SQLITE_DONE || Fail(QStringLiteral("cannot read the minute rows"));
}

bool HistoryStore::ForEachMinuteOf(int deviceId, qint64 from, qint64 to, const QList<Quantity>& quantities,
                                   const std::function<void(const MinuteRow&)>& sink) {
    if (m_version < 2)
        return true;
    // A minute row has some forty columns; the trend needs a few of them, each read into its place.
    MinuteRow m;
    m.deviceId = deviceId;
    QByteArray columns = "time_ms";
    std::vector<qint32*> into;
    for (size_t k = 0; k < kBlockStarts.size(); ++k) {
        if (std::any_of(quantities.begin(), quantities.end(),
                        [&](Quantity q) { return Info(q).block == kBlockStarts[k]; })) {
            columns += ", n" + QByteArray::number(kBlockStarts[k]);
            into.push_back(&m.counts[k]);
        }
    }
    for (const QuantityInfo& q : kQuantities) {
        if (!quantities.contains(q.quantity))
            continue;
        if (q.quantity == Quantity::Alarms) {
            columns += ", alarms_any";
            into.push_back(&m.alarmsAny);
            continue;
        }
        columns += ", " + MinuteStem(q) + "_min, " + MinuteStem(q) + "_max";
        into.push_back(&m.min[size_t(q.quantity)]);
        into.push_back(&m.max[size_t(q.quantity)]);
    }
    Stmt select(Prepare("SELECT " + columns +
                        " FROM minute WHERE device = ?1 AND time_ms >= ?2 AND time_ms < ?3"
                        " ORDER BY time_ms"));
    if (!select)
        return false;
    select.Bind(1, deviceId);
    select.Bind(2, from);
    select.Bind(3, to);
    sqlite3_stmt* s = select.get();
    const int n = int(into.size());
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        m.utcMs = sqlite3_column_int64(s, 0);
        for (int i = 0; i < n; ++i)
            *into[size_t(i)] = sqlite3_column_int(s, 1 + i);
        sink(m);
    }
    return rc == SQLITE_DONE || Fail(QStringLiteral("cannot read the minute rows"));
}

std::optional<qint64> HistoryStore::NewestMinute(int deviceId) {
    if (m_version < 2)
        return std::nullopt;
    Stmt select(Prepare("SELECT max(time_ms) FROM minute WHERE device = ?1"));
    if (!select)
        return std::nullopt;
    select.Bind(1, deviceId);
    if (select.Step() != SQLITE_ROW || select.IsNull(0))
        return std::nullopt;
    return select.Int(0);
}

bool HistoryStore::BeginRead() {
    m_reading = m_db && sqlite3_get_autocommit(m_db) && Exec("BEGIN");
    return m_reading;
}

void HistoryStore::EndRead() {
    if (m_reading)
        Exec("COMMIT");
    m_reading = false;
}

bool HistoryStore::ForEachEvent(int deviceId, qint64 from, qint64 to,
                                const std::function<void(const StoredEvent&)>& sink, qint64 afterId) {
    const QHash<int, DeviceKey> devices = Devices();
    Stmt select(Prepare("SELECT id, time_ms, device, kind, detail FROM event WHERE (?1 = 0 OR device = ?1)"
                        " AND time_ms >= ?2 AND time_ms < ?3 AND id > ?4 ORDER BY time_ms, id"));
    if (!select)
        return false;
    select.Bind(1, deviceId);
    select.Bind(2, from);
    select.Bind(3, to);
    select.Bind(4, afterId);
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
        const std::optional<EventKind> kind = EventKindFromKeyword(select.Text(3));
        if (!kind)
            continue;
        StoredEvent e;
        e.id = select.Int(0);
        e.event.utcMs = select.Int(1);
        e.event.device = devices.value(int(select.Int(2)));
        e.event.kind = *kind;
        e.event.detail = select.Text(4);
        sink(e);
    }
    return rc == SQLITE_DONE || Fail(QStringLiteral("cannot read the events"));
}

std::optional<std::pair<qint64, qint64>> HistoryStore::BlockSpan(int deviceId) {
    qint64 first = kNoLimitTo, last = kNoLimitFrom;
    // min() and max() in one select would read every block of the kind; each alone is one seek.
    Stmt blocks(Prepare("SELECT (SELECT min(time_ms) FROM reading WHERE device = ?1 AND block = ?2),"
                        " (SELECT max(time_ms) FROM reading WHERE device = ?1 AND block = ?2)"));
    for (quint8 block : kBlockStarts) {
        blocks.Bind(1, deviceId);
        blocks.Bind(2, block);
        if (blocks.Step() == SQLITE_ROW && !blocks.IsNull(0)) {
            first = std::min(first, blocks.Int(0));
            last = std::max(last, blocks.Int(1));
        }
        sqlite3_reset(blocks.get());
    }
    if (m_version >= 2) {
        Stmt minutes(Prepare("SELECT min(time_ms) FROM minute WHERE device = ?1"));
        minutes.Bind(1, deviceId);
        if (minutes.Step() == SQLITE_ROW && !minutes.IsNull(0))
            first = std::min(first, minutes.Int(0));
    }
    if (first > last)
        return std::nullopt;
    return std::make_pair(first, last);
}

std::optional<qint64> HistoryStore::OldestBlock(int deviceId) {
    std::optional<qint64> oldest;
    Stmt blocks(Prepare("SELECT min(time_ms) FROM reading WHERE device = ?1 AND block = ?2"));
    for (quint8 block : kBlockStarts) {
        blocks.Bind(1, deviceId);
        blocks.Bind(2, block);
        if (blocks.Step() == SQLITE_ROW && !blocks.IsNull(0))
            oldest = std::min(oldest.value_or(kNoLimitTo), blocks.Int(0));
        sqlite3_reset(blocks.get());
    }
    return oldest;
}
