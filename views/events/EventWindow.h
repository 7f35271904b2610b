#pragma once
// The event window 事件记录: the history's event log as a table of time, device, kind and text, with a
// filter by kind and an export of the rows shown as CSV. New events come in as they are committed.

#include "HistoryStore.h"
#include "HistoryText.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

class TEventModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TimeColumn, DeviceColumn, KindColumn, TextColumn, ColumnCount };
    static constexpr int KindRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Append(const std::vector<StoredEvent>& events);
    // The language changed: the headers, the kinds and the texts are shown anew.
    void Retranslate();
    // The zone of the time column.
    void SetZone(ShownZone zone);
    const StoredEvent& At(int row) const { return m_events[size_t(row)]; }
    // The newest event read so far, by id: what the next read starts after. Events can be stored out of
    // time order (a late event, a second panel on the same file), so it need not be the last row's.
    qint64 LastId() const { return m_lastId; }

private:
    std::vector<StoredEvent> m_events; // in time order, then id
    qint64 m_lastId = 0;
    ShownZone m_zone = ShownZone::Local;
};

class TEventWindow : public QWidget {
    Q_OBJECT
public:
    explicit TEventWindow(const QString& historyPath, QWidget* parent = nullptr);

    // Only this kind, or every kind.
    void SetKindFilter(std::optional<EventKind> kind);
    void SetZone(ShownZone zone);
    QTableView* Table() const { return m_table; }
    int ShownRows() const;
    // The rows shown, in the events CSV format.
    bool ExportCsv(const QString& path, QString* error);

public slots:
    // Reads the events committed since the last look.
    void newData();

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslateUi();
    // The number of rows shown, or why there are none.
    void showStatus();
    void chooseCsv();

    HistoryStore m_store;
    QString m_openError;
    TEventModel* m_model = nullptr;
    QSortFilterProxyModel* m_filter = nullptr;
    QComboBox* m_kind = nullptr;
    QComboBox* m_zone = nullptr;
    QLabel* m_kindLabel = nullptr;
    QPushButton* m_csv = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_status = nullptr;
};
