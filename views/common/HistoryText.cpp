#include "HistoryText.h"

#include "TrafficText.h"

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
    case EventKind::CommandUnconfirmed:
        return HistoryText::tr("命令未确认");
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
    case EventKind::RecordingStarted:
        return HistoryText::tr("开始记录");
    case EventKind::RecordingStopped:
        return HistoryText::tr("停止记录");
    case EventKind::StateAtStart:
        return HistoryText::tr("开始时的状态");
    case EventKind::AlarmAck:
        return HistoryText::tr("报警确认");
    }
    return {};
}

namespace {

QString RegisterValueText(quint16 reg, quint16 raw) {
    const std::optional<Quantity> q = QuantityAtRegister(reg);
    return q ? QuantityValueText(*q, ScaledValue(*q, raw)) : QString::number(raw);
}

} // namespace

QString CommandText(quint16 reg, quint16 value) {
    if (const std::optional<Quantity> q = QuantityAtRegister(reg))
        return QuantityName(*q) + QLatin1Char(' ') + RegisterValueText(reg, value);
    return HistoryText::tr("寄存器 %1 值 %2").arg(reg).arg(value);
}

QString CommandReasonText(const CommandDetail& command) {
    switch (command.reason) {
    case CommandDetail::Reason::None:
        return {};
    case CommandDetail::Reason::CommOff:
        return HistoryText::tr("未发送：通讯关闭");
    case CommandDetail::Reason::Port:
        return HistoryText::tr("端口未接收");
    case CommandDetail::Reason::Answer:
        if (command.answer == Verdict::Exception)
            return HistoryText::tr("应答：%1").arg(VerdictText(Verdict::Exception, command.exceptionCode));
        if (command.answer == Verdict::NoReply)
            return HistoryText::tr("回送丢失");
        return HistoryText::tr("回送有误：%1").arg(VerdictName(command.answer));
    case CommandDetail::Reason::Read:
        return HistoryText::tr("读回 %1").arg(RegisterValueText(command.reg, command.held));
    }
    return {};
}

QString AlarmMeaning(int bit) {
    switch (bit) {
    case 0:
        return HistoryText::tr("电源故障");
    case 1:
        return HistoryText::tr("R相缺相");
    case 2:
        return HistoryText::tr("S相缺相");
    case 3:
        return HistoryText::tr("T相缺相");
    case 4:
        return HistoryText::tr("温度过高");
    case 5:
        return HistoryText::tr("温度过低");
    case 6:
        return HistoryText::tr("电流过大");
    case 7:
        return HistoryText::tr("部分负载断开");
    case 8:
        return HistoryText::tr("短路");
    }
    return {};
}

QString AlarmFullName(int bit) {
    if (bit < 0 || bit >= kAlarmCount)
        return {};
    return QLatin1String(kAlarmNames[size_t(bit)]) + QLatin1Char(' ') + AlarmMeaning(bit);
}

QString EventDetailText(EventKind kind, const QString& detail) {
    switch (kind) {
    case EventKind::Command:
    case EventKind::CommandConfirmed:
    case EventKind::CommandRefused:
    case EventKind::CommandUnanswered:
    case EventKind::CommandUnconfirmed:
        break;
    case EventKind::AlarmAck:
        if (const std::optional<AckDetail> ack = ParseAlarmAckDetail(detail))
            return HistoryText::tr("用户 %1：%2").arg(ack->user, ack->alarms.join(QStringLiteral(", ")));
        return detail;
    default:
        return detail;
    }
    const std::optional<CommandDetail> command = CommandDetail::Parse(detail);
    if (!command)
        return detail;
    QString text = CommandText(command->reg, command->value);
    const QString reason = CommandReasonText(*command);
    if (!reason.isEmpty())
        text = HistoryText::tr("%1，%2").arg(text, reason);
    // Details of earlier panels carry their outcome in words of their own.
    return text + command->rest;
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
