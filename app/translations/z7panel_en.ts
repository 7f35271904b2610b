<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CommandLine</name>
    <message>
        <source>%1 给了两次</source>
        <translation>%1 given twice</translation>
    </message>
    <message>
        <source>%1 后面缺少参数</source>
        <translation>%1 needs a value</translation>
    </message>
    <message>
        <source>--lang 只接受 zh 或 en，不接受 %1</source>
        <translation>--lang takes zh or en, not %1</translation>
    </message>
    <message>
        <source>未知的参数：%1</source>
        <translation>unknown argument: %1</translation>
    </message>
    <message>
        <source>%1: 无法追加到通讯记录文件 %2: %3</source>
        <translation>%1: cannot append to the traffic log %2: %3</translation>
    </message>
    <message>
        <source>%1 不是 ISO 8601 时间：%2</source>
        <translation>%1 is not an ISO 8601 time: %2</translation>
    </message>
    <message>
        <source>--no-history 不能与 --history 或导出一起使用</source>
        <translation>--no-history goes with neither --history nor an export</translation>
    </message>
    <message>
        <source>--from 和 --to 只用于导出：请同时给出 --export-csv 或 --export-events</source>
        <translation>--from and --to limit an export: give --export-csv or --export-events</translation>
    </message>
    <message>
        <source>--device 要写成 端口#地址，例如 /dev/ttyUSB0#1，不是 %1</source>
        <translation>--device takes PORT#ADDRESS, e.g. /dev/ttyUSB0#1, not %1</translation>
    </message>
    <message>
        <source>--device 只用于导出：请同时给出 --export-csv 或 --export-events</source>
        <translation>--device limits an export: give --export-csv or --export-events</translation>
    </message>
    <message>
        <source>--minutes 只用于 --export-csv</source>
        <translation>--minutes goes with --export-csv only</translation>
    </message>
    <message>
        <source>--from 必须早于 --to</source>
        <translation>--from must be before --to</translation>
    </message>
    <message>
        <source>--connection 已含端口，不能与 --port 一起使用</source>
        <translation>--connection names the port already: it does not go with --port</translation>
    </message>
    <message>
        <source>--connection 不用于导出</source>
        <translation>--connection does not go with an export</translation>
    </message>
    <message>
        <source>用法: %1 [--port 端口 | --connection 名称] [--traffic-log 文件]
         [--history 文件 | --no-history] [--lang zh|en]
      %1 [--history 文件] [--export-csv 输出 [--minutes]] [--export-events 输出]
         [--device 端口#地址] [--from 时间] [--to 时间]
  --port 端口         预设串口，例如 /dev/ttyUSB0，或串口服务器的 TCP 端口：
                      tcp://主机:端口（IPv6 地址放在方括号里）
  --connection 名称   以保存的连接启动：端口、波特率、格式和地址
                      （文件 → 保存连接为…）
  --traffic-log 文件  把每个请求、每个应答和每个缺失的应答追加到文件，每条一行：
                      时间 (UTC)、方向 tx/rx/--、判定、字节
  --history 文件      把历史记录写入文件（默认：%2）
  --no-history        不记录历史
  --export-csv 输出   把记录的全部读数以 CSV 写到输出（'-'：标准输出）后退出，
                      不开窗口
  --minutes           --export-csv 写每分钟的记录（最小值、平均值、最大值）
                      而不是每个读数
  --export-events 输出
                      把事件记录以 CSV 写到输出后退出
  --device 端口#地址  只导出这个设备，例如 /dev/ttyUSB0#1
  --from 时间, --to 时间
                      只导出 时间 &lt;= t &lt; 时间 的部分，ISO 8601 格式
                      （2026-12-10T08:00:00Z；不带时区时按本地时间，
                      夏令时跳过的时刻往后移）
  --lang zh|en        界面语言：中文或英文（默认：窗口里上次选的语言，
                      否则按系统的语言）
  --help              显示本说明
  --version           显示版本
</source>
        <translation>usage: %1 [--port NAME | --connection NAME] [--traffic-log FILE]
          [--history FILE | --no-history] [--lang zh|en]
       %1 [--history FILE] [--export-csv OUT [--minutes]] [--export-events OUT]
          [--device PORT#ADDRESS] [--from TIME] [--to TIME]
  --port NAME         preset the serial port, e.g. /dev/ttyUSB0, or a serial device
                      server's TCP port: tcp://HOST:PORT (IPv6 in brackets)
  --connection NAME   start with a saved connection: its port, baud rate, format and
                      address (File → Save connection as…)
  --traffic-log FILE  append every request, every reply and every missing answer to FILE,
                      one line each: time (UTC), direction tx/rx/--, verdict, bytes
  --history FILE      record the history into FILE (default: %2)
  --no-history        record nothing
  --export-csv OUT    write every recorded reading as CSV to OUT ('-': standard output)
                      and exit, without a window
  --minutes           with --export-csv, write the minute rows (minimum, mean, maximum)
                      instead of every reading
  --export-events OUT
                      write the event log as CSV to OUT and exit
  --device PORT#ADDRESS
                      export this device only, e.g. /dev/ttyUSB0#1
  --from TIME, --to TIME
                      limit an export to TIME &lt;= t &lt; TIME, ISO 8601
                      (2026-12-10T08:00:00Z; without a zone, local time, a time
                      skipped when the clocks went forward moved forward)
  --lang zh|en        the window's language: Chinese or English (default: the one last
                      chosen in the window, else the system's)
  --help              show this text
  --version           show the version
</translation>
    </message>
</context>
<context>
    <name>FateText</name>
    <message>
        <source>发送中…</source>
        <translation>Sending…</translation>
    </message>
    <message>
        <source>已确认 (%1 ms)</source>
        <translation>Confirmed (%1 ms)</translation>
    </message>
    <message>
        <source>被拒绝: %1</source>
        <translation>Refused: %1</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No answer</translation>
    </message>
    <message>
        <source>未确认</source>
        <translation>Unconfirmed</translation>
    </message>
    <message>
        <source>未发送: 通讯未开启</source>
        <translation>Not sent: polling is off</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>未发送: 线路忙</source>
        <translation>Not sent: the line was busy</translation>
    </message>
</context>
<context>
    <name>FleetFile</name>
    <message>
        <source>对象未结束：这里应为 , 或 }</source>
        <translation>unterminated object: a , or } was expected here</translation>
    </message>
    <message>
        <source>这里应为冒号 :</source>
        <translation>a colon : was expected here</translation>
    </message>
    <message>
        <source>数组未结束：这里应为 , 或 ]</source>
        <translation>unterminated array: a , or ] was expected here</translation>
    </message>
    <message>
        <source>这里应为逗号 ,</source>
        <translation>a comma , was expected here</translation>
    </message>
    <message>
        <source>这里应为一个值：字符串、数字、对象、数组、true、false 或 null</source>
        <translation>a value was expected here: a string, number, object, array, true, false or null</translation>
    </message>
    <message>
        <source>文件在数字中间结束</source>
        <translation>the file ends in the middle of a number</translation>
    </message>
    <message>
        <source>这里应为一个有效的数字</source>
        <translation>a valid number was expected here</translation>
    </message>
    <message>
        <source>无效的转义序列：\ 后应为 " \ / b f n r t 或 u 加四位十六进制数</source>
        <translation>an invalid escape sequence: after \ one of " \ / b f n r t, or u with four hexadecimal digits, was expected</translation>
    </message>
    <message>
        <source>文本不是有效的 UTF-8</source>
        <translation>the text is not valid UTF-8</translation>
    </message>
    <message>
        <source>字符串未结束：这里应为 "</source>
        <translation>unterminated string: a " was expected here</translation>
    </message>
    <message>
        <source>嵌套太深</source>
        <translation>nested too deeply</translation>
    </message>
    <message>
        <source>文件太大</source>
        <translation>the file is too large</translation>
    </message>
    <message>
        <source>JSON 已经结束，这里不应再有内容</source>
        <translation>the JSON has ended; nothing more may follow here</translation>
    </message>
    <message>
        <source>JSON 语法错误</source>
        <translation>JSON syntax error</translation>
    </message>
    <message>
        <source>文件应为一个对象 { … }，内含 "lines"</source>
        <translation>the file must be one object { … } holding "lines"</translation>
    </message>
    <message>
        <source>键 "%1" 重复；每个键只能出现一次</source>
        <translation>the key "%1" appears twice; each key may appear only once</translation>
    </message>
    <message>
        <source>"as_fast_as_possible" 应为 true 或 false</source>
        <translation>"as_fast_as_possible" must be true or false</translation>
    </message>
    <message>
        <source>"lines" 应为含至少一条线路的数组 [ … ]</source>
        <translation>"lines" must be an array [ … ] of at least one line</translation>
    </message>
    <message>
        <source>线路标识 "%1" 已被另一条线路使用</source>
        <translation>the id "%1" is already used by another line</translation>
    </message>
    <message>
        <source>端口 %1 已被线路 "%2" 使用</source>
        <translation>the port %1 is already used by the line "%2"</translation>
    </message>
    <message>
        <source>线路应为一个对象 { … }</source>
        <translation>a line must be an object { … }</translation>
    </message>
    <message>
        <source>"id" 应为 1 到 %1 个字符的文本，前后无空格</source>
        <translation>"id" must be a text of 1 to %1 characters without spaces at either end</translation>
    </message>
    <message>
        <source>"port" 应为设备路径（如 /dev/ttyUSB0）或 tcp://主机:端口（端口号 1 到 65535，IPv6 地址加方括号），前后无空格</source>
        <translation>"port" must be a device path (such as /dev/ttyUSB0) or tcp://HOST:PORT (port 1 to 65535, an IPv6 address in brackets), without spaces at either end</translation>
    </message>
    <message>
        <source>"baud" 应为以下波特率之一：%1</source>
        <translation>"baud" must be one of the baud rates %1</translation>
    </message>
    <message>
        <source>"format" 应为以下格式之一：%1</source>
        <translation>"format" must be one of the formats %1</translation>
    </message>
    <message>
        <source>"framing" 应为 "length" 或 "silence"</source>
        <translation>"framing" must be "length" or "silence"</translation>
    </message>
    <message>
        <source>"devices" 应为含至少一台设备的数组 [ … ]</source>
        <translation>"devices" must be an array [ … ] of at least one device</translation>
    </message>
    <message>
        <source>地址 %1 在这条线路上已被使用</source>
        <translation>the address %1 is already used on this line</translation>
    </message>
    <message>
        <source>设备应为一个对象 { … }</source>
        <translation>a device must be an object { … }</translation>
    </message>
    <message>
        <source>地址应为 %1 到 %2 的整数</source>
        <translation>the address must be a whole number from %1 to %2</translation>
    </message>
    <message>
        <source>"name" 应为 1 到 %1 个字符的文本</source>
        <translation>"name" must be a text of 1 to %1 characters</translation>
    </message>
    <message>
        <source>"%1" 应为 %2 到 %3 的整数（毫秒）</source>
        <translation>"%1" must be a whole number of milliseconds from %2 to %3</translation>
    </message>
    <message>
        <source>未知的键 "%1"；这里可用的键：%2</source>
        <translation>unknown key "%1"; the keys allowed here: %2</translation>
    </message>
    <message>
        <source>缺少 "%1"；%2</source>
        <translation>"%1" is missing; %2</translation>
    </message>
    <message>
        <source>第 %1 行第 %2 列：%3</source>
        <translation>line %1, column %2: %3</translation>
    </message>
    <message>
        <source>无法读取 %1：%2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 太大：机群文件最多 %2 字节</source>
        <translation>%1 is too large: a fleet file has at most %2 bytes</translation>
    </message>
