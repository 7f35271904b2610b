#include "iAnalogDisplay.h"
#include "iAnalogOutput.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// A field in a shown, active window, focused by a click as the operator does.
template <typename Field> struct FieldWindow {
    QWidget window;
    Field* field;
    FieldWindow() : field(new Field(&window)) {
        window.resize(160, 60);
        field->move(10, 10);
        window.show();
    }
    bool focus() {
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        field->RenderToImage();
        QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(3, 10));
        return field->HasFocus();
    }
};

// Records the value events of a field in the order they come.
struct EventLog {
    QStringList events;
    explicit EventLog(TiAnalogOutput* f) {
        QObject::connect(f, &TiAnalogOutput::OnBeforeUserChange,
                         [this](double, double&, bool&) { events << "BeforeUser"; });
        QObject::connect(f, &TiAnalogOutput::OnBeforeChange,
                         [this](double, double&, bool&) { events << "Before"; });
        QObject::connect(f, &TiAnalogOutput::OnChange, [this] { events << "Change"; });
        QObject::connect(f, &TiAnalogOutput::OnChangeUser, [this] { events << "ChangeUser"; });
    }
};

// Rows of an image that hold a pixel of the colour, within the given columns.
QList<int> RowsWithColour(const QImage& img, const QColor& c, int fromX, int toX) {
    QList<int> rows;
    for (int y = 0; y < img.height(); ++y)
        for (int x = fromX; x < toX; ++x)
            if (img.pixelColor(x, y) == c) {
                rows << y;
                break;
            }
    return rows;
}

} // namespace

class TestAnalog : public QObject {
    Q_OBJECT

private slots:
    void formatValue_data();
    void formatValue();
    void parseText_data();
    void parseText();
    void commaLocale();

    void shownTextKeepsValue();
    void clamping_data();
    void clamping();
    void typing_data();
    void typing();
    void eventsInOrder();
    void beforeChangeHandlers();
    void unparsableTextReturnsToAcceptedText();
    void unparsableTextWithoutUndoShowsError();
    void commaLocaleField();
    void displayTextRows_data();
    void displayTextRows();
    void displayValueAndErrorState();
    void gallery();
};

void TestAnalog::formatValue_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("text");

    QTest::newRow("precision 0, units") << 25.0 << 0 << "'C"
                                        << "25'C";
    QTest::newRow("zero") << 0.0 << 1 << ""
                          << "0.0";
    QTest::newRow("half up") << 1.25 << 1 << ""
                             << "1.3";
    QTest::newRow("negative half away from zero") << -1.25 << 1 << ""
                                                  << "-1.3";
    QTest::newRow("half at precision 0") << 2.5 << 0 << ""
                                         << "3";
    QTest::newRow("decimal digits, not binary ones") << 2.675 << 2 << ""
                                                     << "2.68";
    QTest::newRow("carry into integer part") << 99.95 << 1 << ""
                                             << "100.0";
    QTest::newRow("rounds to zero without sign") << -0.04 << 1 << ""
                                                 << "0.0";
    QTest::newRow("two decimals") << 3.14159 << 2 << ""
                                  << "3.14";
    QTest::newRow("four decimals") << 3.14159 << 4 << ""
                                   << "3.1416";
    QTest::newRow("no thousands separator") << 1234567.0 << 1 << ""
                                            << "1234567.0";
    QTest::newRow("units kept untrimmed") << 1.0 << 0 << " A"
                                          << "1 A";
    QTest::newRow("general 0.1") << 0.1 << -1 << ""
                                 << "0.1";
    QTest::newRow("general 1e20") << 1e20 << -1 << ""
                                  << "1E+20";
    QTest::newRow("general 15 digits") << 2.0 / 3.0 << -1 << ""
                                       << "0.666666666666667";
    // The shorter of fixed and scientific notation, fixed when both are as long.
    QTest::newRow("general 100000 is shorter scientific") << 1e5 << -1 << ""
                                                          << "1E+05";
    QTest::newRow("general 123456 is shorter fixed") << 123456.0 << -1 << ""
                                                     << "123456";
    QTest::newRow("general 0.0001 is shorter scientific") << 1e-4 << -1 << ""
                                                          << "1E-04";
    QTest::newRow("general 0.001 as long either way") << 1e-3 << -1 << ""
                                                      << "0.001";
    QTest::newRow("general 18 digits, fixed is shorter") << 123456789012345678.0 << -1 << ""
                                                         << "123456789012346000";
    QTest::newRow("general negative scientific") << -2.5e-7 << -1 << ""
                                                 << "-2.5E-07";
    QTest::newRow("general zero") << 0.0 << -1 << ""
                                  << "0";
    QTest::newRow("general negative zero") << -0.0 << -1 << ""
                                           << "0";
    QTest::newRow("absurd precision bounded") << 1.5 << 1000000 << ""
                                              << "1.500000000000000000";
}

