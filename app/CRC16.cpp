#include "CRC16.h"

#include "Controls.h"
#include "DisplayRefresh.h"
#include "FormLayout.h"
#include "ModbusFrame.h"
#include "SerialPorts.h"
#include "TextToInt.h"
#include "UpDown.h"
#include "iAnalogDisplay.h"
#include "iAnalogOutput.h"
#include "iKnob.h"
#include "iLabel.h"
#include "iLedBar.h"
#include "iLedRound.h"
#include "iLinearGauge.h"
#include "iSwitchLed.h"
#include "iThermometer.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace {

// How soon a command waiting for the line looks again while bytes of an answer are coming in.
constexpr int kWriteRecheckMs = 10;

// The window's texts in the layout's Chinese, the source of their translations (RetranslateUi).
const char* const kBanner = QT_TRANSLATE_NOOP("TForm1", "Z7_三相控制界面  ");
const char* const kPortLabel = QT_TRANSLATE_NOOP("TForm1", "端口: ");
const char* const kBaudLabel = QT_TRANSLATE_NOOP("TForm1", "波特率:   ");
const char* const kFormatLabel = QT_TRANSLATE_NOOP("TForm1", "位元: ");
const char* const kAddressLabel = QT_TRANSLATE_NOOP("TForm1", "地址:   ");
const char* const kCommBox = QT_TRANSLATE_NOOP("TForm1", "通讯");
const char* const kAlarmsLabel = QT_TRANSLATE_NOOP("TForm1", "警报：");
const char* const kOpenCaption = QT_TRANSLATE_NOOP("TForm1", "打开串口");
const char* const kCloseCaption = QT_TRANSLATE_NOOP("TForm1", "关闭串口");
const char* const kCancelCaption = QT_TRANSLATE_NOOP("TForm1", "取消");
const char* const kOpenError = QT_TRANSLATE_NOOP("TForm1", "打开串口错误");
// The captions of the instrument layout's labels, which the layout resource holds as they stand.
[[maybe_unused]] const char* const kLayoutCaptions[] = {QT_TRANSLATE_NOOP("Form1Layout", "温度："),
                                                        QT_TRANSLATE_NOOP("Form1Layout", "输入："),
                                                        QT_TRANSLATE_NOOP("Form1Layout", "输入量："),
                                                        QT_TRANSLATE_NOOP("Form1Layout", "输出量："),
                                                        QT_TRANSLATE_NOOP("Form1Layout", "最小输出量限制："),
                                                        QT_TRANSLATE_NOOP("Form1Layout", "最大输出量限制：")};

// The waits before the tries at a lost network connection: the first, doubled after each failed try up
// to the last.
constexpr int kFirstReconnectMs = 1000;
constexpr int kLastReconnectMs = 30000;

const char* const kSongTi = "宋体";
const char* const kSans = "MS Sans Serif";

void SetRole(QWidget* w, QPalette::ColorRole role, TColor color) {
    QPalette pal = w->palette();
    pal.setColor(role, ColorToQColor(color));
    w->setPalette(pal);
}

// A label with its caption still untranslated; RetranslateUi gives the shown one.
TLabel* NewLabel(QWidget* parent, const char* text, const QFont& font, int left, int top, int width,
                 int height) {
    auto* label = new TLabel(QString::fromUtf8(text), parent, left, top, width, height);
    label->setFont(font);
    return label;
}

QLabel* NewPicture(QWidget* parent, const QPixmap& picture, int left, int top) {
    auto* image = new QLabel(parent);
    image->setPixmap(picture);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->setGeometry(left, top, 33, 33);
    return image;
}

// The list position follows the text shown, the item with exactly that text or none, so that the arrow
// keys and the wheel go on from what the operator sees.
void FollowText(QComboBox* combo) {
    const int index = combo->findText(combo->currentText());
    if (index == combo->currentIndex())
        return;
    if (index >= 0) {
        combo->setCurrentIndex(index); // the item's text is the text shown: the edit field stays as it is
        return;
    }
    // Leaving the list empties the edit field too: the text, and the cursor of an operator typing, are put
    // back without anyone hearing of it.
    QLineEdit* edit = combo->lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    const QSignalBlocker blockCombo(combo), blockEdit(edit);
    combo->setCurrentIndex(-1);
    edit->setText(text);
    edit->setCursorPosition(cursor);
}

