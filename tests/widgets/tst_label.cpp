// Label: auto-size, word wrap, shadow offsets of either sign, borders, the accelerator with
// FocusControl and its removal, and the always-enabled look.

#include "iLabel.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

QColor At(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

// Bounding box of the pixels that match.
template <typename Match> QRect Box(const QImage& image, Match match) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(QColor(image.pixel(x, y))))
                box |= QRect(x, y, 1, 1);
    return box;
}
bool Dark(const QColor& c) {
    return c.red() < 100 && c.green() < 100 && c.blue() < 100;
}
bool Red(const QColor& c) {
    return c.red() > 150 && c.green() < 100 && c.blue() < 100;
}

QFontMetrics Metrics(const TiLabel& label) {
    return QFontMetrics(label.Font()->ToQFont());
}

} // namespace

class TestLabel : public QObject {
    Q_OBJECT

private slots:
    void autoSize_data();
    void autoSize();
    void wordWrapKeepsWidth();
    void changesThatKeepTheSize();
    void shadow_data();
    void shadow();
    void borders_data();
    void borders();
    void accelerator();
    void disabledDrawsAsEnabled();
};

void TestLabel::autoSize_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<TiLabel::TiLabelBorderStyle>("border");
    QTest::addColumn<QRect>("margins"); // left, top, right, bottom as x, y, width, height
    QTest::addColumn<QPoint>("shadow"); // offsets; (0, 0) for no shadow
    QTest::addColumn<QSize>("extra");   // added to the text's width and height

    using L = TiLabel;
    QTest::newRow("A") << "A" << L::ilbsNone << QRect() << QPoint() << QSize(0, 0);
    QTest::newRow("MAX") << "MAX" << L::ilbsNone << QRect() << QPoint() << QSize(0, 0);
    QTest::newRow("single border") << "MAX" << L::ilbsSingle << QRect() << QPoint() << QSize(2, 2);
    QTest::newRow("lowered border, margins")
        << "T_C" << L::ilbsLowered << QRect(3, 1, 4, 2) << QPoint() << QSize(4 + 7, 4 + 3);
    QTest::newRow("raised border") << "V" << L::ilbsRaised << QRect() << QPoint() << QSize(4, 4);
    QTest::newRow("shadow 2, 2") << "MAX" << L::ilbsNone << QRect() << QPoint(2, 2) << QSize(2, 2);
    QTest::newRow("shadow -2, 3") << "MAX" << L::ilbsNone << QRect() << QPoint(-2, 3) << QSize(2, 3);
    QTest::newRow("Chinese caption") << "最小输出量限制：" << L::ilbsNone << QRect() << QPoint()
                                     << QSize(0, 0);
}

void TestLabel::autoSize() {
    QFETCH(QString, caption);
    QFETCH(TiLabel::TiLabelBorderStyle, border);
    QFETCH(QRect, margins);
    QFETCH(QPoint, shadow);
    QFETCH(QSize, extra);

    TiLabel label;
    QCOMPARE(label.Caption(), QStringLiteral("iLabel"));
    QVERIFY(!label.TabStop());
    label.SetCaption(QStringLiteral("A"));
    label.SetBorderStyle(border);
    label.SetOuterMarginLeft(margins.x());
    label.SetOuterMarginTop(margins.y());
    label.SetOuterMarginRight(margins.width());
    label.SetOuterMarginBottom(margins.height());
    if (!shadow.isNull()) {
        label.SetShadowXOffset(shadow.x());
        label.SetShadowYOffset(shadow.y());
        label.SetShadowShow(true);
    }
    label.SetCaption(caption);
    const QFontMetrics fm = Metrics(label);
    QCOMPARE(label.Width(), fm.horizontalAdvance(caption) + extra.width());
    QCOMPARE(label.Height(), fm.height() + extra.height());

    // A bigger font grows the label; AutoSize off keeps the size.
    const int width = label.Width();
    label.Font()->SetSize(16);
    QVERIFY(label.Width() > width);
    label.SetAutoSize(false);
    label.SetCaption(caption + caption);
    QVERIFY(label.Width() < Metrics(label).horizontalAdvance(caption + caption));
}

