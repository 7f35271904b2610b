#pragma once
// TiProgressComponent: the position model with five colour sections, for segment displays.

#include "iPositionComponent.h"

class TiProgressComponent : public TiPositionComponent {
    Q_OBJECT
    Q_PROPERTY(int SectionCount READ SectionCount WRITE SetSectionCount)
    Q_PROPERTY(double SectionEnd1 READ SectionEnd1 WRITE SetSectionEnd1)
    Q_PROPERTY(double SectionEnd2 READ SectionEnd2 WRITE SetSectionEnd2)
    Q_PROPERTY(double SectionEnd3 READ SectionEnd3 WRITE SetSectionEnd3)
    Q_PROPERTY(double SectionEnd4 READ SectionEnd4 WRITE SetSectionEnd4)
    Q_PROPERTY(uint SectionColor1 READ SectionColor1 WRITE SetSectionColor1)
    Q_PROPERTY(uint SectionColor2 READ SectionColor2 WRITE SetSectionColor2)
    Q_PROPERTY(uint SectionColor3 READ SectionColor3 WRITE SetSectionColor3)
    Q_PROPERTY(uint SectionColor4 READ SectionColor4 WRITE SetSectionColor4)
    Q_PROPERTY(uint SectionColor5 READ SectionColor5 WRITE SetSectionColor5)
    Q_PROPERTY(bool ShowOffSegments READ ShowOffSegments WRITE SetShowOffSegments)

public:
    explicit TiProgressComponent(QWidget* parent = nullptr);

    int SectionCount() const { return m_sectionCount; }
    void SetSectionCount(int v); // values outside 1..5 are ignored
    double SectionEnd1() const { return m_sectionEnd[0]; }
    void SetSectionEnd1(double v) { SetField(m_sectionEnd[0], v, irkInvalidate); }
    double SectionEnd2() const { return m_sectionEnd[1]; }
    void SetSectionEnd2(double v) { SetField(m_sectionEnd[1], v, irkInvalidate); }
    double SectionEnd3() const { return m_sectionEnd[2]; }
    void SetSectionEnd3(double v) { SetField(m_sectionEnd[2], v, irkInvalidate); }
    double SectionEnd4() const { return m_sectionEnd[3]; }
    void SetSectionEnd4(double v) { SetField(m_sectionEnd[3], v, irkInvalidate); }
    TColor SectionColor1() const { return m_sectionColor[0]; }
    void SetSectionColor1(TColor v) { SetField(m_sectionColor[0], v, irkInvalidate); }
    TColor SectionColor2() const { return m_sectionColor[1]; }
    void SetSectionColor2(TColor v) { SetField(m_sectionColor[1], v, irkInvalidate); }
    TColor SectionColor3() const { return m_sectionColor[2]; }
    void SetSectionColor3(TColor v) { SetField(m_sectionColor[2], v, irkInvalidate); }
    TColor SectionColor4() const { return m_sectionColor[3]; }
    void SetSectionColor4(TColor v) { SetField(m_sectionColor[3], v, irkInvalidate); }
    TColor SectionColor5() const { return m_sectionColor[4]; }
    void SetSectionColor5(TColor v) { SetField(m_sectionColor[4], v, irkInvalidate); }
    bool ShowOffSegments() const { return m_showOffSegments; }
    void SetShowOffSegments(bool v) { SetField(m_showOffSegments, v, irkInvalidate); }

    // Section k (1-based) spans SectionStart(k)..SectionEnd(k): from PositionMin for k = 1, up to
    // PositionMax for k = SectionCount.
    double SectionStart(int k) const;
    double SectionEndOf(int k) const;
    TColor SectionColor(int k) const; // k = 1..5

protected:
    void DefineExtraValues(QList<TiExtraValue>& Values) override;

private:
    int m_sectionCount = 1;
    double m_sectionEnd[4] = {50, 75, 0, 0};
    TColor m_sectionColor[5] = {65280, 65535, 255, 65535, 65535};
    bool m_showOffSegments = true;
};
