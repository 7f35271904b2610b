// The trend window's readability: where its axes tick and what the ticks say (tables, without a window),
// and the window over a prepared history: round and coloured axes, a range set by hand, the range box
// following zoom and pan, the zone of its times, and the exported picture's title and legend.
#include "HistoryTestData.h"
#include "TrendTicks.h"
#include "TrendWindow.h"

#include <QApplication>
#include <QCategoryAxis>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>

#include <cmath>
#include <ctime>
#include <functional>

namespace {

const DeviceKey kCom4{QStringLiteral("COM4"), 1};
const DeviceKey kCom5{QStringLiteral("COM5"), 1};

qint64 Utc(const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate).toMSecsSinceEpoch();
}

// Ten minutes of COM4#1 up to `now`, a block of each kind every second: about 100 A on the phases with a
// one-second spike to 250.0 A five minutes ago, 380.0 V, 60 °C, TEMP MAX for a minute from 200 s ago.
// COM5#1 has 100.0 A on phase R every 6 s, with no reading from 200 s to 140 s ago.
void Prepare(const QString& path, qint64 now) {
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    std::vector<BlockSample> blocks;
    for (int s = 600; s >= 0; --s) {
        const qint64 t = now - s * 1000;
        blocks.push_back(
            Block(t, 20, {{20, quint16(s == 300 ? 2500 : 1000)}, {21, 990}, {22, 1010}, {23, 3800}}, kCom4));
        blocks.push_back(Block(t + 1, 10, {{12, 60}, {13, quint16(s <= 200 && s > 140 ? 0x10 : 0)}}, kCom4));
        blocks.push_back(Block(t + 2, 0, {{0, 500}, {3, 1}}, kCom4));
    }
    for (int s = 600; s >= 0; s -= 6)
        if (s > 200 || s < 140)
            blocks.push_back(Block(now - s * 1000, 20, {{20, 1000}}, kCom5));
    QVERIFY(store.Append(blocks, {}));
}

QLineSeries* SeriesOf(const TTrendWindow& trend, Quantity q) {
    for (QAbstractSeries* s : trend.ChartView()->chart()->series())
        if (s->name() == QuantityName(q))
            return static_cast<QLineSeries*>(s);
    return nullptr;
}

// 1, 2 or 5 × 10ⁿ.
bool Round(double step) {
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    return std::abs(mantissa - 1) < 1e-6 || std::abs(mantissa - 2) < 1e-6 || std::abs(mantissa - 5) < 1e-6;
}

} // namespace

class TestTrend : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void valueTicks_data();
    void valueTicks();
    void autoRange();
    void timeTicks_data();
    void timeTicks();
    void axesRoundAndColoured();
    void manualRange();
    void rangeBoxFollowsZoomAndPan();
    void zoneChoice();
    void readoutBetweenReadings();
    void exportHasTitleAndLegend();

private:
    // A window over the prepared file, shown and drawn.
    std::unique_ptr<TTrendWindow> openTrend();

    QTemporaryDir m_dir;
    QString m_path;
    qint64 m_now = 0;
};

void TestTrend::initTestCase() {
    // Local time 8 hours from UTC, so the zone choice shows.
    qputenv("TZ", "Asia/Shanghai");
    tzset();
    m_path = m_dir.filePath(QStringLiteral("trend.sqlite"));
    m_now = QDateTime::currentMSecsSinceEpoch();
    Prepare(m_path, m_now);
}

std::unique_ptr<TTrendWindow> TestTrend::openTrend() {
    auto trend = std::make_unique<TTrendWindow>(m_path);
    trend->show();
    if (!QTest::qWaitForWindowExposed(trend.get()))
        return nullptr;
    trend->ShowDevice(kCom4);
    trend->SetPreset(TTrendWindow::Hour1);
    return trend;
}