void TestAnalog::formatValue() {
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(QString, units);
    QTEST(FormatValue(value, precision, units, QLocale::c()), "text");
}

void TestAnalog::parseText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("units");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << "7"
                           << "" << true << 7.0;
    QTest::newRow("units removed") << "25'C"
                                   << "'C" << true << 25.0;
    QTest::newRow("units any case, anywhere") << "a1a.5A"
                                              << " A " << true << 1.5;
    QTest::newRow("blanks around") << " -2.5 "
                                   << "" << true << -2.5;
    QTest::newRow("exponent") << "1E+20"
                              << "" << true << 1e20;
    QTest::newRow("letter") << "7x"
                            << "" << false << 0.0;
    QTest::newRow("empty") << ""
                           << "" << false << 0.0;
    QTest::newRow("units only") << "'C"
                                << "'C" << false << 0.0;
    QTest::newRow("group separator") << "1,000"
                                     << "" << false << 0.0;
    QTest::newRow("infinity") << "inf"
                              << "" << false << 0.0;
    QTest::newRow("not a number") << "nan"
                                  << "" << false << 0.0;
    QTest::newRow("overflow") << "1e999"
                              << "" << false << 0.0;
}

void TestAnalog::parseText() {
    QFETCH(QString, text);
    QFETCH(QString, units);
    QFETCH(bool, ok);
    const std::optional<double> value = ParseValueText(text, units, QLocale::c());
    QCOMPARE(value.has_value(), ok);
    if (ok)
        QTEST(*value, "value");
}

void TestAnalog::commaLocale() {
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(DecimalSeparator(german), QChar(','));
    QCOMPARE(FormatValue(1234.25, 2, "V", german), QString("1234,25V"));
    QCOMPARE(ParseValueText("12,5V", "V", german), std::optional<double>(12.5));
    QVERIFY(!ParseValueText("12.5", "", german));
    QCOMPARE(DecimalSeparator(QLocale::c()), QChar('.'));
}

void TestAnalog::shownTextKeepsValue() {
    QWidget parent;
    auto* child = new TiAnalogOutput(&parent);
    QCOMPARE(child->size(), QSize(80, 21));
    QVERIFY(child->Font()->Style().testFlag(fsBold));
    QCOMPARE(child->Alignment(), TiEditCustom::taCenter);

    TiAnalogOutput f;
    QCOMPARE(f.Text(), QString("0.0"));
    QSignalSpy changes(&f, &TiAnalogOutput::OnChange);
    f.SetPrecision(2);
    f.SetValue(3.14159);
    QCOMPARE(f.Text(), QString("3.14"));
    QCOMPARE(f.Value(), 3.14159);
    f.SetPrecision(4);
    QCOMPARE(f.Text(), QString("3.1416"));
    QCOMPARE(f.LastAcceptedText(), QString("3.1416"));
    QCOMPARE(f.Value(), 3.14159);
    f.SetUnitsText(" V");
    QCOMPARE(f.Text(), QString("3.1416 V"));
    QCOMPARE(f.Value(), 3.14159);
    QCOMPARE(changes.count(), 1);
    // The number part is what SelectAll takes.
    QCOMPARE(f.SelStart(), 0);
    QCOMPARE(f.SelLength(), 6);

    f.SetUnitsText("   ");
    QCOMPARE(f.UnitsText(), QString());
    f.SetPrecision(0);
    f.SetUnitsText("'C");
    f.SetValue(25);
    QCOMPARE(f.Text(), QString("25'C"));
}

void TestAnalog::clamping_data() {
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("stored");

    QTest::newRow("no range, large") << 0.0 << 0.0 << 1e6 << 1e6;
    QTest::newRow("no range, negative") << 0.0 << 0.0 << -5.0 << -5.0;
    QTest::newRow("above max") << 0.0 << 10.0 << 12.0 << 10.0;
    QTest::newRow("below min") << 0.0 << 10.0 << -1.0 << 0.0;
    QTest::newRow("inside") << 0.0 << 10.0 << 5.5 << 5.5;
    QTest::newRow("negative range") << -10.0 << -2.0 << 0.0 << -2.0;
}

