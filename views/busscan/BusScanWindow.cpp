#include "BusScanWindow.h"

#include "ToolWindow.h"
#include "TrafficText.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Slave addresses a device may have; 0 is broadcast, which nobody answers.
constexpr int kFirstSlave = 1;
constexpr int kLastSlave = 247;
// The default wait beyond the serial component's silence interval, which every delivery waits out.
constexpr int kWaitBeyondSilenceMs = 150;
constexpr int kMaxWaitMs = 10000;

enum Column { AddressColumn, BaudColumn, FormatColumn, ResponseColumn, AnswerColumn, ColumnCount };

QSpinBox* NewSpinBox(QWidget* parent, int minimum, int maximum, int value) {
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setValue(value);
    return box;
}

} // namespace

TBusScanWindow::TBusScanWindow(LineAccess* line, QWidget* parent)
    : QWidget(parent, Qt::Window), m_line(line) {
    CloseOnEscape(this);
    m_silenceMs = line->SilenceMs();

    FirstAddressBox = NewSpinBox(this, kFirstSlave, kLastSlave, kFirstSlave);
    LastAddressBox = NewSpinBox(this, kFirstSlave, kLastSlave, kLastSlave);
    // A wait shorter than the silence interval could never see an answer.
    WaitBox = NewSpinBox(this, m_silenceMs + 10, kMaxWaitMs, m_silenceMs + kWaitBeyondSilenceMs);
    WaitBox->setSuffix(QStringLiteral(" ms"));
    SweepBox = new QCheckBox(this);
    SweepAddressBox =
        NewSpinBox(this, kFirstSlave, kLastSlave, std::clamp(int(line->Address()), kFirstSlave, kLastSlave));

    auto* settings = new QGridLayout;
    for (QLabel*& label : m_labels)
        label = new QLabel(this);
    settings->addWidget(m_labels[0], 0, 0);
    settings->addWidget(FirstAddressBox, 0, 1);
    settings->addWidget(m_labels[1], 0, 2);
    settings->addWidget(LastAddressBox, 0, 3);
    settings->addWidget(m_labels[2], 1, 0);
    settings->addWidget(WaitBox, 1, 1);
    settings->addWidget(SweepBox, 2, 0, 1, 2);
    settings->addWidget(m_labels[3], 2, 2);
    settings->addWidget(SweepAddressBox, 2, 3);

    StartButton = new QPushButton(this);
    CancelButton = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StartButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch();

    Progress = new QProgressBar(this);
    Progress->setFormat(QStringLiteral("%v / %m"));
    // Empty, with no count, until a scan starts.
    Progress->reset();
    Message = new QLabel(this);
    Message->setWordWrap(true);

    FoundTable = new QTableWidget(0, ColumnCount, this);
    // The answer takes what room is left, cut with "…" (its tip has it whole): never a scroll bar.
    FoundTable->horizontalHeader()->setStretchLastSection(true);
    FoundTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FoundTable->setTextElideMode(Qt::ElideRight);
    FoundTable->verticalHeader()->hide();
    FoundTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FoundTable->setSelectionMode(QAbstractItemView::SingleSelection);
    FoundTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    UseButton = new QPushButton(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(settings);
    layout->addLayout(buttons);
    layout->addWidget(Progress);
    layout->addWidget(Message);
    layout->addWidget(FoundTable, 1);
    layout->addWidget(UseButton, 0, Qt::AlignLeft);

    m_wait = new QTimer(this);
    m_wait->setSingleShot(true);
    m_wait->setTimerType(Qt::PreciseTimer);
    connect(m_wait, &QTimer::timeout, this, &TBusScanWindow::expire);

    connect(StartButton, &QPushButton::clicked, this, &TBusScanWindow::start);
    connect(CancelButton, &QPushButton::clicked, this, &TBusScanWindow::cancel);
    connect(UseButton, &QPushButton::clicked, this, &TBusScanWindow::useSelected);
    connect(FoundTable, &QTableWidget::cellDoubleClicked, this, &TBusScanWindow::useSelected);
    connect(FoundTable, &QTableWidget::itemSelectionChanged, this, &TBusScanWindow::updateControls);
    connect(SweepBox, &QCheckBox::toggled, this, &TBusScanWindow::updateControls);
    connect(line, &LineAccess::portEvent, this, &TBusScanWindow::onPortEvent);
    // The box is disabled during a scan; should anything tick it all the same, polling wins.
    connect(line, &LineAccess::pollingChanged, this, [this](bool ticked) {
        if (ticked && m_running)
            abandon([] { return tr("通讯已开始，扫描已停止。"); });
    });
    updateControls();
    retranslateUi();
    resize(520, 460);
}

void TBusScanWindow::retranslateUi() {
    setWindowTitle(tr("总线扫描"));
    WaitBox->setToolTip(tr("串口在 %1 ms 静默后才交付应答，等待时间须长于此。").arg(m_silenceMs));
    SweepBox->setText(tr("扫描波特率和格式"));
    m_labels[0]->setText(tr("起始地址"));
    m_labels[1]->setText(tr("结束地址"));
    m_labels[2]->setText(tr("每个地址等待"));
    m_labels[3]->setText(tr("地址"));
    StartButton->setText(tr("开始"));
    CancelButton->setText(tr("取消"));
    FoundTable->setHorizontalHeaderLabels({tr("地址"), tr("波特率"), tr("格式"), tr("响应时间"), tr("应答")});
    FoundTable->horizontalHeaderItem(ResponseColumn)
        ->setToolTip(tr("从请求交给端口到应答交付，含串口的 %1 ms 静默间隔").arg(m_silenceMs));
    // Wide enough for each title in the language shown.
    for (int column = 0; column < ColumnCount; ++column)
        FoundTable->setColumnWidth(column, std::max(FoundTable->columnWidth(column),
                                                    FoundTable->horizontalHeader()->sectionSizeHint(column)));
    for (int row = 0; row < FoundTable->rowCount(); ++row) {
        QTableWidgetItem* item = FoundTable->item(row, AnswerColumn);
        const int index = item->data(Qt::UserRole).toInt();
        if (m_scan && index >= 0 && index < m_scan->Answers().size()) {
            const BusScan::Answer& answer = m_scan->Answers()[index];
            item->setText(VerdictText(answer.verdict, answer.exceptionCode));
            item->setToolTip(AnswerTip(answer));
        }
    }
    UseButton->setText(tr("使用"));
    UseButton->setToolTip(tr("把所选设备的地址、波特率和格式填入面板"));
    Message->setText(m_message ? m_message() : QString());
    // The sweep's tip, which says whether the line is on TCP.
    updateControls();
}

void TBusScanWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslateUi();
    QWidget::changeEvent(event);
}

