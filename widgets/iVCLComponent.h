#pragma once
// TiVCLComponent: the frame's glue to the window system: the paint lock and transparency.

#include "iComponent.h"

#include <QRecursiveMutex>

class TiVCLComponent : public TiComponent {
    Q_OBJECT
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent STORED false)

public:
    explicit TiVCLComponent(QWidget* parent = nullptr);

    bool Transparent() const override { return m_transparent; }
    virtual void SetTransparent(bool value);
    void BackGroundRefresh() override;

    void Lock() override { m_paintLock.lock(); }
    void Unlock() override { m_paintLock.unlock(); }

signals:
    // Data-server links are not used by this program; the events exist for the layout's bindings.
    void OnNewOPCData();
    void OnBeforeNewOPCData();

protected:
    bool DrawTransparentBackGround(QPainter& Canvas, TColor Color) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    // The points 5 pixels inside each corner are all on screen, not covered by a widget above.
    bool CornersVisible() const;
    // What lies behind the widget: the parent's face and the siblings below it, in Image.
    void CopyBehind(QImage& Image) const;

    QRecursiveMutex m_paintLock;
    bool m_transparent = false;
    QImage m_behind;
    bool m_behindDirty = true;
};
