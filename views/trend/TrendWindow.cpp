#include "TrendWindow.h"

#include "HistoryCsv.h"
#include "HistoryText.h"
#include "ToolWindow.h"
#include "TrendTicks.h"

#include <QCategoryAxis>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr qint64 kSecondMs = 1000;
constexpr qint64 kMinuteMs = 60 * kSecondMs;
constexpr qint64 kHourMs = 60 * kMinuteMs;
constexpr qint64 kDayMs = 24 * kHourMs;
// The narrowest span a wheel zooms into.
constexpr qint64 kShortestSpanMs = 10 * kSecondMs;

qint64 PresetSpan(TTrendWindow::Preset preset) {
    switch (preset) {
    case TTrendWindow::Minutes5:
        return 5 * kMinuteMs;
    case TTrendWindow::Hour1:
        return kHourMs;
    case TTrendWindow::Hours8:
        return 8 * kHourMs;
    case TTrendWindow::Hours24:
        return kDayMs;
    case TTrendWindow::Days7:
        return 7 * kDayMs;
    case TTrendWindow::Days30:
        return 30 * kDayMs;
    case TTrendWindow::All:
        break;
    }
    return 0;
}

QColor QuantityColor(Quantity q) {
    switch (q) {
    case Quantity::CurrentR:
        return QColor(200, 40, 40);
    case Quantity::CurrentS:
        return QColor(40, 140, 40);
    case Quantity::CurrentT:
        return QColor(40, 70, 200);
    case Quantity::Voltage:
        return QColor(160, 100, 0);
    case Quantity::Temperature:
        return QColor(180, 0, 180);
    case Quantity::OutputQuantity:
        return QColor(0, 150, 160);
    case Quantity::InputQuantity:
        return QColor(90, 90, 90);
    default:
        return QColor(0, 0, 0);
    }
}

qint64 Now() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString UnitOf(Quantity q) {
    return QString::fromUtf8(Info(q).unit);
}

// Alarm periods are shaded in this colour, on the chart and in the exported legend.
const QColor kAlarmBand(255, 0, 0, 45);

} // namespace

TTrendChartView::TTrendChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setMouseTracking(true);
    setRenderHint(QPainter::Antialiasing, false);
    setDragMode(QGraphicsView::NoDrag);
}

void TTrendChartView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    const QPointF at = mapToScene(event->position().toPoint());
    emit zoomRequested(at.x() - chart()->plotArea().left(), std::pow(0.8, steps));
    event->accept();
}

void TTrendChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragX = event->position().x();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void TTrendChartView::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragX) {
        emit panRequested(event->position().x() - *m_dragX);
        m_dragX = event->position().x();
    }
    const QRectF plot = chart()->plotArea();
    const QPointF at = mapToScene(event->position().toPoint());
    const int x = plot.contains(at) ? int(at.x() - plot.left()) : -1;
    if (x != m_cursorX) {
        m_cursorX = x;
        viewport()->update();
        emit cursorMoved(x);
    }
    event->accept();
}

void TTrendChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_dragX) {
        m_dragX.reset();
        unsetCursor();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void TTrendChartView::leaveEvent(QEvent* event) {
    m_cursorX = -1;
    viewport()->update();
    emit cursorMoved(-1);
    QChartView::leaveEvent(event);
}

void TTrendChartView::drawForeground(QPainter* painter, const QRectF& rect) {
    QChartView::drawForeground(painter, rect);
    const QRectF plot = chart()->plotArea();
    if (m_data && m_data->columns > 0) {
        // Consecutive columns with an alarm make one band.
        const double width = plot.width() / m_data->columns;
        int start = -1;
        for (int c = 0; c <= m_data->columns; ++c) {
            const bool on = c < m_data->columns && m_data->alarms[size_t(c)] != 0;
            if (on && start < 0)
                start = c;
            if (!on && start >= 0) {
                painter->fillRect(
                    QRectF(plot.left() + start * width, plot.top(), (c - start) * width, plot.height()),
                    kAlarmBand);
                start = -1;
            }
        }
    }
    if (m_cursorX >= 0) {
        painter->setPen(QPen(QColor(60, 60, 60), 0, Qt::DashLine));
        const double x = plot.left() + m_cursorX + 0.5;
        painter->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
}

const QList<Quantity>& TTrendWindow::Offered() {
    static const QList<Quantity> offered = {
        Quantity::CurrentR,    Quantity::CurrentS,       Quantity::CurrentT,      Quantity::Voltage,
        Quantity::Temperature, Quantity::OutputQuantity, Quantity::InputQuantity, Quantity::InputSetting};
    return offered;
}

TTrendWindow::TTrendWindow(const QString& historyPath, QWidget* parent) : QWidget(parent, Qt::Window) {
    CloseOnEscape(this);
    setObjectName(QStringLiteral("trendWindow"));
    m_store.Open(historyPath, HistoryStore::Access::ReadOnly, &m_openError);

    m_device = new QComboBox(this);
    m_device->setObjectName(QStringLiteral("device"));
    m_preset = new QComboBox(this);
    m_preset->setObjectName(QStringLiteral("preset"));
    for (int preset = Minutes5; preset <= All; ++preset)
        m_preset->addItem(QString());
    m_follow = new QCheckBox(this);
    m_follow->setObjectName(QStringLiteral("follow"));
    m_csv = new QPushButton(this);
    m_csv->setObjectName(QStringLiteral("exportCsv"));
    m_png = new QPushButton(this);
    m_png->setObjectName(QStringLiteral("exportPng"));
    m_deviceLabel = new QLabel(this);
    m_rangeLabel = new QLabel(this);
    m_fromEdit = new QDateTimeEdit(this);
    m_fromEdit->setObjectName(QStringLiteral("from"));
    m_toEdit = new QDateTimeEdit(this);
    m_toEdit->setObjectName(QStringLiteral("to"));
    for (QDateTimeEdit* edit : {m_fromEdit, m_toEdit})
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_zoneBox = new QComboBox(this);
    m_zoneBox->setObjectName(QStringLiteral("zone"));
    m_zoneBox->addItem(QString(), int(ShownZone::Local));
    m_zoneBox->addItem(QStringLiteral("UTC"), int(ShownZone::Utc));

    auto* top = new QHBoxLayout;
    top->addWidget(m_deviceLabel);
    top->addWidget(m_device, 1);
    top->addWidget(m_rangeLabel);
    top->addWidget(m_preset);
    top->addWidget(m_fromEdit);
    top->addWidget(new QLabel(QStringLiteral("–"), this));
    top->addWidget(m_toEdit);
    top->addWidget(m_zoneBox);
    top->addWidget(m_follow);
    top->addStretch();
    top->addWidget(m_csv);
    top->addWidget(m_png);

    auto* boxes = new QHBoxLayout;
    for (Quantity q : Offered()) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QString::fromLatin1(Info(q).key));
        QPalette pal = box->palette();
        pal.setColor(QPalette::WindowText, QuantityColor(q));
        box->setPalette(pal);
        m_boxes << box;
        boxes->addWidget(box);
    }
    boxes->addStretch();
    m_axisLabel = new QLabel(this);
    m_axisBox = new QComboBox(this);
    m_axisBox->setObjectName(QStringLiteral("axis"));
    m_axisAuto = new QCheckBox(this);
    m_axisAuto->setObjectName(QStringLiteral("axisAuto"));
    m_axisMin = new QDoubleSpinBox(this);
    m_axisMin->setObjectName(QStringLiteral("axisMin"));
    m_axisMax = new QDoubleSpinBox(this);
    m_axisMax->setObjectName(QStringLiteral("axisMax"));
    for (QDoubleSpinBox* box : {m_axisMin, m_axisMax}) {
        box->setRange(-1e6, 1e6);
        box->setDecimals(2);
        // A range applies once its number is typed in, not at every digit.
        box->setKeyboardTracking(false);
    }
    boxes->addWidget(m_axisLabel);
    boxes->addWidget(m_axisBox);
    boxes->addWidget(m_axisAuto);
    boxes->addWidget(m_axisMin);
    boxes->addWidget(m_axisMax);

    m_chart = new QChart;
    m_chart->legend()->setVisible(false);
    m_time = new QCategoryAxis;
    m_time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_chart->addAxis(m_time, Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_view = new TTrendChartView(m_chart, this);
    m_view->SetData(&m_data);
    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("readout"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_readout->setMinimumHeight(m_readout->fontMetrics().height() * 2);
    m_readout->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(boxes);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_readout);

    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(40);
    connect(m_reloadTimer, &QTimer::timeout, this, &TTrendWindow::Reload);
    // One reduced column per pixel column: when the plot area's width changes (a resize, or axis labels
    // of another width after a new range), the data is reduced again to the new width.
    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF& plot) {
        if (!m_reloadOnShow && int(plot.width()) >= 1 && int(plot.width()) != m_data.columns)
            reloadSoon();
    });

    m_quantities = {Quantity::CurrentR, Quantity::CurrentS, Quantity::CurrentT, Quantity::Voltage};
    for (int i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setChecked(m_quantities.contains(Offered()[i]));
    rebuildSeries();

    connect(m_preset, &QComboBox::activated, this, [this](int index) { SetPreset(Preset(index)); });
    connect(m_follow, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            SetPreset(m_chosenPreset);
    });
    // A bound typed past the other keeps the span's length.
    connect(m_fromEdit, &QDateTimeEdit::dateTimeChanged, this, [this](const QDateTime& at) {
        const qint64 t = at.toMSecsSinceEpoch();
        SetRange(t, t < m_to ? m_to : t + (m_to - m_from));
    });
    connect(m_toEdit, &QDateTimeEdit::dateTimeChanged, this, [this](const QDateTime& at) {
        const qint64 t = at.toMSecsSinceEpoch();
        SetRange(t > m_from ? m_from : t - (m_to - m_from), t);
    });
    connect(m_zoneBox, &QComboBox::activated, this,
            [this] { SetZone(ShownZone(m_zoneBox->currentData().toInt())); });
    connect(m_axisBox, &QComboBox::activated, this, &TTrendWindow::showAxisChoice);
    connect(m_axisAuto, &QCheckBox::toggled, this, [this](bool on) {
        const QString unit = m_axisBox->currentText();
        const QValueAxis* axis = m_axes.value(unit);
        if (on || !axis)
            SetAxisRange(unit, std::nullopt);
        else // by hand from where the axis stands
            SetAxisRange(unit, std::pair(axis->min(), axis->max()));
    });
    for (QDoubleSpinBox* box : {m_axisMin, m_axisMax})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] {
            if (!SetAxisRange(m_axisBox->currentText(), std::pair(m_axisMin->value(), m_axisMax->value())))
                showAxisChoice();
        });
    connect(m_device, &QComboBox::activated, this, [this] { Reload(); });
    for (QCheckBox* box : m_boxes)
        connect(box, &QCheckBox::toggled, this, [this] {
            QList<Quantity> chosen;
            for (int i = 0; i < m_boxes.size(); ++i)
                if (m_boxes[i]->isChecked())
                    chosen << Offered()[i];
            SetQuantities(chosen);
        });
    connect(m_csv, &QPushButton::clicked, this, &TTrendWindow::chooseCsv);
    connect(m_png, &QPushButton::clicked, this, &TTrendWindow::choosePng);
    connect(m_view, &TTrendChartView::zoomRequested, this, &TTrendWindow::zoom);
    connect(m_view, &TTrendChartView::panRequested, this, &TTrendWindow::pan);
    connect(m_view, &TTrendChartView::cursorMoved, this, &TTrendWindow::showReadout);

    retranslateUi();
    resize(1100, 640);
    m_preset->setCurrentIndex(Hour1);
    m_to = Now();
    m_from = m_to - kHourMs;
    showSpan();
}

