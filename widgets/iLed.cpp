#include "iLed.h"

TiLed::TiLed(QWidget* parent) : TiCustomComponent(parent) {
    resize(20, 20);
}

void TiLed::SetActive(bool value) {
    if (value == m_active)
        return;
    if (!AskEditPermission(QStringLiteral("Active")))
        return;
    m_active = value;
    BackGroundChange();
    TellPropertyChanged(QStringLiteral("Active"));
    emit OnChange();
}

TColor TiLed::LedColor() const {
    if (m_active)
        return m_activeColor;
    if (m_autoInactiveColor)
        return ColorDim(m_activeColor, 3);
    return m_inactiveColor;
}
