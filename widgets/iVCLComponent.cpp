#include "iVCLComponent.h"

#include <QPainter>

TiVCLComponent::TiVCLComponent(QWidget* parent) : TiComponent(parent) {}

void TiVCLComponent::SetTransparent(bool value) {
    if (m_transparent == value)
        return;
    m_transparent = value;
    if (value) {
        m_behind = QImage(size(), QImage::Format_RGB32);
        m_behindDirty = true;
    } else {
        m_behind = QImage();
    }
    BackGroundChange();
}

void TiVCLComponent::BackGroundRefresh() {
    m_behindDirty = true;
    TiComponent::BackGroundRefresh();
}

bool TiVCLComponent::CornersVisible() const {
    if (!isVisible())
        return false;
    const QRegion visible = visibleRegion();
    const int r = width() - 1 - 5, b = height() - 1 - 5;
    for (const QPoint p : {QPoint(5, 5), QPoint(r, 5), QPoint(5, b), QPoint(r, b)})
        if (!visible.contains(p))
            return false;
    return true;
}

void TiVCLComponent::CopyBehind(QImage& Image) const {
    QWidget* parent = parentWidget();
    QPainter p(&Image);
    const QRect mine = geometry();
    parent->render(&p, QPoint(), QRegion(mine), QWidget::DrawWindowBackground);
    // Then the siblings below this one, bottom first, each with its own children.
    for (QObject* child : parent->children()) {
        if (child == this)
            break;
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow() || !w->isVisible())
            continue;
        const QRect overlap = w->geometry() & mine;
        if (overlap.isEmpty())
            continue;
        w->render(&p, overlap.topLeft() - mine.topLeft(), QRegion(overlap.translated(-w->pos())),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
}

bool TiVCLComponent::DrawTransparentBackGround(QPainter& Canvas, TColor Color) {
    if (m_behindDirty || m_behind.size() != size()) {
        m_behind = QImage(size(), QImage::Format_RGB32);
        m_behind.fill(ColorToQColor(Color));
        // The screen behind the widget is copied once while all four corners can be seen; covered or not
        // on screen yet, it shows the background colour and the copy is tried again at the next paint.
        if (parentWidget() && !size().isEmpty() && CornersVisible()) {
            CopyBehind(m_behind);
            m_behindDirty = false;
        }
    }
    Canvas.drawImage(0, 0, m_behind);
    return !m_behindDirty;
}

void TiVCLComponent::resizeEvent(QResizeEvent* e) {
    if (m_transparent)
        m_behindDirty = true;
    TiComponent::resizeEvent(e);
}

void TiVCLComponent::moveEvent(QMoveEvent* e) {
    if (m_transparent) {
        m_behindDirty = true;
        BackGroundChange();
    }
    TiComponent::moveEvent(e);
}
