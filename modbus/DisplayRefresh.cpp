#include "DisplayRefresh.h"

#include "Quantities.h"

#include <cfenv>
#include <cmath>

quint16 KnobWriteValue(double position) {
    if (!std::isfinite(position))
        return 0;
    // nearbyint rounds in the current mode, which is to nearest with halves to even unless changed.
    const int savedMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(position);
    std::fesetround(savedMode);
    // fmod keeps the low 16 bits of values beyond any integer type without overflow.
    double low = std::fmod(rounded, 65536.0);
    if (low < 0)
        low += 65536.0;
    return static_cast<quint16>(low);
}

std::optional<SwitchCommand> SwitchCommandFor(const QString& caption) {
    // The memo shows the decimal text cut to the memo's seven characters.
    if (caption == u"STOP")
        return SwitchCommand{1, QString::number(1111).left(7)};
    if (caption == u"RUN")
        return SwitchCommand{0, QString::number(3333).left(7)};
    return std::nullopt;
}

DisplayValues ComputeDisplay(const std::function<qint32(int)>& reg) {
    const auto shown = [&reg](Quantity q) { return ScaledValue(q, reg(Info(q).reg)); };
    DisplayValues v;
    v.inputQuantity = shown(Quantity::InputQuantity);
    v.outputQuantity = shown(Quantity::OutputQuantity);
    v.inputSetting = shown(Quantity::InputSetting);
    v.temperature = shown(Quantity::Temperature);
    const bool running = shown(Quantity::Run) != 0;
    v.switchCaption = running ? QStringLiteral("STOP") : QStringLiteral("RUN");
    v.switchColor = running ? kDisplayLime : kDisplayRed;
    const qint32 alarms = reg(Info(Quantity::Alarms).reg);
    for (int k = 0; k < kAlarmCount; ++k)
        v.alarmColors[size_t(k)] = (alarms >> k) & 1 ? kDisplayRed : kDisplayLime;
    v.maxOutput = shown(Quantity::MaxOutput);
    v.minOutput = shown(Quantity::MinOutput);
    const Quantity phasesAndVolts[4] = {Quantity::CurrentR, Quantity::CurrentS, Quantity::CurrentT,
                                        Quantity::Voltage};
    for (int i = 0; i < 4; ++i)
        v.phaseCurrentsAndVolts[size_t(i)] = shown(phasesAndVolts[i]);
    v.gaugeFullScale = shown(Quantity::FullScale);
    v.gaugePosition = shown(Quantity::Voltage);
    return v;
}
