// The widget frame: repaint requests, the click rules, the input guard, focus, the paint cycle,
// AutoFrameRate, property files and the extra "_2" values.

#include "frame_fixture.h"
#include "iKnob.h"
#include "iSwitchLed.h"

#include <QApplication>
#include <QPainter>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <limits>

// A sample widget for the gallery: background and border, a labelled scale, a value bar and a caption.
class GallerySample : public TiScaleComponent {
public:
    GallerySample() {
        resize(90, 150);
        SetShowDisabledState(true);
        SetPosition(62);
    }

protected:
    void iPaintTo(QPainter& Canvas) override {
        const bool disabled = !Enabled() && ShowDisabledState();
        PaintStaticLayers(Canvas, [&](QPainter& p) {
            DrawBackGround(p, BackGroundColor());
            TiScaleLayout& l = Scale()->Layout;
            l.PixelLow = 125;
            l.PixelHigh = 15;
            l.BaseLine = 30;
            DrawScale(p, disabled);
        });
        const int top = Scale()->Layout.Map().ToPixel(Position());
        iFillRect(Canvas, QRect(QPoint(14, top), QPoint(26, 125)),
                  ColorToQColor(disabled ? clBtnShadow : clBlue));
        QRect caption(4, 130, 82, 16);
        SelectFont(Canvas, TFont());
        DrawWidgetText(Canvas, QStringLiteral("&Level"), caption, BackGroundColor(), !disabled,
                       itfCenter | itfVCenter | itfSingleLine | itfPrefix);
    }
};

class TstFrame : public QObject {
    Q_OBJECT

private:
    static void send(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton b, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), b, held, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    static int countOf(const QImage& img, QRgb c) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += (img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF);
        return n;
    }

