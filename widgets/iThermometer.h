#pragma once
// TiThermometer: a tube with a bulb (or a plain bar), a column rising to the position, and a scale
// beside the tube.

#include "iScaleComponent.h"

class TiThermometer : public TiScaleComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "BackGroundColor,BackGroundPicture,BorderStyle,OffsetX,OffsetY,CachedDrawing,"
                           "Transparent,ShowDisabledState,Width,Height")
    Q_PROPERTY(int IndicatorWidth READ IndicatorWidth WRITE SetIndicatorWidth)
    Q_PROPERTY(int IndicatorBulbSize READ IndicatorBulbSize WRITE SetIndicatorBulbSize)
    Q_PROPERTY(TiThermometerIndicatorStyle IndicatorStyle READ IndicatorStyle WRITE SetIndicatorStyle)
    Q_PROPERTY(int EndsMargin READ EndsMargin WRITE SetEndsMargin)
    Q_PROPERTY(uint IndicatorColor READ IndicatorColor WRITE SetIndicatorColor)
    Q_PROPERTY(uint IndicatorBackGroundColor READ IndicatorBackGroundColor WRITE SetIndicatorBackGroundColor)
    Q_PROPERTY(TiEnums::TiOrientation Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(TiEnums::TiOrientationSide OrientationTickMarks READ OrientationTickMarks WRITE
                   SetOrientationTickMarks)
    Q_PROPERTY(bool AutoCenter READ AutoCenter WRITE SetAutoCenter)
    Q_PROPERTY(bool ReverseScale READ ReverseScale WRITE SetReverseScale)
    Q_PROPERTY(TiPointerFillReferenceStyle IndicatorFillReferenceStyle READ IndicatorFillReferenceStyle WRITE
                   SetIndicatorFillReferenceStyle)
    Q_PROPERTY(double IndicatorFillReferenceValue READ IndicatorFillReferenceValue WRITE
                   SetIndicatorFillReferenceValue)
    Q_PROPERTY(bool IndicatorUserCanMove READ IndicatorUserCanMove WRITE SetIndicatorUserCanMove)
    Q_PROPERTY(bool ShowMaxPointer READ ShowMaxPointer WRITE SetShowMaxPointer)
    Q_PROPERTY(bool ShowMinPointer READ ShowMinPointer WRITE SetShowMinPointer)
    Q_PROPERTY(int MinMaxPointerSize READ MinMaxPointerSize WRITE SetMinMaxPointerSize)
    Q_PROPERTY(int MinMaxPointerMargin READ MinMaxPointerMargin WRITE SetMinMaxPointerMargin)
    Q_PROPERTY(uint MaxPointerColor READ MaxPointerColor WRITE SetMaxPointerColor)
    Q_PROPERTY(uint MinPointerColor READ MinPointerColor WRITE SetMinPointerColor)
    Q_PROPERTY(bool MinMaxUserCanMove READ MinMaxUserCanMove WRITE SetMinMaxUserCanMove)

public:
    enum TiThermometerIndicatorStyle { itisBulb, itisBar, itisBarSunken, itisBarRaised };
    Q_ENUM(TiThermometerIndicatorStyle)
    enum TiPointerFillReferenceStyle { ipfrsMin, ipfrsMax, ipfrsValue };
    Q_ENUM(TiPointerFillReferenceStyle)

    explicit TiThermometer(QWidget* parent = nullptr);

    int IndicatorWidth() const { return m_indicatorWidth; }
    void SetIndicatorWidth(int value) { SetField(m_indicatorWidth, value, irkBackGround); }
    int IndicatorBulbSize() const { return m_indicatorBulbSize; }
    void SetIndicatorBulbSize(int value) { SetField(m_indicatorBulbSize, value, irkBackGround); }
    TiThermometerIndicatorStyle IndicatorStyle() const { return m_indicatorStyle; }
    void SetIndicatorStyle(TiThermometerIndicatorStyle value) {
        SetField(m_indicatorStyle, value, irkBackGround);
    }
    int EndsMargin() const { return m_endsMargin; }
    void SetEndsMargin(int value) { SetField(m_endsMargin, value, irkBackGround); }
    TColor IndicatorColor() const { return m_indicatorColor; }
    void SetIndicatorColor(TColor value) { SetField(m_indicatorColor, value, irkBackGround); }
    TColor IndicatorBackGroundColor() const { return m_indicatorBackGroundColor; }
    void SetIndicatorBackGroundColor(TColor value) {
        SetField(m_indicatorBackGroundColor, value, irkBackGround);
    }
    TiOrientation Orientation() const { return m_orientation; }
    void SetOrientation(TiOrientation value);
    TiOrientationSide OrientationTickMarks() const { return m_orientationTickMarks; }
    void SetOrientationTickMarks(TiOrientationSide value) {
        SetField(m_orientationTickMarks, value, irkBackGround);
    }
    bool AutoCenter() const { return m_autoCenter; }
    void SetAutoCenter(bool value) { SetField(m_autoCenter, value, irkBackGround); }
    bool ReverseScale() const { return m_reverseScale; }
    void SetReverseScale(bool value) { SetField(m_reverseScale, value, irkBackGround); }
    TiPointerFillReferenceStyle IndicatorFillReferenceStyle() const { return m_fillReferenceStyle; }
    void SetIndicatorFillReferenceStyle(TiPointerFillReferenceStyle value) {
        SetField(m_fillReferenceStyle, value, irkBackGround);
    }
    double IndicatorFillReferenceValue() const { return m_fillReferenceValue; }
    void SetIndicatorFillReferenceValue(double value) {
        SetField(m_fillReferenceValue, value, irkBackGround);
    }
    bool IndicatorUserCanMove() const { return m_indicatorUserCanMove; }
    void SetIndicatorUserCanMove(bool value) { SetField(m_indicatorUserCanMove, value, irkBackGround); }

    // The tube's centre: the frame's centre, shifted so that tube, scale and pointers together are
    // centred when AutoCenter is on.
    QPoint GetCenterPoint() const override;

    // Layout of one paint, in window coordinates (right and bottom outside).
    struct Geometry {
        QPoint Center;
        int TubeLeft = 0, TubeTop = 0, TubeRight = 0, TubeBottom = 0;
        // The part of the tube over which PositionMin..PositionMax map.
        int SpanLeft = 0, SpanTop = 0, SpanRight = 0, SpanBottom = 0;
    };
    Geometry ComputeGeometry() const;
    // Pixel along the tube (y of a vertical tube, x of a horizontal one) of a value.
    int PositionToPixel(double V) const;
    // Centre of the bulb (bulb look).
    QPoint BulbCenter() const;
    // Where the min and max pointers were last drawn (empty when not shown).
    QRect MinPointerRect() const { return m_minPointerRect; }
    QRect MaxPointerRect() const { return m_maxPointerRect; }

protected:
    void iPaintTo(QPainter& Canvas) override;
    void iMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void iMouseMove(TShiftState Shift, int X, int Y) override;
    void iMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

private:
    enum class Drag { None, Position, CurrentMin, CurrentMax };

    bool Vertical() const { return m_orientation == ioVertical; }
    void ConfigureScale(const Geometry& g);
    void DrawBulb(QPainter& Canvas, const Geometry& g);
    void DrawBar(QPainter& Canvas, const Geometry& g);
    QRect DrawPointer(QPainter& Canvas, const Geometry& g, double V, TColor Color, int Margin, int Size);
    int UsableLength() const;

    int m_indicatorWidth = 2;
    int m_indicatorBulbSize = 6;
    TiThermometerIndicatorStyle m_indicatorStyle = itisBulb;
    int m_endsMargin = 10;
    TColor m_indicatorColor = clRed;
    TColor m_indicatorBackGroundColor = clMaroon;
    TiOrientation m_orientation = ioVertical;
    TiOrientationSide m_orientationTickMarks = iosBottomRight;
    bool m_autoCenter = true;
    bool m_reverseScale = false;
    TiPointerFillReferenceStyle m_fillReferenceStyle = ipfrsMin;
    double m_fillReferenceValue = 0;
    bool m_indicatorUserCanMove = false;

    QRect m_minPointerRect;
    QRect m_maxPointerRect;
    Drag m_drag = Drag::None;
    int m_pressAlong = 0;
    double m_pressValue = 0;
};
