// Pictures of the trend and event windows over a run of the device simulator with line faults: the
// device started, driven to full output until TEMP MAX comes on, the port closed and opened again, the
// device stopped until the alarm clears. Usage: history_screenshot Z7SIM OUTDIR [SECONDS]
#include "CRC16.h"
#include "Controls.h"
#include "EventWindow.h"
#include "Fonts.h"
#include "HistoryHook.h"
#include "MainWindow.h"
#include "TrendWindow.h"
#include "UiDriving.h"
#include "iKnob.h"
#include "iSwitchLed.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s Z7SIM OUTDIR [SECONDS]\n", argv[0]);
        return 2;
    }
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const int heatSeconds = argc > 3 ? std::atoi(argv[3]) : 100;

    const QString link = QStringLiteral("/tmp/ttyZ7-history-shot");
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QString::fromLocal8Bit(argv[1]), {"--link", link, "--seed", "3", "--fault-crc", "0.05",
                                                "--fault-noreply", "0.05", "--fault-exception", "0.03"});
    for (int i = 0; i < 100 && !QFileInfo(link).isSymLink(); ++i)
        QThread::msleep(50);
    if (!QFileInfo(link).isSymLink()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    QTemporaryDir dir;
    TMainWindow window;
    TForm1& form = *window.Form();
    THistoryHook history(&form, window.Watch());
    window.AttachHistory(&history, dir.filePath(QStringLiteral("history.sqlite")));
    form.PresetPort(link);
    window.show();
    // A setting sent while a poll's answer is on its way, or with a fault injected, can be refused;
    // sent again half a poll later it gets through.
    const auto setKnob = [&](int position) {
        form.iKnob1->SetPosition(position);
        Click(form.iKnob1);
        Wait(1500);
        Click(form.iKnob1);
    };
    Wait(100);
    Click(form.BitBtn7);
    Click(form.CheckBox2);
    Wait(3000);
    // The display shows the device stopped by now, so the switch writes the command that starts it.
    Click(form.iSwitchLed1);
    Wait(1500);
    setKnob(1000);
    Wait(heatSeconds * 1000);
    Click(form.BitBtn7);
    Wait(4000);
    Click(form.BitBtn7);
    Wait(3000);
    // The switch writes 1 while the device runs (its caption reads "STOP"), so the setting is turned
    // down instead, and the load cools.
    setKnob(0);
    Wait(heatSeconds * 600);

    window.TrendAction->trigger();
    TTrendWindow* trend = history.TrendWindow();
    trend->SetQuantities({Quantity::CurrentR, Quantity::CurrentS, Quantity::CurrentT, Quantity::Voltage,
                          Quantity::Temperature, Quantity::OutputQuantity});
    trend->SetPreset(TTrendWindow::Minutes5);
    Wait(500);
    // The cursor at the hottest moment, in the alarm band.
    TTrendChartView* view = trend->ChartView();
    const QRectF plot = view->chart()->plotArea();
    const QPoint at = view->mapFromScene(QPointF(plot.left() + plot.width() * 0.55, plot.center().y()));
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     {});
    QApplication::sendEvent(view->viewport(), &move);
    Wait(300);
    const bool trendSaved = trend->grab().save(out.filePath(QStringLiteral("history-trend.png")));

    window.EventsAction->trigger();
    Wait(300);
    const bool eventsSaved =
        history.EventWindow()->grab().save(out.filePath(QStringLiteral("history-events.png")));
    sim.terminate();
    sim.waitForFinished(3000);
    std::printf("trend %s, events %s\n", trendSaved ? "saved" : "not saved",
                eventsSaved ? "saved" : "not saved");
    return trendSaved && eventsSaved ? 0 : 1;
}
