#pragma once

#include "CommPort.h"

#include <QObject>
#include <QString>

#include <exception>
#include <memory>
#include <thread>

// Failure of OpenPort, carrying only its fixed English message.
class ECommsError : public std::exception {
public:
    explicit ECommsError(const QString& message) : m_message(message), m_utf8(message.toUtf8()) {}
    QString Message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

class TCommWindow;
class TReadThread;
class TWriteThread;

// Owns one serial port: its name, line settings and time-outs, a receive thread and a transmit thread
// while the port is open, and the events, which are always raised in the thread that created it.
class TComm : public QObject {
    Q_OBJECT
public:
    enum TParity { None, Odd, Even, Mark, Space };
    Q_ENUM(TParity)
    enum TStopBits { _1, _1_5, _2 };
    Q_ENUM(TStopBits)
    enum TByteSize { _5, _6, _7, _8 };
    Q_ENUM(TByteSize)
    enum TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
    Q_ENUM(TDtrControl)
    enum TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
    Q_ENUM(TRtsControl)

    Q_PROPERTY(QString CommName READ CommName WRITE SetCommName)
    Q_PROPERTY(quint32 BaudRate READ BaudRate WRITE SetBaudRate)
    Q_PROPERTY(bool ParityCheck READ ParityCheck WRITE SetParityCheck)
    Q_PROPERTY(bool Outx_CtsFlow READ Outx_CtsFlow WRITE SetOutx_CtsFlow)
    Q_PROPERTY(bool Outx_DsrFlow READ Outx_DsrFlow WRITE SetOutx_DsrFlow)
    Q_PROPERTY(TDtrControl DtrControl READ DtrControl WRITE SetDtrControl)
    Q_PROPERTY(bool DsrSensitivity READ DsrSensitivity WRITE SetDsrSensitivity)
    Q_PROPERTY(bool TxContinueOnXoff READ TxContinueOnXoff WRITE SetTxContinueOnXoff)
    Q_PROPERTY(bool Outx_XonXoffFlow READ Outx_XonXoffFlow WRITE SetOutx_XonXoffFlow)
    Q_PROPERTY(bool Inx_XonXoffFlow READ Inx_XonXoffFlow WRITE SetInx_XonXoffFlow)
    Q_PROPERTY(bool ReplaceWhenParityError READ ReplaceWhenParityError WRITE SetReplaceWhenParityError)
    Q_PROPERTY(bool IgnoreNullChar READ IgnoreNullChar WRITE SetIgnoreNullChar)
    Q_PROPERTY(TRtsControl RtsControl READ RtsControl WRITE SetRtsControl)
    Q_PROPERTY(quint16 XonLimit READ XonLimit WRITE SetXonLimit)
    Q_PROPERTY(quint16 XoffLimit READ XoffLimit WRITE SetXoffLimit)
    Q_PROPERTY(TByteSize ByteSize READ ByteSize WRITE SetByteSize)
    Q_PROPERTY(TParity Parity READ Parity WRITE SetParity)
    Q_PROPERTY(TStopBits StopBits READ StopBits WRITE SetStopBits)
    Q_PROPERTY(char XonChar READ XonChar WRITE SetXonChar)
    Q_PROPERTY(char XoffChar READ XoffChar WRITE SetXoffChar)
    Q_PROPERTY(char ReplacedChar READ ReplacedChar WRITE SetReplacedChar)
    Q_PROPERTY(quint32 ReadIntervalTimeout READ ReadIntervalTimeout WRITE SetReadIntervalTimeout)
    Q_PROPERTY(quint32 ReadTotalTimeoutMultiplier READ ReadTotalTimeoutMultiplier WRITE
                   SetReadTotalTimeoutMultiplier)
    Q_PROPERTY(
        quint32 ReadTotalTimeoutConstant READ ReadTotalTimeoutConstant WRITE SetReadTotalTimeoutConstant)
    Q_PROPERTY(quint32 WriteTotalTimeoutMultiplier READ WriteTotalTimeoutMultiplier WRITE
                   SetWriteTotalTimeoutMultiplier)
    Q_PROPERTY(
        quint32 WriteTotalTimeoutConstant READ WriteTotalTimeoutConstant WRITE SetWriteTotalTimeoutConstant)

