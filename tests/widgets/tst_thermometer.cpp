#include "iThermometer.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

TColor Pixel(const QImage& img, int x, int y) {
    return QColorToColor(QColor(img.pixel(x, y)));
}

void Send(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton b, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), b, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void Drag(QWidget* w, QPoint from, QPoint to) {
    Send(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    Send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Send(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

const TColor kFace = ColorToRGB(clBtnFace);

} // namespace

class TestThermometer : public QObject {
    Q_OBJECT

private slots:
    void panelLayout();
    void autoCenter_data();
    void autoCenter();
    void mercury_data();
    void mercury();
    void barLooks_data();
    void barLooks();
    void reverseScaleWithBulb();
    void horizontal();
    void maxPointer();
    void pointerSides_data();
    void pointerSides();
    void dragging();
};

void TestThermometer::panelLayout() {
    TiThermometer t;
    QCOMPARE(t.size(), QSize(100, 150));
    const auto g = t.ComputeGeometry();
    const int cx = g.Center.x();
    QCOMPARE(QRect(QPoint(g.TubeLeft, g.TubeTop), QPoint(g.TubeRight, g.TubeBottom)),
             QRect(QPoint(cx - 2, 10), QPoint(cx + 2, 140)));
    QCOMPARE(g.SpanTop, 10);
    QCOMPARE(g.SpanBottom, 128);
    QCOMPARE(t.BulbCenter(), QPoint(cx, 133));
    // The scale runs along the span, minimum at the bottom.
    QCOMPARE(t.PositionToPixel(0), 128);
    QCOMPARE(t.PositionToPixel(100), 10);
    QCOMPARE(t.PositionToPixel(50), 69);

    const QImage img = t.RenderToImage();
    QCOMPARE(Pixel(img, cx, 133), clRed); // bulb
    QCOMPARE(Pixel(img, cx, 145), kFace);
}

void TestThermometer::autoCenter_data() {
    QTest::addColumn<bool>("autoCenter");
    QTest::addColumn<bool>("labels");
    QTest::addColumn<bool>("majorTicks");
    QTest::addColumn<bool>("maxPointer");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("cx"); // -1: computed from the label widths below
    // S = labels - IndicatorWidth 2 - pointers (+ TickMajorLength 10 + TickMargin 8 with major ticks).
    QTest::newRow("off") << false << true << true << false << int(iosBottomRight) << 50;
    QTest::newRow("no labels: S 16") << true << false << true << false << int(iosBottomRight) << 42;
    QTest::newRow("no labels, scale left") << true << false << true << false << int(iosTopLeft) << 58;
    QTest::newRow("no labels, no ticks: S -2")
        << true << false << false << false << int(iosBottomRight) << 51;
    QTest::newRow("no labels, max pointer: S 3")
        << true << false << true << true << int(iosBottomRight) << 49;
    QTest::newRow("labels") << true << true << true << false << int(iosBottomRight) << -1;
}

void TestThermometer::autoCenter() {
    QFETCH(bool, autoCenter);
    QFETCH(bool, labels);
    QFETCH(bool, majorTicks);
    QFETCH(bool, maxPointer);
    QFETCH(int, side);
    QFETCH(int, cx);
    TiThermometer t;
    t.SetAutoCenter(autoCenter);
    t.SetShowTickLabels(labels);
    t.SetShowTicksMajor(majorTicks);
    t.SetShowMaxPointer(maxPointer);
    t.SetOrientationTickMarks(TiOrientationSide(side));
    if (cx < 0) {
        const QFontMetrics fm(t.TickLabelFont()->ToQFont());
        const int widest =
            std::max(fm.size(Qt::TextSingleLine, "0").width(), fm.size(Qt::TextSingleLine, "100").width());
        cx = 50 - (5 + widest - 2 + 18) / 2;
    }
    QCOMPARE(t.GetCenterPoint(), QPoint(cx, 75));
}

void TestThermometer::mercury_data() {
    QTest::addColumn<QString>("position"); // as a layout line, so a value below the range stays stored
    QTest::addColumn<int>("redFrom");      // first row of the column (the cap reaches into the bulb)
    // Tube 10..139 plus one row; the column is 119 rows long at full scale, capped by a 4-row ellipse.
    QTest::newRow("below minimum") << "Position = -20.0" << 129;
    QTest::newRow("minimum") << "Position = 0.0" << 129;
    QTest::newRow("half") << "Position = 50.0" << 69; // 59.5 rounds to 60
    QTest::newRow("maximum") << "Position = 100.0" << 10;
    QTest::newRow("above maximum") << "Position = 150.0" << 10;
}

void TestThermometer::mercury() {
    QFETCH(QString, position);
    QFETCH(int, redFrom);
    TiThermometer t;
    t.LoadProperties({position});
    const int x = t.ComputeGeometry().Center.x() - 1;
    const QImage img = t.RenderToImage();
    // The column: its cap starts at redFrom, the empty tube lies above it, the bulb below.
    QCOMPARE(Pixel(img, x, redFrom + 2), clRed);
    QCOMPARE(Pixel(img, x, 134), clRed); // bulb
    if (redFrom > 10)
        QCOMPARE(Pixel(img, x, redFrom - 2), clMaroon);
    else
        QCOMPARE(Pixel(img, x, 9), kFace);
    // At or below the minimum only the cap shows, over the bulb: the tube above it stays empty.
    QCOMPARE(Pixel(img, x, 128), redFrom == 129 ? clMaroon : clRed);
    QCOMPARE(Pixel(img, x, 20), redFrom == 129 ? clMaroon : redFrom < 20 ? clRed : clMaroon);
}

void TestThermometer::barLooks_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("reference");
    QTest::addColumn<double>("position");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<int>("from"); // first filled row
    QTest::addColumn<int>("to");   // row after the last filled one
    // itisBar: the span is the whole tube, rows 10..139; value v maps to 140 - Round(v * 1.3).
    QTest::newRow("from min") << int(TiThermometer::itisBar) << int(TiThermometer::ipfrsMin) << 30.0 << false
                              << 101 << 140;
    QTest::newRow("from max hangs down")
        << int(TiThermometer::itisBar) << int(TiThermometer::ipfrsMax) << 30.0 << false << 10 << 101;
    QTest::newRow("from value 50") << int(TiThermometer::itisBar) << int(TiThermometer::ipfrsValue) << 30.0
                                   << false << 75 << 101;
    QTest::newRow("reversed from min")
        << int(TiThermometer::itisBar) << int(TiThermometer::ipfrsMin) << 30.0 << true << 10 << 49;
    // Bevelled bars lose 2 rows at each end: span 12..137.
    QTest::newRow("sunken full") << int(TiThermometer::itisBarSunken) << int(TiThermometer::ipfrsMin) << 100.0
                                 << false << 12 << 138;
    QTest::newRow("raised empty") << int(TiThermometer::itisBarRaised) << int(TiThermometer::ipfrsMin) << 0.0
                                  << false << 138 << 138;
}

void TestThermometer::barLooks() {
    QFETCH(int, style);
    QFETCH(int, reference);
    QFETCH(double, position);
    QFETCH(bool, reverse);
    QFETCH(int, from);
    QFETCH(int, to);
    TiThermometer t;
    t.SetIndicatorStyle(TiThermometer::TiThermometerIndicatorStyle(style));
    t.SetIndicatorFillReferenceStyle(TiThermometer::TiPointerFillReferenceStyle(reference));
    t.SetIndicatorFillReferenceValue(50);
    t.SetReverseScale(reverse);
    t.SetPosition(position);
    const auto g = t.ComputeGeometry();
    const QImage img = t.RenderToImage();
    for (int x : {g.SpanLeft, g.SpanRight - 1}) {
        if (to > from) {
            QCOMPARE(Pixel(img, x, from), clRed);
            QCOMPARE(Pixel(img, x, to - 1), clRed);
        }
        if (from > g.SpanTop)
            QCOMPARE(Pixel(img, x, from - 1), clMaroon);
        if (to < g.SpanBottom)
            QCOMPARE(Pixel(img, x, to), clMaroon);
    }
    if (style == TiThermometer::itisBarSunken) // lowered bevel: shadow on the top edge, 2 pixels out
        QCOMPARE(Pixel(img, g.SpanLeft, g.SpanTop - 2), ColorToRGB(clBtnShadow));
}

void TestThermometer::reverseScaleWithBulb() {
    TiThermometer plain, reversed;
    reversed.SetReverseScale(true);
    for (TiThermometer* t : {&plain, &reversed})
        t->SetPosition(50);
    const QImage a = plain.RenderToImage();
    const QImage b = reversed.RenderToImage();
    // The scale turns round: the maximum's label sits at the bottom of the span ...
    QCOMPARE(reversed.Scale()->Layout.Map().ToPixel(100), 128);
    QCOMPARE(plain.Scale()->Layout.Map().ToPixel(100), 10);
    // ... but the mercury still rises from the bulb.
    const int cx = plain.ComputeGeometry().Center.x();
    QCOMPARE(reversed.PositionToPixel(50), plain.PositionToPixel(50));
    for (int y = 10; y < 140; ++y)
        QCOMPARE(Pixel(b, cx - 1, y), Pixel(a, cx - 1, y));
}

void TestThermometer::horizontal() {
    TiThermometer t;
    t.SetOrientation(ioHorizontal);
    QCOMPARE(t.size(), QSize(150, 100));
    const auto g = t.ComputeGeometry();
    QCOMPARE(g.TubeLeft, 10);
    QCOMPARE(g.TubeRight, 140);
    QCOMPARE(g.SpanLeft, 22);
    QCOMPARE(g.TubeBottom - g.TubeTop, 4);
    QCOMPARE(t.BulbCenter(), QPoint(16, g.Center.y() + 1));

    t.SetPosition(100);
    QImage img = t.RenderToImage();
    QCOMPARE(Pixel(img, 130, g.Center.y()), clRed);
    t.SetPosition(0);
    img = t.RenderToImage();
    QCOMPARE(Pixel(img, 130, g.Center.y()), clMaroon);
    QCOMPARE(Pixel(img, 16, g.Center.y() + 1), clRed); // bulb

    t.SetOrientation(ioVertical);
    QCOMPARE(t.size(), QSize(100, 150));
    // Reading a layout does not turn the widget.
    TiThermometer loaded;
    loaded.LoadProperties({"Width = 150", "Height = 100", "Orientation = ioHorizontal"});
    QCOMPARE(loaded.size(), QSize(150, 100));
}

void TestThermometer::maxPointer() {
    TiThermometer t;
    t.SetShowMaxPointer(true);
    t.SetPosition(80); // CurrentMax follows to 80
    QCOMPARE(t.CurrentMax(), 80.0);
    const auto g = t.ComputeGeometry();
    const int y = t.PositionToPixel(80);
    QCOMPARE(y, 34);
    const QImage img = t.RenderToImage();
    // Tip 5 pixels left of the span, 8 deep and 8 wide, pointing right at the tube.
    const int tip = g.SpanLeft - 5;
    QCOMPARE(Pixel(img, tip, y), clAqua);
    QCOMPARE(Pixel(img, tip - 7, y - 3), clAqua);
    QCOMPARE(Pixel(img, tip + 1, y), kFace);
    QCOMPARE(Pixel(img, tip - 1, y - 3), kFace);
    QCOMPARE(t.MaxPointerRect(), QRect(QPoint(tip - 8, y - 4), QPoint(tip, y + 4)));
}

void TestThermometer::pointerSides_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("side");
    QTest::addColumn<QPoint>("towardsTube"); // one pixel from the tip towards the tube
    // The pointers sit on the side away from the scale and point at the tube.
    QTest::newRow("vertical, scale right") << int(ioVertical) << int(iosBottomRight) << QPoint(1, 0);
    QTest::newRow("vertical, scale left") << int(ioVertical) << int(iosTopLeft) << QPoint(-1, 0);
    QTest::newRow("horizontal, scale below") << int(ioHorizontal) << int(iosBottomRight) << QPoint(0, 1);
    QTest::newRow("horizontal, scale above") << int(ioHorizontal) << int(iosTopLeft) << QPoint(0, -1);
}

