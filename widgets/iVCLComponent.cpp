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

void TiVCLComponent::DrawTransparentBackGround(QPainter& Canvas, TColor Color) {
    QWidget* parent = parentWidget();
    if (m_behindDirty || m_behind.size() != size()) {
        m_behind = QImage(size(), QImage::Format_RGB32);
        if (parent && isVisible() && !size().isEmpty()) {
            // What lies behind: the parent's own face under our rectangle, without its children.
            m_behind.fill(ColorToQColor(Color));
            QPainter p(&m_behind);
            parent->render(&p, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
            m_behindDirty = false;
        } else {
            // Not on screen yet: the background colour, and try again at the next paint.
            m_behind.fill(ColorToQColor(Color));
        }
    }
    Canvas.drawImage(0, 0, m_behind);
    ClearBackGroundDirty();
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
