// Random property texts for the widgets the panel places, through the one reader behind property files
// and the window layout. A text is either refused as a whole, leaving the widget as it was, or taken;
// what the widget then writes out must read back into a fresh widget and come out the same.
#include "iAnalogDisplay.h"
#include "iAnalogOutput.h"
#include "iKnob.h"
#include "iLabel.h"
#include "iLedBar.h"
#include "iLedRound.h"
#include "iLinearGauge.h"
#include "iSwitchLed.h"
#include "iThermometer.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void Require(bool condition, const char* what, const QStringList& lines = {}) {
    if (!condition) {
        std::fprintf(stderr, "property reader broke its contract: %s\n", what);
        for (const QString& l : lines)
            std::fprintf(stderr, "  %s\n", l.toUtf8().constData());
        std::abort();
    }
}

std::unique_ptr<TiComponent> Make(unsigned kind) {
    switch (kind % 9) {
    case 0:
        return std::make_unique<TiKnob>();
    case 1:
        return std::make_unique<TiLedBar>();
    case 2:
        return std::make_unique<TiThermometer>();
    case 3:
        return std::make_unique<TiLinearGauge>();
    case 4:
        return std::make_unique<TiSwitchLed>();
    case 5:
        return std::make_unique<TiLedRound>();
    case 6:
        return std::make_unique<TiLabel>();
    case 7:
        return std::make_unique<TiAnalogDisplay>();
    default:
        return std::make_unique<TiAnalogOutput>();
    }
}

// Loads lines; false when the reader refused them. Only the reader's own refusal may come out.
bool Load(TiComponent& w, const QStringList& lines) {
    try {
        w.LoadProperties(lines);
        return true;
    } catch (const EiError&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QStringList lines =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)).split('\n');
    auto w = Make(data[0]);
    const QStringList before = w->SaveProperties();
    if (!Load(*w, lines)) {
        Require(w->SaveProperties() == before, "a refused text changed the widget", lines);
        return 0;
    }
    const QStringList saved = w->SaveProperties();
    auto fresh = Make(data[0]);
    // A gauge without pointers writes no list, so it reads back only into a gauge that has none either
    // (a new one starts with one).
    if (auto* gauge = qobject_cast<TiLinearGauge*>(w.get()); gauge && gauge->Pointers().Count() == 0)
        static_cast<TiLinearGauge*>(fresh.get())->Pointers().Clear();
    Require(Load(*fresh, saved), "the reader refused what the widget wrote", saved);
    Require(fresh->SaveProperties() == saved, "written properties did not read back the same", saved);
    return 0;
}
