// Round LED: lamp colour rules, repaint economy, the square-keeping bounds and the drawn look.

#include "iLedRound.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

QColor At(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

QColor RGB(TColor c) {
    return ColorToQColor(c);
}

// The pixels of one colour inside a rectangle of the image.
int Count(const QImage& image, const QRect& area, const QColor& color) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += At(image, x, y) == color;
    return n;
}

} // namespace

class TestLeds : public QObject {
    Q_OBJECT

private slots:
    void lampColour_data();
    void lampColour();
    void equalWritesRepaintNothing();
    void activeRaisesOnChangeAfterRepaint();
    void keepsSquare_data();
    void keepsSquare();
    void bevelRing_data();
    void bevelRing();
    void reflection_data();
    void reflection();
};

void TestLeds::lampColour_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("autoInactive");
    QTest::addColumn<uint>("activeColor");
    QTest::addColumn<uint>("inactiveColor");
    QTest::addColumn<uint>("expected");

    QTest::newRow("red off is dark red") << false << true << 255u << 0u << 85u;
    QTest::newRow("lime off is dark green") << false << true << 65280u << 0u << 21760u;
    QTest::newRow("aqua off") << false << true << 16776960u << 0u << uint(RGBValue(0, 85, 85));
    QTest::newRow("red on") << true << true << 255u << 0u << 255u;
    QTest::newRow("inactive colour hidden while automatic") << false << true << 255u << 16711680u << 85u;
    QTest::newRow("inactive colour when not automatic") << false << false << 255u << 16711680u << 16711680u;
    QTest::newRow("on ignores inactive colour") << true << false << 65280u << 16711680u << 65280u;
    // A system colour is dimmed from its raw value: index 15 / 3 in red, a near-black lamp.
    QTest::newRow("system colour dimmed raw") << false << true << uint(clBtnFace) << 0u << 5u;
}

void TestLeds::lampColour() {
    QFETCH(bool, active);
    QFETCH(bool, autoInactive);
    QFETCH(uint, activeColor);
    QFETCH(uint, inactiveColor);
    QFETCH(uint, expected);

    TiLedRound led;
    led.SetActiveColor(activeColor);
    led.SetInactiveColor(inactiveColor);
    led.SetAutoInactiveColor(autoInactive);
    led.SetActive(active);
    QCOMPARE(led.LedColor(), TColor(expected));
    // Lower right of the disc: clear of the ring and of the highlight.
    const QImage image = led.RenderToImage();
    QCOMPARE(At(image, 12, 12), RGB(expected));
    QCOMPARE(At(image, 9, 15), RGB(expected));
}

void TestLeds::equalWritesRepaintNothing() {
    TiLedRound led;
    QSignalSpy changes(&led, &TiLed::OnChange);
    const int before = led.RepaintRequestCount();
    led.SetActiveColor(65280);
    led.SetActive(false);
    led.SetAutoInactiveColor(true);
    led.SetInactiveColor(21760);
    led.SetBevelStyle(ibsLowered);
    led.SetShowReflection(true);
    QCOMPARE(led.RepaintRequestCount(), before);
    QCOMPARE(changes.count(), 0);

    // The display refresh writes the other colour: one repaint, no OnChange. The inactive colour
    // repaints too, though the lamp looks the same.
    led.SetActiveColor(255);
    QCOMPARE(led.RepaintRequestCount(), before + 1);
    QVERIFY(led.BackGroundDirty());
    led.SetInactiveColor(255);
    QCOMPARE(led.RepaintRequestCount(), before + 2);
    QCOMPARE(changes.count(), 0);
}

void TestLeds::activeRaisesOnChangeAfterRepaint() {
    TiLedRound led;
    const int before = led.RepaintRequestCount();
    int repaintsSeenByHandler = -1;
    connect(&led, &TiLed::OnChange, this, [&] { repaintsSeenByHandler = led.RepaintRequestCount(); });
    QSignalSpy changes(&led, &TiLed::OnChange);
    led.SetActive(true);
    led.SetActive(true);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(repaintsSeenByHandler, before + 1);

    bool allow = false;
    led.SetEditPermissionHook([&](TiComponent*, const QString& name, bool& a) {
        QCOMPARE(name, QStringLiteral("Active"));
        a = allow;
    });
    led.SetActive(false);
    QVERIFY(led.Active());
    QCOMPARE(changes.count(), 1);
}

void TestLeds::keepsSquare_data() {
    QTest::addColumn<QSize>("request");
    QTest::addColumn<bool>("loading");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("wider decides") << QSize(30, 20) << false << QSize(30, 30);
    QTest::newRow("taller with width unchanged") << QSize(20, 30) << false << QSize(30, 30);
    QTest::newRow("both changed: width decides") << QSize(30, 40) << false << QSize(30, 30);
    QTest::newRow("unchanged") << QSize(20, 20) << false << QSize(20, 20);
    QTest::newRow("layout values taken as they are") << QSize(30, 20) << true << QSize(30, 20);
}