void TestLabel::wordWrapKeepsWidth() {
    TiLabel label;
    label.SetWidth(60);
    label.SetWordWrap(true);
    QCOMPARE(label.Width(), 60);
    const QFontMetrics fm = Metrics(label);
    label.SetCaption(QStringLiteral("one two three four five six"));
    QCOMPARE(label.Width(), 60);
    QVERIFY(label.Height() >= 3 * fm.lineSpacing());
    label.SetCaption(QStringLiteral("one"));
    QCOMPARE(label.Width(), 60);
    QCOMPARE(label.Height(), fm.height());
}

void TestLabel::changesThatKeepTheSize() {
    TiLabel label;
    label.SetCaption(QStringLiteral("PWER"));
    const QSize size(label.Width(), label.Height());
    const int repaints = label.RepaintRequestCount();
    label.SetCaption(QStringLiteral("PWER"));
    QCOMPARE(label.RepaintRequestCount(), repaints);
    label.SetShadowColor(255);
    label.SetAlignment(TiLabel::iahRight);
    QCOMPARE(QSize(label.Width(), label.Height()), size);
    QCOMPARE(label.RepaintRequestCount(), repaints + 2);

    // A refused caption stays as it was.
    label.SetEditPermissionHook(
        [](TiComponent*, const QString& name, bool& allow) { allow = name != "Caption"; });
    label.SetCaption(QStringLiteral("LONGER CAPTION"));
    QCOMPARE(label.Caption(), QStringLiteral("PWER"));
    QCOMPARE(QSize(label.Width(), label.Height()), size);

    // While the layout is read the label keeps the size it is given.
    TiLabel loaded;
    loaded.BeginLoading();
    loaded.SetBounds(0, 0, 80, 20);
    loaded.SetCaption(QStringLiteral("R_C"));
    loaded.EndLoading();
    QCOMPARE(QSize(loaded.Width(), loaded.Height()), QSize(80, 20));
}

void TestLabel::shadow_data() {
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QPoint>("textMoves");

    // The shadow always sits at the offset from the text; a negative X offset moves the text instead.
    QTest::newRow("2, 2") << QPoint(2, 2) << QPoint(0, 0);
    QTest::newRow("-2, 2") << QPoint(-2, 2) << QPoint(2, -2);
    QTest::newRow("3, -1") << QPoint(3, -1) << QPoint(0, 0);
}

void TestLabel::shadow() {
    QFETCH(QPoint, offset);
    QFETCH(QPoint, textMoves);

    TiLabel plain;
    plain.SetCaption(QStringLiteral("MAX"));
    const QSize plainSize(plain.Width(), plain.Height());

    TiLabel label;
    label.SetCaption(QStringLiteral("MAX"));
    label.SetShadowColor(255);
    label.SetShadowXOffset(offset.x());
    label.SetShadowYOffset(offset.y());
    label.SetShadowShow(true);
    QCOMPARE(label.Width(), plainSize.width() + std::abs(offset.x()));
    QCOMPARE(label.Height(), plainSize.height() + std::abs(offset.y()));

    // Where the text lies without a shadow in a label of the same size.
    plain.SetAutoSize(false);
    plain.SetBounds(0, 0, label.Width(), label.Height());
    const QRect plainText = Box(plain.RenderToImage(), Dark);

    const QImage image = label.RenderToImage();
    const QRect text = Box(image, Dark), shadow = Box(image, Red);
    QVERIFY(!shadow.isEmpty());
    QCOMPARE(text.topLeft(), plainText.topLeft() + textMoves);
    // Compare the edges the text cannot cover: those on the side the shadow is offset to.
    if (offset.x() > 0)
        QCOMPARE(shadow.right(), text.right() + offset.x());
    else
        QCOMPARE(shadow.left(), text.left() + offset.x());
    if (offset.y() > 0)
        QCOMPARE(shadow.bottom(), text.bottom() + offset.y());
    else
        QCOMPARE(shadow.top(), text.top() + offset.y());
}

