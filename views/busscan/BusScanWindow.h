#pragma once
// 总线扫描: finds the devices on the line. It tries each slave address of a range, or one address on
// every baud rate and format of the panel's boxes, with the panel's own read request, and lists who
// answers; "use" puts a found device's address, baud rate and format into the panel's boxes.
//
// While it runs the scan borrows the line from the poll cycle (LineAccess::Borrow): it receives the
// deliveries, and polling cannot start nor the baud rate and format be changed under the sweep, which
// changes them itself and restores them after. It ends when every probe is tried, on cancel,
// when the port is closed or vanishes, and when the window is closed.

#include "BusScan.h"
#include "LineAccess.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

class TBusScanWindow : public QWidget {
    Q_OBJECT
public:
    explicit TBusScanWindow(LineAccess* line, QWidget* parent = nullptr);
    ~TBusScanWindow() override;

    // From start to the moment the line is given back (a cancelled scan still takes the answer to its
    // last request, at most one wait later).
    bool Running() const { return m_running; }
    const BusScan* Scan() const { return m_scan.get(); }

    QSpinBox* FirstAddressBox = nullptr;
    QSpinBox* LastAddressBox = nullptr;
    QSpinBox* WaitBox = nullptr; // milliseconds per address
    QCheckBox* SweepBox = nullptr;
    QSpinBox* SweepAddressBox = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QProgressBar* Progress = nullptr;
    QLabel* Message = nullptr;
    QTableWidget* FoundTable = nullptr;
    QPushButton* UseButton = nullptr;

public slots:
    void start();
    void cancel();
    // Sets the address, baud-rate and format boxes to the selected device's, and the line through
    // the boxes' handlers.
    void useSelected();

signals:
    // The line was given back to the panel.
    void scanEnded();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct LineSettings {
        quint32 baudRate = 0;
        TComm::TParity parity = TComm::None;
        TComm::TStopBits stopBits = TComm::_2;
    };

    // Over TCP the device server owns the line's baud rate and format: there is nothing to sweep.
    bool OverTcp() const;
    bool Sweeping() const;
    void sendNext();
    void deliver(const char* data, quint16 length);
    void expire();
    void proceed();
    void applyLine(const BusScan::Probe& probe);
    // The line is gone or taken: the scan stops at once.
    void abandon(std::function<QString()> why);
    void onPortEvent(PortEvent event);
    // Gives the line back, restores what the scan changed and says how it ended.
    void release();
    void addRow(const BusScan::Answer& answer);
    // The answer column's tip: the verdict whole, and for garbled bytes what they may mean.
    static QString AnswerTip(const BusScan::Answer& answer);
    void updateControls();
    // Sets every text in the language in force; the message and the answers from the scan's state.
    void retranslateUi();
    // Shows the message that `message` makes in the language in force, now and after a switch.
    void say(std::function<QString()> message);

    QPointer<LineAccess> m_line;
    // The serial component's silence interval, which every answer waits out.
    int m_silenceMs = 0;
    QTimer* m_wait = nullptr;
    std::unique_ptr<BusScan> m_scan;
    bool m_running = false;
    std::function<QString()> m_message;
    std::function<QString()> m_abandonReason;
    // First address, last address, wait, sweep address.
    std::array<QLabel*, 4> m_labels{};
    QElapsedTimer m_clock;
    // The line as it was before the scan, and as the scan last set it.
    LineSettings m_saved;
    quint32 m_appliedBaudRate = 0;
    QString m_appliedFormat;
};
