#pragma once
// TiGaugeComponent: a scale widget with five colour sections. The pointer list that carries Position
// is added with the gauge; until then the position model keeps the value itself.

#include "iScaleComponent.h"

class TiGaugeComponent : public TiScaleComponent {
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

public:
    explicit TiGaugeComponent(QWidget* parent = nullptr);

    int SectionCount() const { return m_sectionCount; }
    void SetSectionCount(int v); // clamped to 0..5
    double SectionEnd1() const { return m_sectionEnd[0]; }
    void SetSectionEnd1(double v) { SetField(m_sectionEnd[0], v, irkBackGround); }
    double SectionEnd2() const { return m_sectionEnd[1]; }
    void SetSectionEnd2(double v) { SetField(m_sectionEnd[1], v, irkBackGround); }
    double SectionEnd3() const { return m_sectionEnd[2]; }
    void SetSectionEnd3(double v) { SetField(m_sectionEnd[2], v, irkBackGround); }
    double SectionEnd4() const { return m_sectionEnd[3]; }
    void SetSectionEnd4(double v) { SetField(m_sectionEnd[3], v, irkBackGround); }
    TColor SectionColor1() const { return m_sectionColor[0]; }
    void SetSectionColor1(TColor v) { SetField(m_sectionColor[0], v, irkBackGround); }
    TColor SectionColor2() const { return m_sectionColor[1]; }
    void SetSectionColor2(TColor v) { SetField(m_sectionColor[1], v, irkBackGround); }
    TColor SectionColor3() const { return m_sectionColor[2]; }
    void SetSectionColor3(TColor v) { SetField(m_sectionColor[2], v, irkBackGround); }
    TColor SectionColor4() const { return m_sectionColor[3]; }
    void SetSectionColor4(TColor v) { SetField(m_sectionColor[3], v, irkBackGround); }
    TColor SectionColor5() const { return m_sectionColor[4]; }
    void SetSectionColor5(TColor v) { SetField(m_sectionColor[4], v, irkBackGround); }

    double SectionStart(int k) const;
    double SectionEndOf(int k) const;
    TColor SectionColor(int k) const; // k = 1..5

protected:
    void DefineExtraValues(QList<TiExtraValue>& Values) override;

private:
    int m_sectionCount = 0;
    double m_sectionEnd[4] = {50, 75, 0, 0};
    TColor m_sectionColor[5] = {32768, 65535, 255, 65535, 65535};
};
