#include "EventWindow.h"

#include "HistoryCsv.h"
#include "HistoryText.h"
#include "ToolWindow.h"

#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

int TEventModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_events.size());
}

int TEventModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TEventModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_events.size()))
        return {};
    const HistoryEvent& e = m_events[size_t(index.row())].event;
    if (role == KindRole)
        return int(e.kind);
    if (role == Qt::ForegroundRole && index.column() == KindColumn) {
        switch (e.kind) {
        case EventKind::AlarmSet:
        case EventKind::CommandRefused:
        case EventKind::CommandUnanswered:
        case EventKind::LinkLost:
        case EventKind::PortVanished:
            return QColor(190, 0, 0);
        case EventKind::CommandUnconfirmed:
            // Not yet known: a later read of the register may still confirm it.
            return QColor(170, 100, 0);
        case EventKind::StateAtStart:
            // An alarm found on at start, as an alarm coming on.
            return e.detail == u"run" ? QVariant() : QVariant(QColor(190, 0, 0));
        default:
            return {};
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case TimeColumn:
        return TimeText(e.utcMs, m_zone);
    case DeviceColumn:
        return e.device.Name();
    case KindColumn:
        return EventKindName(e.kind);
    case TextColumn:
        return EventDetailText(e.kind, e.detail);
    default:
        return {};
    }
}

QVariant TEventModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TimeColumn:
        return tr("时间 (%1)").arg(ZoneName(m_zone));
    case DeviceColumn:
        return tr("设备");
    case KindColumn:
        return tr("类型");
    case TextColumn:
        return tr("内容");
    default:
        return {};
    }
}

void TEventModel::Retranslate() {
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_events.empty())
        emit dataChanged(index(0, KindColumn), index(rowCount() - 1, TextColumn), {Qt::DisplayRole});
}

void TEventModel::SetZone(ShownZone zone) {
    m_zone = zone;
    emit headerDataChanged(Qt::Horizontal, TimeColumn, TimeColumn);
    if (!m_events.empty())
        emit dataChanged(index(0, TimeColumn), index(rowCount() - 1, TimeColumn), {Qt::DisplayRole});
}

void TEventModel::Append(const std::vector<StoredEvent>& events) {
    const auto before = [](const StoredEvent& a, const StoredEvent& b) {
        return std::pair(a.event.utcMs, a.id) < std::pair(b.event.utcMs, b.id);
    };
    const qint64 shownUpTo = m_lastId;
    for (const StoredEvent& e : events) {
        if (e.id <= shownUpTo)
            continue; // shown already
        m_lastId = std::max(m_lastId, e.id);
        // Nearly always at the end; an event older than the newest shown goes to its place in time.
        const auto at = std::upper_bound(m_events.begin(), m_events.end(), e, before);
        const int row = int(at - m_events.begin());
        beginInsertRows({}, row, row);
        m_events.insert(at, e);
        endInsertRows();
    }
}

