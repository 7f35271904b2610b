#include "TrafficModel.h"

#include "TrafficText.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

namespace {

// Light backgrounds, so the black text stays readable: a refused frame, and an answer that never came.
const QColor kRefusalColour(255, 214, 214);
const QColor kMissingColour(255, 233, 176);

constexpr qsizetype kTooltipBytesPerLine = 16;

QString WrappedHex(const QByteArray& bytes) {
    QStringList lines;
    for (qsizetype i = 0; i < bytes.size(); i += kTooltipBytesPerLine)
        lines << HexPairs(bytes.mid(i, kTooltipBytesPerLine));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

TTrafficModel::TTrafficModel(const TrafficBuffer& buffer, qint64 originUs, QObject* parent)
    : QAbstractTableModel(parent), m_buffer(buffer), m_originUs(originUs) {}

int TTrafficModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return m_problemsOnly ? int(m_problems.size()) : int(m_takenSeq - m_firstSeq);
}

int TTrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

qint64 TTrafficModel::SequenceAt(int row) const {
    return m_problemsOnly ? m_problems[size_t(row)] : m_firstSeq + row;
}

const TrafficRecord& TTrafficModel::RecordAt(int row) const {
    return Record(SequenceAt(row));
}

QString TTrafficModel::Text(const TrafficRecord& r, int column) const {
    switch (column) {
    case TimeColumn:
        return QString::number(double(r.monotonicUs - m_originUs) / 1000.0, 'f', 1);
    case DirectionColumn:
        return DirectionText(r.direction);
    case LengthColumn:
        return r.direction == TrafficDirection::Missing ? QString() : QString::number(r.bytes.size());
    case BytesColumn:
        if (r.bytes.size() > kCellBytes)
            return HexPairs(r.bytes.left(kCellBytes)) + QStringLiteral(" …");
        return HexPairs(r.bytes);
    case VerdictColumn:
        return VerdictText(r.verdict, r.exceptionCode);
    }
    return {};
}

QColor TTrafficModel::Background(const TrafficRecord& r) {
    if (r.verdict == Verdict::NoReply)
        return kMissingColour;
    if (IsProblem(r.verdict))
        return kRefusalColour;
    return {};
}

QColor TTrafficModel::Foreground(const TrafficRecord& r) {
    return IsProblem(r.verdict) ? QColor(Qt::black) : QColor();
}

QVariant TTrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || !Held(index.row()))
        return {};
    const TrafficRecord& r = RecordAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == LengthColumn)
            return r.direction == TrafficDirection::Missing ? QVariant() : QVariant(int(r.bytes.size()));
        return Text(r, index.column());
    case Qt::ToolTipRole:
        switch (index.column()) {
        case TimeColumn:
            return IsoUtcMs(r.utcMs);
        case BytesColumn:
            return r.direction == TrafficDirection::Missing ? QVariant() : QVariant(WrappedHex(r.bytes));
        case VerdictColumn:
            return QStringLiteral("%1 (%2)").arg(VerdictText(r.verdict, r.exceptionCode),
                                                 QLatin1String(VerdictKeyword(r.verdict)));
        }
        break;
    case Qt::BackgroundRole:
        if (const QColor colour = Background(r); colour.isValid())
            return QBrush(colour);
        break;
    case Qt::ForegroundRole:
        if (const QColor colour = Foreground(r); colour.isValid())
            return QBrush(colour);
        break;
    case Qt::TextAlignmentRole:
        if (RightAligned(index.column()))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case VerdictRole:
        return int(r.verdict);
    }
    return {};
}

QVariant TTrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        switch (section) {
        case TimeColumn:
            return tr("时间 (ms)");
        case DirectionColumn:
            return tr("方向");
        case LengthColumn:
            return tr("长度");
        case BytesColumn:
            return tr("数据");
        case VerdictColumn:
            return tr("结果");
        }
    } else if (role == Qt::ToolTipRole && section == TimeColumn) {
        return tr("面板启动以来的毫秒数（单调时钟）；指向单元格可看 UTC 时间");
    }
    return {};
}

int TTrafficModel::DropGone() {
    if (EndSeq() < m_takenSeq) {
        // Cleared without Reset(): what the rows referred to is gone.
        Reset();
        return 0;
    }
    const qint64 dropped = m_buffer.Dropped();
    int gone = 0;
    if (m_problemsOnly) {
        if (!m_problems.empty() && m_problems.front() < dropped) {
            const qint64 trim = std::max(dropped, m_problems.front() + TrimStep());
            while (size_t(gone) < m_problems.size() && m_problems[size_t(gone)] < trim)
                ++gone;
        }
        if (gone > 0) {
            beginRemoveRows({}, 0, gone - 1);
            m_problems.erase(m_problems.begin(), m_problems.begin() + gone);
            endRemoveRows();
        }
    } else {
        if (m_firstSeq < dropped)
            gone = int(std::min(std::max(dropped, m_firstSeq + TrimStep()), m_takenSeq) - m_firstSeq);
        if (gone > 0) {
            beginRemoveRows({}, 0, gone - 1);
            m_firstSeq += gone;
            endRemoveRows();
        }
    }
    return gone;
}

int TTrafficModel::Sync() {
    const int gone = DropGone();
    if (m_paused)
        return gone;

    const qint64 dropped = m_buffer.Dropped();
    const qint64 start = std::max(m_takenSeq, dropped);
    const qint64 end = EndSeq();
    const int rows = rowCount();
    if (m_problemsOnly) {
        int found = 0;
        for (qint64 seq = start; seq < end; ++seq)
            found += IsProblem(Record(seq).verdict);
        if (found > 0)
            beginInsertRows({}, rows, rows + found - 1);
        for (qint64 seq = start; seq < end; ++seq)
            if (IsProblem(Record(seq).verdict))
                m_problems.push_back(seq);
        m_takenSeq = end;
        if (found > 0)
            endInsertRows();
    } else if (end > start) {
        beginInsertRows({}, rows, rows + int(end - start) - 1);
        if (rows == 0)
            m_firstSeq = start;
        m_takenSeq = end;
        endInsertRows();
    } else {
        m_takenSeq = end;
        if (rows == 0)
            m_firstSeq = end;
    }
    return gone;
}

void TTrafficModel::Reset() {
    beginResetModel();
    m_takenSeq = m_firstSeq = m_buffer.Dropped();
    m_problems.clear();
    endResetModel();
}

void TTrafficModel::Retranslate() {
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                         {Qt::DisplayRole, Qt::ToolTipRole});
}

void TTrafficModel::SetPaused(bool paused) {
    m_paused = paused;
    Sync();
}

void TTrafficModel::SetProblemsOnly(bool problemsOnly) {
    if (problemsOnly == m_problemsOnly)
        return;
    // The same records as before, from the oldest held up to where the view has taken them.
    beginResetModel();
    m_problemsOnly = problemsOnly;
    const qint64 dropped = m_buffer.Dropped();
    m_takenSeq = std::clamp(m_takenSeq, dropped, EndSeq());
    m_firstSeq = dropped;
    m_problems.clear();
    if (problemsOnly)
        for (qint64 seq = dropped; seq < m_takenSeq; ++seq)
            if (IsProblem(Record(seq).verdict))
                m_problems.push_back(seq);
    endResetModel();
    Sync();
}