void TBusScanWindow::say(std::function<QString()> message) {
    m_message = std::move(message);
    Message->setText(m_message ? m_message() : QString());
}

TBusScanWindow::~TBusScanWindow() {
    if (m_running) {
        m_scan->Abandon();
        release();
    }
}

void TBusScanWindow::start() {
    if (m_running || !m_line)
        return;
    TComm* comm = m_line->Comm();
    if (m_line->Polling()) {
        say([] { return tr("正在通讯：请先取消“通讯”，再扫描。"); });
        return;
    }
    if (!comm->IsOpen()) {
        say([] { return tr("端口未打开：请先打开串口。"); });
        return;
    }
    const bool sweep = Sweeping();
    if (!sweep && FirstAddressBox->value() > LastAddressBox->value()) {
        say([] { return tr("起始地址大于结束地址。"); });
        return;
    }

    m_saved = {comm->BaudRate(), comm->Parity(), comm->StopBits()};
    m_appliedBaudRate = m_saved.baudRate;
    m_appliedFormat = LineFormatText(m_saved.parity, m_saved.stopBits);
    QList<BusScan::Probe> probes;
    if (sweep) {
        probes = BusScan::LineSweep(quint8(SweepAddressBox->value()), m_line->OfferedBaudRates(),
                                    m_line->OfferedFormats());
    } else {
        probes = BusScan::AddressRange(quint8(FirstAddressBox->value()), quint8(LastAddressBox->value()),
                                       m_appliedBaudRate, m_appliedFormat);
    }
    m_scan = std::make_unique<BusScan>(std::move(probes));
    m_running = true;
    m_abandonReason = {};
    m_wait->setInterval(WaitBox->value());

    m_line->Borrow([this](const char* data, quint16 length) { deliver(data, length); });

    FoundTable->setRowCount(0);
    Progress->setRange(0, m_scan->Total());
    Progress->setValue(0);
    updateControls();
    m_clock.start();
    sendNext();
}