void TestTrend::valueTicks_data() {
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("maxTicks");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("decimals");
    QTest::newRow("0 to 100, six ticks") << 0.0 << 100.0 << 6 << 20.0 << 0;
    // 20 would give six ticks with both ends.
    QTest::newRow("0 to 100, five ticks") << 0.0 << 100.0 << 5 << 50.0 << 0;
    QTest::newRow("margins off round ends") << -5.0 << 105.0 << 9 << 20.0 << 0;
    QTest::newRow("volts near 380") << 374.17 << 381.43 << 9 << 1.0 << 0;
    QTest::newRow("a tenth around 100") << 99.95 << 100.05 << 6 << 0.02 << 2;
    QTest::newRow("thousandths") << 0.001 << 0.0049 << 5 << 0.001 << 3;
    QTest::newRow("halves") << 379.0 << 381.0 << 5 << 0.5 << 1;
    QTest::newRow("millions") << 0.0 << 2e6 << 5 << 5e5 << 0;
    QTest::newRow("below zero") << -250.0 << -10.0 << 6 << 50.0 << 0;
    QTest::newRow("nothing to span") << 5.0 << 5.0 << 6 << 1.0 << 0;
}

void TestTrend::valueTicks() {
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, maxTicks);
    QFETCH(double, step);
    QFETCH(int, decimals);
    const ValueTicks ticks = ValueTicksFor(low, high, maxTicks);
    QCOMPARE(ticks.step, step);
    QCOMPARE(ticks.decimals, decimals);
}

void TestTrend::autoRange() {
    QCOMPARE(AutoRange(0, 100), std::pair(-5.0, 105.0));
    // A flat line is not drawn on the plot's border.
    QCOMPARE(AutoRange(380, 380), std::pair(379.0, 381.0));
}

void TestTrend::timeTicks_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("maxTicks");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("first"); // the first tick, UTC

    QTest::newRow("seconds") << QByteArray("UTC") << "2026-12-10T08:00:05Z"
                             << "2026-12-10T08:00:40Z" << 8
                             << QStringList{"08:00:05", "08:00:10", "08:00:15", "08:00:20",
                                            "08:00:25", "08:00:30", "08:00:35", "08:00:40"}
                             << "2026-12-10T08:00:05Z";
    QTest::newRow("minutes") << QByteArray("UTC") << "2026-12-10T08:02:22Z"
                             << "2026-12-10T08:07:28Z" << 8
                             << QStringList{"08:03", "08:04", "08:05", "08:06", "08:07"}
                             << "2026-12-10T08:03:00Z";
    QTest::newRow("quarters in local time")
        << QByteArray("Asia/Shanghai") << "2026-12-10T08:00:00Z"
        << "2026-12-10T09:00:00Z" << 5 << QStringList{"16:00", "16:15", "16:30", "16:45", "17:00"}
        << "2026-12-10T08:00:00Z";
    // Whole hours of a zone half an hour off UTC are half hours in UTC.
    QTest::newRow("hours of a half-hour zone")
        << QByteArray("Asia/Kolkata") << "2026-12-10T08:00:00Z"
        << "2026-12-10T11:00:00Z" << 4 << QStringList{"14:00", "15:00", "16:00"} << "2026-12-10T08:30:00Z";
    QTest::newRow("past midnight, dated")
        << QByteArray("UTC") << "2026-12-10T21:00:00Z"
        << "2026-12-11T03:00:00Z" << 8
        << QStringList{"12-10 21:00", "12-10 22:00", "12-10 23:00", "12-11 00:00",
                       "12-11 01:00", "12-11 02:00", "12-11 03:00"}
        << "2026-12-10T21:00:00Z";
    // The same hours of UTC stay within a day in UTC, and pass midnight in Shanghai.
    QTest::newRow("midnight of the zone shown")
        << QByteArray("Asia/Shanghai") << "2026-12-10T12:00:00Z"
        << "2026-12-10T18:00:00Z" << 8
        << QStringList{"12-10 20:00", "12-10 21:00", "12-10 22:00", "12-10 23:00",
                       "12-11 00:00", "12-11 01:00", "12-11 02:00"}
        << "2026-12-10T12:00:00Z";
    QTest::newRow("a day in 6 hours")
        << QByteArray("Asia/Shanghai") << "2026-12-10T00:00:00Z"
        << "2026-12-11T00:30:00Z" << 6
        << QStringList{"12-10 12:00", "12-10 18:00", "12-11 00:00", "12-11 06:00"} << "2026-12-10T04:00:00Z";
    QTest::newRow("a week in days") << QByteArray("UTC") << "2026-12-03T12:00:00Z"
                                    << "2026-12-10T12:00:00Z" << 8
                                    << QStringList{"12-04", "12-05", "12-06", "12-07",
                                                   "12-08", "12-09", "12-10"}
                                    << "2026-12-04T00:00:00Z";
    // Fortnights begin on Mondays; the span passes a new year.
    QTest::newRow("fortnights") << QByteArray("UTC") << "2026-11-01T00:00:00Z"
                                << "2027-01-10T00:00:00Z" << 8
                                << QStringList{"2026-11-09", "2026-11-23", "2026-12-07", "2026-12-21",
                                               "2027-01-04"}
                                << "2026-11-09T00:00:00Z";
    QTest::newRow("months") << QByteArray("UTC") << "2026-01-15T00:00:00Z"
                            << "2026-12-10T00:00:00Z" << 8
                            << QStringList{"2026-03", "2026-05", "2026-07", "2026-09", "2026-11"}
                            << "2026-03-01T00:00:00Z";
    // 03:00 summer time becomes 02:00 winter time: the hour from 02:00 passes twice.
    QTest::newRow("clocks go back") << QByteArray("Europe/Berlin") << "2026-10-24T23:30:00Z"
                                    << "2026-10-25T01:30:00Z" << 5
                                    << QStringList{"01:30", "02:00", "02:30", "02:00 CET", "02:30 CET"}
                                    << "2026-10-24T23:30:00Z";
    // 02:00 winter time becomes 03:00 summer time: no tick in the hour that never was.
    QTest::newRow("clocks go forward")
        << QByteArray("Europe/Berlin") << "2026-03-29T00:00:00Z"
        << "2026-03-29T02:00:00Z" << 5 << QStringList{"01:00", "01:30", "03:00", "03:30", "04:00"}
        << "2026-03-29T00:00:00Z";
}