TEventWindow::TEventWindow(const QString& historyPath, QWidget* parent) : QWidget(parent, Qt::Window) {
    CloseOnEscape(this);
    setObjectName(QStringLiteral("eventWindow"));
    m_model = new TEventModel(this);
    m_filter = new QSortFilterProxyModel(this);
    m_filter->setSourceModel(m_model);
    m_filter->setFilterRole(TEventModel::KindRole);
    m_filter->setFilterKeyColumn(TEventModel::KindColumn);

    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("kind"));
    m_kind->addItem(QString(), -1);
    for (int k = 0; k < kEventKindCount; ++k)
        m_kind->addItem(QString(), k);
    m_zone = new QComboBox(this);
    m_zone->setObjectName(QStringLiteral("zone"));
    m_zone->addItem(QString(), int(ShownZone::Local));
    m_zone->addItem(QStringLiteral("UTC"), int(ShownZone::Utc));
    m_csv = new QPushButton(this);
    m_csv->setObjectName(QStringLiteral("exportCsv"));
    m_status = new QLabel(this);
    m_kindLabel = new QLabel(this);

    auto* top = new QHBoxLayout;
    top->addWidget(m_kindLabel);
    top->addWidget(m_kind);
    top->addWidget(m_zone);
    top->addStretch();
    top->addWidget(m_status);
    top->addWidget(m_csv);

    m_table = new QTableView(this);
    m_table->setModel(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    // Time, device and kind as wide as they need, the text the rest.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(TEventModel::TextColumn, QHeaderView::Stretch);
    m_table->setWordWrap(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);

    connect(m_kind, &QComboBox::activated, this, [this] {
        const int k = m_kind->currentData().toInt();
        SetKindFilter(k < 0 ? std::nullopt : std::optional<EventKind>(EventKind(k)));
    });
    connect(m_zone, &QComboBox::activated, this,
            [this] { SetZone(ShownZone(m_zone->currentData().toInt())); });
    connect(m_csv, &QPushButton::clicked, this, &TEventWindow::chooseCsv);

    m_store.Open(historyPath, HistoryStore::Access::ReadOnly, &m_openError);
    retranslateUi();
    newData();
    resize(820, 520);
}

void TEventWindow::retranslateUi() {
    setWindowTitle(tr("事件记录"));
    m_kindLabel->setText(tr("类型："));
    for (int i = 0; i < m_kind->count(); ++i) {
        const int k = m_kind->itemData(i).toInt();
        m_kind->setItemText(i, k < 0 ? tr("全部类型") : EventKindName(EventKind(k)));
    }
    m_zone->setItemText(0, tr("本地时间"));
    m_zone->setToolTip(tr("时间的时区"));
    m_csv->setText(tr("导出CSV…"));
    m_model->Retranslate();
    showStatus();
}

void TEventWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslateUi();
    QWidget::changeEvent(event);
}

void TEventWindow::showStatus() {
    m_status->setText(m_store.IsOpen() ? tr("%n 条", nullptr, ShownRows())
                                       : tr("无法读取历史记录：%1").arg(m_openError));
}

void TEventWindow::SetKindFilter(std::optional<EventKind> kind) {
    const int index = m_kind->findData(kind ? int(*kind) : -1);
    m_kind->setCurrentIndex(index);
    m_filter->setFilterRegularExpression(kind ? QStringLiteral("^%1$").arg(int(*kind)) : QString());
    showStatus();
}

void TEventWindow::SetZone(ShownZone zone) {
    m_zone->setCurrentIndex(m_zone->findData(int(zone)));
    m_model->SetZone(zone);
}

int TEventWindow::ShownRows() const {
    return m_filter->rowCount();
}

void TEventWindow::newData() {
    if (!m_store.IsOpen())
        return;
    std::vector<StoredEvent> events;
    m_store.ForEachEvent(
        0, kNoLimitFrom, kNoLimitTo, [&](const StoredEvent& e) { events.push_back(e); }, m_model->LastId());
    // The table follows the newest events while it is scrolled to the end.
    const QScrollBar* bar = m_table->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    m_model->Append(events);
    if (!events.empty() && atEnd)
        m_table->scrollToBottom();
    showStatus();
}

bool TEventWindow::ExportCsv(const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QByteArray text = EventsCsvHeader();
    for (int row = 0; row < m_filter->rowCount(); ++row)
        text += EventsCsvLine(m_model->At(m_filter->mapToSource(m_filter->index(row, 0)).row()).event);
    if (file.write(text) != text.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void TEventWindow::chooseCsv() {
    const QString path = QFileDialog::getSaveFileName(this, tr("导出CSV"), QStringLiteral("events.csv"),
                                                      tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!ExportCsv(path, &why))
        QMessageBox::warning(this, tr("导出CSV"), tr("无法写入 %1：%2").arg(path, why));
}