template <typename Combo>
Combo* NewCombo(QWidget* parent, int left, int top, int width, const QStringList& items, const char* text) {
    auto* combo = new Combo(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    // Typed texts are taken as typed, so no completion may change them.
    combo->setCompleter(nullptr);
    combo->addItems(items);
    QObject::connect(combo, &QComboBox::editTextChanged, combo, [combo] { FollowText(combo); });
    combo->setEditText(QString::fromUtf8(text));
    combo->setGeometry(left, top, width, 21);
    return combo;
}

QTextEdit* NewMemo(QWidget* parent, int left, int top) {
    auto* memo = new QTextEdit(parent);
    memo->setGeometry(left, top, 73, 27);
    memo->setFont(LayoutFont(kSongTi, 19, true));
    memo->setFrameStyle(QFrame::Box | QFrame::Plain);
    memo->setLineWidth(1);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setAcceptRichText(false);
    memo->document()->setDocumentMargin(1);
    QTextOption option = memo->document()->defaultTextOption();
    option.setAlignment(Qt::AlignRight);
    memo->document()->setDefaultTextOption(option);
    memo->setPlainText(QStringLiteral("0"));
    SetRole(memo, QPalette::Base, cl3DLight);
    return memo;
}

QStringList Numbers(int first, int last) {
    QStringList list;
    for (int i = first; i <= last; ++i)
        list << QString::number(i);
    return list;
}

// Why a port did not open, as far as the system tells without touching the device again.
QString OpenFailureCause(const QString& portName) {
    const QByteArray path = QFile::encodeName(portName);
    if (::access(path.constData(), R_OK | W_OK) == 0)
        return TForm1::tr("%1: 设备存在，可能正被另一个程序使用。").arg(portName);
    return DescribeOpenFailure(portName, errno);
}

} // namespace

QString DescribeOpenFailure(const QString& portName, int error) {
    QString cause = QStringLiteral("%1: %2").arg(portName, QString::fromLocal8Bit(std::strerror(error)));
    if (error == EACCES || error == EPERM)
        cause += u'\n' +
                 TForm1::tr("串口属于 dialout 组：请运行 'sudo usermod -aG dialout $USER'，然后重新登录。");
    return cause;
}

TPortComboBox::TPortComboBox(QWidget* parent) : QComboBox(parent) {}

void TPortComboBox::RefreshItems() {
    // Rebuilding the list must not change what the box shows or what the port will be.
    const QString text = currentText();
    const QSignalBlocker block(this);
    clear();
    for (int i = 1; i <= 9; ++i)
        addItem(QStringLiteral("COM%1").arg(i));
    addItems(ListSerialDevices());
    setEditText(text);
    FollowText(this);
}

void TPortComboBox::showPopup() {
    RefreshItems();
    QComboBox::showPopup();
}

TForm1::TForm1(QWidget* parent) : TForm1(nullptr, parent) {}

TForm1::TForm1(std::unique_ptr<TCommPort> port, QWidget* parent)
    : QWidget(parent),
      m_poll(ModbusLink{[this](const char* data, quint16 length) { return Comm1->SendData(data, length); },
                        [](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); },
                        [this](const TrafficRecord& record) { emit trafficRecorded(record); },
                        [this] { return int(std::min<quint32>(Comm1->ReadIntervalTimeout(), INT_MAX)); },
                        [this] { return Comm1->Receiving(); }}),
      m_portLayer(std::move(port)) {
    CreateLayout();
    RetranslateUi();
    ConnectHandlers();
    FormCreate(this);
}

