#pragma once

#include <QString>
#include <QStringList>

// The panel's one option: `--port NAME` presets the port box; `--help` prints the usage.
struct TCommandLine {
    enum TAction { Run, Help, Error };
    TAction Action = Run;
    QString Port;    // empty: keep the layout's port
    QString Message; // what was wrong, for Error
};

// Arguments without the program name.
TCommandLine ParseCommandLine(const QStringList& arguments);
QString UsageText(const QString& programName);
