#pragma once

#include <QString>
#include <QStringList>

// The panel's options: `--port NAME` presets the port box, `--traffic-log FILE` appends every traffic
// record to FILE, `--lang zh|en` chooses the language; `--help` prints the usage and `--version` the
// version, both without opening a window.
struct TCommandLine {
    enum TAction { Run, Help, Version, Error };
    TAction Action = Run;
    QString Port;       // empty: keep the layout's port
    QString TrafficLog; // empty: no traffic log
    QString Language;   // "zh" or "en"; empty: the saved or the system's choice
    QString Message;    // what was wrong, for Error
};

// Arguments without the program name.
TCommandLine ParseCommandLine(const QStringList& arguments);
QString UsageText(const QString& programName);
// Why the traffic log named on the command line cannot be used.
QString TrafficLogOpenError(const QString& programName, const QString& path, const QString& why);
// "z7panel MAJOR.MINOR", the first line of `--version`.
QString VersionText();
