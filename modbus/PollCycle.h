#pragma once
#include "ModbusFrame.h"
#include "Traffic.h"

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <functional>
#include <optional>

// What the communication lamp (Image14 over Image7) should do after a step of the poll cycle.
enum class CommLamp { Unchanged, Lit, Unlit };

// The road to the serial port: `sendData` is Comm1->SendData (true when the port took the bytes),
// `sleepMs` pauses the GUI thread after each send, which is part of the line discipline. `report`, when
// set, receives a record of every request, every delivery and every missing answer with the cycle's
// verdict on it, before the cycle goes on.
//
// `silenceMs` is the port's read interval and `receiving` tells whether bytes have come in that the port
// has not delivered yet. With both, an answer is due on the line from a request until a delivery, or
// until the silence interval after it has passed with nothing received; a command waits while one is
// due, since on a half-duplex line its request would meet the answer. Without them, nothing is due.
struct ModbusLink {
    std::function<bool(const char* data, quint16 length)> sendData;
    std::function<void(int milliseconds)> sleepMs;
    std::function<void(const TrafficRecord& record)> report = {};
    std::function<int()> silenceMs = {};
    std::function<bool()> receiving = {};
};

// The Modbus master's state and the logic of its handlers, without any window. TForm1 keeps one
// instance and calls it from its handlers, applying the returned lamp state to Image14/Image7:
//
//   Timer1Timer:      ApplyLamp(poll.Tick(CheckBox2->isChecked() && Comm1->IsOpen(),
//                                     SlaveAddress(ComboBox1->currentText())));
//   Comm1ReceiveData: ApplyLamp(poll.Receive(Buffer, BufferLength));
//                     then, if WriteWaiting(), ApplyLamp(poll.SendWaitingWrite());
//   a command:        poll.SetWriteCommand(reg, value);
//                     if (CheckBox2->isChecked()) ApplyLamp(poll.SendWriteRequest(address));
//                     while WriteWaiting(), ApplyLamp(poll.SendWaitingWrite()) again once
//                     AnswerDueForUs() has passed
//   Timer2Timer:      poll.WriteTimeoutStep() at its place in the tick, then read Register(n).
//
// A delivery is judged against the request whose answer is awaited: the last one the port took, until
// a read is answered by an accepted or an exception reply, a write by its first delivery, a read is
// given up at the next tick or a write at its time-out. Any other delivery is Unexpected.
//
// Records (ModbusLink::report): a read request that nothing at all came back for by the next tick, and
// a write that nothing came back for by its time-out or by the next write, are reported once as missing
// answers. Any delivery after a request is an answer to it, whatever the delivery is judged: a refused
// answer, or one that arrived with other bytes, is reported with that delivery's verdict, not as missing.
//
// The lamp is lit only by an accepted read reply or a good write echo. It goes out when a tick does not
// poll, when a tick finds the last read request still unanswered, when the port refuses a request, and
// when a delivery is not the awaited reply.
class PollCycle {
public:
    static constexpr int kReceiveBufferSize = 255;
    static constexpr int kImageSize = 21; // registers 0 to 15 and 20 to 24
    static constexpr quint8 kBlockRegisters = 10;
    static constexpr int kReadPauseMs = 5;
    static constexpr int kWritePauseMs = 40;

    explicit PollCycle(ModbusLink link);

    // One tick of the poll timer: advance to the next block if the last one was answered, then ask for
    // the current block unless polling is off or a write is pending.
    CommLamp Tick(bool commTicked, quint8 address);

    // One delivered chunk of received bytes. The bytes are copied; the caller may release them after.
    // `endedBySilence`: the chunk ended by the line's silence (TrafficRecord::endedBySilence).
    CommLamp Receive(const char* buffer, quint16 length, bool endedBySilence = true);

    // Sends the read request for `count` registers from `startRegister` and pauses. Unlit if refused.
    CommLamp SendReadRequest(quint8 address, quint8 startRegister, quint8 count);

