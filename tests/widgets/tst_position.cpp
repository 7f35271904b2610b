// The position model and the scale: event order, clamps, extremes, limits, decimals, labels, the
// automatic scale, the value-to-pixel map and a straight scale drawn into an image.

#include "frame_fixture.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

// Every position event of w, in the order raised.
QStringList* Record(TiPositionComponent& w) {
    auto* log = new QStringList;
    QObject::connect(&w, &QObject::destroyed, [log] { delete log; });
    QObject::connect(&w, &TiPositionComponent::OnCurrentMaxChange, [log] { *log << "OnCurrentMaxChange"; });
    QObject::connect(&w, &TiPositionComponent::OnCurrentMinChange, [log] { *log << "OnCurrentMinChange"; });
    QObject::connect(&w, &TiPositionComponent::OnPositionOverMax, [log] { *log << "OnPositionOverMax"; });
    QObject::connect(&w, &TiPositionComponent::OnPositionUnderMin, [log] { *log << "OnPositionUnderMin"; });
    QObject::connect(&w, &TiPositionComponent::OnPositionOverLimit,
                     [log](int i) { *log << QStringLiteral("OnPositionOverLimit %1").arg(i); });
    QObject::connect(&w, &TiPositionComponent::OnPositionUnderLimit,
                     [log](int i) { *log << QStringLiteral("OnPositionUnderLimit %1").arg(i); });
    QObject::connect(&w, &TiPositionComponent::OnPositionChange, [log] { *log << "OnPositionChange"; });
    return log;
}

bool IsBlack(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) == 0;
}
bool IsWhite(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
}

} // namespace

class TstPosition : public QObject {
    Q_OBJECT

private slots:
    void eventOrderFromTheDefaults() {
        TestPosition w;
        QStringList* log = Record(w);
        w.SetPosition(30);
        QCOMPARE(*log, (QStringList{"OnCurrentMaxChange", "OnPositionOverMax", "OnPositionChange"}));
        log->clear();
        w.SetPosition(10);
        QCOMPARE(*log, QStringList{"OnPositionChange"});
        QCOMPARE(w.CurrentMax(), 30.0);
        QCOMPARE(w.CurrentMin(), 0.0);
    }

    void equalValueRaisesNothingAndRequestsNoRepaint() {
        TestPosition w;
        w.SetPosition(150);
        QCOMPARE(w.Position(), 100.0);
        QStringList* log = Record(w);
        const int before = w.RepaintRequestCount();
        w.SetPosition(150);
        w.SetPosition(100);
        QVERIFY(log->isEmpty());
        QCOMPARE(w.RepaintRequestCount(), before);
    }

