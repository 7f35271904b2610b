#include "TrafficMonitor.h"

#include "LineAccess.h"
#include "ToolWindow.h"
#include "TrafficModel.h"
#include "TrafficText.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kGap = 8;
constexpr QSize kPreferredSize(1200, 400);
constexpr QSize kLeastSize(560, 300);

} // namespace

QRect PlaceBeside(const QRect& panel, const QRect& free, const QSize& want) {
    const int right = free.right() - panel.right() - kGap;
    const int below = free.bottom() - panel.bottom() - kGap;
    if (right >= kLeastSize.width())
        return {panel.right() + 1 + kGap, panel.top(), std::min(want.width(), right), panel.height()};
    if (below >= kLeastSize.height()) {
        const int width = std::min(std::max(want.width(), panel.width()), free.width());
        return {std::clamp(panel.left(), free.left(), free.right() + 1 - width), panel.bottom() + 1 + kGap,
                width, std::min(want.height(), below)};
    }
    // No room beside the panel: over its right part, inside the screen.
    const QSize size = want.boundedTo(free.size());
    return {QPoint(free.right() + 1 - size.width(), std::max(free.top(), panel.top())), size};
}

TrafficFileFormat TrafficFormatForPath(const QString& path, TrafficFileFormat fallback) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"csv")
        return TrafficFileFormat::Csv;
    if (suffix == u"txt" || suffix == u"log")
        return TrafficFileFormat::LogText;
    return fallback;
}

bool SaveTrafficFile(const QString& path, TrafficFileFormat format, qint64 originUs,
                     const TrafficRange& records, QString* error) {
    QSaveFile file(path);
    const auto fail = [&file, error] {
        if (error)
            *error = file.errorString();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    TrafficWriter writer(file, format, originUs,
                         [](const TrafficRecord& r) { return VerdictText(r.verdict, r.exceptionCode); });
    if (!writer.Begin())
        return fail();
    for (qsizetype i = 0; i < records.count; ++i)
        if (!writer.Write(records.at(i)))
            return fail();
    return file.commit() || fail();
}

void SaveTrafficAs(QWidget* parent, qint64 originUs, const std::function<TrafficRange()>& records) {
    QFileDialog dialog(parent, QCoreApplication::translate("TTrafficMonitor", "保存通讯记录"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Decided by the filter's place in the list, never by its text.
    const QStringList filters{QCoreApplication::translate("TTrafficMonitor", "通讯日志文本 (*.txt *.log)"),
                              QCoreApplication::translate("TTrafficMonitor", "CSV 表格 (*.csv)")};
    const auto formatOf = [&filters](const QString& filter) {
        return filters.indexOf(filter) == 1 ? TrafficFileFormat::Csv : TrafficFileFormat::LogText;
    };
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(formatOf(filter) == TrafficFileFormat::Csv ? QStringLiteral("csv")
                                                                           : QStringLiteral("txt"));
    });
    // Without a suffix, so that the chosen type gives it.
    dialog.selectFile(QStringLiteral("z7-traffic-%1")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    QString why;
    if (!SaveTrafficFile(path, TrafficFormatForPath(path, formatOf(dialog.selectedNameFilter())), originUs,
                         records(), &why))
        QMessageBox::warning(
            parent, QCoreApplication::translate("TTrafficMonitor", "保存通讯记录"),
            QCoreApplication::translate("TTrafficMonitor", "无法写入 %1：\n%2").arg(path, why));
}

TTrafficMonitor::TTrafficMonitor(LineAccess* line, QWidget* panel)
    : QWidget(panel, Qt::Window), m_line(line),
      m_model(new TTrafficModel(line->Traffic(), line->StartUs(), this)) {
    CloseOnEscape(this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* rows = m_table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* columns = m_table->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setStretchLastSection(true);

    // The view follows the newest record until the user scrolls away from the bottom, and again once
    // they scroll back to it. Only scrolling that this window does not do itself decides that.
    QScrollBar* bar = m_table->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!m_scrolling)
            m_follow = value >= bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (m_follow)
            scrollTo(maximum);
    });

    m_copy = new QAction(this);
    m_copy->setShortcut(QKeySequence::Copy);
    m_copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_copy, &QAction::triggered, this, &TTrafficMonitor::copySelection);
    m_table->addAction(m_copy);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);

    m_pause = new QPushButton(this);
    m_pause->setObjectName(QStringLiteral("pause"));
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        showPauseText();
        setPaused(paused);
    });
    m_clear = new QPushButton(this);
    m_clear->setObjectName(QStringLiteral("clear"));
    connect(m_clear, &QPushButton::clicked, this, &TTrafficMonitor::clear);
    m_problems = new QCheckBox(this);
    m_problems->setObjectName(QStringLiteral("problemsOnly"));
    connect(m_problems, &QCheckBox::toggled, this, &TTrafficMonitor::setProblemsOnly);
    m_copyButton = new QPushButton(this);
    m_copyButton->setObjectName(QStringLiteral("copy"));
    connect(m_copyButton, &QPushButton::clicked, m_copy, &QAction::trigger);
    m_save = new QPushButton(this);
    m_save->setObjectName(QStringLiteral("save"));
    connect(m_save, &QPushButton::clicked, this, &TTrafficMonitor::saveShown);

    auto* tools = new QHBoxLayout;
    tools->addWidget(m_pause);
    tools->addWidget(m_clear);
    tools->addWidget(m_problems);
    tools->addStretch(1);
    tools->addWidget(m_copyButton);
    tools->addWidget(m_save);

    // Sized to their widest texts in the language shown (retranslateUi).
    m_shown = new QLabel(this);
    m_shown->setObjectName(QStringLiteral("shown"));
    m_dropped = new QLabel(this);
    m_dropped->setObjectName(QStringLiteral("dropped"));
    m_dropped->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* info = new QHBoxLayout;
    info->addWidget(m_shown);
    info->addStretch(1);
    info->addWidget(m_dropped);

    auto* left = new QVBoxLayout;
    left->addLayout(tools);
    left->addWidget(m_table, 1);
    left->addLayout(info);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(createStatistics());

    connect(line, &LineAccess::trafficCleared, this, [this] {
        m_model->Reset();
        refreshStatistics();
    });
    retranslateUi();
}

