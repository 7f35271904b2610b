// Knob: the click and finish events of drags, the swept-angle drag, keys, the wheel gate, the fitting
// rule of AutoSize and the drawn disc, scale and indicator.

#include "iKnob.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace {

QColor At(const QImage& image, QPoint p) {
    return QColor(image.pixel(p));
}
QColor RGB(TColor c) {
    return ColorToQColor(c);
}

// The point at the given screen angle (degrees, clockwise from the right, as atan2 on screen gives)
// and radius round the knob's centre.
QPoint OnCircle(QPoint c, double screenDegrees, double r) {
    const double a = screenDegrees * M_PI / 180.0;
    return QPoint(c.x() + qRound(r * std::cos(a)), c.y() + qRound(r * std::sin(a)));
}

// A shown, active window with a 150 x 150 knob from 0 to 1000 (as iKnob1) and a line edit.
struct Window {
    QWidget window;
    TiKnob* knob;
    QLineEdit* edit;
    const QPoint C{75, 75};

    Window() {
        knob = new TiKnob(&window);
        knob->SetPositionMax(1000);
        edit = new QLineEdit(&window);
        edit->setGeometry(0, 170, 80, 20);
        window.resize(300, 200);
        window.show();
        window.activateWindow();
    }
    bool Ready() {
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        knob->RenderToImage(); // the centre and the fitted radius of the last paint
        return true;
    }
    // Drags from screen angle `from` to `to` in steps of at most 10 degrees at radius 20.
    void Sweep(double from, double to) {
        const int steps = int(std::ceil(std::abs(to - from) / 10));
        for (int i = 1; i <= steps; ++i)
            QTest::mouseMove(knob, OnCircle(C, from + (to - from) * i / steps, 20));
    }
};

void Wheel(QWidget* w, int delta) {
    const QPointF pos(75, 75);
    QWheelEvent event(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

} // namespace

class TestKnob : public QObject {
    Q_OBJECT

private slots:
    void defaults();
    void pressOffDiscStillClicks();
    void dragReleasedOutsideChangesWithoutClick();
    void clickComesBeforeFinishWithFinalValue();
    void dragFollowsSweptAngle();
    void keys_data();
    void keys();
    void wheelGate();
    void emptyRangeAndNoSweep();
    void disabled();
    void fittingRule_data();
    void fittingRule();
    void disc_data();
    void disc();
    void roundScale_data();
    void roundScale();
    void indicator_data();
    void indicator();
    void positionDisplayAndFocusRect();
};

void TestKnob::defaults() {
    TiKnob knob;
    QCOMPARE(QSize(knob.Width(), knob.Height()), QSize(150, 150));
    QCOMPARE(knob.KnobRadius(), 35);
    QVERIFY(knob.TabStop());
    QVERIFY(knob.ShowDisabledState());
    QCOMPARE(knob.TickMinorColor(), TColor(8421504));
    QCOMPARE(knob.TickLabelMargin(), 15);
    QCOMPARE(knob.BorderStyle(), ibsNone);
    QCOMPARE(knob.metaObject()->indexOfProperty("ShowPostionDisplay") >= 0, true);
    knob.SetIndicatorSize(0);
    QCOMPARE(knob.IndicatorSize(), 1);
    knob.SetPositionDisplayPrecision(-2);
    QCOMPARE(knob.PositionDisplayPrecision(), 0);
    knob.SetPositionDisplayUnits(QStringLiteral("   "));
    QCOMPARE(knob.PositionDisplayUnits(), QString());
    // The step sizes are streamed after PositionMax_2.
    const QStringList lines = knob.SaveProperties();
    const int max2 = int(lines.indexOf(QStringLiteral("PositionMax_2 = 100.0")));
    QVERIFY(max2 >= 0);
    QCOMPARE(lines.mid(max2 + 1), QStringList({QStringLiteral("KeyArrowStepSize_2 = 0.1"),
                                               QStringLiteral("KeyPageStepSize_2 = 1.0")}));
}

void TestKnob::pressOffDiscStillClicks() {
    Window w;
    QVERIFY(w.Ready());
    QSignalSpy click(w.knob, &TiComponent::OnClick);
    QSignalSpy finished(w.knob, &TiPositionComponent::OnPositionChangeFinished);
    QSignalSpy change(w.knob, &TiPositionComponent::OnPositionChange);
    // On the scale, outside the disc: no drag, but the frame's click.
    QTest::mousePress(w.knob, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!w.knob->Dragging());
    QTest::mouseMove(w.knob, QPoint(140, 75));
    QTest::mouseRelease(w.knob, Qt::LeftButton, {}, QPoint(140, 75));
    QCOMPARE(click.count(), 1);
    QCOMPARE(change.count(), 0);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(w.knob->Position(), 0.0);
    QVERIFY(w.knob->HasFocus());
}

void TestKnob::dragReleasedOutsideChangesWithoutClick() {
    Window w;
    QVERIFY(w.Ready());
    QSignalSpy click(w.knob, &TiComponent::OnClick);
    QSignalSpy finished(w.knob, &TiPositionComponent::OnPositionChangeFinished);
    QTest::mousePress(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 90, 20));
    QVERIFY(w.knob->Dragging());
    w.Sweep(90, 180);
    QTest::mouseRelease(w.knob, Qt::LeftButton, {}, QPoint(260, 75));
    QCOMPARE(w.knob->Position(), 1000.0 / 3);
    QCOMPARE(click.count(), 0);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!w.knob->Dragging());
}