void TestLeds::keepsSquare() {
    QFETCH(QSize, request);
    QFETCH(bool, loading);
    QFETCH(QSize, expected);

    TiLedRound led;
    QCOMPARE(QSize(led.Width(), led.Height()), QSize(20, 20));
    if (loading)
        led.BeginLoading();
    led.SetBounds(7, 9, request.width(), request.height());
    if (loading)
        led.EndLoading();
    QCOMPARE(QSize(led.Width(), led.Height()), expected);
    QCOMPARE(QPoint(led.Left(), led.Top()), QPoint(7, 9));

    // The single-side setters go through the same rule.
    TiLedRound other;
    other.SetHeight(26);
    QCOMPARE(QSize(other.Width(), other.Height()), QSize(26, 26));
}

void TestLeds::bevelRing_data() {
    QTest::addColumn<TiBevelStyle>("style");
    QTest::addColumn<bool>("ring");
    QTest::addColumn<bool>("darkTopLeft");

    QTest::newRow("lowered") << ibsLowered << true << true;
    QTest::newRow("raised") << ibsRaised << true << false;
    QTest::newRow("none") << ibsNone << false << false;
}

void TestLeds::bevelRing() {
    QFETCH(TiBevelStyle, style);
    QFETCH(bool, ring);
    QFETCH(bool, darkTopLeft);

    TiLedRound led;
    led.SetBevelStyle(style);
    led.SetShowReflection(false);
    // A background unlike any ring shade shows where the ring is clipped to the circle.
    const TColor background = RGBValue(0, 0, 255);
    led.SetBackGroundColor(background);
    const QImage image = led.RenderToImage();
    const QColor lamp = RGB(21760);

    QCOMPARE(At(image, 0, 0), RGB(background));
    QCOMPARE(At(image, 19, 19), RGB(background));
    QCOMPARE(At(image, 10, 10), lamp);
    if (!ring) {
        // The disc fills the whole circle in (0, 0, 20, 20).
        QCOMPARE(At(image, 1, 10), lamp);
        QCOMPARE(At(image, 18, 10), lamp);
        QCOMPARE(At(image, 10, 1), lamp);
        return;
    }
    // The disc lies in (2, 2, 17, 17): columns 2 to 16; the ring shows round it.
    QCOMPARE(At(image, 2, 10), lamp);
    QCOMPARE(At(image, 16, 10), lamp);
    QVERIFY(At(image, 1, 10) != lamp);
    QVERIFY(At(image, 17, 10) != lamp);
    // The gradient's line through pixel (x, y) is number x + y + 1 of 38, from the button face
    // darkened by 64 (148, 144, 136) to lightened by 32 (244, 240, 232), or the other way round.
    const QColor dark(148, 144, 136), light(244, 240, 232);
    auto expected = [&](int x, int y) {
        const int i = x + y + 1;
        const QColor a = darkTopLeft ? dark : light, b = darkTopLeft ? light : dark;
        auto ch = [&](int ca, int cb) { return qRound(i / 38.0 * cb + (38 - i) / 38.0 * ca); };
        return QColor(ch(a.red(), b.red()), ch(a.green(), b.green()), ch(a.blue(), b.blue()));
    };
    for (QPoint p : {QPoint(1, 10), QPoint(10, 1), QPoint(18, 10), QPoint(10, 18), QPoint(3, 3)})
        QCOMPARE(At(image, p.x(), p.y()), expected(p.x(), p.y()));
}

void TestLeds::reflection_data() {
    QTest::addColumn<TiBevelStyle>("style");
    QTest::addColumn<bool>("show");
    QTest::addColumn<QRect>("upperLeft");

    // The arcs lie on the circles inset by Width div 4 (and one more) from the disc's rectangle, over
    // its upper left quarter.
    QTest::newRow("lowered") << ibsLowered << true << QRect(QPoint(7, 7), QPoint(9, 9));
    QTest::newRow("no ring") << ibsNone << true << QRect(QPoint(5, 5), QPoint(9, 9));
    QTest::newRow("hidden") << ibsLowered << false << QRect(QPoint(7, 7), QPoint(9, 9));
}

void TestLeds::reflection() {
    QFETCH(TiBevelStyle, style);
    QFETCH(bool, show);
    QFETCH(QRect, upperLeft);

    TiLedRound led;
    led.SetBevelStyle(style);
    led.SetShowReflection(show);
    const QImage image = led.RenderToImage();
    const int white = Count(image, image.rect(), Qt::white);
    if (!show) {
        QCOMPARE(white, 0);
        return;
    }
    QVERIFY(white >= 2);
    QCOMPARE(Count(image, upperLeft, Qt::white), white);
}

QTEST_MAIN(TestLeds)
#include "tst_leds.moc"
