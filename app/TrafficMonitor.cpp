#include "TrafficMonitor.h"

#include "MainWindow.h"
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
#include <QGroupBox>
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
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

// New rows come in batches: every batch costs the view a layout over all its rows, so a busy line
// must not cost one per record. The statistics follow once a second.
constexpr int kRowsMs = 200;
constexpr int kRefreshMs = 1000;
constexpr int kGap = 8;
constexpr QSize kPreferredSize(1200, 400);
constexpr QSize kLeastSize(560, 300);

} // namespace

void InstallTrafficMonitor(TMainWindow* window) {
    auto monitor = std::make_shared<QPointer<TTrafficMonitor>>();
    QObject::connect(window->MonitorAction, &QAction::triggered, window, [window, monitor] {
        if (!*monitor)
            *monitor = new TTrafficMonitor(window);
        (*monitor)->ShowBeside();
    });
    QObject::connect(window->SaveTrafficAction, &QAction::triggered, window, [window] {
        SaveTrafficAs(window, window->StartUs(), [window] {
            const TrafficBuffer& buffer = window->Traffic();
            return TrafficRange{buffer.Size(),
                                [&buffer](qsizetype i) -> const TrafficRecord& { return buffer.At(i); }};
        });
    });
}

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

TTrafficMonitor::TTrafficMonitor(TMainWindow* window)
    : QWidget(window, Qt::Window), m_window(window),
      m_model(new TTrafficModel(window->Traffic(), window->StartUs(), this)) {
    setWindowTitle(tr("通讯监视"));

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

    m_copy = new QAction(tr("复制"), this);
    m_copy->setShortcut(QKeySequence::Copy);
    m_copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_copy->setToolTip(tr("把选中的行按通讯日志的格式复制到剪贴板"));
    connect(m_copy, &QAction::triggered, this, &TTrafficMonitor::copySelection);
    m_table->addAction(m_copy);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* pause = new QPushButton(tr("暂停"), this);
    pause->setObjectName(QStringLiteral("pause"));
    pause->setCheckable(true);
    pause->setToolTip(tr("暂停显示；记录照常收集，继续时补上"));
    connect(pause, &QPushButton::toggled, this, [this, pause](bool paused) {
        pause->setText(paused ? tr("继续") : tr("暂停"));
        setPaused(paused);
    });
    auto* clearButton = new QPushButton(tr("清除"), this);
    clearButton->setObjectName(QStringLiteral("clear"));
    clearButton->setToolTip(tr("清除全部通讯记录；统计不变（用“统计清零”）"));
    connect(clearButton, &QPushButton::clicked, this, &TTrafficMonitor::clear);
    auto* problems = new QCheckBox(tr("只显示错误和无应答"), this);
    problems->setObjectName(QStringLiteral("problemsOnly"));
    connect(problems, &QCheckBox::toggled, this, &TTrafficMonitor::setProblemsOnly);
    auto* copyButton = new QPushButton(m_copy->text(), this);
    copyButton->setObjectName(QStringLiteral("copy"));
    copyButton->setToolTip(m_copy->toolTip());
    connect(copyButton, &QPushButton::clicked, m_copy, &QAction::trigger);
    auto* saveButton = new QPushButton(tr("另存为…"), this);
    saveButton->setObjectName(QStringLiteral("save"));
    saveButton->setToolTip(tr("把表中显示的记录存为文本或 CSV"));
    connect(saveButton, &QPushButton::clicked, this, &TTrafficMonitor::saveShown);

    auto* tools = new QHBoxLayout;
    tools->addWidget(pause);
    tools->addWidget(clearButton);
    tools->addWidget(problems);
    tools->addStretch(1);
    tools->addWidget(copyButton);
    tools->addWidget(saveButton);

    m_shown = new QLabel(this);
    m_shown->setObjectName(QStringLiteral("shown"));
    m_dropped = new QLabel(this);
    m_dropped->setObjectName(QStringLiteral("dropped"));
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

    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &TTrafficMonitor::refreshStatistics);
    m_rows = new QTimer(this);
    m_rows->setSingleShot(true);
    m_rows->setInterval(kRowsMs);
    connect(m_rows, &QTimer::timeout, this, &TTrafficMonitor::syncRows);
    connect(window, &TMainWindow::trafficCleared, this, [this] {
        m_model->Reset();
        refreshStatistics();
    });
}