void TestKnob::clickComesBeforeFinishWithFinalValue() {
    Window w;
    QVERIFY(w.Ready());
    QStringList order;
    double atClick = -1;
    connect(w.knob, &TiComponent::OnClick, this, [&] {
        order << "OnClick";
        atClick = w.knob->Position();
    });
    connect(w.knob, &TiPositionComponent::OnPositionChangeFinished, this, [&] { order << "Finished"; });
    QSignalSpy user(w.knob, &TiPositionComponent::OnPositionChangeUser);

    w.knob->SetIndicatorStyle(TiKnob::ikisDot);
    w.knob->SetColor(RGBValue(100, 150, 200));
    const QImage idle = w.knob->RenderToImage();
    QTest::mousePress(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 90, 20));
    w.Sweep(90, 180);
    // Dragging shows the active look: the indicator in its active colour, the face lighter.
    const QImage dragging = w.knob->RenderToImage();
    const double a = w.knob->ValueToDegrees(w.knob->Position()) * M_PI / 180.0;
    const int r = w.knob->KnobRadius() - 5 - 4;
    const QPoint dot(w.C.x() + qRound(r * std::cos(a)), w.C.y() - qRound(r * std::sin(a)));
    QCOMPARE(At(dragging, dot), RGB(clAqua));
    QVERIFY(qGray(dragging.pixel(w.C)) > qGray(idle.pixel(w.C)));

    QTest::mouseRelease(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 180, 20));
    QCOMPARE(order, QStringList({"OnClick", "Finished"}));
    QCOMPARE(atClick, 1000.0 / 3);
    QVERIFY(user.count() > 0);
    QCOMPARE(At(w.knob->RenderToImage(), dot), RGB(clRed));

    // A click on the disc without movement: OnClick, but nothing finished.
    order.clear();
    QTest::mouseClick(w.knob, Qt::LeftButton, {}, w.C);
    QCOMPARE(order, QStringList({"OnClick"}));
}

