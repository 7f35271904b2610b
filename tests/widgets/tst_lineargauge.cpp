#include "iLedBar.h"
#include "iLinearGauge.h"
#include "iThermometer.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

TColor Pixel(const QImage& img, int x, int y) {
    return QColorToColor(QColor(img.pixel(x, y)));
}

void Send(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton b, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), b, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void Click(QWidget* w, QPoint p) {
    Send(w, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    Send(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

// The main window's gauge: 60 x 96, scale on the right, full scale 380, one blue arrow.
std::unique_ptr<TiLinearGauge> PanelGauge() {
    auto g = std::make_unique<TiLinearGauge>();
    g->resize(60, 96);
    g->SetPositionMax(380);
    g->SetPointerColor(clBlue);
    return g;
}

constexpr TColor kDarkBlue = RGBValue(0, 0, 127);

} // namespace

class TestLinearGauge : public QObject {
    Q_OBJECT

private slots:
    void panelBandAndArrow_data();
    void panelBandAndArrow();
    void positionEvents();
    void rangeMovesPointers();
    void emptyRangeCentresPointers();
    void sections_data();
    void sections();
    void sectionCountClamped();
    void pointerStyles_data();
    void pointerStyles();
    void sideCodes_data();
    void sideCodes();
    void minMaxPointers();
    void managerHooks();
    void streamedPointers();
    void bandMovesWithThePointers_data();
    void bandMovesWithThePointers();
    void keys();
    void mouseDragAndClick();
    void allowFocus_data();
    void allowFocus();
    void gallery();
};

void TestLinearGauge::panelBandAndArrow_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("row");
    // 85 - v / 380 * 75, rounded with halves to even.
    QTest::newRow("0") << 0.0 << 85;
    QTest::newRow("95") << 95.0 << 66;   // 18.75
    QTest::newRow("190") << 190.0 << 47; // 37.5 -> 38
    QTest::newRow("230") << 230.0 << 40; // 45.39
    QTest::newRow("380") << 380.0 << 10;
}

void TestLinearGauge::panelBandAndArrow() {
    QFETCH(double, value);
    QFETCH(int, row);
    auto g = PanelGauge();
    QCOMPARE(g->BandRect(), QRect(QPoint(0, 10), QPoint(20, 85)));
    QCOMPARE(g->SideCode(), 2);
    QCOMPARE(g->ValueToPixel(value), row);

    g->SetPosition(value);
    const QImage img = g->RenderToImage();
    // The arrow, every pixel and alike above and below: body from x 0 to 10 over q +- 5, its point
    // reaching x 20 at q, two columns shorter on each row away from q.
    for (int d = -6; d <= 6; ++d) {
        const int y = row + d;
        if (y < 0 || y >= img.height())
            continue;
        for (int x = 0; x <= 22; ++x) {
            const bool inside = std::abs(d) <= 5 && x <= 20 - 2 * std::abs(d);
            QVERIFY2((Pixel(img, x, y) == clBlue) == inside,
                     qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
        }
    }
}

void TestLinearGauge::positionEvents() {
    auto g = PanelGauge();
    QSignalSpy change(g.get(), &TiPositionComponent::OnPositionChange);
    QSignalSpy pointer(g.get(), &TiLinearGauge::OnPointerPositionChanged);
    QSignalSpy overMax(g.get(), &TiPositionComponent::OnPositionOverMax);

    // One change, one notification.
    g->SetPosition(120);
    QCOMPARE(change.count(), 1);
    QCOMPARE(pointer.count(), 1);
    QCOMPARE(pointer.at(0).at(0).toInt(), 0);
    QCOMPARE(overMax.count(), 1);
    QCOMPARE(g->CurrentMax(), 120.0);

    // Above the maximum is stored as the maximum; the same value again raises nothing.
    g->SetPosition(500);
    QCOMPARE(g->Position(), 380.0);
    QCOMPARE(g->Pointers().Item(0)->Position(), 380.0);
    QCOMPARE(change.count(), 2);
    g->SetPosition(380);
    QCOMPARE(change.count(), 2);
}

void TestLinearGauge::rangeMovesPointers() {
    auto g = PanelGauge();
    TiGaugePointer* second = g->Pointers().Add();
    g->SetPosition(300);
    second->SetPosition(100);
    QSignalSpy change(g.get(), &TiPositionComponent::OnPositionChange);

    g->SetPositionMax(200);
    QCOMPARE(g->Position(), 200.0);
    QCOMPARE(second->Position(), 100.0);
    QCOMPARE(change.count(), 1);

    // The pointer is drawn at the top of the new scale.
    const QImage img = g->RenderToImage();
    QCOMPARE(Pixel(img, 20, 10), clBlue);
    // 100 of 200 is the middle: 85 - 37.5 -> 47.
    QCOMPARE(Pixel(img, 20, 47), clBlue);

    // The panel sets a full scale of 0 before any reply: every pointer goes to 0.
    g->SetPositionMax(0);
    QCOMPARE(g->Position(), 0.0);
    QCOMPARE(second->Position(), 0.0);
}

void TestLinearGauge::emptyRangeCentresPointers() {
    auto g = PanelGauge();
    TiGaugePointer* second = g->Pointers().Add();
    second->SetStyle(TiLinearGauge::ilgpsTriangle);
    g->SetPosition(100);
    g->SetPositionMax(0);
    QCOMPARE(g->ValueToPixel(0), 47); // (85 + 10) div 2
    QCOMPARE(g->ValueToPixel(1000), 47);
    const QImage img = g->RenderToImage();
    QCOMPARE(Pixel(img, 20, 47), clBlue); // the arrow's point
    QCOMPARE(Pixel(img, 20, 30), ColorToRGB(clBtnFace));
    QVERIFY(second->Region().contains(QPoint(3, 47)));
}

void TestLinearGauge::sections_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("end1");
    QTest::addColumn<double>("end2");
    QTest::addColumn<TColor>("low");  // row 80 (value about 25)
    QTest::addColumn<TColor>("mid");  // row 60 (about 127)
    QTest::addColumn<TColor>("high"); // row 20 (about 330)
    const TColor face = ColorToRGB(clBtnFace);
    // Pixel of 50 is 75, of 75 is 70, of 100 is 65, of 200 is 46.
    QTest::newRow("none") << 0 << 50.0 << 75.0 << face << face << face;
    QTest::newRow("two: green to 50, yellow to the end")
        << 2 << 50.0 << 75.0 << clGreen << clYellow << clYellow;
    QTest::newRow("three") << 3 << 50.0 << 75.0 << clGreen << clRed << clRed;
    QTest::newRow("end below the previous runs to the maximum")
        << 3 << 200.0 << 100.0 << clGreen << clGreen << clYellow;
}

void TestLinearGauge::sections() {
    QFETCH(int, count);
    QFETCH(double, end1);
    QFETCH(double, end2);
    auto g = PanelGauge();
    g->SetPointerStyle(TiLinearGauge::ilgpsTriangle); // keep the pointer out of the way: at 0, x 0..10
    g->SetSectionCount(count);
    g->SetSectionEnd1(end1);
    g->SetSectionEnd2(end2);
    const QImage img = g->RenderToImage();
    QTEST(Pixel(img, 15, 80), "low");
    QTEST(Pixel(img, 15, 60), "mid");
    QTEST(Pixel(img, 15, 20), "high");
    if (count == 2) {
        QCOMPARE(Pixel(img, 15, 75), clGreen);
        QCOMPARE(Pixel(img, 15, 74), clYellow);
        QCOMPARE(Pixel(img, 15, 11), clYellow);
        QCOMPARE(Pixel(img, 15, 9), ColorToRGB(clBtnFace));
    }
}

void TestLinearGauge::sectionCountClamped() {
    TiLinearGauge g;
    g.SetSectionCount(9);
    QCOMPARE(g.SectionCount(), 5);
    g.SetSectionCount(-1);
    QCOMPARE(g.SectionCount(), 0);
}

void TestLinearGauge::pointerStyles_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("style3D");
    QTest::addColumn<QPoint>("on");
    QTest::addColumn<TColor>("onColor");
    QTest::addColumn<QPoint>("off"); // a pixel the shape must leave alone
    // Position 190: q = 47; the minimum at r = 85, the maximum at t = 10; band x 0..19.
    QTest::newRow("triangle") << 1 << false << QPoint(9, 47) << clBlue << QPoint(12, 47);
    QTest::newRow("triangle base") << 1 << false << QPoint(0, 42) << clBlue << QPoint(5, 41);
    QTest::newRow("arrow 3D top edge") << 0 << true << QPoint(3, 42) << clWhite << QPoint(3, 41);
    QTest::newRow("arrow 3D bottom edge") << 0 << true << QPoint(3, 52) << clBlack << QPoint(3, 53);
    QTest::newRow("T-line rail") << 2 << false << QPoint(1, 20) << clBlue << QPoint(2, 20);
    QTest::newRow("T-line stem") << 2 << false << QPoint(9, 48) << clBlue << QPoint(10, 47);
    QTest::newRow("colour bar") << 3 << false << QPoint(15, 60) << clBlue << QPoint(15, 40);
    QTest::newRow("colour bar top") << 3 << false << QPoint(15, 48) << clBlue << QPoint(15, 46);
    QTest::newRow("tube edge") << 4 << false << QPoint(0, 60) << kDarkBlue << QPoint(15, 40);
    QTest::newRow("sunken bar value") << 5 << false << QPoint(5, 60) << clBlue << QPoint(12, 60);
    QTest::newRow("sunken bar track") << 5 << false << QPoint(5, 30) << kDarkBlue << QPoint(12, 30);
    QTest::newRow("raised bar value") << 6 << false << QPoint(5, 84) << clBlue << QPoint(5, 86);
}

