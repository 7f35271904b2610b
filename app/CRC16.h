#pragma once
// The panel's main window: the port-settings panel, the communication bar, the instrument panels, the
// serial port component and the two timers, with the handlers of the layout.

#include "LineFormat.h"
#include "PollCycle.h"
#include "SerialComm.h"
#include "iComponent.h"

#include <QComboBox>
#include <QHash>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTextEdit;
class QTimer;
class TLabel;
class TPanel;
class TUpDown;
class TiAnalogDisplay;
class TiAnalogOutput;
class TiKnob;
class TiLabel;
class TiLedBar;
class TiLedRound;
class TiLinearGauge;
class TiSwitchLed;
class TiThermometer;

// The system's cause of a failed opening, for the error box's details: with a hint to join the
// serial-port group when the system refused access.
QString DescribeOpenFailure(const QString& portName, int error);

// The port box: the layout's COM names, then this machine's serial devices, looked for again each time
// the list drops down so that an adapter plugged in meanwhile shows up.
class TPortComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TPortComboBox(QWidget* parent);
    void RefreshItems();
    void showPopup() override;
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    // With another port layer under Comm1 than the system's serial devices (tests, benchmarks).
    TForm1(std::unique_ptr<TCommPort> port, QWidget* parent = nullptr);
    ~TForm1() override;

    // The port named on the command line: shown in the port box and used at the next opening.
    void PresetPort(const QString& name);

    const PollCycle& Poll() const { return m_poll; }
    // The slave address the address box names.
    quint8 Address() const;

    // Hands a record of another user of the line (the bus scan) to the listeners of trafficRecorded.
    void ReportTraffic(const TrafficRecord& record);

    // Lends the line to another user (the bus scan): while a receiver is set, every received chunk goes
    // to it and not to the poll cycle, which would judge the answers to requests it never sent against
    // its own. An empty receiver gives the line back.
    using LineReceiver = std::function<void(const char* data, quint16 length)>;
    void LendLine(LineReceiver receiver);
    bool LineLent() const { return bool(m_lineReceiver); }

signals:
    // Every request, delivery and missing answer on the line, with its verdict, in order.
    void trafficRecorded(const TrafficRecord& record);
    void portEvent(PortEvent event);
    // The operator set a command: a knob released or the switch toggled. `sent` is false when the
    // communication box holds it back; the outcome of a sent one follows as traffic.
    void operatorCommand(quint8 writeRegister, quint16 writeValue, bool sent);

public:
    // Components of the layout, in its order.
    TLabel* Label1 = nullptr;
    TPanel* Panel2 = nullptr;
    TPanel* Panel3 = nullptr;
    TLabel* Label23 = nullptr;
    TLabel* Label25 = nullptr;
    TLabel* Label26 = nullptr;
    QLabel* Image9 = nullptr;
    QLabel* Image20 = nullptr;
    TPortComboBox* ComboBox4 = nullptr;
    QComboBox* ComboBox5 = nullptr;
    QComboBox* ComboBox6 = nullptr;
    QPushButton* BitBtn7 = nullptr;
    TPanel* Panel5 = nullptr;
    QLabel* Image7 = nullptr;
    TLabel* Label9 = nullptr;
    QLabel* Image14 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QTextEdit* Memo12 = nullptr;
    QTextEdit* Memo13 = nullptr;
    TPanel* Panel1 = nullptr;
    TLabel* Label2 = nullptr;
    TPanel* Panel4 = nullptr;
    TPanel* Panel6 = nullptr;
    TPanel* Panel7 = nullptr;
    TPanel* Panel8 = nullptr;
    TPanel* Panel10 = nullptr;
    TPanel* Panel11 = nullptr;
    TComm* Comm1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

    // Instrument widgets, read from the layout resource.
    TiSwitchLed* iSwitchLed1 = nullptr;
    std::array<TiLedRound*, 9> iLedRound{}; // iLedRound1 to iLedRound9
    TiThermometer* iThermometer1 = nullptr;
    TiAnalogOutput* iAnalogOutput1 = nullptr;
    TiAnalogOutput* iAnalogOutput2 = nullptr;
    TiAnalogOutput* iAnalogOutput3 = nullptr;
    TiAnalogOutput* iAnalogOutput4 = nullptr;
    TiKnob* iKnob1 = nullptr;
    TiKnob* iKnob2 = nullptr;
    TiKnob* iKnob3 = nullptr;
    TiLedBar* iLedBar1 = nullptr;
    TiLedBar* iLedBar2 = nullptr;
    TUpDown* UpDown1 = nullptr;
    std::array<TiAnalogDisplay*, 6> iAnalogDisplay{}; // iAnalogDisplay1 to iAnalogDisplay6
    TiLinearGauge* iLinearGauge1 = nullptr;