    // The component on the platform layer that the port name asks for at each OpenPort: a TCP connection
    // for tcp://HOST:PORT, the POSIX terminal layer for any other name.
    explicit TComm(QObject* owner = nullptr);
    // The component on a given platform layer (tests pass a scripted one); null means chosen by name.
    TComm(std::unique_ptr<TCommPort> port, QObject* owner = nullptr);
    // Closes the port first when it is open.
    ~TComm() override;

    // Opens the port, applies every setting and starts both threads; throws ECommsError. A network port
    // is waited for here, up to its time limit: a window opens it with BeginOpenPort instead.
    void OpenPort();
    // Opens the port as OpenPort does, without waiting for a network connection. A device opens at once:
    // true, or ECommsError as from OpenPort. A network port is resolved and connected on a thread of its
    // own: false, and OnOpenDone follows in this thread unless the opening is cancelled first.
    bool BeginOpenPort();
    // Gives up an opening that BeginOpenPort began: no OnOpenDone follows and the port stays closed.
    void CancelOpenPort();
    bool IsOpening() const { return m_opening; }
    // Stops both threads and closes the port, or cancels its opening; nothing when it is closed.
    void ClosePort();
    bool IsOpen() const { return m_open; }
    // Whether the line is reached over TCP: by the open port or the one being opened, or else by the one
    // the next OpenPort opens.
    bool IsNetworkPort() const;
    // Why the last opening could not open the port, in the port layer's words; empty where the system's
    // error of the device tells it, and while an opening is under way.
    QString LastPortError() const { return m_opening ? QString() : m_port->LastError(); }
    // Queues a copy of the bytes for the transmit thread; true when queued (not yet sent).
    bool SendData(const char* data, quint16 length);
    // Whether bytes have come in that no OnReceiveData has handed on yet: a chunk the receive thread is
    // still gathering, or one waiting to be raised.
    bool Receiving() const;
    // Why the chunk of the last OnReceiveData raised ended; in a handler of it, the chunk being handled.
    TChunkEnd LastChunkEnd() const { return m_lastChunkEnd; }
    // How received bytes are cut into chunks; Silence, the form's rule, unless set otherwise. Takes
    // effect at once, also on an open port.
    TFraming Framing() const { return m_framing; }
    void SetFraming(TFraming value);
    // Framing by length: how long an expected reply may take, from ExpectReply on; 300 ms unless set.
    quint32 ReplyTimeout() const { return m_replyTimeoutMs; }
    void SetReplyTimeout(quint32 ms) { m_replyTimeoutMs = ms; }
    // Framing by length: the reply the request about to be sent asks for. Its chunk is raised as soon as
    // it is complete (LastChunkEnd Length), after 3.5 characters of silence, or when ReplyTimeout has
    // passed, whichever comes first; bytes before its start come first as a chunk of their own (Noise).
    // When its time runs out and no start of it has come (noise alone, or nothing), OnNoReply is raised
    // instead. Call it just before SendData of the request. Nothing on a closed port or with framing by
    // silence.
    void ExpectReply(const TReplyShape& shape);
    // 3.5 character times at the line's rate and format, at least 1750 us: the silence that ends a
    // chunk when framing by length.
    qint64 FrameSilenceUs() const;
    // Write the whole line record, or all five time-outs, to the open port.
    void ApplyLineSettings();
    void ApplyTimeouts();
    void StopReadThread();
    void StopWriteThread();

    // The line record that ApplyLineSettings writes for the current properties.
    TCommState LineState() const;
    TCommTimeouts Timeouts() const;