TTrendWindow::~TTrendWindow() = default;

void TTrendWindow::retranslateUi() {
    setWindowTitle(tr("趋势"));
    const QString presets[] = {tr("5 分钟"), tr("1 小时"), tr("8 小时"), tr("24 小时"),
                               tr("7 天"),   tr("30 天"),  tr("全部")};
    for (int preset = Minutes5; preset <= All; ++preset)
        m_preset->setItemText(preset, presets[preset]);
    // Shown when the span is none of the presets (zoomed, panned or typed in).
    m_preset->setPlaceholderText(tr("自定义"));
    m_zoneBox->setItemText(0, tr("本地时间"));
    m_zoneBox->setToolTip(tr("时间的时区"));
    m_follow->setText(tr("跟随最新"));
    m_csv->setText(tr("导出CSV…"));
    m_png->setText(tr("导出图片…"));
    m_deviceLabel->setText(tr("设备："));
    m_rangeLabel->setText(tr("范围："));
    m_axisLabel->setText(tr("纵轴："));
    m_axisAuto->setText(tr("自动"));
    m_axisMin->setPrefix(tr("最小 "));
    m_axisMax->setPrefix(tr("最大 "));
    for (int i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setText(QuantityName(Offered()[i]));
}

void TTrendWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi();
        // The series are named and the read-out made in the language in force, from the data shown.
        drawSeries();
        showReadout(m_view->CursorX());
    }
    QWidget::changeEvent(event);
}

