#include "LineStatus.h"

#include "TrafficText.h"

#include <QCoreApplication>
#include <QDateTime>

namespace {

struct LineStatus {
    Q_DECLARE_TR_FUNCTIONS(LineStatus)
};

} // namespace

QString LineStatusText(const LineStatusFacts& facts, const TrafficStats& stats) {
    if (!facts.open)
        return LineStatus::tr("端口已关闭");
    QStringList parts;
    if (facts.overTcp)
        parts << LineStatus::tr("端口 %1 (经TCP)").arg(facts.port);
    else
        parts << LineStatus::tr("端口 %1  %2 %3").arg(facts.port).arg(facts.baudRate).arg(facts.format);
    parts << LineStatus::tr("地址 %1").arg(facts.address);
    parts << LineStatus::tr("轮询 %1").arg(stats.Polls());
    if (const std::optional<double> share = stats.AcceptedShare())
        parts << LineStatus::tr("接收 %1%").arg(*share * 100.0, 0, 'f', 1);
    const TrafficStats::ResponseTimes responses = stats.Responses();
    if (responses.count > 0)
        parts << LineStatus::tr("响应 %1").arg(MillisecondsText(responses.lastUs));
    if (const std::optional<TrafficStats::Problem> problem = stats.LastProblem()) {
        parts << LineStatus::tr("最近错误 %1 %2")
                     .arg(
                         VerdictText(problem->verdict, problem->exceptionCode),
                         QDateTime::fromMSecsSinceEpoch(problem->utcMs).toString(QStringLiteral("HH:mm:ss")));
    }
    return parts.join(QStringLiteral("   "));
}
