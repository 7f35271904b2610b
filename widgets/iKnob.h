#pragma once
// TiKnob: a rotary knob. A shaded disc with an indicator mark inside a round scale; turned by dragging
// round its centre, with the keyboard or with the wheel. OnClick (the frame's click rule) reports the
// release of a drag or click; OnPositionChangeFinished ends every user change.

#include "iScaleComponent.h"

#include <QElapsedTimer>
#include <QPoint>

class TiKnob : public TiScaleComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish",
                "Width,Height,TabStop,TabOrder,ShowDisabledState,BackGroundColor,BackGroundPicture,"
                "OffsetX,OffsetY,Transparent,CachedDrawing")
    Q_PROPERTY(int KnobRadius READ KnobRadius WRITE SetKnobRadius)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(int OuterMargin READ OuterMargin WRITE SetOuterMargin)
    Q_PROPERTY(TiKnobStyle KnobStyle READ KnobStyle WRITE SetKnobStyle)
    Q_PROPERTY(int KnobEdgeWidth READ KnobEdgeWidth WRITE SetKnobEdgeWidth)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(int RotationStartDegrees READ RotationStartDegrees WRITE SetRotationStartDegrees)
    Q_PROPERTY(int RotationMaxDegrees READ RotationMaxDegrees WRITE SetRotationMaxDegrees)
    Q_PROPERTY(TiKnobIndicatorStyle IndicatorStyle READ IndicatorStyle WRITE SetIndicatorStyle)
    Q_PROPERTY(int IndicatorSize READ IndicatorSize WRITE SetIndicatorSize)
    Q_PROPERTY(int IndicatorMargin READ IndicatorMargin WRITE SetIndicatorMargin)
    Q_PROPERTY(uint IndicatorActiveColor READ IndicatorActiveColor WRITE SetIndicatorActiveColor)
    Q_PROPERTY(uint IndicatorInactiveColor READ IndicatorInactiveColor WRITE SetIndicatorInactiveColor)
    Q_PROPERTY(bool ShowPostionDisplay READ ShowPostionDisplay WRITE SetShowPostionDisplay)
    Q_PROPERTY(TFont* PositionDisplayFont READ PositionDisplayFont WRITE SetPositionDisplayFont)
    Q_PROPERTY(int PositionDisplayPrecision READ PositionDisplayPrecision WRITE SetPositionDisplayPrecision)
    Q_PROPERTY(QString PositionDisplayUnits READ PositionDisplayUnits WRITE SetPositionDisplayUnits)
    Q_PROPERTY(double KeyArrowStepSize READ KeyArrowStepSize WRITE SetKeyArrowStepSize)
    Q_PROPERTY(double KeyPageStepSize READ KeyPageStepSize WRITE SetKeyPageStepSize)
    Q_PROPERTY(double MouseWheelStepSize READ MouseWheelStepSize WRITE SetMouseWheelStepSize)
    Q_PROPERTY(bool UseKeyboard READ UseKeyboard WRITE SetUseKeyboard)
    Q_PROPERTY(bool ShowFocusRect READ ShowFocusRect WRITE SetShowFocusRect)