</context>
<context>
    <name>Form1Layout</name>
    <message>
        <source>温度：</source>
        <translation>Temp.:</translation>
    </message>
    <message>
        <source>输入：</source>
        <translation>Setting:</translation>
    </message>
    <message>
        <source>输入量：</source>
        <translation>Input:</translation>
    </message>
    <message>
        <source>输出量：</source>
        <translation>Output:</translation>
    </message>
    <message>
        <source>最小输出量限制：</source>
        <translation>Min. output limit:</translation>
    </message>
    <message>
        <source>最大输出量限制：</source>
        <translation>Max. output limit:</translation>
    </message>
</context>
<context>
    <name>HistoryExport</name>
    <message>
        <source>无法读取历史记录：%1</source>
        <translation>cannot read the history: %1</translation>
    </message>
    <message>
        <source>无法把读数写到 %1：%2</source>
        <translation>cannot write the readings to %1: %2</translation>
    </message>
    <message>
        <source>无法把事件写到 %1：%2</source>
        <translation>cannot write the events to %1: %2</translation>
    </message>
    <message>
        <source>无法把每分钟的记录写到 %1：%2</source>
        <translation>cannot write the minute rows to %1: %2</translation>
    </message>
    <message>
        <source>历史记录里没有设备 %1（有：%2）</source>
        <translation>no device %1 in the history (there are: %2)</translation>
    </message>
