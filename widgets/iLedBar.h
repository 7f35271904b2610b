#pragma once
// TiLedBar: a position shown as a row of LED segments lit from one end, coloured by section.

#include "iProgressComponent.h"

#include <QVector>

class TiLedBar : public TiProgressComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "BackGroundColor,BorderStyle,Transparent,Width,Height")
    Q_PROPERTY(TiDirection SegmentDirection READ SegmentDirection WRITE SetSegmentDirection)
    Q_PROPERTY(int SegmentMargin READ SegmentMargin WRITE SetSegmentMargin)
    Q_PROPERTY(int SegmentSize READ SegmentSize WRITE SetSegmentSize)
    Q_PROPERTY(int SegmentSpacing READ SegmentSpacing WRITE SetSegmentSpacing)
    Q_PROPERTY(TiLedBarSegmentStyle SegmentStyle READ SegmentStyle WRITE SetSegmentStyle)
    Q_PROPERTY(double FillReferenceValue READ FillReferenceValue WRITE SetFillReferenceValue)
    Q_PROPERTY(bool FillReferenceEnabled READ FillReferenceEnabled WRITE SetFillReferenceEnabled)

public:
    enum TiDirection { idUp, idDown, idRight, idLeft };
    Q_ENUM(TiDirection)
    enum TiLedBarSegmentStyle { ilbssRectangle, ilbssCircle, ilbssTriangle };
    Q_ENUM(TiLedBarSegmentStyle)

    explicit TiLedBar(QWidget* parent = nullptr);

    TiDirection SegmentDirection() const { return m_segmentDirection; }
    void SetSegmentDirection(TiDirection value);
    int SegmentMargin() const { return m_segmentMargin; }
    void SetSegmentMargin(int value) { SetField(m_segmentMargin, value, irkInvalidate); }
    int SegmentSize() const { return m_segmentSize; }
    void SetSegmentSize(int value) { SetField(m_segmentSize, value, irkInvalidate); }
    int SegmentSpacing() const { return m_segmentSpacing; }
    void SetSegmentSpacing(int value) { SetField(m_segmentSpacing, value, irkInvalidate); }
    TiLedBarSegmentStyle SegmentStyle() const { return m_segmentStyle; }
    void SetSegmentStyle(TiLedBarSegmentStyle value) { SetField(m_segmentStyle, value, irkInvalidate); }
    double FillReferenceValue() const { return m_fillReferenceValue; }
    void SetFillReferenceValue(double value) { SetField(m_fillReferenceValue, value, irkInvalidate); }
    bool FillReferenceEnabled() const { return m_fillReferenceEnabled; }
    void SetFillReferenceEnabled(bool value) { SetField(m_fillReferenceEnabled, value, irkInvalidate); }

    // Where the segments go for the current size and settings.
    struct Layout {
        int Count = 0;  // segments that fit
        int Offset = 0; // centring offset of the vertical directions
        int Pitch = 0;  // size plus spacing
        // The first segment's rectangle in window coordinates (right and bottom outside).
        int Left = 0, Top = 0, Right = 0, Bottom = 0;
    };
    Layout SegmentLayout() const;

    // Segments lit for a fraction of the range: f * N + 0.5 rounded, halves to even.
    static int LitCount(double Fraction, int Count);

    // One segment as the next paint draws it.
    struct Segment {
        int Left = 0, Top = 0, Right = 0, Bottom = 0; // window coordinates, right and bottom outside
        double Value = 0;
        int Section = 1; // 1..5
        bool Lit = false;
        TColor Color = 0; // colour it is drawn in
    };
    // The segments drawn, in order from the start of the bar. With ShowOffSegments off, drawing stops at
    // the lit count, except when filling from a reference; an unlit segment drawn then takes the
    // background colour.
    QVector<Segment> Segments() const;

protected:
    void iPaintTo(QPainter& Canvas) override;

private:
    void DrawSegment(QPainter& Canvas, const Segment& s) const;

    TiDirection m_segmentDirection = idUp;
    int m_segmentMargin = 2;
    int m_segmentSize = 5;
    int m_segmentSpacing = 2;
    TiLedBarSegmentStyle m_segmentStyle = ilbssRectangle;
    double m_fillReferenceValue = 0;
    bool m_fillReferenceEnabled = false;
};