    // An operator command: pending flag, register and value are set whether or not anything is sent.
    void SetWriteCommand(quint8 writeRegister, quint16 writeValue);
    // Sends the write request for the command fields and pauses; Unlit if refused. While an answer is
    // due, the request waits instead (WriteWaiting) and Unchanged is returned.
    CommLamp SendWriteRequest(quint8 address);
    // Whether the command's write request waits for the line.
    bool WriteWaiting() const { return m_writeWaiting; }
    // Sends the waiting write request, as SendWriteRequest does, once no answer is due; Unchanged with
    // nothing sent while one is or when no request waits.
    CommLamp SendWaitingWrite();

    // Whether an answer is due on the line (see ModbusLink).
    bool AnswerDue() const;
    // How long an answer is still due by time alone, in microseconds: until the silence interval after the
    // last request has passed; 0 when no answer is due or only bytes coming in keep it due.
    qint64 AnswerDueForUs() const;

    // The display tick's count-down: a write that nobody answers stops holding polling back at the
    // fourth tick.
    void WriteTimeoutStep();

    // Value of a register of the image, 0 to 65535; 0 for a register the image does not keep.
    qint32 Register(int registerNumber) const;
    static bool IsKeptRegister(int registerNumber);

    // How much of a delivered chunk the receive buffer keeps, and so how much any check of it sees.
    static qsizetype KeptLength(qsizetype delivered) {
        return std::min<qsizetype>(delivered, kReceiveBufferSize);
    }
    // The verdict reported for a delivery judged on what the buffer kept: a chunk cut there that was not
    // a good answer is Oversize.
    static Verdict DeliveryVerdict(Verdict judged, qsizetype delivered) {
        return delivered > kReceiveBufferSize && IsProblem(judged) ? Verdict::Oversize : judged;
    }
    const std::array<qint32, kImageSize>& Image() const { return m_image; }

    quint8 PollPhase() const { return m_pollPhase; }
    quint8 BlockAnswered() const { return m_blockAnswered; }
    qint32 WritePending() const { return m_writePending; }
    quint8 WriteRegister() const { return m_writeRegister; }
    quint16 WriteValue() const { return m_writeValue; }
    quint8 WriteTimeoutCounter() const { return m_writeTimeoutCounter; }
    const std::array<quint8, kReceiveBufferSize>& ReceiveBuffer() const { return m_receiveBuffer; }

private:
    // A request the port took, and when.
    struct SentRequest {
        ModbusRequest request{};
        qint64 sentUs = 0;
        bool IsWrite() const { return request[1] == kWriteSingleRegister; }
    };

    // Hands the request to the port and pauses; the request taken is awaited from then on.
    std::optional<SentRequest> Send(const ModbusRequest& request, int pauseMs);
    CommLamp SendWrite();
    void StoreBlock();
    // Reports the request as missing once, if nothing came back for it, and forgets it.
    void GiveUp(std::optional<SentRequest>& unanswered);
    // Stamps and hands on one record; `awaited` is the request it concerns, if any.
    void Report(TrafficDirection direction, Verdict verdict, QByteArray bytes, const SentRequest* awaited,
                quint8 exceptionCode = 0, bool endedBySilence = true) const;

    ModbusLink m_link;
    quint8 m_pollPhase = 0;
    quint8 m_blockAnswered = 0;
    qint32 m_writePending = 0;
    quint8 m_writeRegister = 0;
    quint16 m_writeValue = 0;
    quint8 m_writeTimeoutCounter = 0;
    std::array<quint8, kReceiveBufferSize> m_receiveBuffer{};
    std::array<qint32, kImageSize> m_image{};
    // Whether the last read request the port took has not had an accepted reply (the lamp's test).
    bool m_readOutstanding = false;
    // The request whose answer the next delivery is judged against.
    std::optional<SentRequest> m_awaited;
    // The last read and the last write the port took, while nothing at all has come back since and
    // they have not been reported missing.
    std::optional<SentRequest> m_unansweredRead;
    std::optional<SentRequest> m_unansweredWrite;
    // The current command's write request: whether the port took it, or whether it waits for the line,
    // and the slave address it goes to.
    bool m_writeSent = false;
    bool m_writeWaiting = false;
    quint8 m_writeAddress = 0;
    // When the port took the last request, and whether nothing was delivered since.
    qint64 m_lastSentUs = 0;
    bool m_deliveryOwed = false;
};