void TTrafficMonitor::retranslateUi() {
    setWindowTitle(tr("通讯监视"));
    m_copy->setText(tr("复制"));
    m_copy->setToolTip(tr("把选中的行按通讯日志的格式复制到剪贴板"));
    showPauseText();
    m_pause->setToolTip(tr("暂停显示；记录照常收集，继续时补上"));
    m_clear->setText(tr("清除"));
    m_clear->setToolTip(tr("清除全部通讯记录；统计不变（用“统计清零”）"));
    m_problems->setText(tr("只显示错误和无应答"));
    m_copyButton->setText(m_copy->text());
    m_copyButton->setToolTip(m_copy->toolTip());
    m_save->setText(tr("另存为…"));
    m_save->setToolTip(tr("把表中显示的记录存为文本或 CSV"));
    m_shown->setMinimumWidth(fontMetrics().horizontalAdvance(ShownText(9999999, true, 9999999)));
    m_dropped->setMinimumWidth(fontMetrics().horizontalAdvance(DroppedText(9999999, 999999999)));

    m_countsHeading->setText(tr("计数"));
    m_figureNames[0]->setText(tr("请求"));
    m_figureNames[1]->setText(tr("其中轮询"));
    m_figureNames[2]->setText(tr("轮询接收率"));
    for (int i = 0; i < kVerdictCount; ++i)
        if (QLabel* name = m_countNames[size_t(i)])
            name->setText(VerdictName(Verdict(i)));
    m_timesHeading->setText(tr("响应时间"));
    m_timed->setMinimumWidth(fontMetrics().horizontalAdvance(tr("%1 次").arg(QStringLiteral("000000000"))));
    m_measured->setText(tr("实测"));
    m_lessHeader->setToolTip(tr("从请求交给串口到收到应答。串口在线路静默 %1 ms 之后才交付收到的字节，"
                                "右列减去这段静默，余下的是设备和线路上传输所用的时间。")
                                 .arg(m_line->SilenceMs()));
    const QString names[] = {tr("最近"), tr("最小"), tr("平均"), tr("95%"), tr("最大")};
    for (size_t row = 0; row < m_timeNames.size(); ++row)
        m_timeNames[row]->setText(names[row]);
    m_reset->setText(tr("统计清零"));

    m_model->Retranslate();
    fitColumns();
    refreshStatistics();
}

void TTrafficMonitor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslateUi();
    QWidget::changeEvent(event);
}

void TTrafficMonitor::showPauseText() {
    m_pause->setText(m_pause->isChecked() ? tr("继续") : tr("暂停"));
}

// Each column as wide as its title or its widest text, whichever is wider, in the language shown.
void TTrafficMonitor::fitColumns() {
    const QFontMetrics fm = fontMetrics();
    const auto fit = [&fm, this](int column, const QString& widest) {
        const QString title = m_model->headerData(column, Qt::Horizontal).toString();
        m_table->setColumnWidth(column,
                                std::max(fm.horizontalAdvance(title), fm.horizontalAdvance(widest)) + 16);
    };
    fit(TTrafficModel::TimeColumn, QStringLiteral("0000000.0"));
    fit(TTrafficModel::DirectionColumn, DirectionText(TrafficDirection::Missing));
    fit(TTrafficModel::LengthColumn, QStringLiteral("0000"));
    // Longer exception names are cut; the tooltip has them.
    fit(TTrafficModel::VerdictColumn, VerdictText(Verdict::Exception, 0x04));
}

