#pragma once
// TiScaleComponent: the position model with a scale: tick settings, tick values and label texts, the
// automatic scale, the one value-to-pixel map and the straight scale drawing.

#include "iPositionComponent.h"

#include <QVector>

// The one value-to-pixel map of a straight scale: A is the pixel of Low, B the pixel of High (already
// swapped for a reversed scale). Every drawing and hit test of a straight scale goes through it.
struct TiScaleMap {
    double Low = 0;
    double High = 100;
    int A = 0;
    int B = 0;

    int ToPixel(double V) const;
    double ToValue(int Pixel) const;
};

// Where the owning widget puts its straight scale; set before each paint.
struct TiScaleLayout {
    double Low = 0;
    double High = 100;
    int PixelLow = 0;  // pixel of Low before reversing
    int PixelHigh = 0; // pixel of High before reversing
    bool Reverse = false;
    TiOrientation Orientation = ioVertical;
    TiOrientationSide Side = iosBottomRight; // ticks right of (vertical) or below (horizontal) the base line
    int BaseLine = 0;                        // X0: across coordinate of the base line
    bool SwapMinorAlignment = false;

    TiScaleMap Map() const;
};

// Scale settings; every change raises OnChange, which the owner turns into a background change.
class TiScaleObject : public QObject {
    Q_OBJECT
public:
    explicit TiScaleObject(QObject* parent = nullptr);

    bool ShowTicksAxis() const { return m_showTicksAxis; }
    void SetShowTicksAxis(bool v) { Set(m_showTicksAxis, v); }
    bool ShowTicksMajor() const { return m_showTicksMajor; }
    void SetShowTicksMajor(bool v) { Set(m_showTicksMajor, v); }
    bool ShowTicksMinor() const { return m_showTicksMinor; }
    void SetShowTicksMinor(bool v) { Set(m_showTicksMinor, v); }
    bool ShowTickLabels() const { return m_showTickLabels; }
    void SetShowTickLabels(bool v) { Set(m_showTickLabels, v); }
    bool ShowTicksMajorFirstLast() const { return m_showTicksMajorFirstLast; }
    void SetShowTicksMajorFirstLast(bool v) { Set(m_showTicksMajorFirstLast, v); }
    int TickMajorCount() const { return m_tickMajorCount; }
    void SetTickMajorCount(int v); // 2..100
    int TickMinorCount() const { return m_tickMinorCount; }
    void SetTickMinorCount(int v); // 1..100
    int TickMajorLength() const { return m_tickMajorLength; }
    void SetTickMajorLength(int v); // >= 1
    int TickMinorLength() const { return m_tickMinorLength; }
    void SetTickMinorLength(int v); // >= 1
    int TickMargin() const { return m_tickMargin; }
    void SetTickMargin(int v) { Set(m_tickMargin, v); }
    int TickLabelMargin() const { return m_tickLabelMargin; }
    void SetTickLabelMargin(int v) { Set(m_tickLabelMargin, v); }
    TColor TickMajorColor() const { return m_tickMajorColor; }
    void SetTickMajorColor(TColor v) { Set(m_tickMajorColor, v); }
    TColor TickMinorColor() const { return m_tickMinorColor; }
    void SetTickMinorColor(TColor v) { Set(m_tickMinorColor, v); }
    TiBevelStyle TickMajorStyle() const { return m_tickMajorStyle; }
    void SetTickMajorStyle(TiBevelStyle v) { Set(m_tickMajorStyle, v); }
    TiBevelStyle TickMinorStyle() const { return m_tickMinorStyle; }
    void SetTickMinorStyle(TiBevelStyle v) { Set(m_tickMinorStyle, v); }
    TiTickMinorAlignment TickMinorAlignment() const { return m_tickMinorAlignment; }
    void SetTickMinorAlignment(TiTickMinorAlignment v) { Set(m_tickMinorAlignment, v); }
    TFont* TickLabelFont() const { return m_tickLabelFont; }
    int TickLabelPrecision() const { return m_tickLabelPrecision; }
    void SetTickLabelPrecision(int v); // >= 0
    TiPrecisionStyle PrecisionStyle() const { return m_precisionStyle; }
    void SetPrecisionStyle(TiPrecisionStyle v) { Set(m_precisionStyle, v); }

    // Layout of a straight scale, set by the owning widget before it draws (no change event).
    TiScaleLayout Layout;

signals:
    void OnChange();

private:
    template <typename T> void Set(T& field, const T& v) {
        if (field == v)
            return;
        field = v;
        emit OnChange();
    }