std::optional<DeviceKey> TTrendWindow::Device() const {
    const int id = deviceId();
    if (!m_devices.contains(id))
        return std::nullopt;
    return m_devices.value(id);
}

int TTrendWindow::deviceId() const {
    return m_device->currentData().toInt();
}

bool TTrendWindow::Following() const {
    return m_follow->isChecked();
}

void TTrendWindow::ShowDevice(const DeviceKey& device) {
    if (!m_store.IsOpen()) {
        showReadout(-1);
        return;
    }
    m_devices = m_store.Devices();
    const QSignalBlocker block(m_device);
    m_device->clear();
    QList<int> ids = m_devices.keys();
    std::sort(ids.begin(), ids.end());
    for (int id : ids)
        m_device->addItem(m_devices.value(id).Name(), id);
    int index = m_device->findText(device.Name());
    std::optional<std::pair<qint64, qint64>> span;
    if (index >= 0) {
        span = m_store.BlockSpan(m_device->itemData(index).toInt());
    } else {
        // The newest device's history, until the current one has some.
        for (int i = 0; i < m_device->count(); ++i) {
            const auto s = m_store.BlockSpan(m_device->itemData(i).toInt());
            if (s && (!span || s->second > span->second)) {
                span = s;
                index = i;
            }
        }
    }
    m_device->setCurrentIndex(std::max(index, 0));
    const qint64 length = PresetSpan(m_chosenPreset);
    // A history that ended a while ago opens on its end rather than on an empty span before now.
    if (span && length > 0 && span->second < Now() - length) {
        SetRange(span->second - length, span->second + length / 50);
        return;
    }
    SetPreset(m_chosenPreset);
}

void TTrendWindow::SetPreset(Preset preset) {
    {
        const QSignalBlocker blockPreset(m_preset);
        const QSignalBlocker blockFollow(m_follow);
        m_preset->setCurrentIndex(preset);
        m_follow->setChecked(true);
    }
    m_chosenPreset = preset;
    qint64 span = PresetSpan(preset);
    if (preset == All) {
        const auto s = m_store.IsOpen() ? m_store.BlockSpan(deviceId()) : std::nullopt;
        span = s ? std::max(Now() - s->first, kShortestSpanMs) : kHourMs;
    }
    followNewest(span);
}

void TTrendWindow::followNewest(qint64 span) {
    const qint64 now = Now();
    // A little room after now, so the newest reading is not on the border.
    m_to = now + span / 50;
    m_from = now - span;
    showSpan();
    Reload();
}

void TTrendWindow::showSpan() {
    const Qt::TimeSpec zone = m_zone == ShownZone::Utc ? Qt::UTC : Qt::LocalTime;
    for (auto [edit, t] : {std::pair(m_fromEdit, m_from), std::pair(m_toEdit, m_to)}) {
        const QSignalBlocker block(edit);
        edit->setTimeSpec(zone);
        edit->setDateTime(QDateTime::fromMSecsSinceEpoch(t, zone));
    }
}

void TTrendWindow::SetRange(qint64 from, qint64 to) {
    if (to - from < kShortestSpanMs) {
        const qint64 middle = from + (to - from) / 2;
        from = middle - kShortestSpanMs / 2;
        to = from + kShortestSpanMs;
    }
    {
        const QSignalBlocker blockFollow(m_follow);
        const QSignalBlocker blockPreset(m_preset);
        m_follow->setChecked(false);
        m_preset->setCurrentIndex(-1);
    }
    m_from = from;
    m_to = to;
    showSpan();
    reloadSoon();
}

void TTrendWindow::SetFollow(bool follow) {
    m_follow->setChecked(follow);
}