void TestAnalog::clamping() {
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, value);
    TiAnalogOutput f;
    f.SetValueMax(max);
    f.SetValueMin(min);
    f.SetValue(value);
    QTEST(f.Value(), "stored");

    // A new range clamps the value already held.
    TiAnalogOutput g;
    g.SetValue(value);
    g.SetValueMax(max);
    g.SetValueMin(min);
    QTEST(g.Value(), "stored");
}

void TestAnalog::typing_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");

    // Typed at the start of the shown value.
    const int none = TiAnalogOutput::ifisNone, autoFilter = TiAnalogOutput::ifisAuto;
    QTest::newRow("letters refused") << autoFilter << 1 << ""
                                     << "abc"
                                     << "0.0";
    QTest::newRow("digits, minus, point") << autoFilter << 1 << ""
                                          << "-1."
                                          << "-1.0.0";
    QTest::newRow("point refused at precision 0") << autoFilter << 0 << ""
                                                  << ".5"
                                                  << "50";
    QTest::newRow("units letters in any case") << autoFilter << 1 << "V"
                                               << "vx"
                                               << "v0.0V";
    QTest::newRow("no filter") << none << 1 << ""
                               << "ab"
                               << "ab0.0";
}

void TestAnalog::typing() {
    QFETCH(int, filter);
    QFETCH(int, precision);
    QFETCH(QString, units);
    QFETCH(QString, typed);
    FieldWindow<TiAnalogOutput> w;
    w.field->SetFilterStyle(TiAnalogOutput::TiFilterInputStyle(filter));
    w.field->SetPrecision(precision);
    w.field->SetUnitsText(units);
    QVERIFY(w.focus());
    QTest::keyClick(w.field, Qt::Key_Home);
    QTest::keyClicks(w.field, typed);
    QTEST(w.field->Text(), "text");
}

void TestAnalog::eventsInOrder() {
    FieldWindow<TiAnalogOutput> w;
    w.field->SetUnitsText("'C");
    EventLog log(w.field);
    w.field->SetValue(3);
    QCOMPARE(log.events, QStringList({"Before", "Change"}));
    log.events.clear();
    w.field->SetValue(3);
    QCOMPARE(log.events, QStringList());

    // The operator selects the number, types 7 and presses Enter.
    QVERIFY(w.focus());
    QTest::keyClick(w.field, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(w.field->SelLength(), 3);
    QTest::keyClick(w.field, Qt::Key_7);
    QCOMPARE(w.field->Text(), QString("7'C"));
    QTest::keyClick(w.field, Qt::Key_Return);
    QCOMPARE(w.field->Value(), 7.0);
    QCOMPARE(w.field->Text(), QString("7.0'C"));
    QCOMPARE(w.field->SelStart(), 0);
    QCOMPARE(w.field->SelLength(), 3);
    QCOMPARE(log.events, QStringList({"BeforeUser", "Before", "Change", "ChangeUser"}));
}

void TestAnalog::beforeChangeHandlers() {
    TiAnalogOutput f;
    f.SetValueMax(10);
    bool veto = true;
    connect(&f, &TiAnalogOutput::OnBeforeChange, [&](double, double& newValue, bool& canChange) {
        if (veto)
            canChange = false;
        else
            newValue = 99;
    });
    QSignalSpy changes(&f, &TiAnalogOutput::OnChange);
    f.SetValue(4);
    QCOMPARE(f.Value(), 0.0);
    QCOMPARE(f.Text(), QString("0.0"));
    QCOMPARE(changes.count(), 0);
    // A handler's new value is clamped into the range again.
    veto = false;
    f.SetValue(4);
    QCOMPARE(f.Value(), 10.0);
    QCOMPARE(f.Text(), QString("10.0"));
    QCOMPARE(changes.count(), 1);

    bool allow = false;
    f.SetEditPermissionHook([&](TiComponent*, const QString& name, bool& Allow) {
        QCOMPARE(name, QString("Value"));
        Allow = allow;
    });
    f.SetValueMax(0);
    f.SetValue(5);
    QCOMPARE(f.Value(), 10.0);
    allow = true;
    f.SetValue(5);
    QCOMPARE(f.Value(), 99.0);
}

void TestAnalog::unparsableTextReturnsToAcceptedText() {
    FieldWindow<TiAnalogOutput> w;
    w.field->SetValue(7);
    QVERIFY(w.focus());
    QSignalSpy changes(w.field, &TiAnalogOutput::OnChange);
    QTest::keyClick(w.field, Qt::Key_A, Qt::ControlModifier);
    // Pasted text passes no character filter.
    QGuiApplication::clipboard()->setText("x");
    QTest::keyClick(w.field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.field->Text(), QString("x"));
    QTest::keyClick(w.field, Qt::Key_Return);
    QCOMPARE(w.field->Text(), QString("7.0"));
    QCOMPARE(w.field->Value(), 7.0);
    QCOMPARE(w.field->SelLength(), 3);
    QCOMPARE(changes.count(), 0);
}

void TestAnalog::unparsableTextWithoutUndoShowsError() {
    FieldWindow<TiAnalogOutput> w;
    w.field->SetUndoOnError(false);
    w.field->SetValue(7);
    QVERIFY(w.focus());
    QTest::keyClick(w.field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.field, Qt::Key_Minus);
    QTest::keyClick(w.field, Qt::Key_Minus);

    QStringList shown;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown << box->text();
            box->accept();
        }
    });
    closer.start(20);
    QTest::keyClick(w.field, Qt::Key_Return);
    QTRY_COMPARE(shown, QStringList{"'--' is not a valid floating point value"});
    QCOMPARE(w.field->Value(), 7.0);
    QCOMPARE(w.field->Text(), QString("--"));
    // The box took the focus from the field; that re-application raised no second box.
    QTest::qWait(200);
    QCOMPARE(shown.size(), 1);
}

