#include "SerialComm.h"

#include "CommThreads.h"
#include "PosixCommPort.h"
#include "TcpCommPort.h"

#include <QMetaMethod>
#include <QPointer>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

namespace {

constexpr quint32 kQueueSize = 4096;
// How long a stop waits for a thread before giving up the wait; see stopThread.
constexpr int kStopWaitMs = 10000;

void signalFd(int fd) {
    const quint64 one = 1;
    // The counter only needs to become non-zero; a full counter is already signalled.
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

} // namespace

TComm::TComm(QObject* owner) : TComm(nullptr, owner) {}

TComm::TComm(std::unique_ptr<TCommPort> port, QObject* owner)
    : QObject(owner), m_choosePort(!port),
      m_port(port ? std::move(port) : std::make_unique<TPosixCommPort>()),
      m_window(std::make_unique<TCommWindow>(this)) {}

TComm::~TComm() {
    ClosePort();
}

void TComm::choosePortLayer() {
    if (m_choosePort && IsTcpPortName(m_commName) != m_port->IsNetwork()) {
        if (IsTcpPortName(m_commName))
            m_port = std::make_unique<TTcpCommPort>();
        else
            m_port = std::make_unique<TPosixCommPort>();
    }
}

void TComm::OpenPort() {
    if (m_open || m_opening)
        throw ECommsError(QStringLiteral("This serial port already opened"));
    choosePortLayer();
    if (!m_port->Open(m_commName.toLocal8Bit()))
        throw ECommsError(QStringLiteral("Error opening serial port"));
    startLine();
}

bool TComm::BeginOpenPort() {
    if (m_open || m_opening)
        throw ECommsError(QStringLiteral("This serial port already opened"));
    choosePortLayer();
    if (!m_port->IsNetwork() || !m_window->CanPost()) {
        OpenPort();
        return true;
    }
    m_openAbortFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_openAbortFd < 0)
        throw ECommsError(QStringLiteral("Unable to create event"));
    const quint32 generation = ++m_openGeneration;
    m_openResult = false;
    try {
        m_opener = std::thread([this, name = m_commName.toLocal8Bit(), abortFd = m_openAbortFd, generation] {
            m_openResult = m_port->OpenAbortable(name, abortFd);
            m_window->Post(SPM_OPEN_DONE, generation);
        });
    } catch (const std::system_error&) {
        ::close(m_openAbortFd);
        m_openAbortFd = -1;
        throw ECommsError(QStringLiteral("Unable to create connect thread"));
    }
    m_opening = true;
    return false;
}

void TComm::endOpener() {
    m_opener.join();
    ::close(m_openAbortFd);
    m_openAbortFd = -1;
    m_opening = false;
}

void TComm::CancelOpenPort() {
    if (!m_opening)
        return;
    signalFd(m_openAbortFd);
    endOpener();
    // Connected just before the cancel came: that connection is not wanted any more.
    if (m_openResult)
        m_port->Close();
}

void TComm::finishOpening(quint32 generation) {
    // The notice of a cancelled opening comes to nothing.
    if (!m_opening || generation != m_openGeneration)
        return;
    endOpener();
    QString error;
    if (!m_openResult) {
        error = QStringLiteral("Error opening serial port");
    } else {
        try {
            startLine();
        } catch (const ECommsError& e) {
            error = e.Message();
        }
    }
    emit OnOpenDone(this, error);
}

void TComm::startLine() {
    if (!m_port->SetupComm(kQueueSize, kQueueSize)) {
        m_port->Close();
        throw ECommsError(QStringLiteral("Cannot setup comm buffer"));
    }
    m_open = true;
    m_port->Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    ApplyTimeouts();
    ApplyLineSettings();

    m_closeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_wakeFd = m_closeFd < 0 ? -1 : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        if (m_closeFd >= 0)
            ::close(m_closeFd);
        m_closeFd = -1;
        m_port->Close();
        m_open = false;
        throw ECommsError(QStringLiteral("Unable to create event"));
    }
    // The port layer may have been chosen anew by this opening: it learns the rule now, with no reply
    // expected yet.
    m_port->EndExpectation(m_port->Expectation().Serial);
    applyFraming();
    auto undo = [this] {
        ::close(m_closeFd);
        m_closeFd = -1;
        ::close(m_wakeFd);
        m_wakeFd = -1;
        m_port->Close();
        m_open = false;
    };
    try {
        m_readThread = std::make_unique<TReadThread>(m_port.get(), m_closeFd, m_wakeFd, m_window.get(), 2);
        m_readThread->Create();
    } catch (...) {
        m_readThread.reset();
        undo();
        throw ECommsError(QStringLiteral("Unable to create read thread"));
    }
    try {
        m_writeThread = std::make_unique<TWriteThread>(m_port.get(), m_closeFd, m_window.get(), 1);
        m_writeThread->Create();
    } catch (...) {
        m_writeThread.reset();
        StopReadThread();
        undo();
        throw ECommsError(QStringLiteral("Unable to create write thread"));
    }
    m_readThread->Resume();
    m_writeThread->Resume();
}