void TTrendWindow::SetZone(ShownZone zone) {
    m_zone = zone;
    m_zoneBox->setCurrentIndex(m_zoneBox->findData(int(zone)));
    showSpan();
    drawSeries();
    showReadout(m_view->CursorX());
}

bool TTrendWindow::SetAxisRange(const QString& unit, std::optional<std::pair<double, double>> range) {
    if (range && !(range->second > range->first))
        return false;
    if (range)
        m_axisRanges.insert(unit, *range);
    else
        m_axisRanges.remove(unit);
    drawSeries();
    return true;
}

void TTrendWindow::showAxisChoice() {
    const QString unit = m_axisBox->currentText();
    const QValueAxis* axis = m_axes.value(unit);
    const bool byHand = m_axisRanges.contains(unit);
    const QSignalBlocker blockAuto(m_axisAuto);
    const QSignalBlocker blockMin(m_axisMin);
    const QSignalBlocker blockMax(m_axisMax);
    m_axisAuto->setEnabled(axis);
    m_axisAuto->setChecked(!byHand);
    m_axisMin->setEnabled(axis && byHand);
    m_axisMax->setEnabled(axis && byHand);
    if (axis) {
        m_axisMin->setValue(axis->min());
        m_axisMax->setValue(axis->max());
    }
}

void TTrendWindow::SetQuantities(const QList<Quantity>& quantities) {
    m_quantities = quantities;
    for (int i = 0; i < m_boxes.size(); ++i) {
        const QSignalBlocker block(m_boxes[i]);
        m_boxes[i]->setChecked(quantities.contains(Offered()[i]));
    }
    rebuildSeries();
    Reload();
}