void TestLinearGauge::pointerStyles() {
    QFETCH(int, style);
    QFETCH(bool, style3D);
    QFETCH(QPoint, on);
    QFETCH(TColor, onColor);
    QFETCH(QPoint, off);
    auto g = PanelGauge();
    g->SetPointerStyle(TiLinearGauge::TiLinearGaugePointerStyle(style));
    g->Pointers().Item(0)->SetStyle3D(style3D);
    g->SetPosition(190);
    const QImage img = g->RenderToImage();
    QCOMPARE(Pixel(img, on.x(), on.y()), onColor);
    const TColor offColor = Pixel(img, off.x(), off.y());
    QVERIFY2(offColor != clBlue && offColor != onColor, qPrintable(QString::number(offColor, 16)));
    // The drawn shape (the T-line's stem) is what a press hits.
    QVERIFY(g->Pointers().Item(0)->Region().contains(QPoint(5, 47)));
    QVERIFY(!g->Pointers().Item(0)->Region().contains(QPoint(40, 47)));
}

void TestLinearGauge::sideCodes_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("code");
    QTest::addColumn<QRect>("band");
    QTest::addColumn<QPoint>("on");  // pointer colour at position 190
    QTest::addColumn<QPoint>("off"); // not
    // Vertical 60 x 96; horizontal turns it to 96 x 60 (value 190 then maps to x 48).
    QTest::newRow("vertical, scale left: arrow points left")
        << int(ioVertical) << int(iosTopLeft) << 0 << 0 << QRect(QPoint(39, 10), QPoint(59, 85))
        << QPoint(39, 47) << QPoint(38, 47);
    QTest::newRow("vertical, scale left: bar mirrored")
        << int(ioVertical) << int(iosTopLeft) << 5 << 0 << QRect(QPoint(39, 10), QPoint(59, 85))
        << QPoint(54, 60) << QPoint(47, 60);
    QTest::newRow("horizontal, scale below: arrow points down")
        << int(ioHorizontal) << int(iosBottomRight) << 0 << 3 << QRect(QPoint(10, 0), QPoint(85, 20))
        << QPoint(48, 20) << QPoint(48, 21);
    QTest::newRow("horizontal, scale above: arrow points up")
        << int(ioHorizontal) << int(iosTopLeft) << 0 << 1 << QRect(QPoint(10, 39), QPoint(85, 59))
        << QPoint(48, 39) << QPoint(48, 38);
    QTest::newRow("horizontal, scale below: bar mirrored")
        << int(ioHorizontal) << int(iosBottomRight) << 6 << 3 << QRect(QPoint(10, 0), QPoint(85, 20))
        << QPoint(20, 5) << QPoint(70, 5);
}