    bool m_showTicksAxis = true;
    bool m_showTicksMajor = true;
    bool m_showTicksMinor = true;
    bool m_showTickLabels = true;
    bool m_showTicksMajorFirstLast = true;
    int m_tickMajorCount = 5;
    int m_tickMinorCount = 4;
    int m_tickMajorLength = 7;
    int m_tickMinorLength = 3;
    int m_tickMargin = 5;
    int m_tickLabelMargin = 5;
    TColor m_tickMajorColor = clBlack;
    TColor m_tickMinorColor = clBlack;
    TiBevelStyle m_tickMajorStyle = ibsNone;
    TiBevelStyle m_tickMinorStyle = ibsNone;
    TiTickMinorAlignment m_tickMinorAlignment = itmnaInside;
    TFont* m_tickLabelFont;
    int m_tickLabelPrecision = 0;
    TiPrecisionStyle m_precisionStyle = ipsSignificantDigits;
};

class TiScaleComponent : public TiPositionComponent {
    Q_OBJECT
    Q_PROPERTY(bool ShowTicksAxis READ ShowTicksAxis WRITE SetShowTicksAxis STORED false)
    Q_PROPERTY(bool ShowTicksMajor READ ShowTicksMajor WRITE SetShowTicksMajor)
    Q_PROPERTY(bool ShowTicksMinor READ ShowTicksMinor WRITE SetShowTicksMinor)
    Q_PROPERTY(bool ShowTickLabels READ ShowTickLabels WRITE SetShowTickLabels)
    Q_PROPERTY(bool ShowTicksMajorFirstLast READ ShowTicksMajorFirstLast WRITE SetShowTicksMajorFirstLast)
    Q_PROPERTY(int TickMajorCount READ TickMajorCount WRITE SetTickMajorCount)
    Q_PROPERTY(int TickMinorCount READ TickMinorCount WRITE SetTickMinorCount)
    Q_PROPERTY(int TickMajorLength READ TickMajorLength WRITE SetTickMajorLength)
    Q_PROPERTY(int TickMinorLength READ TickMinorLength WRITE SetTickMinorLength)
    Q_PROPERTY(int TickMargin READ TickMargin WRITE SetTickMargin)
    Q_PROPERTY(int TickLabelMargin READ TickLabelMargin WRITE SetTickLabelMargin)
    Q_PROPERTY(uint TickMajorColor READ TickMajorColor WRITE SetTickMajorColor)
    Q_PROPERTY(uint TickMinorColor READ TickMinorColor WRITE SetTickMinorColor)
    Q_PROPERTY(TiEnums::TiBevelStyle TickMajorStyle READ TickMajorStyle WRITE SetTickMajorStyle)
    Q_PROPERTY(TiEnums::TiBevelStyle TickMinorStyle READ TickMinorStyle WRITE SetTickMinorStyle)
    Q_PROPERTY(
        TiEnums::TiTickMinorAlignment TickMinorAlignment READ TickMinorAlignment WRITE SetTickMinorAlignment)
    Q_PROPERTY(TFont* TickLabelFont READ TickLabelFont WRITE SetTickLabelFont)
    Q_PROPERTY(int TickLabelPrecision READ TickLabelPrecision WRITE SetTickLabelPrecision)
    Q_PROPERTY(TiEnums::TiPrecisionStyle PrecisionStyle READ PrecisionStyle WRITE SetPrecisionStyle)
    Q_PROPERTY(bool AutoScaleEnabled READ AutoScaleEnabled WRITE SetAutoScaleEnabled)
    Q_PROPERTY(int AutoScaleDesiredTicks READ AutoScaleDesiredTicks WRITE SetAutoScaleDesiredTicks)
    Q_PROPERTY(int AutoScaleMaxTicks READ AutoScaleMaxTicks WRITE SetAutoScaleMaxTicks)
    Q_PROPERTY(TiEnums::TiAutoScaleStyle AutoScaleStyle READ AutoScaleStyle WRITE SetAutoScaleStyle)

public:
    explicit TiScaleComponent(QWidget* parent = nullptr);

    TiScaleObject* Scale() const { return m_scale; }

