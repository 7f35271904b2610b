// The live panel as an operator sees it: starts the device simulator on a pseudo-terminal, opens the
// port with "打开串口", ticks "通讯", starts the device with the run/stop switch, waits for a few
// readings and saves the window with its menu and status bars. With "stale" it stops the simulator
// first and waits until the panel veils the readings that no longer come.
// Usage: panel_screenshot Z7SIM OUTPUT.png [SECONDS] [zh|en] [live|stale]
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "Language.h"
#include "MainWindow.h"
#include "UiDriving.h"
#include "iSwitchLed.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s Z7SIM OUTPUT.png [SECONDS] [zh|en] [live|stale]\n", argv[0]);
        return 2;
    }
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 6;
    const bool stale = argc > 5 && QByteArray(argv[5]) == "stale";
    const Language language = argc > 4
                                  ? LanguageFromCode(QString::fromLatin1(argv[4])).value_or(Language::Chinese)
                                  : Language::Chinese;
    if (!ApplyLanguage(language, {QStringLiteral(Z7_BUILT_TRANSLATIONS)})) {
        std::fprintf(stderr, "the translation is not built\n");
        return 1;
    }

    const QString link = QStringLiteral("/tmp/ttyZ7-shot");
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QString::fromLocal8Bit(argv[1]), {"--link", link, "--alarm", "0x105"});
    for (int i = 0; i < 100 && !QFileInfo(link).isSymLink(); ++i)
        QThread::msleep(50);
    if (!QFileInfo(link).isSymLink()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }

    TMainWindow window;
    TForm1& form = *window.Form();
    form.PresetPort(link);
    window.show();
    Wait(100);
    Click(form.BitBtn7);
    Click(form.CheckBox2);
    // The device starts stopped: once the display shows that, the switch reads "RUN" and a click on it
    // sends the run command.
    for (int i = 0; i < 100 && form.iSwitchLed1->Caption() != u"RUN"; ++i)
        Wait(50);
    Click(form.iSwitchLed1);
    Wait(seconds * 1000);
    if (stale) {
        // Three polls unanswered, and the tick after.
        sim.terminate();
        sim.waitForFinished(3000);
        Wait(4500);
    }
    const bool saved = window.grab().save(output);
    sim.terminate();
    sim.waitForFinished(3000);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(output));
    return saved ? 0 : 1;
}
