#pragma once
// The standard controls of the window layout that Qt does not offer as such: the bevelled panel and
// the two lamp pictures, and the classic desktop look that the layout's colours assume.

#include "iTypes.h"

#include <QPixmap>
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

// The 32 × 32 lamp pictures, drawn once and shared.
const QPixmap& UnlitLampPicture();
const QPixmap& LitLampPicture();

// A font of the layout: face, height in pixels (so it does not depend on the screen's resolution).
QFont LayoutFont(const char* family, int pixelSize, bool bold = false, bool italic = false);

// Fusion style with the classic desktop colours, so the layout's system colours and the controls agree.
void ApplyClassicLook(QApplication& app);
