#include "LineStatus.h"

#include "TrafficText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetrics>

namespace {

struct LineStatus {
    Q_DECLARE_TR_FUNCTIONS(LineStatus)
};

// What the status may leave out when it is short of room, the first first.
enum class Optional { Response, Polls, Share, Address, Count };

// The last problem's verdict as shown, the exception's name included.
QString ProblemKind(const TrafficStats& stats) {
    const std::optional<TrafficStats::Problem> problem = stats.LastProblem();
    return problem ? VerdictText(problem->verdict, problem->exceptionCode) : QString();
}

QString PortPart(const LineStatusFacts& facts, const QString& port) {
    if (facts.overTcp)
        return LineStatus::tr("端口 %1 (经TCP)").arg(port);
    return LineStatus::tr("端口 %1  %2 %3").arg(port).arg(facts.baudRate).arg(facts.format);
}

// What the status says while the port's connection is being made; empty otherwise.
QString ConnectionState(const LineStatusFacts& facts) {
    if (facts.reconnecting)
        return LineStatus::tr("重新连接中…");
    if (facts.connecting)
        return LineStatus::tr("正在连接…");
    return {};
}

// The parts of the status, the port named as `port` and the last problem's verdict as `problemKind`,
// without the first `leaveOut` of Optional.
QStringList Parts(const LineStatusFacts& facts, const TrafficStats& stats, const QString& port,
                  const QString& problemKind, int leaveOut) {
    const auto shown = [leaveOut](Optional part) { return int(part) >= leaveOut; };
    QStringList parts{PortPart(facts, port)};
    if (shown(Optional::Address))
        parts << LineStatus::tr("地址 %1").arg(facts.address);
    if (shown(Optional::Polls))
        parts << LineStatus::tr("轮询 %1").arg(stats.Polls());
    if (const std::optional<double> share = stats.AcceptedShare(); share && shown(Optional::Share))
        parts << LineStatus::tr("接收 %1%").arg(*share * 100.0, 0, 'f', 1);
    const TrafficStats::ResponseTimes responses = stats.Responses();
    if (responses.count > 0 && shown(Optional::Response))
        parts << LineStatus::tr("响应 %1").arg(MillisecondsText(responses.lastUs));
    if (const std::optional<TrafficStats::Problem> problem = stats.LastProblem()) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(problem->utcMs);
        const QString format = at.date() == QDate::currentDate() ? QStringLiteral("HH:mm:ss")
                                                                 : QStringLiteral("yyyy-MM-dd HH:mm:ss");
        parts << LineStatus::tr("最近错误 %1 %2").arg(problemKind, at.toString(format));
    }
    return parts;
}

const QString kSeparator = QStringLiteral("   ");

} // namespace

QString LineStatusText(const LineStatusFacts& facts, const TrafficStats& stats) {
    if (const QString state = ConnectionState(facts); !state.isEmpty())
        return PortPart(facts, facts.port) + kSeparator + state;
    if (!facts.open)
        return LineStatus::tr("端口已关闭");
    return Parts(facts, stats, facts.port, ProblemKind(stats), 0).join(kSeparator);
}

QString FittedLineStatusText(const LineStatusFacts& facts, const TrafficStats& stats,
                             const QFontMetrics& metrics, int width) {
    if (const QString state = ConnectionState(facts); !state.isEmpty()) {
        // The state stays whole; the port name gives way in its middle.
        const int over = metrics.horizontalAdvance(LineStatusText(facts, stats)) - width;
        const int portWidth = metrics.horizontalAdvance(facts.port);
        return over <= 0 ? LineStatusText(facts, stats)
                         : PortPart(facts, metrics.elidedText(facts.port, Qt::ElideMiddle,
                                                              std::max(0, portWidth - over))) +
                               kSeparator + state;
    }
    if (!facts.open)
        return LineStatus::tr("端口已关闭");
    // A port name keeps at least this much of itself, its start and its end.
    const int leastPortWidth = metrics.horizontalAdvance(QStringLiteral("/dev/tty…USB0"));
    const int portWidth = metrics.horizontalAdvance(facts.port);
    const QString kind = ProblemKind(stats);
    const auto text = [&](const QString& port, const QString& problemKind, int leaveOut) {
        return Parts(facts, stats, port, problemKind, leaveOut).join(kSeparator);
    };
    for (int leaveOut = 0; leaveOut <= int(Optional::Count); ++leaveOut) {
        const int over = metrics.horizontalAdvance(text(facts.port, kind, leaveOut)) - width;
        if (over <= 0)
            return text(facts.port, kind, leaveOut);
        if (portWidth - over >= std::min(leastPortWidth, portWidth))
            return text(metrics.elidedText(facts.port, Qt::ElideMiddle, portWidth - over), kind, leaveOut);
    }
    // Still too narrow: the port at its least, and an exception's name cut at its end; its verdict, its
    // code and its time stay whole.
    const QString port = metrics.elidedText(facts.port, Qt::ElideMiddle, leastPortWidth);
    const int over = metrics.horizontalAdvance(text(port, kind, int(Optional::Count))) - width;
    const std::optional<TrafficStats::Problem> problem = stats.LastProblem();
    const QString least = problem ? VerdictText(problem->verdict) : QString();
    const int kindWidth = metrics.horizontalAdvance(kind);
    const int leastKindWidth = metrics.horizontalAdvance(least + QStringLiteral(" 00…"));
    return text(port, metrics.elidedText(kind, Qt::ElideRight, std::max(kindWidth - over, leastKindWidth)),
                int(Optional::Count));
}
