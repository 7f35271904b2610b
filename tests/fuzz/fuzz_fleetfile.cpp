// Random texts for the fleet file reader: it refuses a text with a place inside the text, or gives a
// fleet within the file's ranges that is written and read back unchanged. The position finder is also
// run on the raw text, which need not be JSON at all.
#include "FleetFile.h"
#include "JsonPositions.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fleet file reader broke its contract: %s\n", what);
        std::abort();
    }
}

bool Sound(const Fleet& fleet) {
    if (fleet.lines.isEmpty())
        return false;
    for (const FleetLine& line : fleet.lines) {
        if (line.id.isEmpty() || line.port.isEmpty() || line.devices.isEmpty())
            return false;
        if (line.timeoutMs < kFleetMinTimeoutMs || line.timeoutMs > kFleetMaxTimeoutMs ||
            line.gapMs < kFleetMinGapMs || line.gapMs > kFleetMaxGapMs)
            return false;
        for (const FleetDevice& device : line.devices)
            if (device.address < kFleetMinAddress || device.address > kFleetMaxAddress ||
                device.name.isEmpty() || device.name.size() > kFleetMaxNameLength)
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    const JsonPositions positions(json);
    Require(positions.ValueOffset({}) <= json.size(), "the top value lies beyond the text");

    FleetError error;
    const std::optional<Fleet> fleet = ReadFleet(json, &error);
    if (!fleet) {
        const TextPosition end = PositionAt(json, json.size());
        Require(!error.what.isEmpty(), "a refusal without a reason");
        Require(error.line >= 1 && error.column >= 1, "a refusal without a place");
        Require(error.line < end.line || (error.line == end.line && error.column <= end.column),
                "a refusal placed beyond the text");
        return 0;
    }
    Require(Sound(*fleet), "a fleet outside the file's ranges");
    const QByteArray written = WriteFleet(*fleet);
    const std::optional<Fleet> again = ReadFleet(written, &error);
    Require(again.has_value(), "a written fleet is refused");
    Require(*again == *fleet, "a written fleet reads back otherwise");
    Require(WriteFleet(*again) == written, "writing is not stable");
    return 0;
}