void TestTrend::timeTicks() {
    QFETCH(QByteArray, zone);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, maxTicks);
    QFETCH(QStringList, labels);
    QFETCH(QString, first);
    const QTimeZone tz(zone);
    QVERIFY(tz.isValid());
    const QList<TimeTick> ticks = TimeTicks(Utc(from), Utc(to), maxTicks, tz);
    QStringList shown;
    for (const TimeTick& tick : ticks)
        shown << tick.label;
    QCOMPARE(shown, labels);
    QCOMPARE(ticks.first().utcMs, Utc(first));
    for (qsizetype i = 1; i < ticks.size(); ++i)
        QVERIFY(ticks[i].utcMs > ticks[i - 1].utcMs);
    QVERIFY(ticks.last().utcMs <= Utc(to));
}

void TestTrend::axesRoundAndColoured() {
    auto trend = openTrend();
    QVERIFY(trend);
    trend->SetQuantities({Quantity::CurrentR, Quantity::CurrentS, Quantity::Temperature});
    trend->SetPreset(TTrendWindow::Hour1);
    QTRY_COMPARE(trend->Columns(), int(trend->ChartView()->chart()->plotArea().width()));

    // Value axes tick at round multiples, with as many decimals as the step needs.
    for (const QString& unit : {QStringLiteral("A"), QStringLiteral("°C")}) {
        const QValueAxis* axis = trend->ValueAxis(unit);
        QVERIFY(axis);
        QCOMPARE(axis->tickType(), QValueAxis::TicksDynamic);
        QCOMPARE(axis->tickAnchor(), 0.0);
        QVERIFY2(Round(axis->tickInterval()), qPrintable(QString::number(axis->tickInterval())));
        QCOMPARE(axis->labelFormat(), QStringLiteral("%.%1f").arg(StepDecimals(axis->tickInterval())));
    }

    // The time axis ticks on whole minutes of the zone shown, each labelled with its own time.
    QCategoryAxis* time = trend->TimeAxis();
    QVERIFY(time);
    const QStringList labels = time->categoriesLabels();
    QVERIFY2(labels.size() >= 3, qPrintable(labels.join(' ')));
    for (const QString& label : labels) {
        const qint64 t = qint64(time->endValue(label));
        QVERIFY(t >= trend->From() && t <= trend->To());
        QCOMPARE(t % 60000, 0);
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(t, QTimeZone::systemTimeZone());
        QVERIFY2(label.endsWith(at.toString(QStringLiteral("HH:mm"))), qPrintable(label));
    }

    // One quantity on an axis: the axis in its colour. Several: each named in its colour.
    const QValueAxis* celsius = trend->ValueAxis(QStringLiteral("°C"));
    const QColor temperature = SeriesOf(*trend, Quantity::Temperature)->pen().color();
    QCOMPARE(celsius->labelsColor(), temperature);
    QCOMPARE(celsius->linePenColor(), temperature);
    QVERIFY(celsius->titleText().contains(QuantityName(Quantity::Temperature)));
    const QString amps = trend->ValueAxis(QStringLiteral("A"))->titleText();
    for (Quantity q : {Quantity::CurrentR, Quantity::CurrentS})
        QVERIFY2(amps.contains(SeriesOf(*trend, q)->pen().color().name()) && amps.contains(QuantityName(q)),
                 qPrintable(amps));
}