void TestKnob::dragFollowsSweptAngle() {
    Window w;
    QVERIFY(w.Ready());
    // From below the centre, clockwise through the left side (where atan2 jumps from 180 to -180) to
    // above it: 180 degrees of pointer, 180 degrees of indicator.
    QTest::mousePress(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 90, 20));
    w.Sweep(90, 270);
    QCOMPARE(w.knob->PositionDegrees(), 180.0);
    QCOMPARE(w.knob->Position(), 1000.0 * 180 / 270);
    QCOMPARE(w.knob->ValueToDegrees(w.knob->Position()), 225.0 - 180);
    // On past the end: clamped at PositionMax, the excess sweep lost...
    w.Sweep(270, 450);
    QCOMPARE(w.knob->Position(), 1000.0);
    // ... so turning back moves the knob back at once.
    w.Sweep(450, 360);
    QCOMPARE(w.knob->PositionDegrees(), 180.0);
    // And anticlockwise down to the start, clamped at PositionMin.
    w.Sweep(360, 90);
    QCOMPARE(w.knob->Position(), 0.0);
    QTest::mouseRelease(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 90, 20));
}

void TestKnob::keys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("useKeyboard");
    QTest::addColumn<double>("expected");

    // One press, one step (from 500 with the defaults 0.1 and 1).
    QTest::newRow("Right") << int(Qt::Key_Right) << true << 500.1;
    QTest::newRow("Up") << int(Qt::Key_Up) << true << 500.1;
    QTest::newRow("Left") << int(Qt::Key_Left) << true << 499.9;
    QTest::newRow("Down") << int(Qt::Key_Down) << true << 499.9;
    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << true << 501.0;
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << true << 499.0;
    QTest::newRow("Home") << int(Qt::Key_Home) << true << 0.0;
    QTest::newRow("End") << int(Qt::Key_End) << true << 1000.0;
    QTest::newRow("other key") << int(Qt::Key_A) << true << 500.0;
    QTest::newRow("keyboard off") << int(Qt::Key_PageUp) << false << 500.0;
}

void TestKnob::keys() {
    QFETCH(int, key);
    QFETCH(bool, useKeyboard);
    QFETCH(double, expected);

    Window w;
    QVERIFY(w.Ready());
    w.knob->SetPosition(500);
    w.knob->SetUseKeyboard(useKeyboard);
    // A click off the disc focuses the knob and starts a new user change.
    QTest::mouseClick(w.knob, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(w.knob->HasFocus());
    QSignalSpy click(w.knob, &TiComponent::OnClick);
    QSignalSpy user(w.knob, &TiPositionComponent::OnPositionChangeUser);
    QSignalSpy finished(w.knob, &TiPositionComponent::OnPositionChangeFinished);

    QTest::keyPress(w.knob, Qt::Key(key));
    QCOMPARE(w.knob->Position(), expected);
    QCOMPARE(w.knob->KeyHeld(), useKeyboard);
    QCOMPARE(finished.count(), 0);
    QTest::keyRelease(w.knob, Qt::Key(key));
    QVERIFY(!w.knob->KeyHeld());
    const int changes = expected != 500.0;
    QCOMPARE(user.count(), changes);
    QCOMPARE(finished.count(), changes);
    QCOMPARE(click.count(), 0);
}

void TestKnob::wheelGate() {
    Window w;
    QVERIFY(w.Ready());
    w.knob->SetPosition(500);
    QSignalSpy click(w.knob, &TiComponent::OnClick);
    QSignalSpy finished(w.knob, &TiPositionComponent::OnPositionChangeFinished);

    // The wheel turns only the focused knob.
    w.edit->setFocus();
    QTRY_VERIFY(!w.knob->HasFocus());
    Wheel(w.knob, 120);
    QCOMPARE(w.knob->Position(), 500.0);

    w.knob->setFocus();
    QTRY_VERIFY(w.knob->HasFocus());
    // Two notches well within 30 ms of each other: one step, finished at once.
    Wheel(w.knob, 120);
    Wheel(w.knob, 120);
    QCOMPARE(w.knob->Position(), 501.0);
    QCOMPARE(finished.count(), 1);
    QTest::qWait(40);
    Wheel(w.knob, -240);
    QCOMPARE(w.knob->Position(), 500.0);
    QCOMPARE(finished.count(), 2);
    QCOMPARE(click.count(), 0);
}

void TestKnob::emptyRangeAndNoSweep() {
    Window w;
    QVERIFY(w.Ready());
    w.knob->SetPositionMax(50);
    w.knob->SetPositionMin(50);
    QCOMPARE(w.knob->Position(), 50.0);
    for (double v : {0.0, 50.0})
        QCOMPARE(w.knob->ValueToDegrees(v), 225.0);
    QCOMPARE(w.knob->PositionDegrees(), 0.0);
    // The indicator stands at the start angle.
    w.knob->SetIndicatorStyle(TiKnob::ikisDot);
    const QImage image = w.knob->RenderToImage();
    const int r = w.knob->KnobRadius() - 9;
    QCOMPARE(At(image, w.C + QPoint(-qRound(r * M_SQRT1_2), qRound(r * M_SQRT1_2))), RGB(clRed));

    QSignalSpy change(w.knob, &TiPositionComponent::OnPositionChange);
    QTest::mousePress(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 90, 20));
    w.Sweep(90, 200);
    QTest::mouseRelease(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 200, 20));
    QCOMPARE(w.knob->Position(), 50.0);
    QCOMPARE(change.count(), 0);

    // Without a sweep no angle names a value: dragging leaves Position alone.
    w.knob->SetPositionMin(0);
    w.knob->SetPositionMax(1000);
    w.knob->SetPosition(300);
    w.knob->SetRotationMaxDegrees(0);
    QTest::mousePress(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 90, 20));
    w.Sweep(90, 200);
    QTest::mouseRelease(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 200, 20));
    QCOMPARE(w.knob->Position(), 300.0);
}