public:
    enum TiKnobStyle { iksRaisedEdge, iksRaised, iksSunken, iksSunkenEdge };
    Q_ENUM(TiKnobStyle)
    enum TiKnobIndicatorStyle {
        ikisDotLowered,
        ikisDotRaised,
        ikisDot,
        ikisLineCenter,
        ikisLineCustom,
        ikisTriangle
    };
    Q_ENUM(TiKnobIndicatorStyle)

    explicit TiKnob(QWidget* parent = nullptr);

    int KnobRadius() const { return m_knobRadius; }
    void SetKnobRadius(int value) { SetField(m_knobRadius, value, irkBackGround); }
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool value) { SetField(m_autoSize, value, irkBackGround); }
    int OuterMargin() const { return m_outerMargin; }
    void SetOuterMargin(int value) { SetField(m_outerMargin, value, irkBackGround); }
    TiKnobStyle KnobStyle() const { return m_knobStyle; }
    void SetKnobStyle(TiKnobStyle value) { SetField(m_knobStyle, value, irkBackGround); }
    int KnobEdgeWidth() const { return m_knobEdgeWidth; }
    void SetKnobEdgeWidth(int value) { SetField(m_knobEdgeWidth, value, irkBackGround); }
    TColor Color() const { return m_color; }
    void SetColor(TColor value) { SetField(m_color, value, irkBackGround); }
    int RotationStartDegrees() const { return m_rotationStartDegrees; }
    void SetRotationStartDegrees(int value) { SetField(m_rotationStartDegrees, value, irkBackGround); }
    int RotationMaxDegrees() const { return m_rotationMaxDegrees; }
    void SetRotationMaxDegrees(int value) { SetField(m_rotationMaxDegrees, value, irkBackGround); }
    TiKnobIndicatorStyle IndicatorStyle() const { return m_indicatorStyle; }
    void SetIndicatorStyle(TiKnobIndicatorStyle value) { SetField(m_indicatorStyle, value, irkBackGround); }
    int IndicatorSize() const { return m_indicatorSize; }
    void SetIndicatorSize(int value) { SetField(m_indicatorSize, value <= 0 ? 1 : value, irkInvalidate); }
    int IndicatorMargin() const { return m_indicatorMargin; }
    void SetIndicatorMargin(int value) { SetField(m_indicatorMargin, value, irkBackGround); }
    TColor IndicatorActiveColor() const { return m_indicatorActiveColor; }
    void SetIndicatorActiveColor(TColor value) { SetField(m_indicatorActiveColor, value, irkBackGround); }
    TColor IndicatorInactiveColor() const { return m_indicatorInactiveColor; }
    void SetIndicatorInactiveColor(TColor value) { SetField(m_indicatorInactiveColor, value, irkBackGround); }
    bool ShowPostionDisplay() const { return m_showPostionDisplay; }
    void SetShowPostionDisplay(bool value) { SetField(m_showPostionDisplay, value, irkBackGround); }
    TFont* PositionDisplayFont() const { return m_positionDisplayFont; }
    void SetPositionDisplayFont(TFont* value);
    int PositionDisplayPrecision() const { return m_positionDisplayPrecision; }
    void SetPositionDisplayPrecision(int value) {
        SetField(m_positionDisplayPrecision, value < 0 ? 0 : value, irkInvalidate);
    }
    QString PositionDisplayUnits() const { return m_positionDisplayUnits; }
    void SetPositionDisplayUnits(const QString& value);
    double KeyArrowStepSize() const { return m_keyArrowStepSize; }
    void SetKeyArrowStepSize(double value) { SetField(m_keyArrowStepSize, value, irkInvalidate); }
    double KeyPageStepSize() const { return m_keyPageStepSize; }
    void SetKeyPageStepSize(double value) { SetField(m_keyPageStepSize, value, irkInvalidate); }
    double MouseWheelStepSize() const { return m_mouseWheelStepSize; }
    void SetMouseWheelStepSize(double value) { SetField(m_mouseWheelStepSize, value, irkInvalidate); }
    bool UseKeyboard() const { return m_useKeyboard; }
    void SetUseKeyboard(bool value) { SetField(m_useKeyboard, value, irkBackGround); }
    bool ShowFocusRect() const { return m_showFocusRect; }
    void SetShowFocusRect(bool value) { SetField(m_showFocusRect, value, irkInvalidate); }

    // Screen angle of a value: RotationStartDegrees at PositionMin, turning clockwise by
    // RotationMaxDegrees up to PositionMax.
    double ValueToDegrees(double V) const;
    // How far Position is turned from PositionMin, in degrees (0 for an empty range).
    double PositionDegrees() const;
    // Sets Position from such an offset, through the ordinary position setter.
    void SetPositionDegrees(double D);

    // The radius AutoSize gives for the current size, scale and tick-label font.
    int FittedRadius() const;

    // The active look: a drag or a key is in progress.
    bool Dragging() const { return m_dragging; }
    bool KeyHeld() const { return m_keyHeld; }

protected:
    void iPaintTo(QPainter& Canvas) override;
    void iMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void iMouseMove(TShiftState Shift, int X, int Y) override;
    void iMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    bool iMouseWheel(int WheelDelta, TShiftState Shift, QPoint MousePos) override;
    void iWantSpecialKey(int& Key, int& Result) override;
    void iKeyDown(int& Key, TShiftState Shift) override;
    void iKeyUp(int& Key, TShiftState Shift) override;
    void iLostFocus() override;
    void DefineExtraValues(QList<TiExtraValue>& Values) override;

private:
    bool Active() const { return m_dragging || m_keyHeld; }
    QPoint HitCenter() const { return m_painted ? m_center : GetCenterPoint(); }
    double PointerAngle(int X, int Y) const;
    void DrawDisc(QPainter& Canvas, QPoint C) const;
    void DrawScaleRound(QPainter& Canvas, QPoint C);
    void DrawPositionText(QPainter& Canvas, QPoint C) const;
    void DrawIndicator(QPainter& Canvas, QPoint C) const;

    int m_knobRadius = 35;
    bool m_autoSize = true;
    int m_outerMargin = 2;
    TiKnobStyle m_knobStyle = iksRaised;
    int m_knobEdgeWidth = 3;
    TColor m_color = clWindow;
    int m_rotationStartDegrees = 225;
    int m_rotationMaxDegrees = 270;
    TiKnobIndicatorStyle m_indicatorStyle = ikisDotLowered;
    int m_indicatorSize = 4;
    int m_indicatorMargin = 5;
    TColor m_indicatorActiveColor = clAqua;
    TColor m_indicatorInactiveColor = clRed;
    bool m_showPostionDisplay = false;
    TFont* m_positionDisplayFont;
    int m_positionDisplayPrecision = 1;
    QString m_positionDisplayUnits;
    double m_keyArrowStepSize = 0.1;
    double m_keyPageStepSize = 1.0;
    double m_mouseWheelStepSize = 1.0;
    bool m_useKeyboard = true;
    bool m_showFocusRect = true;

    QPoint m_center;
    bool m_painted = false;
    bool m_dragging = false;
    bool m_keyHeld = false;
    double m_lastAngle = 0;
    // Monotonic, so setting the system clock back cannot stop the wheel; invalid until the first step.
    QElapsedTimer m_lastWheelStep;
};
