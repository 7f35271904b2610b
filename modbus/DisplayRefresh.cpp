#include "DisplayRefresh.h"

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
    DisplayValues v;
    v.inputQuantity = reg(10) / 10.0;
    v.outputQuantity = reg(11) / 10.0;
    v.inputSetting = reg(0) / 100.0;
    v.temperature = reg(12);
    const bool running = (reg(3) & 1) != 0;
    v.switchCaption = running ? QStringLiteral("STOP") : QStringLiteral("RUN");
    v.switchColor = running ? kDisplayLime : kDisplayRed;
    const qint32 alarms = reg(13);
    for (int k = 0; k < 9; ++k)
        v.alarmColors[k] = (alarms >> k) & 1 ? kDisplayRed : kDisplayLime;
    v.maxOutput = reg(4) / 10.0;
    v.minOutput = reg(5) / 10.0;
    for (int i = 0; i < 4; ++i)
        v.phaseCurrentsAndVolts[i] = reg(20 + i) / 10.0;
    v.gaugeFullScale = reg(15) / 10.0;
    v.gaugePosition = reg(23) / 10.0;
    return v;
}
