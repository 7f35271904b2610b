#include "iLedBar.h"

#include <QSignalSpy>
#include <QTest>

namespace {

TColor Pixel(const QImage& img, int x, int y) {
    return QColorToColor(QColor(img.pixel(x, y)));
}

// The main window's bar: 25 x 153, no bevel, growing upwards, range 0..100.
std::unique_ptr<TiLedBar> PanelBar() {
    auto bar = std::make_unique<TiLedBar>();
    bar->resize(25, 153);
    return bar;
}

int LitSegments(const TiLedBar& bar) {
    int n = 0;
    for (const auto& s : bar.Segments())
        n += s.Lit;
    return n;
}

} // namespace

class TestLedBar : public QObject {
    Q_OBJECT

private slots:
    void panelGeometry();
    void litCount_data();
    void litCount();
    void litCountOfPositions_data();
    void litCountOfPositions();
    void sections();
    void offSegmentColours_data();
    void offSegmentColours();
    void hiddenOffSegments();
    void fillFromReference_data();
    void hiddenOffSegmentsFromReference_data();
    void hiddenOffSegmentsFromReference();
    void fillFromReference();
    void noPitchNoSegments();
    void directions_data();
    void directions();
    void directionTurnsTheBar();
    void bevelShrinksTheRun();
    void shapes();
    void triangles_data();
    void triangles();
};

void TestLedBar::panelGeometry() {
    auto bar = PanelBar();
    const TiLedBar::Layout l = bar->SegmentLayout();
    QCOMPARE(l.Count, 21);
    QCOMPARE(l.Offset, 2);
    QCOMPARE(l.Pitch, 7);
    QCOMPARE(QRect(QPoint(l.Left, l.Top), QPoint(l.Right, l.Bottom)), QRect(QPoint(2, 144), QPoint(23, 149)));

    bar->SetPosition(100);
    const QImage img = bar->RenderToImage();
    // Segment rectangles exclude their right and bottom edges: (2, 144)-(23, 149) paints columns 2..22
    // and rows 144..148, which leaves the two-pixel spacing between neighbours.
    for (int y : {144, 148, 4, 8})
        for (int x : {2, 22})
            QCOMPARE(Pixel(img, x, y), clLime);
    for (int y : {149, 143, 142, 9, 3})
        QCOMPARE(Pixel(img, 12, y), clBlack);
    QCOMPARE(Pixel(img, 1, 146), clBlack);
    QCOMPARE(Pixel(img, 23, 146), clBlack);
}

void TestLedBar::litCount_data() {
    QTest::addColumn<double>("fraction");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lit");
    // f * N + 0.5 rounded with halves to the even neighbour.
    QTest::newRow("f*N 1.0") << 0.25 << 4 << 2;
    QTest::newRow("f*N 2.0") << 0.5 << 4 << 2;
    QTest::newRow("f*N 3.0") << 0.75 << 4 << 4;
    QTest::newRow("none") << 0.0 << 21 << 0;
    QTest::newRow("no segments") << 0.5 << 0 << 0;
}

void TestLedBar::litCount() {
    QFETCH(double, fraction);
    QFETCH(int, count);
    QTEST(TiLedBar::LitCount(fraction, count), "lit");
}

void TestLedBar::litCountOfPositions_data() {
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("lit");
    QTest::newRow("min") << 0.0 << 0;
    QTest::newRow("middle") << 50.0 << 11;
    QTest::newRow("max") << 100.0 << 21;
    QTest::newRow("above max is clamped") << 250.0 << 21;
}

void TestLedBar::litCountOfPositions() {
    QFETCH(double, position);
    auto bar = PanelBar();
    bar->SetPosition(position);
    QTEST(LitSegments(*bar), "lit");
}

void TestLedBar::sections() {
    auto bar = PanelBar();
    bar->SetPosition(100);
    bar->SetSectionCount(3);
    for (int ignored : {0, 6})
        bar->SetSectionCount(ignored);
    QCOMPARE(bar->SectionCount(), 3);

    const auto segs = bar->Segments();
    QCOMPARE(segs.size(), 21);
    for (int i = 0; i < segs.size(); ++i) {
        const int want = i <= 9 ? 1 : i <= 15 ? 2 : 3;
        QCOMPARE(segs[i].Section, want);
        QCOMPARE(segs[i].Color, bar->SectionColor(want));
    }
    // Ends far outside the range only move every segment into one section.
    bar->SetSectionEnd1(1e300);
    bar->SetSectionEnd2(-1e300);
    for (const auto& s : bar->Segments())
        QCOMPARE(s.Section, 3);
    bar->SetSectionEnd1(50);
    bar->SetSectionEnd2(75);

    // The rows of segment 10 (first of section 2) and 16 (first of section 3).
    const QImage img = bar->RenderToImage();
    QCOMPARE(Pixel(img, 12, 144 - 9 * 7), clLime);
    QCOMPARE(Pixel(img, 12, 144 - 10 * 7), clYellow);
    QCOMPARE(Pixel(img, 12, 144 - 15 * 7), clYellow);
    QCOMPARE(Pixel(img, 12, 144 - 16 * 7), clRed);
}

