#pragma once
// TiLinearGauge: a straight scale with colour sections and one or more pointers; its Position is the
// position of its first pointer.

#include "iGaugeComponent.h"
#include "iGaugePointer.h"

#include <memory>

class TiLinearGauge : public TiGaugeComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "BackGroundColor,BackGroundPicture,BorderStyle,CachedDrawing,Transparent,OffsetX,"
                           "OffsetY,ShowDisabledState,ShowTicksAxis,TabStop,Width,Height")
    Q_PROPERTY(int EndsMargin READ EndsMargin WRITE SetEndsMargin)
    Q_PROPERTY(TiEnums::TiOrientation Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(TiEnums::TiOrientationSide OrientationTickMarks READ OrientationTickMarks WRITE
                   SetOrientationTickMarks)
    Q_PROPERTY(TiLinearGaugePointerStyle PointerStyle READ PointerStyle WRITE SetPointerStyle)
    Q_PROPERTY(int PointerSize READ PointerSize WRITE SetPointerSize)
    Q_PROPERTY(uint PointerColor READ PointerColor WRITE SetPointerColor)
    Q_PROPERTY(int PointerOffSet READ PointerOffSet WRITE SetPointerOffSet)
    Q_PROPERTY(bool ReverseScale READ ReverseScale WRITE SetReverseScale)
    Q_PROPERTY(bool AutoCenter READ AutoCenter WRITE SetAutoCenter)
    Q_PROPERTY(bool AllowFocus READ AllowFocus WRITE SetAllowFocus)
    Q_PROPERTY(double KeyArrowStepSize READ KeyArrowStepSize WRITE SetKeyArrowStepSize)
    Q_PROPERTY(double KeyPageStepSize READ KeyPageStepSize WRITE SetKeyPageStepSize)
    Q_PROPERTY(double MouseWheelStepSize READ MouseWheelStepSize WRITE SetMouseWheelStepSize)
    Q_PROPERTY(bool ShowMaxPointer READ ShowMaxPointer WRITE SetShowMaxPointer)
    Q_PROPERTY(bool ShowMinPointer READ ShowMinPointer WRITE SetShowMinPointer)
    Q_PROPERTY(int MinMaxPointerSize READ MinMaxPointerSize WRITE SetMinMaxPointerSize)
    Q_PROPERTY(int MinMaxPointerMargin READ MinMaxPointerMargin WRITE SetMinMaxPointerMargin)
    Q_PROPERTY(uint MaxPointerColor READ MaxPointerColor WRITE SetMaxPointerColor)
    Q_PROPERTY(uint MinPointerColor READ MinPointerColor WRITE SetMinPointerColor)
    Q_PROPERTY(bool MinMaxStyle3D READ MinMaxStyle3D WRITE SetMinMaxStyle3D)
    Q_PROPERTY(bool MinMaxUserCanMove READ MinMaxUserCanMove WRITE SetMinMaxUserCanMove)

public:
    enum TiLinearGaugePointerStyle {
        ilgpsPointer,
        ilgpsTriangle,
        ilgpsTLine,
        ilgpsColorBar,
        ilgpsTube,
        ilgpsBarSunken,
        ilgpsBarRaised
    };
    Q_ENUM(TiLinearGaugePointerStyle)

    explicit TiLinearGauge(QWidget* parent = nullptr);
    ~TiLinearGauge() override;

    // ---- Pointers ----
    TiGaugePointerManager& Pointers() const { return *m_pointers; }
    TiGaugePointer* MinPointer() const { return m_minPointer.get(); }
    TiGaugePointer* MaxPointer() const { return m_maxPointer.get(); }

    // ---- Position: pointer 0 carries it ----
    double Position() const override;
    void SetPosition(double V) override;
    void ClampPosition() override;

    // ---- Own properties ----
    int EndsMargin() const { return m_endsMargin; }
    void SetEndsMargin(int value) { SetField(m_endsMargin, value, irkBackGround); }
    TiOrientation Orientation() const { return m_orientation; }
    void SetOrientation(TiOrientation value);
    TiOrientationSide OrientationTickMarks() const { return m_orientationTickMarks; }
    void SetOrientationTickMarks(TiOrientationSide value) {
        SetField(m_orientationTickMarks, value, irkBackGround);
    }
    TiLinearGaugePointerStyle PointerStyle() const;
    void SetPointerStyle(TiLinearGaugePointerStyle value);
    int PointerSize() const;
    void SetPointerSize(int value);
    TColor PointerColor() const;
    void SetPointerColor(TColor value);
    int PointerOffSet() const;
    void SetPointerOffSet(int value);
    bool ReverseScale() const { return m_reverseScale; }
    void SetReverseScale(bool value) { SetField(m_reverseScale, value, irkBackGround); }
    bool AutoCenter() const { return m_autoCenter; }
    void SetAutoCenter(bool value) { SetField(m_autoCenter, value, irkBackGround); }
    bool AllowFocus() const { return m_allowFocus; }
    void SetAllowFocus(bool value) { SetField(m_allowFocus, value, irkBackGround); }
    double KeyArrowStepSize() const { return m_keyArrowStepSize; }
    void SetKeyArrowStepSize(double value) { m_keyArrowStepSize = value; }
    double KeyPageStepSize() const { return m_keyPageStepSize; }
    void SetKeyPageStepSize(double value) { m_keyPageStepSize = value; }
    double MouseWheelStepSize() const { return m_mouseWheelStepSize; }
    void SetMouseWheelStepSize(double value) { m_mouseWheelStepSize = value; }
    bool MinMaxStyle3D() const { return m_minMaxStyle3D; }
    void SetMinMaxStyle3D(bool value) { SetField(m_minMaxStyle3D, value, irkBackGround); }

    // ---- Layout of one paint ----
    // Side code of a pointer (or of the band and scale, for nullptr): 2 vertical with the pointers at
    // the left, 0 vertical at the right, 3 horizontal at the top, 1 horizontal at the bottom.
    int SideCode(const TiGaugePointer* Pointer = nullptr) const;
    // The scale band (left, top, right, bottom), after centring and offsets.
    QRect BandRect() const; // QRect(QPoint(left, top), QPoint(right, bottom)) of the band's coordinates
    // Pixel along the scale of a value, and the value at a pixel.
    int ValueToPixel(double V) const;
    double PixelToValue(int Pixel) const;

signals:
    void OnClickPointer(int Index);
    void OnPointerPositionChanged(int Index);

protected:
    void iPaintTo(QPainter& Canvas) override;
    void iKeyDown(int& Key, TShiftState Shift) override;
    void iWantSpecialKey(int& Key, int& Result) override;
    void iMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void iMouseMove(TShiftState Shift, int X, int Y) override;
    void iMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void DefineExtraValues(QList<TiExtraValue>& Values) override;
    // Sets up a pointer the list just received.
    virtual void NewPointer(TiGaugePointer* Pointer);

private:
    struct Band {
        int Left = 0, Top = 0, Right = 0, Bottom = 0;
    };
    Band ComputeBand() const;
    TiScaleMap Map(const Band& b) const;
    void ConfigureScale(const Band& b);
    void DrawSections(QPainter& Canvas, const Band& b, const TiScaleMap& map);
    void DrawPointer(QPainter& Canvas, TiGaugePointer* p, const Band& b, const TiScaleMap& map);
    void DrawMinMaxPointers(QPainter& Canvas, const Band& b, const TiScaleMap& map);
    void DrawLimitPointers(QPainter& Canvas, const Band& b, const TiScaleMap& map);
    void OnPointerPosition(TiGaugePointer* p);
    // A pointer's property changed: a background change when the band moved, else a repaint.
    void PointerChanged();
    TiGaugePointer* First() const;
    int AlongOf(int X, int Y) const { return m_orientation == ioVertical ? Y : X; }

    std::unique_ptr<TiGaugePointerManager> m_pointers;
    std::unique_ptr<TiGaugePointer> m_minPointer;
    std::unique_ptr<TiGaugePointer> m_maxPointer;

    int m_endsMargin = 10;
    TiOrientation m_orientation = ioVertical;
    TiOrientationSide m_orientationTickMarks = iosBottomRight;
    bool m_reverseScale = false;
    bool m_autoCenter = false;
    bool m_allowFocus = false;
    double m_keyArrowStepSize = 0.1;
    double m_keyPageStepSize = 1;
    double m_mouseWheelStepSize = 1;
    bool m_minMaxStyle3D = false;

    bool m_cacheWithoutScale = false; // the cached layer was drawn without the scale
    Band m_cachedBand;                // the band the cached layer was drawn for
    double m_pressValue = 0;          // scale value under the press
    double m_pressPointerValue = 0;   // position of the pressed pointer at the press
    double m_pressExtremeValue = 0;   // CurrentMin or CurrentMax at the press on its pointer
    bool m_moved = false;
};
