#include "CommandFateText.h"

#include "HistoryText.h"

#include <QCoreApplication>

namespace {
struct FateText {
    Q_DECLARE_TR_FUNCTIONS(FateText)
};
} // namespace

QString CommandFateText(const CommandFate::Fate& fate) {
    using S = CommandFate::State;
    switch (fate.state) {
    case S::Sending:
        return FateText::tr("发送中…");
    case S::Confirmed:
        return FateText::tr("已确认 (%1 ms)").arg(fate.ms);
    case S::Refused:
        return FateText::tr("被拒绝: %1").arg(CommandReasonText(fate.detail));
    case S::NoAnswer:
        return FateText::tr("无应答");
    case S::Unconfirmed:
        return FateText::tr("未确认");
    case S::NotSent:
        return FateText::tr("未发送: 通讯未开启");
    case S::LineBusy:
        return FateText::tr("未发送: 线路忙");
    }
    return {};
}

QString CommandWithFateText(const CommandFate::Fate& fate) {
    return FateText::tr("%1: %2").arg(CommandText(fate.reg, fate.value), CommandFateText(fate));
}
