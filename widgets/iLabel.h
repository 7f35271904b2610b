#pragma once
// TiLabel: a self-drawn text widget that sizes itself to its caption, with optional margins, border
// and drop shadow; its caption's accelerator hands the focus to FocusControl.

#include "iCustomComponent.h"

#include <QPointer>

class TiLabel : public TiCustomComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "Width,Height,BackGroundColor,Transparent")
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TFont* Font READ Font WRITE SetFont)
    Q_PROPERTY(TiAlignmentHorizontal Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(TiLabelBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(int OuterMarginLeft READ OuterMarginLeft WRITE SetOuterMarginLeft)
    Q_PROPERTY(int OuterMarginTop READ OuterMarginTop WRITE SetOuterMarginTop)
    Q_PROPERTY(int OuterMarginRight READ OuterMarginRight WRITE SetOuterMarginRight)
    Q_PROPERTY(int OuterMarginBottom READ OuterMarginBottom WRITE SetOuterMarginBottom)
    Q_PROPERTY(bool ShadowShow READ ShadowShow WRITE SetShadowShow)
    Q_PROPERTY(int ShadowXOffset READ ShadowXOffset WRITE SetShadowXOffset)
    Q_PROPERTY(int ShadowYOffset READ ShadowYOffset WRITE SetShadowYOffset)
    Q_PROPERTY(uint ShadowColor READ ShadowColor WRITE SetShadowColor)
    Q_PROPERTY(QWidget* FocusControl READ FocusControl WRITE SetFocusControl STORED false)

public:
    enum TiAlignmentHorizontal { iahCenter, iahLeft, iahRight };
    Q_ENUM(TiAlignmentHorizontal)
    enum TiLabelBorderStyle { ilbsNone, ilbsSingle, ilbsLowered, ilbsRaised };
    Q_ENUM(TiLabelBorderStyle)

    explicit TiLabel(QWidget* parent = nullptr);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);
    TFont* Font() const { return m_font; }
    // Copies the font; the label keeps its own.
    void SetFont(TFont* value);
    TiAlignmentHorizontal Alignment() const { return m_alignment; }
    void SetAlignment(TiAlignmentHorizontal value) { SetField(m_alignment, value, irkInvalidate); }
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool value) { SetSized(m_wordWrap, value); }
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool value) { SetSized(m_autoSize, value); }
    TiLabelBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TiLabelBorderStyle value) { SetSized(m_borderStyle, value); }
    int OuterMarginLeft() const { return m_outerMarginLeft; }
    void SetOuterMarginLeft(int value) { SetSized(m_outerMarginLeft, value); }
    int OuterMarginTop() const { return m_outerMarginTop; }
    void SetOuterMarginTop(int value) { SetSized(m_outerMarginTop, value); }
    int OuterMarginRight() const { return m_outerMarginRight; }
    void SetOuterMarginRight(int value) { SetSized(m_outerMarginRight, value); }
    int OuterMarginBottom() const { return m_outerMarginBottom; }
    void SetOuterMarginBottom(int value) { SetSized(m_outerMarginBottom, value); }
    bool ShadowShow() const { return m_shadowShow; }
    void SetShadowShow(bool value) { SetSized(m_shadowShow, value); }
    int ShadowXOffset() const { return m_shadowXOffset; }
    void SetShadowXOffset(int value) { SetSized(m_shadowXOffset, value); }
    int ShadowYOffset() const { return m_shadowYOffset; }
    void SetShadowYOffset(int value) { SetSized(m_shadowYOffset, value); }
    TColor ShadowColor() const { return m_shadowColor; }
    void SetShadowColor(TColor value) { SetField(m_shadowColor, value, irkInvalidate); }
    QWidget* FocusControl() const { return m_focusControl; }
    void SetFocusControl(QWidget* value);

    // The DrawWidgetText flags the caption is drawn with.
    unsigned TextFlags() const;

protected:
    void iPaintTo(QPainter& Canvas) override;
    bool event(QEvent* e) override;

private:
    template <typename T> void SetSized(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        AdjustSize();
        InvalidateChange();
    }
    int BorderWidth() const;
    void AdjustSize();
    void UpdateAccelerator();
    void FocusControlDestroyed();

    QString m_caption = QStringLiteral("iLabel");
    TFont* m_font;
    TiAlignmentHorizontal m_alignment = iahLeft;
    bool m_wordWrap = false;
    bool m_autoSize = true;
    TiLabelBorderStyle m_borderStyle = ilbsNone;
    int m_outerMarginLeft = 0;
    int m_outerMarginTop = 0;
    int m_outerMarginRight = 0;
    int m_outerMarginBottom = 0;
    bool m_shadowShow = false;
    int m_shadowXOffset = 1;
    int m_shadowYOffset = 1;
    TColor m_shadowColor = clGray;
    QPointer<QWidget> m_focusControl;
    QMetaObject::Connection m_focusControlWatch;
    bool m_adjustingSize = false;
    QList<int> m_shortcutIds;
};
