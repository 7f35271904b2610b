#include "CRC16.h"
#include "CommandLine.h"
#include "Controls.h"
#include "Fonts.h"
#include "MainWindow.h"
#include "TrafficLogFile.h"
#include "Unit2.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>

#ifdef Z7_FIRST_FRAME_PROBE
#include "FirstFrameProbe.h"
#endif

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    const TCommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.Action == TCommandLine::Help) {
        std::fputs(qPrintable(UsageText(program)), stdout);
        return 0;
    }
    if (commandLine.Action == TCommandLine::Error) {
        std::fprintf(stderr, "%s: %s\n%s", qPrintable(program), qPrintable(commandLine.Message),
                     qPrintable(UsageText(program)));
        return 2;
    }

    TrafficLogFile trafficLog;
    if (!commandLine.TrafficLog.isEmpty()) {
        QString why;
        if (!trafficLog.Open(commandLine.TrafficLog, &why)) {
            std::fprintf(stderr, "%s: cannot append to the traffic log %s: %s\n", qPrintable(program),
                         qPrintable(commandLine.TrafficLog), qPrintable(why));
            return 2;
        }
    }

    // The face aliases must be in place before the first font is resolved.
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);

    TMainWindow window;
    TForm1& form1 = *window.Form();
    if (trafficLog.IsOpen())
        QObject::connect(&form1, &TForm1::trafficRecorded,
                         [&trafficLog](const TrafficRecord& record) { trafficLog.Write(record); });
    if (!commandLine.Port.isEmpty())
        form1.PresetPort(commandLine.Port);
    TForm2 form2(&form1);
    window.show();
#ifdef Z7_FIRST_FRAME_PROBE
    ExitAfterFirstFrame(window);
#endif
    return app.exec();
}
