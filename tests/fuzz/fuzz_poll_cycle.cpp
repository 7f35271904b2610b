// Drives the poll cycle with a random script of ticks, operator commands, write time-outs and received
// chunks, and checks every delivery against a reply test written out here independently: the register
// image changes only when an accepted reply to the read request awaited arrives, and then holds exactly
// that reply's values.
#include "PollCycle.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

quint16 BitwiseCrc(const quint8* data, size_t count) {
    quint16 crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "poll cycle broke its contract: %s\n", what);
        std::abort();
    }
}

struct Reader {
    const quint8* data;
    size_t size;
    size_t pos = 0;
    bool Empty() const { return pos >= size; }
    quint8 Byte() { return pos < size ? data[pos++] : 0; }
};

class Harness {
public:
    Harness()
        : m_cycle({[this](const char* data, quint16 length) {
                       if (!m_portOpen)
                           return false;
                       m_lastSent.assign(data, data + length);
                       return true;
                   },
                   [](int) {}}) {}

    void Run(Reader& in) {
        m_address = in.Byte() % 4; // a few addresses, so replies from other slaves occur often
        while (!in.Empty()) {
            const quint8 op = in.Byte();
            switch (op % 6) {
            case 0:
                Tick(op & 0x08, in.Byte() % 4);
                break;
            case 1:
                m_portOpen = op & 0x08;
                break;
            case 2:
                Command(in, op & 0x08);
                break;
            case 3:
                m_cycle.WriteTimeoutStep();
                break;
            case 4: { // a chunk of raw bytes
                const size_t length = std::min<size_t>(in.Byte() | (op & 0xE0) << 3, in.size - in.pos);
                Deliver(std::vector<quint8>(in.data + in.pos, in.data + in.pos + length));
                in.pos += length;
                break;
            }
            case 5: // a well-formed reply, possibly altered in one byte, so that acceptance is reached
                Deliver(MadeReply(in, op));
                break;
            }
        }
    }

private:
    void Tick(bool commTicked, quint8 address) {
        const bool polls = commTicked && m_cycle.WritePending() == 0;
        m_lastSent.clear();
        // A tick gives up the read request before it, answered or not.
        m_readAddress.reset();
        const CommLamp lamp = m_cycle.Tick(commTicked, address);
        if (!polls) {
            Require(m_lastSent.empty() && lamp == CommLamp::Unlit, "a tick that must not poll sent or lit");
            return;
        }
        if (m_portOpen) {
            Require(m_lastSent.size() == 8 && m_lastSent[0] == address && m_lastSent[1] == 0x03 &&
                        m_lastSent[3] == m_cycle.PollPhase() * 10 && m_lastSent[5] == 10,
                    "wrong read request");
            Require(BitwiseCrc(m_lastSent.data(), 8) == 0, "read request CRC");
            m_readAddress = address;
        } else {
            Require(lamp == CommLamp::Unlit, "a refused request left the lamp lit");
        }
        Require(lamp != CommLamp::Lit, "a tick lit the lamp");
    }

    void Command(Reader& in, bool send) {
        const quint8 reg = in.Byte();
        const quint16 value = quint16(in.Byte() << 8 | in.Byte());
        m_cycle.SetWriteCommand(reg, value);
        m_echo.reset();
        if (!send)
            return;
        m_lastSent.clear();
        if (m_cycle.SendWriteRequest(m_address) == CommLamp::Unchanged) {
            // The write on the line is the request awaited now.
            m_echo = m_lastSent;
            m_readAddress.reset();
        }
        Require(m_echo || !m_portOpen, "an open port refused a write");
    }


    std::vector<quint8> MadeReply(Reader& in, quint8 op) {
        std::vector<quint8> r{quint8(op & 0x40 ? m_address : in.Byte()), 0x03, 20};
        for (int i = 0; i < 20; ++i)
            r.push_back(in.Byte());
        const quint16 crc = BitwiseCrc(r.data(), r.size());
        r.push_back(quint8(crc & 0xFF));
        r.push_back(quint8(crc >> 8));
        if (op & 0x80)
            r[in.Byte() % r.size()] ^= quint8(1 + in.Byte() % 255);
        return r;
    }

    bool ExpectAccepted(const std::vector<quint8>& d) const {
        return m_readAddress && d.size() >= 25 && d[0] == *m_readAddress && d[1] == 0x03 && d[2] == 20 &&
               BitwiseCrc(d.data(), 23) == (d[23] | d[24] << 8);
    }

    // An exception reply of the slave asked, which ends the wait for its answer as an accepted reply does.
    bool ExpectException(const std::vector<quint8>& d) const {
        return m_readAddress && d.size() >= 5 && d[0] == *m_readAddress && d[1] == 0x83 &&
               BitwiseCrc(d.data(), 3) == (d[3] | d[4] << 8);
    }

    void Deliver(const std::vector<quint8>& d) {
        const auto before = m_cycle.Image();
        const bool pending = m_cycle.WritePending() != 0;
        const quint8 phase = m_cycle.PollPhase();
        const quint8 answered = m_cycle.BlockAnswered();
        const bool accepted = !pending && ExpectAccepted(d);
        const bool echoed =
            pending && m_echo && d.size() >= 8 && std::memcmp(d.data(), m_echo->data(), 8) == 0;

        const CommLamp lamp = m_cycle.Receive(reinterpret_cast<const char*>(d.data()), quint16(d.size()));

        const auto& buffer = m_cycle.ReceiveBuffer();
        for (quint8 b : buffer)
            Require(b == 0, "receive buffer not cleared");
        Require(m_cycle.PollPhase() == phase, "a delivery moved the poll phase");
        // A delivery after a command is its answer, or ends it when it never went out; either way no
        // request is awaited after it.
        if (pending) {
            m_readAddress.reset();
            Require(m_cycle.WritePending() == 0, "a delivery left the write pending");
            Require(m_cycle.Image() == before, "a write reply changed the image");
            Require(m_cycle.BlockAnswered() == answered, "a write reply answered the block");
            Require(lamp == (echoed ? CommLamp::Lit : CommLamp::Unlit), "lamp after a write reply");
            m_echo.reset();
            return;
        }
        Require(lamp == (accepted ? CommLamp::Lit : CommLamp::Unlit), "lamp after a read reply");
        if (ExpectException(d))
            m_readAddress.reset();
        if (!accepted) {
            Require(m_cycle.Image() == before, "a rejected delivery changed the image");
            Require(m_cycle.BlockAnswered() == answered, "a rejected delivery answered the block");
            return;
        }
        Require(m_cycle.BlockAnswered() == 1, "an accepted reply did not answer the block");
        m_readAddress.reset();
        static constexpr int kFirst[3] = {0, 10, 20};
        for (int reg = 0; reg < 30; ++reg) {
            if (!PollCycle::IsKeptRegister(reg))
                continue;
            const int i = reg - kFirst[phase];
            const bool inBlock = i >= 0 && i < 10;
            const int index = reg <= 15 ? reg : reg - 4;
            const qint32 expected =
                inBlock ? qint32(d[size_t(3 + 2 * i)] << 8 | d[size_t(4 + 2 * i)]) : before[size_t(index)];
            Require(m_cycle.Register(reg) == expected, "register image differs from the accepted reply");
        }
    }

    PollCycle m_cycle;
    bool m_portOpen = true;
    quint8 m_address = 1;
    // The slave of the read request awaited, if one is.
    std::optional<quint8> m_readAddress;
    std::optional<std::vector<quint8>> m_echo;
    std::vector<quint8> m_lastSent;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    Harness harness;
    harness.Run(in);
    return 0;
}
