#pragma once
// The monitor's table over the line's traffic buffer. Rows refer to records by their sequence number
// (0 the first record after the buffer was last cleared), never by their place in the ring, so a row
// keeps its record while older ones are pushed out; the model copies no record.

#include "TrafficBuffer.h"

#include <QAbstractTableModel>
#include <QColor>

#include <algorithm>
#include <deque>

class TTrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The verdict before the bytes, so that it stays in sight however long a chunk is.
    enum Column { TimeColumn, DirectionColumn, LengthColumn, VerdictColumn, BytesColumn, ColumnCount };
    // The record's Verdict as an int, for code that must not read the translated text.
    static constexpr int VerdictRole = Qt::UserRole;
    // A cell shows at most this many bytes of a chunk, then "…"; the tooltip has them all.
    static constexpr qsizetype kCellBytes = 64;

    // originUs: the monotonic time the time column counts from.
    TTrafficModel(const TrafficBuffer& buffer, qint64 originUs, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Brings the rows up to the buffer: rows of records pushed out of it go (DropGone), and unless
    // paused the records added since the last call come in at the end. Returns the number of rows that
    // went from the top.
    int Sync();
    // Rows of records pushed out of the buffer go, with those of the records next in line, up to
    // TrimStep() in all. Returns the number of rows that went from the top.
    int DropGone();
    // The buffer was cleared: no rows.
    void Reset();
    // The language changed: the headers and the texts of every row are shown anew.
    void Retranslate();

    // Paused, the rows stay as they are, except those whose records the buffer no longer holds.
    void SetPaused(bool paused);
    bool Paused() const { return m_paused; }
    // Only refusals and missing answers.
    void SetProblemsOnly(bool problemsOnly);
    bool ProblemsOnly() const { return m_problemsOnly; }
    // Records in the buffer that the rows do not take in yet because the view is paused.
    qint64 Waiting() const { return EndSeq() - std::max(m_takenSeq, m_buffer.Dropped()); }

    // Rows go from the top a hundredth of the buffer at a time: a view takes time in proportion to all
    // its rows at each removal from the top, which a full ring would otherwise pay at every batch. The
    // rows may thus begin up to this many records after the oldest one the buffer holds.
    qint64 TrimStep() const { return std::max<qint64>(1, m_buffer.Capacity() / 100); }

    // What a cell shows, decided here for data() and for the monitor's painting alike.
    QString Text(const TrafficRecord& record, int column) const;
    // Refusals and missing answers stand out: a background colour, and black text on it. Invalid
    // colours for a record that does not.
    static QColor Background(const TrafficRecord& record);
    static QColor Foreground(const TrafficRecord& record);
    static bool RightAligned(int column) { return column == TimeColumn || column == LengthColumn; }

    qint64 SequenceAt(int row) const;
    // Whether the buffer still holds the record of `row`: between batches it may push out records
    // whose rows are still there. Such a row shows nothing until the next batch takes it away.
    bool Held(int row) const { return SequenceAt(row) >= m_buffer.Dropped(); }
    // The record of a held row.
    const TrafficRecord& RecordAt(int row) const;
    const TrafficBuffer& Buffer() const { return m_buffer; }
    qint64 OriginUs() const { return m_originUs; }

private:
    qint64 EndSeq() const { return m_buffer.Dropped() + m_buffer.Size(); }
    const TrafficRecord& Record(qint64 seq) const { return m_buffer.At(seq - m_buffer.Dropped()); }

    const TrafficBuffer& m_buffer;
    qint64 m_originUs;
    bool m_paused = false;
    bool m_problemsOnly = false;
    // Records before m_takenSeq have been looked at; the rows hold those of them still in the buffer:
    // all from m_firstSeq, or with the filter on, those listed in m_problems.
    qint64 m_takenSeq = 0;
    qint64 m_firstSeq = 0;
    std::deque<qint64> m_problems;
};
