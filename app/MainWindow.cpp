#include "MainWindow.h"

#include "AlarmStrip.h"
#include "BusScanWindow.h"
#include "CommandFateText.h"
#include "Connections.h"
#include "Controls.h"
#include "DisplayRefresh.h"
#include "HistoryHook.h"
#include "HistoryText.h"
#include "Language.h"
#include "LineStatus.h"
#include "RegisterWindow.h"
#include "SetPointDialog.h"
#include "StaleVeil.h"
#include "TrafficMonitor.h"
#include "iKnob.h"
#include "iSwitchLed.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <cstdio>
#include <memory>

namespace {

constexpr int kStatusDelayMs = 250;
// How long "not sent" stands by the control that was used.
constexpr int kBalloonMs = 3000;

// The instrument panels below the communication bar, in the form's coordinates: what the stale veil
// covers. The port settings and the communication bar stay clear, as the operator needs them.
QRegion InstrumentRegion(const TForm1* form) {
    QRegion region;
    const QWidget* covered[] = {form->Panel1,  form->Panel4,  form->Panel6, form->Panel7, form->Panel8,
                                form->Panel10, form->Panel11, form->Memo12, form->Memo13};
    for (const QWidget* panel : covered)
        region += QRect(panel->mapTo(form, QPoint(0, 0)), panel->size());
    return region & form->rect();
}
const QString kAlarmSoundKey = QStringLiteral("alarmSound");

} // namespace

TMainWindow::TMainWindow(std::unique_ptr<TCommPort> port, QWidget* parent) : QMainWindow(parent) {
    // The program's icon on every window it opens, the tool windows and message boxes included.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/z7panel.png")));
    m_form = new TForm1(std::move(port), this);
    setWindowTitle(m_form->windowTitle());

    m_line = new TPanelLine(m_form, this);
    watchLine();
    showAlarms();
    createMenus();
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lineStatus"));
    // Its text is fitted to the room it has (refreshStatus) and never widens the window.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_status, 1);
    m_statusTimer = new QTimer(this);
    m_statusTimer->setSingleShot(true);
    m_statusTimer->setInterval(kStatusDelayMs);
    connect(m_statusTimer, &QTimer::timeout, this, &TMainWindow::refreshStatus);
    tellOperator();

    connect(m_form, &TForm1::trafficRecorded, this, &TMainWindow::scheduleStatus);
    connect(m_line, &TPanelLine::statsReset, this, &TMainWindow::refreshStatus);
    connect(m_form, &TForm1::portEvent, this, &TMainWindow::refreshStatus);
    for (QComboBox* box : {static_cast<QComboBox*>(m_form->ComboBox4), m_form->ComboBox5, m_form->ComboBox6,
                           m_form->ComboBox1})
        connect(box, &QComboBox::currentTextChanged, this, &TMainWindow::scheduleStatus);
    refreshStatus();

    // The instrument area keeps its laid-out size; the bars come on top of it.
    m_form->setMinimumSize(m_form->sizeHint());
    resize(sizeHint());
    move(352, 105);
}

TMainWindow::~TMainWindow() = default;

void TMainWindow::watchLine() {
    m_watch = new LineWatch(this);
    // The device as the form names it at each fact: the port box's port and the address box's address.
    const auto device = [this] {
        m_watch->SetDevice(DeviceKey{m_form->Comm1->CommName(), m_form->Address()});
    };
    device();
    m_watch->SetPolling(m_form->CheckBox2->isChecked());
    connect(m_form, &TForm1::trafficRecorded, m_watch, [this, device](const TrafficRecord& record) {
        device();
        m_watch->Take(record);
    });
    connect(m_form, &TForm1::portEvent, m_watch, [this, device](PortEvent event) {
        if (event == PortEvent::OpenFailed || event == PortEvent::Opening)
            return;
        device();
        m_watch->OnPort(event == PortEvent::Opened   ? PortChange::Opened
                        : event == PortEvent::Closed ? PortChange::Closed
                                                     : PortChange::Vanished);
    });
    connect(m_form, &TForm1::operatorCommand, m_watch, [this, device](quint8 reg, quint16 value, bool sent) {
        device();
        m_watch->OnCommand(reg, value, sent);
    });
    connect(m_form->CheckBox2, &QCheckBox::toggled, m_watch, &LineWatch::SetPolling);
    connect(m_form->ComboBox1, &QComboBox::currentTextChanged, m_watch, device);
}