</context>
<context>
    <name>HistoryText</name>
    <message>
        <source>报警确认</source>
        <translation>Alarm acknowledged</translation>
    </message>
    <message>
        <source>电源故障</source>
        <translation>Power supply fault</translation>
    </message>
    <message>
        <source>R相缺相</source>
        <translation>Phase R lost</translation>
    </message>
    <message>
        <source>S相缺相</source>
        <translation>Phase S lost</translation>
    </message>
    <message>
        <source>T相缺相</source>
        <translation>Phase T lost</translation>
    </message>
    <message>
        <source>温度过高</source>
        <translation>Over-temperature</translation>
    </message>
    <message>
        <source>温度过低</source>
        <translation>Under-temperature</translation>
    </message>
    <message>
        <source>电流过大</source>
        <translation>Over-current</translation>
    </message>
    <message>
        <source>部分负载断开</source>
        <translation>Partial load failure</translation>
    </message>
    <message>
        <source>短路</source>
        <translation>Short circuit</translation>
    </message>
    <message>
        <source>用户 %1：%2</source>
        <translation>user %1: %2</translation>
    </message>
    <message>
        <source>设定值</source>
        <translation>Set-point</translation>
    </message>
    <message>
        <source>运行</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>最大输出量限制</source>
        <translation>Max. output limit</translation>
    </message>
    <message>
        <source>最小输出量限制</source>
        <translation>Min. output limit</translation>
    </message>
    <message>
        <source>输入量</source>
        <translation>Input</translation>
    </message>
    <message>
        <source>输出量</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>警报</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>满量程电压</source>
        <translation>Full-scale voltage</translation>
    </message>
    <message>
        <source>R相电流</source>
        <translation>Current R</translation>
    </message>
    <message>
        <source>S相电流</source>
        <translation>Current S</translation>
    </message>
    <message>
        <source>T相电流</source>
        <translation>Current T</translation>
    </message>
    <message>
        <source>电压</source>
        <translation>Voltage</translation>
    </message>
    <message>
        <source>警报出现</source>
        <translation>Alarm set</translation>
    </message>
    <message>
        <source>警报消除</source>
        <translation>Alarm cleared</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>操作命令</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>命令已确认</source>
        <translation>Command confirmed</translation>
    </message>
    <message>
        <source>命令被拒绝</source>
        <translation>Command refused</translation>
    </message>
    <message>
        <source>命令无应答</source>
        <translation>Command unanswered</translation>
    </message>
    <message>
        <source>命令未确认</source>
        <translation>Command unconfirmed</translation>
    </message>
    <message>
        <source>端口打开</source>
        <translation>Port opened</translation>
    </message>
    <message>
        <source>端口关闭</source>
        <translation>Port closed</translation>
    </message>
    <message>
        <source>端口消失</source>
        <translation>Port vanished</translation>
    </message>
    <message>
        <source>通讯中断</source>
        <translation>Link lost</translation>
    </message>
    <message>
        <source>通讯恢复</source>
        <translation>Link restored</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Recording started</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Recording stopped</translation>
    </message>
    <message>
        <source>开始时的状态</source>
        <translation>State at start</translation>
    </message>
    <message>
        <source>寄存器 %1 值 %2</source>
        <translation>Register %1 value %2</translation>
    </message>
    <message>
        <source>未发送：通讯关闭</source>
        <translation>not sent: communication off</translation>
    </message>
    <message>
        <source>端口未接收</source>
        <translation>not taken by the port</translation>
    </message>
    <message>
        <source>应答：%1</source>
        <translation>answer: %1</translation>
    </message>
    <message>
        <source>回送丢失</source>
        <translation>echo lost</translation>
    </message>
    <message>
        <source>回送有误：%1</source>
        <translation>echo garbled: %1</translation>
    </message>
    <message>
        <source>读回 %1</source>
        <translation>read back %1</translation>
    </message>
    <message>
        <source>%1，%2</source>
        <translation>%1, %2</translation>
    </message>