void TTrendWindow::rebuildSeries() {
    m_chart->removeAllSeries();
    // A removed axis is the caller's again, not the chart's.
    for (QValueAxis* axis : std::as_const(m_axes)) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    // One value axis per unit, alternately on the left and on the right; the first draws the grid.
    m_axes.clear();
    const QString chosen = m_axisBox->currentText();
    m_axisBox->clear();
    for (Quantity q : m_quantities) {
        const QString unit = UnitOf(q);
        if (m_axes.contains(unit))
            continue;
        auto* axis = new QValueAxis;
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setGridLineVisible(m_axes.isEmpty());
        m_chart->addAxis(axis, m_axes.size() % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
        m_axes.insert(unit, axis);
        m_axisBox->addItem(unit);
    }
    m_axisBox->setCurrentIndex(std::max(m_axisBox->findText(chosen), 0));
    titleAxes();
    showAxisChoice();
}

void TTrendWindow::titleAxes() {
    // An axis of one quantity takes its colour; an axis shared by several names each in its colour.
    for (auto it = m_axes.cbegin(); it != m_axes.cend(); ++it) {
        QList<Quantity> on;
        for (Quantity q : std::as_const(m_quantities))
            if (UnitOf(q) == it.key())
                on << q;
        const QColor colour = on.size() == 1 ? QuantityColor(on[0]) : QColor(Qt::black);
        QStringList names;
        for (Quantity q : std::as_const(on))
            names << QStringLiteral("<span style=\"color:%1\">%2</span>")
                         .arg(QuantityColor(q).name(), QuantityName(q).toHtmlEscaped());
        QValueAxis* axis = it.value();
        axis->setTitleText(QStringLiteral("%1 (%2)").arg(names.join(QStringLiteral(", ")), it.key()));
        axis->setTitleBrush(colour);
        axis->setLabelsColor(colour);
        axis->setLinePenColor(colour);
    }
    m_time->setTitleText(tr("时间 (%1)").arg(ZoneName(m_zone)));
}

void TTrendWindow::drawTimeAxis() {
    for (const QString& label : m_time->categoriesLabels())
        m_time->remove(label);
    // As many ticks as labels of the longest kind ("12-10 08:15") fit side by side.
    const double width = m_chart->plotArea().width() >= 1 ? m_chart->plotArea().width() : 800;
    const int room = QFontMetrics(m_time->labelsFont()).horizontalAdvance(QStringLiteral("88-88 88:88")) + 24;
    const QList<TimeTick> ticks = TimeTicks(m_from, m_to, int(width / room), TimeZoneOf(m_zone));
    m_time->setStartValue(double(m_from - 1));
    for (const TimeTick& tick : ticks)
        m_time->append(tick.label, double(tick.utcMs));
    m_time->setRange(double(m_from), double(m_to));
}

void TTrendWindow::drawSeries() {
    // Qt Charts lays out a line series' whole path again whenever its points or the range of an axis
    // it is attached to change: the axes get their ranges first, and each series its points once.
    m_chart->removeAllSeries();
    drawTimeAxis();
    // A pause in the recording (the panel closed, the port shut, the link lost) breaks the line rather
    // than bridging it: a new piece starts where two points lie further apart than a few columns.
    const double gap = bridgedMs();
    struct Piece {
        Quantity quantity;
        QList<QPointF> points;
    };
    QList<Piece> pieces;
    QHash<QString, std::pair<double, double>> ranges;
    for (int i = 0; i < m_quantities.size() && i < int(m_data.series.size()); ++i) {
        const Quantity q = m_quantities[i];
        const QString unit = QString::fromUtf8(Info(q).unit);
        const QList<QPointF> points = m_data.series[size_t(i)].Points();
        qsizetype start = 0;
        for (qsizetype k = 1; k <= points.size(); ++k) {
            if (k < points.size() && points[k].x() - points[k - 1].x() <= gap)
                continue;
            pieces.append({q, points.mid(start, k - start)});
            start = k;
        }
        for (const QPointF& p : points) {
            auto it = ranges.find(unit);
            if (it == ranges.end())
                ranges.insert(unit, {p.y(), p.y()});
            else
                *it = {std::min(it->first, p.y()), std::max(it->second, p.y())};
        }
    }
    // Ticks at least three lines of label apart.
    const double height = m_chart->plotArea().height() >= 1 ? m_chart->plotArea().height() : 400;
    const int valueTicks = int(height / (3 * m_view->fontMetrics().height()));
    for (auto it = m_axes.cbegin(); it != m_axes.cend(); ++it) {
        const auto [dataLow, dataHigh] = ranges.value(it.key(), {0.0, 1.0});
        const auto [low, high] = m_axisRanges.value(it.key(), AutoRange(dataLow, dataHigh));
        const ValueTicks ticks = ValueTicksFor(low, high, valueTicks);
        QValueAxis* axis = it.value();
        axis->setRange(low, high);
        axis->setTickInterval(ticks.step);
        axis->setLabelFormat(QStringLiteral("%.%1f").arg(ticks.decimals));
    }
    titleAxes();
    showAxisChoice();
    for (const Piece& piece : std::as_const(pieces)) {
        auto* series = new QLineSeries;
        series->setName(QuantityName(piece.quantity));
        series->setPen(QPen(QuantityColor(piece.quantity), 1.0));
        m_chart->addSeries(series);
        series->attachAxis(m_time);
        series->attachAxis(m_axes.value(UnitOf(piece.quantity)));
        series->replace(piece.points);
    }
}

double TTrendWindow::bridgedMs() const {
    return std::max(double(kTrendPauseMs), 3.0 * double(m_to - m_from) / std::max(m_data.columns, 1));
}

void TTrendWindow::reloadSoon() {
    if (!m_reloadTimer->isActive())
        m_reloadTimer->start();
}

void TTrendWindow::Reload() {
    // A hidden window reduces nothing: the width of its plot is known once it is laid out to be shown.
    if (!isVisible()) {
        m_reloadTimer->stop();
        m_reloadOnShow = true;
        return;
    }
    m_sinceReload.start();
    const bool any = m_store.IsOpen() && m_device->count() > 0;
    if (m_reloadOnShow && any) {
        // The value axes take the width of their labels, which follow the ranges of the data, and the
        // plot the rest. So that the data is reduced once, to the final width, the span's extremes (the
        // span as one column, mostly from minute rows) give the axes their ranges first.
        m_data = QueryTrend(m_store, deviceId(), m_from, m_to, 1, m_quantities);
        drawSeries();
        m_chart->layout()->activate();
    }
    m_reloadOnShow = false;
    m_reloadTimer->stop();
    const QRectF plot = m_chart->plotArea();
    const int columns = plot.width() >= 1 ? int(plot.width()) : std::max(width() - 100, 100);
    if (any) {
        m_data = QueryTrend(m_store, deviceId(), m_from, m_to, columns, m_quantities);
    } else {
        m_data = TrendData{};
        m_data.from = m_from;
        m_data.to = m_to;
        m_data.columns = columns;
        m_data.quantities = m_quantities;
        m_data.alarms.assign(size_t(columns), 0);
        m_data.blocksFrom = m_to;
    }

    drawSeries();
    m_view->viewport()->update();
    showReadout(m_view->CursorX());
}

void TTrendWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The plot has its width by now, before the first frame: the data is reduced once, to it.
    if (m_reloadOnShow)
        Reload();
}

