#include "TrafficLogFile.h"

#include <cstdio>

bool TrafficLogFile::Open(const QString& path, QString* error) {
    m_file.setFileName(path);
    // Unbuffered: each line goes to the system with its own write.
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    if (error)
        *error = m_file.errorString();
    return false;
}

void TrafficLogFile::Write(const TrafficRecord& record) {
    const QByteArray line = TrafficLogLine(record).toLatin1() + '\n';
    if (m_file.write(line) == line.size())
        return;
    if (!m_failureReported) {
        std::fprintf(stderr, "traffic log %s: %s\n", qPrintable(m_file.fileName()),
                     qPrintable(m_file.errorString()));
        m_failureReported = true;
    }
}