</context>
<context>
    <name>LineStatus</name>
    <message>
        <source>端口已关闭</source>
        <translation>Port closed</translation>
    </message>
    <message>
        <source>端口 %1 (经TCP)</source>
        <translation>Port %1 (over TCP)</translation>
    </message>
    <message>
        <source>端口 %1  %2 %3</source>
        <translation>Port %1  %2 %3</translation>
    </message>
    <message>
        <source>地址 %1</source>
        <translation>Address %1</translation>
    </message>
    <message>
        <source>轮询 %1</source>
        <translation>Polls %1</translation>
    </message>
    <message>
        <source>接收 %1%</source>
        <translation>Accepted %1%</translation>
    </message>
    <message>
        <source>响应 %1</source>
        <translation>Response %1</translation>
    </message>
    <message>
        <source>最近错误 %1 %2</source>
        <translation>Last problem %1 %2</translation>
    </message>
    <message>
        <source>重新连接中…</source>
        <translation>Reconnecting…</translation>
    </message>
    <message>
        <source>正在连接…</source>
        <translation>Connecting…</translation>
    </message>
</context>
<context>
    <name>TAlarmStrip</name>
    <message>
        <source>已确认</source>
        <translation>acknowledged</translation>
    </message>
    <message>
        <source>未确认</source>
        <translation>unacknowledged</translation>
    </message>
    <message>
        <source>已消除，未确认</source>
        <translation>cleared, unacknowledged</translation>
    </message>
    <message>
        <source>无报警</source>
        <translation>No active alarms</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>Acknowledge</translation>
    </message>
    <message>
        <source>确认所有显示的报警 (F4)</source>
        <translation>Acknowledge every alarm shown (F4)</translation>
    </message>
    <message>
        <source>Z7 报警</source>
        <translation>Z7 alarm</translation>
    </message>