void TTrendWindow::newData() {
    if (!Following() || !isVisible())
        return;
    // A column's worth of new time, at least a second and at most a minute, before the span moves on.
    const qint64 column = m_data.columns > 0 ? (m_to - m_from) / m_data.columns : kSecondMs;
    if (m_sinceReload.isValid() && m_sinceReload.elapsed() < std::clamp(column, kSecondMs, kMinuteMs))
        return;
    followNewest(m_to - m_from - (m_to - m_from) / 51);
}

void TTrendWindow::zoom(double plotX, double factor) {
    const double width = std::max(m_chart->plotArea().width(), 1.0);
    const double anchor = m_from + (m_to - m_from) * std::clamp(plotX / width, 0.0, 1.0);
    SetRange(qint64(anchor - (anchor - m_from) * factor), qint64(anchor + (m_to - anchor) * factor));
}

void TTrendWindow::pan(double pixels) {
    const double width = std::max(m_chart->plotArea().width(), 1.0);
    const qint64 shift = qint64(-pixels / width * double(m_to - m_from));
    SetRange(m_from + shift, m_to + shift);
}

QString TTrendWindow::ReadoutAt(int plotX) const {
    const double width = m_chart->plotArea().width();
    if (plotX < 0 || width < 1 || m_data.columns <= 0)
        return {};
    // The pixel's centre, where the column drawn in that pixel lies (the plot's width is fractional).
    const double at = (plotX + 0.5) / width;
    const int c = std::clamp(int(at * m_data.columns), 0, m_data.columns - 1);
    const qint64 t = m_from + qint64(double(m_to - m_from) * at);
    const double columnMs = double(m_to - m_from) / m_data.columns;
    const int reach = std::max(3, int(bridgedMs() / 2 / columnMs));
    QStringList parts{TimeText(t, m_zone).left(19)};
    for (int i = 0; i < m_quantities.size() && i < int(m_data.series.size()); ++i) {
        const Quantity q = m_quantities[i];
        const auto& cells = m_data.series[size_t(i)].Cells();
        // The nearest column with a reading that the drawn line passes through: a cursor between two
        // readings the line joins is at most half their distance from one of them.
        const ColumnReducer::Cell* cell = nullptr;
        for (int d = 0; d <= reach && !cell; ++d)
            for (int n : {c - d, c + d})
                if (!cell && n >= 0 && n < int(cells.size()) && cells[size_t(n)].any)
                    cell = &cells[size_t(n)];
        QString value = QStringLiteral("—");
        if (cell)
            value = cell->low == cell->high
                        ? QuantityValueText(q, cell->low)
                        : QStringLiteral("%1 … %2").arg(QString::number(cell->low, 'f', Info(q).decimals),
                                                        QuantityValueText(q, cell->high));
        parts << QStringLiteral("%1 %2").arg(QuantityName(q), value);
    }
    QStringList alarms;
    for (int k = 0; k < kAlarmCount; ++k)
        if ((m_data.alarms[size_t(c)] >> k) & 1)
            alarms << QString::fromLatin1(kAlarmNames[size_t(k)]);
    if (!alarms.isEmpty())
        parts << tr("警报 %1").arg(alarms.join(QStringLiteral(", ")));
    return parts.join(QStringLiteral("   "));
}

QString TTrendWindow::Readout() const {
    return m_readout->text();
}

void TTrendWindow::showReadout(int plotX) {
    if (!m_store.IsOpen()) {
        m_readout->setText(tr("无法读取历史记录：%1").arg(m_openError));
        return;
    }
    if (plotX < 0) {
        m_readout->setText(m_data.anyMinuteRows ? tr("每分钟的最小值和最大值") : QString());
        return;
    }
    m_readout->setText(ReadoutAt(plotX));
}

