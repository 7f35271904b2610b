#pragma once

#include "HistoryTypes.h"

#include <QString>
#include <QStringList>

#include <optional>

// The panel's options: `--port NAME` presets the port box, `--connection NAME` sets the port, baud-rate,
// format and address boxes to a saved connection, `--traffic-log FILE` appends every traffic record to
// FILE, `--lang zh|en` chooses the language; `--help` prints the usage and `--version` the version, both
// without opening a window.
struct TCommandLine {
    enum TAction { Run, Help, Version, Error };
    TAction Action = Run;
    QString Port;       // empty: keep the layout's port
    QString Connection; // a saved connection's name; empty: the laid-out boxes
    QString TrafficLog; // empty: no traffic log
    QString Language;   // "zh" or "en"; empty: the saved or the system's choice
    QString Message;    // what was wrong, for Error

    // The history: `--history PATH` records into (or exports from) PATH instead of the default file,
    // `--no-history` records nothing. `--export-csv OUT` and `--export-events OUT` write the readings
    // (the minute rows with `--minutes`) and the events as CSV and exit, limited by `--from` and `--to`
    // (ISO 8601) and to one device by `--device PORT#ADDRESS`.
    QString History;
    bool NoHistory = false;
    QString ExportCsv;
    QString ExportEvents;
    bool Minutes = false;
    std::optional<DeviceKey> Device;
    std::optional<qint64> FromMs;
    std::optional<qint64> ToMs;
    bool ExportRequested() const { return !ExportCsv.isEmpty() || !ExportEvents.isEmpty(); }
};

// Arguments without the program name.
TCommandLine ParseCommandLine(const QStringList& arguments);
QString UsageText(const QString& programName);
// Why the traffic log named on the command line cannot be used.
QString TrafficLogOpenError(const QString& programName, const QString& path, const QString& why);
// "z7panel MAJOR.MINOR", the first line of `--version`.
QString VersionText();
// An ISO 8601 time of --from and --to: "2026-12-10T08:15:02.123Z", with an offset, or without one as
// local time (a local time the clocks skipped is moved forward); a date alone is its midnight.
std::optional<qint64> ParseIsoTime(const QString& text);
// Where the history lives unless --history names another file: history.sqlite in the user's data
// folder for the panel (~/.local/share/z7panel on Linux).
QString DefaultHistoryPath();
