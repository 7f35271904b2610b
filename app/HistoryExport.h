#pragma once
// The history's CSV export from the command line: no window and no display, so scripts can run it.

#include "CommandLine.h"

// Writes the readings or minute rows (--export-csv, --minutes) and events (--export-events) of the
// history file, of every device or of --device, to their files ("-" is standard output) and returns the
// exit status: 0 when all is written; otherwise a message on standard error and 1. A file is replaced
// only once it is complete.
int RunHistoryExport(const TCommandLine& commandLine, const QString& programName);
