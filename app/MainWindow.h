#pragma once
// The panel's frame window: the instrument area (TForm1, 801 x 556) in the middle, unchanged, with a
// menu bar above it and the line's status bar below. It keeps the line's newest traffic records and
// their statistics for the windows that show them.

#include "CRC16.h"
#include "TrafficBuffer.h"
#include "TrafficStats.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class QTimer;
class TBusScanWindow;
class TCommPort;
class THistoryHook;

class TMainWindow : public QMainWindow {
    Q_OBJECT
public:
    // With another port layer under Comm1 than the system's serial devices (tests, benchmarks).
    explicit TMainWindow(std::unique_ptr<TCommPort> port = nullptr, QWidget* parent = nullptr);
    ~TMainWindow() override;

    TForm1* Form() const { return m_form; }
    const TrafficBuffer& Traffic() const { return m_traffic; }
    // Empties Traffic() (and its dropped count); the statistics stay.
    void ClearTraffic();
    // The monotonic time (TrafficMonotonicUs) at which the panel started: the origin of the monitor's
    // times.
    qint64 StartUs() const { return m_startUs; }
    const TrafficStats& Stats() const { return m_stats; }
    void ResetStats();
    QLabel* StatusLabel() const { return m_status; }

    // Records into `path` through `history`, and opens the trend and event windows on it. A file that
    // cannot be used is named in a message; the panel then goes on without recording.
    bool AttachHistory(THistoryHook* history, const QString& path);

    QAction* SaveTrafficAction = nullptr;
    QAction* QuitAction = nullptr;
    QAction* MonitorAction = nullptr;
    QAction* ScanAction = nullptr;
    QAction* TrendAction = nullptr;
    QAction* EventsAction = nullptr;
    QAction* AboutAction = nullptr;
    // 查看 → 语言: one checkable action per language, its data the language's code.
    QList<QAction*> LanguageActions;

signals:
    void trafficCleared();
    // The status bar was brought up to date: other windows showing the line take what came since now,
    // so that every window is painted in one pass.
    void statusRefreshed();

public slots:
    // Writes the status bar now; it is otherwise brought up to date at most every few hundred
    // milliseconds, so a busy line costs the window nothing.
    void refreshStatus();

protected:
    void changeEvent(QEvent* event) override;

private:
    void createMenus();
    void retranslateUi();
    void chooseLanguage(QAction* action);
    void record(const TrafficRecord& record);
    void scheduleStatus();
    void showAbout();
    void showBusScan();

    TForm1* m_form = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_statusTimer = nullptr;
    TBusScanWindow* m_busScan = nullptr; // made when first asked for
    const qint64 m_startUs = TrafficMonotonicUs();
    TrafficBuffer m_traffic;
    TrafficStats m_stats;
};
