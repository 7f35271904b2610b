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
        <source>用法: %1 [--port 端口] [--traffic-log 文件] [--lang zh|en]
  --port 端口         预设串口，例如 /dev/ttyUSB0，或串口服务器的 TCP 端口：
                      tcp://主机:端口（IPv6 地址放在方括号里）
  --traffic-log 文件  把每个请求、每个应答和每个缺失的应答追加到文件，每条一行：
                      时间 (UTC)、方向 tx/rx/--、判定、字节
  --lang zh|en        界面语言：中文或英文（默认：窗口里上次选的语言，
                      否则按系统的语言）
  --help              显示本说明
  --version           显示版本
</source>
        <translation>usage: %1 [--port NAME] [--traffic-log FILE] [--lang zh|en]
  --port NAME         preset the serial port, e.g. /dev/ttyUSB0, or a serial device
                      server's TCP port: tcp://HOST:PORT (IPv6 in brackets)
  --traffic-log FILE  append every request, every reply and every missing answer to FILE,
                      one line each: time (UTC), direction tx/rx/--, verdict, bytes
  --lang zh|en        the window's language: Chinese or English (default: the one last
                      chosen in the window, else the system's)
  --help              show this text
  --version           show the version
</translation>
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
</context>
<context>
    <name>TMainWindow</name>
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