void TestLinearGauge::sideCodes() {
    QFETCH(int, orientation);
    QFETCH(int, side);
    QFETCH(int, style);
    QFETCH(QRect, band);
    QFETCH(QPoint, on);
    QFETCH(QPoint, off);
    auto g = PanelGauge();
    g->SetOrientation(TiOrientation(orientation));
    g->SetOrientationTickMarks(TiOrientationSide(side));
    g->SetPointerStyle(TiLinearGauge::TiLinearGaugePointerStyle(style));
    QCOMPARE(g->size(), orientation == ioVertical ? QSize(60, 96) : QSize(96, 60));
    QTEST(g->SideCode(), "code");
    QCOMPARE(g->BandRect(), band);
    // Drawing on the scale side turns the code round.
    g->Pointers().Item(0)->SetDrawScaleSide(true);
    const int inverse[4] = {2, 3, 0, 1};
    QCOMPARE(g->SideCode(g->Pointers().Item(0)), inverse[g->SideCode()]);
    g->Pointers().Item(0)->SetDrawScaleSide(false);

    g->SetPosition(190);
    const QImage img = g->RenderToImage();
    QCOMPARE(Pixel(img, on.x(), on.y()), clBlue);
    QVERIFY(Pixel(img, off.x(), off.y()) != clBlue);
}

