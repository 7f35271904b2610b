#pragma once
// TiLedRound: a round lamp: a shaded bevel ring, a disc in the lamp colour and a white highlight.

#include "iLed.h"

class TiLedRound : public TiLed {
    Q_OBJECT
    Q_CLASSINFO("Publish", "Width,Height,BackGroundColor,Transparent")
    Q_PROPERTY(bool ShowReflection READ ShowReflection WRITE SetShowReflection)

public:
    explicit TiLedRound(QWidget* parent = nullptr);

    bool ShowReflection() const { return m_showReflection; }
    void SetShowReflection(bool value) { SetField(m_showReflection, value, irkBackGround); }

    // Keeps the lamp square: a new width decides, else a new height (not while the layout is read).
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

protected:
    void iPaintTo(QPainter& Canvas) override;

private:
    bool m_showReflection = true;
};
