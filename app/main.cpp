#include "CRC16.h"
#include "CommandLine.h"
#include "Connections.h"
#include "Controls.h"
#include "Fonts.h"
#include "HistoryExport.h"
#include "HistoryHook.h"
#include "Language.h"
#include "MainWindow.h"
#include "StopSignals.h"
#include "TrafficLogAlerts.h"
#include "TrafficLogFile.h"
#include "Unit2.h"
#include "Z7Version.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>

#ifdef Z7_FIRST_FRAME_PROBE
#include "FirstFrameProbe.h"
#endif

namespace {

// The language for this run: --lang over the one last chosen in the window over the system's. A
// missing translation leaves the laid-out Chinese, and says so.
void UseLanguage(const TCommandLine& commandLine, const QString& program) {
    if (!ApplyLanguage(
            ChooseLanguage(commandLine.Language, SavedLanguage(), QLocale::system().uiLanguages())))
        std::fprintf(stderr, "%s: no English translation in %s; the texts stay Chinese\n",
                     qPrintable(program), qPrintable(TranslationDirs().join(QStringLiteral(", "))));
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    const TCommandLine parsed = ParseCommandLine(arguments);
    if (parsed.Action != TCommandLine::Run) {
        // Only text to print: no display is needed, but the translations are.
        QCoreApplication core(argc, argv);
        UseLanguage(parsed, program);
        const TCommandLine commandLine = ParseCommandLine(arguments); // its texts in that language
        if (commandLine.Action == TCommandLine::Help) {
            std::fputs(qPrintable(UsageText(program)), stdout);
            return 0;
        }
        if (commandLine.Action == TCommandLine::Version) {
            std::printf("%s\n", qPrintable(VersionText()));
            return 0;
        }
        std::fprintf(stderr, "%s: %s\n%s", qPrintable(program), qPrintable(commandLine.Message),
                     qPrintable(UsageText(program)));
        return 2;
    }
    const TCommandLine& commandLine = parsed;

    // An export needs neither a window nor a display; its messages are in the run's language.
    if (commandLine.ExportRequested()) {
        QCoreApplication core(argc, argv);
        UseLanguage(commandLine, program);
        return RunHistoryExport(commandLine, program);
    }

    TrafficLogFile trafficLog;
    if (!commandLine.TrafficLog.isEmpty()) {
        QString why;
        if (!trafficLog.Open(commandLine.TrafficLog, &why)) {
            QCoreApplication core(argc, argv);
            UseLanguage(commandLine, program);
            std::fprintf(stderr, "%s\n",
                         qPrintable(TrafficLogOpenError(program, commandLine.TrafficLog, why)));
            return 2;
        }
    }

    // A saved connection named on the command line. A name not saved stops the start, naming the saved
    // ones, rather than opening a panel on boxes the operator did not ask for.
    std::optional<Connection> connection;
    if (!commandLine.Connection.isEmpty()) {
        connection = NamedConnection(commandLine.Connection);
        if (!connection) {
            QCoreApplication core(argc, argv);
            UseLanguage(commandLine, program);
            std::fprintf(stderr, "%s: %s\n", qPrintable(program),
                         qPrintable(UnknownConnectionMessage(commandLine.Connection)));
            return 2;
        }
    }

    // The face aliases must be in place before the first font is resolved.
    LoadFontAliases();
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(kZ7Version));
    // Lets the desktop match the window with the installed entry and its icon.
    QApplication::setDesktopFileName(QString::fromLatin1(kZ7AppId));
    ApplyClassicLook(app);
    UseLanguage(commandLine, program);
    // How the run ends, for the history: closing the window, a signal, or the end of the session.
    QString stopReason;
    TStopSignals stopSignals;
    QObject::connect(&stopSignals, &TStopSignals::received, &app, [&stopReason](const QString& name) {
        if (stopReason.isEmpty())
            stopReason = name;
        // Every event loop ends, a message box's too, whatever the windows say.
        QCoreApplication::exit(0);
    });
#ifndef QT_NO_SESSIONMANAGER
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [&stopReason] {
        if (stopReason.isEmpty())
            stopReason = QStringLiteral("log-out");
    });
#endif

    TMainWindow window;
    TForm1& form1 = *window.Form();
    if (trafficLog.IsOpen())
        AttachTrafficLog(trafficLog, window, program);
    if (!commandLine.Port.isEmpty())
        form1.PresetPort(commandLine.Port);
    if (connection)
        ApplyConnection(form1, *connection);
    TForm2 form2(&form1);
    THistoryHook history(&form1, window.Watch());
    if (!commandLine.NoHistory)
        window.AttachHistory(&history,
                             commandLine.History.isEmpty() ? DefaultHistoryPath() : commandLine.History);
    window.show();
#ifdef Z7_FIRST_FRAME_PROBE
    ExitAfterFirstFrame(window);
#endif
    const int status = app.exec();
    history.Stop(stopReason.isEmpty() ? QStringLiteral("window closed") : stopReason);
    return status;
}
