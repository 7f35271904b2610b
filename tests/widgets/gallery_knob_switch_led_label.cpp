// Renders the knob, the switch with LED, the round LED and the label in their main states into one
// image, to look at beside the descriptions of their looks:
//   gallery_knob_switch_led_label docs/gallery-knob-switch-led-label.png

#include "iKnob.h"
#include "iLabel.h"
#include "iLedRound.h"
#include "iSwitchLed.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

#include <cstdio>
#include <functional>

namespace {

void GiveFocus(TiComponent* w) {
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(w, &in);
}

void Press(TiComponent* w, QPoint p) {
    QMouseEvent press(QEvent::MouseButtonPress, p, w->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

// Lays out rendered widgets in rows, each with a caption under it.
class Sheet {
public:
    explicit Sheet(int width) : m_image(width, 1400, QImage::Format_RGB32) {
        m_image.fill(QColor(236, 236, 236));
        m_painter.begin(&m_image);
        m_painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    }
    void Title(const QString& text) {
        NewRow();
        m_painter.setPen(Qt::black);
        QFont bold = m_painter.font();
        bold.setBold(true);
        m_painter.save();
        m_painter.setFont(bold);
        m_painter.drawText(10, m_y + 14, text);
        m_painter.restore();
        m_y += 22;
    }
    void Add(TiComponent* w, const QString& caption, int scale = 1) {
        const QImage face = w->RenderToImage();
        const QSize size = face.size() * scale;
        const int cellWidth = std::max(size.width(), m_painter.fontMetrics().horizontalAdvance(caption)) + 16;
        if (m_x + cellWidth > m_image.width())
            NewRow();
        m_painter.drawImage(QRect(QPoint(m_x, m_y), size), face);
        m_painter.setPen(Qt::black);
        m_painter.drawText(m_x, m_y + size.height() + 13, caption);
        m_x += cellWidth;
        m_rowHeight = std::max(m_rowHeight, size.height() + 20);
    }
    void NewRow() {
        m_y += m_rowHeight;
        m_x = 10;
        m_rowHeight = 0;
    }
    QImage Finish() {
        NewRow();
        m_painter.end();
        return m_image.copy(0, 0, m_image.width(), m_y + 6);
    }

private:
    QImage m_image;
    QPainter m_painter;
    int m_x = 10, m_y = 0, m_rowHeight = 0;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s output.png\n", argv[0]);
        return 2;
    }
    QWidget owner; // parent of everything; never shown
    Sheet sheet(960);

    sheet.Title(QStringLiteral("TiKnob: the panel's three knobs, the active look, styles"));
    auto knob = [&](QSize size, double max, double position) {
        auto* k = new TiKnob(&owner);
        k->SetBounds(0, 0, size.width(), size.height());
        k->SetPositionMax(max);
        k->SetPosition(position);
        return k;
    };
    sheet.Add(knob({150, 150}, 1000, 400), QStringLiteral("150x150, 0..1000 at 400"));
    sheet.Add(knob({145, 137}, 1000, 250), QStringLiteral("145x137, 0..1000 at 250"));
    sheet.Add(knob({145, 137}, 400, 400), QStringLiteral("145x137, 0..400 at 400"));
    TiKnob* dragging = knob({150, 150}, 1000, 700);
    dragging->RenderToImage();
    GiveFocus(dragging);
    Press(dragging, QPoint(75, 75));
    sheet.Add(dragging, QStringLiteral("dragging, focused"));
    TiKnob* display = knob({150, 150}, 1000, 640);
    display->SetShowPostionDisplay(true);
    display->SetPositionDisplayPrecision(0);
    display->SetPositionDisplayUnits(QStringLiteral("0"));
    display->PositionDisplayFont()->SetSize(14);
    sheet.Add(display, QStringLiteral("position display"));
    TiKnob* disabled = knob({150, 150}, 1000, 200);
    disabled->SetEnabled(false);
    sheet.Add(disabled, QStringLiteral("disabled"));
    sheet.NewRow();
    const struct {
        TiKnob::TiKnobIndicatorStyle indicator;
        TiKnob::TiKnobStyle style;
        const char* name;
    } styles[] = {
        {TiKnob::ikisDotLowered, TiKnob::iksRaised, "dot lowered, raised"},
        {TiKnob::ikisDotRaised, TiKnob::iksSunken, "dot raised, sunken"},
        {TiKnob::ikisDot, TiKnob::iksRaisedEdge, "dot, raised edge"},
        {TiKnob::ikisLineCenter, TiKnob::iksSunkenEdge, "line to centre, sunken edge"},
        {TiKnob::ikisLineCustom, TiKnob::iksRaised, "line of its size"},
        {TiKnob::ikisTriangle, TiKnob::iksRaisedEdge, "triangle"},
    };
    for (const auto& s : styles) {
        TiKnob* k = knob({140, 140}, 100, 30);
        k->SetIndicatorStyle(s.indicator);
        k->SetKnobStyle(s.style);
        k->SetColor(RGBValue(200, 210, 230));
        k->SetIndicatorSize(6);
        k->SetKnobEdgeWidth(5);
        sheet.Add(k, QString::fromLatin1(s.name));
    }

    sheet.Title(QStringLiteral("TiSwitchLed (x2): the panel's switch off and on, focused, pressed, sides"));
    auto switchLed = [&](QSize size, const QString& caption) {
        auto* s = new TiSwitchLed(&owner);
        s->SetBounds(0, 0, size.width(), size.height());
        s->SetCaption(caption);
        return s;
    };
    sheet.Add(switchLed({177, 28}, QStringLiteral("STOP")), QStringLiteral("STOP, off"), 2);
    TiSwitchLed* run = switchLed({177, 28}, QStringLiteral("RUN"));
    run->SetActiveColor(255);
    run->SetActive(true);
    sheet.Add(run, QStringLiteral("RUN, red, on"), 2);
    TiSwitchLed* focused = switchLed({177, 28}, QStringLiteral("STOP"));
    GiveFocus(focused);
    sheet.Add(focused, QStringLiteral("focused"), 2);
    TiSwitchLed* pressed = switchLed({177, 28}, QStringLiteral("STOP"));
    GiveFocus(pressed);
    Press(pressed, QPoint(80, 10));
    sheet.Add(pressed, QStringLiteral("pressed"), 2);
    const struct {
        TiSwitchLed::TiSideAlignment side;
        TiSwitchLed::TiSwitchLedCaptionAlignment alignment;
        const char* name;
    } sides[] = {
        {TiSwitchLed::isaTop, TiSwitchLed::islcaIndicator, "top"},
        {TiSwitchLed::isaTop, TiSwitchLed::islcaOppisiteSide, "top, far"},
        {TiSwitchLed::isaLeft, TiSwitchLed::islcaIndicator, "left"},
        {TiSwitchLed::isaLeft, TiSwitchLed::islcaOppisiteSide, "left, far"},
        {TiSwitchLed::isaRight, TiSwitchLed::islcaIndicator, "right"},
        {TiSwitchLed::isaRight, TiSwitchLed::islcaOppisiteSide, "right, far"},
    };
    for (const auto& s : sides) {
        TiSwitchLed* sw = switchLed({90, 40}, QStringLiteral("&Pump"));
        sw->SetIndicatorAlignment(s.side);
        sw->SetCaptionAlignment(s.alignment);
        sw->SetActive(true);
        sheet.Add(sw, QString::fromLatin1(s.name), 2);
    }
    QImage glyph(12, 8, QImage::Format_RGB32);
    glyph.fill(QColor(255, 0, 255));
    QPainter(&glyph).fillRect(2, 1, 8, 6, QColor(0, 0, 200));
    TiSwitchLed* withGlyph = switchLed({90, 40}, QStringLiteral("Glyph"));
    withGlyph->SetGlyph(glyph);
    sheet.Add(withGlyph, QStringLiteral("glyph"), 2);
    TiSwitchLed* grey = switchLed({90, 40}, QStringLiteral("Off"));
    grey->SetEnabled(false);
    sheet.Add(grey, QStringLiteral("disabled"), 2);

    sheet.Title(QStringLiteral("TiLedRound (x4): the panel's lamps (dimmed), on, bevels, no reflection"));
    auto led = [&](TColor color, bool active, std::function<void(TiLedRound*)> more = {}) {
        auto* l = new TiLedRound(&owner);
        l->SetActiveColor(color);
        l->SetActive(active);
        if (more)
            more(l);
        return l;
    };
    sheet.Add(led(65280, false), QStringLiteral("lime, off"), 4);
    sheet.Add(led(255, false), QStringLiteral("red, off"), 4);
    sheet.Add(led(65280, true), QStringLiteral("lime, on"), 4);
    sheet.Add(led(255, true), QStringLiteral("red, on"), 4);
    sheet.Add(led(255, true, [](TiLedRound* l) { l->SetBevelStyle(ibsRaised); }), QStringLiteral("raised"),
              4);
    sheet.Add(led(255, true, [](TiLedRound* l) { l->SetBevelStyle(ibsNone); }), QStringLiteral("no bevel"),
              4);
    sheet.Add(led(65280, true, [](TiLedRound* l) { l->SetShowReflection(false); }),
              QStringLiteral("no reflection"), 4);
    sheet.Add(led(16776960, true, [](TiLedRound* l) { l->SetBounds(0, 0, 30, 20); }),
              QStringLiteral("30 x 20 set: 30 x 30"), 4);

    sheet.Title(QStringLiteral("TiLabel (x3): plain, shadows, borders, accelerator, word wrap, disabled"));
    auto label = [&](const QString& caption, std::function<void(TiLabel*)> more = {}) {
        auto* l = new TiLabel(&owner);
        l->SetCaption(caption);
        if (more)
            more(l);
        return l;
    };
    sheet.Add(label(QStringLiteral("PWER")), QStringLiteral("PWER"), 3);
    sheet.Add(label(QStringLiteral("最小输出量限制：")), QStringLiteral("Chinese"), 3);
    sheet.Add(label(QStringLiteral("MAX"),
                    [](TiLabel* l) {
                        l->SetShadowXOffset(2);
                        l->SetShadowYOffset(2);
                        l->SetShadowShow(true);
                    }),
              QStringLiteral("shadow 2, 2"), 3);
    sheet.Add(label(QStringLiteral("MAX"),
                    [](TiLabel* l) {
                        l->SetShadowXOffset(-2);
                        l->SetShadowYOffset(2);
                        l->SetShadowColor(255);
                        l->SetShadowShow(true);
                    }),
              QStringLiteral("shadow -2, 2 red"), 3);
    sheet.Add(label(QStringLiteral("Single"), [](TiLabel* l) { l->SetBorderStyle(TiLabel::ilbsSingle); }),
              QStringLiteral("single"), 3);
    sheet.Add(label(QStringLiteral("Lowered"),
                    [](TiLabel* l) {
                        l->SetBorderStyle(TiLabel::ilbsLowered);
                        l->SetOuterMarginLeft(3);
                        l->SetOuterMarginRight(3);
                    }),
              QStringLiteral("lowered, margins"), 3);
    sheet.Add(label(QStringLiteral("Raised"), [](TiLabel* l) { l->SetBorderStyle(TiLabel::ilbsRaised); }),
              QStringLiteral("raised"), 3);
    auto* edit = new QLineEdit(&owner);
    sheet.Add(label(QStringLiteral("&Max"), [&](TiLabel* l) { l->SetFocusControl(edit); }),
              QStringLiteral("&Max, focus control"), 3);
    sheet.Add(label(QStringLiteral("&Max")), QStringLiteral("&Max, none"), 3);
    sheet.Add(label(QStringLiteral("wraps at word boundaries"),
                    [](TiLabel* l) {
                        l->SetWidth(70);
                        l->SetWordWrap(true);
                    }),
              QStringLiteral("word wrap, 70 wide"), 3);
    sheet.Add(label(QStringLiteral("Disabled"), [](TiLabel* l) { l->SetEnabled(false); }),
              QStringLiteral("disabled"), 3);

    const QImage image = sheet.Finish();
    if (!image.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
