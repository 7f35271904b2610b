#include "HistoryTypes.h"

namespace {

constexpr std::array<const char*, kEventKindCount> kKeywords = {"alarm-set",
                                                                "alarm-clear",
                                                                "run",
                                                                "stop",
                                                                "command",
                                                                "command-confirmed",
                                                                "command-refused",
                                                                "command-unanswered",
                                                                "port-open",
                                                                "port-close",
                                                                "port-vanished",
                                                                "link-lost",
                                                                "link-restored",
                                                                "recording-started",
                                                                "recording-stopped",
                                                                "state-at-start"};

} // namespace

const char* EventKindKeyword(EventKind kind) {
    return kKeywords[size_t(kind)];
}

std::optional<EventKind> EventKindFromKeyword(QStringView keyword) {
    for (int i = 0; i < kEventKindCount; ++i)
        if (keyword == QLatin1String(kKeywords[size_t(i)]))
            return EventKind(i);
    return std::nullopt;
}