void TestThermometer::pointerSides() {
    QFETCH(int, orientation);
    QFETCH(int, side);
    QFETCH(QPoint, towardsTube);
    TiThermometer t;
    t.SetOrientation(TiOrientation(orientation));
    t.SetOrientationTickMarks(TiOrientationSide(side));
    t.SetShowMaxPointer(true);
    t.SetPosition(80);
    const auto g = t.ComputeGeometry();
    const int along = t.PositionToPixel(80);
    QCOMPARE(along, orientation == ioVertical ? 34 : 22 + 94);
    // The tip lies 5 pixels (MinMaxPointerMargin) outside the span.
    QPoint tip;
    if (orientation == ioVertical)
        tip = QPoint(side == iosBottomRight ? g.SpanLeft - 5 : g.SpanRight + 5, along);
    else
        tip = QPoint(along, side == iosBottomRight ? g.SpanTop - 5 : g.SpanBottom + 5);
    const QImage img = t.RenderToImage();
    // Every pixel of the triangle and none beside, alike on both sides: a back from the tip it is
    // 2 * (a div 2) + 1 wide, the base (a = 8) from one corner to the other.
    const QPoint across(towardsTube.y(), towardsTube.x());
    for (int a = -1; a <= 9; ++a)
        for (int d = -5; d <= 5; ++d) {
            const QPoint p = tip - a * towardsTube + d * across;
            const bool inside = a >= 0 && a <= 8 && std::abs(d) <= a / 2;
            QVERIFY2((Pixel(img, p.x(), p.y()) == clAqua) == inside,
                     qPrintable(QStringLiteral("a %1, d %2").arg(a).arg(d)));
        }
    const QPoint c1 = tip + 4 * across, c2 = tip - 8 * towardsTube - 4 * across;
    QCOMPARE(t.MaxPointerRect(), QRect(QPoint(std::min(c1.x(), c2.x()), std::min(c1.y(), c2.y())),
                                       QPoint(std::max(c1.x(), c2.x()), std::max(c1.y(), c2.y()))));
}

