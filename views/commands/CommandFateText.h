#pragma once
// The newest command's fate as the status bar and the set-point dialog show it: "发送中…",
// "已确认 (35 ms)", "被拒绝: 应答：异常 02 …", "无应答", "未确认", "未发送: 通讯未开启".

#include "CommandFate.h"

#include <QString>

QString CommandFateText(const CommandFate::Fate& fate);
// The same with the command it is about in front: "最大输出量限制 25.0 %: 已确认 (35 ms)".
QString CommandWithFateText(const CommandFate::Fate& fate);
