// Switch with LED: when Active changes and which events follow, mouse and keyboard toggling, the
// drawn frame, LED strip and caption placement.

#include "iSwitchLed.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

QColor At(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}
QColor RGB(TColor c) {
    return ColorToQColor(c);
}
// Caption ink: the text is smoothed, so its pixels are dark rather than black.
bool Ink(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y)) < 110;
}

// A shown, active window holding the switch and a line edit that can take the focus from it.
struct Window {
    QWidget window;
    TiSwitchLed* sw;
    QLineEdit* edit;

    explicit Window(QSize size = QSize(177, 28)) {
        sw = new TiSwitchLed(&window);
        sw->SetBounds(0, 0, size.width(), size.height());
        edit = new QLineEdit(&window);
        edit->setGeometry(0, 60, 80, 20);
        window.resize(300, 100);
        window.show();
        window.activateWindow();
    }
    bool Ready() { return QTest::qWaitForWindowActive(&window); }
};

} // namespace

class TestSwitchLed : public QObject {
    Q_OBJECT

private slots:
    void assignmentsRaiseOnChangeOnly();
    void captionAndColourNeverChangeActive();
    void clickEventOrder();
    void dragOutReleasesWithoutToggle();
    void spaceHeldShowsPressedTogglesOnRelease();
    void focusLossEndsPress();
    void momentaryStyle();
    void acceleratorLetter();
    void failingHandlerIsDiscarded_data();
    void failingHandlerIsDiscarded();
    void borderSize_data();
    void borderSize();
    void panelSwitchLedStrip_data();
    void panelSwitchLedStrip();
    void frameInsets_data();
    void frameInsets();
    void ledAndCaptionPlacement_data();
    void ledAndCaptionPlacement();
    void glyphWithTransparentColour();
    void captionStreamedValue();
};

void TestSwitchLed::assignmentsRaiseOnChangeOnly() {
    TiSwitchLed sw;
    QSignalSpy change(&sw, &TiSwitchLed::OnChange);
    QSignalSpy user(&sw, &TiSwitchLed::OnChangeUser);
    sw.SetActive(true);
    sw.SetActive(true);
    QCOMPARE(change.count(), 1);
    sw.SetActive(false);
    QCOMPARE(change.count(), 2);
    QCOMPARE(user.count(), 0);

    // A vetoed change leaves Active and raises nothing.
    sw.SetEditPermissionHook(
        [](TiComponent*, const QString& name, bool& allow) { allow = name != "Active"; });
    sw.SetActive(true);
    QVERIFY(!sw.Active());
    QCOMPARE(change.count(), 2);

    // While the layout is read the value is stored without events.
    sw.SetEditPermissionHook({});
    sw.BeginLoading();
    sw.SetActive(true);
    sw.EndLoading();
    QVERIFY(sw.Active());
    QCOMPARE(change.count(), 2);
}

void TestSwitchLed::captionAndColourNeverChangeActive() {
    TiSwitchLed sw;
    sw.SetCaption(QStringLiteral("STOP"));
    QSignalSpy change(&sw, &TiSwitchLed::OnChange);
    const int before = sw.RepaintRequestCount();
    sw.SetCaption(QStringLiteral("STOP"));
    sw.SetActiveColor(65280);
    QCOMPARE(sw.RepaintRequestCount(), before);

    sw.SetCaption(QStringLiteral("RUN"));
    sw.SetActiveColor(255);
    QCOMPARE(sw.RepaintRequestCount(), before + 2);
    QCOMPARE(sw.Caption(), QStringLiteral("RUN"));
    QVERIFY(!sw.Active());
    QCOMPARE(change.count(), 0);
}

