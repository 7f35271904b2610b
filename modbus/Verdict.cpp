#include "Verdict.h"

#include <array>

namespace {

constexpr std::array<const char*, kVerdictCount> kKeywords = {
    "sent",     "refused", "accepted", "confirmed",  "exception", "crc",      "address", "noise",
    "function", "count",   "short",    "unexpected", "echo",      "oversize", "noreply"};

} // namespace

const char* VerdictKeyword(Verdict verdict) {
    return kKeywords[size_t(verdict)];
}

std::optional<Verdict> VerdictFromKeyword(QStringView keyword) {
    for (int i = 0; i < kVerdictCount; ++i)
        if (keyword == QLatin1String(kKeywords[size_t(i)]))
            return Verdict(i);
    return std::nullopt;
}

bool IsProblem(Verdict verdict) {
    switch (verdict) {
    case Verdict::Sent:
    case Verdict::Accepted:
    case Verdict::Confirmed:
        return false;
    default:
        return true;
    }
}

QString ModbusExceptionName(quint8 code) {
    switch (code) {
    case 0x01:
        return QStringLiteral("ILLEGAL FUNCTION");
    case 0x02:
        return QStringLiteral("ILLEGAL DATA ADDRESS");
    case 0x03:
        return QStringLiteral("ILLEGAL DATA VALUE");
    case 0x04:
        return QStringLiteral("SERVER DEVICE FAILURE");
    case 0x05:
        return QStringLiteral("ACKNOWLEDGE");
    case 0x06:
        return QStringLiteral("SERVER DEVICE BUSY");
    case 0x08:
        return QStringLiteral("MEMORY PARITY ERROR");
    case 0x0A:
        return QStringLiteral("GATEWAY PATH UNAVAILABLE");
    case 0x0B:
        return QStringLiteral("GATEWAY TARGET DEVICE FAILED TO RESPOND");
    default:
        return {};
    }
}