void TestTrend::manualRange() {
    auto trend = openTrend();
    QVERIFY(trend);
    QValueAxis* amps = trend->ValueAxis(QStringLiteral("A"));
    QVERIFY(amps);
    // The automatic range holds the data, 99 to 250 A, with a margin.
    QVERIFY2(amps->min() > 80 && amps->min() < 99 && amps->max() > 250 && amps->max() < 270,
             qPrintable(QStringLiteral("%1 %2").arg(amps->min()).arg(amps->max())));

    QVERIFY(trend->SetAxisRange(QStringLiteral("A"), std::pair(0.0, 300.0)));
    // New data, a reload and other quantities keep it; the other axes stay automatic.
    trend->Reload();
    trend->SetQuantities({Quantity::CurrentR, Quantity::Voltage});
    amps = trend->ValueAxis(QStringLiteral("A"));
    QCOMPARE(std::pair(amps->min(), amps->max()), std::pair(0.0, 300.0));
    QVERIFY(Round(amps->tickInterval()));
    const QValueAxis* volts = trend->ValueAxis(QStringLiteral("V"));
    QVERIFY(volts->min() > 370 && volts->max() < 390);
    // An empty or reversed range changes nothing.
    QVERIFY(!trend->SetAxisRange(QStringLiteral("A"), std::pair(10.0, 10.0)));
    QCOMPARE(std::pair(amps->min(), amps->max()), std::pair(0.0, 300.0));

    // The axis controls show it, and set it.
    auto* axisBox = trend->findChild<QComboBox*>(QStringLiteral("axis"));
    auto* automatic = trend->findChild<QCheckBox*>(QStringLiteral("axisAuto"));
    auto* low = trend->findChild<QDoubleSpinBox*>(QStringLiteral("axisMin"));
    auto* high = trend->findChild<QDoubleSpinBox*>(QStringLiteral("axisMax"));
    QVERIFY(axisBox && automatic && low && high);
    QCOMPARE(axisBox->currentText(), QStringLiteral("A"));
    QVERIFY(!automatic->isChecked());
    QCOMPARE(std::pair(low->value(), high->value()), std::pair(0.0, 300.0));
    high->setValue(200);
    QCOMPARE(amps->max(), 200.0);
    low->setValue(250); // above the maximum: refused, and the box shows the axis again
    QCOMPARE(amps->min(), 0.0);
    QCOMPARE(low->value(), 0.0);
    automatic->setChecked(true);
    QVERIFY(amps->min() > 80 && amps->max() > 250);
    QVERIFY(!low->isEnabled());

    axisBox->setCurrentText(QStringLiteral("V"));
    emit axisBox->activated(axisBox->currentIndex());
    automatic->setChecked(false); // by hand from where the axis stands
    QCOMPARE(std::pair(volts->min(), volts->max()), std::pair(low->value(), high->value()));
    low->setValue(300);
    QCOMPARE(volts->min(), 300.0);
}