QWidget* TTrafficMonitor::createStatistics() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    const QString widestCount = QStringLiteral("000000000");
    const QString widestTime = MillisecondsText(999999900);
    const auto value = [this, box](const QString& name, const QString& widest) {
        return figure(name, widest, box);
    };

    const auto heading = [box, column] {
        auto* label = new QLabel(box);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        column->addWidget(label);
        return label;
    };

    // Two name-value pairs a row.
    m_countsHeading = heading();
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(8);
    int slot = 0;
    // Returns the name's label.
    const auto add = [&](QLabel* label) {
        auto* name = new QLabel(box);
        grid->addWidget(name, slot / 2, (slot % 2) * 2);
        grid->addWidget(label, slot / 2, (slot % 2) * 2 + 1, Qt::AlignRight);
        ++slot;
        return name;
    };
    m_requests = value(QStringLiteral("requests"), widestCount);
    m_figureNames[0] = add(m_requests);
    m_polls = value(QStringLiteral("polls"), widestCount);
    m_figureNames[1] = add(m_polls);
    m_share = value(QStringLiteral("share"), QStringLiteral("100.0%"));
    m_figureNames[2] = add(m_share);
    for (int i = 0; i < kVerdictCount; ++i) {
        const Verdict verdict = Verdict(i);
        if (verdict == Verdict::Sent)
            continue;
        m_counts[size_t(i)] =
            value(QStringLiteral("count_") + QLatin1String(VerdictKeyword(verdict)), widestCount);
        m_countNames[size_t(i)] = add(m_counts[size_t(i)]);
    }
    grid->setColumnMinimumWidth(2, 24);
    column->addLayout(grid);
    column->addSpacing(8);

    m_timesHeading = heading();
    auto* table = new QGridLayout;
    table->setVerticalSpacing(2);
    table->setHorizontalSpacing(12);
    m_timed = value(QStringLiteral("timed"), QString());
    m_timed->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->addWidget(m_timed, 0, 0);
    m_measured = new QLabel(box);
    table->addWidget(m_measured, 0, 1, Qt::AlignRight);
    m_lessHeader = new QLabel(box);
    m_lessHeader->setObjectName(QStringLiteral("lessInterval"));
    table->addWidget(m_lessHeader, 0, 2, Qt::AlignRight);
    const char* keys[] = {"last", "min", "mean", "p95", "max"};
    for (int row = 0; row < 5; ++row) {
        m_timeNames[size_t(row)] = new QLabel(box);
        table->addWidget(m_timeNames[size_t(row)], row + 1, 0);
        for (int col = 0; col < 2; ++col) {
            QLabel*& label = m_times[size_t(row)][size_t(col)];
            label = value(QStringLiteral("time_%1%2")
                              .arg(QLatin1String(keys[row]), col ? QStringLiteral("_less") : QString()),
                          widestTime);
            table->addWidget(label, row + 1, col + 1, Qt::AlignRight);
        }
    }
    column->addLayout(table);
    column->addSpacing(8);

    m_reset = new QPushButton(box);
    m_reset->setObjectName(QStringLiteral("resetStats"));
    connect(m_reset, &QPushButton::clicked, this, [this] {
        m_line->ResetStats();
        refreshStatistics();
    });
    column->addWidget(m_reset, 0, Qt::AlignLeft);
    column->addStretch(1);
    return box;
}

QLabel* TTrafficMonitor::figure(const QString& name, const QString& widest, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest));
    return label;
}

