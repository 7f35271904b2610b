#include "HistoryExport.h"

#include "HistoryCsv.h"
#include "HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

struct HistoryExport {
    Q_DECLARE_TR_FUNCTIONS(HistoryExport)
};

using Writer = bool (*)(HistoryStore&, int, qint64, qint64, QIODevice&, QString*);

bool Export(HistoryStore& store, Writer write, int deviceId, const QString& out, qint64 from, qint64 to,
            QString* error) {
    if (out == u"-") {
        QFile standardOutput;
        if (!standardOutput.open(stdout, QIODevice::WriteOnly)) {
            *error = standardOutput.errorString();
            return false;
        }
        return write(store, deviceId, from, to, standardOutput, error) && standardOutput.flush();
    }
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!write(store, deviceId, from, to, file, error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

int RunHistoryExport(const TCommandLine& commandLine, const QString& programName) {
    const QString path = commandLine.History.isEmpty() ? DefaultHistoryPath() : commandLine.History;
    const auto fail = [&](const QString& message) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(programName), qPrintable(message));
        return 1;
    };
    HistoryStore store;
    QString why;
    if (!store.Open(path, HistoryStore::Access::ReadOnly, &why))
        return fail(HistoryExport::tr("无法读取历史记录：%1").arg(why));
    int deviceId = 0;
    if (commandLine.Device) {
        const std::optional<int> id = store.DeviceId(*commandLine.Device);
        if (!id) {
            QStringList known;
            for (const DeviceKey& device : store.Devices())
                known << device.Name();
            known.sort();
            return fail(HistoryExport::tr("历史记录里没有设备 %1（有：%2）")
                            .arg(commandLine.Device->Name(), known.join(QStringLiteral(", "))));
        }
        deviceId = *id;
    }
    const qint64 from = commandLine.FromMs.value_or(kNoLimitFrom);
    const qint64 to = commandLine.ToMs.value_or(kNoLimitTo);
    if (!commandLine.ExportCsv.isEmpty() &&
        !Export(store, commandLine.Minutes ? WriteMinutesCsv : WriteReadingsCsv, deviceId,
                commandLine.ExportCsv, from, to, &why))
        return fail((commandLine.Minutes ? HistoryExport::tr("无法把每分钟的记录写到 %1：%2")
                                         : HistoryExport::tr("无法把读数写到 %1：%2"))
                        .arg(commandLine.ExportCsv, why));
    if (!commandLine.ExportEvents.isEmpty() &&
        !Export(store, WriteEventsCsv, deviceId, commandLine.ExportEvents, from, to, &why))
        return fail(HistoryExport::tr("无法把事件写到 %1：%2").arg(commandLine.ExportEvents, why));
    return 0;
}