QWidget* TTrafficMonitor::createStatistics() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    const auto value = [box](const QString& name) {
        auto* label = new QLabel(box);
        label->setObjectName(name);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };

    // Two name-value pairs a row.
    auto* counts = new QGroupBox(tr("计数"), box);
    auto* grid = new QGridLayout(counts);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(8);
    int slot = 0;
    const auto add = [&](const QString& name, QLabel* label) {
        grid->addWidget(new QLabel(name, counts), slot / 2, (slot % 2) * 2);
        grid->addWidget(label, slot / 2, (slot % 2) * 2 + 1);
        ++slot;
        return label;
    };
    m_requests = add(tr("请求"), value(QStringLiteral("requests")));
    m_polls = add(tr("其中轮询"), value(QStringLiteral("polls")));
    m_share = add(tr("轮询接收率"), value(QStringLiteral("share")));
    for (int i = 0; i < kVerdictCount; ++i) {
        const Verdict verdict = Verdict(i);
        if (verdict != Verdict::Sent)
            m_counts[size_t(i)] = add(VerdictName(verdict), value(QStringLiteral("count_") +
                                                                  QLatin1String(VerdictKeyword(verdict))));
    }
    grid->setColumnMinimumWidth(2, 12);
    column->addWidget(counts);

    auto* times = new QGroupBox(tr("响应时间"), box);
    times->setToolTip(tr("从请求交给串口到收到应答。串口在线路静默 %1 ms 之后才交付收到的字节，"
                         "右列减去这段静默，余下的是设备和线路上传输所用的时间。")
                          .arg(m_window->Form()->Comm1->ReadIntervalTimeout()));
    auto* table = new QGridLayout(times);
    table->setVerticalSpacing(2);
    table->setHorizontalSpacing(12);
    m_timed = value(QStringLiteral("timed"));
    m_timed->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->addWidget(m_timed, 0, 0);
    table->addWidget(new QLabel(tr("实测"), times), 0, 1, Qt::AlignRight);
    m_lessHeader = new QLabel(times);
    m_lessHeader->setObjectName(QStringLiteral("lessInterval"));
    table->addWidget(m_lessHeader, 0, 2, Qt::AlignRight);
    const QString names[] = {tr("最近"), tr("最小"), tr("平均"), tr("95%"), tr("最大")};
    const char* keys[] = {"last", "min", "mean", "p95", "max"};
    for (int row = 0; row < 5; ++row) {
        table->addWidget(new QLabel(names[row], times), row + 1, 0);
        for (int col = 0; col < 2; ++col) {
            QLabel*& label = m_times[size_t(row)][size_t(col)];
            label = value(QStringLiteral("time_%1%2")
                              .arg(QLatin1String(keys[row]), col ? QStringLiteral("_less") : QString()));
            table->addWidget(label, row + 1, col + 1);
        }
    }
    column->addWidget(times);

    auto* reset = new QPushButton(tr("统计清零"), box);
    reset->setObjectName(QStringLiteral("resetStats"));
    connect(reset, &QPushButton::clicked, this, [this] {
        m_window->ResetStats();
        refreshStatistics();
    });
    column->addWidget(reset, 0, Qt::AlignLeft);
    column->addStretch(1);
    return box;
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
    setGeometry(PlaceBeside(m_window->frameGeometry(), m_window->screen()->availableGeometry(),
                            kPreferredSize.expandedTo(sizeHint())));
}

bool TTrafficMonitor::Following() const {
    const QScrollBar* bar = m_table->verticalScrollBar();
    return bar->value() >= bar->maximum();
}

TrafficRange TTrafficMonitor::ShownRecords() const {
    const TTrafficModel* model = m_model;
    return {model->rowCount(),
            [model](qsizetype row) -> const TrafficRecord& { return model->RecordAt(int(row)); }};
}

void TTrafficMonitor::syncRows() {
    m_rows->stop();
    QScrollBar* bar = m_table->verticalScrollBar();
    const bool follow = Following();
    const int value = bar->value();
    const int gone = m_model->Sync();
    if (follow)
        m_table->scrollToBottom();
    else if (gone > 0)
        bar->setValue(value - gone); // the rows looked at stay in place as older ones go
    showCounts();
}

void TTrafficMonitor::showCounts() {
    const TrafficBuffer& buffer = m_window->Traffic();
    QString shown = tr("显示 %1 条").arg(m_model->rowCount());
    if (m_model->Paused())
        shown += tr("（已暂停，%1 条新记录未显示）").arg(m_model->Waiting());
    m_shown->setText(shown);
    m_dropped->setText(tr("保留最近 %1 条，已丢弃 %2 条").arg(buffer.Capacity()).arg(buffer.Dropped()));
}

void TTrafficMonitor::setPaused(bool paused) {
    const bool follow = Following();
    m_model->SetPaused(paused);
    if (follow)
        m_table->scrollToBottom();
    refreshStatistics();
}

void TTrafficMonitor::setProblemsOnly(bool problemsOnly) {
    m_model->SetProblemsOnly(problemsOnly);
    m_table->scrollToBottom();
    refreshStatistics();
}

void TTrafficMonitor::clear() {
    m_window->ClearTraffic();
}

void TTrafficMonitor::copySelection() {
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
    m_refresh->stop();
    const TrafficStats& stats = m_window->Stats();
    m_requests->setText(QString::number(stats.Requests()));
    m_polls->setText(QString::number(stats.Polls()));
    const std::optional<double> share = stats.AcceptedShare();
    m_share->setText(share ? QStringLiteral("%1%").arg(*share * 100.0, 0, 'f', 1) : QStringLiteral("–"));
    for (int i = 0; i < kVerdictCount; ++i)
        if (QLabel* label = m_counts[size_t(i)])
            label->setText(QString::number(stats.Count(Verdict(i))));

    const qint64 intervalUs = qint64(m_window->Form()->Comm1->ReadIntervalTimeout()) * 1000;
    m_lessHeader->setText(tr("减去 %1 ms 静默间隔").arg(intervalUs / 1000));
    const TrafficStats::ResponseTimes r = stats.Responses();
    const qint64 values[] = {r.lastUs, r.minUs, r.meanUs, r.p95Us, r.maxUs};
    for (size_t row = 0; row < 5; ++row) {
        m_times[row][0]->setText(r.count ? MillisecondsText(values[row]) : QStringLiteral("–"));
        m_times[row][1]->setText(r.count ? MillisecondsText(values[row] - intervalUs) : QStringLiteral("–"));
    }
    m_timed->setText(tr("%1 次").arg(r.count));
    showCounts();
}

void TTrafficMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_added)
        m_added = connect(m_window, &TMainWindow::trafficAdded, this, [this] {
            if (!m_rows->isActive())
                m_rows->start();
            if (!m_refresh->isActive())
                m_refresh->start();
        });
    syncRows();
    refreshStatistics();
}

void TTrafficMonitor::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Closed, the window costs nothing: the rows catch up when it is shown again.
    disconnect(m_added);
    m_added = {};
    m_refresh->stop();
    m_rows->stop();
}
