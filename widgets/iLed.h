#pragma once
// TiLed: the state, colours and bevel of a lamp widget. Draws nothing itself; TiLedRound draws it.

#include "iCustomComponent.h"

class TiLed : public TiCustomComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "Width,Height")
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(uint ActiveColor READ ActiveColor WRITE SetActiveColor)
    Q_PROPERTY(bool AutoInactiveColor READ AutoInactiveColor WRITE SetAutoInactiveColor)
    Q_PROPERTY(uint InactiveColor READ InactiveColor WRITE SetInactiveColor)
    Q_PROPERTY(TiEnums::TiBevelStyle BevelStyle READ BevelStyle WRITE SetBevelStyle)

public:
    explicit TiLed(QWidget* parent = nullptr);

    bool Active() const { return m_active; }
    void SetActive(bool value);
    TColor ActiveColor() const { return m_activeColor; }
    void SetActiveColor(TColor value) { SetField(m_activeColor, value, irkBackGround); }
    bool AutoInactiveColor() const { return m_autoInactiveColor; }
    void SetAutoInactiveColor(bool value) { SetField(m_autoInactiveColor, value, irkBackGround); }
    TColor InactiveColor() const { return m_inactiveColor; }
    void SetInactiveColor(TColor value) { SetField(m_inactiveColor, value, irkBackGround); }
    TiBevelStyle BevelStyle() const { return m_bevelStyle; }
    void SetBevelStyle(TiBevelStyle value) { SetField(m_bevelStyle, value, irkBackGround); }

    // The colour the lamp shows now: ActiveColor when on; when off ActiveColor dimmed to a third, or
    // InactiveColor when AutoInactiveColor is off.
    TColor LedColor() const;

signals:
    void OnChange();

private:
    bool m_active = false;
    TColor m_activeColor = clLime;
    bool m_autoInactiveColor = true;
    TColor m_inactiveColor = RGBValue(0, 85, 0);
    TiBevelStyle m_bevelStyle = ibsLowered;
};