void TestSwitchLed::clickEventOrder() {
    Window w;
    QVERIFY(w.Ready());
    QStringList order;
    connect(w.sw, &TiComponent::OnClick, this, [&] { order << "OnClick"; });
    connect(w.sw, &TiSwitchLed::OnChange, this, [&] { order << "OnChange"; });
    connect(w.sw, &TiSwitchLed::OnChangeUser, this, [&] { order << "OnChangeUser"; });
    connect(w.sw, &TiComponent::OnMouseUp, this, [&] { order << "OnMouseUp"; });

    QTest::mouseClick(w.sw, Qt::LeftButton, {}, QPoint(40, 10));
    QCOMPARE(order, QStringList({"OnClick", "OnChange", "OnChangeUser", "OnMouseUp"}));
    QVERIFY(w.sw->Active());
    QVERIFY(w.sw->HasFocus());
    QTest::mouseClick(w.sw, Qt::LeftButton, {}, QPoint(40, 10));
    QVERIFY(!w.sw->Active());
    // The right button neither presses nor toggles.
    QTest::mouseClick(w.sw, Qt::RightButton, {}, QPoint(40, 10));
    QVERIFY(!w.sw->Active());
}

void TestSwitchLed::dragOutReleasesWithoutToggle() {
    Window w;
    QVERIFY(w.Ready());
    QSignalSpy change(w.sw, &TiSwitchLed::OnChange);
    QSignalSpy click(w.sw, &TiComponent::OnClick);
    QTest::mousePress(w.sw, Qt::LeftButton, {}, QPoint(40, 10));
    QVERIFY(w.sw->Pressed());
    QTest::mouseMove(w.sw, QPoint(250, 10));
    QTest::mouseRelease(w.sw, Qt::LeftButton, {}, QPoint(250, 10));
    QVERIFY(!w.sw->Pressed());
    QVERIFY(!w.sw->Active());
    QCOMPARE(change.count(), 0);
    QCOMPARE(click.count(), 0);
}

void TestSwitchLed::spaceHeldShowsPressedTogglesOnRelease() {
    Window w;
    QVERIFY(w.Ready());
    w.sw->setFocus();
    QTRY_VERIFY(w.sw->HasFocus());
    QSignalSpy change(w.sw, &TiSwitchLed::OnChange);
    QSignalSpy user(w.sw, &TiSwitchLed::OnChangeUser);
    const QImage released = w.sw->RenderToImage();

    QTest::keyPress(w.sw, Qt::Key_Space);
    QTest::keyPress(w.sw, Qt::Key_Space, {}, -1); // a second key-down, as auto-repeat sends
    QVERIFY(w.sw->Pressed());
    QCOMPARE(change.count(), 0);
    // The pressed frame: black on the top-left pair of the outer rectangle.
    const QImage pressed = w.sw->RenderToImage();
    QCOMPARE(At(released, 80, 0), RGB(cl3DDkShadow));
    QCOMPARE(At(pressed, 80, 0), QColor(Qt::black));
    QCOMPARE(At(pressed, 0, 10), QColor(Qt::black));

    QTest::keyRelease(w.sw, Qt::Key_Space);
    QVERIFY(!w.sw->Pressed());
    QVERIFY(w.sw->Active());
    QCOMPARE(change.count(), 1);
    QCOMPARE(user.count(), 1);
}

void TestSwitchLed::focusLossEndsPress() {
    Window w;
    QVERIFY(w.Ready());
    QSignalSpy change(w.sw, &TiSwitchLed::OnChange);
    QTest::mousePress(w.sw, Qt::LeftButton, {}, QPoint(40, 10));
    QVERIFY(w.sw->Pressed());
    w.edit->setFocus();
    QTRY_VERIFY(!w.sw->HasFocus());
    QVERIFY(!w.sw->Pressed());
    QCOMPARE(change.count(), 0);
    QTest::mouseRelease(w.sw, Qt::LeftButton, {}, QPoint(40, 10));
    QVERIFY(!w.sw->Active());
    QCOMPARE(change.count(), 0);

    // Space held while the focus goes away toggles nothing either.
    w.sw->setFocus();
    QTRY_VERIFY(w.sw->HasFocus());
    QTest::keyPress(w.sw, Qt::Key_Space);
    w.edit->setFocus();
    QTRY_VERIFY(!w.sw->Pressed());
    QTest::keyRelease(w.sw, Qt::Key_Space);
    QCOMPARE(change.count(), 0);
}

