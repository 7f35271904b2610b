#include "TextToInt.h"

std::int32_t TextToInt(const QString& text) {
    const qsizetype n = text.size();
    qsizetype p = 0;
    while (p < n && text[p] == u' ')
        ++p;
    bool negative = false;
    if (p < n && (text[p] == u'-' || text[p] == u'+')) {
        negative = text[p] == u'-';
        ++p;
    }
    unsigned base = 10;
    if (p < n && (text[p] == u'$' || text[p] == u'x' || text[p] == u'X')) {
        base = 16;
        ++p;
    } else if (p + 1 < n && text[p] == u'0' && (text[p + 1] == u'x' || text[p + 1] == u'X')) {
        base = 16;
        p += 2;
    }
    // Unsigned arithmetic wraps by definition, which gives the documented modulo-2^32 result.
    std::uint32_t value = 0;
    for (; p < n; ++p) {
        const char16_t c = text[p].unicode();
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        value = value * base + digit;
    }
    if (negative && p == n)
        value = 0u - value;
    return static_cast<std::int32_t>(value);
}
