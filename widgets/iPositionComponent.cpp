#include "iPositionComponent.h"

TiPositionComponent::TiPositionComponent(QWidget* parent) : TiCustomComponent(parent) {}

void TiPositionComponent::SetPosition(double V) {
    if (IsLoading()) {
        StorePositionRaw(V);
        return;
    }
    if (V > m_positionMax)
        V = m_positionMax;
    if (!(V >= m_positionMin)) // inverted bounds: every value becomes PositionMin
        V = m_positionMin;
    if (V == Position())
        return;
    if (!StorePosition(V))
        return;
    UpdateExtremesAndLimits(V);
    InvalidateChange();
    DoPositionChange();
}

bool TiPositionComponent::StorePosition(double V) {
    if (!AskEditPermission(QStringLiteral("Position")))
        return false;
    m_position = V;
    m_changedSinceFinish = true;
    return true;
}

void TiPositionComponent::UpdateExtremesAndLimits(double V) {
    if (m_minMaxFixed)
        return;
    if (m_currentMax < V) {
        SetCurrentMax(V);
        emit OnPositionOverMax();
    }
    if (V < m_currentMin) {
        SetCurrentMin(V);
        emit OnPositionUnderMin();
    }
    for (int i = 0; i < m_limits.size(); ++i) {
        if (V > m_limits[i].UpperValue)
            emit OnPositionOverLimit(i);
        if (V < m_limits[i].LowerValue)
            emit OnPositionUnderLimit(i);
    }
}

void TiPositionComponent::DoPositionChange() {
    if (IsLoading())
        return;
    if (!m_userChange)
        NotifyPositionFinished();
    TellPropertyChanged(QStringLiteral("Position"));
    emit OnPositionChange();
    if (m_userChange)
        emit OnPositionChangeUser();
}

void TiPositionComponent::DoPositionChangeFinished() {
    if (IsLoading() || !m_changedSinceFinish)
        return;
    m_changedSinceFinish = false;
    NotifyPositionFinished();
    emit OnPositionChangeFinished();
}

void TiPositionComponent::SetPositionMin(double V) {
    if (V == m_positionMin)
        return;
    SetMinMax(m_positionMax, V);
}

void TiPositionComponent::SetPositionMax(double V) {
    if (V == m_positionMax)
        return;
    SetMinMax(V, m_positionMin);
}

void TiPositionComponent::SetMinMax(double Max, double Min) {
    if (Max == m_positionMax && Min == m_positionMin)
        return;
    m_positionMax = Max;
    m_positionMin = Min;
    if (!IsLoading() && !m_minMaxFixed) {
        if (m_currentMin < m_positionMin)
            m_currentMin = m_positionMin;
        if (m_currentMax > m_positionMax)
            m_currentMax = m_positionMax;
    }
    ClampPosition();
    BackGroundChange();
}

void TiPositionComponent::ClampPosition() {
    if (IsLoading())
        return;
    if (Position() < m_positionMin)
        SetPosition(m_positionMin);
    if (Position() > m_positionMax)
        SetPosition(m_positionMax);
}

void TiPositionComponent::SetCurrentMax(double V) {
    if (!IsLoading())
        V = std::min(std::max(V, m_positionMin), m_positionMax);
    if (V == m_currentMax)
        return;
    m_currentMax = V;
    if (m_showMaxPointer)
        InvalidateChange();
    if (IsLoading())
        return;
    emit OnCurrentMaxChange();
    if (m_currentMax < Position())
        emit OnPositionOverMax();
}

void TiPositionComponent::SetCurrentMin(double V) {
    if (!IsLoading())
        V = std::min(std::max(V, m_positionMin), m_positionMax);
    if (V == m_currentMin)
        return;
    m_currentMin = V;
    if (m_showMinPointer)
        InvalidateChange();
    if (IsLoading())
        return;
    emit OnCurrentMinChange();
    if (m_currentMin > Position())
        emit OnPositionUnderMin();
}

double TiPositionComponent::PositionFraction(double V) const {
    if (V > m_positionMax)
        return 1.0;
    if (V >= m_positionMin && m_positionMax != m_positionMin)
        return (V - m_positionMin) / (m_positionMax - m_positionMin);
    return 0.0;
}

int TiPositionComponent::AddLimit(double UpperValue, double LowerValue) {
    TiLimitObject limit;
    limit.UpperValue = UpperValue;
    limit.LowerValue = LowerValue;
    m_limits.append(limit);
    BackGroundChange();
    return int(m_limits.size()) - 1;
}

TiLimitObject& TiPositionComponent::Limit(int Index) {
    if (Index < 0 || Index >= m_limits.size())
        throw EiError("Limit Index out of bounds");
    return m_limits[Index];
}

const TiLimitObject& TiPositionComponent::Limit(int Index) const {
    if (Index < 0 || Index >= m_limits.size())
        throw EiError("Limit Index out of bounds");
    return m_limits[Index];
}

void TiPositionComponent::RemoveLimit(int Index) {
    Limit(Index);
    m_limits.removeAt(Index);
    BackGroundChange();
}

void TiPositionComponent::ClearLimits() {
    if (m_limits.isEmpty())
        return;
    m_limits.clear();
    BackGroundChange();
}

void TiPositionComponent::DefineExtraValues(QList<TiExtraValue>& Values) {
    TiCustomComponent::DefineExtraValues(Values);
    Values.append({QStringLiteral("PositionMax_2"), [this] { return QVariant(m_positionMax); },
                   [this](const QVariant& v) { m_positionMax = v.toDouble(); }});
}