void TBusScanWindow::sendNext() {
    const std::optional<BusScan::Probe> probe = m_scan->Next();
    if (!probe) {
        release();
        return;
    }
    applyLine(*probe);
    say([probe = *probe] {
        return tr("正在扫描：地址 %1，%2 %3…").arg(probe.address).arg(probe.baudRate).arg(probe.format);
    });
    const QByteArray request = m_scan->Request();
    const bool taken = m_line->Comm()->SendData(request.constData(), quint16(request.size()));
    m_line->Report(m_scan->Sent(taken));
    if (m_scan->Awaiting())
        m_wait->start();
    else
        release();
}

void TBusScanWindow::deliver(const char* data, quint16 length) {
    const qsizetype answers = m_scan->Answers().size();
    m_line->Report(m_scan->Delivered(data, length, m_line->Comm()->LastChunkEnd() == TChunkEnd::Silence));
    if (m_scan->Answers().size() != answers)
        addRow(m_scan->Answers().last());
    if (!m_scan->Awaiting()) {
        m_wait->stop();
        proceed();
    }
}

void TBusScanWindow::expire() {
    if (!m_running || !m_line)
        return;
    const qsizetype answers = m_scan->Answers().size();
    if (const std::optional<TrafficRecord> missing = m_scan->Expired())
        m_line->Report(*missing);
    if (m_scan->Answers().size() != answers)
        addRow(m_scan->Answers().last());
    proceed();
}

void TBusScanWindow::proceed() {
    Progress->setValue(m_scan->Done());
    if (m_scan->Finished())
        release();
    else
        sendNext();
}

void TBusScanWindow::applyLine(const BusScan::Probe& probe) {
    TComm* comm = m_line->Comm();
    // As the baud-rate and format boxes' handlers set them.
    if (probe.baudRate != m_appliedBaudRate)
        comm->SetBaudRate(probe.baudRate);
    if (probe.format != m_appliedFormat)
        if (const std::optional<LineFormat> format = LineFormatFromText(probe.format))
            ApplyLineFormat(*comm, *format);
    m_appliedBaudRate = probe.baudRate;
    m_appliedFormat = probe.format;
}

void TBusScanWindow::cancel() {
    if (!m_running || m_scan->Ending() != BusScan::End::None)
        return;
    m_scan->Cancel();
    say([] { return tr("正在取消…"); });
    updateControls();
    if (m_scan->Finished())
        release();
}

void TBusScanWindow::abandon(std::function<QString()> why) {
    m_abandonReason = std::move(why);
    m_scan->Abandon();
    release();
}

void TBusScanWindow::onPortEvent(PortEvent event) {
    if (!m_running) {
        // An opening may have put the line on TCP, or back on a serial port.
        updateControls();
        return;
    }
    if (event == PortEvent::Closed)
        abandon([] { return tr("端口已关闭，扫描已停止。"); });
    else if (event == PortEvent::Vanished)
        abandon([] { return tr("端口已断开，扫描已停止。"); });
}