void TestLinearGauge::minMaxPointers() {
    auto g = PanelGauge();
    g->SetShowMaxPointer(true);
    g->SetPosition(190);
    g->SetPosition(0);
    QCOMPARE(g->CurrentMax(), 190.0);
    const QImage img = g->RenderToImage();
    // A triangle 8 deep at CurrentMax, aqua, pointing into the band.
    QCOMPARE(Pixel(img, 7, 47), clAqua);
    QCOMPARE(Pixel(img, 1, 44), clAqua);
    QVERIFY(Pixel(img, 10, 47) != clAqua);
}

void TestLinearGauge::managerHooks() {
    QStringList log;
    auto hook = [&log](const char* name) {
        return [&log, name](TiGaugePointer*) { log << QString::fromLatin1(name); };
    };
    const TiGaugePointerManager::Hook none;
    struct Case {
        TiGaugePointerManager::Hook changed, inserted, removed;
        const char* message;
    };
    for (const Case& c : {Case{none, hook("i"), hook("r"), "OnChange event handler can not be null"},
                          Case{hook("c"), none, hook("r"), "OnInsert event handler can not be null"},
                          Case{hook("c"), hook("i"), none, "OnRemove event handler can not be null"}}) {
        try {
            TiGaugePointerManager m(none, c.changed, c.inserted, c.removed);
            QFAIL("a missing hook was accepted");
        } catch (const EiError& e) {
            QCOMPARE(QString::fromLatin1(e.what()), QString::fromLatin1(c.message));
        }
    }

    TiGaugePointerManager m(hook("p"), hook("c"), hook("i"), hook("r"));
    TiGaugePointer* a = m.Add();
    TiGaugePointer* b = new TiGaugePointer(&m);
    QCOMPARE(log, QStringList({"i", "c", "i", "c"}));
    QCOMPARE(m.Count(), 2);
    QCOMPARE(m.IndexOf(b), 1);
    log.clear();
    a->SetPosition(5);
    a->SetPosition(5);
    a->SetSize(12);
    QCOMPARE(log, QStringList({"c", "p", "c"}));
    log.clear();
    delete a;
    QCOMPARE(log, QStringList({"r", "c"}));
    QCOMPARE(m.Count(), 1);
    QCOMPARE(m.IndexOf(b), 0);
    QVERIFY_THROWS_EXCEPTION(EiError, m.Item(1));
}

void TestLinearGauge::streamedPointers() {
    TiLinearGauge g;
    g.LoadProperties({"Height = 96", "PositionMax = 380.0", "PointerColor = 16711680",
                      "Pointers = '<item Style = 0 end item Style = 1 end>'"});
    QCOMPARE(g.Pointers().Count(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(g.Pointers().Item(i)->Color(), clBlue);
        QCOMPARE(g.Pointers().Item(i)->Size(), 10);
        QCOMPARE(g.Pointers().Item(i)->Style(), i);
    }

    // Written back: only what differs from a new pointer, and Style always.
    g.Pointers().Item(1)->SetMargin(3);
    g.Pointers().Item(1)->SetUserCanMove(true);
    const QString text = g.Pointers().ToText();
    QCOMPARE(text, QStringLiteral("<item Style = 0 end item Margin = 3; Style = 1; UserCanMove = True end>"));
    QVERIFY(g.SaveProperties().contains("Pointers = '" + text + "'"));
    TiLinearGauge copy;
    copy.LoadProperties(g.SaveProperties());
    QCOMPARE(copy.Pointers().ToText(), text);

    // An empty list is not written at all.
    TiLinearGauge empty;
    empty.Pointers().Clear();
    QVERIFY(empty.SaveProperties().filter(QRegularExpression("^Pointers")).isEmpty());

    // A malformed collection changes nothing.
    const QString nul(QChar(0));
    for (const QString& bad :
         {QStringLiteral("<item Style = 0>"), QStringLiteral("<item Colour = 1 end>"),
          QStringLiteral("<item Size = big end>"), QStringLiteral("item end"),
          "<item Size" + nul + "x = 3 end>", QStringLiteral("<item objectName = 'p' end>")}) {
        QVERIFY_THROWS_EXCEPTION(EiError, copy.Pointers().FromText(bad));
        QCOMPARE(copy.Pointers().Count(), 2);
    }
}

void TestLinearGauge::bandMovesWithThePointers_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("margin of pointer 0") << "margin";
    QTest::newRow("pointer added with a margin") << "add";
    QTest::newRow("pointer with the largest margin removed") << "remove";
    QTest::newRow("pointers read from a layout") << "load";
}

