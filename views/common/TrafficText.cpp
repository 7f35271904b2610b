#include "TrafficText.h"

#include <QCoreApplication>

namespace {

struct TrafficText {
    Q_DECLARE_TR_FUNCTIONS(TrafficText)
};

} // namespace

QString VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Sent:
        return TrafficText::tr("已发送");
    case Verdict::Refused:
        return TrafficText::tr("发送失败");
    case Verdict::Accepted:
        return TrafficText::tr("已接收");
    case Verdict::Confirmed:
        return TrafficText::tr("已确认");
    case Verdict::Exception:
        return TrafficText::tr("异常应答");
    case Verdict::Crc:
        return TrafficText::tr("CRC错误");
    case Verdict::Address:
        return TrafficText::tr("地址不符");
    case Verdict::Noise:
        return TrafficText::tr("杂散字节");
    case Verdict::Function:
        return TrafficText::tr("功能码不符");
    case Verdict::Count:
        return TrafficText::tr("字节数不符");
    case Verdict::Short:
        return TrafficText::tr("帧不完整");
    case Verdict::Unexpected:
        return TrafficText::tr("非预期");
    case Verdict::Echo:
        return TrafficText::tr("回送不符");
    case Verdict::Oversize:
        return TrafficText::tr("超长截断");
    case Verdict::NoReply:
        return TrafficText::tr("无应答");
    }
    return {};
}

QString VerdictText(Verdict verdict, quint8 exceptionCode) {
    QString text = VerdictName(verdict);
    if (verdict == Verdict::Exception) {
        text += QStringLiteral(" %1").arg(exceptionCode, 2, 16, QLatin1Char('0')).toUpper();
        const QString name = ModbusExceptionName(exceptionCode);
        if (!name.isEmpty())
            text += QLatin1Char(' ') + name;
    }
    return text;
}

QString DirectionText(TrafficDirection direction) {
    switch (direction) {
    case TrafficDirection::Tx:
        return TrafficText::tr("发送");
    case TrafficDirection::Rx:
        return TrafficText::tr("接收");
    case TrafficDirection::Missing:
        return TrafficText::tr("缺失");
    }
    return {};
}

QString MillisecondsText(qint64 us) {
    return QStringLiteral("%1 ms").arg(double(us) / 1000.0, 0, 'f', 1);
}