void TestSwitchLed::momentaryStyle() {
    Window w;
    QVERIFY(w.Ready());
    w.sw->SetMomentaryStyle(TiSwitchLed::ismsSimple);
    QSignalSpy user(w.sw, &TiSwitchLed::OnChangeUser);
    QTest::mousePress(w.sw, Qt::LeftButton, {}, QPoint(40, 10));
    QVERIFY(w.sw->Active());
    // On from the press to the release, wherever the release is.
    QTest::mouseRelease(w.sw, Qt::LeftButton, {}, QPoint(250, 10));
    QVERIFY(!w.sw->Active());
    QCOMPARE(user.count(), 2);
    // Space toggles in this style too.
    QTest::keyClick(w.sw, Qt::Key_Space);
    QVERIFY(w.sw->Active());
}

void TestSwitchLed::acceleratorLetter() {
    Window w;
    QVERIFY(w.Ready());
    w.sw->SetCaption(QStringLiteral("&Run"));
    QSignalSpy change(w.sw, &TiSwitchLed::OnChange);
    QSignalSpy user(w.sw, &TiSwitchLed::OnChangeUser);
    int keyPresses = 0, keyDowns = 0;
    connect(w.sw, &TiComponent::OnKeyPress, this, [&] { ++keyPresses; });
    connect(w.sw, &TiComponent::OnKeyDown, this, [&] { ++keyDowns; });

    // Alt and the letter, from anywhere in the window, in either case.
    w.edit->setFocus();
    QTRY_VERIFY(w.edit->hasFocus());
    QTest::keyClick(w.edit, Qt::Key_R, Qt::AltModifier);
    QVERIFY(w.sw->Active());
    QTRY_VERIFY(w.sw->HasFocus());
    QTest::keyClick(w.sw, Qt::Key_R, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(!w.sw->Active());
    // The plain letter typed into the focused switch.
    QTest::keyClick(w.sw, 'r');
    QVERIFY(w.sw->Active());
    QTest::keyClick(w.sw, 'x');
    QVERIFY(w.sw->Active());
    QCOMPARE(change.count(), 3);
    QCOMPARE(user.count(), 3);
    // Characters typed into the switch go nowhere else; the keys themselves are still reported.
    QCOMPARE(keyPresses, 0);
    QVERIFY(keyDowns >= 2);

    // Disabled, or without a marked letter, nothing toggles.
    w.sw->SetEnabled(false);
    QTest::keyClick(w.edit, Qt::Key_R, Qt::AltModifier);
    w.sw->SetEnabled(true);
    w.sw->SetCaption(QStringLiteral("Run"));
    w.edit->setFocus();
    QTest::keyClick(w.edit, Qt::Key_R, Qt::AltModifier);
    QCOMPARE(change.count(), 3);
}

void TestSwitchLed::failingHandlerIsDiscarded_data() {
    QTest::addColumn<QString>("input");
    QTest::newRow("mouse click") << "click";
    QTest::newRow("Space") << "space";
    QTest::newRow("Alt and the letter elsewhere") << "alt";
    QTest::newRow("letter typed into the switch") << "letter";
}

// Every way the operator toggles the switch runs OnChange inside the frame's guard, as user input.
void TestSwitchLed::failingHandlerIsDiscarded() {
    QFETCH(QString, input);
    Window w;
    QVERIFY(w.Ready());
    w.sw->SetCaption(QStringLiteral("&Run"));
    int calls = 0;
    bool userInput = false;
    auto throwing = connect(w.sw, &TiSwitchLed::OnChange, this, [&] {
        ++calls;
        userInput = w.sw->UserInput();
        throw std::runtime_error("handler failed");
    });
    if (input == "click") {
        QTest::mouseClick(w.sw, Qt::LeftButton, {}, QPoint(40, 10));
    } else if (input == "alt") {
        w.edit->setFocus();
        QTRY_VERIFY(w.edit->hasFocus());
        QTest::keyClick(w.edit, Qt::Key_R, Qt::AltModifier);
    } else {
        w.sw->setFocus();
        QTRY_VERIFY(w.sw->HasFocus());
        if (input == "space")
            QTest::keyClick(w.sw, Qt::Key_Space);
        else
            QTest::keyClick(w.sw, 'r');
    }
    QCOMPARE(calls, 1);
    QVERIFY(userInput);
    QVERIFY(w.sw->Active());
    QVERIFY(!w.sw->Pressed());
    QVERIFY(!w.sw->UserInput());
    disconnect(throwing);
    // The user-change mark did not outlive the failed toggle.
    QSignalSpy user(w.sw, &TiSwitchLed::OnChangeUser);
    w.sw->SetActive(false);
    QCOMPARE(user.count(), 0);
}

void TestSwitchLed::borderSize_data() {
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("stored");
    QTest::newRow("0") << 0 << 2;
    QTest::newRow("1") << 1 << 2;
    QTest::newRow("-3") << -3 << 2;
    QTest::newRow("2") << 2 << 2;
    QTest::newRow("4") << 4 << 4;
}

void TestSwitchLed::borderSize() {
    QFETCH(int, set);
    QFETCH(int, stored);
    TiSwitchLed sw;
    sw.SetBorderSize(7);
    sw.SetBorderSize(set);
    QCOMPARE(sw.BorderSize(), stored);
}

void TestSwitchLed::panelSwitchLedStrip_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<uint>("activeColor");
    QTest::addColumn<uint>("lamp");
    QTest::newRow("off, lime") << false << 65280u << 21760u;
    QTest::newRow("off, red") << false << 255u << 85u;
    QTest::newRow("on, lime") << true << 65280u << 65280u;
}