void TestLabel::borders_data() {
    QTest::addColumn<TiLabel::TiLabelBorderStyle>("style");
    QTest::addColumn<uint>("topLeft");
    QTest::addColumn<uint>("bottomRight");
    QTest::newRow("none") << TiLabel::ilbsNone << uint(clBtnFace) << uint(clBtnFace);
    QTest::newRow("single") << TiLabel::ilbsSingle << uint(clWindowFrame) << uint(clWindowFrame);
    QTest::newRow("lowered") << TiLabel::ilbsLowered << uint(clBtnShadow) << uint(clBtnHighlight);
    QTest::newRow("raised") << TiLabel::ilbsRaised << uint(cl3DLight) << uint(cl3DDkShadow);
}

void TestLabel::borders() {
    QFETCH(TiLabel::TiLabelBorderStyle, style);
    QFETCH(uint, topLeft);
    QFETCH(uint, bottomRight);
    TiLabel label;
    label.SetCaption(QStringLiteral("S"));
    label.SetBorderStyle(style);
    const QImage image = label.RenderToImage();
    QCOMPARE(At(image, 0, 0), ColorToQColor(topLeft));
    QCOMPARE(At(image, label.Width() - 1, label.Height() - 1), ColorToQColor(bottomRight));
}

void TestLabel::accelerator() {
    QWidget window;
    auto* label = new TiLabel(&window);
    label->SetCaption(QStringLiteral("&Max"));
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(0, 40, 80, 20);
    auto* other = new QLineEdit(&window);
    other->setGeometry(0, 70, 80, 20);
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());

    // Without FocusControl: "&" is drawn as it is, and the letter does nothing.
    const QRect withAmpersand = Box(label->RenderToImage(), Dark);
    QTest::keyClick(other, Qt::Key_M, Qt::AltModifier);
    QVERIFY(other->hasFocus());

    // With it: the "&" is hidden (the M is underlined) and the letter, either case, focuses the control.
    label->SetFocusControl(edit);
    QVERIFY(label->TextFlags() & itfPrefix);
    const QRect underlined = Box(label->RenderToImage(), Dark);
    QVERIFY(underlined.width() < withAmpersand.width());
    QVERIFY(underlined.bottom() > withAmpersand.bottom());
    QTest::keyClick(other, Qt::Key_M, Qt::AltModifier);
    QTRY_VERIFY(edit->hasFocus());
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    QTest::keyClick(other, Qt::Key_M, Qt::AltModifier | Qt::ShiftModifier);
    QTRY_VERIFY(edit->hasFocus());

    // A disabled label or a control that cannot take the focus: nothing.
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    label->SetEnabled(false);
    QTest::keyClick(other, Qt::Key_M, Qt::AltModifier);
    QApplication::processEvents();
    QVERIFY(other->hasFocus());
    label->SetEnabled(true);
    edit->setEnabled(false);
    QTest::keyClick(other, Qt::Key_M, Qt::AltModifier);
    QApplication::processEvents();
    QVERIFY(other->hasFocus());
    edit->setEnabled(true);

    // Removing the control leaves the label without one.
    delete edit;
    QCOMPARE(label->FocusControl(), nullptr);
    QVERIFY(!(label->TextFlags() & itfPrefix));
    QTest::keyClick(other, Qt::Key_M, Qt::AltModifier);
    QVERIFY(other->hasFocus());
    QCOMPARE(Box(label->RenderToImage(), Dark), withAmpersand);
}

void TestLabel::disabledDrawsAsEnabled() {
    TiLabel label;
    label.SetCaption(QStringLiteral("温度："));
    label.SetShadowShow(true);
    const QImage enabled = label.RenderToImage();
    label.SetEnabled(false);
    QCOMPARE(label.RenderToImage(), enabled);
}

QTEST_MAIN(TestLabel)
#include "tst_label.moc"
