#include "CommandLine.h"

#include "Z7Version.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSet>
#include <QStandardPaths>

namespace {

struct CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

} // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    const auto fail = [&result](const QString& message) {
        result.Action = TCommandLine::Error;
        result.Message = message;
        return result;
    };
    QSet<QString> given;
    // An option with a value: true when taken, else `result` holds the error.
    const auto value = [&](qsizetype& i, QString& field) {
        const QString& option = arguments[i];
        if (given.contains(option)) {
            fail(CommandLine::tr("%1 给了两次").arg(option));
            return false;
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            fail(CommandLine::tr("%1 后面缺少参数").arg(option));
            return false;
        }
        field = arguments[++i];
        given.insert(option);
        return true;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == u"--help") {
            result.Action = TCommandLine::Help;
        } else if (arg == u"--version") {
            result.Action = TCommandLine::Version;
        } else if (arg == u"--port") {
            if (!value(i, result.Port))
                return result;
        } else if (arg == u"--connection") {
            if (!value(i, result.Connection))
                return result;
        } else if (arg == u"--traffic-log") {
            if (!value(i, result.TrafficLog))
                return result;
        } else if (arg == u"--lang") {
            if (!value(i, result.Language))
                return result;
            if (result.Language != u"zh" && result.Language != u"en")
                return fail(CommandLine::tr("--lang 只接受 zh 或 en，不接受 %1").arg(result.Language));
        } else if (arg == u"--history") {
            if (!value(i, result.History))
                return result;
        } else if (arg == u"--no-history") {
            result.NoHistory = true;
        } else if (arg == u"--export-csv" || arg == u"--export-events") {
            if (!value(i, arg == u"--export-csv" ? result.ExportCsv : result.ExportEvents))
                return result;
        } else if (arg == u"--minutes") {
            result.Minutes = true;
        } else if (arg == u"--device") {
            QString text;
            if (!value(i, text))
                return result;
            // The port name may hold a '#' itself; the address is after the last one.
            const qsizetype hash = text.lastIndexOf(QLatin1Char('#'));
            bool number = false;
            const uint address = hash > 0 ? text.mid(hash + 1).toUInt(&number) : 0;
            if (!number || address > 255)
                return fail(
                    CommandLine::tr("--device 要写成 端口#地址，例如 /dev/ttyUSB0#1，不是 %1").arg(text));
            result.Device = DeviceKey{text.left(hash), quint8(address)};
        } else if (arg == u"--from" || arg == u"--to") {
            QString text;
            if (!value(i, text))
                return result;
            const std::optional<qint64> time = ParseIsoTime(text);
            if (!time)
                return fail(CommandLine::tr("%1 不是 ISO 8601 时间：%2").arg(arg, text));
            (arg == u"--from" ? result.FromMs : result.ToMs) = time;
        } else {
            return fail(CommandLine::tr("未知的参数：%1").arg(arg));
        }
    }
    if (!result.Connection.isEmpty() && !result.Port.isEmpty())
        return fail(CommandLine::tr("--connection 已含端口，不能与 --port 一起使用"));
    if (!result.Connection.isEmpty() && result.ExportRequested())
        return fail(CommandLine::tr("--connection 不用于导出"));
    if (result.NoHistory && (!result.History.isEmpty() || result.ExportRequested()))
        return fail(CommandLine::tr("--no-history 不能与 --history 或导出一起使用"));
    if ((result.FromMs || result.ToMs) && !result.ExportRequested())
        return fail(CommandLine::tr("--from 和 --to 只用于导出：请同时给出 --export-csv 或 --export-events"));
    if (result.Device && !result.ExportRequested())
        return fail(CommandLine::tr("--device 只用于导出：请同时给出 --export-csv 或 --export-events"));
    if (result.Minutes && result.ExportCsv.isEmpty())
        return fail(CommandLine::tr("--minutes 只用于 --export-csv"));
    if (result.FromMs && result.ToMs && *result.FromMs >= *result.ToMs)
        return fail(CommandLine::tr("--from 必须早于 --to"));
    return result;
}

QString UsageText(const QString& programName) {
    return CommandLine::tr(
               "用法: %1 [--port 端口 | --connection 名称] [--traffic-log 文件]\n"
               "         [--history 文件 | --no-history] [--lang zh|en]\n"
               "      %1 [--history 文件] [--export-csv 输出 [--minutes]] [--export-events 输出]\n"
               "         [--device 端口#地址] [--from 时间] [--to 时间]\n"
               "  --port 端口         预设串口，例如 /dev/ttyUSB0，或串口服务器的 TCP 端口：\n"
               "                      tcp://主机:端口（IPv6 地址放在方括号里）\n"
               "  --connection 名称   以保存的连接启动：端口、波特率、格式和地址\n"
               "                      （文件 → 保存连接为…）\n"
               "  --traffic-log 文件  把每个请求、每个应答和每个缺失的应答追加到文件，每条一行：\n"
               "                      时间 (UTC)、方向 tx/rx/--、判定、字节\n"
               "  --history 文件      把历史记录写入文件（默认：%2）\n"
               "  --no-history        不记录历史\n"
               "  --export-csv 输出   把记录的全部读数以 CSV 写到输出（'-'：标准输出）后退出，\n"
               "                      不开窗口\n"
               "  --minutes           --export-csv 写每分钟的记录（最小值、平均值、最大值）\n"
               "                      而不是每个读数\n"
               "  --export-events 输出\n"
               "                      把事件记录以 CSV 写到输出后退出\n"
               "  --device 端口#地址  只导出这个设备，例如 /dev/ttyUSB0#1\n"
               "  --from 时间, --to 时间\n"
               "                      只导出 时间 <= t < 时间 的部分，ISO 8601 格式\n"
               "                      （2026-12-10T08:00:00Z；不带时区时按本地时间，\n"
               "                      夏令时跳过的时刻往后移）\n"
               "  --lang zh|en        界面语言：中文或英文（默认：窗口里上次选的语言，\n"
               "                      否则按系统的语言）\n"
               "  --help              显示本说明\n"
               "  --version           显示版本\n")
        .arg(programName, DefaultHistoryPath());
}

QString TrafficLogOpenError(const QString& programName, const QString& path, const QString& why) {
    return CommandLine::tr("%1: 无法追加到通讯记录文件 %2: %3").arg(programName, path, why);
}

QString VersionText() {
    return QStringLiteral("z7panel ") + QLatin1String(kZ7Version);
}

std::optional<qint64> ParseIsoTime(const QString& text) {
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime::fromString(text, Qt::ISODate);
    if (time.isValid())
        return time.toMSecsSinceEpoch();
    // A local time the clocks skipped when they were set forward: read with the offset that held
    // before, which moves it forward by the gap, as the clock on the wall would have shown it.
    if (time.timeSpec() != Qt::LocalTime || !time.date().isValid() || !time.time().isValid())
        return std::nullopt;
    const qint64 naive = QDateTime(time.date(), time.time(), Qt::UTC).toMSecsSinceEpoch();
    constexpr qint64 kDayMs = 24LL * 3600 * 1000;
    const int offsetBefore = QDateTime::fromMSecsSinceEpoch(naive - kDayMs, Qt::LocalTime).offsetFromUtc();
    return naive - offsetBefore * 1000LL;
}

QString DefaultHistoryPath() {
    // The same folder with or without an application object: the export runs without one.
    const QString saved = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("z7panel"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setApplicationName(saved);
    return folder + QStringLiteral("/history.sqlite");
}