// A change of the pointers that moves the band redraws the cached scale and sections with it: after one
// paint and the change, the gauge looks as one built with the change from the start.
void TestLinearGauge::bandMovesWithThePointers() {
    QFETCH(QString, change);
    auto build = [] {
        auto g = PanelGauge();
        g->SetSectionCount(2);
        g->SetPosition(120);
        return g;
    };
    auto apply = [&change](TiLinearGauge& g) {
        if (change == "margin") {
            g.Pointers().Item(0)->SetMargin(6);
        } else if (change == "add") {
            g.Pointers().Add()->SetMargin(6);
        } else if (change == "remove") {
            delete g.Pointers().Item(1);
        } else {
            g.LoadProperties({"Pointers = '<item Style = 0 end item Margin = 6; Style = 1 end>'"});
        }
    };
    auto changed = build();
    if (change == "remove")
        changed->Pointers().Add()->SetMargin(6);
    const QRect before = changed->BandRect();
    changed->RenderToImage();
    apply(*changed);
    QVERIFY(changed->BandRect() != before);

    auto fresh = build();
    if (change == "remove")
        fresh->Pointers().Add()->SetMargin(6);
    apply(*fresh);
    QCOMPARE(changed->RenderToImage(), fresh->RenderToImage());
}

void TestLinearGauge::keys() {
    auto g = PanelGauge();
    g->SetPosition(100);
    // No pointer selected: keys do nothing.
    QTest::keyClick(g.get(), Qt::Key_Up);
    QCOMPARE(g->Position(), 100.0);

    g->RenderToImage();
    Click(g.get(), {5, g->ValueToPixel(100)});
    QVERIFY(g->Pointers().Item(0)->Selected());
    QSignalSpy user(g.get(), &TiPositionComponent::OnPositionChangeUser);
    struct Step {
        Qt::Key key;
        double position;
    };
    for (const Step& s : {Step{Qt::Key_Up, 100.1}, Step{Qt::Key_Down, 100.0}, Step{Qt::Key_Right, 100.1},
                          Step{Qt::Key_Left, 100.0}, Step{Qt::Key_PageUp, 101}, Step{Qt::Key_PageDown, 100},
                          Step{Qt::Key_End, 380}, Step{Qt::Key_Home, 0}}) {
        QTest::keyClick(g.get(), s.key);
        QVERIFY2(qAbs(g->Position() - s.position) < 1e-9, qPrintable(QString::number(g->Position())));
    }
    QCOMPARE(user.count(), 8);
}

void TestLinearGauge::mouseDragAndClick() {
    auto g = PanelGauge();
    g->SetPosition(190);
    g->RenderToImage();
    QSignalSpy clicks(g.get(), &TiLinearGauge::OnClickPointer);

    // A click on the arrow reports it; it cannot be dragged unless UserCanMove.
    Click(g.get(), {5, 47});
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), 0);
    Send(g.get(), QEvent::MouseButtonPress, {5, 47}, Qt::LeftButton, Qt::LeftButton);
    Send(g.get(), QEvent::MouseMove, {5, 32}, Qt::NoButton, Qt::LeftButton);
    Send(g.get(), QEvent::MouseButtonRelease, {5, 32}, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(g->Position(), 190.0);
    QCOMPARE(clicks.count(), 1); // released off the pointer

    // 15 pixels up is 15 / 75 of the range: 76.
    g->Pointers().Item(0)->SetUserCanMove(true);
    QSignalSpy user(g.get(), &TiPositionComponent::OnPositionChangeUser);
    Send(g.get(), QEvent::MouseButtonPress, {5, 47}, Qt::LeftButton, Qt::LeftButton);
    Send(g.get(), QEvent::MouseMove, {5, 32}, Qt::NoButton, Qt::LeftButton);
    QVERIFY(qAbs(g->Position() - 266) < 1e-9);
    QCOMPARE(user.count(), 1);
    Send(g.get(), QEvent::MouseButtonRelease, {5, 32}, Qt::LeftButton, Qt::NoButton);

    // Where two pointers overlap, the lower index wins.
    TiGaugePointer* second = g->Pointers().Add();
    second->SetPosition(g->Position());
    g->RenderToImage();
    clicks.clear();
    Click(g.get(), {5, g->ValueToPixel(g->Position())});
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), 0);
    QVERIFY(!second->Selected());
}