void TMainWindow::tellOperator() {
    m_command = new QLabel(this);
    m_command->setObjectName(QStringLiteral("commandFate"));
    statusBar()->addPermanentWidget(m_command);
    connect(m_watch, &LineWatch::commandFateChanged, this, &TMainWindow::showCommandFate);
    // After the form's display tick, which gives up a command nobody answered.
    connect(m_form->Timer2, &QTimer::timeout, m_watch, [this] {
        if (m_form->Poll().WritePending() == 0)
            m_watch->OnCommandEnded();
    });

    m_veil = new TStaleVeil(InstrumentRegion(m_form), m_form);
    connect(m_watch, &LineWatch::liveChanged, this, &TMainWindow::showLiveness);
    showLiveness();

    // While a knob is dragged, the value it will write on release, in its unit.
    const std::pair<TiKnob*, Quantity> knobs[] = {{m_form->iKnob1, Quantity::InputSetting},
                                                  {m_form->iKnob2, Quantity::MaxOutput},
                                                  {m_form->iKnob3, Quantity::MinOutput}};
    for (const auto& [knob, quantity] : knobs) {
        connect(knob, &TiKnob::OnPositionChangeUser, this, [knob, quantity] {
            if (!knob->Dragging())
                return;
            const double value = ScaledValue(quantity, KnobWriteValue(knob->Position()));
            QToolTip::showText(knob->mapToGlobal(QPoint(knob->width(), 0)),
                               QuantityValueText(quantity, value), knob);
        });
        connect(knob, &TiKnob::OnMouseUp, this, [] { QToolTip::hideText(); });
    }
}

void TMainWindow::showLiveness() {
    if (m_watch->Readings().Live())
        m_veil->ShowLive();
    else
        m_veil->ShowStale(m_watch->Readings().LastUpdateUtcMs());
}

void TMainWindow::showCommandFate() {
    const std::optional<CommandFate::Fate>& fate = m_watch->Commands().Current();
    if (!fate)
        return;
    m_command->setText(CommandFateText(*fate));
    m_command->setToolTip(CommandWithFateText(*fate));
    if (m_setPoint)
        m_setPoint->ShowFate(fate);
    if (fate->state != CommandFate::State::NotSent)
        return;
    // Said by the control the operator used, not only down in the status bar.
    QWidget* used = fate->reg == Info(Quantity::Run).reg         ? static_cast<QWidget*>(m_form->iSwitchLed1)
                    : fate->reg == Info(Quantity::MaxOutput).reg ? m_form->iKnob2
                    : fate->reg == Info(Quantity::MinOutput).reg ? m_form->iKnob3
                                                                 : m_form->iKnob1;
    QToolTip::showText(used->mapToGlobal(QPoint(used->width() / 2, used->height() / 2)),
                       CommandFateText(*fate), used, QRect(), kBalloonMs);
}

void TMainWindow::showSetPoint(Quantity quantity) {
    if (!m_setPoint) {
        const auto range = [](TiKnob* knob, Quantity q) {
            const double divisor = Info(q).divisor;
            return SetPointRange{q, knob->PositionMin() / divisor, knob->PositionMax() / divisor};
        };
        TSetPointDialog::Access access;
        access.current = [this](quint8 reg) -> std::optional<quint16> {
            if (!m_watch->Readings().LastUpdateUtcMs())
                return std::nullopt;
            return quint16(m_form->Poll().Register(reg));
        };
        access.polling = [this] { return m_form->CheckBox2->isChecked(); };
        access.send = [this](quint8 reg, quint16 value) {
            if (reg == Info(Quantity::Run).reg)
                m_form->RunCommand(value);
            else
                m_form->Command(reg, value);
        };
        m_setPoint = new TSetPointDialog({range(m_form->iKnob1, Quantity::InputSetting),
                                          range(m_form->iKnob2, Quantity::MaxOutput),
                                          range(m_form->iKnob3, Quantity::MinOutput)},
                                         std::move(access), this);
        connect(m_watch, &LineWatch::detected, m_setPoint, [this](const EventDetector::Output& out) {
            if (out.block && m_setPoint->isVisible())
                m_setPoint->Refresh();
        });
        connect(m_form->CheckBox2, &QCheckBox::toggled, m_setPoint, &TSetPointDialog::Refresh);
        m_setPoint->ShowFate(m_watch->Commands().Current());
    }
    m_setPoint->ShowFor(quantity);
}