void TestLedBar::offSegmentColours_data() {
    QTest::addColumn<TColor>("sectionColor");
    QTest::addColumn<TColor>("background");
    QTest::addColumn<TColor>("offColor");
    QTest::newRow("lime on black") << clLime << clBlack << TColor(0x005500);
    QTest::newRow("yellow on silver") << clYellow << clSilver << TColor(0x005555);
}

void TestLedBar::offSegmentColours() {
    QFETCH(TColor, sectionColor);
    QFETCH(TColor, background);
    QFETCH(TColor, offColor);
    auto bar = PanelBar();
    bar->SetSectionColor1(sectionColor);
    bar->SetBackGroundColor(background);
    bar->SetPosition(50); // segments 0..10 lit
    const QImage img = bar->RenderToImage();
    QCOMPARE(Pixel(img, 12, 144 - 10 * 7), sectionColor);
    QCOMPARE(Pixel(img, 12, 144 - 11 * 7), offColor);
    QCOMPARE(Pixel(img, 12, 4), offColor);
    QCOMPARE(Pixel(img, 12, 143), background);
}

void TestLedBar::hiddenOffSegments() {
    auto bar = PanelBar();
    bar->SetPosition(50);
    bar->SetShowOffSegments(false);
    QCOMPARE(bar->Segments().size(), 11);
    const QImage img = bar->RenderToImage();
    QCOMPARE(Pixel(img, 12, 144 - 10 * 7), clLime);
    QCOMPARE(Pixel(img, 12, 144 - 11 * 7), clBlack);
    QCOMPARE(Pixel(img, 12, 4), clBlack);
}

void TestLedBar::fillFromReference_data() {
    QTest::addColumn<double>("position");
    QTest::addColumn<bool>("showOff");
    QTest::addColumn<double>("lowest");  // lowest lit segment value must be >= this
    QTest::addColumn<double>("highest"); // highest lit value must be <= this
    QTest::addColumn<int>("lit");
    // Segment values are 100 / 21 * i.
    QTest::newRow("below reference") << 30.0 << true << 30.0 << 50.0 << 4;    // i = 7..10
    QTest::newRow("above reference") << 70.0 << true << 50.0 << 70.0 << 4;    // i = 11..14
    QTest::newRow("below, off hidden") << 30.0 << false << 30.0 << 50.0 << 4; // lit past the lit count
    QTest::newRow("at reference") << 50.0 << true << 50.0 << 50.0 << 0;
}

void TestLedBar::fillFromReference() {
    QFETCH(double, position);
    QFETCH(bool, showOff);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    QFETCH(int, lit);
    auto bar = PanelBar();
    bar->SetFillReferenceEnabled(true);
    bar->SetFillReferenceValue(50);
    bar->SetShowOffSegments(showOff);
    bar->SetPosition(position);
    const auto segs = bar->Segments();
    int n = 0;
    for (const auto& s : segs) {
        if (!s.Lit)
            continue;
        ++n;
        QVERIFY2(s.Value >= lowest && s.Value <= highest, qPrintable(QString::number(s.Value)));
        QVERIFY(s.Value < 50 ? s.Value >= position : s.Value <= position);
    }
    QCOMPARE(n, lit);
    if (lit > 0) {
        // The lowest lit segment is drawn lit, whether or not off segments are shown.
        const auto first =
            *std::find_if(segs.cbegin(), segs.cend(), [](const TiLedBar::Segment& s) { return s.Lit; });
        QCOMPARE(Pixel(bar->RenderToImage(), 12, first.Top), clLime);
    }
    const QImage img = bar->RenderToImage();
    QCOMPARE(Pixel(img, 12, 144), showOff ? TColor(0x005500) : clBlack);
}

void TestLedBar::hiddenOffSegmentsFromReference_data() {
    QTest::addColumn<int>("style");
    QTest::newRow("rectangles over a picture") << int(TiLedBar::ilbssRectangle);
    QTest::newRow("circles") << int(TiLedBar::ilbssCircle);
}