bool TTrendWindow::ExportCsv(const QString& path, QString* error) {
    if (!m_store.IsOpen() || m_device->count() == 0) {
        if (error)
            *error = tr("没有历史记录");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const bool written = WriteTrendCsv(m_store, deviceId(), m_from, m_to, file, error);
    if (!written) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QStringList TTrendWindow::ExportTitle() const {
    const auto device = Device();
    return {tr("趋势 %1").arg(device ? device->Name() : QStringLiteral("—")),
            QStringLiteral("%1 – %2 (%3)")
                .arg(TimeText(m_from, m_zone).left(19), TimeText(m_to, m_zone).left(19), ZoneName(m_zone))};
}

QImage TTrendWindow::ExportImage() const {
    // The chart lays its axes out for a new range when the event loop comes round; an export made before
    // that (right after a reload) lays them out first.
    m_chart->layout()->activate();
    const QPixmap chart = m_view->grab();
    const qreal ratio = chart.devicePixelRatio();
    const QSize chartSize = (QSizeF(chart.size()) / ratio).toSize();
    const int pad = 8;
    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics metrics(font());
    const int titleHeight = pad + titleMetrics.height() + metrics.height() + pad;

    // The legend: each quantity's line and name, and the alarm band when there is one, in rows as wide
    // as the chart.
    struct Entry {
        QColor colour;
        QString text;
        bool band;
        QPoint at;
    };
    QList<Entry> legend;
    for (Quantity q : m_quantities)
        legend.append(
            {QuantityColor(q), QStringLiteral("%1 (%2)").arg(QuantityName(q), UnitOf(q)), false, {}});
    if (std::any_of(m_data.alarms.begin(), m_data.alarms.end(), [](quint16 bits) { return bits != 0; }))
        legend.append({kAlarmBand, tr("警报"), true, {}});
    const int swatch = 24;
    const int line = metrics.height() + 6;
    int x = pad, y = 0;
    for (Entry& e : legend) {
        const int w = swatch + 6 + metrics.horizontalAdvance(e.text);
        if (x > pad && x + w > chartSize.width() - pad) {
            x = pad;
            y += line;
        }
        e.at = QPoint(x, titleHeight + chartSize.height() + y);
        x += w + 2 * pad;
    }
    const int legendHeight = legend.isEmpty() ? 0 : y + line + pad;

    QImage image(QSize(chartSize.width(), titleHeight + chartSize.height() + legendHeight) * ratio,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter p(&image);
    const QStringList title = ExportTitle();
    p.setPen(Qt::black);
    p.setFont(titleFont);
    p.drawText(QPoint(pad, pad + titleMetrics.ascent()), title.value(0));
    p.setFont(font());
    p.drawText(QPoint(pad, pad + titleMetrics.height() + metrics.ascent()), title.value(1));
    p.drawPixmap(QPoint(0, titleHeight), chart);
    for (const Entry& e : std::as_const(legend)) {
        const int middle = e.at.y() + line / 2;
        if (e.band) {
            p.fillRect(QRect(e.at.x(), e.at.y() + 2, swatch, line - 4), e.colour);
        } else {
            p.setPen(QPen(e.colour, 2));
            p.drawLine(e.at.x(), middle, e.at.x() + swatch, middle);
        }
        p.setPen(Qt::black);
        p.drawText(QPoint(e.at.x() + swatch + 6, middle - metrics.height() / 2 + metrics.ascent()), e.text);
    }
    p.end();
    return image;
}

bool TTrendWindow::ExportPng(const QString& path) {
    return ExportImage().save(path, "PNG");
}

void TTrendWindow::chooseCsv() {
    const QString path = QFileDialog::getSaveFileName(this, tr("导出CSV"), QStringLiteral("trend.csv"),
                                                      tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!ExportCsv(path, &why))
        QMessageBox::warning(this, tr("导出CSV"), tr("无法写入 %1：%2").arg(path, why));
}

void TTrendWindow::choosePng() {
    const QString path = QFileDialog::getSaveFileName(this, tr("导出图片"), QStringLiteral("trend.png"),
                                                      tr("PNG 图片 (*.png)"));
    if (path.isEmpty())
        return;
    if (!ExportPng(path))
        QMessageBox::warning(this, tr("导出图片"), tr("无法写入 %1").arg(path));
}