void TestSwitchLed::panelSwitchLedStrip() {
    QFETCH(bool, active);
    QFETCH(uint, activeColor);
    QFETCH(uint, lamp);

    // The panel's run/stop switch: 177 x 28, BorderSize 2, CaptionMargin 2.
    TiSwitchLed sw;
    sw.SetBounds(0, 0, 177, 28);
    sw.SetCaption(QStringLiteral("STOP"));
    sw.SetActiveColor(activeColor);
    sw.SetActive(active);
    const TiSwitchLed::Layout layout = sw.ComputeLayout();
    QCOMPARE(layout.Led, QRect(QPoint(5, 18), QPoint(171, 22)));
    QCOMPARE(layout.Led.right() - layout.Led.left(), 166);
    QCOMPARE(layout.Led.bottom() - layout.Led.top(), 4);
    QCOMPARE(27 - layout.Led.bottom(), 5);

    const QImage image = sw.RenderToImage();
    const QColor face = RGB(clBtnFace);
    // Black outline on the top and left, the lamp inside, white along the bottom and up the right.
    QCOMPARE(At(image, 5, 18), QColor(Qt::black));
    QCOMPARE(At(image, 100, 18), QColor(Qt::black));
    QCOMPARE(At(image, 5, 21), QColor(Qt::black));
    for (int x : {6, 88, 170})
        for (int y : {19, 20, 21})
            QCOMPARE(At(image, x, y), RGB(lamp));
    QCOMPARE(At(image, 5, 22), QColor(Qt::white));
    QCOMPARE(At(image, 170, 22), QColor(Qt::white));
    QCOMPARE(At(image, 171, 18), QColor(Qt::white));
    QCOMPARE(At(image, 171, 22), QColor(Qt::white));
    // Nothing of the strip beyond it.
    QCOMPARE(At(image, 4, 20), face);
    QCOMPARE(At(image, 172, 20), face);
    QCOMPARE(At(image, 88, 23), face);
    QCOMPARE(At(image, 88, 17), face);
    // The caption sits above the strip, in its box (0, 0)-(176, 16).
    QCOMPARE(layout.Caption, QRect(QPoint(0, 0), QPoint(175, 15)));
    int ink = 0;
    for (int y = 2; y <= 15; ++y)
        for (int x = 60; x <= 116; ++x)
            ink += Ink(image, x, y);
    QVERIFY(ink > 20);
}

