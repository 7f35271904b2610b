#pragma once
// Lies over the form's instrument panels while their readings are stale: the instruments stay visible
// under a grey half-transparent layer with one line across it saying since when nothing was read. It
// covers only the region it is given, takes no click and no focus, and paints only when it changes.

#include <QWidget>

#include <optional>

class TStaleVeil : public QWidget {
    Q_OBJECT
public:
    // Over `parent`, covering `covered` (in the parent's coordinates); hidden until ShowStale.
    TStaleVeil(const QRegion& covered, QWidget* parent);

    // Shows the veil with the time of the last reading (ms since 1970, UTC), or none yet.
    void ShowStale(std::optional<qint64> lastUpdateUtcMs);
    void ShowLive();
    // The line it shows, in the language in force.
    QString Text() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QRegion m_covered;
    std::optional<qint64> m_lastUpdateUtcMs;
};