// Filling from a reference without off segments, an unlit segment is still drawn, in the background
// colour: it hides a picture behind it, and a circle keeps its highlight in the section colour.
void TestLedBar::hiddenOffSegmentsFromReference() {
    QFETCH(int, style);
    auto bar = PanelBar();
    bar->resize(40, 153);
    bar->SetSegmentSize(12);
    bar->SetSegmentSpacing(3);
    bar->SetSegmentStyle(TiLedBar::TiLedBarSegmentStyle(style));
    QImage white(4, 4, QImage::Format_RGB32);
    white.fill(Qt::white);
    if (style == TiLedBar::ilbssRectangle)
        bar->SetBackGroundPicture(white);
    bar->SetFillReferenceEnabled(true);
    bar->SetFillReferenceValue(50);
    bar->SetShowOffSegments(false);
    bar->SetPosition(70); // segments 5 to 7 lit; segment 0, value 0, unlit
    const auto s0 = bar->Segments().at(0);
    QVERIFY(!s0.Lit);
    QCOMPARE(s0.Color, clBlack);
    const QImage img = bar->RenderToImage();
    QCOMPARE(Pixel(img, 20, 148), clBlack); // inside segment 0 (circle: its lower half)
    int lime = 0;
    for (int y = s0.Top; y < s0.Bottom; ++y)
        for (int x = s0.Left; x < s0.Right; ++x)
            lime += Pixel(img, x, y) == clLime;
    if (style == TiLedBar::ilbssRectangle) {
        QCOMPARE(lime, 0);
        QCOMPARE(Pixel(img, 20, s0.Top - 1), clWhite); // the picture between segments
    } else {
        QVERIFY(lime > 0);
    }
}

void TestLedBar::noPitchNoSegments() {
    auto bar = PanelBar();
    bar->SetPosition(100);
    bar->SetSegmentSize(0);
    bar->SetSegmentSpacing(0);
    QCOMPARE(bar->SegmentLayout().Count, 0);
    QVERIFY(bar->Segments().isEmpty());
    const QImage img = bar->RenderToImage();
    for (int y = 0; y < img.height(); y += 3)
        QCOMPARE(Pixel(img, 12, y), clBlack);
}

void TestLedBar::directions_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<QRect>("first"); // Left, Top, Right, Bottom of segment 0 (as a point pair)
    QTest::addColumn<QPoint>("step");
    // 25 x 153 vertical, 153 x 25 horizontal: run 151, 21 segments, offset 2 (vertical only).
    QTest::newRow("up") << int(TiLedBar::idUp) << QRect(QPoint(2, 144), QPoint(23, 149)) << QPoint(0, -7);
    QTest::newRow("down") << int(TiLedBar::idDown) << QRect(QPoint(2, 4), QPoint(23, 9)) << QPoint(0, 7);
    QTest::newRow("right") << int(TiLedBar::idRight) << QRect(QPoint(2, 2), QPoint(7, 23)) << QPoint(7, 0);
    QTest::newRow("left") << int(TiLedBar::idLeft) << QRect(QPoint(146, 2), QPoint(151, 23)) << QPoint(-7, 0);
}

void TestLedBar::directions() {
    QFETCH(int, direction);
    QFETCH(QRect, first);
    QFETCH(QPoint, step);
    auto bar = PanelBar();
    bar->SetSegmentDirection(TiLedBar::TiDirection(direction));
    bar->SetPosition(1.0); // f * N + 0.5 = 0.71: only the first segment lit
    const auto segs = bar->Segments();
    QCOMPARE(segs.size(), 21);
    QCOMPARE(QRect(QPoint(segs[0].Left, segs[0].Top), QPoint(segs[0].Right, segs[0].Bottom)), first);
    QCOMPARE(QPoint(segs[1].Left - segs[0].Left, segs[1].Top - segs[0].Top), step);
    QVERIFY(segs[0].Lit);
    QVERIFY(!segs[1].Lit);

    const QImage img = bar->RenderToImage();
    const QPoint mid((first.left() + first.right()) / 2, (first.top() + first.bottom()) / 2);
    QCOMPARE(Pixel(img, mid.x(), mid.y()), clLime);
    QCOMPARE(Pixel(img, mid.x() + step.x(), mid.y() + step.y()), TColor(0x005500));
}

void TestLedBar::directionTurnsTheBar() {
    auto bar = PanelBar();
    bar->SetSegmentDirection(TiLedBar::idDown);
    QCOMPARE(bar->size(), QSize(25, 153));
    bar->SetSegmentDirection(TiLedBar::idRight);
    QCOMPARE(bar->size(), QSize(153, 25));
    bar->SetSegmentDirection(TiLedBar::idLeft);
    QCOMPARE(bar->size(), QSize(153, 25));
    bar->SetSegmentDirection(TiLedBar::idUp);
    QCOMPARE(bar->size(), QSize(25, 153));

    // A layout sets its size and direction in any order: no turning while it is read.
    auto loaded = std::make_unique<TiLedBar>();
    loaded->LoadProperties({"Width = 153", "Height = 25", "SegmentDirection = idRight"});
    QCOMPARE(loaded->size(), QSize(153, 25));
    QCOMPARE(loaded->SegmentDirection(), TiLedBar::idRight);
}