void TestTrend::rangeBoxFollowsZoomAndPan() {
    auto trend = openTrend();
    QVERIFY(trend);
    auto* preset = trend->findChild<QComboBox*>(QStringLiteral("preset"));
    auto* from = trend->findChild<QDateTimeEdit*>(QStringLiteral("from"));
    auto* to = trend->findChild<QDateTimeEdit*>(QStringLiteral("to"));
    QVERIFY(preset && from && to);
    const auto shows = [&] {
        return from->text() == LocalTimeText(trend->From()).left(19) &&
               to->text() == LocalTimeText(trend->To()).left(19);
    };
    trend->SetPreset(TTrendWindow::Hour1);
    QCOMPARE(preset->currentIndex(), int(TTrendWindow::Hour1));
    QVERIFY(shows());

    // The wheel zooms: the box says the span is the operator's own and shows it.
    TTrendChartView* view = trend->ChartView();
    const QPoint centre = view->mapFromScene(view->chart()->plotArea().center());
    QWheelEvent wheel(centre, view->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    QVERIFY(!trend->Following());
    QCOMPARE(preset->currentIndex(), -1);
    QCOMPARE(preset->currentText(), QString());
    QVERIFY(shows());
    // A drag pans.
    const qint64 before = trend->From();
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseMove(view->viewport(), centre + QPoint(80, 0));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, centre + QPoint(80, 0));
    QVERIFY(trend->From() < before);
    QVERIFY(shows());

    // A bound typed in sets the span; one typed past the other keeps its length.
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(m_now - 400000).addMSecs(-(m_now % 1000));
    from->setDateTime(start);
    QCOMPARE(trend->From(), start.toMSecsSinceEpoch());
    const qint64 span = trend->To() - trend->From();
    to->setDateTime(start.addSecs(-60));
    QCOMPARE(trend->To(), start.toMSecsSinceEpoch() - 60000);
    QCOMPARE(trend->To() - trend->From(), span);
    QVERIFY(shows());

    // Following again comes back to the preset last chosen.
    trend->SetFollow(true);
    QCOMPARE(preset->currentIndex(), int(TTrendWindow::Hour1));
    QVERIFY(trend->Following() && trend->To() >= m_now && shows());
}