    bool ShowTicksAxis() const { return m_scale->ShowTicksAxis(); }
    void SetShowTicksAxis(bool v) { m_scale->SetShowTicksAxis(v); }
    bool ShowTicksMajor() const { return m_scale->ShowTicksMajor(); }
    void SetShowTicksMajor(bool v) { m_scale->SetShowTicksMajor(v); }
    bool ShowTicksMinor() const { return m_scale->ShowTicksMinor(); }
    void SetShowTicksMinor(bool v) { m_scale->SetShowTicksMinor(v); }
    bool ShowTickLabels() const { return m_scale->ShowTickLabels(); }
    void SetShowTickLabels(bool v) { m_scale->SetShowTickLabels(v); }
    bool ShowTicksMajorFirstLast() const { return m_scale->ShowTicksMajorFirstLast(); }
    void SetShowTicksMajorFirstLast(bool v) { m_scale->SetShowTicksMajorFirstLast(v); }
    int TickMajorCount() const { return m_scale->TickMajorCount(); }
    void SetTickMajorCount(int v) { m_scale->SetTickMajorCount(v); }
    int TickMinorCount() const { return m_scale->TickMinorCount(); }
    void SetTickMinorCount(int v) { m_scale->SetTickMinorCount(v); }
    int TickMajorLength() const { return m_scale->TickMajorLength(); }
    void SetTickMajorLength(int v) { m_scale->SetTickMajorLength(v); }
    int TickMinorLength() const { return m_scale->TickMinorLength(); }
    void SetTickMinorLength(int v) { m_scale->SetTickMinorLength(v); }
    int TickMargin() const { return m_scale->TickMargin(); }
    void SetTickMargin(int v) { m_scale->SetTickMargin(v); }
    int TickLabelMargin() const { return m_scale->TickLabelMargin(); }
    void SetTickLabelMargin(int v) { m_scale->SetTickLabelMargin(v); }
    TColor TickMajorColor() const { return m_scale->TickMajorColor(); }
    void SetTickMajorColor(TColor v) { m_scale->SetTickMajorColor(v); }
    TColor TickMinorColor() const { return m_scale->TickMinorColor(); }
    void SetTickMinorColor(TColor v) { m_scale->SetTickMinorColor(v); }
    TiBevelStyle TickMajorStyle() const { return m_scale->TickMajorStyle(); }
    void SetTickMajorStyle(TiBevelStyle v) { m_scale->SetTickMajorStyle(v); }
    TiBevelStyle TickMinorStyle() const { return m_scale->TickMinorStyle(); }
    void SetTickMinorStyle(TiBevelStyle v) { m_scale->SetTickMinorStyle(v); }
    TiTickMinorAlignment TickMinorAlignment() const { return m_scale->TickMinorAlignment(); }
    void SetTickMinorAlignment(TiTickMinorAlignment v) { m_scale->SetTickMinorAlignment(v); }
    TFont* TickLabelFont() const { return m_scale->TickLabelFont(); }
    void SetTickLabelFont(TFont* v);
    int TickLabelPrecision() const { return m_scale->TickLabelPrecision(); }
    void SetTickLabelPrecision(int v) { m_scale->SetTickLabelPrecision(v); }
    TiPrecisionStyle PrecisionStyle() const { return m_scale->PrecisionStyle(); }
    void SetPrecisionStyle(TiPrecisionStyle v) { m_scale->SetPrecisionStyle(v); }

    bool AutoScaleEnabled() const { return m_autoScaleEnabled; }
    void SetAutoScaleEnabled(bool v);
    int AutoScaleDesiredTicks() const { return m_autoScaleDesiredTicks; }
    void SetAutoScaleDesiredTicks(int v); // values below 2 are ignored
    int AutoScaleMaxTicks() const { return m_autoScaleMaxTicks; }
    void SetAutoScaleMaxTicks(int v);
    TiAutoScaleStyle AutoScaleStyle() const { return m_autoScaleStyle; }
    void SetAutoScaleStyle(TiAutoScaleStyle v);
    // The tick range the automatic scale chose (iassFixedMinMax); PositionMin..PositionMax otherwise.
    double AutoScaleLow() const { return m_autoScaleLow; }
    double AutoScaleHigh() const { return m_autoScaleHigh; }
    // Runs the automatic scale on the current bounds.
    void DoAutoScale();

    void SetPositionMin(double V) override;
    void SetPositionMax(double V) override;

    // ---- Tick values and labels ----
    virtual int GetDecimalPoints() const;
    // Low and high of the major ticks: the automatic scale's tick range with iassFixedMinMax, else the
    // bounds.
    double TickLow() const;
    double TickHigh() const;
    QVector<double> MajorTickValues() const;
    // Minor ticks between major ticks i and i + 1.
    QVector<double> MinorTickValues(int MajorIndex) const;
    // Minor ticks beyond the first and last major tick (iassFixedMinMax with minor ticks shown).
    QVector<double> OuterMinorTickValues() const;
    // V fixed-point with GetDecimalPoints decimals, trimmed; offered to OnCustomizeTickLabel.
    QString TickLabelText(int Index, double V);
    // The same text without the customising event (for measuring).
    QString FormatTickValue(double V) const;

    // Draws the straight scale that Scale()->Layout describes.
    void DrawScale(QPainter& Canvas, bool Disabled);

signals:
    void OnCustomizeTickLabel(int Index, QString& Label);

protected:
    void Loaded() override;

private:
    // The automatic scale for the bounds Max and Min, which it stores or widens.
    void AutoScale(double Max, double Min);
    // Draws one tick line in a bevel style (raised: white then black one pixel further).
    void DrawTickLine(QPainter& Canvas, QPoint p1, QPoint p2, TColor Color, TiBevelStyle Style);

    TiScaleObject* m_scale;
    bool m_autoScaleEnabled = false;
    int m_autoScaleDesiredTicks = 5;
    int m_autoScaleMaxTicks = 6;
    TiAutoScaleStyle m_autoScaleStyle = iassAutoMinMax;
    double m_autoScaleLow = 0;
    double m_autoScaleHigh = 100;
    bool m_autoScaling = false;
};
