#pragma once
// What a real serial driver answers and a pseudo-terminal does not: the line's error counters
// (TIOCGICOUNT, failing with EIO once the terminal is hung up, as every ioctl of a vanished device does),
// an RS-485 mode (TIOCGRS485 / TIOCSRS485) and, on request, the refusal of rates without a standard
// constant. The port layer's own calls are answered for the one terminal device attached, so its code
// for real ports runs against the real bytes and timing of a pseudo-terminal. Other calls pass through.

#include <QtGlobal>

class TSerialDriverDouble {
public:
    // Answers for the terminal device that fd is open on, until destroyed.
    explicit TSerialDriverDouble(int fd);
    ~TSerialDriverDouble();
    TSerialDriverDouble(const TSerialDriverDouble&) = delete;
    TSerialDriverDouble& operator=(const TSerialDriverDouble&) = delete;

    // Without RS-485 support the two calls answer ENOTTY, as most drivers do.
    void SetRs485Supported(bool supported);
    void SetRs485Flags(quint32 flags);
    quint32 Rs485Flags() const;
    int Rs485Writes() const;
    void RefuseCustomRates(bool refuse);
    int RefusedRates() const;
};

// The input and output speed that the kernel holds for the terminal, in baud; false when unreadable.
bool LineSpeeds(int fd, quint32& input, quint32& output);