TForm1::~TForm1() {
    // The port goes before the widgets its events would reach.
    Comm1->ClosePort();
    // Closing the window moves the focus out of an edited box, which may report a change; no handler
    // may run on a window that is half destroyed.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
}

void TForm1::CreateLayout() {
    setWindowTitle(QStringLiteral("QM_Modbus RTU"));
    move(352, 105);
    resize(801, 556);
    setFont(LayoutFont(kSans, 11));
    setAutoFillBackground(true);
    SetRole(this, QPalette::Window, clAppWorkSpace);

    Label1 = NewLabel(this, kBanner, LayoutFont(kSans, 20, true, true), 0, 0, 801, 24);
    Label1->SetAlignment(TLabel::taCenter);
    Label1->SetColor(clHotLight);
    Label1->SetFontColor(clWhite);

    Panel2 = new TPanel(this, cl3DLight);
    Panel2->setGeometry(0, 24, 801, 521);

    Panel3 = new TPanel(Panel2, clScrollBar, TPanel::bvLowered, TPanel::bvLowered);
    Panel3->setGeometry(512, -3, 297, 140);
    QFont boldFont = font();
    boldFont.setBold(true);
    Panel3->setFont(boldFont);
    const QFont portLabelFont = LayoutFont(kSongTi, 16, true);
    Label23 = NewLabel(Panel3, kPortLabel, portLabelFont, 58, 10, 52, 16);
    Label25 = NewLabel(Panel3, kBaudLabel, portLabelFont, 42, 34, 87, 16);
    Label26 = NewLabel(Panel3, kFormatLabel, portLabelFont, 58, 66, 52, 16);
    Image9 = NewPicture(Panel3, UnlitLampPicture(), 136, 96);
    Image20 = NewPicture(Panel3, LitLampPicture(), 136, 96);
    ComboBox4 = NewCombo<TPortComboBox>(Panel3, 106, 2, 97, {}, "COM4");
    ComboBox4->RefreshItems();
    QStringList baudRates;
    for (const quint32 rate : BaudRateChoices())
        baudRates.append(QString::number(rate));
    ComboBox5 = NewCombo<QComboBox>(Panel3, 106, 34, 97, baudRates, "19200");
    ComboBox6 = NewCombo<QComboBox>(Panel3, 106, 66, 97, LineFormatChoices(), "8_N_2");
    BitBtn7 = new QPushButton(Panel3);
    BitBtn7->setGeometry(58, 96, 65, 35);

    Panel5 = new TPanel(Panel2, clScrollBar, TPanel::bvLowered, TPanel::bvLowered);
    Panel5->setGeometry(-8, -1, 521, 41);
    Image7 = NewPicture(Panel5, UnlitLampPicture(), 88, 8);
    Label9 = NewLabel(Panel5, kAddressLabel, LayoutFont(kSongTi, 19), 160, 8, 78, 19);
    Image14 = NewPicture(Panel5, LitLampPicture(), 88, 8);
    CheckBox2 = new QCheckBox(Panel5);
    CheckBox2->setGeometry(24, 8, 49, 25);
    SetRole(CheckBox2, QPalette::WindowText, clMaroon);
    ComboBox1 = NewCombo<QComboBox>(Panel5, 208, 8, 49, Numbers(1, 255), "1");

    Memo12 = NewMemo(Panel2, 520, 487);
    Memo13 = NewMemo(Panel2, 608, 487);

    Panel1 = new TPanel(Panel2);
    Panel1->setGeometry(0, 40, 513, 97);
    Label2 = NewLabel(Panel1, kAlarmsLabel, font(), 8, 8, -1, -1);
    Panel4 = new TPanel(Panel2);
    Panel4->setGeometry(624, 136, 177, 177);
    Panel6 = new TPanel(Panel2);
    Panel6->setGeometry(-8, 136, 633, 177);
    Panel7 = new TPanel(Panel2);
    Panel7->setGeometry(448, 312, 185, 145);
    Panel8 = new TPanel(Panel2);
    Panel8->setGeometry(632, 312, 169, 145);
    Panel10 = new TPanel(Panel2);
    Panel10->setGeometry(224, 312, 225, 209);
    Panel11 = new TPanel(Panel2);
    Panel11->setGeometry(0, 312, 225, 209);

    CreateInstruments();

    Comm1 = m_portLayer ? new TComm(std::move(m_portLayer), this) : new TComm(this);
    Comm1->setObjectName(QStringLiteral("Comm1"));
    Comm1->SetCommName(QStringLiteral("COM4"));
    Comm1->SetBaudRate(19200);
    Comm1->SetByteSize(TComm::_8);
    Comm1->SetParity(TComm::None);
    // "8_N_2", the format the box starts with, means two stop bits.
    Comm1->SetStopBits(TComm::_2);
    Comm1->SetParityCheck(false);
    Comm1->SetOutx_CtsFlow(false);
    Comm1->SetOutx_DsrFlow(false);
    Comm1->SetDsrSensitivity(false);
    Comm1->SetOutx_XonXoffFlow(false);
    Comm1->SetInx_XonXoffFlow(false);
    Comm1->SetReplaceWhenParityError(false);
    Comm1->SetIgnoreNullChar(false);
    Comm1->SetTxContinueOnXoff(true);
    Comm1->SetDtrControl(TComm::DtrEnable);
    Comm1->SetRtsControl(TComm::RtsDisable);
    Comm1->SetXonLimit(500);
    Comm1->SetXoffLimit(500);
    Comm1->SetXonChar(0x11);
    Comm1->SetXoffChar(0x13);
    Comm1->SetReplacedChar(0x00);
    Comm1->SetReadIntervalTimeout(100);
    Comm1->SetReadTotalTimeoutMultiplier(0);
    Comm1->SetReadTotalTimeoutConstant(0);
    Comm1->SetWriteTotalTimeoutMultiplier(0);
    Comm1->SetWriteTotalTimeoutConstant(0);

    // Ctl3D off: the standard controls are flat, as the memos are. Made last, the style goes after them.
    auto* flat = new TFlatStyle(this);
    for (QWidget* control :
         std::initializer_list<QWidget*>{ComboBox4, ComboBox5, ComboBox6, ComboBox1, CheckBox2})
        control->setStyle(flat);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setInterval(500);
    m_writeWait = new QTimer(this);
    m_writeWait->setSingleShot(true);
}

