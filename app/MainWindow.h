#pragma once
// The panel's frame window: the instrument area (TForm1, 801 x 556) in the middle, unchanged, with a
// menu bar above it and the line's status bar below. It makes the windows beyond the form and hands
// them the form's line.

#include "CRC16.h"
#include "LineWatch.h"
#include "PanelLine.h"
#include "Quantities.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class QTimer;
class TAlarmStrip;
class TBusScanWindow;
class TSetPointDialog;
class TStaleVeil;
class TConnectionMenu;
class TRegisterWindow;
class TTrafficMonitor;
class TCommPort;
class THistoryHook;

class TMainWindow : public QMainWindow {
    Q_OBJECT
public:
    // With another port layer under Comm1 than the system's serial devices (tests, benchmarks).
    explicit TMainWindow(std::unique_ptr<TCommPort> port = nullptr, QWidget* parent = nullptr);
    ~TMainWindow() override;

    TForm1* Form() const { return m_form; }
    // The form's line with its traffic and statistics, as the windows beyond the form use it.
    TPanelLine* Line() const { return m_line; }
    // What the operator is told of the form's line: live readings, alarms, commands' fates.
    LineWatch* Watch() const { return m_watch; }
    QLabel* StatusLabel() const { return m_status; }
    // The newest command's fate, at the right of the status bar.
    QLabel* CommandLabel() const { return m_command; }
    TStaleVeil* Veil() const { return m_veil; }
    // The set-point dialog, made when first asked for.
    TSetPointDialog* SetPointDialog() const { return m_setPoint; }
    // The register window, once 查看 → 寄存器 made it; nullptr before.
    TRegisterWindow* RegisterWindow() const { return m_registers; }
    // 文件 → 打开连接…, 保存连接为… and 最近的连接.
    TConnectionMenu* Connections() const { return m_connections; }
    // The alarms between the menu bar and the form.
    TAlarmStrip* AlarmStrip() const { return m_alarmStrip; }

    // Records into `path` through `history`, and opens the trend and event windows on it. A file that
    // cannot be used is named in a message; the panel then goes on without recording.
    bool AttachHistory(THistoryHook* history, const QString& path);

    QAction* SaveTrafficAction = nullptr;
    QAction* QuitAction = nullptr;
    QAction* MonitorAction = nullptr;
    QAction* ScanAction = nullptr;
    QAction* TrendAction = nullptr;
    QAction* EventsAction = nullptr;
    // 查看 → 寄存器, Ctrl+R from every window of the panel.
    QAction* RegistersAction = nullptr;
    QAction* AboutAction = nullptr;
    QAction* SetPointAction = nullptr;
    // 查看 → 确认报警 (F4, from every window of the panel) and 报警声音 (remembered).
    QAction* AcknowledgeAction = nullptr;
    QAction* AlarmSoundAction = nullptr;
    // 查看 → 语言: one checkable action per language, its data the language's code.
    QList<QAction*> LanguageActions;

public slots:
    // Opens the set-point dialog on a quantity the operator may set.
    void showSetPoint(Quantity quantity = Quantity::InputSetting);

    // Writes the status bar now, and has the windows showing the line take what came (the line's
    // refreshed()); it is otherwise brought up to date at most every few hundred milliseconds, so a
    // busy line costs the windows nothing.
    void refreshStatus();

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createMenus();
    void retranslateUi();
    void chooseLanguage(QAction* action);
    void scheduleStatus();
    void showAbout();
    void showMonitor();
    void saveTraffic();
    void showBusScan();
    void showRegisters();
    void watchLine();
    void tellOperator();
    void showLiveness();
    void showCommandFate();
    void showAlarms();

    TForm1* m_form = nullptr;
    TPanelLine* m_line = nullptr;
    LineWatch* m_watch = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QMenu* m_deviceMenu = nullptr;
    QLabel* m_status = nullptr;
    TAlarmStrip* m_alarmStrip = nullptr;
    QTimer* m_statusTimer = nullptr;
    // Made when first asked for.
    TTrafficMonitor* m_monitor = nullptr;
    TBusScanWindow* m_busScan = nullptr;
    TSetPointDialog* m_setPoint = nullptr;
    QLabel* m_command = nullptr;
    TStaleVeil* m_veil = nullptr;
    TRegisterWindow* m_registers = nullptr;
    TConnectionMenu* m_connections = nullptr;
};