void TComm::ClosePort() {
    CancelOpenPort();
    if (!m_open)
        return;
    StopReadThread();
    StopWriteThread();
    ::close(m_closeFd);
    m_closeFd = -1;
    ::close(m_wakeFd);
    m_wakeFd = -1;
    m_port->Close();
    m_open = false;
}

template <typename Thread>
static void stopThread(std::unique_ptr<Thread>& thread, int closeFd, TCommPort* port, quint32 purgeFlags) {
    if (!thread)
        return;
    signalFd(closeFd);
    thread->Cancel();
    port->Purge(purgeFlags);
    // The wait is bounded, but the thread is joined either way before its object goes (reset below). That
    // cannot hang: every wait of both threads watches the close descriptor and every call on the port is
    // non-blocking, so a thread ends within one wake-up of the signal.
    thread->WaitFor(kStopWaitMs);
    thread.reset();
}

void TComm::StopReadThread() {
    stopThread(m_readThread, m_closeFd, m_port.get(), PURGE_RXABORT | PURGE_RXCLEAR);
}

void TComm::StopWriteThread() {
    stopThread(m_writeThread, m_closeFd, m_port.get(), PURGE_TXABORT | PURGE_TXCLEAR);
}

bool TComm::Receiving() const {
    // The thread first: it lets go of a chunk only once the chunk waits in the window's queue.
    return (m_readThread && m_readThread->Holding()) || m_window->HoldsReceivedData();
}

bool TComm::IsNetworkPort() const {
    return m_open || m_opening || !m_choosePort ? m_port->IsNetwork() : IsTcpPortName(m_commName);
}

bool TComm::SendData(const char* data, quint16 length) {
    if (!m_writeThread || length == 0 || !data)
        return false;
    TWriteBlock block;
    block.Data.reset(new (std::nothrow) char[length]);
    if (!block.Data)
        return false;
    std::copy(data, data + length, block.Data.get());
    block.Length = length;
    return m_writeThread->Queue(std::move(block));
}

void TComm::SetFraming(TFraming value) {
    if (m_framing == value)
        return;
    m_framing = value;
    applyFraming();
}

void TComm::applyFraming() {
    m_port->SetFramingRule({m_framing, FrameSilenceUs()});
    if (m_wakeFd >= 0)
        signalFd(m_wakeFd);
}

void TComm::ExpectReply(const TReplyShape& shape) {
    if (!m_open || m_framing != TFraming::Length)
        return;
    m_port->ArmReply(shape, qint64(m_replyTimeoutMs) * 1000);
    signalFd(m_wakeFd);
}

qint64 TComm::FrameSilenceUs() const {
    constexpr qint64 kLeast = 1750;
    if (m_baudRate == 0)
        return kLeast;
    // Half bits, so that one and a half stop bits count exactly: start, data, parity, stop.
    const qint64 halfBits =
        2 * (1 + (m_byteSize + 5) + (m_parity == None ? 0 : 1)) + (m_stopBits == _1     ? 2
                                                                   : m_stopBits == _1_5 ? 3
                                                                                        : 4);
    // 3.5 characters = 7 half characters, in microseconds, rounded up.
    const qint64 us = (7 * halfBits * 1000000 / 4 + m_baudRate - 1) / m_baudRate;
    return std::max(kLeast, us);
}