void TMainWindow::showAlarms() {
    // The strip above the form, outside it: the form keeps its size and every control its place.
    auto* centre = new QWidget(this);
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_alarmStrip = new TAlarmStrip(m_watch, centre);
    column->addWidget(m_alarmStrip);
    column->addWidget(m_form);
    setCentralWidget(centre);
    // The window grows and shrinks with the strip's lines, so that the form keeps its laid-out height.
    connect(m_alarmStrip, &TAlarmStrip::linesChanged, this, [this] {
        if (!isVisible() || isMaximized() || isFullScreen())
            return;
        // Laid out now, not when the layouts' requests come round: the window's least height follows
        // the strip at once (else it would hold a shrinking window up), and the form's height is known.
        m_alarmStrip->layout()->activate();
        centralWidget()->layout()->activate();
        layout()->activate();
        const int spare = m_form->height() - m_form->minimumHeight();
        if (spare != 0)
            resize(width(), height() - spare);
    });
}

void TMainWindow::createMenus() {
    m_fileMenu = menuBar()->addMenu(QString());
    SaveTrafficAction = m_fileMenu->addAction(QString());
    m_connections = new TConnectionMenu(m_form, m_fileMenu, SaveTrafficAction, this);
    m_fileMenu->addSeparator();
    QuitAction = m_fileMenu->addAction(QString());
    QuitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QuitAction->setMenuRole(QAction::QuitRole);
    connect(QuitAction, &QAction::triggered, this, &QWidget::close);

    m_viewMenu = menuBar()->addMenu(QString());
    MonitorAction = m_viewMenu->addAction(QString());
    MonitorAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    ScanAction = m_viewMenu->addAction(QString());
    ScanAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    TrendAction = m_viewMenu->addAction(QString());
    TrendAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    TrendAction->setEnabled(false);
    EventsAction = m_viewMenu->addAction(QString());
    EventsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    EventsAction->setEnabled(false);
    RegistersAction = m_viewMenu->addAction(QString());
    RegistersAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    // From the tool windows too, which have no menu of their own.
    RegistersAction->setShortcutContext(Qt::ApplicationShortcut);
    m_viewMenu->addSeparator();
    AcknowledgeAction = m_viewMenu->addAction(QString());
    AcknowledgeAction->setShortcut(QKeySequence(Qt::Key_F4));
    // Also from the tool windows, wherever the operator is when the alarm comes.
    AcknowledgeAction->setShortcutContext(Qt::ApplicationShortcut);
    AcknowledgeAction->setEnabled(false);
    connect(AcknowledgeAction, &QAction::triggered, m_alarmStrip, &TAlarmStrip::acknowledge);
    connect(m_alarmStrip, &TAlarmStrip::acknowledgeable, AcknowledgeAction, &QAction::setEnabled);
    AlarmSoundAction = m_viewMenu->addAction(QString());
    AlarmSoundAction->setCheckable(true);
    AlarmSoundAction->setChecked(PanelSettings().value(kAlarmSoundKey, false).toBool());
    m_alarmStrip->SetSound(AlarmSoundAction->isChecked());
    connect(AlarmSoundAction, &QAction::toggled, this, [this](bool on) {
        m_alarmStrip->SetSound(on);
        PanelSettings().setValue(kAlarmSoundKey, on);
    });
    m_viewMenu->addSeparator();
    m_languageMenu = m_viewMenu->addMenu(QString());
    auto* languages = new QActionGroup(this);
    for (Language language : {Language::Chinese, Language::English}) {
        // Each language is named in itself, so that anyone finds theirs.
        QAction* action = m_languageMenu->addAction(LanguageName(language));
        action->setCheckable(true);
        action->setData(LanguageCode(language));
        languages->addAction(action);
        LanguageActions << action;
    }
    connect(languages, &QActionGroup::triggered, this, &TMainWindow::chooseLanguage);
    connect(MonitorAction, &QAction::triggered, this, &TMainWindow::showMonitor);
    connect(SaveTrafficAction, &QAction::triggered, this, &TMainWindow::saveTraffic);
    connect(ScanAction, &QAction::triggered, this, &TMainWindow::showBusScan);
    connect(RegistersAction, &QAction::triggered, this, &TMainWindow::showRegisters);

    m_deviceMenu = menuBar()->addMenu(QString());
    SetPointAction = m_deviceMenu->addAction(QString());
    SetPointAction->setShortcut(QKeySequence(Qt::Key_F2));
    // From the tool windows too.
    SetPointAction->setShortcutContext(Qt::ApplicationShortcut);
    connect(SetPointAction, &QAction::triggered, this, [this] { showSetPoint(); });

    m_helpMenu = menuBar()->addMenu(QString());
    AboutAction = m_helpMenu->addAction(QString());
    AboutAction->setMenuRole(QAction::AboutRole);
    connect(AboutAction, &QAction::triggered, this, &TMainWindow::showAbout);
    retranslateUi();
}

