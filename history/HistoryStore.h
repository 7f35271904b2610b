#pragma once
// The history database: every accepted block, one row per minute with minimum, sum and maximum of each
// quantity, and the event log, in one SQLite file in write-ahead-log mode. docs/history.md describes the
// tables and views for people who query the file themselves.

#include "HistoryTypes.h"
#include "Quantities.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <limits>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One stored block: the raw register contents of the quantities it carries (Has(q)).
struct StoredBlock {
    qint64 utcMs = 0;
    int deviceId = 0;
    quint8 block = 0;
    std::array<qint32, kQuantityCount> raw{};
    bool Has(Quantity q) const { return Info(q).block == block; }
};

// One minute of one device. For each quantity: the smallest and largest raw value and the sum over the
// blocks that carry it (count(q) of them); the run bit's sum counts the running samples. The alarms keep
// the bits set at any time in the minute and the bits set throughout it.
struct MinuteRow {
    qint64 utcMs = 0; // start of the minute
    int deviceId = 0;
    std::array<int, 3> counts{}; // blocks 0, 10 and 20 in the minute
    std::array<qint32, kQuantityCount> min{};
    std::array<qint32, kQuantityCount> max{};
    std::array<qint64, kQuantityCount> sum{};
    qint32 alarmsAny = 0;
    qint32 alarmsAll = 0;
    int Count(Quantity q) const { return counts[size_t(*BlockIndex(Info(q).block))]; }
};

struct StoredEvent {
    qint64 id = 0;
    HistoryEvent event;
};

// Times are milliseconds since 1970-01-01 UTC; spans include `from` and exclude `to`.
inline constexpr qint64 kNoLimitFrom = std::numeric_limits<qint64>::min();
inline constexpr qint64 kNoLimitTo = std::numeric_limits<qint64>::max();

class HistoryStore {
public:
    static constexpr int kSchemaVersion = 2;
    // PRAGMA application_id of our files: "Z7PH".
    static constexpr qint32 kApplicationId = 0x5A375048;
    // Retention: every block for 14 days, minute rows and events for 2 years.
    static constexpr qint64 kFullResolutionMs = 14LL * 24 * 3600 * 1000;
    static constexpr qint64 kMinuteRowsMs = 2LL * 365 * 24 * 3600 * 1000;
    static constexpr qint64 kMinuteMs = 60 * 1000;
    // How long a read or write waits for a lock held by another connection before it fails.
    static constexpr int kBusyTimeoutMs = 5000;

    enum class Access { ReadWrite, ReadOnly };

    HistoryStore();
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // ReadWrite creates a missing (or empty) file and brings an older schema up to date; ReadOnly needs
    // an existing history. A file that is not a history of this program, or of a newer schema, is left
    // untouched: false, with the reason in `error`; so is one that cannot be read (cut short, locked by
    // another program beyond the busy time-out) and, for ReadWrite, one that cannot be written (a
    // read-only file or folder).
    bool Open(const QString& path, Access access, QString* error);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    QString Path() const { return m_path; }
    int SchemaVersion() const { return m_version; }
    QString LastError() const;

    // Writing, from one thread at a time. One transaction: the blocks and the events are on disk when it
    // returns true. Each minute that a block leaves behind gets its minute row.
    bool Append(const std::vector<BlockSample>& blocks, const std::vector<HistoryEvent>& events);
    // Minute rows for every minute whose blocks have none yet, the current one included (at the end of a
    // recording, and after a crash).
    bool CatchUpMinutes();
    // Drops blocks older than 14 days and minute rows and events older than 2 years, counted from `nowMs`
    // or from the newest record in the file if that is older: nothing newer than the newest record less
    // the retention goes, whatever the clock says.
    bool Trim(qint64 nowMs);
    // When Trim last ran, from the file; 0 if never.
    qint64 LastTrimMs();

    // Reading.
    std::optional<int> DeviceId(const DeviceKey& device);
    // Every device, by id.
    QHash<int, DeviceKey> Devices();
    // Blocks in time order, of one device (or all with deviceId 0). `sink` returns false to stop.
    bool ForEachBlock(int deviceId, qint64 from, qint64 to,
                      const std::function<bool(const StoredBlock&)>& sink);
    // Blocks of one kind (0, 10 or 20) of one device in the spans [from, to) given in time order, with
    // only the registers of `quantities` read (the block's others are left 0): the trend's reads.
    bool ForEachBlockOf(int deviceId, quint8 block, const std::vector<std::pair<qint64, qint64>>& spans,
                        const QList<Quantity>& quantities,
                        const std::function<void(const StoredBlock&)>& sink);
    // Minute rows in time order, of one device or all (deviceId 0; then by device within a minute).
    bool ForEachMinute(int deviceId, qint64 from, qint64 to,
                       const std::function<void(const MinuteRow&)>& sink);
    // Minute rows in time order with the minimum and maximum of `quantities`, the counts of the blocks
    // that carry them and, if the alarms are among them, the bits set at any time; the rest is left 0.
    bool ForEachMinuteOf(int deviceId, qint64 from, qint64 to, const QList<Quantity>& quantities,
                         const std::function<void(const MinuteRow&)>& sink);
    // Start of the newest minute row of a device, if it has any.
    std::optional<qint64> NewestMinute(int deviceId);
    // Events in time order, of one device or all (deviceId 0), after the id `afterId`.
    bool ForEachEvent(int deviceId, qint64 from, qint64 to,
                      const std::function<void(const StoredEvent&)>& sink, qint64 afterId = 0);
    // First and last block time of a device (or all), if it has any.
    std::optional<std::pair<qint64, qint64>> BlockSpan(int deviceId);
    // The oldest block still kept at full resolution for a device, if any.
    std::optional<qint64> OldestBlock(int deviceId);

    // Reads between BeginRead and EndRead see one state of the file, whatever a writer commits
    // meanwhile, and share one read transaction. False if one is open already (it goes on).
    bool BeginRead();
    void EndRead();

    // Test and migration support: builds the schema of `version` in an empty database.
    static bool CreateSchemaVersion(sqlite3* db, int version, QString* error);

private:
    bool Exec(const char* sql);
    bool Migrate(int from);
    int EnsureDevice(const DeviceKey& device);
    bool AggregateMinutes(int deviceId, qint64 from, qint64 to);
    // Start of the newest minute row of a device as this writer knows it: never earlier than the
    // newest in the file (kNoLimitFrom if none).
    qint64 NewestRow(int deviceId);
    // The time of the newest block, minute row or event of the devices given, if any.
    std::optional<qint64> NewestRecord(const QList<int>& deviceIds);
    sqlite3_stmt* Prepare(const QByteArray& sql);
    bool Fail(const QString& what);

    sqlite3* m_db = nullptr;
    QString m_path;
    int m_version = 0;
    bool m_reading = false; // between BeginRead and EndRead
    QString m_error;
    QHash<QString, int> m_deviceIds;          // DeviceKey::Name() -> id
    QHash<int, qint64> m_openMinute;          // per device: start of the minute of its newest block
    QHash<int, qint64> m_newestRow;           // per device: see NewestRow
    QHash<QByteArray, sqlite3_stmt*> m_stmts; // prepared once per connection
};
