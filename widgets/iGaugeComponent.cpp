#include "iGaugeComponent.h"

TiGaugeComponent::TiGaugeComponent(QWidget* parent) : TiScaleComponent(parent) {}

void TiGaugeComponent::SetSectionCount(int v) {
    SetField(m_sectionCount, std::clamp(v, 0, 5), irkBackGround);
}

double TiGaugeComponent::SectionStart(int k) const {
    return k <= 1 ? PositionMin() : m_sectionEnd[k - 2];
}

double TiGaugeComponent::SectionEndOf(int k) const {
    return (k >= m_sectionCount || k > 4) ? PositionMax() : m_sectionEnd[k - 1];
}

TColor TiGaugeComponent::SectionColor(int k) const {
    return m_sectionColor[std::clamp(k, 1, 5) - 1];
}

void TiGaugeComponent::DefineExtraValues(QList<TiExtraValue>& Values) {
    TiScaleComponent::DefineExtraValues(Values);
    for (int i = 0; i < 4; ++i)
        Values.append({QStringLiteral("SectionEnd%1_2").arg(i + 1),
                       [this, i] { return QVariant(m_sectionEnd[i]); },
                       [this, i](const QVariant& v) { m_sectionEnd[i] = v.toDouble(); }});
}