void TMainWindow::retranslateUi() {
    m_fileMenu->setTitle(tr("文件"));
    SaveTrafficAction->setText(tr("保存通讯记录…"));
    QuitAction->setText(tr("退出"));
    m_viewMenu->setTitle(tr("查看"));
    MonitorAction->setText(tr("通讯监视"));
    ScanAction->setText(tr("总线扫描"));
    TrendAction->setText(tr("趋势"));
    EventsAction->setText(tr("事件记录"));
    RegistersAction->setText(tr("寄存器"));
    m_connections->Retranslate();
    AcknowledgeAction->setText(tr("确认报警"));
    AlarmSoundAction->setText(tr("报警声音"));
    m_languageMenu->setTitle(tr("语言"));
    m_deviceMenu->setTitle(tr("设备"));
    SetPointAction->setText(tr("设定值…"));
    m_helpMenu->setTitle(tr("帮助"));
    AboutAction->setText(tr("关于"));
    const QString current = LanguageCode(CurrentLanguage());
    for (QAction* action : LanguageActions)
        action->setChecked(action->data().toString() == current);
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // The status bar's room changed with the window's width.
    if (m_statusTimer)
        scheduleStatus();
}

void TMainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi();
        refreshStatus();
        showCommandFate();
    }
    QMainWindow::changeEvent(event);
}

void TMainWindow::chooseLanguage(QAction* action) {
    const std::optional<Language> language = LanguageFromCode(action->data().toString());
    if (!language)
        return;
    // Remembered over the system's choice for the next start, though not over --lang.
    SaveLanguage(*language);
    if (!ApplyLanguage(*language)) {
        QMessageBox::warning(this, windowTitle(), tr("找不到英文翻译文件，界面保持中文。"));
        retranslateUi();
    }
}

void TMainWindow::scheduleStatus() {
    if (!m_statusTimer->isActive())
        m_statusTimer->start();
}