void TTrafficMonitor::ShowBeside() {
    if (!m_placed) {
        placeBeside();
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

void TTrafficMonitor::placeBeside() {
    QWidget* panel = parentWidget();
    setGeometry(PlaceBeside(panel->frameGeometry(), panel->screen()->availableGeometry(),
                            kPreferredSize.expandedTo(sizeHint())));
}

TTrafficMonitor::~TTrafficMonitor() {
    // Closing the window as it goes hides the table, whose scroll bar may then change its range: no
    // handler of this half-destroyed window may hear it.
    m_table->verticalScrollBar()->disconnect(this);
}

QTableView* TTrafficMonitor::Table() const {
    return m_table;
}

bool TTrafficMonitor::Following() const {
    return m_follow;
}

void TTrafficMonitor::scrollTo(int value) {
    m_scrolling = true;
    m_table->verticalScrollBar()->setValue(value);
    m_scrolling = false;
}

TrafficRange TTrafficMonitor::ShownRecords() {
    // Only records the buffer still holds, though their rows would otherwise wait for the next batch.
    takeRows(false);
    const TTrafficModel* model = m_model;
    return {model->rowCount(),
            [model](qsizetype row) -> const TrafficRecord& { return model->RecordAt(int(row)); }};
}

// New rows come in batches with the statistics, when the panel brings its status bar up to date (a
// quarter of a second after the first record of a burst): a poll's request and its answer come in one,
// and the window is painted once a poll, in the same pass as the status bar, with no wake-up of its own.
void TTrafficMonitor::takeBatch() {
    syncRows();
    refreshStatistics();
}

void TTrafficMonitor::syncRows() {
    takeRows(true);
    showCounts();
}

void TTrafficMonitor::takeRows(bool newOnes) {
    const int value = m_table->verticalScrollBar()->value();
    const int gone = newOnes ? m_model->Sync() : m_model->DropGone();
    // Following, the view goes to the bottom when its layout takes the new rows in (rangeChanged).
    // Scrolled away, the rows looked at stay in place as older ones go.
    if (!m_follow && gone > 0)
        scrollTo(value - gone);
}

QString TTrafficMonitor::ShownText(int rows, bool paused, qint64 waiting) {
    QString text = tr("显示 %1 条").arg(rows);
    if (paused)
        text += tr("（已暂停，%1 条新记录未显示）").arg(waiting);
    return text;
}

QString TTrafficMonitor::DroppedText(qsizetype capacity, qint64 dropped) {
    return tr("保留最近 %1 条，已丢弃 %2 条").arg(capacity).arg(dropped);
}

void TTrafficMonitor::showCounts() {
    const TrafficBuffer& buffer = m_line->Traffic();
    m_shown->setText(ShownText(m_model->rowCount(), m_model->Paused(), m_model->Waiting()));
    m_dropped->setText(DroppedText(buffer.Capacity(), buffer.Dropped()));
}

void TTrafficMonitor::setPaused(bool paused) {
    m_model->SetPaused(paused);
    refreshStatistics();
}

void TTrafficMonitor::setProblemsOnly(bool problemsOnly) {
    m_model->SetProblemsOnly(problemsOnly);
    m_follow = true;
    refreshStatistics();
}

void TTrafficMonitor::clear() {
    m_line->ClearTraffic();
}

void TTrafficMonitor::copySelection() {
    takeRows(false);
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex& index : rows) {
        text += TrafficLogLine(m_model->RecordAt(index.row()));
        text += QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(text);
}

void TTrafficMonitor::saveShown() {
    SaveTrafficAs(this, m_model->OriginUs(), [this] { return ShownRecords(); });
}

void TTrafficMonitor::refreshStatistics() {
    const TrafficStats& stats = m_line->Stats();
    m_requests->setText(QString::number(stats.Requests()));
    m_polls->setText(QString::number(stats.Polls()));
    const std::optional<double> share = stats.AcceptedShare();
    m_share->setText(share ? QStringLiteral("%1%").arg(*share * 100.0, 0, 'f', 1) : QStringLiteral("–"));
    for (int i = 0; i < kVerdictCount; ++i)
        if (QLabel* label = m_counts[size_t(i)])
            label->setText(QString::number(stats.Count(Verdict(i))));

    const qint64 intervalUs = qint64(m_line->SilenceMs()) * 1000;
    m_lessHeader->setText(tr("减去 %1 ms 静默间隔").arg(intervalUs / 1000));
    const TrafficStats::ResponseTimes r = stats.Responses();
    const TrafficStats::ResponseTimes less = stats.Responses(intervalUs);
    const qint64 values[] = {r.lastUs, r.minUs, r.meanUs, r.p95Us, r.maxUs};
    const qint64 lessValues[] = {less.lastUs, less.minUs, less.meanUs, less.p95Us, less.maxUs};
    for (size_t row = 0; row < 5; ++row) {
        m_times[row][0]->setText(r.count ? MillisecondsText(values[row]) : QStringLiteral("–"));
        m_times[row][1]->setText(r.count ? MillisecondsText(lessValues[row]) : QStringLiteral("–"));
    }
    m_timed->setText(tr("%1 次").arg(r.count));
    showCounts();
}

void TTrafficMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_batches)
        m_batches = connect(m_line, &LineAccess::refreshed, this, &TTrafficMonitor::takeBatch);
    takeBatch();
}

void TTrafficMonitor::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Closed, the window costs nothing: the rows catch up when it is shown again.
    disconnect(m_batches);
    m_batches = {};
}
