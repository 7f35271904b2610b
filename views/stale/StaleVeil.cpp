#include "StaleVeil.h"

#include <QDateTime>
#include <QEvent>
#include <QPainter>

TStaleVeil::TStaleVeil(const QRegion& covered, QWidget* parent) : QWidget(parent), m_covered(covered) {
    setObjectName(QStringLiteral("staleVeil"));
    // The controls under it stay the operator's: clicks and the focus pass through.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(covered.boundingRect());
    setMask(covered.translated(-pos()));
    hide();
}

QString TStaleVeil::Text() const {
    if (!m_lastUpdateUtcMs)
        return tr("尚无读数");
    const QString time =
        QDateTime::fromMSecsSinceEpoch(*m_lastUpdateUtcMs).toString(QStringLiteral("HH:mm:ss"));
    return tr("读数未更新 · 最后更新 %1").arg(time);
}

void TStaleVeil::ShowStale(std::optional<qint64> lastUpdateUtcMs) {
    if (isVisible() && lastUpdateUtcMs == m_lastUpdateUtcMs)
        return;
    m_lastUpdateUtcMs = lastUpdateUtcMs;
    raise();
    show();
    update();
}

void TStaleVeil::ShowLive() {
    hide();
}

void TStaleVeil::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        update();
    QWidget::changeEvent(event);
}

void TStaleVeil::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(176, 176, 176, 160));
    // The line across the largest covered part, on a dark band so it reads over any instrument.
    QRect largest;
    for (const QRect& r : m_covered.translated(-pos()))
        if (r.height() * r.width() > largest.height() * largest.width())
            largest = r;
    QFont font = this->font();
    font.setPixelSize(22);
    font.setBold(true);
    painter.setFont(font);
    const QString text = Text();
    const int bandHeight = QFontMetrics(font).height() + 16;
    const QRect band(largest.left(), largest.center().y() - bandHeight / 2, largest.width(), bandHeight);
    painter.fillRect(band, QColor(32, 32, 32, 200));
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter, text);
}