void TMainWindow::refreshStatus() {
    m_statusTimer->stop();
    LineStatusFacts facts;
    TComm* comm = m_form->Comm1;
    facts.open = comm->IsOpen();
    facts.connecting = m_form->Connecting();
    facts.reconnecting = m_form->Reconnecting();
    facts.port = comm->CommName();
    facts.overTcp = comm->IsNetworkPort();
    facts.baudRate = comm->BaudRate();
    // What the line runs on, which a bus scan's sweep changes without the boxes.
    facts.format = LineFormatText(comm->Parity(), comm->StopBits());
    facts.address = m_form->Address();
    const TrafficStats& stats = m_line->Stats();
    // The whole text in the tip; on the bar, what fits, with nothing the operator needs cut.
    const QString whole = LineStatusText(facts, stats);
    const int room = m_status->contentsRect().width() - 2 * m_status->margin();
    m_status->setText(m_status->isVisible() && room > 0
                          ? FittedLineStatusText(facts, stats, m_status->fontMetrics(), room)
                          : whole);
    m_status->setToolTip(whole);
    // Over TCP the device server sets the line's baud rate and format; the boxes keep their texts.
    const QString notOverTcp =
        facts.overTcp ? tr("经TCP连接时不起作用：波特率和格式由设备服务器决定。") : QString();
    m_form->ComboBox5->setToolTip(notOverTcp);
    m_form->ComboBox6->setToolTip(notOverTcp);
    emit m_line->refreshed();
}

void TMainWindow::showMonitor() {
    if (!m_monitor)
        m_monitor = new TTrafficMonitor(m_line, this);
    m_monitor->ShowBeside();
}

void TMainWindow::saveTraffic() {
    SaveTrafficAs(this, m_line->StartUs(), [this] {
        const TrafficBuffer& buffer = m_line->Traffic();
        return TrafficRange{buffer.Size(),
                            [&buffer](qsizetype i) -> const TrafficRecord& { return buffer.At(i); }};
    });
}

void TMainWindow::showBusScan() {
    if (!m_busScan)
        m_busScan = new TBusScanWindow(m_line, this);
    m_busScan->show();
    m_busScan->raise();
    m_busScan->activateWindow();
}

void TMainWindow::showRegisters() {
    if (!m_registers) {
        m_registers = new TRegisterWindow(&m_watch->Registers(), this);
        connect(m_registers, &TRegisterWindow::writeRequested, this, &TMainWindow::showSetPoint);
    }
    m_registers->show();
    m_registers->raise();
    m_registers->activateWindow();
}

void TMainWindow::showAbout() {
    QMessageBox::about(this, tr("关于"),
                       tr("<b>Z7 Panel</b> %1<br>Z7 三相功率控制器的 Modbus RTU 控制面板。")
                           .arg(QCoreApplication::applicationVersion()));
}

bool TMainWindow::AttachHistory(THistoryHook* history, const QString& path) {
    QString why;
    if (!history->Start(path, &why)) {
        const QString text = tr("历史记录无法打开，本次运行不记录数据。");
        std::fprintf(stderr, "history: %s\n", qPrintable(why));
        // Not modal: the panel works on while the message stands.
        auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
        box->setInformativeText(why);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QTimer::singleShot(0, box, &QWidget::show);
        return false;
    }
    if (history->SharedWithAnotherPanel()) {
        std::fprintf(stderr, "history: another panel is recording into %s too\n", qPrintable(path));
        auto* box = new QMessageBox(QMessageBox::Information, windowTitle(),
                                    tr("另一个面板也在向这个历史记录文件写入。"), QMessageBox::Ok, this);
        box->setInformativeText(tr("%1\n\n两个面板的记录都存进这个文件，事件窗口和趋势里都能看到。"
                                   "若不想混在一起，请用 --history 给每个面板一个文件。")
                                    .arg(path));
        box->setObjectName(QStringLiteral("sharedHistory"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QTimer::singleShot(0, box, &QWidget::show);
    }
    TrendAction->setEnabled(true);
    EventsAction->setEnabled(true);
    connect(TrendAction, &QAction::triggered, history, [this, history] { history->showTrend(this); });
    connect(EventsAction, &QAction::triggered, history, [this, history] { history->showEvents(this); });
    // The failure stands until recording works again, not for the rest of the run.
    auto shown = std::make_shared<QString>();
    connect(history, &THistoryHook::failed, this, [this, shown](const QString& failure) {
        *shown = tr("历史记录写入失败：%1").arg(failure);
        statusBar()->showMessage(*shown);
    });
    connect(history, &THistoryHook::recovered, this, [this, shown] {
        if (statusBar()->currentMessage() == *shown)
            statusBar()->clearMessage();
        shown->clear();
    });
    return true;
}
