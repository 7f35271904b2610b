#pragma once
// Small widgets on the frame, for the frame, position and scale tests: they log the hooks the frame calls.

#include "iGaugeComponent.h"
#include "iProgressComponent.h"
#include "iScaleComponent.h"

#include <QPainter>
#include <QStringList>
#include <stdexcept>

class TestWidget : public TiCustomComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "BackGroundColor,BorderStyle,CachedDrawing,Width,Height")
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    explicit TestWidget(QWidget* parent = nullptr) : TiCustomComponent(parent) { resize(40, 30); }

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& v) { SetField(m_caption, v, irkInvalidate); }

    QStringList log;
    bool throwInPaint = false;
    bool throwInMouseDown = false;
    int staticDraws = 0;
    TColor dynamicColor = clRed;

protected:
    void iPaintTo(QPainter& Canvas) override {
        if (throwInPaint)
            throw std::runtime_error("paint failed here");
        PaintStaticLayers(Canvas, [this](QPainter& p) {
            ++staticDraws;
            DrawBackGround(p, BackGroundColor());
        });
        Canvas.fillRect(QRect(Width() / 2 - 3, Height() / 2 - 3, 6, 6), ColorToQColor(dynamicColor));
    }
    void iMouseDown(TMouseButton b, TShiftState s, int x, int y) override {
        log << QStringLiteral("down %1 %2 %3 %4%5")
                   .arg(int(b))
                   .arg(x)
                   .arg(y)
                   .arg(s.testFlag(ssDouble) ? "double" : "")
                   .arg(UserInput() ? "" : " no-user-flag");
        if (throwInMouseDown)
            throw std::runtime_error("press failed");
    }
    void iMouseUp(TMouseButton b, TShiftState, int x, int y) override {
        log << QStringLiteral("up %1 %2 %3").arg(int(b)).arg(x).arg(y);
    }
    void iDoubleClick() override { log << QStringLiteral("dblclick"); }
    void iKeyDown(int& Key, TShiftState s) override {
        log << QStringLiteral("keydown %1%2").arg(Key).arg(s.testFlag(ssShift) ? " shift" : "");
    }
    void iKeyUp(int& Key, TShiftState s) override {
        log << QStringLiteral("keyup %1%2").arg(Key).arg(s.testFlag(ssShift) ? " shift" : "");
    }
    void iKeyPress(QChar& Key) override { log << QStringLiteral("char %1").arg(Key); }
    void iWantSpecialKey(int& Key, int& Result) override {
        if (Key == Qt::Key_Left || Key == Qt::Key_Right)
            Result = 1;
    }

private:
    QString m_caption;
};

class TestPosition : public TiPositionComponent {
    Q_OBJECT
public:
    explicit TestPosition(QWidget* parent = nullptr) : TiPositionComponent(parent) { resize(20, 100); }

protected:
    void iPaintTo(QPainter& Canvas) override { DrawBackGround(Canvas, BackGroundColor()); }
};

class TestScale : public TiScaleComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "BackGroundColor,ShowTicksAxis")
public:
    explicit TestScale(QWidget* parent = nullptr) : TiScaleComponent(parent) { resize(60, 200); }
    bool drawDisabled = false;

protected:
    void iPaintTo(QPainter& Canvas) override {
        DrawBackGround(Canvas, BackGroundColor());
        DrawScale(Canvas, drawDisabled);
    }
};

class TestProgress : public TiProgressComponent {
    Q_OBJECT
public:
    using TiProgressComponent::TiProgressComponent;

protected:
    void iPaintTo(QPainter& Canvas) override { DrawBackGround(Canvas, BackGroundColor()); }
};
