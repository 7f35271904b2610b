// Random marked input for the receive thread's decoder, cut into reads the way the port's Read cuts
// it (each read at most the room left, a lone 0xFF held over when it produced one byte too many). The
// bytes handed on and the error flags must equal a plain decoding of the whole stream in one go.
#include "PosixCommPort.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "marked-input decoding broke its contract: %s\n", what);
        std::abort();
    }
}

// Whole-stream reading of the kernel's marks: FF FF is FF, FF 00 00 a break, FF 00 c the byte c with
// an error, FF followed by anything else is FF and that byte. An unfinished mark at the end yields
// nothing yet.
std::vector<char> Reference(const std::vector<unsigned char>& in, const TParmrkDecoder::TOptions& o,
                            quint32& flags) {
    std::vector<char> out;
    auto data = [&](unsigned char c) {
        if (!(o.IgnoreNull && c == 0))
            out.push_back(char(c));
    };
    for (size_t i = 0; i < in.size();) {
        if (in[i] != 0xFF) {
            data(in[i++]);
        } else if (i + 1 >= in.size()) {
            break;
        } else if (in[i + 1] == 0xFF) {
            out.push_back(char(0xFF));
            i += 2;
        } else if (in[i + 1] != 0) {
            out.push_back(char(0xFF));
            i += 1;
        } else if (i + 2 >= in.size()) {
            break;
        } else if (in[i + 2] == 0) {
            flags |= CE_BREAK;
            i += 3;
        } else {
            flags |= CE_RXPARITY | CE_FRAME; // the mark does not tell the two apart
            out.push_back(o.ReplaceErrors ? o.ErrorChar : char(in[i + 2]));
            i += 3;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const TParmrkDecoder::TOptions options{bool(data[0] & 1), bool(data[0] & 2), char(data[1])};
    // Each input byte below 0x10 at an even position, when followed by another, sets the next read's
    // room; the rest is the stream. Small rooms make the held-over byte happen often.
    std::vector<unsigned char> stream;
    std::vector<quint32> rooms;
    for (size_t i = 2; i < size; ++i) {
        if (data[i] < 0x10 && (i & 1) == 0 && i + 1 < size)
            rooms.push_back(1u + data[++i] % 16);
        else
            stream.push_back(data[i]);
    }
    if (rooms.empty())
        rooms.push_back(64);

    TParmrkDecoder decoder;
    quint32 flags = 0;
    std::vector<char> got;
    size_t pos = 0, r = 0;
    // Like the port's Read: the held byte first, then at most the room left is read from the line.
    while (pos < stream.size() || decoder.HasHeld()) {
        const quint32 capacity = rooms[r++ % rooms.size()];
        std::vector<char> buffer(capacity + 1, '\x5A');
        quint32 n = 0;
        if (decoder.HasHeld())
            n = decoder.Decode(nullptr, 0, buffer.data(), capacity, options, flags);
        const quint32 take = quint32(std::min<size_t>(capacity - n, stream.size() - pos));
        if (take > 0) {
            n += decoder.Decode(reinterpret_cast<const char*>(stream.data() + pos), take, buffer.data() + n,
                                capacity - n, options, flags);
            pos += take;
        }
        Require(n <= capacity, "decoded past the room it was given");
        Require(buffer[capacity] == '\x5A', "wrote past the room it was given");
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    }
    quint32 expectedFlags = 0;
    Require(got == Reference(stream, options, expectedFlags), "bytes differ from the line's");
    Require(flags == expectedFlags, "line-error flags differ");
    return 0;
}
