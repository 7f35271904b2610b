#pragma once
// 报警: the strip above the form that lists every alarm the operator has to see, by its full name with
// the time it came on, in the states of ISA-18.2: an active alarm is red, a returned one (cleared before
// it was acknowledged) grey, and the square mark before an unacknowledged one flashes at 1 Hz until it
// is acknowledged. "确认" (the frame's F4) acknowledges all shown. A new alarm raises a desktop notice
// and, if switched on, a sound. With no alarm it is one quiet line. It never takes the keyboard focus.

#include "AlarmStates.h"
#include "EventDetector.h"

#include <QWidget>

class LineWatch;
class QLabel;
class QPushButton;
class QSoundEffect;
class QTimer;
class QVBoxLayout;

// The square before an alarm's line, in its colour or the strip's: painted opaque on its own, so that
// flashing repaints twelve by twelve pixels and nothing under them.
class TAlarmMark : public QWidget {
    Q_OBJECT
public:
    explicit TAlarmMark(QWidget* parent);
    void SetColour(const QColor& colour);
    QColor Colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour;
};

class TAlarmStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFlashMs = 500; // a flash of 1 Hz: half a second on, half off

    explicit TAlarmStrip(LineWatch* watch, QWidget* parent = nullptr);

    const AlarmStates& States() const { return m_states; }
    // The lines as shown: "PWER 电源故障    2026-12-11 10:57:24    未确认", or the quiet line.
    QStringList LineTexts() const;
    // Whether the flashing runs, and whether the flashing lines are in their lit half now.
    bool Flashing() const;
    bool FlashLit() const { return m_lit; }
    QPushButton* AcknowledgeButton() const { return m_acknowledge; }
    bool Sound() const { return m_sound; }
    void SetSound(bool on);

    // The operating system's name of the user running the panel.
    static QString UserName();

signals:
    // The lines changed: their number, or what they say.
    void linesChanged();
    // Whether anything waits for an acknowledgement.
    void acknowledgeable(bool waiting);

public slots:
    // Acknowledges every alarm shown; the watch records who did.
    void acknowledge();

protected:
    void changeEvent(QEvent* event) override;

private:
    void take(const EventDetector::Output& out);
    void rebuild();
    void paintLines();
    void announce(const std::vector<AlarmEntry>& came);
    QString lineText(const AlarmEntry& entry, bool withDevice) const;

    LineWatch* m_watch;
    AlarmStates m_states;
    QVBoxLayout* m_lines = nullptr;
    QLabel* m_quiet = nullptr;
    // One line per alarm, in the order of m_states.Shown(): a mark that flashes, then the text.
    struct Line {
        QWidget* row;
        TAlarmMark* mark;
        QLabel* text;
    };
    QList<Line> m_alarmLines;
    QPushButton* m_acknowledge = nullptr;
    QTimer* m_flash = nullptr;
    bool m_lit = true;
    bool m_sound = false;
    QSoundEffect* m_effect = nullptr; // made at the first sound
};