void TestTrend::zoneChoice() {
    auto trend = openTrend();
    QVERIFY(trend);
    const QRectF plot = trend->ChartView()->chart()->plotArea();
    const int x = int(plot.width() / 2);
    const qint64 at = trend->From() + qint64(double(trend->To() - trend->From()) * (x + 0.5) / plot.width());
    const auto timeText = [&](const QTimeZone& zone, qint64 t) {
        return QDateTime::fromMSecsSinceEpoch(t, zone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    auto* from = trend->findChild<QDateTimeEdit*>(QStringLiteral("from"));
    auto* zoneBox = trend->findChild<QComboBox*>(QStringLiteral("zone"));
    QVERIFY(from && zoneBox);

    for (const ShownZone zone : {ShownZone::Local, ShownZone::Utc}) {
        trend->SetZone(zone);
        const QTimeZone tz = zone == ShownZone::Utc ? QTimeZone::utc() : QTimeZone("Asia/Shanghai");
        QCOMPARE(zoneBox->currentData().toInt(), int(zone));
        const QString title = trend->TimeAxis()->titleText();
        QVERIFY2(title.contains(zone == ShownZone::Utc ? "UTC" : "Asia/Shanghai"), qPrintable(title));
        QCategoryAxis* time = trend->TimeAxis();
        QVERIFY(!time->categoriesLabels().isEmpty());
        for (const QString& label : time->categoriesLabels()) {
            const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64(time->endValue(label)), tz);
            QVERIFY2(label.endsWith(t.toString(QStringLiteral("HH:mm"))), qPrintable(label));
        }
        QVERIFY2(trend->ReadoutAt(x).startsWith(timeText(tz, at)), qPrintable(trend->ReadoutAt(x)));
        QCOMPARE(from->text(), timeText(tz, trend->From()));
        QVERIFY(trend->ExportTitle().value(1).contains(timeText(tz, trend->From())));
    }
}

// The cursor between two readings the line joins reads the nearer one; in a pause of the recording, none.
void TestTrend::readoutBetweenReadings() {
    auto trend = openTrend();
    QVERIFY(trend);
    trend->ShowDevice(kCom5);
    QCOMPARE(trend->Device(), std::optional<DeviceKey>(kCom5));
    trend->SetQuantities({Quantity::CurrentR});
    trend->SetRange(m_now - 300000, m_now);
    trend->Reload();
    const double width = trend->ChartView()->chart()->plotArea().width();
    const auto plotX = [&](qint64 t) {
        return int(double(t - trend->From()) / double(trend->To() - trend->From()) * width);
    };
    const QString name = QuantityName(Quantity::CurrentR);
    // Readings at 252 s and 246 s ago.
    QVERIFY2(trend->ReadoutAt(plotX(m_now - 249000)).contains(name + QStringLiteral(" 100.0 A")),
             qPrintable(trend->ReadoutAt(plotX(m_now - 249000))));
    QVERIFY2(trend->ReadoutAt(plotX(m_now - 170000)).contains(name + QStringLiteral(" —")),
             qPrintable(trend->ReadoutAt(plotX(m_now - 170000))));
}

void TestTrend::exportHasTitleAndLegend() {
    auto trend = openTrend();
    QVERIFY(trend);
    const QList<Quantity> shown{Quantity::CurrentR, Quantity::Voltage, Quantity::Temperature};
    trend->SetQuantities(shown);
    QTRY_COMPARE(trend->Columns(), int(trend->ChartView()->chart()->plotArea().width()));
    // Qt Charts deletes the drawings of the axes taken away later; by the time a user exports, they are.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Exported at once, before the window has laid out the new range: the picture has it all the same.
    trend->SetRange(m_now - 250000, m_now - 100000);
    trend->Reload();
    const QString png = m_dir.filePath(QStringLiteral("trend.png"));
    QVERIFY(trend->ExportPng(png));
    const QStringList title = trend->ExportTitle();
    QCOMPARE(title.size(), 2);
    QVERIFY2(title[0].contains(QStringLiteral("COM4#1")), qPrintable(title[0]));
    QCOMPARE(title[1], QStringLiteral("%1 – %2 (Asia/Shanghai)")
                           .arg(LocalTimeText(trend->From()).left(19), LocalTimeText(trend->To()).left(19)));

    const QImage image = QImage(png).convertToFormat(QImage::Format_RGB32);
    // The chart as the window shows it once laid out (its timers aside), whole, somewhere below the top.
    QCoreApplication::sendPostedEvents();
    const QImage chart = trend->ChartView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.width(), chart.width());
    int top = -1;
    for (int y = 0; y + chart.height() <= image.height() && top < 0; ++y)
        if (image.copy(0, y, chart.width(), chart.height()) == chart)
            top = y;
    QVERIFY(top > 0);
    // Above the chart, the title: dark text on white. Below it, the legend: each quantity's line, and the
    // alarm band that the span holds.
    const auto anywhere = [&](int from, int to, const std::function<bool(QColor)>& wanted) {
        for (int y = from; y < to; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (wanted(image.pixelColor(x, y)))
                    return true;
        return false;
    };
    QVERIFY(anywhere(0, top, [](QColor c) { return c.lightness() < 80; }));
    const int legendTop = top + chart.height();
    QVERIFY(legendTop < image.height());
    for (Quantity q : shown) {
        const QColor colour = SeriesOf(*trend, q)->pen().color();
        QVERIFY2(anywhere(legendTop, image.height(), [&](QColor c) { return c == colour; }),
                 qPrintable(QuantityName(q)));
    }
    QVERIFY(anywhere(legendTop, image.height(), [](QColor c) {
        return c.red() == 255 && qAbs(c.green() - 210) < 4 && c.green() == c.blue();
    }));
}

QTEST_MAIN(TestTrend)
#include "tst_trend.moc"