private slots:
    void colourHelpers_data() {
        QTest::addColumn<QString>("op");
        QTest::addColumn<uint>("colour");
        QTest::addColumn<int>("n");
        QTest::addColumn<uint>("expected");
        QTest::newRow("lighten clamps")
            << "lighten" << uint(RGBValue(250, 10, 128)) << 16 << uint(RGBValue(255, 26, 144));
        QTest::newRow("darken clamps")
            << "darken" << uint(RGBValue(250, 10, 128)) << 64 << uint(RGBValue(186, 0, 64));
        QTest::newRow("lighten resolves system colours")
            << "lighten" << uint(clBtnFace) << 32 << uint(RGBValue(244, 240, 232));
        QTest::newRow("dim lime") << "dim" << uint(65280) << 3 << uint(21760);
        QTest::newRow("dim red") << "dim" << uint(255) << 3 << uint(85);
    }
    void colourHelpers() {
        QFETCH(QString, op);
        QFETCH(uint, colour);
        QFETCH(int, n);
        QFETCH(uint, expected);
        const TColor got = op == "lighten"  ? ColorLighten(colour, n)
                           : op == "darken" ? ColorDarken(colour, n)
                                            : ColorDim(colour, n);
        QCOMPARE(got, expected);
    }

    void polarPoint_data() {
        QTest::addColumn<double>("r");
        QTest::addColumn<double>("angle");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("right") << 10.0 << 0.0 << QPoint(60, 50);
        QTest::newRow("up") << 10.0 << 90.0 << QPoint(50, 40);
        QTest::newRow("lower left") << 10.0 << 225.0 << QPoint(43, 57);
        QTest::newRow("half to even") << 2.5 << 0.0 << QPoint(52, 50);
        QTest::newRow("half to even, odd") << 3.5 << 180.0 << QPoint(46, 50);
    }
    void polarPoint() {
        QFETCH(double, r);
        QFETCH(double, angle);
        QFETCH(QPoint, expected);
        QCOMPARE(PolarPoint(QPoint(50, 50), r, angle), expected);
    }

    void win32RectanglesAndLines() {
        QImage img(20, 20, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setPen(Qt::black);
        iFrameRect(p, iWinRect(2, 2, 8, 6)); // pixels 2..7 x 2..5
        iLine(p, QPoint(10, 10), QPoint(15, 10));
        iLine(p, QPoint(10, 12), QPoint(14, 16));
        p.end();
        auto black = [&](int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) == 0; };
        QVERIFY(black(2, 2) && black(7, 5) && black(7, 2) && black(2, 5));
        QVERIFY(!black(8, 2) && !black(2, 6) && !black(3, 3));
        QVERIFY(black(10, 10) && black(14, 10) && !black(15, 10));
        QVERIFY(black(10, 12) && black(13, 15) && !black(14, 16));
    }

    void bevelAndFocusRect() {
        QImage img(10, 10, QImage::Format_RGB32);
        img.fill(Qt::gray);
        const QImage before = img.copy();
        QPainter p(&img);
        DrawBevel(p, img.rect(), ibsRaised);
        p.end();
        QCOMPARE(QColor(img.pixel(0, 0)), ColorToQColor(cl3DLight));
        QCOMPARE(QColor(img.pixel(9, 9)), ColorToQColor(cl3DDkShadow));
        QCOMPARE(QColor(img.pixel(1, 1)), ColorToQColor(clBtnHighlight));
        QCOMPARE(QColor(img.pixel(8, 8)), ColorToQColor(clBtnShadow));
        QCOMPARE(img.pixel(5, 5), before.pixel(5, 5));

        QImage focus = before.copy();
        QPainter f(&focus);
        DrawFocusRect(f, focus.rect());
        QVERIFY(focus.pixel(0, 0) != before.pixel(0, 0));
        QCOMPARE(focus.pixel(1, 0), before.pixel(1, 0)); // dotted
        DrawFocusRect(f, focus.rect());
        f.end();
        QCOMPARE(focus, before); // drawn twice, it is gone
    }

    void widgetTextFlags() {
        QImage img(200, 60, QImage::Format_RGB32);
        QPainter p(&img);
        SelectFont(p, TFont());
        const QFontMetrics fm(p.font());

        QRect r(5, 5, 10, 10);
        TiComponent::DrawWidgetText(p, "Run && stop", r, clBtnFace, true, itfCalcRect | itfSingleLine);
        QCOMPARE(r.width(), fm.horizontalAdvance("Run && stop"));
        QRect prefixed(5, 5, 10, 10);
        TiComponent::DrawWidgetText(p, "&Run", prefixed, clBtnFace, true,
                                    itfCalcRect | itfSingleLine | itfPrefix);
        QVERIFY(std::abs(prefixed.width() - fm.horizontalAdvance("Run")) <= 1);
        QVERIFY(prefixed.width() < fm.horizontalAdvance("&Run"));

        QRect wrapped(0, 0, 60, 10);
        const int h = TiComponent::DrawWidgetText(p, "one two three four five six", wrapped, clBtnFace, true,
                                                  itfCalcRect | itfWordBreak);
        QCOMPARE(wrapped.width(), 60);
        QVERIFY(h >= 2 * fm.height());
        QCOMPARE(wrapped.height(), h);

        auto colours = [&](bool enabled, TColor back) {
            img.fill(Qt::white);
            p.setPen(Qt::red);
            QRect box(0, 0, 200, 60);
            TiComponent::DrawWidgetText(p, "MMMM", box, back, enabled, itfLeft | itfTop | itfSingleLine);
            QSet<QRgb> seen;
            for (int y = 0; y < 60; ++y)
                for (int x = 0; x < 200; ++x)
                    seen.insert(img.pixel(x, y) & 0xFFFFFF);
            return seen;
        };
        const QRgb light = ColorToQColor(ColorLighten(clBtnFace, 64)).rgb() & 0xFFFFFF;
        const QRgb dark = ColorToQColor(ColorDarken(clBtnFace, 32)).rgb() & 0xFFFFFF;
        const QSet<QRgb> enabled = colours(true, clBtnFace);
        QVERIFY(enabled.contains(0xFF0000) && !enabled.contains(dark));
        const QSet<QRgb> embossed = colours(false, clBtnFace);
        QVERIFY(embossed.contains(light) && embossed.contains(dark) && !embossed.contains(0xFF0000));
        QVERIFY(colours(false, clBlack).contains(0xFF0000));
        QCOMPARE(p.pen().color(), QColor(Qt::red)); // the font colour is restored

        // End ellipsis keeps the text inside the rectangle.
        img.fill(Qt::white);
        QRect narrow(0, 0, 30, 20);
        TiComponent::DrawWidgetText(p, "a very long caption", narrow, clBtnFace, true,
                                    itfSingleLine | itfEndEllipsis | itfNoClip);
        for (int y = 0; y < 20; ++y)
            for (int x = 31; x < 200; ++x)
                QCOMPARE(img.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu);
    }

    // Each border style, enabled and disabled. The sheet goes to the docs when Z7_GALLERY_PNG names a file.
    void gallery() {
        const TiBevelStyle styles[] = {ibsNone, ibsRaised, ibsLowered};
        QImage sheet(3 * 100 + 10, 2 * 160 + 30, QImage::Format_RGB32);
        sheet.fill(ColorToQColor(clBtnFace));
        QPainter p(&sheet);
        QFont captions = p.font();
        captions.setPixelSize(10);
        QList<QImage> faces;
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 3; ++col) {
                GallerySample w;
                w.SetBorderStyle(styles[col]);
                w.setEnabled(row == 0);
                const QImage face = w.RenderToImage();
                faces << face;
                p.drawImage(10 + col * 100, 25 + row * 160, face);
            }
        p.setFont(captions);
        p.setPen(Qt::black);
        const char* names[] = {"ibsNone", "ibsRaised", "ibsLowered"};
        for (int col = 0; col < 3; ++col)
            p.drawText(QRect(10 + col * 100, 5, 90, 16), Qt::AlignCenter, names[col]);
        p.end();
        if (const QString out = qEnvironmentVariable("Z7_GALLERY_PNG"); !out.isEmpty())
            QVERIFY(sheet.save(out));

        QCOMPARE(QColor(faces[0].pixel(0, 0)), ColorToQColor(clBtnFace));
        QCOMPARE(QColor(faces[1].pixel(0, 0)), ColorToQColor(cl3DLight));
        QCOMPARE(QColor(faces[2].pixel(0, 0)), ColorToQColor(clBtnShadow));
        QCOMPARE(QColor(faces[2].pixel(89, 149)), ColorToQColor(clBtnHighlight));
        // Disabled: the bar greys, the caption and labels are embossed.
        QCOMPARE(QColor(faces[0].pixel(20, 120)), ColorToQColor(clBlue));
        QCOMPARE(QColor(faces[3].pixel(20, 120)), ColorToQColor(clBtnShadow));
        const QRgb light = ColorToQColor(ColorLighten(clBtnFace, 64)).rgb();
        auto has = [](const QImage& img, QRgb c) {
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    if (img.pixel(x, y) == c)
                        return true;
            return false;
        };
        QVERIFY(!has(faces[0], light));
        QVERIFY(has(faces[3], light));
    }

    void pictureAndTransparentBackgrounds() {
        TestWidget w; // 40 x 30
        QImage picture(2, 2, QImage::Format_RGB32);
        picture.setPixel(0, 0, qRgb(255, 0, 0));
        picture.setPixel(1, 0, qRgb(0, 255, 0));
        picture.setPixel(0, 1, qRgb(0, 0, 255));
        picture.setPixel(1, 1, qRgb(255, 255, 0));
        w.SetBorderStyle(ibsRaised);
        w.SetBackGroundPicture(picture);
        QImage img = w.RenderToImage();
        QCOMPARE(img.pixel(1, 1), qRgb(255, 0, 0)); // stretched over the whole widget, no border
        QCOMPARE(img.pixel(38, 1), qRgb(0, 255, 0));
        QCOMPARE(img.pixel(38, 28), qRgb(255, 255, 0));

        // Transparent: what lies behind the widget on screen, the parent's face and the siblings below.
        auto filled = [](QWidget* parent, QColor colour) {
            auto* w = new QWidget(parent);
            QPalette pal = w->palette();
            pal.setColor(QPalette::Window, colour);
            w->setPalette(pal);
            w->setAutoFillBackground(true);
            return w;
        };
        QWidget parent;
        parent.resize(100, 100);
        QPalette pal = parent.palette();
        pal.setColor(QPalette::Window, QColor(0, 128, 0));
        parent.setPalette(pal);
        parent.setAutoFillBackground(true);
        filled(&parent, QColor(0, 0, 200))->setGeometry(0, 0, 25, 25); // below: created first
        auto* t = new TestWidget(&parent);
        t->move(10, 10);
        t->SetTransparent(true);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        img = t->RenderToImage();
        QCOMPARE(img.pixel(1, 1), qRgb(0, 0, 200));
        QCOMPARE(img.pixel(14, 14), qRgb(0, 0, 200)); // the sibling's last pixel, (24, 24)
        QCOMPARE(img.pixel(15, 15), qRgb(0, 128, 0));
        QCOMPARE(img.pixel(38, 28), qRgb(0, 128, 0));
        QCOMPARE(img.pixel(20, 15), qRgb(255, 0, 0)); // the widget's own face on top

        // A widget above covering a corner: the background colour, until the copy can be taken.
        auto* cover = new TestWidget(&parent);
        cover->setGeometry(40, 30, 20, 20);
        cover->show();
        t->BackGroundRefresh();
        QCOMPARE(QColor(t->RenderToImage().pixel(1, 1)), ColorToQColor(clBtnFace));
        cover->hide();
        QCOMPARE(t->RenderToImage().pixel(1, 1), qRgb(0, 0, 200));

        t->SetTransparent(false);
        QCOMPARE(QColor(t->RenderToImage().pixel(1, 1)), ColorToQColor(clBtnFace));
    }

    void equalValueRequestsNoRepaint_data() {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("BackGroundColor") << "BackGroundColor" << QVariant(uint(clRed));
        QTest::newRow("BorderStyle") << "BorderStyle" << QVariant(int(ibsRaised));
        QTest::newRow("OffsetX") << "OffsetX" << QVariant(3);
        QTest::newRow("ShowDisabledState") << "ShowDisabledState" << QVariant(true);
        QTest::newRow("CachedDrawing") << "CachedDrawing" << QVariant(false);
        QTest::newRow("Caption") << "Caption" << QVariant(QStringLiteral("RUN"));
        QTest::newRow("ErrorText") << "ErrorText" << QVariant(QStringLiteral("E"));
    }
    void equalValueRequestsNoRepaint() {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        TestWidget w;
        const int before = w.RepaintRequestCount();
        QVERIFY(w.setProperty(property.toLatin1(), value));
        QCOMPARE(w.RepaintRequestCount(), before + 1);
        QVERIFY(w.setProperty(property.toLatin1(), value));
        QCOMPARE(w.RepaintRequestCount(), before + 1);
    }

    void backGroundChangeRebuildsOnlyTheStaticLayers() {
        TestWidget w;
        w.RenderToImage();
        QCOMPARE(w.staticDraws, 1);
        w.InvalidateChange();
        w.dynamicColor = clBlue;
        const QImage img = w.RenderToImage();
        QCOMPARE(w.staticDraws, 1);
        QCOMPARE(img.pixel(20, 15) & 0xFFFFFF, 0x0000FFu);
        w.SetBackGroundColor(clWhite);
        QCOMPARE(w.RenderToImage().pixel(1, 1) & 0xFFFFFF, 0xFFFFFFu);
        QCOMPARE(w.staticDraws, 2);
        w.SetCachedDrawing(false);
        w.RenderToImage();
        w.RenderToImage();
        QCOMPARE(w.staticDraws, 4);
    }

    void updateLockDefersRepaints() {
        TestWidget w;
        const int before = w.RepaintRequestCount();
        w.BeginUpdate();
        w.SetCaption("a");
        w.SetBackGroundColor(clRed);
        QCOMPARE(w.RepaintRequestCount(), before);
        QVERIFY(w.RepaintPending());
        w.EndUpdate();
        QCOMPARE(w.RepaintRequestCount(), before + 1);
        QVERIFY(!w.RepaintPending());
    }

    void clickRule_data() {
        QTest::addColumn<QList<QPoint>>("moves");
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<int>("clicks");
        QTest::newRow("release inside") << QList<QPoint>{} << QPoint(5, 5) << 1;
        QTest::newRow("drag out, release out") << QList<QPoint>{{50, 5}, {100, 80}} << QPoint(100, 80) << 0;
        QList<QPoint> longDrag;
        for (int i = 0; i < 200; ++i)
            longDrag << QPoint(-300 + 3 * i, 400 - 2 * i);
        longDrag << QPoint(20, 20);
        QTest::newRow("long drag back inside") << longDrag << QPoint(20, 20) << 1;
        QTest::newRow("release on the right edge") << QList<QPoint>{} << QPoint(40, 5) << 0;
    }
    void clickRule() {
        QFETCH(QList<QPoint>, moves);
        QFETCH(QPoint, release);
        QFETCH(int, clicks);
        TestWidget w;
        QStringList order;
        connect(&w, &TiComponent::OnClick, [&] { order << "OnClick"; });
        connect(&w, &TiComponent::OnMouseUp, [&] { order << "OnMouseUp"; });
        send(&w, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        for (QPoint p : moves)
            send(&w, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
        w.log.clear();
        send(&w, QEvent::MouseButtonRelease, release, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(order.count("OnClick"), clicks);
        // The click comes before the widget's own release logic.
        QCOMPARE(w.log.size(), 1);
        QVERIFY(w.log[0].startsWith("up 0"));
        QCOMPARE(order.last(), QStringLiteral("OnMouseUp"));
    }

    void rightButtonDoesNotClick() {
        TestWidget w;
        QSignalSpy clicks(&w, &TiComponent::OnClick);
        send(&w, QEvent::MouseButtonPress, {5, 5}, Qt::RightButton, Qt::RightButton);
        send(&w, QEvent::MouseButtonRelease, {5, 5}, Qt::RightButton, Qt::NoButton);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(w.log, (QStringList{"down 1 5 5 ", "up 1 5 5"}));
    }

    void doubleClickGivesOneClickAndOneDblClick() {
        TestWidget w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy clicks(&w, &TiComponent::OnClick);
        QSignalSpy dbl(&w, &TiComponent::OnDblClick);
        // Through the window, as the platform delivers it (the second press becomes a double click).
        QWindow* win = w.windowHandle();
        QTest::mouseDClick(win, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(dbl.count(), 1);
        QCOMPARE(w.log.count("dblclick"), 1);
        QCOMPARE(w.log.filter(QRegularExpression("^down")).size(), 2);
        QVERIFY(w.log.contains("down 0 5 5 double"));
    }

    void throwingHandlersAreDiscarded() {
        TestWidget w;
        int clicks = 0;
        connect(&w, &TiComponent::OnClick, [&] {
            ++clicks;
            throw std::runtime_error("handler failed");
        });
        connect(&w, &TiComponent::OnKeyDown, [](int&, TShiftState) { throw EiError("key handler failed"); });
        w.throwInMouseDown = true;
        for (int i = 0; i < 2; ++i) {
            send(&w, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
            send(&w, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
        }
        QTest::keyClick(&w, Qt::Key_A);
        QCOMPARE(clicks, 2);
        // The widget's release ran although the click handler failed; the key still reached the widget.
        QCOMPARE(w.log.filter(QRegularExpression("^up")).size(), 2);
        QVERIFY(w.log.contains(QStringLiteral("keydown %1").arg(int(Qt::Key_A))));
    }

    void userInputFlagOnlyDuringHooks() {
        TestWidget w;
        send(&w, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(w.log, QStringList{"down 0 5 5 "});
        QVERIFY(!w.UserInput());
    }

    void keyOrder_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<QStringList>("order");
        const QString right = QString::number(Qt::Key_Right), down = QString::number(Qt::Key_Down);
        const QString x = QString::number(Qt::Key_X);
        // The widget claims Left and Right; its claimed arrow's release is swallowed before OnKeyUp.
        QTest::newRow("claimed arrow")
            << int(Qt::Key_Right) << false
            << QStringList{"keydown " + right, "OnKeyDown " + right, "keyup " + right};
        // An arrow it does not claim moves the focus on (which ends any press), then reaches the
        // widget once, without the handler.
        QTest::newRow("arrow that moves the focus")
            << int(Qt::Key_Down) << false
            << QStringList{"up 0 0 0", "keydown " + down, "keyup " + down, "OnKeyUp " + down};
        QTest::newRow("shifted letter")
            << int(Qt::Key_X) << true
            << QStringList{"keydown " + x + " shift", "OnKeyDown " + x + " shift", "char x",
                           "keyup " + x + " shift", "OnKeyUp " + x + " shift"};
    }
    // Each key reaches the widget's hook once, before the application's handler, with the real shift.
    void keyOrder() {
        QFETCH(int, key);
        QFETCH(bool, shift);
        QFETCH(QStringList, order);
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* a = new TestWidget;
        auto* b = new TestWidget;
        a->SetTabStop(true);
        b->SetTabStop(true);
        layout->addWidget(a);
        layout->addWidget(b);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        a->setFocus();
        QTRY_VERIFY(a->HasFocus());
        auto handler = [a](const char* name) {
            return [a, name](int& k, TShiftState s) {
                a->log << QStringLiteral("%1 %2%3").arg(name).arg(k).arg(s.testFlag(ssShift) ? " shift" : "");
            };
        };
        connect(a, &TiComponent::OnKeyDown, a, handler("OnKeyDown"));
        connect(a, &TiComponent::OnKeyUp, a, handler("OnKeyUp"));
        QTest::keyClick(a, Qt::Key(key), shift ? Qt::ShiftModifier : Qt::NoModifier);
        // The Shift key's own press and release are keys too; the order of interest is the letter's.
        const QStringList log =
            a->log.filter(QRegularExpression(QStringLiteral("^(?!.*%1)").arg(Qt::Key_Shift)));
        QCOMPARE(log, order);
        QCOMPARE(b->HasFocus(), key == Qt::Key_Down);
    }

    void focusLossEndsThePress() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* a = new TestWidget;
        auto* b = new TestWidget;
        a->SetTabStop(true);
        b->SetTabStop(true);
        layout->addWidget(a);
        layout->addWidget(b);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        a->setFocus();
        QTRY_VERIFY(a->HasFocus());
        send(a, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        a->log.clear();
        b->setFocus();
        QTRY_VERIFY(!a->HasFocus());
        QCOMPARE(a->log, QStringList{"up 0 0 0"});
        QVERIFY(b->HasFocus());

        // Tab moves the focus without reaching the widget's key hook.
        b->log.clear();
        QTest::keyClick(b, Qt::Key_Tab);
        QTRY_VERIFY(a->HasFocus());
        QVERIFY(b->log.filter("keydown").isEmpty());
    }

    // TabOrder is the place among the parent's Tab stops, and the Tab key follows it.
    void tabOrderMovesTheFocusChain() {
        QWidget window;
        auto* panel = new QWidget(&window);
        panel->setGeometry(0, 0, 200, 40);
        QList<TiSwitchLed*> w; // switches: Tab stops that publish TabOrder
        for (int i = 0; i < 3; ++i) {
            w << new TiSwitchLed(panel);
            w[i]->move(45 * i, 5);
        }
        new TestWidget(panel); // no Tab stop: not counted
        auto* other = new TiSwitchLed(&window);
        other->move(0, 50);
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto orders = [&w] { return QList<int>{w[0]->TabOrder(), w[1]->TabOrder(), w[2]->TabOrder()}; };
        // Where the focus goes from `from` with the Tab key, and on from there.
        auto tabs = [](QWidget* from, int n) {
            from->setFocus();
            QList<QWidget*> seen;
            for (int i = 0; i < n; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                seen << QApplication::focusWidget();
            }
            return seen;
        };
        QCOMPARE(orders(), (QList<int>{0, 1, 2}));
        QCOMPARE(other->TabOrder(), 0); // counted among its own parent's children only

        w[2]->SetTabOrder(0);
        QCOMPARE(orders(), (QList<int>{1, 2, 0}));
        QCOMPARE(tabs(w[2], 3), (QList<QWidget*>{w[0], w[1], other}));
        w[2]->SetTabOrder(99); // past the end: last
        QCOMPARE(orders(), (QList<int>{0, 1, 2}));
        w[0]->SetTabOrder(-1); // no place: stays
        QCOMPARE(orders(), (QList<int>{0, 1, 2}));

        // Read with the layout: applied once it is read.
        w[1]->LoadProperties({"Tag = 3", "TabOrder = 0"});
        QCOMPARE(orders(), (QList<int>{1, 0, 2}));
        QCOMPARE(tabs(w[1], 3), (QList<QWidget*>{w[0], w[2], other}));
    }

    void failingPaintShowsItsMessage() {
        TestWidget w;
        w.resize(200, 60);
        w.throwInPaint = true;
        const QImage img = w.RenderToImage();
        const int white = countOf(img, 0xFFFFFF);
        const int black = countOf(img, 0x000000);
        QVERIFY(white > 10);
        QCOMPARE(white + black, img.width() * img.height());
        QCOMPARE(img.pixel(199, 59) & 0xFFFFFF, 0u);
        // The next good paint shows the face again.
        w.throwInPaint = false;
        QCOMPARE(w.RenderToImage().pixel(100, 30) & 0xFFFFFF, 0xFF0000u);
    }

    void autoFrameRateCapsRepaints() {
        // Twenty changes must fall within one frame (1/60 s); on a stalled machine try again.
        for (int attempt = 0; attempt < 5; ++attempt) {
            TestWidget w;
            w.SetAutoFrameRate(true);
            QCOMPARE(w.UpdateFrameRate(), 60);
            QTest::qWait(30); // past the first frame interval since construction
            const int before = w.RepaintRequestCount();
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < 20; ++i)
                w.SetCaption(QString::number(i));
            if (t.elapsed() >= 10)
                continue;
            QCOMPARE(w.RepaintRequestCount(), before + 1);
            QVERIFY(w.RepaintPending());
            // The flush timer brings the deferred repaint, and only that one.
            QTRY_COMPARE_WITH_TIMEOUT(w.RepaintRequestCount(), before + 2, 3 * TiUpdateObject::IntervalMs);
            QVERIFY(!w.RepaintPending());
            QTest::qWait(TiUpdateObject::IntervalMs + 100);
            QCOMPARE(w.RepaintRequestCount(), before + 2);
            // Turning the limit off lets every change through again.
            w.SetAutoFrameRate(false);
            w.SetCaption("x");
            w.SetCaption("y");
            QCOMPARE(w.RepaintRequestCount(), before + 4);
            return;
        }
        QFAIL("twenty changes never fitted in 10 ms");
    }

    void propertyFileRoundTrip() {
        QTemporaryDir dir;
        const QString file = dir.filePath("scale.txt");
        TestScale a;
        a.SetName(QStringLiteral("iScale1"));
        a.SetBackGroundColor(clWhite);
        a.SetPositionMax(400);
        a.SetPosition(123.5);
        a.SetTickMajorCount(9);
        a.SetTickMinorAlignment(itmnaOutside);
        a.TickLabelFont()->SetName(QStringLiteral("宋体"));
        a.TickLabelFont()->SetStyle(fsBold | fsItalic);
        a.SetShowTicksAxis(false);
        a.SetShowHint(true);
        a.SavePropertiesToFile(file);

        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(), QStringLiteral("File Type = TestScale"));
        QVERIFY(lines.contains("TickLabelFont.Name = '宋体'"));
        QVERIFY(lines.contains("TickMinorAlignment = itmnaOutside"));
        QVERIFY(lines.contains("PositionMax = 400.0"));
        QCOMPARE(lines.last(), QStringLiteral("PositionMax_2 = 400.0"));
        for (const char* leftOut :
             {"Name", "Left", "Top", "Width", "Height", "Visible", "Enabled", "ShowHint", "Hint", "Tag"})
            QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^%1 = ").arg(leftOut))).isEmpty(),
                     leftOut);
        QVERIFY(lines.contains("ShowTicksAxis = False")); // published by this class only
        QVERIFY(lines.filter(QRegularExpression("^BorderStyle")).isEmpty());

        TestScale b;
        b.LoadPropertiesFromFile(file);
        QCOMPARE(b.SaveProperties(), a.SaveProperties());
        QCOMPARE(b.Position(), 123.5);
        QCOMPARE(b.TickLabelFont()->Style(), fsBold | fsItalic);
        QVERIFY(!b.IsLoading());

        a.SetOptionSaveAllProperties(true);
        const QStringList all = a.SaveProperties();
        QVERIFY(all.contains("ShowHint = True"));
        QVERIFY(all.contains(QStringLiteral("Left = %1").arg(a.Left())));
        QVERIFY(all.filter(QRegularExpression("^Name = ")).isEmpty());
    }

    // Bounds from a property file stay within what a widget can have, so no edge overflows.
    void extremeBoundsAreClamped() {
        TestWidget w;
        w.SetLeft(std::numeric_limits<int>::max());
        w.SetTop(std::numeric_limits<int>::min());
        w.SetWidth(std::numeric_limits<int>::max());
        w.SetHeight(-5);
        QCOMPARE(w.geometry(), QRect(QWIDGETSIZE_MAX, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX, 0));
        w.SetBounds(10, 20, 30, 40);
        QCOMPARE(w.geometry(), QRect(10, 20, 30, 40));
    }

    void propertyFileErrors() {
        QTemporaryDir dir;
        TestScale w;
        auto message = [](auto&& f) -> QString {
            try {
                f();
            } catch (const EiError& e) {
                return QString::fromUtf8(e.what());
            }
            return {};
        };
        QVERIFY(message([&] {
                    w.LoadPropertiesFromFile(dir.filePath("missing.txt"));
                }).startsWith("Error Loading Properties - "));
        QVERIFY(message([&] {
                    w.SavePropertiesToFile(dir.filePath("no/such/dir/x.txt"));
                }).startsWith("Error Saving Properties - "));

        // A bad line changes nothing, not even the lines before it.
        const QString bad = dir.filePath("bad.txt");
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        f.write("File Type = TestScale\nTickMajorCount = 8\nPositionMax = lots\n");
        f.close();
        QVERIFY(message([&] { w.LoadPropertiesFromFile(bad); }).startsWith("Error Loading Properties - "));
        QCOMPARE(w.TickMajorCount(), 5);
        QCOMPARE(w.PositionMax(), 100.0);
        QVERIFY(!w.IsLoading());
        QVERIFY(!w.UpdateLocked());

        // A file of another class is refused.
        const QString other = dir.filePath("other.txt");
        TestWidget tw;
        tw.SavePropertiesToFile(other);
        QVERIFY(message([&] { w.LoadPropertiesFromFile(other); }).startsWith("Error Loading Properties - "));
    }

    void unpublishedOrMalformedNamesAreRefused_data() {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("line");
        const QString nul(QChar(0));
        QTest::newRow("BorderStyle on the knob") << "knob"
                                                 << "BorderStyle = ibsRaised";
        QTest::newRow("BorderStyle on the switch") << "switch"
                                                   << "BorderStyle = ibsRaised";
        QTest::newRow("Transparent where not published") << "scale"
                                                         << "Transparent = True";
        QTest::newRow("name with a NUL byte") << "scale"
                                              << "ShowTicksAxis" + nul + "x = False";
        QTest::newRow("nested name with a NUL byte") << "scale"
                                                     << "TickLabelFont.Size" + nul + "x = 12";
        QTest::newRow("nested object's own name") << "scale"
                                                  << "TickLabelFont.objectName = 'x'";
        QTest::newRow("name beyond Latin-1") << "scale" << QStringLiteral("ShowTicksAxi\u015b = False");
        QTest::newRow("enumeration value with a NUL byte") << "scale"
                                                           << "TickMinorAlignment = itmnaOutside" + nul + "x";
    }
    // A line that does not name a property the class publishes is refused, and the file changes nothing.
    void unpublishedOrMalformedNamesAreRefused() {
        QFETCH(QString, widget);
        QFETCH(QString, line);
        std::unique_ptr<TiComponent> w;
        if (widget == "knob")
            w = std::make_unique<TiKnob>();
        else if (widget == "switch")
            w = std::make_unique<TiSwitchLed>();
        else
            w = std::make_unique<TestScale>();
        const QStringList before = w->SaveProperties();
        QVERIFY_THROWS_EXCEPTION(EiError, w->LoadProperties({"Tag = 17", line}));
        QCOMPARE(w->SaveProperties(), before);
        QCOMPARE(w->Tag(), 0);
        QCOMPARE(w->BorderStyle(), ibsNone);
    }

    void extraValuesBypassSetters() {
        TestPosition w;
        w.SetPosition(50);
        QSignalSpy changes(&w, &TiPositionComponent::OnPositionChange);
        const int before = w.RepaintRequestCount();
        w.LoadProperties({"PositionMax_2 = 20.0"});
        QCOMPARE(w.PositionMax(), 20.0);
        QCOMPARE(w.Position(), 50.0); // no clamp
        QCOMPARE(changes.count(), 0);
        QCOMPARE(w.RepaintRequestCount(), before);

        // Extra values come last whatever their place: they override what the setters made.
        TestPosition v;
        v.LoadProperties({"PositionMax_2 = 5.0", "PositionMax = 300.0", "Position = 250.0"});
        QCOMPARE(v.PositionMax(), 5.0);
        QCOMPARE(v.Position(), 250.0);
    }

    void zeroFloatsAreWrittenOnlyAsExtraValues() {
        TestProgress w;
        const QStringList lines = w.SaveProperties();
        QVERIFY(lines.filter(QRegularExpression("^SectionEnd3 = ")).isEmpty());
        QVERIFY(lines.contains("SectionEnd1 = 50.0"));
        const int at = lines.indexOf("PositionMax_2 = 100.0");
        QVERIFY(at >= 0);
        QCOMPARE(lines.mid(at),
                 (QStringList{"PositionMax_2 = 100.0", "SectionEnd1_2 = 50.0", "SectionEnd2_2 = 75.0",
                              "SectionEnd3_2 = 0.0", "SectionEnd4_2 = 0.0"}));
    }

    void loadingStoresWithoutEvents() {
        TestPosition w;
        QSignalSpy changes(&w, &TiPositionComponent::OnPositionChange);
        w.BeginLoading();
        QVERIFY(w.IsLoading());
        w.SetPosition(500);
        w.SetPositionMax(50);
        w.EndLoading();
        QCOMPARE(w.Position(), 500.0); // stays as read until the next change
        QCOMPARE(changes.count(), 0);
        w.SetPosition(10);
        QCOMPARE(changes.count(), 1);
    }
};

QTEST_MAIN(TstFrame)
#include "tst_frame.moc"
