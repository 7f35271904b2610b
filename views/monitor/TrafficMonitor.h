#pragma once
// The monitor window 通讯监视: every frame on the line with the poll cycle's verdict, in a table over
// the line's traffic buffer, and the line's statistics beside it.

#include "TrafficExport.h"
#include "Verdict.h"

#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class LineAccess;
class TTrafficModel;

// Where the monitor goes, given the panel's frame and the screen's free area: to the right of the
// panel where there is room, else below it, else over its right part.
QRect PlaceBeside(const QRect& panel, const QRect& free, const QSize& want);

// Records to save: how many, and the i-th of them.
struct TrafficRange {
    qsizetype count = 0;
    std::function<const TrafficRecord&(qsizetype)> at;
};

// The file's format by its suffix (.csv, or .txt and .log), else `fallback`.
TrafficFileFormat TrafficFormatForPath(const QString& path, TrafficFileFormat fallback);
// Writes the records to `path`, whole or not at all; false with the reason in *error. The CSV's text
// column holds the translated verdict.
bool SaveTrafficFile(const QString& path, TrafficFileFormat format, qint64 originUs,
                     const TrafficRange& records, QString* error);
// Asks for a file and its type, then saves the records `records()` names at that moment (the line
// goes on while the dialog is open); a failure is shown in a message box.
void SaveTrafficAs(QWidget* parent, qint64 originUs, const std::function<TrafficRange()>& records);

class TTrafficMonitor : public QWidget {
    Q_OBJECT
public:
    // A window of its own over `line`, placed beside `panel`, the window it belongs to.
    TTrafficMonitor(LineAccess* line, QWidget* panel);
    ~TTrafficMonitor() override;

    // The first time beside the panel, where the screen has room; raised and activated always.
    void ShowBeside();

    TTrafficModel* Model() const { return m_model; }
    QTableView* Table() const;
    // New rows scroll into view while the view is at its bottom; scrolled up, it stays where it is.
    bool Following() const;
    // The records the view shows, in its order.
    TrafficRange ShownRecords();

public slots:
    void setPaused(bool paused);
    void setProblemsOnly(bool problemsOnly);
    // Empties the traffic buffer; the statistics have their own reset.
    void clear();
    // The selected rows as traffic-log lines, to the clipboard.
    void copySelection();
    void saveShown();
    void refreshStatistics();
    // Takes the records added since the last call into the rows now (they otherwise come at the
    // panel's status refresh) and keeps the newest in view while following.
    void syncRows();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The rows and the statistics, at the panel's status refresh.
    void takeBatch();
    // Rows of records the buffer no longer holds go, and with `newOnes` the new records come in,
    // keeping the rows looked at in place while not following.
    void takeRows(bool newOnes);
    // Sets every text in the language in force; the figures and counts from the current state.
    void retranslateUi();
    void showPauseText();
    void fitColumns();
    static QString ShownText(int rows, bool paused, qint64 waiting);
    static QString DroppedText(qsizetype capacity, qint64 dropped);
    QWidget* createStatistics();
    // A label for a figure, right-aligned and at least as wide as `widest`, so that the window does not
    // move as the figure changes.
    QLabel* figure(const QString& name, const QString& widest, QWidget* parent);
    void showCounts();
    void scrollTo(int value);
    void placeBeside();

    LineAccess* m_line;
    TTrafficModel* m_model;
    QTableView* m_table;
    QAction* m_copy;
    QPushButton* m_pause;
    QPushButton* m_clear;
    QCheckBox* m_problems;
    QPushButton* m_copyButton;
    QPushButton* m_save;
    QLabel* m_shown;
    QLabel* m_dropped;
    QMetaObject::Connection m_batches;
    bool m_placed = false;
    bool m_follow = true;
    bool m_scrolling = false;

    QLabel* m_countsHeading = nullptr;
    // Requests, polls, accepted share.
    std::array<QLabel*, 3> m_figureNames{};
    std::array<QLabel*, kVerdictCount> m_counts{};
    std::array<QLabel*, kVerdictCount> m_countNames{};
    QLabel* m_requests = nullptr;
    QLabel* m_polls = nullptr;
    QLabel* m_share = nullptr;
    QLabel* m_timed = nullptr;
    QLabel* m_timesHeading = nullptr;
    QLabel* m_measured = nullptr;
    QLabel* m_lessHeader = nullptr;
    std::array<QLabel*, 5> m_timeNames{};
    QPushButton* m_reset = nullptr;
    // Last, minimum, mean, 95th percentile, maximum: as measured, and less the silence interval.
    std::array<std::array<QLabel*, 2>, 5> m_times{};
};