void TestSwitchLed::frameInsets_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("inset");
    QTest::addColumn<uint>("topLeft");
    QTest::addColumn<uint>("bottomRight");

    const uint face = clBtnFace, highlight = RGBValue(250, 200, 10), shadow = RGBValue(10, 60, 200);
    QTest::newRow("idle 0") << "idle" << 0 << uint(clBtnHighlight) << uint(clBlack);
    QTest::newRow("idle 1") << "idle" << 1 << highlight << shadow;
    QTest::newRow("idle 2") << "idle" << 2 << highlight << shadow;
    QTest::newRow("idle 3") << "idle" << 3 << face << face;
    QTest::newRow("focused 0") << "focused" << 0 << uint(cl3DDkShadow) << uint(clBlack);
    QTest::newRow("focused 1") << "focused" << 1 << highlight << shadow;
    QTest::newRow("focused 2") << "focused" << 2 << highlight << shadow;
    QTest::newRow("focused 3") << "focused" << 3 << face << shadow;
    QTest::newRow("pressed 0") << "pressed" << 0 << uint(clBlack) << uint(clBlack);
    QTest::newRow("pressed 1") << "pressed" << 1 << uint(cl3DDkShadow) << uint(cl3DDkShadow);
    QTest::newRow("pressed 2") << "pressed" << 2 << shadow << highlight;
    QTest::newRow("pressed 3") << "pressed" << 3 << face << face;
}

void TestSwitchLed::frameInsets() {
    QFETCH(QString, state);
    QFETCH(int, inset);
    QFETCH(uint, topLeft);
    QFETCH(uint, bottomRight);

    Window w(QSize(60, 30));
    QVERIFY(w.Ready());
    TiSwitchLed* sw = w.sw;
    sw->SetCaption(QString());
    sw->SetBorderSize(3);
    sw->SetShowFocusRect(false);
    sw->SetBorderHighlightColor(RGBValue(250, 200, 10));
    sw->SetBorderShadowColor(RGBValue(10, 60, 200));
    if (state == "idle") {
        w.edit->setFocus();
        QTRY_VERIFY(!sw->HasFocus());
    } else {
        sw->setFocus();
        QTRY_VERIFY(sw->HasFocus());
    }
    if (state == "pressed")
        QTest::mousePress(sw, Qt::LeftButton, {}, QPoint(30, 10));
    const QImage image = sw->RenderToImage();
    const int k = inset;
    // Middles of the four edges of the rectangle at inset k.
    QCOMPARE(At(image, 30, k), RGB(topLeft));
    QCOMPARE(At(image, k, 15), RGB(topLeft));
    QCOMPARE(At(image, 30, 29 - k), RGB(bottomRight));
    QCOMPARE(At(image, 59 - k, 15), RGB(bottomRight));
    if (state == "pressed")
        QTest::mouseRelease(sw, Qt::LeftButton, {}, QPoint(30, 10));
}

void TestSwitchLed::ledAndCaptionPlacement_data() {
    QTest::addColumn<TiSwitchLed::TiSideAlignment>("side");
    QTest::addColumn<TiSwitchLed::TiSwitchLedCaptionAlignment>("alignment");
    QTest::addColumn<QRect>("led");
    QTest::addColumn<QRect>("caption"); // in the pixels the text may use
    QTest::addColumn<uint>("flags");

    // 100 x 40, BorderSize 2: inner rectangle (0, 0)-(99, 39), centre (50, 20); the LED spans the side
    // less the margin of 5 at both ends; the caption keeps 2 from the LED or from the edge.
    using S = TiSwitchLed;
    const QRect bottomLed(QPoint(6, 30), QPoint(94, 34)), topLed(QPoint(6, 5), QPoint(94, 9));
    const QRect leftLed(QPoint(5, 6), QPoint(15, 34)), rightLed(QPoint(84, 6), QPoint(94, 34));
    const uint common = itfNoClip | itfPrefix | itfSingleLine;
    QTest::newRow("bottom, next to LED") << S::isaBottom << S::islcaIndicator << bottomLed
                                         << iWinRect(0, 0, 99, 28) << (common | itfCenter | itfBottom);
    QTest::newRow("bottom, far side") << S::isaBottom << S::islcaOppisiteSide << bottomLed
                                      << iWinRect(0, 2, 99, 30) << (common | itfCenter | itfTop);
    QTest::newRow("top, next to LED") << S::isaTop << S::islcaIndicator << topLed << iWinRect(0, 11, 99, 39)
                                      << (common | itfCenter | itfTop);
    QTest::newRow("top, far side") << S::isaTop << S::islcaOppisiteSide << topLed << iWinRect(0, 9, 99, 37)
                                   << (common | itfCenter | itfBottom);
    QTest::newRow("left, next to LED") << S::isaLeft << S::islcaIndicator << leftLed
                                       << iWinRect(17, 0, 99, 39) << (common | itfLeft | itfVCenter);
    QTest::newRow("left, far side") << S::isaLeft << S::islcaOppisiteSide << leftLed
                                    << iWinRect(15, 0, 97, 39) << (common | itfRight | itfVCenter);
    QTest::newRow("right, next to LED") << S::isaRight << S::islcaIndicator << rightLed
                                        << iWinRect(0, 0, 82, 39) << (common | itfRight | itfVCenter);
    QTest::newRow("right, far side") << S::isaRight << S::islcaOppisiteSide << rightLed
                                     << iWinRect(2, 0, 84, 39) << (common | itfLeft | itfVCenter);
}