void TestAnalog::commaLocaleField() {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    {
        FieldWindow<TiAnalogOutput> w;
        w.field->SetValue(1.5);
        QCOMPARE(w.field->Text(), QString("1,5"));
        QVERIFY(w.focus());
        QTest::keyClick(w.field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w.field, "2.,25");
        QCOMPARE(w.field->Text(), QString("2,25"));
        QTest::keyClick(w.field, Qt::Key_Return);
        QCOMPARE(w.field->Value(), 2.25);
        QCOMPARE(w.field->Text(), QString("2,3"));
    }
    QLocale::setDefault(saved);
}

void TestAnalog::displayTextRows_data() {
    QTest::addColumn<int>("border");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QRect>("rect");

    QTest::newRow("lowered, centred")
        << int(ibsLowered) << int(TiAnalogDisplay::iahCenter) << QRect(2, 2, 53, 15);
    QTest::newRow("raised") << int(ibsRaised) << int(TiAnalogDisplay::iahCenter) << QRect(2, 2, 53, 17);
    QTest::newRow("none, left") << int(ibsNone) << int(TiAnalogDisplay::iahLeft) << QRect(7, 2, 48, 17);
    QTest::newRow("lowered, right") << int(ibsLowered) << int(TiAnalogDisplay::iahRight)
                                    << QRect(2, 2, 48, 15);
}

void TestAnalog::displayTextRows() {
    QFETCH(int, border);
    QFETCH(int, alignment);
    QFETCH(QRect, rect);
    TiAnalogDisplay d;
    d.resize(57, 21);
    d.SetBorderStyle(TiBevelStyle(border));
    d.SetAlignment(TiAnalogDisplay::TiAlignmentHorizontal(alignment));
    d.SetValue(88.8);
    QCOMPARE(d.TextRect(), rect);

    // The aqua glyph pixels lie inside the rectangle, vertically centred in it.
    const QImage img = d.RenderToImage();
    QCOMPARE(img.pixelColor(d.Width() / 2, 2), QColor(Qt::black));
    const QList<int> rows = RowsWithColour(img, ColorToQColor(clAqua), 0, d.Width());
    QVERIFY(!rows.isEmpty());
    QVERIFY(rows.first() >= rect.top());
    QVERIFY(rows.last() <= rect.bottom());
    const double glyphMiddle = (rows.first() + rows.last()) / 2.0;
    QVERIFY2(qAbs(glyphMiddle - (rect.top() + rect.bottom()) / 2.0) <= 2.0,
             qPrintable(QString::number(glyphMiddle)));
    // And horizontally on the aligned side.
    int minX = d.Width(), maxX = -1;
    for (int y : rows)
        for (int x = 0; x < d.Width(); ++x)
            if (img.pixelColor(x, y) == ColorToQColor(clAqua)) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
    if (alignment == TiAnalogDisplay::iahLeft)
        QVERIFY(minX - rect.left() <= 2);
    else if (alignment == TiAnalogDisplay::iahRight)
        QVERIFY(rect.right() - maxX <= 2);
    else
        QVERIFY(qAbs((minX + maxX) / 2.0 - (rect.left() + rect.right()) / 2.0) <= 2.0);
}

