#include "UpDown.h"

#include <QKeyEvent>
#include <QToolButton>

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    for (QToolButton* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void TUpDown::resizeEvent(QResizeEvent* event) {
    const int upHeight = height() / 2;
    m_up->setGeometry(0, 0, width(), upHeight);
    m_down->setGeometry(0, upHeight, width(), height() - upHeight);
    QWidget::resizeEvent(event);
}

void TUpDown::SetPosition(int value) {
    value = qBound(m_min, value, m_max);
    if (value == m_position)
        return;
    m_position = value;
    if (m_associate)
        m_associate->setWindowTitle(QString::number(m_position));
    emit OnChanging(m_position);
}

void TUpDown::Step(int direction) {
    int next = m_position + direction * m_increment;
    if (m_wrap) {
        if (next > m_max)
            next = m_min;
        else if (next < m_min)
            next = m_max;
    }
    SetPosition(next);
}

void TUpDown::SetAssociate(QWidget* associate) {
    if (m_associate)
        m_associate->removeEventFilter(this);
    m_associate = associate;
    if (m_associate)
        m_associate->installEventFilter(this);
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
    // The associate's Up and Down keys belong to the arrows.
    if (watched == m_associate && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