void TestLedBar::bevelShrinksTheRun() {
    auto bar = PanelBar();
    bar->SetBorderStyle(ibsLowered);
    // Run 149 - 4 + 2 = 147: 21 segments, offset 0; the bottom one ends at 151 - 0 - 2.
    const TiLedBar::Layout l = bar->SegmentLayout();
    QCOMPARE(l.Count, 21);
    QCOMPARE(l.Offset, 0);
    QCOMPARE(QRect(QPoint(l.Left, l.Top), QPoint(l.Right, l.Bottom)), QRect(QPoint(4, 144), QPoint(21, 149)));
}

void TestLedBar::shapes() {
    auto bar = PanelBar();
    bar->resize(40, 153);
    bar->SetSegmentSize(12);
    bar->SetSegmentSpacing(3);
    bar->SetPosition(100);
    // Run 151, pitch 15: 10 segments, offset 0; segment 0 is (2, 139)-(38, 151), centre (20, 145).
    const auto s0 = bar->Segments().at(0);
    QCOMPARE(QRect(QPoint(s0.Left, s0.Top), QPoint(s0.Right, s0.Bottom)),
             QRect(QPoint(2, 139), QPoint(38, 151)));

    bar->SetSegmentStyle(TiLedBar::ilbssCircle);
    QImage img = bar->RenderToImage();
    // Circle of diameter 12 centred on the segment, x 14 to 25; the segment's corners stay dark.
    QCOMPARE(Pixel(img, 20, 148), clLime);
    QCOMPARE(Pixel(img, 3, 140), clBlack);
    QCOMPARE(Pixel(img, 36, 149), clBlack);
    QCOMPARE(Pixel(img, 12, 145), clBlack);
    // The white highlight lies in the upper-left quarter only.
    int white = 0;
    for (int y = 139; y <= 145; ++y)
        for (int x = 14; x <= 20; ++x)
            white += Pixel(img, x, y) == clWhite;
    QVERIFY(white > 0);
    for (int y = 146; y < 151; ++y)
        for (int x = 14; x < 26; ++x)
            QVERIFY(Pixel(img, x, y) != clWhite);
    // Unlit, the highlight takes the section colour instead of white.
    bar->SetPosition(0);
    img = bar->RenderToImage();
    for (int y = 139; y < 151; ++y)
        for (int x = 14; x < 26; ++x)
            QVERIFY(Pixel(img, x, y) != clWhite);
}

void TestLedBar::triangles_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("segment");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QRect>("box");          // where the first segment's triangle may lie
    QTest::addColumn<QList<QPoint>>("rows"); // first and last lit column of each row, apex first
    // The panel's bar: base from x 10 to 14 on row 149, apex at (12, 144).
    QTest::newRow("panel size") << QSize(25, 153) << 5 << 2 << QRect(QPoint(2, 144), QPoint(22, 149))
                                << QList<QPoint>{{12, 12}, {12, 12}, {11, 13}, {11, 13}, {10, 14}, {10, 14}};
    // Base from x 14 to 26 on row 151, apex at (20, 139).
    QList<QPoint> large;
    for (int k = 0; k <= 12; ++k)
        large << QPoint(20 - k / 2, 20 + k / 2);
    QTest::newRow("size 12") << QSize(40, 153) << 12 << 3 << QRect(QPoint(2, 139), QPoint(37, 151)) << large;
}

// The triangle the segment's corners give, every pixel of it and none beside: the base from end to end,
// the sides alike.
void TestLedBar::triangles() {
    QFETCH(QSize, size);
    QFETCH(int, segment);
    QFETCH(int, spacing);
    QFETCH(QRect, box);
    QFETCH(QList<QPoint>, rows);
    auto bar = PanelBar();
    bar->resize(size);
    bar->SetSegmentSize(segment);
    bar->SetSegmentSpacing(spacing);
    bar->SetPosition(100);
    bar->SetSegmentStyle(TiLedBar::ilbssTriangle);
    const QImage img = bar->RenderToImage();
    QCOMPARE(box.height(), int(rows.size()));
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const QPoint span = rows[y - box.top()];
        for (int x = box.left(); x <= box.right(); ++x) {
            const bool inside = x >= span.x() && x <= span.y();
            QVERIFY2((Pixel(img, x, y) == clLime) == inside,
                     qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
        }
    }
}

QTEST_MAIN(TestLedBar)
#include "tst_ledbar.moc"
