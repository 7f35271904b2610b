#pragma once

#include <QString>

class QMainWindow;
class TMainWindow;
class TrafficLogFile;

// What --traffic-log does with the open log: every record of the window's line is written to it, its
// trouble is reported as below, and it is reopened on SIGHUP (as logrotate expects of a program that
// keeps its log open).
void AttachTrafficLog(TrafficLogFile& log, TMainWindow& window, const QString& programName);

// Tells the operator when the traffic log cannot be written: the status bar says so while it lasts,
// a message box (not modal: the panel works on) the first time in a run, and standard error each
// time, for unattended runs. When writing works again, the status bar and standard error say how many
// records were lost; the log itself has a line saying so.
void ReportTrafficLogTrouble(TrafficLogFile& log, QMainWindow& window, const QString& programName);
