#pragma once
// TiSwitchLed: a push button with a caption and an LED strip that is lit while the switch is on.
// A click (or releasing Space, or the caption's accelerator) toggles Active.

#include "iCustomComponent.h"

#include <QImage>
#include <QRect>

class TiSwitchLed : public TiCustomComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "TabOrder,TabStop,Width,Height,BackGroundColor")
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(uint ActiveColor READ ActiveColor WRITE SetActiveColor)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TFont* CaptionFont READ CaptionFont WRITE SetCaptionFont)
    Q_PROPERTY(int CaptionMargin READ CaptionMargin WRITE SetCaptionMargin)
    Q_PROPERTY(TiSwitchLedCaptionAlignment CaptionAlignment READ CaptionAlignment WRITE SetCaptionAlignment)
    Q_PROPERTY(TiSideAlignment IndicatorAlignment READ IndicatorAlignment WRITE SetIndicatorAlignment)
    Q_PROPERTY(bool AutoLedSize READ AutoLedSize WRITE SetAutoLedSize)
    Q_PROPERTY(int IndicatorWidth READ IndicatorWidth WRITE SetIndicatorWidth)
    Q_PROPERTY(int IndicatorHeight READ IndicatorHeight WRITE SetIndicatorHeight)
    Q_PROPERTY(int IndicatorMargin READ IndicatorMargin WRITE SetIndicatorMargin)
    Q_PROPERTY(TiSwitchMomentaryStyle MomentaryStyle READ MomentaryStyle WRITE SetMomentaryStyle)
    Q_PROPERTY(bool ShowFocusRect READ ShowFocusRect WRITE SetShowFocusRect)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(int BorderSize READ BorderSize WRITE SetBorderSize)
    Q_PROPERTY(uint BorderHighlightColor READ BorderHighlightColor WRITE SetBorderHighlightColor)
    Q_PROPERTY(uint BorderShadowColor READ BorderShadowColor WRITE SetBorderShadowColor)
    Q_PROPERTY(QImage Glyph READ Glyph WRITE SetGlyph)

public:
    enum TiSwitchLedCaptionAlignment { islcaIndicator, islcaOppisiteSide };
    Q_ENUM(TiSwitchLedCaptionAlignment)
    enum TiSideAlignment { isaBottom, isaTop, isaLeft, isaRight };
    Q_ENUM(TiSideAlignment)
    enum TiSwitchMomentaryStyle { ismsNone, ismsSimple };
    Q_ENUM(TiSwitchMomentaryStyle)

    explicit TiSwitchLed(QWidget* parent = nullptr);

    bool Active() const { return m_active; }
    void SetActive(bool value);
    TColor ActiveColor() const { return m_activeColor; }
    void SetActiveColor(TColor value) { SetField(m_activeColor, value, irkInvalidate); }
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);
    TFont* CaptionFont() const { return m_captionFont; }
    void SetCaptionFont(TFont* value);
    int CaptionMargin() const { return m_captionMargin; }
    void SetCaptionMargin(int value) { SetField(m_captionMargin, value, irkInvalidate); }
    TiSwitchLedCaptionAlignment CaptionAlignment() const { return m_captionAlignment; }
    void SetCaptionAlignment(TiSwitchLedCaptionAlignment value) {
        SetField(m_captionAlignment, value, irkInvalidate);
    }
    TiSideAlignment IndicatorAlignment() const { return m_indicatorAlignment; }
    void SetIndicatorAlignment(TiSideAlignment value) {
        SetField(m_indicatorAlignment, value, irkInvalidate);
    }
    bool AutoLedSize() const { return m_autoLedSize; }
    void SetAutoLedSize(bool value) { SetField(m_autoLedSize, value, irkInvalidate); }
    int IndicatorWidth() const { return m_indicatorWidth; }
    void SetIndicatorWidth(int value) { SetField(m_indicatorWidth, value, irkInvalidate); }
    int IndicatorHeight() const { return m_indicatorHeight; }
    void SetIndicatorHeight(int value) { SetField(m_indicatorHeight, value, irkInvalidate); }
    int IndicatorMargin() const { return m_indicatorMargin; }
    void SetIndicatorMargin(int value) { SetField(m_indicatorMargin, value, irkInvalidate); }
    TiSwitchMomentaryStyle MomentaryStyle() const { return m_momentaryStyle; }
    void SetMomentaryStyle(TiSwitchMomentaryStyle value) { SetField(m_momentaryStyle, value, irkInvalidate); }
    bool ShowFocusRect() const { return m_showFocusRect; }
    void SetShowFocusRect(bool value) { SetField(m_showFocusRect, value, irkInvalidate); }
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool value) { SetField(m_wordWrap, value, irkInvalidate); }
    int BorderSize() const { return m_borderSize; }
    void SetBorderSize(int value); // below 2 becomes 2
    TColor BorderHighlightColor() const { return m_borderHighlightColor; }
    void SetBorderHighlightColor(TColor value) { SetField(m_borderHighlightColor, value, irkInvalidate); }
    TColor BorderShadowColor() const { return m_borderShadowColor; }
    void SetBorderShadowColor(TColor value) { SetField(m_borderShadowColor, value, irkInvalidate); }
    QImage Glyph() const { return m_glyph; }
    void SetGlyph(const QImage& value);

    // The pressed look: the left button or Space is held on the switch.
    bool Pressed() const { return m_mousePressed || m_keyPressed; }

    // Where the LED and the caption go, in pixels (right and bottom edges included). Computed from the
    // current size, border and indicator settings, before the pressed shift.
    struct Layout {
        QRect Inner;
        QRect Led;
        QRect Caption;
        unsigned CaptionFlags;
    };
    Layout ComputeLayout() const;

signals:
    void OnChange();
    void OnChangeUser();

protected:
    void iPaintTo(QPainter& Canvas) override;
    void iMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void iMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void iKeyDown(int& Key, TShiftState Shift) override;
    void iKeyUp(int& Key, TShiftState Shift) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool event(QEvent* e) override;
    void DefineExtraValues(QList<TiExtraValue>& Values) override;

private:
    void UserSetActive(bool value);
    void UserToggle() { UserSetActive(!m_active); }
    void AcceleratorToggle();
    bool MatchesAccelerator(QChar c) const;
    void UpdateAccelerator();
    void DrawFrame(QPainter& Canvas) const;

    bool m_active = false;
    TColor m_activeColor = clLime;
    QString m_caption = QStringLiteral("On");
    TFont* m_captionFont;
    int m_captionMargin = 2;
    TiSwitchLedCaptionAlignment m_captionAlignment = islcaIndicator;
    TiSideAlignment m_indicatorAlignment = isaBottom;
    bool m_autoLedSize = true;
    int m_indicatorWidth = 10;
    int m_indicatorHeight = 4;
    int m_indicatorMargin = 5;
    TiSwitchMomentaryStyle m_momentaryStyle = ismsNone;
    bool m_showFocusRect = true;
    bool m_wordWrap = false;
    int m_borderSize = 2;
    TColor m_borderHighlightColor = clBtnHighlight;
    TColor m_borderShadowColor = clBtnShadow;
    QImage m_glyph;

    bool m_mousePressed = false;
    bool m_keyPressed = false;
    bool m_userChange = false;
    QList<int> m_shortcutIds;
};