void TestKnob::disabled() {
    Window w;
    QVERIFY(w.Ready());
    w.knob->SetPosition(500);
    const int R = w.knob->KnobRadius();
    // The top major tick (500) and the box of its label above it.
    const QPoint tick(75, 75 - (5 + R + 3));
    const QRect label(60, 75 - (5 + R + 7 + 15 + 4) - 7, 30, 14);
    // Pixels of the label lighter than the button face: the embossed look's light copy.
    auto whitePixels = [&](const QImage& image) {
        int n = 0;
        for (int y = label.top(); y <= label.bottom(); ++y)
            for (int x = label.left(); x <= label.right(); ++x)
                n += qGray(image.pixel(x, y)) > 230;
        return n;
    };
    const QImage enabled = w.knob->RenderToImage();
    QCOMPARE(At(enabled, tick), QColor(Qt::black));
    QCOMPARE(whitePixels(enabled), 0);

    w.knob->SetEnabled(false);
    QSignalSpy change(w.knob, &TiPositionComponent::OnPositionChange);
    QTest::mousePress(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 90, 20));
    w.Sweep(90, 200);
    QTest::mouseRelease(w.knob, Qt::LeftButton, {}, OnCircle(w.C, 200, 20));
    QVERIFY(!w.knob->Dragging());
    QCOMPARE(change.count(), 0);

    // Ticks in the button shadow, labels embossed (their light copy is white on the button face).
    const QImage grey = w.knob->RenderToImage();
    QCOMPARE(At(grey, tick), RGB(clBtnShadow));
    QVERIFY(whitePixels(grey) > 5);
    w.knob->SetShowDisabledState(false);
    const QImage plain = w.knob->RenderToImage();
    QCOMPARE(At(plain, tick), QColor(Qt::black));
    QCOMPARE(whitePixels(plain), 0);
}