void TForm1::CreateInstruments() {
    const QHash<QString, QWidget*> panels = {{"Panel1", Panel1}, {"Panel2", Panel2},   {"Panel4", Panel4},
                                             {"Panel5", Panel5}, {"Panel6", Panel6},   {"Panel7", Panel7},
                                             {"Panel8", Panel8}, {"Panel10", Panel10}, {"Panel11", Panel11}};
    for (auto it = panels.cbegin(); it != panels.cend(); ++it)
        it.value()->setObjectName(it.key());
    QFile file(QStringLiteral(":/layout/Form1.layout"));
    if (!file.open(QIODevice::ReadOnly))
        throw ELayoutError("the window layout is not in the program");
    const QHash<QString, QWidget*> widgets = ReadFormLayout(QString::fromUtf8(file.readAll()), panels);
    // The handlers need these widgets; a layout without them is a broken program, not a user error.
    auto get = [&widgets]<typename T>(T*& field, const QString& name) {
        field = qobject_cast<T*>(widgets.value(name));
        if (!field)
            throw ELayoutError(QStringLiteral("the window layout lacks %1").arg(name).toStdString());
    };
    get(iSwitchLed1, QStringLiteral("iSwitchLed1"));
    for (int i = 0; i < int(iLedRound.size()); ++i)
        get(iLedRound[i], QStringLiteral("iLedRound%1").arg(i + 1));
    get(iThermometer1, QStringLiteral("iThermometer1"));
    get(iAnalogOutput1, QStringLiteral("iAnalogOutput1"));
    get(iAnalogOutput2, QStringLiteral("iAnalogOutput2"));
    get(iAnalogOutput3, QStringLiteral("iAnalogOutput3"));
    get(iAnalogOutput4, QStringLiteral("iAnalogOutput4"));
    get(iKnob1, QStringLiteral("iKnob1"));
    get(iKnob2, QStringLiteral("iKnob2"));
    get(iKnob3, QStringLiteral("iKnob3"));
    get(iLedBar1, QStringLiteral("iLedBar1"));
    get(iLedBar2, QStringLiteral("iLedBar2"));
    get(UpDown1, QStringLiteral("UpDown1"));
    for (int i = 0; i < int(iAnalogDisplay.size()); ++i)
        get(iAnalogDisplay[i], QStringLiteral("iAnalogDisplay%1").arg(i + 1));
    get(iLinearGauge1, QStringLiteral("iLinearGauge1"));
    // The layout's own captions are translated as they stand; the LED names are the same in every
    // language and have no translation.
    for (QWidget* w : widgets)
        if (auto* label = qobject_cast<TiLabel*>(w))
            m_layoutCaptions.insert(label, label->Caption().toUtf8());
}

