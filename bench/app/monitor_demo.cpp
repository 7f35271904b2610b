// The panel with the monitor open beside it during a run against the device simulator, for the
// monitor's screenshot: the main window at the screen's top left, the port opened on a fresh
// simulator, "通讯" ticked and 查看 → 通讯监视 triggered. Runs until it is ended.
// Usage: monitor_demo Z7SIM [SIMULATOR OPTIONS...], e.g. monitor_demo z7sim --fault-crc 0.1
// bench/app/monitor_screenshot.sh takes the picture with it.
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s Z7SIM [SIMULATOR OPTIONS...]\n", argv[0]);
        return 2;
    }
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);

    // Short, so that the port box shows it whole.
    const QString link = QStringLiteral("/tmp/ttyZ7m");
    if (QFileInfo::exists(link)) {
        std::fprintf(stderr, "%s is in use\n", qPrintable(link));
        return 1;
    }
    QStringList simArgs{"--link", link, "--alarm", "0x105"};
    for (int i = 2; i < argc; ++i)
        simArgs << QString::fromLocal8Bit(argv[i]);
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The screenshot script ends this program with a signal; the simulator goes with it.
    sim.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    sim.start(QString::fromLocal8Bit(argv[1]), simArgs);
    for (int i = 0; i < 100 && !QFileInfo(link).isSymLink(); ++i)
        QThread::msleep(50);
    if (!QFileInfo(link).isSymLink()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    TMainWindow window;
    window.Form()->PresetPort(link);
    window.move(0, 0);
    window.show();
    window.Form()->BitBtn7->click();
    window.Form()->CheckBox2->click();
    window.MonitorAction->trigger();
    const int status = app.exec();
    sim.terminate();
    sim.waitForFinished(3000);
    return status;
}