void TestKnob::fittingRule_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("max");
    QTest::addColumn<bool>("labels");
    QTest::addColumn<bool>("ticks");

    // The panel's three knobs, then the rule without labels and without any scale.
    QTest::newRow("iKnob1 150x150 0..1000") << QSize(150, 150) << 1000.0 << true << true;
    QTest::newRow("iKnob2 145x137 0..1000") << QSize(145, 137) << 1000.0 << true << true;
    QTest::newRow("iKnob3 145x137 0..400") << QSize(145, 137) << 400.0 << true << true;
    QTest::newRow("ticks, no labels") << QSize(150, 120) << 1000.0 << false << true;
    QTest::newRow("no scale") << QSize(90, 150) << 1000.0 << false << false;
}

void TestKnob::fittingRule() {
    QFETCH(QSize, size);
    QFETCH(double, max);
    QFETCH(bool, labels);
    QFETCH(bool, ticks);

    TiKnob knob;
    knob.SetBounds(0, 0, size.width(), size.height());
    knob.SetPositionMax(max);
    knob.SetShowTickLabels(labels);
    knob.SetShowTicksMajor(ticks);
    knob.SetShowTicksMinor(ticks);
    knob.RenderToImage();

    // Five labels at 225, 157.5, 90, 22.5 and -45 degrees: rounded unit vectors x -1, -1, 0, 1, 1 and
    // y 1, 0, -1, 0, 1. The widest label on a side or the text height, whichever is larger, then the
    // tick, margin and label space on both sides (5 + 7 + 15 + 4).
    int S = std::min(size.width(), size.height()) - 2 * 2;
    if (labels) {
        const QFontMetrics fm(knob.TickLabelFont()->ToQFont());
        int widest = 0;
        for (int i : {0, 1, 3, 4})
            widest = std::max(widest, fm.horizontalAdvance(QString::number(max / 4 * i)));
        S -= std::max(widest, fm.height()) + 2 * (5 + 7 + 15 + 4);
    } else if (ticks) {
        S -= 2 * (5 + 7);
    }
    QCOMPARE(knob.KnobRadius(), S / 2);
    if (labels)
        qInfo("%s: KnobRadius %d", QTest::currentDataTag(), knob.KnobRadius());

    // Rebuilt with the static layers: a longer label shrinks the disc; without AutoSize it stays.
    knob.SetPositionMax(max * 100);
    knob.RenderToImage();
    QVERIFY(labels ? knob.KnobRadius() < S / 2 : knob.KnobRadius() == S / 2);
    knob.SetAutoSize(false);
    knob.SetKnobRadius(40);
    knob.SetPositionMax(max);
    knob.RenderToImage();
    QCOMPARE(knob.KnobRadius(), 40);
}

void TestKnob::disc_data() {
    QTest::addColumn<TiKnob::TiKnobStyle>("style");
    QTest::addColumn<QColor>("centre");
    QTest::addColumn<bool>("lightTopLeft");

    // Face (100, 150, 200): light (132, 182, 232), dark (36, 86, 136); halfway (84, 134, 184).
    QTest::newRow("raised") << TiKnob::iksRaised << QColor(84, 134, 184) << true;
    QTest::newRow("sunken") << TiKnob::iksSunken << QColor(84, 134, 184) << false;
    QTest::newRow("raised edge") << TiKnob::iksRaisedEdge << QColor(100, 150, 200) << true;
    QTest::newRow("sunken edge") << TiKnob::iksSunkenEdge << QColor(100, 150, 200) << false;
}