    void clamps_data() {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("inside") << 0.0 << 100.0 << 42.5 << 42.5;
        QTest::newRow("above") << 0.0 << 100.0 << 150.0 << 100.0;
        QTest::newRow("below") << -10.0 << 10.0 << -11.0 << -10.0;
        QTest::newRow("NaN") << 0.0 << 100.0 << std::nan("") << 0.0;
        QTest::newRow("inverted bounds give PositionMin") << 100.0 << 0.0 << 50.0 << 100.0;
    }
    void clamps() {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, value);
        QFETCH(double, expected);
        TestPosition w;
        w.SetPosition(1); // away from every expected value
        w.SetMinMax(max, min);
        w.SetPosition(value);
        QCOMPARE(w.Position(), expected);
    }

    void loweringTheMaximumMovesThePosition() {
        TestPosition w;
        w.SetPosition(25);
        QSignalSpy changes(&w, &TiPositionComponent::OnPositionChange);
        const int before = w.RepaintRequestCount();
        w.SetPositionMax(10);
        QCOMPARE(w.Position(), 10.0);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(w.CurrentMax(), 10.0); // the running maximum is trimmed to the range
        QVERIFY(w.BackGroundDirty());
        QVERIFY(w.RepaintRequestCount() > before);
        // Raising the minimum above the position moves it up.
        w.SetPositionMin(5);
        w.SetPosition(5);
        w.SetPositionMin(8);
        QCOMPARE(w.Position(), 8.0);
    }

    void minMaxFixedFreezesExtremesAndLimits() {
        TestPosition w;
        QCOMPARE(w.AddLimit(60, 20), 0);
        QStringList* log = Record(w);
        w.SetPosition(70);
        QCOMPARE(*log, (QStringList{"OnCurrentMaxChange", "OnPositionOverMax", "OnPositionOverLimit 0",
                                    "OnPositionChange"}));
        log->clear();
        w.SetPosition(10);
        QCOMPARE(*log, (QStringList{"OnPositionUnderLimit 0", "OnPositionChange"}));

        TestPosition f;
        f.AddLimit(60, 20);
        f.SetMinMaxFixed(true);
        QStringList* flog = Record(f);
        f.SetPosition(70);
        f.SetPosition(-5);
        f.SetPositionMax(50);
        QCOMPARE(*flog, (QStringList{"OnPositionChange", "OnPositionChange"}));
        QCOMPARE(f.CurrentMax(), 0.0);
        QCOMPARE(f.CurrentMin(), 0.0);
    }

    void limitIndexOutOfBounds() {
        TestPosition w;
        w.AddLimit(10, 0);
        for (int bad : {-1, 1}) {
            try {
                w.Limit(bad);
                QFAIL("no error for a bad limit index");
            } catch (const EiError& e) {
                QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Limit Index out of bounds"));
            }
        }
    }

    void currentExtremesClampAndNotify() {
        TestPosition w;
        w.SetPosition(50);
        QStringList* log = Record(w);
        w.SetCurrentMax(500);
        QCOMPARE(w.CurrentMax(), 100.0);
        w.SetCurrentMax(40); // now below the position
        QCOMPARE(*log, (QStringList{"OnCurrentMaxChange", "OnCurrentMaxChange", "OnPositionOverMax"}));
    }

    void editPermissionCanVeto() {
        TestPosition w;
        QStringList asked, told;
        bool allow = false;
        w.SetEditPermissionHook([&](TiComponent*, const QString& n, bool& a) {
            asked << n;
            a = allow;
        });
        w.SetPropertyChangedHook([&](TiComponent*, const QString& n) { told << n; });
        w.SetPosition(20);
        QCOMPARE(w.Position(), 0.0);
        allow = true;
        w.SetPosition(20);
        QCOMPARE(w.Position(), 20.0);
        QCOMPARE(asked, (QStringList{"Position", "Position"}));
        QCOMPARE(told, QStringList{"Position"});
    }

    void sections_data() {
        QTest::addColumn<bool>("gauge");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("stored");
        QTest::newRow("progress 3") << false << 3 << 3;
        QTest::newRow("progress 0 ignored") << false << 0 << 1;
        QTest::newRow("progress 6 ignored") << false << 6 << 1;
        QTest::newRow("gauge 3") << true << 3 << 3;
        QTest::newRow("gauge -1 clamped") << true << -1 << 0;
        QTest::newRow("gauge 9 clamped") << true << 9 << 5;
    }
    void sections() {
        QFETCH(bool, gauge);
        QFETCH(int, value);
        QFETCH(int, stored);
        TestProgress progress;
        struct Gauge : TiGaugeComponent {
            void iPaintTo(QPainter&) override {}
        } gaugeWidget;
        QObject* w = gauge ? static_cast<QObject*>(&gaugeWidget) : &progress;
        w->setProperty("SectionCount", value);
        QCOMPARE(w->property("SectionCount").toInt(), stored);
        // Progress sections repaint only; gauge sections rebuild the background.
        progress.RenderToImage();
        gaugeWidget.RenderToImage();
        progress.SetSectionEnd1(40);
        gaugeWidget.SetSectionEnd1(40);
        QVERIFY(!progress.BackGroundDirty());
        QVERIFY(gaugeWidget.BackGroundDirty());
    }

    void sectionSpans() {
        TestProgress w;
        w.SetSectionCount(3);
        QCOMPARE(w.SectionStart(1), 0.0);
        QCOMPARE(w.SectionEndOf(1), 50.0);
        QCOMPARE(w.SectionStart(3), 75.0);
        QCOMPARE(w.SectionEndOf(3), 100.0);
        QCOMPARE(w.SectionColor(1), TColor(65280));
        QCOMPARE(w.SectionColor(3), TColor(255));
        QCOMPARE(w.width(), 16);
        QCOMPARE(w.height(), 200);
    }

    void fraction_data() {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("middle") << 0.0 << 200.0 << 50.0 << 0.25;
        QTest::newRow("above") << 0.0 << 200.0 << 201.0 << 1.0;
        QTest::newRow("below") << 10.0 << 20.0 << 5.0 << 0.0;
        QTest::newRow("empty range") << 5.0 << 5.0 << 5.0 << 0.0;
    }
    void fraction() {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, value);
        QFETCH(double, expected);
        TestPosition w;
        w.SetMinMax(max, min);
        QCOMPARE(w.PositionFraction(value), expected);
    }

    void scaleSettingClamps_data() {
        QTest::addColumn<QString>("property");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("stored");
        QTest::newRow("major count 1") << "TickMajorCount" << 1 << 2;
        QTest::newRow("major count 101") << "TickMajorCount" << 101 << 100;
        QTest::newRow("minor count 0") << "TickMinorCount" << 0 << 1;
        QTest::newRow("minor count 101") << "TickMinorCount" << 101 << 100;
        QTest::newRow("major length 0") << "TickMajorLength" << 0 << 1;
        QTest::newRow("minor length -4") << "TickMinorLength" << -4 << 1;
        QTest::newRow("precision -1") << "TickLabelPrecision" << -1 << 0;
        QTest::newRow("margin may be negative") << "TickMargin" << -3 << -3;
    }
    void scaleSettingClamps() {
        QFETCH(QString, property);
        QFETCH(int, value);
        QFETCH(int, stored);
        TestScale w;
        QVERIFY(w.setProperty(property.toLatin1(), value));
        QCOMPARE(w.property(property.toLatin1()).toInt(), stored);
        QVERIFY(w.BackGroundDirty());
    }

    void scaleChangesRebuildTheBackground() {
        TestScale w;
        w.RenderToImage();
        QVERIFY(!w.BackGroundDirty());
        w.TickLabelFont()->SetSize(12);
        QVERIFY(w.BackGroundDirty());
        w.RenderToImage();
        const int before = w.RepaintRequestCount();
        w.SetTickMajorCount(5); // unchanged
        QCOMPARE(w.RepaintRequestCount(), before);
        QVERIFY(!w.BackGroundDirty());
    }

    void decimals_data() {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("precision");
        QTest::addColumn<int>("decimals");
        QTest::newRow("1000, 3 digits") << 0.0 << 1000.0 << int(ipsSignificantDigits) << 3 << 0;
        QTest::newRow("0.5, 2 digits") << 0.0 << 0.5 << int(ipsSignificantDigits) << 2 << 2;
        QTest::newRow("12.5, 4 digits") << 0.0 << 12.5 << int(ipsSignificantDigits) << 4 << 2;
        QTest::newRow("0.05, 1 digit") << 0.0 << 0.05 << int(ipsSignificantDigits) << 1 << 2;
        QTest::newRow("reversed range") << 1000.0 << 0.0 << int(ipsSignificantDigits) << 3 << 0;
        QTest::newRow("0 digits") << 0.0 << 0.5 << int(ipsSignificantDigits) << 0 << 0;
        QTest::newRow("fixed") << 0.0 << 1000.0 << int(ipsFixedDecimalPoints) << 3 << 3;
    }
    void decimals() {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(int, style);
        QFETCH(int, precision);
        QFETCH(int, decimals);
        TestScale w;
        w.SetMinMax(max, min);
        w.SetPrecisionStyle(TiPrecisionStyle(style));
        w.SetTickLabelPrecision(precision);
        QCOMPARE(w.GetDecimalPoints(), decimals);
    }

    void labels_data() {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<int>("majors");
        QTest::addColumn<int>("precision");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("0..400") << 0.0 << 400.0 << 5 << 0 << QStringList{"0", "100", "200", "300", "400"};
        QTest::newRow("no minus zero") << -0.3 << 0.3 << 3 << 1 << QStringList{"-0.3", "0.0", "0.3"};
        QTest::newRow("negative") << -50.0 << 50.0 << 3 << 2 << QStringList{"-50.00", "0.00", "50.00"};
    }
    void labels() {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(int, majors);
        QFETCH(int, precision);
        QFETCH(QStringList, labels);
        TestScale w;
        w.SetMinMax(max, min);
        w.SetTickMajorCount(majors);
        w.SetTickLabelPrecision(precision);
        QStringList texts;
        const QVector<double> values = w.MajorTickValues();
        for (int i = 0; i < values.size(); ++i)
            texts << w.TickLabelText(i, values[i]);
        QCOMPARE(texts, labels);
    }

    void customizedLabels() {
        TestScale w;
        connect(&w, &TiScaleComponent::OnCustomizeTickLabel, [](int index, QString& label) {
            if (index == 4)
                label += "'C";
        });
        QCOMPARE(w.TickLabelText(4, 100), QStringLiteral("100'C"));
        QCOMPARE(w.TickLabelText(1, 25), QStringLiteral("25"));
    }

    void minorTicks() {
        TestScale w;
        QCOMPARE(w.MinorTickValues(0), (QVector<double>{5, 10, 15, 20}));
        QCOMPARE(w.MinorTickValues(3), (QVector<double>{80, 85, 90, 95}));
        QVERIFY(w.MinorTickValues(4).isEmpty());
        QVERIFY(w.OuterMinorTickValues().isEmpty());
    }

    void autoScale_data() {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<int>("style");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("majors");
        QTest::newRow("0..100") << 0.0 << 100.0 << int(iassAutoMinMax) << 0.0 << 100.0 << 5;
        QTest::newRow("3..97") << 3.0 << 97.0 << int(iassAutoMinMax) << 0.0 << 100.0 << 5;
        QTest::newRow("0.2..0.7") << 0.2 << 0.7 << int(iassAutoMinMax) << 0.2 << 0.7 << 6;
        QTest::newRow("-7..380") << -7.0 << 380.0 << int(iassAutoMinMax) << -100.0 << 400.0 << 6;
        QTest::newRow("empty") << 5.0 << 5.0 << int(iassAutoMinMax) << 5.0 << 5.0 << 2;
        QTest::newRow("fixed 0..100") << 0.0 << 100.0 << int(iassFixedMinMax) << 0.0 << 100.0 << 5;
        QTest::newRow("fixed 3..97") << 3.0 << 97.0 << int(iassFixedMinMax) << 20.0 << 80.0 << 4;
    }
    void autoScale() {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(int, style);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, majors);
        TestScale w;
        w.SetMinMax(max, min);
        w.SetAutoScaleStyle(TiAutoScaleStyle(style));
        w.SetAutoScaleEnabled(true);
        QCOMPARE(w.TickMajorCount(), majors);
        QVERIFY(std::abs(w.TickLow() - low) < 1e-9);
        QVERIFY(std::abs(w.TickHigh() - high) < 1e-9);
        if (style == iassFixedMinMax) {
            // The bounds stay; minor ticks continue out to them.
            QCOMPARE(w.PositionMin(), min);
            QCOMPARE(w.PositionMax(), max);
            if (min != 0) {
                const QVector<double> outer = w.OuterMinorTickValues();
                QVERIFY(!outer.isEmpty());
                for (double v : outer)
                    QVERIFY(v >= min - 1e-9 && v <= max + 1e-9 && (v < low || v > high));
            }
        }
        // A new bound runs the automatic scale again.
        if (style == iassAutoMinMax && min != max) {
            w.SetPositionMax(1234);
            QVERIFY(w.PositionMax() >= 1234);
            const double step = (w.PositionMax() - w.PositionMin()) / (w.TickMajorCount() - 1);
            QVERIFY(w.TickMajorCount() <= w.AutoScaleMaxTicks());
            QVERIFY(std::abs(w.PositionMin() / step - std::round(w.PositionMin() / step)) < 1e-9);
        }
    }

    void autoScaleTakesTheNewBound_data() {
        QTest::addColumn<double>("position");
        QTest::addColumn<bool>("max"); // which bound is set
        QTest::addColumn<double>("bound");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("after");
        // 0..93 and 3..100 both widen to 0..100 again: the position inside that range stays.
        QTest::newRow("max below the position") << 95.0 << true << 93.0 << 0.0 << 100.0 << 95.0;
        QTest::newRow("min above the position") << 1.0 << false << 3.0 << 0.0 << 100.0 << 1.0;
        // A range the automatic scale settles on below the position still clamps it.
        QTest::newRow("range settles below") << 95.0 << true << 40.0 << 0.0 << 40.0 << 40.0;
    }
    // With the automatic scale on, a new bound goes to the scale, which clamps only to its own range.
    void autoScaleTakesTheNewBound() {
        QFETCH(double, position);
        QFETCH(bool, max);
        QFETCH(double, bound);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, after);
        TestScale w;
        w.SetAutoScaleEnabled(true);
        w.SetPosition(position);
        QSignalSpy changes(&w, &TiPositionComponent::OnPositionChange);
        if (max)
            w.SetPositionMax(bound);
        else
            w.SetPositionMin(bound);
        QCOMPARE(w.PositionMin(), low);
        QCOMPARE(w.PositionMax(), high);
        QCOMPARE(w.Position(), after);
        QCOMPARE(changes.count(), after == position ? 0 : 1);
    }

    void scaleMap_data() {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("pixel");
        QTest::newRow("bottom to top") << 0.0 << 100.0 << 190 << 10 << 25.0 << 145;
        QTest::newRow("left to right") << 0.0 << 100.0 << 10 << 50 << 100.0 << 50;
        QTest::newRow("half to even up") << 0.0 << 2.0 << 0 << 3 << 1.0 << 2;
        QTest::newRow("half to even down") << 0.0 << 2.0 << 0 << 5 << 1.0 << 2;
        QTest::newRow("empty range: middle") << 5.0 << 5.0 << 11 << 20 << 7.0 << 15;
    }
    void scaleMap() {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(double, value);
        QFETCH(int, pixel);
        const TiScaleMap map{low, high, a, b};
        QCOMPARE(map.ToPixel(value), pixel);
        if (low != high && std::abs(a - b) >= 10)
            QCOMPARE(map.ToPixel(map.ToValue(pixel)), pixel);
    }

    void reversedLayoutSwapsTheEnds() {
        TiScaleLayout layout;
        layout.PixelLow = 190;
        layout.PixelHigh = 10;
        layout.Reverse = true;
        QCOMPARE(layout.Map().ToPixel(0), 10);
        QCOMPARE(layout.Map().ToPixel(100), 190);
        QCOMPARE(layout.Map().ToValue(55), 25.0);
    }

    // A vertical scale, ticks to the right of x = 10, from y = 190 (0) to y = 10 (100): major ticks are
    // TickMajorLength pixels long starting TickMargin pixels out, minor ticks per alignment.
    void straightScalePixels_data() {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("minorFrom");
        QTest::addColumn<int>("minorTo");
        QTest::newRow("inside") << int(itmnaInside) << 15 << 17;
        QTest::newRow("center") << int(itmnaCenter) << 17 << 19;
        QTest::newRow("outside") << int(itmnaOutside) << 19 << 21;
    }
    void straightScalePixels() {
        QFETCH(int, alignment);
        QFETCH(int, minorFrom);
        QFETCH(int, minorTo);
        TestScale w;
        w.SetBackGroundColor(clWhite);
        w.SetShowTicksAxis(false);
        w.SetShowTickLabels(false);
        w.SetTickMinorAlignment(TiTickMinorAlignment(alignment));
        TiScaleLayout& layout = w.Scale()->Layout;
        layout.PixelLow = 190;
        layout.PixelHigh = 10;
        layout.BaseLine = 10;
        const QImage img = w.RenderToImage();
        for (int y : {190, 145, 100, 55, 10}) {
            for (int x = 15; x <= 21; ++x)
                QVERIFY2(IsBlack(img, x, y), qPrintable(QStringLiteral("major %1,%2").arg(x).arg(y)));
            QVERIFY(IsWhite(img, 14, y));
            QVERIFY(IsWhite(img, 22, y));
        }
        // First minor tick of 0..25: value 5 at y = 190 - 9.
        for (int x = 14; x <= 22; ++x)
            QCOMPARE(IsBlack(img, x, 181), x >= minorFrom && x <= minorTo);
        QVERIFY(IsWhite(img, 18, 184)); // nothing between ticks
    }

    void straightScaleOtherSideAxisAndStyles() {
        TestScale w;
        w.resize(200, 60);
        w.SetBackGroundColor(clSilver);
        w.SetShowTickLabels(false);
        w.SetShowTicksMinor(false);
        w.SetTickMajorStyle(ibsRaised);
        TiScaleLayout& layout = w.Scale()->Layout;
        layout.Orientation = ioHorizontal;
        layout.Side = iosTopLeft;
        layout.PixelLow = 10;
        layout.PixelHigh = 190;
        layout.BaseLine = 50;
        QImage img = w.RenderToImage();
        // Raised ticks above y = 50 - 5: white line, black one pixel to the right.
        for (int x : {10, 55, 100, 145, 190}) {
            for (int y = 39; y <= 45; ++y) {
                QVERIFY(IsWhite(img, x, y));
                if (x < 190)
                    QVERIFY(IsBlack(img, x + 1, y));
            }
            QVERIFY(!IsWhite(img, x, 46));
        }
        // The axis: a line at y = 50 - 7 and one further out, along the scale's span only.
        QVERIFY(IsBlack(img, 20, 43) && IsBlack(img, 20, 42) && !IsBlack(img, 20, 41) &&
                !IsBlack(img, 20, 44));
        QVERIFY(IsBlack(img, 189, 43) && !IsBlack(img, 195, 43) && !IsBlack(img, 5, 43));

        // Disabled: lowered ticks (black, then white one pixel to the right), ticks of the first and last
        // hidden.
        w.drawDisabled = true;
        w.SetShowTicksMajorFirstLast(false);
        img = w.RenderToImage();
        QVERIFY(IsBlack(img, 100, 40) && IsWhite(img, 101, 40));
        QCOMPARE(img.pixel(10, 40), img.pixel(5, 40));
    }

    void straightScaleLabels() {
        TestScale w;
        w.SetBackGroundColor(clWhite);
        w.SetShowTicksAxis(false);
        TiScaleLayout& layout = w.Scale()->Layout;
        layout.PixelLow = 190;
        layout.PixelHigh = 10;
        layout.BaseLine = 10;
        const QImage img = w.RenderToImage();
        // Labels start beyond x = 10 + 5 + 7 + 5 and are centred on their tick rows.
        auto dark = [&](int x0, int x1, int y0, int y1) {
            int n = 0;
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x)
                    n += qGray(img.pixel(x, y)) < 128;
            return n;
        };
        QVERIFY(dark(27, 59, 95, 105) > 0);
        QCOMPARE(dark(22, 26, 0, 199), 0);
        QCOMPARE(dark(27, 59, 110, 135), 0);
    }
};

QTEST_MAIN(TstPosition)
#include "tst_position.moc"
