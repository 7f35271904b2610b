#pragma once
// The standard controls of the window layout that Qt does not offer as such: the bevelled panel and
// the two lamp pictures, and the classic desktop look that the layout's colours assume.

#include "iTypes.h"

#include <QPixmap>
#include <QProxyStyle>
#include <QWidget>

class QApplication;
class QFont;

// A panel as the layout knows it: a filled rectangle with an outer and an inner one-pixel bevel.
class TPanel : public QWidget {
    Q_OBJECT
public:
    enum TPanelBevel { bvNone, bvLowered, bvRaised };
    Q_ENUM(TPanelBevel)

    explicit TPanel(QWidget* parent, TColor color = clBtnFace, TPanelBevel bevelOuter = bvRaised,
                    TPanelBevel bevelInner = bvNone);

    TColor Color() const { return m_color; }
    TPanelBevel BevelOuter() const { return m_bevelOuter; }
    TPanelBevel BevelInner() const { return m_bevelInner; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TColor m_color;
    TPanelBevel m_bevelOuter;
    TPanelBevel m_bevelInner;
};

// A label as the layout knows it: left-aligned or centred text on a box of the laid-out size, filled
// with its own colour or showing its parent through. The baseline sits where the layout's Windows faces
// put it, about 0.88 em below the top: the substitute faces report taller ascents (the CJK ones by a
// quarter of an em), which would push the text below the bottom of the laid-out box.
class TLabel : public QWidget {
    Q_OBJECT
public:
    enum TAlignment { taLeftJustify, taCenter };
    Q_ENUM(TAlignment)

    // A label without a size takes the size of its text.
    TLabel(const QString& caption, QWidget* parent, int left, int top, int width = -1, int height = -1);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment alignment);
    // Fill with this colour; without one the label shows its parent through.
    void SetColor(TColor color);
    void SetFontColor(TColor color);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FitToText();

    QString m_caption;
    TAlignment m_alignment = taLeftJustify;
    bool m_filled = false;
    TColor m_color = clBtnFace;
    bool m_autoSize;
};

// The look of the window's flat controls (the layout's Ctl3D off) for its combo boxes and check box: a
// one-pixel frame in the window-frame colour, a flat drop-down button and a flat check box. Sizes and
// the places of the parts inside the controls stay those of the base style, so nothing moves.
class TFlatStyle : public QProxyStyle {
    Q_OBJECT
public:
    explicit TFlatStyle(QObject* parent);
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

// The 32 × 32 lamp pictures, drawn once and shared.
const QPixmap& UnlitLampPicture();
const QPixmap& LitLampPicture();

// A font of the layout: face, height in pixels (so it does not depend on the screen's resolution).
QFont LayoutFont(const char* family, int pixelSize, bool bold = false, bool italic = false);

// Fusion style with the classic desktop colours, so the layout's system colours and the controls agree.
void ApplyClassicLook(QApplication& app);