</context>
<context>
    <name>TBusScanWindow</name>
    <message>
        <source>只收到无法识别的字节：此地址可能有设备，但波特率或格式不同。</source>
        <translation>Only bytes that make no reply came back: a device may be at this address on another baud rate or format.</translation>
    </message>
    <message>
        <source>经TCP连接时，线路的波特率和格式由设备服务器决定，无从扫描。</source>
        <translation>Over TCP the device server sets the line&apos;s baud rate and format: there is nothing to sweep.</translation>
    </message>
    <message>
        <source>总线扫描</source>
        <translation>Bus scan</translation>
    </message>
    <message>
        <source>串口在 %1 ms 静默后才交付应答，等待时间须长于此。</source>
        <translation>The port delivers an answer only after %1 ms of silence; the wait must be longer.</translation>
    </message>
    <message>
        <source>扫描波特率和格式</source>
        <translation>Sweep baud rates and formats</translation>
    </message>
    <message>
        <source>对一个地址依次试用所有波特率和格式，结束后恢复原设置。</source>
        <translation>Tries every baud rate and format on one address, then restores the settings.</translation>
    </message>
    <message>
        <source>起始地址</source>
        <translation>First address</translation>
    </message>
    <message>
        <source>结束地址</source>
        <translation>Last address</translation>
    </message>
    <message>
        <source>每个地址等待</source>
        <translation>Wait per address</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>响应时间</source>
        <translation>Response time</translation>
    </message>
    <message>
        <source>应答</source>
        <translation>Answer</translation>
    </message>
    <message>
        <source>从请求交给端口到应答交付，含串口的 %1 ms 静默间隔</source>
        <translation>From the request handed to the port to the answer delivered, including the port's %1 ms silence interval</translation>
    </message>
    <message>
        <source>使用</source>
        <translation>Use</translation>
    </message>
    <message>
        <source>把所选设备的地址、波特率和格式填入面板</source>
        <translation>Puts the selected device's address, baud rate and format into the panel</translation>
    </message>
    <message>
        <source>通讯已开始，扫描已停止。</source>
        <translation>Polling started; the scan stopped.</translation>
    </message>
    <message>
        <source>正在通讯：请先取消“通讯”，再扫描。</source>
        <translation>Polling is on: untick "Poll" before scanning.</translation>
    </message>
    <message>
        <source>端口未打开：请先打开串口。</source>
        <translation>The port is closed: open it first.</translation>
    </message>
    <message>
        <source>起始地址大于结束地址。</source>
        <translation>The first address is above the last.</translation>
    </message>
    <message>
        <source>正在扫描：地址 %1，%2 %3…</source>
        <translation>Scanning: address %1, %2 %3…</translation>
    </message>
    <message>
        <source>正在取消…</source>
        <translation>Cancelling…</translation>
    </message>
    <message>
        <source>端口已关闭，扫描已停止。</source>
        <translation>The port was closed; the scan stopped.</translation>
    </message>
    <message>
        <source>端口已断开，扫描已停止。</source>
        <translation>The port vanished; the scan stopped.</translation>
    </message>
    <message>
        <source>端口未接受请求，扫描已停止。</source>
        <translation>The port did not take a request; the scan stopped.</translation>
    </message>
    <message numerus="yes">
        <source>扫描完成：找到 %n 个设备，用时 %1 s。</source>
        <translation>
            <numerusform>Scan complete: %n device found in %1 s.</numerusform>
            <numerusform>Scan complete: %n devices found in %1 s.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>扫描已取消：找到 %n 个设备。</source>
        <translation>
            <numerusform>Scan cancelled: %n device found.</numerusform>
            <numerusform>Scan cancelled: %n devices found.</numerusform>
        </translation>
    </message>
    <message>
        <source>经TCP连接时，线路的波特率和格式由设备服务器决定，无从扫描。</source>
        <translation>Over TCP the device server sets the line's baud rate and format: there is nothing to sweep.</translation>
    </message>
</context>
<context>
    <name>TConnectionMenu</name>
    <message>
        <source>%1  %2 %3  地址 %4</source>
        <translation>%1  %2 %3  address %4</translation>
    </message>
    <message>
        <source>没有名为“%1”的连接</source>
        <translation>there is no connection named "%1"</translation>
    </message>
    <message>
        <source>%1；还没有保存的连接。</source>
        <translation>%1; no connection has been saved yet.</translation>
    </message>
    <message>
        <source>%1；已保存的连接：%2</source>
        <translation>%1; the saved connections: %2</translation>
    </message>
    <message>
        <source>打开连接…</source>
        <translation>Open connection…</translation>
    </message>
    <message>
        <source>保存连接为…</source>
        <translation>Save connection as…</translation>
    </message>
    <message>
        <source>最近的连接</source>
        <translation>Recent connections</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>总线扫描正在使用线路：请先结束扫描。</source>
        <translation>The bus scan is using the line: end the scan first.</translation>
    </message>
    <message>
        <source>保存连接</source>
        <translation>Save connection</translation>
    </message>
    <message>
        <source>连接的名称（%1）：</source>
        <translation>Name of the connection (%1):</translation>
    </message>
    <message>
        <source>已有名为“%1”的连接。替换它吗？</source>
        <translation>A connection named "%1" exists already. Replace it?</translation>
    </message>
    <message>
        <source>打开连接</source>
        <translation>Open connection</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>删除连接</source>
        <translation>Delete connection</translation>
    </message>
    <message>
        <source>删除连接“%1”吗？</source>
        <translation>Delete the connection "%1"?</translation>
    </message>
</context>
<context>
    <name>TEventModel</name>
    <message>
        <source>时间 (%1)</source>
        <translation>Time (%1)</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>内容</source>
        <translation>Detail</translation>
    </message>
