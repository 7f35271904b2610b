#pragma once
// The bus scan: which slave addresses, on which line settings, answer the panel's own read request for
// block 0. No window, port or timer here: the caller sends Request(), tells the scan whether the port
// took it, hands it every delivered chunk and tells it when the wait for the answer has run out. Every
// step returns the traffic record it makes, with the poll cycle's verdict on the bytes.

#include "ModbusFrame.h"
#include "Traffic.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class BusScan {
public:
    // One try: a slave address on a baud rate and a format as the format box writes it ("8_E_1").
    struct Probe {
        quint8 address = 0;
        quint32 baudRate = 0;
        QString format;
        bool operator==(const Probe&) const = default;
    };
    // A device that answered. Accepted: a read reply the poll cycle would store. Exception: an exception
    // reply, which proves a device at that address and on that line even though it refused the read.
    // Any other verdict: only bytes that make no good reply came back by the end of the wait (the
    // first of them judged so): something may answer there, on another baud rate or format.
    struct Answer {
        Probe probe;
        Verdict verdict = Verdict::Accepted;
        quint8 exceptionCode = 0;
        qint64 responseUs = 0; // request handed to the port to delivery, the silence interval included
    };
    enum class End {
        None,      // still running
        Completed, // every probe was tried
        Cancelled, // stopped by the operator
        Refused,   // the port did not take a request
        LineLost,  // the port went away
    };

    // Each address from `first` to `last` on one line setting.
    static QList<Probe> AddressRange(quint8 first, quint8 last, quint32 baudRate, const QString& format);
    // One address on every pairing of the baud rates and formats, each baud rate with all formats.
    static QList<Probe> LineSweep(quint8 address, const QList<quint32>& baudRates,
                                  const QStringList& formats);

    explicit BusScan(QList<Probe> probes);

    // The probe to send next; empty while one is awaited and once the scan has ended.
    std::optional<Probe> Next() const;
    // The bytes of the read request for Next(), exactly as the poll cycle sends block 0.
    QByteArray Request() const;
    // The port took Next()'s request (the wait begins) or refused it (the scan ends). Only while Next()
    // names a probe.
    TrafficRecord Sent(bool taken);
    // A delivered chunk. An accepted read reply or an exception reply from the awaited address ends
    // the wait for it; anything else is recorded with its verdict and the wait goes on, since the
    // answer may still follow. With nothing awaited, the chunk is Unexpected. `endedBySilence` as in
    // TrafficRecord.
    TrafficRecord Delivered(const char* data, qsizetype length, bool endedBySilence = true);
    // The wait ran out: a missing answer when nothing at all came back for the probe; listed as an
    // answer when only garbled bytes did.
    std::optional<TrafficRecord> Expired();

    // No more probes. A request already on the wire is still awaited, so that its answer, which would
    // otherwise reach whoever uses the line next, is taken here.
    void Cancel();
    // The line is gone: nothing is awaited any more.
    void Abandon();

    bool Awaiting() const { return m_awaiting.has_value(); }
    // Ended and nothing awaited: the caller may give the line back.
    bool Finished() const { return m_end != End::None && !m_awaiting; }
    End Ending() const { return m_end; }
    int Total() const { return int(m_probes.size()); }
    // Probes answered or given up.
    int Done() const { return m_done; }
    const QList<Answer>& Answers() const { return m_answers; }
    const QList<Probe>& Probes() const { return m_probes; }

private:
    struct Awaited {
        Probe probe;
        qint64 sentUs = 0;
        bool anythingCame = false;
        // The first delivery whose bytes made no good reply: listed if no good one follows.
        std::optional<Answer> garbled;
    };
    // A stamped record about `about`, or about no request.
    static TrafficRecord Record(TrafficDirection direction, Verdict verdict, const Awaited* about);
    // The awaited probe is over: on to the next one, or the end.
    void Advance();

    QList<Probe> m_probes;
    int m_next = 0;
    int m_done = 0;
    std::optional<Awaited> m_awaiting;
    End m_end = End::None;
    QList<Answer> m_answers;
};