void TestAnalog::displayValueAndErrorState() {
    TiAnalogDisplay d;
    d.resize(57, 21);
    QSignalSpy changes(&d, &TiAnalogDisplay::OnChange);
    d.SetValue(0);
    QCOMPARE(changes.count(), 0);
    d.SetValue(1e9);
    QCOMPARE(d.Value(), 1e9);
    QCOMPARE(changes.count(), 1);
    d.SetEditPermissionHook([](TiComponent*, const QString&, bool& Allow) { Allow = false; });
    d.SetValue(2);
    QCOMPARE(d.Value(), 1e9);
    QCOMPARE(changes.count(), 1);
    d.SetPrecision(0);
    d.SetUnitsText("A");
    QCOMPARE(d.FormatValue(12.5), QString("13A"));

    d.SetErrorActive(true);
    d.SetErrorBackGroundColor(clNavy);
    const QImage img = d.RenderToImage();
    QCOMPARE(img.pixelColor(d.Width() / 2, 3), ColorToQColor(clNavy));
    QVERIFY(!RowsWithColour(img, ColorToQColor(clRed), 0, d.Width()).isEmpty());
    QVERIFY(RowsWithColour(img, ColorToQColor(clAqua), 0, d.Width()).isEmpty());
}

// Each class in its states: normal, focused with a selection, error. The image goes to the docs when
// Z7_GALLERY_PNG names a file.
void TestAnalog::gallery() {
    QWidget window;
    window.resize(330, 130);
    QList<TiAnalogOutput*> fields;
    QList<TiAnalogDisplay*> displays;
    for (int i = 0; i < 3; ++i) {
        auto* f = new TiAnalogOutput(&window);
        f->SetBounds(100 + i * 80, 30, 70, 21);
        f->SetPrecision(2);
        f->SetUnitsText("'C");
        f->SetValue(23.456);
        fields << f;
        auto* d = new TiAnalogDisplay(&window);
        d->SetBounds(106 + i * 80, 80, 57, 21);
        d->SetUnitsText("A");
        d->SetValue(12.3);
        displays << d;
    }
    fields[2]->SetErrorActive(true);
    displays[1]->SetAlignment(TiAnalogDisplay::iahRight);
    displays[2]->SetErrorActive(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::mouseClick(fields[1], Qt::LeftButton, {}, QPoint(3, 10));
    QTest::keyClick(fields[1], Qt::Key_A, Qt::ControlModifier);
    QVERIFY(fields[1]->HasFocus());

    QImage sheet(window.size(), QImage::Format_RGB32);
    sheet.fill(ColorToQColor(clBtnFace));
    QPainter p(&sheet);
    for (TiComponent* c : window.findChildren<TiComponent*>())
        p.drawImage(c->pos(), c->RenderToImage());
    p.setPen(Qt::black);
    QFont captions = p.font();
    captions.setPixelSize(10);
    p.setFont(captions);
    p.drawText(QRect(100, 5, 70, 20), Qt::AlignCenter, "normal");
    p.drawText(QRect(160, 5, 110, 20), Qt::AlignCenter, "focused, selection");
    p.drawText(QRect(260, 5, 70, 20), Qt::AlignCenter, "error");
    p.drawText(QRect(5, 30, 90, 21), Qt::AlignVCenter, "TiAnalogOutput");
    p.drawText(QRect(5, 80, 90, 21), Qt::AlignVCenter, "TiAnalogDisplay");
    p.drawText(QRect(180, 102, 70, 20), Qt::AlignCenter, "(right)");
    p.end();

    // The selection shows only in the focused field, the error state replaces the face.
    const QColor highlight = ColorToQColor(clHighlight);
    QVERIFY(RowsWithColour(sheet, highlight, 180, 250).size() > 5);
    QVERIFY(RowsWithColour(sheet, highlight, 100, 170).isEmpty());
    QCOMPARE(sheet.pixelColor(264, 34), ColorToQColor(fields[2]->ErrorBackGroundColor()));
    QVERIFY(!RowsWithColour(sheet, ColorToQColor(clAqua), 106, 163).isEmpty());
    QVERIFY(RowsWithColour(sheet, ColorToQColor(clAqua), 266, 323).isEmpty());

    const QString out = qEnvironmentVariable("Z7_GALLERY_PNG");
    if (!out.isEmpty())
        QVERIFY(sheet.scaled(sheet.size() * 2).save(out));
}

QTEST_MAIN(TestAnalog)
#include "tst_analog.moc"
