#include "SimLine.h"

#include "Z7Model.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 247;

// One number of a list, the whole of `text`; false when it is not one.
bool parseNumber(const std::string& text, long* out) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0')
        return false;
    *out = v;
    return true;
}

bool fail(std::string* error, std::string why) {
    if (error)
        *error = std::move(why);
    return false;
}

// "N" or "N-M" into `out`.
bool parseItem(const std::string& item, std::vector<int>* out, std::string* error) {
    if (item.empty())
        return fail(error, "an empty item");
    const std::size_t dash = item.find('-');
    const std::string first = item.substr(0, dash);
    const std::string last = dash == std::string::npos ? first : item.substr(dash + 1);
    long lo = 0, hi = 0;
    if (!parseNumber(first, &lo) || !parseNumber(last, &hi))
        return fail(error, "'" + item + "' is neither an address nor a range N-M");
    for (const long v : {lo, hi})
        if (v < kFirstAddress || v > kLastAddress)
            return fail(error, std::to_string(v) + " is not an address from 1 to 247");
    if (hi < lo)
        return fail(error, "the range " + item + " runs backwards");
    for (long a = lo; a <= hi; ++a)
        out->push_back(static_cast<int>(a));
    return true;
}

} // namespace

std::vector<int> ParseAddressList(const std::string& text, std::string* error) {
    std::vector<int> addresses;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        if (!parseItem(text.substr(from, comma - from), &addresses, error))
            return {};
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    std::sort(addresses.begin(), addresses.end());
    const auto twice = std::adjacent_find(addresses.begin(), addresses.end());
    if (twice != addresses.end()) {
        fail(error, "address " + std::to_string(*twice) + " is given twice");
        return {};
    }
    return addresses;
}

std::string FormatAddressList(const std::vector<int>& addresses) {
    std::string text;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1)
            ++j;
        if (!text.empty())
            text += ',';
        text += std::to_string(addresses[i]);
        if (j > i)
            text += (j == i + 1 ? "," : "-") + std::to_string(addresses[j]);
        i = j + 1;
    }
    return text;
}

std::uint64_t DeviceSeed(std::uint64_t seed, int address) {
    // One splitmix step over the seed moved by the address: neighbouring addresses and neighbouring
    // seeds still give unrelated noise.
    return SimRandom(seed ^ (static_cast<std::uint64_t>(address) << 32)).next();
}

std::chrono::nanoseconds CharacterTime(int baud, int dataBits, char parity, int stopBits) {
    const int bits = 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits;
    return std::chrono::nanoseconds(static_cast<std::int64_t>(bits) * 1000000000 / baud);
}