void TForm1::ConnectHandlers() {
    // Only the operator's choices and typing count as changes, not the program's own updates.
    connect(ComboBox4, &QComboBox::textActivated, this, [this] { ComboBox4Change(ComboBox4); });
    connect(ComboBox4->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox4Change(ComboBox4); });
    connect(ComboBox5, &QComboBox::textActivated, this, [this] { ComboBox5Change(ComboBox5); });
    connect(ComboBox5->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox5Change(ComboBox5); });
    connect(ComboBox6, &QComboBox::textActivated, this, [this] { ComboBox6Change(ComboBox6); });
    connect(ComboBox6->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox6Change(ComboBox6); });
    connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(BitBtn7); });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBox2Click(CheckBox2); });
    connect(Comm1, &TComm::OnReceiveData, this, &TForm1::Comm1ReceiveData);
    connect(Comm1, &TComm::OnRequestHangup, this, &TForm1::Comm1RequestHangup);
    connect(Comm1, &TComm::OnOpenDone, this, &TForm1::Comm1OpenDone);
    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setSingleShot(true);
    connect(m_reconnectTimer, &QTimer::timeout, this, &TForm1::Reconnect);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(Timer2); });
    connect(m_writeWait, &QTimer::timeout, this, &TForm1::SendWaitingWrite);
    connect(iKnob1, &TiComponent::OnClick, this, [this] { iKnob1Click(iKnob1); });
    connect(iKnob2, &TiComponent::OnClick, this, [this] { iKnob2Click(iKnob2); });
    connect(iKnob3, &TiComponent::OnClick, this, [this] { iKnob3Click(iKnob3); });
    connect(iSwitchLed1, &TiSwitchLed::OnChange, this, [this] { iSwitchLed1Change(iSwitchLed1); });
    connect(iAnalogOutput2, &TiComponent::OnMouseDown, this,
            [this](TMouseButton b, TShiftState s, int x, int y) {
                iAnalogOutput2MouseDown(iAnalogOutput2, b, s, x, y);
            });
    connect(iAnalogOutput2, &TiComponent::OnMouseUp, this,
            [this](TMouseButton b, TShiftState s, int x, int y) {
                iAnalogOutput2MouseUp(iAnalogOutput2, b, s, x, y);
            });
    // Both timers run from creation to the end; the communication box gates polling, not the timers.
    Timer1->start();
    Timer2->start();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    // The banner is aligned to the top: it spans the window's width.
    Label1->setGeometry(0, 0, width(), 24);
    QWidget::resizeEvent(event);
}

void TForm1::PresetPort(const QString& name) {
    ComboBox4->setEditText(name);
    Comm1->SetCommName(name);
}

void TForm1::SetOpenLook(bool open) {
    m_openLook = open;
    BitBtn7->setText(Connecting() ? tr(kCancelCaption) : open ? tr(kCloseCaption) : tr(kOpenCaption));
}