</context>
<context>
    <name>TEventWindow</name>
    <message>
        <source>事件记录</source>
        <translation>Event log</translation>
    </message>
    <message>
        <source>全部类型</source>
        <translation>All kinds</translation>
    </message>
    <message>
        <source>导出CSV…</source>
        <translation>Export CSV…</translation>
    </message>
    <message>
        <source>类型：</source>
        <translation>Kind:</translation>
    </message>
    <message>
        <source>无法读取历史记录：%1</source>
        <translation>Cannot read the history: %1</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message numerus="yes">
        <source>%n 条</source>
        <translation>
            <numerusform>%n event</numerusform>
            <numerusform>%n events</numerusform>
        </translation>
    </message>
    <message>
        <source>本地时间</source>
        <translation>Local time</translation>
    </message>
    <message>
        <source>时间的时区</source>
        <translation>The zone the times are shown in</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>Z7_三相控制界面  </source>
        <translation>Z7_Three-phase control panel  </translation>
    </message>
    <message>
        <source>端口: </source>
        <translation>Port: </translation>
    </message>
    <message>
        <source>波特率:   </source>
        <translation>Baud:   </translation>
    </message>
    <message>
        <source>位元: </source>
        <translation>Bits: </translation>
    </message>
    <message>
        <source>地址:   </source>
        <translation>ID:   </translation>
    </message>
    <message>
        <source>通讯</source>
        <translation>Poll</translation>
    </message>
    <message>
        <source>警报：</source>
        <translation>Alarms:</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>打开串口错误</source>
        <translation>Error opening the serial port</translation>
    </message>
    <message>
        <source>%1: 设备存在，可能正被另一个程序使用。</source>
        <translation>%1: the device exists; another program may be using it.</translation>
    </message>
    <message>
        <source>串口属于 dialout 组：请运行 'sudo usermod -aG dialout $USER'，然后重新登录。</source>
        <translation>Serial ports belong to the 'dialout' group: run 'sudo usermod -aG dialout $USER', then log in again.</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TMainWindow</name>
    <message>
        <source>确认报警</source>
        <translation>Acknowledge alarms</translation>
    </message>
    <message>
        <source>报警声音</source>
        <translation>Alarm sound</translation>
    </message>
    <message>
        <source>另一个面板也在向这个历史记录文件写入。</source>
        <translation>Another panel is recording into this history file too.</translation>
    </message>
    <message>
        <source>%1

两个面板的记录都存进这个文件，事件窗口和趋势里都能看到。若不想混在一起，请用 --history 给每个面板一个文件。</source>
        <translation>%1

Both panels record into this file, and the event window and the trend show both. To keep them apart, give each panel a file of its own with --history.</translation>
    </message>
    <message>
        <source>经TCP连接时不起作用：波特率和格式由设备服务器决定。</source>
        <translation>Does not apply over TCP: the device server sets the baud rate and format.</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>保存通讯记录…</source>
        <translation>Save traffic…</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>查看</source>
        <translation>View</translation>
    </message>
    <message>
        <source>通讯监视</source>
        <translation>Traffic monitor</translation>
    </message>
    <message>
        <source>总线扫描</source>
        <translation>Bus scan</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>找不到英文翻译文件，界面保持中文。</source>
        <translation>The English translation was not found; the window stays in Chinese.</translation>
    </message>
    <message>
        <source>&lt;b&gt;Z7 Panel&lt;/b&gt; %1&lt;br&gt;Z7 三相功率控制器的 Modbus RTU 控制面板。</source>
        <translation>&lt;b&gt;Z7 Panel&lt;/b&gt; %1&lt;br&gt;Modbus RTU control panel for the Z7 three-phase power controller.</translation>
    </message>
    <message>
        <source>趋势</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>事件记录</source>
        <translation>Event log</translation>
    </message>
    <message>
        <source>寄存器</source>
        <translation>Registers</translation>
    </message>
    <message>
        <source>历史记录无法打开，本次运行不记录数据。</source>
        <translation>The history cannot be opened; this run records nothing.</translation>
    </message>
    <message>
        <source>历史记录写入失败：%1</source>
        <translation>Recording the history failed: %1</translation>
    </message>
    <message>
        <source>经TCP连接时不起作用：波特率和格式由设备服务器决定。</source>
        <translation>Does not apply over TCP: the device server sets the baud rate and format.</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>设定值…</source>
        <translation>Set Values…</translation>
    </message>
</context>
<context>
    <name>TSetPointDialog</name>
    <message>
        <source>运行中</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>设定值</source>
        <translation>Set Values</translation>
    </message>
    <message>
        <source>通讯未开启：勾选“通讯”后才能写入。</source>
        <translation>Polling is off: tick “Poll” to write.</translation>
    </message>
    <message>
        <source>%1 至 %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>启动</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>请输入%1的新值。</source>
        <translation>Enter the new value of %1.</translation>
    </message>
    <message>
        <source>“%1”不是数字。</source>
        <translation>“%1” is not a number.</translation>
    </message>
    <message>
        <source>%1最多 %2 位小数。</source>
        <translation>%1 takes at most %2 decimals.</translation>
    </message>
    <message>
        <source>%1 超出范围 %2 至 %3。</source>
        <translation>%1 is out of the range %2 to %3.</translation>
    </message>
    <message>
        <source>未发送: 通讯未开启</source>
        <translation>Not sent: polling is off</translation>
    </message>
    <message>
        <source>写入 %1 = %2？</source>
        <translation>Write %1 = %2?</translation>
    </message>
    <message>
        <source>设备将启动。</source>
        <translation>The device will start.</translation>
    </message>
    <message>
        <source>设备将停止。</source>
        <translation>The device will stop.</translation>
    </message>
</context>
<context>
    <name>TStaleVeil</name>
    <message>
        <source>尚无读数</source>
        <translation>No readings yet</translation>
    </message>
    <message>
        <source>读数未更新 · 最后更新 %1</source>
        <translation>Readings not updating · last update %1</translation>
    </message>