public slots:
    void FormCreate(QObject* Sender);
    void ComboBox4Change(QObject* Sender);
    void ComboBox5Change(QObject* Sender);
    void ComboBox6Change(QObject* Sender);
    void BitBtn7Click(QObject* Sender);
    void CheckBox2Click(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void Timer2Timer(QObject* Sender);
    void Comm1ReceiveData(QObject* Sender, const char* Buffer, quint16 BufferLength);
    void Comm1RequestHangup(QObject* Sender);
    void Comm1OpenDone(QObject* Sender, const QString& Error);
    void iKnob1Click(QObject* Sender);
    void iKnob2Click(QObject* Sender);
    void iKnob3Click(QObject* Sender);
    void iSwitchLed1Change(QObject* Sender);
    void iAnalogOutput2MouseDown(QObject* Sender, TiEnums::TMouseButton Button, TiEnums::TShiftState Shift,
                                 int X, int Y);
    void iAnalogOutput2MouseUp(QObject* Sender, TiEnums::TMouseButton Button, TiEnums::TShiftState Shift,
                               int X, int Y);

    // Requests of the Modbus master, sent through Comm1 with the address box's slave address. A write
    // request waits while an answer is due on the line, and goes out once none is.
    void SendReadRequest(quint8 startRegister, quint8 count);
    void SendWriteRequest();

    // An operator command, as a released knob gives it: the register and the raw value, sent at once
    // when polling is on (operatorCommand tells either way). RunCommand writes the run register as the
    // switch does, 0 to start and 1 to stop, with the switch's memo.
    void Command(quint8 writeRegister, quint16 writeValue);
    void RunCommand(quint16 writeValue);

    // The laid-out client area, which a frame around the window keeps.
    QSize sizeHint() const override { return {801, 556}; }

    // Whether the port button shows the open port ("关闭串口"): set by an opening, even a failed one,
    // cleared by a closing. The button's click decides by it.
    bool OpenLook() const { return m_openLook; }
    // Whether a network port's opening is under way after a click: the port button then cancels it
    // ("取消").
    bool Connecting() const { return Comm1->IsOpening() && !Reconnecting(); }
    // Whether a lost network connection is being made again: the port is meant to be open, and the port
    // button closes it and ends the retries.
    bool Reconnecting() const { return m_reconnectDelayMs > 0; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateLayout();
    // Gives every text of the window in the language in force.
    void RetranslateUi();
    void SetOpenLook(bool open);
    void CreateInstruments();
    void KnobCommand(TiKnob* knob, quint8 writeRegister);
    void ConnectHandlers();
    // Shows the closed port; true when it was open.
    bool ClosePortPath();
    void ShowOpenError(const ECommsError& error);
    void ApplyCommLamp(CommLamp lamp);
    // Sends the write request waiting for the line if no answer is due any more, and keeps watching
    // while it still waits.
    void SendWaitingWrite();
    void WatchWaitingWrite();
    // One try at making a lost network connection again, and the wait before the next one.
    void Reconnect();
    void ReconnectLater();
    // Ends the retries; true when there were any.
    bool StopReconnecting();

    PollCycle m_poll;
    // The port layer for Comm1 until the layout creates it; empty for the system's serial devices.
    std::unique_ptr<TCommPort> m_portLayer;
    bool m_openLook = false;
    // The layout's labels with their captions as laid out, the source of the shown ones.
    QHash<TiLabel*, QByteArray> m_layoutCaptions;
    // The value Memo12 shows after each accepted reply to the last block; nothing gives it another.
    qint32 m_memo12Value = 0;
    LineReceiver m_lineReceiver;
    // Looks again at a write request waiting for the line when the answer it waits for is overdue.
    QTimer* m_writeWait = nullptr;
    // The wait before the next try at a lost connection, doubled after each failed try; 0 while none is
    // lost.
    int m_reconnectDelayMs = 0;
    QTimer* m_reconnectTimer = nullptr;
};