void TForm1::RetranslateUi() {
    Label1->SetCaption(tr(kBanner));
    Label23->SetCaption(tr(kPortLabel));
    Label25->SetCaption(tr(kBaudLabel));
    Label26->SetCaption(tr(kFormatLabel));
    Label9->SetCaption(tr(kAddressLabel));
    Label2->SetCaption(tr(kAlarmsLabel));
    CheckBox2->setText(tr(kCommBox));
    SetOpenLook(m_openLook);
    for (auto it = m_layoutCaptions.cbegin(); it != m_layoutCaptions.cend(); ++it)
        it.key()->SetCaption(QCoreApplication::translate("Form1Layout", it.value().constData()));
}

void TForm1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        RetranslateUi();
    QWidget::changeEvent(event);
}

void TForm1::FormCreate(QObject*) {
    Image14->hide();
    Image7->show();
    Image20->hide();
}

void TForm1::ComboBox4Change(QObject*) {
    Comm1->SetCommName(ComboBox4->currentText());
}

void TForm1::ComboBox5Change(QObject*) {
    Comm1->SetBaudRate(static_cast<quint32>(TextToInt(ComboBox5->currentText())));
}

void TForm1::ComboBox6Change(QObject*) {
    if (const std::optional<LineFormat> format = LineFormatFromText(ComboBox6->currentText()))
        ApplyLineFormat(*Comm1, *format);
}

void TForm1::BitBtn7Click(QObject*) {
    // The button's caption says which click this is; the state behind it decides, whatever language
    // the caption is in.
    if (Connecting()) {
        Comm1->CancelOpenPort();
        ClosePortPath();
        emit portEvent(PortEvent::OpenFailed);
        return;
    }
    if (m_openLook) {
        // A port that is being connected again is closed too: the retries end.
        Comm1->CancelOpenPort();
        const bool retrying = StopReconnecting();
        if (ClosePortPath() || retrying)
            emit portEvent(PortEvent::Closed);
        return;
    }
    SetOpenLook(true);
    Image9->hide();
    Image20->show();
    try {
        if (!Comm1->BeginOpenPort()) {
            // A network port connects meanwhile, and the button cancels that (Comm1OpenDone ends it).
            SetOpenLook(true);
            emit portEvent(PortEvent::Opening);
            return;
        }
    } catch (const ECommsError& error) {
        // The panel keeps the open look: the next click closes, which is harmless on a closed port.
        emit portEvent(PortEvent::OpenFailed);
        ShowOpenError(error);
        return;
    }
    emit portEvent(PortEvent::Opened);
}

bool TForm1::ClosePortPath() {
    const bool wasOpen = Comm1->IsOpen();
    SetOpenLook(false);
    Comm1->ClosePort();
    Image20->hide();
    Image9->show();
    return wasOpen;
}