TCommState TComm::LineState() const {
    TCommState s;
    s.BaudRate = m_baudRate;
    quint32 f = DCB_BINARY;
    if (m_parityCheck)
        f |= DCB_PARITY;
    if (m_outxCtsFlow)
        f |= DCB_OUTX_CTS_FLOW;
    if (m_outxDsrFlow)
        f |= DCB_OUTX_DSR_FLOW;
    if (m_dtrControl == DtrEnable)
        f |= DCB_DTR_CONTROL_ENABLE;
    else if (m_dtrControl == DtrHandshake)
        f |= DCB_DTR_CONTROL_HANDSHAKE;
    if (m_dsrSensitivity)
        f |= DCB_DSR_SENSITIVITY;
    if (m_txContinueOnXoff)
        f |= DCB_TX_CONTINUE_ON_XOFF;
    if (m_outxXonXoffFlow)
        f |= DCB_OUTX;
    if (m_inxXonXoffFlow)
        f |= DCB_INX;
    if (m_replaceWhenParityError)
        f |= DCB_ERROR_CHAR;
    if (m_ignoreNullChar)
        f |= DCB_NULL;
    switch (m_rtsControl) {
    case RtsEnable:
        f |= DCB_RTS_CONTROL_ENABLE;
        break;
    case RtsHandshake:
        f |= DCB_RTS_CONTROL_HANDSHAKE;
        break;
    case RtsTransmissionAvailable:
        f |= DCB_RTS_CONTROL_TOGGLE;
        break;
    case RtsDisable:
        break;
    }
    s.Flags = f;
    s.XonLim = m_xonLimit;
    s.XoffLim = m_xoffLimit;
    s.ByteSize = quint8(m_byteSize + 5);
    s.Parity = quint8(m_parity);
    s.StopBits = quint8(m_stopBits);
    s.XonChar = m_xonChar;
    s.XoffChar = m_xoffChar;
    s.ErrorChar = m_replacedChar;
    return s;
}

TCommTimeouts TComm::Timeouts() const {
    return m_timeouts;
}

void TComm::ApplyLineSettings() {
    if (m_open)
        m_port->SetCommState(LineState());
}

void TComm::ApplyTimeouts() {
    if (m_open)
        m_port->SetCommTimeouts(m_timeouts);
}

// Notification window

TCommWindow::TCommWindow(TComm* owner) : m_owner(owner) {
    m_bellFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_bellFd >= 0) {
        m_bell = new QSocketNotifier(m_bellFd, QSocketNotifier::Read, this);
        connect(m_bell, &QSocketNotifier::activated, this, &TCommWindow::deliver);
    }
}

TCommWindow::~TCommWindow() {
    delete m_bell;
    if (m_bellFd >= 0)
        ::close(m_bellFd);
}

bool TCommWindow::Post(TCommNotification kind, quint32 param, std::unique_ptr<char[]> block, quint32 detail) {
    if (m_bellFd < 0)
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({kind, param, detail, std::move(block)});
    }
    signalFd(m_bellFd);
    return true;
}

bool TCommWindow::HoldsReceivedData() {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_queue.cbegin(), m_queue.cend(),
                       [](const TNotification& n) { return n.Kind == SPM_RECEIVE_DATA; });
}

void TCommWindow::deliver() {
    quint64 rings;
    (void)!::read(m_bellFd, &rings, sizeof rings);
    for (;;) {
        TNotification n;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return;
            n = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const QPointer<TCommWindow> alive(this);
        raise(n.Kind, n.Param, n.Detail, n.Block.get());
        // The block is released here, once the handlers have returned; a handler may have destroyed
        // the component, and this window with it.
        if (!alive)
            return;
    }
}

void TCommWindow::raise(TCommNotification kind, quint32 param, quint32 detail, const char* block) {
    TComm* c = m_owner;
    // An event is raised only when a handler is connected to it.
    auto connected = [c](auto signal) { return c->isSignalConnected(QMetaMethod::fromSignal(signal)); };
    switch (kind) {
    case SPM_RECEIVE_DATA:
        c->m_lastChunkEnd = TChunkEnd(detail);
        if (connected(&TComm::OnReceiveData))
            emit c->OnReceiveData(c, block, quint16(param));
        break;
    case SPM_RECEIVE_ERROR:
        if (connected(&TComm::OnReceiveError))
            emit c->OnReceiveError(c, param);
        break;
    case SPM_REQUEST_HANGUP:
        if (connected(&TComm::OnRequestHangup))
            emit c->OnRequestHangup(c);
        break;
    case SPM_MODEM_STATE_CHANGE:
        if (connected(&TComm::OnModemStateChange))
            emit c->OnModemStateChange(c, param);
        break;
    case SPM_SEND_DATA_EMPTY:
        if (connected(&TComm::OnSendDataEmpty))
            emit c->OnSendDataEmpty(c);
        break;
    case SPM_OPEN_DONE:
        c->finishOpening(param);
        break;
    case SPM_NO_REPLY:
        if (connected(&TComm::OnNoReply))
            emit c->OnNoReply(c);
        break;
    }
}