    QString CommName() const { return m_commName; }
    void SetCommName(const QString& value) { m_commName = value; }
    quint32 BaudRate() const { return m_baudRate; }
    void SetBaudRate(quint32 value) { setLine(m_baudRate, value); }
    bool ParityCheck() const { return m_parityCheck; }
    void SetParityCheck(bool value) { setLine(m_parityCheck, value); }
    bool Outx_CtsFlow() const { return m_outxCtsFlow; }
    void SetOutx_CtsFlow(bool value) { setLine(m_outxCtsFlow, value); }
    bool Outx_DsrFlow() const { return m_outxDsrFlow; }
    void SetOutx_DsrFlow(bool value) { setLine(m_outxDsrFlow, value); }
    TDtrControl DtrControl() const { return m_dtrControl; }
    void SetDtrControl(TDtrControl value) { setLine(m_dtrControl, value); }
    bool DsrSensitivity() const { return m_dsrSensitivity; }
    void SetDsrSensitivity(bool value) { setLine(m_dsrSensitivity, value); }
    bool TxContinueOnXoff() const { return m_txContinueOnXoff; }
    void SetTxContinueOnXoff(bool value) { setLine(m_txContinueOnXoff, value); }
    bool Outx_XonXoffFlow() const { return m_outxXonXoffFlow; }
    void SetOutx_XonXoffFlow(bool value) { setLine(m_outxXonXoffFlow, value); }
    bool Inx_XonXoffFlow() const { return m_inxXonXoffFlow; }
    void SetInx_XonXoffFlow(bool value) { setLine(m_inxXonXoffFlow, value); }
    bool ReplaceWhenParityError() const { return m_replaceWhenParityError; }
    void SetReplaceWhenParityError(bool value) { setLine(m_replaceWhenParityError, value); }
    bool IgnoreNullChar() const { return m_ignoreNullChar; }
    void SetIgnoreNullChar(bool value) { setLine(m_ignoreNullChar, value); }
    TRtsControl RtsControl() const { return m_rtsControl; }
    void SetRtsControl(TRtsControl value) { setLine(m_rtsControl, value); }
    quint16 XonLimit() const { return m_xonLimit; }
    void SetXonLimit(quint16 value) { setLine(m_xonLimit, value); }
    quint16 XoffLimit() const { return m_xoffLimit; }
    void SetXoffLimit(quint16 value) { setLine(m_xoffLimit, value); }
    TByteSize ByteSize() const { return m_byteSize; }
    void SetByteSize(TByteSize value) { setLine(m_byteSize, value); }
    TParity Parity() const { return m_parity; }
    // Stored only: a new parity reaches the line at the next OpenPort or ApplyLineSettings.
    void SetParity(TParity value) {
        m_parity = value;
        if (m_framing == TFraming::Length)
            applyFraming();
    }
    TStopBits StopBits() const { return m_stopBits; }
    void SetStopBits(TStopBits value) { setLine(m_stopBits, value); }
    char XonChar() const { return m_xonChar; }
    void SetXonChar(char value) { setLine(m_xonChar, value); }
    char XoffChar() const { return m_xoffChar; }
    void SetXoffChar(char value) { setLine(m_xoffChar, value); }
    char ReplacedChar() const { return m_replacedChar; }
    void SetReplacedChar(char value) { setLine(m_replacedChar, value); }
    quint32 ReadIntervalTimeout() const { return m_timeouts.ReadIntervalTimeout; }
    void SetReadIntervalTimeout(quint32 value) { setTimeout(m_timeouts.ReadIntervalTimeout, value); }
    quint32 ReadTotalTimeoutMultiplier() const { return m_timeouts.ReadTotalTimeoutMultiplier; }
    void SetReadTotalTimeoutMultiplier(quint32 value) {
        setTimeout(m_timeouts.ReadTotalTimeoutMultiplier, value);
    }
    quint32 ReadTotalTimeoutConstant() const { return m_timeouts.ReadTotalTimeoutConstant; }
    void SetReadTotalTimeoutConstant(quint32 value) {
        setTimeout(m_timeouts.ReadTotalTimeoutConstant, value);
    }
    quint32 WriteTotalTimeoutMultiplier() const { return m_timeouts.WriteTotalTimeoutMultiplier; }
    void SetWriteTotalTimeoutMultiplier(quint32 value) {
        setTimeout(m_timeouts.WriteTotalTimeoutMultiplier, value);
    }
    quint32 WriteTotalTimeoutConstant() const { return m_timeouts.WriteTotalTimeoutConstant; }
    void SetWriteTotalTimeoutConstant(quint32 value) {
        setTimeout(m_timeouts.WriteTotalTimeoutConstant, value);
    }

signals:
    // Buffer holds BufferLength bytes (1 to 2048) and one zero byte after them; it is released when the
    // handlers return, so a handler copies what it needs.
    void OnReceiveData(QObject* Sender, const char* Buffer, quint16 BufferLength);
    void OnReceiveError(QObject* Sender, quint32 EventMask);
    void OnModemStateChange(QObject* Sender, quint32 ModemEvent);
    void OnRequestHangup(QObject* Sender);
    void OnSendDataEmpty(QObject* Sender);
    // The end of an opening that BeginOpenPort began: Error is empty when the port is open, otherwise the
    // message OpenPort would have thrown.
    void OnOpenDone(QObject* Sender, const QString& Error);
    // Framing by length: the time of the reply expected ran out and no start of it had come.
    void OnNoReply(QObject* Sender);

private:
    friend class TCommWindow;

