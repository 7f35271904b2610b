// The disk a year of one device costs: a block a second for 365 days through the store, an hour per
// transaction and trimmed once a simulated day as the recorder does, so the file ends with 14 days of
// blocks and a year of minute rows. Prints the file's size, its rows, and its size once vacuumed.
//   history_disk [DAYS] [FILE]
#include "HistoryGen.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <sqlite3.h>

namespace {

qint64 Scalar(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    qint64 value = -1;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            value = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return value;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int days = argc > 1 ? std::atoi(argv[1]) : 365;
    QTemporaryDir dir;
    const QString path =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("year.sqlite"));
    const qint64 to = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
    const qint64 from = to - qint64(days) * 24 * 3600 * 1000;
    QElapsedTimer clock;
    clock.start();
    {
        HistoryStore store;
        QString why;
        if (!store.Open(path, HistoryStore::Access::ReadWrite, &why) ||
            !GenerateHistory(store, from, to, true) || !store.Trim(to)) {
            std::fprintf(stderr, "history_disk: %s %s\n", qPrintable(why), qPrintable(store.LastError()));
            return 1;
        }
    }
    const double seconds = clock.elapsed() / 1000.0;
    const qint64 size = QFileInfo(path).size();
    const qint64 blocks = Scalar(path, "SELECT count(*) FROM reading");
    const qint64 minutes = Scalar(path, "SELECT count(*) FROM minute");
    const qint64 freePages = Scalar(path, "PRAGMA freelist_count");
    const qint64 pageSize = Scalar(path, "PRAGMA page_size");
    std::printf("days=%d generated_in_s=%.0f file_bytes=%lld file_mib=%.1f blocks=%lld minute_rows=%lld "
                "free_pages=%lld page_size=%lld\n",
                days, seconds, static_cast<long long>(size), size / 1048576.0, static_cast<long long>(blocks),
                static_cast<long long>(minutes), static_cast<long long>(freePages),
                static_cast<long long>(pageSize));
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::printf("vacuumed_bytes=%lld vacuumed_mib=%.1f\n", static_cast<long long>(QFileInfo(path).size()),
                QFileInfo(path).size() / 1048576.0);
    return 0;
}
