#pragma once
// The operator's commands and the display tick as plain values: which register a command writes with
// which value, and what each widget gets from the register image at a tick. TForm1 only moves these
// values between the widgets and the poll cycle.

#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <optional>

// Registers the commands write.
constexpr quint8 kInputSettingRegister = 0; // iKnob1
constexpr quint8 kRunStopRegister = 3;      // iSwitchLed1
constexpr quint8 kMaxOutputRegister = 4;    // iKnob2
constexpr quint8 kMinOutputRegister = 5;    // iKnob3

// Colours of the display: red in the low byte, green in the next.
constexpr quint32 kDisplayRed = 255;
constexpr quint32 kDisplayLime = 65280;

// A knob's position as the register value it writes: nearest integer, an exact half to the even
// neighbour, then the low 16 bits (the device register is 16 bits wide).
quint16 KnobWriteValue(double position);

// The switch's command, decided by the caption it shows when toggled.
struct SwitchCommand {
    quint16 value;
    QString memoText;
};
// "STOP" writes 1 (start the device), "RUN" writes 0; any other caption is no command.
std::optional<SwitchCommand> SwitchCommandFor(const QString& caption);

// Everything one display tick puts on the widgets, in the tick's order of steps.
struct DisplayValues {
    double inputQuantity = 0;  // register 10 / 10: iAnalogOutput3, then iLedBar1
    double outputQuantity = 0; // register 11 / 10: iAnalogOutput4, then iLedBar2
    double inputSetting = 0;   // register 0 / 100: iAnalogOutput2
    double temperature = 0;    // register 12: iThermometer1, then iAnalogOutput1
    // step 5 is the write time-out of the poll cycle
    QString switchCaption;                         // register 3 bit 0: "STOP" when set, "RUN" when clear
    quint32 switchColor = 0;                       // lime when set, red when clear
    std::array<quint32, 9> alarmColors{};          // register 13 bit k: iLedRound(k + 1), red when set
    double maxOutput = 0;                          // register 4 / 10: iAnalogDisplay5
    double minOutput = 0;                          // register 5 / 10: iAnalogDisplay6
    std::array<double, 4> phaseCurrentsAndVolts{}; // registers 20..23 / 10: iAnalogDisplay1..4
    double gaugeFullScale = 0;                     // register 15 / 10: PositionMax of iLinearGauge1
    double gaugePosition = 0; // register 23 / 10: Position of iLinearGauge1, after its full scale
};

// The display values of a register image; `reg` gives a register's content, 0 to 65535.
DisplayValues ComputeDisplay(const std::function<qint32(int)>& reg);
