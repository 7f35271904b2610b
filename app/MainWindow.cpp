#include "MainWindow.h"

#include "LineStatus.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

namespace {

constexpr int kStatusDelayMs = 250;

bool IsTcpPortName(const QString& name) {
    return name.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
}

} // namespace

TMainWindow::TMainWindow(std::unique_ptr<TCommPort> port, QWidget* parent) : QMainWindow(parent) {
    m_form = new TForm1(std::move(port), this);
    setCentralWidget(m_form);
    setWindowTitle(m_form->windowTitle());

    createMenus();
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lineStatus"));
    statusBar()->addWidget(m_status, 1);
    m_statusTimer = new QTimer(this);
    m_statusTimer->setSingleShot(true);
    m_statusTimer->setInterval(kStatusDelayMs);
    connect(m_statusTimer, &QTimer::timeout, this, &TMainWindow::refreshStatus);

    connect(m_form, &TForm1::trafficRecorded, this, &TMainWindow::record);
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

void TMainWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("文件"));
    SaveTrafficAction = file->addAction(tr("保存通讯记录…"));
    file->addSeparator();
    QuitAction = file->addAction(tr("退出"));
    QuitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QuitAction->setMenuRole(QAction::QuitRole);
    connect(QuitAction, &QAction::triggered, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("查看"));
    MonitorAction = view->addAction(tr("通讯监视"));
    MonitorAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    ScanAction = view->addAction(tr("总线扫描"));
    ScanAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));

    QMenu* help = menuBar()->addMenu(tr("帮助"));
    AboutAction = help->addAction(tr("关于"));
    AboutAction->setMenuRole(QAction::AboutRole);
    connect(AboutAction, &QAction::triggered, this, &TMainWindow::showAbout);
}

void TMainWindow::record(const TrafficRecord& record) {
    m_traffic.Append(record);
    m_stats.Add(record);
    emit trafficAdded(record);
    scheduleStatus();
}

void TMainWindow::ResetStats() {
    m_stats.Reset();
    refreshStatus();
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
    facts.port = comm->CommName();
    facts.overTcp = IsTcpPortName(facts.port);
    facts.baudRate = comm->BaudRate();
    facts.format = m_form->ComboBox6->currentText();
    facts.address = m_form->Address();
    m_status->setText(LineStatusText(facts, m_stats));
}

void TMainWindow::showAbout() {
    QMessageBox::about(this, tr("关于"),
                       tr("<b>Z7 Panel</b> %1<br>Z7 三相功率控制器的 Modbus RTU 控制面板。")
                           .arg(QCoreApplication::applicationVersion()));
}