void TBusScanWindow::release() {
    m_wait->stop();
    m_running = false;
    if (m_line) {
        TComm* comm = m_line->Comm();
        if (comm->BaudRate() != m_saved.baudRate)
            comm->SetBaudRate(m_saved.baudRate);
        ApplyLineFormat(*comm, {m_saved.parity, m_saved.stopBits});
        m_line->Borrow({});
    }
    Progress->setValue(m_scan->Done());
    const QString seconds = QString::number(double(m_clock.elapsed()) / 1000.0, 'f', 1);
    const qsizetype found = m_scan->Answers().size();
    switch (m_scan->Ending()) {
    case BusScan::End::Completed:
        say([found, seconds] {
            return tr("扫描完成：找到 %n 个设备，用时 %1 s。", nullptr, int(found)).arg(seconds);
        });
        break;
    case BusScan::End::Cancelled:
        say([found] { return tr("扫描已取消：找到 %n 个设备。", nullptr, int(found)); });
        break;
    case BusScan::End::Refused:
        say([] { return tr("端口未接受请求，扫描已停止。"); });
        break;
    case BusScan::End::LineLost:
    case BusScan::End::None:
        say(m_abandonReason);
        break;
    }
    updateControls();
    emit scanEnded();
}

QString TBusScanWindow::AnswerTip(const BusScan::Answer& answer) {
    const QString verdict = VerdictText(answer.verdict, answer.exceptionCode);
    if (answer.verdict == Verdict::Accepted || answer.verdict == Verdict::Exception)
        return verdict;
    return verdict + u'\n' + tr("只收到无法识别的字节：此地址可能有设备，但波特率或格式不同。");
}

void TBusScanWindow::addRow(const BusScan::Answer& answer) {
    const int row = FoundTable->rowCount();
    FoundTable->insertRow(row);
    const auto put = [&](int column, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        // The answer's place in the scan's list, for "use".
        item->setData(Qt::UserRole, int(m_scan->Answers().size() - 1));
        FoundTable->setItem(row, column, item);
    };
    put(AddressColumn, QString::number(answer.probe.address));
    put(BaudColumn, QString::number(answer.probe.baudRate));
    put(FormatColumn, answer.probe.format);
    put(ResponseColumn, MillisecondsText(answer.responseUs));
    put(AnswerColumn, VerdictText(answer.verdict, answer.exceptionCode));
    FoundTable->item(row, AnswerColumn)->setToolTip(AnswerTip(answer));
}

void TBusScanWindow::useSelected() {
    if (m_running || !m_line || !m_scan)
        return;
    const QList<QTableWidgetItem*> selected = FoundTable->selectedItems();
    if (selected.isEmpty())
        return;
    const int index = selected.first()->data(Qt::UserRole).toInt();
    if (index < 0 || index >= m_scan->Answers().size())
        return;
    const BusScan::Probe probe = m_scan->Answers()[index].probe;
    m_line->Use(probe.address, probe.baudRate, probe.format);
}

void TBusScanWindow::updateControls() {
    const bool idle = !m_running;
    StartButton->setEnabled(idle);
    CancelButton->setEnabled(m_running && m_scan->Ending() == BusScan::End::None);
    const bool sweep = Sweeping();
    FirstAddressBox->setEnabled(idle && !sweep);
    LastAddressBox->setEnabled(idle && !sweep);
    SweepAddressBox->setEnabled(idle && sweep);
    WaitBox->setEnabled(idle);
    SweepBox->setEnabled(idle && !OverTcp());
    SweepBox->setToolTip(OverTcp() ? tr("经TCP连接时，线路的波特率和格式由设备服务器决定，无从扫描。")
                                   : tr("对一个地址依次试用所有波特率和格式，结束后恢复原设置。"));
    UseButton->setEnabled(idle && !FoundTable->selectedItems().isEmpty());
}

bool TBusScanWindow::OverTcp() const {
    return m_line && m_line->Comm()->IsNetworkPort();
}

bool TBusScanWindow::Sweeping() const {
    return SweepBox->isChecked() && !OverTcp();
}

void TBusScanWindow::showEvent(QShowEvent* event) {
    // The port may have changed from serial to TCP while the window was closed.
    updateControls();
    QWidget::showEvent(event);
}

void TBusScanWindow::closeEvent(QCloseEvent* event) {
    cancel();
    QWidget::closeEvent(event);
}