</context>
<context>
    <name>TRegisterWindow</name>
    <message>
        <source>寄存器</source>
        <translation>Registers</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>原始值</source>
        <translation>Raw</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>距上次读取</source>
        <translation>Age</translation>
    </message>
    <message>
        <source>距离上次接受的读取应答的时间</source>
        <translation>Time since the last accepted read reply</translation>
    </message>
    <message>
        <source>显示轮询已读到的内容，不另外发送请求。</source>
        <translation>Shows what the poll has read; sends no request of its own.</translation>
    </message>
    <message>
        <source>写入…</source>
        <translation>Write…</translation>
    </message>
    <message>
        <source>为%1写入新值</source>
        <translation>Write a new value for %1</translation>
    </message>
    <message>
        <source>运行</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>无警报</source>
        <translation>No alarm</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分钟</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 小时</source>
        <translation>%1 h</translation>
    </message>
    <message>
        <source>设备：%1</source>
        <translation>Device: %1</translation>
    </message>
</context>
<context>
    <name>TTcpCommPort</name>
    <message>
        <source>不是网络端口名；请写成 tcp://主机:端口，IPv6 地址加方括号（tcp://[::1]:502）</source>
        <translation>not a network port name; write tcp://HOST:PORT, an IPv6 address in brackets (tcp://[::1]:502)</translation>
    </message>
    <message>
        <source>主机名未知</source>
        <translation>the host name is not known</translation>
    </message>
    <message>
        <source>主机名未知（%1）</source>
        <translation>the host name is not known (%1)</translation>
    </message>
    <message>
        <source>名称服务器未及时应答（%1）</source>
        <translation>the name server did not answer in time (%1)</translation>
    </message>
    <message>
        <source>名称解析 %1 秒内无结果</source>
        <translation>the name was not resolved within %1 s</translation>
    </message>
    <message>
        <source>名称解析失败（%1）</source>
        <translation>the name could not be resolved (%1)</translation>
    </message>
    <message>
        <source>%1 秒内无应答</source>
        <translation>no answer within %1 s</translation>
    </message>
    <message>
        <source>打开已取消</source>
        <translation>the opening was cancelled</translation>
    </message>
</context>
<context>
    <name>TTrafficModel</name>
    <message>
        <source>时间 (ms)</source>
        <translation>Time (ms)</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Direction</translation>
    </message>
    <message>
        <source>长度</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>数据</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>面板启动以来的毫秒数（单调时钟）；指向单元格可看 UTC 时间</source>
        <translation>Milliseconds since the panel started (monotonic clock); point at a cell for its UTC time</translation>
    </message>
</context>
<context>
    <name>TTrafficMonitor</name>
    <message>
        <source>保存通讯记录</source>
        <translation>Save traffic</translation>
    </message>
    <message>
        <source>通讯日志文本 (*.txt *.log)</source>
        <translation>Traffic log text (*.txt *.log)</translation>
    </message>
    <message>
        <source>CSV 表格 (*.csv)</source>
        <translation>CSV table (*.csv)</translation>
    </message>
    <message>
        <source>无法写入 %1：
%2</source>
        <translation>Cannot write %1:
%2</translation>
    </message>
    <message>
        <source>通讯监视</source>
        <translation>Traffic monitor</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>把选中的行按通讯日志的格式复制到剪贴板</source>
        <translation>Copies the selected rows to the clipboard as traffic log lines</translation>
    </message>
    <message>
        <source>暂停显示；记录照常收集，继续时补上</source>
        <translation>Pauses the view; records are still collected and shown on resume</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>清除全部通讯记录；统计不变（用“统计清零”）</source>
        <translation>Clears all traffic records; the statistics stay (use "Reset statistics")</translation>
    </message>
    <message>
        <source>只显示错误和无应答</source>
        <translation>Only errors and no replies</translation>
    </message>
    <message>
        <source>另存为…</source>
        <translation>Save as…</translation>
    </message>
    <message>
        <source>把表中显示的记录存为文本或 CSV</source>
        <translation>Saves the records shown in the table as text or CSV</translation>
    </message>
    <message>
        <source>计数</source>
        <translation>Counts</translation>
    </message>
    <message>
        <source>请求</source>
        <translation>Requests</translation>
    </message>
    <message>
        <source>其中轮询</source>
        <translation>Polls</translation>
    </message>
    <message>
        <source>轮询接收率</source>
        <translation>Polls accepted</translation>
    </message>
    <message>
        <source>响应时间</source>
        <translation>Response time</translation>
    </message>
    <message>
        <source>%1 次</source>
        <translation>n = %1</translation>
    </message>
    <message>
        <source>实测</source>
        <translation>Measured</translation>
    </message>
    <message>
        <source>从请求交给串口到收到应答。串口在线路静默 %1 ms 之后才交付收到的字节，右列减去这段静默，余下的是设备和线路上传输所用的时间。</source>
        <translation>From the request handed to the port to the answer received. The port delivers received bytes only after %1 ms of silence on the line; the right column subtracts that silence, leaving the time the device and the line took.</translation>
    </message>
    <message>
        <source>最近</source>
        <translation>Last</translation>
    </message>
    <message>
        <source>最小</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>平均</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>95%</source>
        <translation>95%</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>Max</translation>
    </message>
    <message>
        <source>统计清零</source>
        <translation>Reset statistics</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>显示 %1 条</source>
        <translation>%1 shown</translation>
    </message>
    <message>
        <source>（已暂停，%1 条新记录未显示）</source>
        <translation> (paused, %1 new not shown)</translation>
    </message>
    <message>
        <source>保留最近 %1 条，已丢弃 %2 条</source>
        <translation>Keeping the last %1, %2 dropped</translation>
    </message>
    <message>
        <source>减去 %1 ms 静默间隔</source>
        <translation>Less %1 ms silence</translation>
    </message>
