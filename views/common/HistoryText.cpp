#include "HistoryText.h"

#include <QCoreApplication>
#include <QDateTime>

namespace {

struct HistoryText {
    Q_DECLARE_TR_FUNCTIONS(HistoryText)
};

} // namespace

QString QuantityName(Quantity q) {
    switch (q) {
    case Quantity::InputSetting:
        return HistoryText::tr("设定值");
    case Quantity::Run:
        return HistoryText::tr("运行");
    case Quantity::MaxOutput:
        return HistoryText::tr("最大输出量限制");
    case Quantity::MinOutput:
        return HistoryText::tr("最小输出量限制");
    case Quantity::InputQuantity:
        return HistoryText::tr("输入量");
    case Quantity::OutputQuantity:
        return HistoryText::tr("输出量");
    case Quantity::Temperature:
        return HistoryText::tr("温度");
    case Quantity::Alarms:
        return HistoryText::tr("警报");
    case Quantity::FullScale:
        return HistoryText::tr("满量程电压");
    case Quantity::CurrentR:
        return HistoryText::tr("R相电流");
    case Quantity::CurrentS:
        return HistoryText::tr("S相电流");
    case Quantity::CurrentT:
        return HistoryText::tr("T相电流");
    case Quantity::Voltage:
        return HistoryText::tr("电压");
    }
    return {};
}

QString QuantityValueText(Quantity q, double value) {
    const QuantityInfo& info = Info(q);
    QString text = QString::number(value, 'f', info.decimals);
    if (*info.unit)
        text += QLatin1Char(' ') + QString::fromUtf8(info.unit);
    return text;
}

QString EventKindName(EventKind kind) {
    switch (kind) {
    case EventKind::AlarmSet:
        return HistoryText::tr("警报出现");
    case EventKind::AlarmClear:
        return HistoryText::tr("警报消除");
    case EventKind::Run:
        return HistoryText::tr("运行");
    case EventKind::Stop:
        return HistoryText::tr("停止");
    case EventKind::Command:
        return HistoryText::tr("操作命令");
    case EventKind::CommandConfirmed:
        return HistoryText::tr("命令已确认");
    case EventKind::CommandRefused:
        return HistoryText::tr("命令被拒绝");
    case EventKind::CommandUnanswered:
        return HistoryText::tr("命令无应答");
    case EventKind::PortOpen:
        return HistoryText::tr("端口打开");
    case EventKind::PortClose:
        return HistoryText::tr("端口关闭");
    case EventKind::PortVanished:
        return HistoryText::tr("端口消失");
    case EventKind::LinkLost:
        return HistoryText::tr("通讯中断");
    case EventKind::LinkRestored:
        return HistoryText::tr("通讯恢复");
    }
    return {};
}

QString LocalTimeText(qint64 utcMs) {
    return TimeText(utcMs, ShownZone::Local);
}

QTimeZone TimeZoneOf(ShownZone zone) {
    return zone == ShownZone::Utc ? QTimeZone::utc() : QTimeZone::systemTimeZone();
}

QString TimeText(qint64 utcMs, ShownZone zone) {
    return QDateTime::fromMSecsSinceEpoch(utcMs, TimeZoneOf(zone))
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString ZoneName(ShownZone zone) {
    if (zone == ShownZone::Utc)
        return QStringLiteral("UTC");
    // The zone's name holds on both sides of a daylight-saving change, which an offset would not.
    return QString::fromUtf8(QTimeZone::systemTimeZoneId());
}
