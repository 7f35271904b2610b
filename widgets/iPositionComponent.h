#pragma once
// TiPositionComponent: a value between PositionMin and PositionMax with clamping, the running extremes
// (CurrentMin/CurrentMax), limits and the change events every value widget shares.

#include "iCustomComponent.h"

#include <QList>

// A limit on the position: crossing UpperValue or LowerValue raises the limit events.
struct TiLimitObject {
    double UpperValue = 0;
    double LowerValue = 0;
    TColor UpperColor = clRed;
    TColor LowerColor = clBlue;
    bool ShowUpperPointer = false;
    bool ShowLowerPointer = false;
    int PointerSize = 8;
    int PointerMargin = 2;
};

class TiPositionComponent : public TiCustomComponent {
    Q_OBJECT
    Q_PROPERTY(double Position READ Position WRITE SetPosition)
    Q_PROPERTY(double PositionMax READ PositionMax WRITE SetPositionMax)
    Q_PROPERTY(double PositionMin READ PositionMin WRITE SetPositionMin)
    Q_PROPERTY(double CurrentMax READ CurrentMax WRITE SetCurrentMax)
    Q_PROPERTY(double CurrentMin READ CurrentMin WRITE SetCurrentMin)
    Q_PROPERTY(bool MinMaxFixed READ MinMaxFixed WRITE SetMinMaxFixed)

public:
    explicit TiPositionComponent(QWidget* parent = nullptr);

    virtual double Position() const { return m_position; }
    virtual void SetPosition(double V);
    double PositionMin() const { return m_positionMin; }
    virtual void SetPositionMin(double V);
    double PositionMax() const { return m_positionMax; }
    virtual void SetPositionMax(double V);
    // Both bounds at once (no check that Min <= Max), then trims the extremes and clamps Position.
    void SetMinMax(double Max, double Min);
    virtual void ClampPosition();

    double CurrentMax() const { return m_currentMax; }
    void SetCurrentMax(double V);
    double CurrentMin() const { return m_currentMin; }
    void SetCurrentMin(double V);
    bool MinMaxFixed() const { return m_minMaxFixed; }
    void SetMinMaxFixed(bool value) { SetField(m_minMaxFixed, value, irkInvalidate); }

    // Fraction of V in the range: 1 above PositionMax, 0 below PositionMin or for an empty range.
    double PositionFraction(double V) const;

    // Min/max pointers: published by the widget classes that draw them.
    bool ShowMaxPointer() const { return m_showMaxPointer; }
    void SetShowMaxPointer(bool value) { SetField(m_showMaxPointer, value, irkBackGround); }
    bool ShowMinPointer() const { return m_showMinPointer; }
    void SetShowMinPointer(bool value) { SetField(m_showMinPointer, value, irkBackGround); }
    int MinMaxPointerSize() const { return m_minMaxPointerSize; }
    void SetMinMaxPointerSize(int value) { SetField(m_minMaxPointerSize, value, irkBackGround); }
    int MinMaxPointerMargin() const { return m_minMaxPointerMargin; }
    void SetMinMaxPointerMargin(int value) { SetField(m_minMaxPointerMargin, value, irkBackGround); }
    TColor MaxPointerColor() const { return m_maxPointerColor; }
    void SetMaxPointerColor(TColor value) { SetField(m_maxPointerColor, value, irkBackGround); }
    TColor MinPointerColor() const { return m_minPointerColor; }
    void SetMinPointerColor(TColor value) { SetField(m_minPointerColor, value, irkBackGround); }
    bool MinMaxUserCanMove() const { return m_minMaxUserCanMove; }
    void SetMinMaxUserCanMove(bool value) { SetField(m_minMaxUserCanMove, value, irkNone); }

    // Limits, addressed from 0; a bad index throws EiError("Limit Index out of bounds").
    int AddLimit(double UpperValue, double LowerValue);
    int LimitCount() const { return int(m_limits.size()); }
    TiLimitObject& Limit(int Index);
    const TiLimitObject& Limit(int Index) const;
    void RemoveLimit(int Index);
    void ClearLimits();

signals:
    void OnPositionChange();
    void OnCurrentMaxChange();
    void OnCurrentMinChange();
    void OnPositionOverMax();
    void OnPositionUnderMin();
    void OnPositionOverLimit(int Index);
    void OnPositionUnderLimit(int Index);
    // Raised here, published by the widgets that use them.
    void OnPositionChangeUser();
    void OnPositionChangeFinished();

protected:
    // Steps of one accepted change, for classes that store the value elsewhere (the gauge's pointer):
    // stores V (after the edit permission) and marks the change; false when vetoed.
    virtual bool StorePosition(double V);
    // Running extremes and limits for a new value (skipped with MinMaxFixed).
    void UpdateExtremesAndLimits(double V);
    // OnPositionChange (with the property-changed hook before it), then OnPositionChangeUser while
    // the user-change mark is set.
    void DoPositionChange();
    // End of a user change: OnPositionChangeFinished if the position changed since the last finish.
    void DoPositionChangeFinished();
    virtual void NotifyPositionFinished() {}

    bool UserChange() const { return m_userChange; }
    void SetUserChange(bool value) { m_userChange = value; }
    bool ChangedSinceFinish() const { return m_changedSinceFinish; }
    void SetChangedSinceFinish(bool value) { m_changedSinceFinish = value; }
    // Sets the user-change mark for the scope of a change made by the operator.
    class UserChangeScope {
    public:
        explicit UserChangeScope(TiPositionComponent* c) : m_c(c), m_old(c->m_userChange) {
            c->m_userChange = true;
        }
        ~UserChangeScope() { m_c->m_userChange = m_old; }
        UserChangeScope(const UserChangeScope&) = delete;
        UserChangeScope& operator=(const UserChangeScope&) = delete;

    private:
        TiPositionComponent* m_c;
        bool m_old;
    };

    // Raw field access for the extra streamed values and loading.
    void StorePositionMaxRaw(double V) { m_positionMax = V; }
    void StorePositionRaw(double V) { m_position = V; }

    void DefineExtraValues(QList<TiExtraValue>& Values) override;

private:
    double m_position = 0;
    double m_positionMax = 100;
    double m_positionMin = 0;
    double m_currentMax = 0;
    double m_currentMin = 0;
    bool m_minMaxFixed = false;
    bool m_showMaxPointer = false;
    bool m_showMinPointer = false;
    int m_minMaxPointerSize = 8;
    int m_minMaxPointerMargin = 0;
    TColor m_maxPointerColor = clAqua;
    TColor m_minPointerColor = clYellow;
    bool m_minMaxUserCanMove = false;
    bool m_userChange = false;
    bool m_changedSinceFinish = false;
    QList<TiLimitObject> m_limits;
};