</context>
<context>
    <name>TTrendWindow</name>
    <message>
        <source>趋势</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>5 分钟</source>
        <translation>5 min</translation>
    </message>
    <message>
        <source>1 小时</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>8 小时</source>
        <translation>8 h</translation>
    </message>
    <message>
        <source>24 小时</source>
        <translation>24 h</translation>
    </message>
    <message>
        <source>7 天</source>
        <translation>7 d</translation>
    </message>
    <message>
        <source>30 天</source>
        <translation>30 d</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>跟随最新</source>
        <translation>Follow</translation>
    </message>
    <message>
        <source>导出CSV…</source>
        <translation>Export CSV…</translation>
    </message>
    <message>
        <source>导出图片…</source>
        <translation>Export picture…</translation>
    </message>
    <message>
        <source>设备：</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>范围：</source>
        <translation>Range:</translation>
    </message>
    <message>
        <source>无法读取历史记录：%1</source>
        <translation>Cannot read the history: %1</translation>
    </message>
    <message>
        <source>警报 %1</source>
        <translation>Alarm %1</translation>
    </message>
    <message>
        <source>每分钟的最小值和最大值</source>
        <translation>minimum and maximum of each minute</translation>
    </message>
    <message>
        <source>没有历史记录</source>
        <translation>No history</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>导出图片</source>
        <translation>Export picture</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG pictures (*.png)</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>Cannot write %1</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>本地时间</source>
        <translation>Local time</translation>
    </message>
    <message>
        <source>时间的时区</source>
        <translation>The zone the times are shown in</translation>
    </message>
    <message>
        <source>纵轴：</source>
        <translation>Axis:</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>最小 </source>
        <translation>min </translation>
    </message>
    <message>
        <source>最大 </source>
        <translation>max </translation>
    </message>
    <message>
        <source>时间 (%1)</source>
        <translation>Time (%1)</translation>
    </message>
    <message>
        <source>趋势 %1</source>
        <translation>Trend %1</translation>
    </message>
    <message>
        <source>警报</source>
        <translation>Alarms</translation>
    </message>
</context>
<context>
    <name>TrafficLogAlerts</name>
    <message>
        <source>通讯记录文件 %1 写入失败：%2</source>
        <translation>Traffic log %1 cannot be written: %2</translation>
    </message>
    <message>
        <source>无法写入通讯记录文件 %1。</source>
        <translation>The traffic log %1 cannot be written.</translation>
    </message>
    <message>
        <source>%1

在写入恢复之前，通讯记录会丢失；恢复后，文件里有一行写明丢失了多少条（&quot;log lost 条数&quot;）。状态栏显示当前的情况；该文件被移走或删除，或面板收到 SIGHUP 时，会重新打开该文件。</source>
        <translation>%1

Traffic records are lost until writing works again; the log then gets a line saying how many (&quot;log lost COUNT&quot;). The status bar shows how it stands. The file is opened again when it is moved away or deleted, or when the panel receives SIGHUP.</translation>
    </message>
    <message>
        <source>通讯记录文件 %1 恢复写入；丢失的记录：%2 条</source>
        <translation>Traffic log %1 written again; records lost: %2</translation>
    </message>
</context>
<context>
    <name>TrafficText</name>
    <message>
        <source>已发送</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>发送失败</source>
        <translation>Not sent</translation>
    </message>
    <message>
        <source>已接收</source>
        <translation>Accepted</translation>
    </message>
    <message>
        <source>已确认</source>
        <translation>Confirmed</translation>
    </message>
    <message>
        <source>异常应答</source>
        <translation>Exception</translation>
    </message>
    <message>
        <source>CRC错误</source>
        <translation>CRC error</translation>
    </message>
    <message>
        <source>地址不符</source>
        <translation>Wrong address</translation>
    </message>
    <message>
        <source>杂散字节</source>
        <translation>Stray bytes</translation>
    </message>
    <message>
        <source>功能码不符</source>
        <translation>Wrong function</translation>
    </message>
    <message>
        <source>字节数不符</source>
        <translation>Wrong byte count</translation>
    </message>
    <message>
        <source>帧不完整</source>
        <translation>Short frame</translation>
    </message>
    <message>
        <source>非预期</source>
        <translation>Unexpected</translation>
    </message>
    <message>
        <source>回送不符</source>
        <translation>Echo differs</translation>
    </message>
    <message>
        <source>超长截断</source>
        <translation>Oversize</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No reply</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Tx</translation>
    </message>
    <message>
        <source>接收</source>
        <translation>Rx</translation>
    </message>
    <message>
        <source>缺失</source>
        <translation>Missing</translation>
    </message>
</context>
</TS>