void TForm1::ShowOpenError(const ECommsError& error) {
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setText(tr(kOpenError));
    QString details = error.Message();
    if (error.Message() == u"Error opening serial port") {
        // A network port tells its own cause (refused, unknown host, no answer); a device leaves it to
        // the system.
        const QString cause = Comm1->LastPortError();
        details += u'\n' + (cause.isEmpty() ? OpenFailureCause(Comm1->CommName()) : cause);
    }
    box.setDetailedText(details);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void TForm1::Comm1OpenDone(QObject*, const QString& Error) {
    if (Reconnecting()) {
        if (!Error.isEmpty()) {
            ReconnectLater();
            return;
        }
        m_reconnectDelayMs = 0;
        emit portEvent(PortEvent::Opened);
        return;
    }
    // The caption goes from "取消" back to "关闭串口"; a failed opening keeps the open look, as a device's.
    SetOpenLook(true);
    if (!Error.isEmpty()) {
        emit portEvent(PortEvent::OpenFailed);
        ShowOpenError(ECommsError(Error));
        return;
    }
    emit portEvent(PortEvent::Opened);
}

void TForm1::Reconnect() {
    if (!Comm1->IsNetworkPort()) {
        // The port box names a device by now, which opens at the operator's click only.
        StopReconnecting();
        ClosePortPath();
        emit portEvent(PortEvent::Closed);
        return;
    }
    try {
        if (!Comm1->BeginOpenPort())
            return;
    } catch (const ECommsError&) {
        ReconnectLater();
        return;
    }
    m_reconnectDelayMs = 0;
    emit portEvent(PortEvent::Opened);
}

void TForm1::ReconnectLater() {
    m_reconnectDelayMs = std::min(2 * m_reconnectDelayMs, kLastReconnectMs);
    m_reconnectTimer->start(m_reconnectDelayMs);
}

bool TForm1::StopReconnecting() {
    const bool was = Reconnecting();
    m_reconnectTimer->stop();
    m_reconnectDelayMs = 0;
    return was;
}

void TForm1::Comm1RequestHangup(QObject*) {
    if (Reconnecting())
        return; // a late notice of the connection that is being made again
    if (Comm1->IsOpen() && Comm1->IsNetworkPort()) {
        // A lost connection is made again while the port is meant to be open: the port keeps its open
        // look, and the line is silent until the connection is back.
        Comm1->ClosePort();
        ApplyCommLamp(CommLamp::Unlit);
        m_reconnectDelayMs = kFirstReconnectMs;
        m_reconnectTimer->start(m_reconnectDelayMs);
        emit portEvent(PortEvent::Vanished);
        return;
    }
    // The port failed or the adapter was pulled: show the closed port and a silent line.
    ClosePortPath();
    ApplyCommLamp(CommLamp::Unlit);
    emit portEvent(PortEvent::Vanished);
}

void TForm1::CheckBox2Click(QObject*) {
    // Polling follows the box at each tick; the timer itself always runs, and enabling it again must
    // not restart its second.
    if (!Timer1->isActive())
        Timer1->start();
}

quint8 TForm1::Address() const {
    return SlaveAddress(ComboBox1->currentText());
}

void TForm1::ReportTraffic(const TrafficRecord& record) {
    emit trafficRecorded(record);
}

void TForm1::LendLine(LineReceiver receiver) {
    m_lineReceiver = std::move(receiver);
}

void TForm1::ApplyCommLamp(CommLamp lamp) {
    if (lamp == CommLamp::Lit) {
        Image14->show();
    } else if (lamp == CommLamp::Unlit) {
        Image14->hide();
        Image7->show();
    }
}

void TForm1::SendReadRequest(quint8 startRegister, quint8 count) {
    ApplyCommLamp(m_poll.SendReadRequest(Address(), startRegister, count));
}

void TForm1::SendWriteRequest() {
    ApplyCommLamp(m_poll.SendWriteRequest(Address()));
    WatchWaitingWrite();
}

void TForm1::SendWaitingWrite() {
    // A bus scan that took the line meanwhile awaits answers of its own: the command waits on, at most
    // until the display tick gives it up.
    if (!m_lineReceiver)
        ApplyCommLamp(m_poll.SendWaitingWrite());
    WatchWaitingWrite();
}

void TForm1::WatchWaitingWrite() {
    if (!m_poll.WriteWaiting()) {
        m_writeWait->stop();
        return;
    }
    // A delivery ends the wait too (Comm1ReceiveData); while bytes come in, look again shortly.
    const qint64 us = m_poll.AnswerDueForUs();
    m_writeWait->start(us > 0 ? int((us + 999) / 1000) : kWriteRecheckMs);
}

void TForm1::Timer1Timer(QObject*) {
    // A closed or vanished port is no line to poll: its ticks send nothing, so they are no requests.
    ApplyCommLamp(m_poll.Tick(CheckBox2->isChecked() && Comm1->IsOpen(), Address()));
}

void TForm1::Timer2Timer(QObject*) {
    const DisplayValues v = ComputeDisplay([this](int r) { return m_poll.Register(r); });
    iAnalogOutput3->SetValue(v.inputQuantity);
    iLedBar1->SetPosition(v.inputQuantity);
    iAnalogOutput4->SetValue(v.outputQuantity);
    iLedBar2->SetPosition(v.outputQuantity);
    iAnalogOutput2->SetValue(v.inputSetting);
    iThermometer1->SetPosition(v.temperature);
    iAnalogOutput1->SetValue(v.temperature);
    m_poll.WriteTimeoutStep();
    iSwitchLed1->SetActiveColor(v.switchColor);
    iSwitchLed1->SetCaption(v.switchCaption);
    for (int k = 0; k < int(iLedRound.size()); ++k)
        iLedRound[k]->SetActiveColor(v.alarmColors[k]);
    iAnalogDisplay[4]->SetValue(v.maxOutput);
    iAnalogDisplay[5]->SetValue(v.minOutput);
    for (int i = 0; i < 4; ++i)
        iAnalogDisplay[i]->SetValue(v.phaseCurrentsAndVolts[i]);
    // The full scale first, so the position is clamped to this tick's scale.
    iLinearGauge1->SetPositionMax(v.gaugeFullScale);
    iLinearGauge1->SetPosition(v.gaugePosition);
}

void TForm1::KnobCommand(TiKnob* knob, quint8 writeRegister) {
    Command(writeRegister, KnobWriteValue(knob->Position()));
}

void TForm1::Command(quint8 writeRegister, quint16 writeValue) {
    // The flag is set even when nothing is sent; the display tick times it out.
    m_poll.SetWriteCommand(writeRegister, writeValue);
    emit operatorCommand(writeRegister, writeValue, CheckBox2->isChecked());
    if (CheckBox2->isChecked())
        SendWriteRequest();
}

void TForm1::RunCommand(quint16 writeValue) {
    const std::optional<SwitchCommand> command =
        SwitchCommandFor(writeValue == 0 ? QStringLiteral("RUN") : QStringLiteral("STOP"));
    if (!command)
        return;
    Memo13->setPlainText(command->memoText);
    Command(kRunStopRegister, command->value);
}

void TForm1::iKnob1Click(QObject*) {
    KnobCommand(iKnob1, kInputSettingRegister);
}

void TForm1::iKnob2Click(QObject*) {
    KnobCommand(iKnob2, kMaxOutputRegister);
}

void TForm1::iKnob3Click(QObject*) {
    KnobCommand(iKnob3, kMinOutputRegister);
}

void TForm1::iSwitchLed1Change(QObject*) {
    // The caption the display derived from the device decides, not the switch's own state.
    const std::optional<SwitchCommand> command = SwitchCommandFor(iSwitchLed1->Caption());
    if (!command)
        return;
    RunCommand(command->value);
}

void TForm1::iAnalogOutput2MouseDown(QObject*, TMouseButton, TShiftState, int, int) {
    iAnalogOutput2->SetValue(iAnalogOutput2->Value() - 0.1);
}

void TForm1::iAnalogOutput2MouseUp(QObject*, TMouseButton, TShiftState, int, int) {
    iAnalogOutput2->SetValue(iAnalogOutput2->Value() + 0.1);
}

void TForm1::Comm1ReceiveData(QObject*, const char* Buffer, quint16 BufferLength) {
    if (m_lineReceiver) {
        // A copy: the receiver may give the line back, and so drop itself, while it runs.
        const LineReceiver receiver = m_lineReceiver;
        receiver(Buffer, BufferLength);
        return;
    }
    const bool answered = m_poll.BlockAnswered() == 1;
    const quint8 phase = m_poll.PollPhase();
    const CommLamp lamp = m_poll.Receive(Buffer, BufferLength, Comm1->LastChunkEnd() == TChunkEnd::Silence);
    ApplyCommLamp(lamp);
    // An accepted read reply answers the block; a lit lamp may also be a write's echo.
    if (!answered && m_poll.BlockAnswered() == 1 && phase == 2)
        Memo12->setPlainText(QString::number(m_memo12Value).left(7));
    // The answer a command waited for is in.
    if (m_poll.WriteWaiting())
        SendWaitingWrite();
}
