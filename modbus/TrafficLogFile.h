#pragma once
#include "Traffic.h"

#include <QFile>
#include <QString>

// The traffic log of an unattended run: every record appended to a file as one line (TrafficLogLine)
// and handed to the system at once, so that the trace is complete up to the moment the program ends,
// however it ends.
class TrafficLogFile {
public:
    // Opens `path` for appending, creating it if needed; false with the system's reason otherwise.
    bool Open(const QString& path, QString* error);
    bool IsOpen() const { return m_file.isOpen(); }
    // Appends one line. A failing write is reported once on stderr; later lines are still tried.
    void Write(const TrafficRecord& record);

private:
    QFile m_file;
    bool m_failureReported = false;
};