void TestKnob::disc() {
    QFETCH(TiKnob::TiKnobStyle, style);
    QFETCH(QColor, centre);
    QFETCH(bool, lightTopLeft);

    TiKnob knob;
    knob.SetAutoSize(false);
    knob.SetKnobRadius(30);
    knob.SetColor(RGBValue(100, 150, 200));
    knob.SetKnobStyle(style);
    knob.SetIndicatorStyle(TiKnob::ikisLineCustom);
    knob.SetPosition(100); // indicator away from the pixels looked at
    const QImage image = knob.RenderToImage();
    const QPoint C(75, 75);
    QCOMPARE(At(image, C), centre);
    // The shaded ring lies within 3 pixels of the edge on the edge styles.
    const QPoint topLeft = C + QPoint(-20, -20), bottomRight = C + QPoint(20, 20);
    QCOMPARE(qGray(image.pixel(topLeft)) > qGray(image.pixel(bottomRight)), lightTopLeft);
    QCOMPARE(qGray(image.pixel(topLeft)) < qGray(image.pixel(bottomRight)), !lightTopLeft);
    // The disc ends at its radius.
    QCOMPARE(At(image, C + QPoint(30, 0)) == RGB(clBtnFace), false);
    QCOMPARE(At(image, C + QPoint(31, 0)), RGB(clBtnFace));
}

void TestKnob::roundScale_data() {
    QTest::addColumn<TiTickMinorAlignment>("alignment");
    QTest::addColumn<int>("top"); // the minor tick's rows, counted upwards from the centre
    QTest::addColumn<int>("bottom");

    // Radius 30: the major ticks run from radius 34 (r1) to 42 (r2); a minor tick is 3 long.
    QTest::newRow("inside") << itmnaInside << 36 << 34;
    QTest::newRow("centre") << itmnaCenter << 39 << 36;
    QTest::newRow("outside") << itmnaOutside << 42 << 40;
}

void TestKnob::roundScale() {
    QFETCH(TiTickMinorAlignment, alignment);
    QFETCH(int, top);
    QFETCH(int, bottom);

    // A half-turn scale from 180 degrees (0) to 0 degrees (100): major ticks left and right, the one
    // minor tick (50) straight up.
    TiKnob knob;
    knob.SetAutoSize(false);
    knob.SetKnobRadius(30);
    knob.SetRotationStartDegrees(180);
    knob.SetRotationMaxDegrees(180);
    knob.SetTickMajorCount(2);
    knob.SetTickMinorCount(1);
    knob.SetTickMinorAlignment(alignment);
    const QImage image = knob.RenderToImage();
    const QColor grey = RGB(clGray);
    for (int r = bottom; r <= top; ++r)
        QCOMPARE(At(image, QPoint(75, 75 - r)), grey);
    QVERIFY(At(image, QPoint(75, 75 - bottom + 1)) != grey);
    QVERIFY(At(image, QPoint(75, 75 - top - 1)) != grey);
    // The major tick at 100, to the right, and its label beyond it (radius 42 + 15 + 4).
    for (int r = 34; r <= 41; ++r)
        QCOMPARE(At(image, QPoint(75 + r, 75)), QColor(Qt::black));
    int ink = 0;
    for (int x = 75 + 61 - 10; x <= 75 + 61 + 10; ++x)
        for (int y = 68; y <= 82; ++y)
            ink += qGray(image.pixel(x, y)) < 110;
    QVERIFY(ink > 10);

    knob.SetShowTicksMajor(false);
    knob.SetShowTicksMinor(false);
    knob.SetShowTickLabels(false);
    const QImage bare = knob.RenderToImage();
    QCOMPARE(At(bare, QPoint(75 + 38, 75)), RGB(clBtnFace));
    QCOMPARE(At(bare, QPoint(75, 75 - 35)), RGB(clBtnFace));
    QCOMPARE(At(bare, QPoint(75 + 61, 75)), RGB(clBtnFace));
}