void TestLinearGauge::allowFocus_data() {
    QTest::addColumn<bool>("allowFocus");
    QTest::newRow("off") << false;
    QTest::newRow("on") << true;
}

void TestLinearGauge::allowFocus() {
    QFETCH(bool, allowFocus);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(&window);
    auto* g = new TiLinearGauge(&window);
    layout->addWidget(edit);
    layout->addWidget(g);
    g->setFixedSize(60, 96);
    g->SetPositionMax(380);
    g->SetAllowFocus(allowFocus);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());

    g->RenderToImage();
    const QPoint onPointer(5, g->ValueToPixel(0));
    QTest::mouseClick(g, Qt::LeftButton, {}, onPointer);
    QTest::mouseClick(g, Qt::LeftButton, {}, onPointer);
    QVERIFY(g->Pointers().Item(0)->Selected());
    QCOMPARE(g->hasFocus(), allowFocus);
    QCOMPARE(edit->hasFocus(), !allowFocus);
}

// The panel's LED bars, thermometer and gauge at their sizes with a few values. The image goes to the
// docs when Z7_GALLERY_PNG names a file.
void TestLinearGauge::gallery() {
    QImage sheet(560, 200, QImage::Format_RGB32);
    sheet.fill(ColorToQColor(clBtnFace));
    QPainter p(&sheet);
    QFont captions = p.font();
    captions.setPixelSize(10);
    p.setFont(captions);
    p.setPen(Qt::black);
    int x = 10;
    auto place = [&](TiComponent& w, const QString& caption) {
        p.drawImage(x, 30, w.RenderToImage());
        p.drawText(QRect(x - 15, 185, w.width() + 30, 14), Qt::AlignCenter, caption);
        x += w.width() + 15;
    };
    for (double v : {30.0, 80.0}) {
        TiLedBar bar1, bar2;
        for (TiLedBar* b : {&bar1, &bar2}) {
            b->resize(25, 153);
            b->SetPosition(v);
        }
        bar2.SetBackGroundColor(clSilver);
        bar2.SetSectionColor1(clYellow);
        place(bar1, QString::number(v));
        place(bar2, QString::number(v));
    }
    for (double v : {25.0, 75.0}) {
        TiThermometer t;
        t.SetPosition(v);
        place(t, QString::number(v));
    }
    for (double v : {120.0, 300.0}) {
        auto g = PanelGauge();
        g->SetPosition(v);
        place(*g, QString::number(v));
    }
    p.drawText(QRect(10, 8, 140, 16), Qt::AlignCenter, "TiLedBar (25 x 153)");
    p.drawText(QRect(160, 8, 230, 16), Qt::AlignCenter, "TiThermometer (100 x 150)");
    p.drawText(QRect(390, 8, 160, 16), Qt::AlignCenter, "TiLinearGauge (60 x 96)");
    p.end();

    // The first bar at 30 lights 7 of 21 segments: lime in segment 6, dimmed in segment 7.
    QCOMPARE(Pixel(sheet, 10 + 12, 30 + 144 - 6 * 7), clLime);
    QCOMPARE(Pixel(sheet, 10 + 12, 30 + 144 - 7 * 7), TColor(0x005500));
    QCOMPARE(x, 10 + 4 * 40 + 2 * 115 + 2 * 75);

    const QString path = qEnvironmentVariable("Z7_GALLERY_PNG");
    if (!path.isEmpty())
        QVERIFY(sheet.save(path));
}

QTEST_MAIN(TestLinearGauge)
#include "tst_lineargauge.moc"