    void choosePortLayer();
    // The rest of an opening once the port layer has opened the device: buffers, settings, threads.
    void startLine();
    // Raised by the notification window when an opening thread has ended.
    void finishOpening(quint32 generation);
    void endOpener();
    // Hands the framing rule to the port layer and wakes the receive thread to it.
    void applyFraming();

    template <typename T> void setLine(T& field, T value) {
        if (field == value)
            return;
        field = value;
        if (m_open)
            ApplyLineSettings();
        // The rate and the format set the silence that ends a chunk when framing by length.
        if (m_framing == TFraming::Length)
            applyFraming();
    }
    void setTimeout(quint32& field, quint32 value) {
        if (field == value)
            return;
        field = value;
        if (m_open)
            ApplyTimeouts();
    }

    bool m_choosePort; // the port layer follows the port name
    std::unique_ptr<TCommPort> m_port;
    std::unique_ptr<TCommWindow> m_window;
    std::unique_ptr<TReadThread> m_readThread;
    std::unique_ptr<TWriteThread> m_writeThread;
    bool m_open = false;
    int m_closeFd = -1;
    int m_wakeFd = -1; // rings the receive thread when the framing rule or the expected reply changed
    TChunkEnd m_lastChunkEnd = TChunkEnd::Silence;
    TFraming m_framing = TFraming::Silence;
    quint32 m_replyTimeoutMs = 300;
    // A network port's opening under way on a thread of its own, which abortFd ends early.
    bool m_opening = false;
    std::thread m_opener;
    int m_openAbortFd = -1;
    bool m_openResult = false; // the port layer's answer, read once the thread has ended
    // Tells the end of the latest opening from that of a cancelled one, whose notice may still come.
    quint32 m_openGeneration = 0;

    QString m_commName = QStringLiteral("COM2");
    quint32 m_baudRate = 9600;
    bool m_parityCheck = false;
    bool m_outxCtsFlow = false;
    bool m_outxDsrFlow = false;
    TDtrControl m_dtrControl = DtrEnable;
    bool m_dsrSensitivity = false;
    bool m_txContinueOnXoff = true;
    bool m_outxXonXoffFlow = true;
    bool m_inxXonXoffFlow = true;
    bool m_replaceWhenParityError = false;
    bool m_ignoreNullChar = false;
    TRtsControl m_rtsControl = RtsEnable;
    quint16 m_xonLimit = 500;
    quint16 m_xoffLimit = 500;
    TByteSize m_byteSize = _8;
    TParity m_parity = None;
    TStopBits m_stopBits = _1;
    char m_xonChar = 17;
    char m_xoffChar = 19;
    char m_replacedChar = 0;
    TCommTimeouts m_timeouts{100, 0, 0, 0, 0};
};