void TestKnob::indicator_data() {
    QTest::addColumn<TiKnob::TiKnobIndicatorStyle>("style");
    QTest::addColumn<QList<QPoint>>("red");
    QTest::addColumn<QList<QPoint>>("notRed");
    QTest::addColumn<QPoint>("grey");
    QTest::addColumn<QPoint>("white");

    // Radius 30, Position in the middle: the indicator points straight up from (75, 75); its outer end
    // at radius 25 (y 50), the dot's centre at radius 21 (y 54), size 4.
    using K = TiKnob;
    const QPoint none(-1, -1);
    QTest::newRow("dot") << K::ikisDot << QList<QPoint>{{75, 54}, {75, 50}, {71, 54}, {75, 58}}
                         << QList<QPoint>{{75, 49}, {75, 59}} << none << none;
    QTest::newRow("dot lowered") << K::ikisDotLowered << QList<QPoint>{{75, 54}} << QList<QPoint>{{75, 49}}
                                 << QPoint(75, 50) << QPoint(75, 58);
    QTest::newRow("dot raised") << K::ikisDotRaised << QList<QPoint>{{75, 54}} << QList<QPoint>{{75, 49}}
                                << QPoint(75, 58) << QPoint(75, 50);
    QTest::newRow("line to centre") << K::ikisLineCenter << QList<QPoint>{{75, 50}, {75, 62}, {75, 74}}
                                    << QList<QPoint>{{75, 49}} << none << none;
    QTest::newRow("line of its size") << K::ikisLineCustom << QList<QPoint>{{75, 50}, {75, 53}}
                                      << QList<QPoint>{{75, 49}, {75, 55}, {75, 62}} << none << none;
    QTest::newRow("triangle") << K::ikisTriangle << QList<QPoint>{{75, 50}, {75, 52}, {74, 53}, {76, 53}}
                              << QList<QPoint>{{75, 48}, {75, 56}, {71, 54}} << none << none;
}

void TestKnob::indicator() {
    QFETCH(TiKnob::TiKnobIndicatorStyle, style);
    QFETCH(QList<QPoint>, red);
    QFETCH(QList<QPoint>, notRed);
    QFETCH(QPoint, grey);
    QFETCH(QPoint, white);

    TiKnob knob;
    knob.SetAutoSize(false);
    knob.SetKnobRadius(30);
    knob.SetPositionMax(1000);
    knob.SetPosition(500);
    knob.SetIndicatorStyle(style);
    const QImage image = knob.RenderToImage();
    for (QPoint p : red)
        QCOMPARE(At(image, p), RGB(clRed));
    for (QPoint p : notRed)
        QVERIFY2(At(image, p) != RGB(clRed), qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));
    if (grey.x() >= 0) {
        QCOMPARE(At(image, grey), RGB(clGray));
        QCOMPARE(At(image, white), QColor(Qt::white));
    }
}

void TestKnob::positionDisplayAndFocusRect() {
    Window w;
    QVERIFY(w.Ready());
    w.knob->SetIndicatorStyle(TiKnob::ikisLineCustom);
    w.knob->SetPosition(500);
    w.edit->setFocus();
    QTRY_VERIFY(!w.knob->HasFocus());
    auto darkNearCentre = [&](const QImage& image) {
        int n = 0;
        for (int y = 68; y <= 82; ++y)
            for (int x = 55; x <= 95; ++x)
                n += qGray(image.pixel(x, y)) < 110;
        return n;
    };
    auto focusDots = [&](const QImage& image) {
        int n = 0;
        for (int x = 0; x < 150; ++x)
            n += QColor(image.pixel(x, 0)) != RGB(clBtnFace);
        return n;
    };
    const QImage plain = w.knob->RenderToImage();
    QCOMPARE(darkNearCentre(plain), 0);
    QCOMPARE(focusDots(plain), 0);

    w.knob->SetShowPostionDisplay(true);
    w.knob->SetPositionDisplayPrecision(0);
    w.knob->SetPositionDisplayUnits(QStringLiteral("0"));
    w.knob->setFocus();
    QTRY_VERIFY(w.knob->HasFocus());
    const QImage shown = w.knob->RenderToImage();
    QVERIFY(darkNearCentre(shown) > 20);
    QVERIFY(focusDots(shown) > 30);
    w.knob->SetShowFocusRect(false);
    QCOMPARE(focusDots(w.knob->RenderToImage()), 0);
}

QTEST_MAIN(TestKnob)
#include "tst_knob.moc"
