#pragma once
#include "Traffic.h"

#include <QObject>
#include <QString>

#include <sys/types.h>

// The traffic log of an unattended run: every record appended to a file as one line (TrafficLogLine)
// and handed to the system at once, so that the trace is complete up to the moment the program ends,
// however it ends.
//
// The log is its path, not the file first opened there: a file moved away or deleted (log rotation)
// is followed by a new one at the path, found at the next write, and SIGHUP reopens the path at once
// (ReopenOnHangUp), as logrotate expects. A record that cannot be written is lost and counted; the
// first line written again says how many were lost:
//   2026-12-10T08:15:09.120Z log lost 17
// A pipe or a device (a FIFO read by another program, /dev/stdout) serves as well as a file; a pipe
// whose reader has gone is a write failure, not the end of the program.
class TrafficLogFile : public QObject {
    Q_OBJECT
public:
    explicit TrafficLogFile(QObject* parent = nullptr);
    ~TrafficLogFile() override;

    // Opens `path` for appending, creating it if needed; false with the system's reason otherwise. A FIFO
    // waits here for its reader, as a shell's redirection does.
    bool Open(const QString& path, QString* error);
    // Whether Open succeeded: the log is kept from then on, also while its writes fail.
    bool IsOpen() const { return !m_path.isEmpty(); }
    QString Path() const { return m_path; }
    // Appends one line, reopening the path first when the file there is no longer the one open.
    void Write(const TrafficRecord& record);
    // Closes the file and opens the path again (a new file where the old one was moved away). A FIFO
    // without a reader is not waited for here: records are lost until it has one.
    void Reopen();
    // Reopens the log whenever the process receives SIGHUP, which then no longer ends the program.
    // Needs the application object; false with the reason when the handler cannot be installed.
    bool ReopenOnHangUp(QString* error);
    // Records lost since the last line that was written.
    qint64 Lost() const { return m_lost; }

signals:
    // Writing failed after it had worked (or at the first write): once until it works again.
    void writeFailed(const QString& reason);
    // Writing works again after a failure; `lost` records were not written meanwhile.
    void writeResumed(qint64 lost);

private:
    bool OpenFile(bool waitForReader, QString* error);
    void CloseFile();
    bool ReplacedOnDisk() const;
    void Failed(const QString& reason);

    QString m_path;
    QByteArray m_fileName; // m_path for the system calls
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_pipe = false;           // a write may raise SIGPIPE
    bool m_failing = false;        // writeFailed was emitted, writeResumed not yet
    bool m_brokenLine = false;     // a failed write left part of a line in the file
    qint64 m_lost = 0;             // for the gap's line in the file
    qint64 m_lostWhileFailing = 0; // for writeResumed
};