void TestThermometer::dragging() {
    TiThermometer t;
    t.SetPosition(25);
    const int cx = t.ComputeGeometry().Center.x();
    QSignalSpy user(&t, &TiPositionComponent::OnPositionChangeUser);
    QSignalSpy finished(&t, &TiPositionComponent::OnPositionChangeFinished);

    // Off by default: the operator cannot move the mercury.
    Drag(&t, {cx, 100}, {cx, 41});
    QCOMPARE(t.Position(), 25.0);

    // Usable length 150 - 20 - 12 = 118: 59 pixels up add half the range.
    t.SetIndicatorUserCanMove(true);
    Drag(&t, {cx, 100}, {cx, 41});
    QCOMPARE(t.Position(), 75.0);
    QCOMPARE(user.count(), 1);
    QCOMPARE(finished.count(), 1);
    // A press beside the tube drags nothing.
    Drag(&t, {cx + 30, 100}, {cx + 30, 41});
    QCOMPARE(t.Position(), 75.0);

    // The minimum pointer dragged above the maximum pulls the maximum along.
    t.SetShowMinPointer(true);
    t.SetShowMaxPointer(true);
    t.SetMinMaxUserCanMove(true);
    t.SetCurrentMin(40);
    QCOMPARE(t.CurrentMax(), 75.0);
    t.RenderToImage(); // places the pointers
    const QRect minRect = t.MinPointerRect();
    QVERIFY(!minRect.isEmpty());
    const QPoint press(minRect.left() + 2, minRect.center().y());
    Drag(&t, press, press - QPoint(0, 59));
    QCOMPARE(t.CurrentMin(), 90.0);
    QCOMPARE(t.CurrentMax(), 90.0);
    QCOMPARE(t.Position(), 75.0);
}

QTEST_MAIN(TestThermometer)
#include "tst_thermometer.moc"
