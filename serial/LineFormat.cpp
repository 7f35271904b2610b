#include "LineFormat.h"

#include <iterator>

namespace {

constexpr struct {
    const char16_t* text;
    LineFormat format;
} kLineFormats[] = {{u"8_N_2", {TComm::None, TComm::_2}},
                    {u"8_E_1", {TComm::Even, TComm::_1}},
                    {u"8_O_1", {TComm::Odd, TComm::_1}}};

constexpr quint32 kBaudRates[] = {4800, 9600, 19200, 38400};

} // namespace

QList<quint32> BaudRateChoices() {
    return QList<quint32>(std::begin(kBaudRates), std::end(kBaudRates));
}

QStringList LineFormatChoices() {
    QStringList texts;
    for (const auto& f : kLineFormats)
        texts.append(QString::fromUtf16(f.text));
    return texts;
}

std::optional<LineFormat> LineFormatFromText(const QString& text) {
    for (const auto& f : kLineFormats)
        if (text == QStringView(f.text))
            return f.format;
    return std::nullopt;
}

QString LineFormatText(TComm::TParity parity, TComm::TStopBits stopBits) {
    for (const auto& f : kLineFormats)
        if (f.format.parity == parity && f.format.stopBits == stopBits)
            return QString::fromUtf16(f.text);
    return {};
}

void ApplyLineFormat(TComm& comm, const LineFormat& format) {
    const bool parityChanged = comm.Parity() != format.parity;
    comm.SetParity(format.parity);
    // The format reaches an open line at once, so the line never runs on a format the box no longer
    // shows. A stop-bit change rewrites the whole record, parity included.
    if (comm.StopBits() != format.stopBits)
        comm.SetStopBits(format.stopBits);
    else if (parityChanged && comm.IsOpen())
        comm.ApplyLineSettings();
}