void TestSwitchLed::ledAndCaptionPlacement() {
    QFETCH(TiSwitchLed::TiSideAlignment, side);
    QFETCH(TiSwitchLed::TiSwitchLedCaptionAlignment, alignment);
    QFETCH(QRect, led);
    QFETCH(QRect, caption);
    QFETCH(uint, flags);

    TiSwitchLed sw;
    sw.SetBounds(0, 0, 100, 40);
    sw.SetCaption(QStringLiteral("Hi"));
    sw.SetIndicatorAlignment(side);
    sw.SetCaptionAlignment(alignment);
    sw.SetActive(true);
    const TiSwitchLed::Layout layout = sw.ComputeLayout();
    QCOMPARE(layout.Led, led);
    QCOMPARE(layout.Caption, caption);
    QCOMPARE(layout.CaptionFlags, flags);

    // Drawn there: the lamp colour in the LED, and caption ink only inside the caption box.
    const QImage image = sw.RenderToImage();
    QCOMPARE(At(image, led.center().x(), led.center().y()), QColor(Qt::green));
    int inside = 0, outside = 0;
    for (int y = 2; y < 38; ++y)
        for (int x = 2; x < 98; ++x) {
            if (led.contains(x, y) || !Ink(image, x, y))
                continue;
            (caption.contains(x, y) ? inside : outside) += 1;
        }
    QVERIFY(inside > 10);
    QCOMPARE(outside, 0);
}

void TestSwitchLed::glyphWithTransparentColour() {
    // The bottom-left pixel names the transparent colour.
    QImage glyph(6, 4, QImage::Format_RGB32);
    glyph.fill(QColor(255, 0, 255));
    glyph.setPixel(2, 1, qRgb(255, 0, 0));
    glyph.setPixel(3, 1, qRgb(0, 0, 255));
    TiSwitchLed sw;
    sw.SetBounds(0, 0, 60, 30);
    sw.SetCaption(QString());
    sw.SetGlyph(glyph);
    // Glyph size replaces the LED's: 6 x 4 centred at x 30, bottom 5 above the inner bottom (29).
    QCOMPARE(sw.ComputeLayout().Led, QRect(QPoint(27, 20), QPoint(33, 24)));
    const QImage image = sw.RenderToImage();
    QCOMPARE(At(image, 29, 21), QColor(Qt::red));
    QCOMPARE(At(image, 30, 21), QColor(Qt::blue));
    QCOMPARE(At(image, 27, 20), RGB(clBtnFace));
    QCOMPARE(At(image, 32, 23), RGB(clBtnFace));
}

void TestSwitchLed::captionStreamedValue() {
    TiSwitchLed sw;
    sw.SetCaption(QStringLiteral("STOP"));
    QVERIFY(sw.SaveProperties().contains(QStringLiteral("Caption_2 = 'STOP'")));
    QSignalSpy change(&sw, &TiSwitchLed::OnChange);
    sw.LoadProperties({QStringLiteral("Caption = 'A'"), QStringLiteral("Active = True"),
                       QStringLiteral("Caption_2 = 'RUN'")});
    QCOMPARE(sw.Caption(), QStringLiteral("RUN"));
    QVERIFY(sw.Active());
    QCOMPARE(change.count(), 0);
}

QTEST_MAIN(TestSwitchLed)
#include "tst_switchled.moc"
