#include "iProgressComponent.h"

TiProgressComponent::TiProgressComponent(QWidget* parent) : TiPositionComponent(parent) {
    resize(16, 200);
}

void TiProgressComponent::SetSectionCount(int v) {
    if (v < 1 || v > 5)
        return;
    SetField(m_sectionCount, v, irkInvalidate);
}

double TiProgressComponent::SectionStart(int k) const {
    return k <= 1 ? PositionMin() : m_sectionEnd[k - 2];
}

double TiProgressComponent::SectionEndOf(int k) const {
    return (k >= m_sectionCount || k > 4) ? PositionMax() : m_sectionEnd[k - 1];
}

TColor TiProgressComponent::SectionColor(int k) const {
    return m_sectionColor[std::clamp(k, 1, 5) - 1];
}

void TiProgressComponent::DefineExtraValues(QList<TiExtraValue>& Values) {
    TiPositionComponent::DefineExtraValues(Values);
    for (int i = 0; i < 4; ++i)
        Values.append({QStringLiteral("SectionEnd%1_2").arg(i + 1),
                       [this, i] { return QVariant(m_sectionEnd[i]); },
                       [this, i](const QVariant& v) { m_sectionEnd[i] = v.toDouble(); }});
}
