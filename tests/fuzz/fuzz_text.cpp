// Random texts for the two lenient converters: HexTextToBytes (request text back to bytes) and
// TextToInt (address and baud-rate boxes). Each result is compared with a plain reference reading of
// the same rules; byte strings must also survive the hex-text round trip that every request takes.
#include "ModbusFrame.h"
#include "TextToInt.h"

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "text conversion broke its contract: %s\n", what);
        std::abort();
    }
}

int Digit(char16_t c, int base) {
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c - u'A' + 10;
    return v < base ? v : -1;
}

QByteArray ReferenceHex(const QString& s) {
    QByteArray out;
    qsizetype i = 0;
    for (;;) {
        while (i < s.size() && Digit(s[i].unicode(), 16) < 0)
            ++i;
        if (i >= s.size())
            return out;
        const int first = Digit(s[i].unicode(), 16);
        const int second = i + 1 < s.size() ? Digit(s[i + 1].unicode(), 16) : -1;
        out.append(char(second < 0 ? first : first * 16 + second));
        i += 2;
    }
}

qint32 ReferenceTextToInt(const QString& s) {
    qsizetype i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    const bool minus = i < s.size() && s[i] == u'-';
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+'))
        ++i;
    int base = 10;
    const QStringView rest = QStringView(s).mid(i);
    for (const QStringView prefix : {u"0x", u"0X", u"$", u"x", u"X"}) {
        if (rest.startsWith(prefix)) {
            base = 16;
            i += prefix.size();
            break;
        }
    }
    quint64 value = 0;
    while (i < s.size() && Digit(s[i].unicode(), base) >= 0)
        value = (value * quint64(base) + quint64(Digit(s[i++].unicode(), base))) % (quint64(1) << 32);
    if (minus && i == s.size())
        value = ((quint64(1) << 32) - value) % (quint64(1) << 32);
    return qint32(quint32(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    switch (data[0] % 3) {
    case 0: { // as typed text
        const QString s = QString::fromUtf8(text, length);
        const QByteArray bytes = HexTextToBytes(s);
        Require(bytes == ReferenceHex(s), "HexTextToBytes differs from the reference");
        Require(TextToInt(s) == ReferenceTextToInt(s), "TextToInt differs from the reference");
        break;
    }
    case 1: { // any UTF-16, including characters beyond Latin-1 that look like digits
        std::u16string units(size_t(length / 2), u'\0');
        std::memcpy(units.data(), text, units.size() * 2); // the input need not be aligned for char16_t
        const QString s = QString::fromStdU16String(units);
        Require(HexTextToBytes(s) == ReferenceHex(s), "HexTextToBytes differs on UTF-16 text");
        Require(TextToInt(s) == ReferenceTextToInt(s), "TextToInt differs on UTF-16 text");
        break;
    }
    case 2: { // raw bytes through the request's hex-text round trip
        const auto* bytes = reinterpret_cast<const quint8*>(text);
        const QString hex = BytesToHexText(bytes, length);
        Require(hex.size() == 2 * length, "hex text length");
        Require(HexTextToBytes(hex) == QByteArray(text, length), "hex text round trip lost bytes");
        break;
    }
    }
    return 0;
}
