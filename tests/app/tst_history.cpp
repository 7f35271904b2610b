// The history in the panel: the menu entries, a file that is not ours or cannot be read, recording
// through the hook from its start to its stop, a write failure in the status bar, a stop by signal, the
// trend and event windows over a prepared file, and the export from the command line without a display.
#include "CRC16.h"
#include "CommandLine.h"
#include "DisplayRefresh.h"
#include "EventWindow.h"
#include "HistoryCsv.h"
#include "HistoryHook.h"
#include "HistoryTestData.h"
#include "LoopbackServer.h"
#include "MainWindow.h"
#include "TrendWindow.h"
#include "iKnob.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <QWheelEvent>

#include <csignal>
#include <ctime>
#include <sqlite3.h>

namespace {

const DeviceKey kCom4{QStringLiteral("COM4"), 1};

QAction* ViewAction(TMainWindow& window, const QString& text) {
    for (QAction* m : window.menuBar()->actions())
        if (m->text() == u"查看")
            for (QAction* a : m->menu()->actions())
                if (a->text() == text)
                    return a;
    return nullptr;
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Ten minutes of COM4#1 up to `now`, a block of each kind every second: 100.0 A on phase R with a
// one-second spike to 250.0 A five minutes ago, TEMP MAX for a minute from 200 s ago.
void Prepare(const QString& path, qint64 now) {
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
    std::vector<BlockSample> blocks;
    for (int s = 600; s >= 0; --s) {
        const qint64 t = now - s * 1000;
        blocks.push_back(
            Block(t, 20, {{20, quint16(s == 300 ? 2500 : 1000)}, {21, 990}, {22, 1010}, {23, 3800}}, kCom4));
        blocks.push_back(Block(t + 1, 10, {{12, 60}, {13, quint16(s <= 200 && s > 140 ? 0x10 : 0)}}, kCom4));
        blocks.push_back(Block(t + 2, 0, {{0, 500}, {3, 1}}, kCom4));
    }
    QVERIFY(store.Append(blocks, {{now - 200000, kCom4, EventKind::AlarmSet, "TEMP MAX"},
                                  {now - 140000, kCom4, EventKind::AlarmClear, "TEMP MAX"},
                                  {now - 100000, kCom4, EventKind::Command, "register 4 value 250"},
                                  {now - 99000, kCom4, EventKind::CommandConfirmed, "register 4 value 250"},
                                  {now - 50000, kCom4, EventKind::LinkLost, "3 polls unanswered"}}));
}

// Runs the real program with neither a display nor a platform plugin named.
struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
Run RunPanel(const QStringList& args, const QString& timeZone = {}) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (!timeZone.isEmpty())
        env.insert(QStringLiteral("TZ"), timeZone);
    program.setProcessEnvironment(env);
    // In English, the language of the messages checked below.
    program.start(QStringLiteral(Z7PANEL_PATH),
                  QStringList{QStringLiteral("--lang"), QStringLiteral("en")} + args);
    Run run;
    if (!program.waitForFinished(20000) || program.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = program.exitCode();
    run.out = program.readAllStandardOutput();
    run.err = program.readAllStandardError();
    return run;
}

// The events of a history file, "device kind detail" each, in time order.
QStringList EventTexts(const QString& path) {
    HistoryStore store;
    QStringList events;
    if (!store.Open(path, HistoryStore::Access::ReadOnly, nullptr))
        return events;
    store.ForEachEvent(0, kNoLimitFrom, kNoLimitTo, [&](const StoredEvent& e) {
        events << QStringLiteral("%1 %2 %3")
                      .arg(e.event.device.Name(), EventKindKeyword(e.event.kind), e.event.detail)
                      .trimmed();
    });
    return events;
}

int AllMinuteRows(HistoryStore& store) {
    int rows = 0;
    store.ForEachMinute(0, kNoLimitFrom, kNoLimitTo, [&](const MinuteRow&) { ++rows; });
    return rows;
}

// A history of ours cut short: it looks like SQLite but cannot be read.
void WriteTruncatedHistory(const QString& path) {
    {
        HistoryStore store;
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
        std::vector<BlockSample> blocks;
        for (int s = 0; s < 600; ++s)
            blocks.push_back(Block(kT0 + s * 1000, 20, {{20, quint16(s)}}));
        QVERIFY(store.Append(blocks, {}));
    }
    QVERIFY(QFile::resize(path, 1000));
}

} // namespace

class TestHistoryApp : public QObject {
    Q_OBJECT
private slots:
    void menuEntries();
    void fileNotOursLeavesPanelRunning_data();
    void fileNotOursLeavesPanelRunning();
    void secondPanelOnTheFileIsTold();
    void recordsThroughTheHook();
    void writeFailureShownUntilRecordingWorks();
    void signalStopsCleanly_data();
    void signalStopsCleanly();
    void lostConnectionIsRecorded();
    void trendWindow();
    void eventWindow();
    void exportWithoutDisplay();
    void exportLocalTimeInGap();
    void exportFailures_data();
    void exportFailures();

private:
    QTemporaryDir m_dir;
};

void TestHistoryApp::menuEntries() {
    TMainWindow window;
    QAction* trend = ViewAction(window, QStringLiteral("趋势"));
    QAction* events = ViewAction(window, QStringLiteral("事件记录"));
    QVERIFY(trend && events);
    QCOMPARE(trend->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
    QCOMPARE(events->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    // Without a history there is nothing to show.
    QVERIFY(!trend->isEnabled() && !events->isEnabled());
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(window.AttachHistory(&hook, m_dir.filePath(QStringLiteral("menu.sqlite"))));
    QVERIFY(trend->isEnabled() && events->isEnabled());
}

void TestHistoryApp::fileNotOursLeavesPanelRunning_data() {
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<QString>("reason");
    QTest::newRow("notes") << false << "not an SQLite database";
    QTest::newRow("history cut short") << true << "malformed";
}

// A second panel recording into the file another records into is told so at start, and records all the
// same; the first, alone on the file, is told nothing.
void TestHistoryApp::secondPanelOnTheFileIsTold() {
    const QString path = m_dir.filePath(QStringLiteral("shared.sqlite"));
    TMainWindow first;
    THistoryHook firstHook(first.Form(), first.Watch());
    QVERIFY(first.AttachHistory(&firstHook, path));
    QVERIFY(!firstHook.SharedWithAnotherPanel());
    QTest::qWait(50);
    QVERIFY(!first.findChild<QMessageBox*>(QStringLiteral("sharedHistory")));

    TMainWindow second;
    THistoryHook secondHook(second.Form(), second.Watch());
    QVERIFY(second.AttachHistory(&secondHook, path));
    QVERIFY(secondHook.SharedWithAnotherPanel());
    QVERIFY(secondHook.IsRecording());
    QTRY_VERIFY(second.findChild<QMessageBox*>(QStringLiteral("sharedHistory")));
    QVERIFY(second.findChild<QMessageBox*>(QStringLiteral("sharedHistory"))->informativeText().contains(path));
}

void TestHistoryApp::fileNotOursLeavesPanelRunning() {
    QFETCH(bool, truncated);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(QStringLiteral("notes-%1.txt").arg(truncated));
    if (truncated) {
        WriteTruncatedHistory(path);
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("my notes, not a history\n");
    }
    const QByteArray before = FileBytes(path);
    TMainWindow window;
    window.show();
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(!window.AttachHistory(&hook, path));
    QVERIFY(!hook.IsRecording());
    QMessageBox* box = nullptr;
    QTRY_VERIFY((box = window.findChild<QMessageBox*>()) && box->isVisible());
    QVERIFY2(box->informativeText().contains(path) && box->informativeText().contains(reason),
             qPrintable(box->informativeText()));
    QCOMPARE(box->windowModality(), Qt::NonModal);
    QVERIFY(window.Form()->Timer1->isActive());
    QVERIFY(!ViewAction(window, QStringLiteral("趋势"))->isEnabled());
    QCOMPARE(FileBytes(path), before);
}

void TestHistoryApp::recordsThroughTheHook() {
    const QString path = m_dir.filePath(QStringLiteral("hook.sqlite"));
    TMainWindow window;
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(window.AttachHistory(&hook, path));
    TForm1* form = window.Form();
    QCOMPARE(hook.CurrentDevice(), kCom4);
    // An accepted reply and a refused one; only the first is a reading.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    form->ReportTraffic(ReadRecord(Block(now, 10, {{13, 0x10}, {12, 81}}, kCom4)));
    form->ReportTraffic(ReadRecord(Block(now + 1, 10, {{13, 0}, {12, 99}}, kCom4), Verdict::Crc));
    // A knob released while communication is off: a command that was never sent.
    QTest::mouseClick(form->iKnob2, Qt::LeftButton, {}, form->iKnob2->rect().center());
    hook.Recorder().Flush();

    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadOnly, nullptr));
    QList<StoredBlock> blocks;
    store.ForEachBlock(0, kNoLimitFrom, kNoLimitTo, [&](const StoredBlock& b) {
        blocks << b;
        return true;
    });
    QCOMPARE(blocks.size(), 1);
    QCOMPARE(blocks[0].raw[size_t(Quantity::Temperature)], 81);
    const QString command = QStringLiteral("COM4#1 command register 4 value %1 reason commoff")
                                .arg(KnobWriteValue(form->iKnob2->Position()));
    // The start, the alarm found set at the first reading (not seen coming on), the command.
    QCOMPARE(EventTexts(path), (QStringList{"COM4#1 recording-started " + VersionText(),
                                            "COM4#1 state-at-start TEMP MAX", command}));
    QCOMPARE(AllMinuteRows(store), 0);

    // A clean stop: its event, and the minute's row of the block written.
    hook.Stop(QStringLiteral("window closed"));
    QVERIFY(!hook.IsRecording());
    QCOMPARE(EventTexts(path).last(), QStringLiteral("COM4#1 recording-stopped window closed"));
    QCOMPARE(AllMinuteRows(store), 1);
}

void TestHistoryApp::writeFailureShownUntilRecordingWorks() {
    const QString path = m_dir.filePath(QStringLiteral("failing.sqlite"));
    TMainWindow window;
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(window.AttachHistory(&hook, path));
    hook.Recorder().Flush();
    // Another program holds the write lock beyond the busy time-out.
    sqlite3* holder = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &holder), SQLITE_OK);
    QCOMPARE(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    window.Form()->ReportTraffic(ReadRecord(Block(kT0, 10, {{12, 81}}, kCom4)));
    QTRY_VERIFY_WITH_TIMEOUT(
        window.statusBar()->currentMessage().startsWith(QStringLiteral("历史记录写入失败")), 15000);
    QVERIFY2(window.statusBar()->currentMessage().contains(QStringLiteral("locked")),
             qPrintable(window.statusBar()->currentMessage()));
    // Free again: the reading held meanwhile goes in, and the message goes.
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage().isEmpty(), 15000);
    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadOnly, nullptr));
    int blocks = 0;
    store.ForEachBlock(0, kNoLimitFrom, kNoLimitTo, [&](const StoredBlock&) { return ++blocks; });
    QCOMPARE(blocks, 1);
}

void TestHistoryApp::signalStopsCleanly_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::newRow("SIGTERM") << int(SIGTERM) << "SIGTERM";
    QTest::newRow("SIGINT") << int(SIGINT) << "SIGINT";
}

void TestHistoryApp::signalStopsCleanly() {
    QFETCH(int, signal);
    QFETCH(QString, name);
    const QString path = m_dir.filePath(QStringLiteral("signal-%1.sqlite").arg(name));
    QTemporaryDir config;
    QProcess panel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(Z7PANEL_PATH), {"--lang", "en", "--history", path});
    QVERIFY(panel.waitForStarted());
    // Once the recording's start is in the file, the panel is running.
    QTRY_VERIFY_WITH_TIMEOUT(EventTexts(path).size() == 1, 20000);
    QVERIFY(EventTexts(path).first().startsWith(u"COM4#1 recording-started z7panel "));
    ::kill(pid_t(panel.processId()), signal);
    QVERIFY(panel.waitForFinished(20000));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), 0);
    QCOMPARE(EventTexts(path).last(), "COM4#1 recording-stopped " + name);
}

// A network connection that the server drops and the panel makes again: the port vanished and opened
// again, then closed by the operator; the opening's own start is no event.
void TestHistoryApp::lostConnectionIsRecorded() {
    const QString path = m_dir.filePath(QStringLiteral("reconnect.sqlite"));
    LoopbackServer server;
    QVERIFY(server.port != 0);
    TMainWindow window;
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(window.AttachHistory(&hook, path));
    TForm1* form = window.Form();
    form->PresetPort(server.Name());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QTRY_VERIFY(form->Comm1->IsOpen());
    QVERIFY(server.Accept());
    server.ClosePeer();
    QTRY_VERIFY(form->Reconnecting());
    QTRY_VERIFY_WITH_TIMEOUT(form->Comm1->IsOpen(), 4000);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    hook.Recorder().Flush();

    HistoryStore store;
    QVERIFY(store.Open(path, HistoryStore::Access::ReadOnly, nullptr));
    QStringList events;
    // The port's events, after the recording's start.
    store.ForEachEvent(0, kNoLimitFrom, kNoLimitTo, [&](const StoredEvent& e) {
        const QString kind = QLatin1String(EventKindKeyword(e.event.kind));
        if (kind.startsWith(u"port-"))
            events << QStringLiteral("%1 %2").arg(kind, e.event.detail);
    });
    const QString port = server.Name();
    QCOMPARE(events, (QStringList{"port-open " + port, "port-vanished " + port, "port-open " + port,
                                  "port-close " + port}));
}

void TestHistoryApp::trendWindow() {
    const QString path = m_dir.filePath(QStringLiteral("trend.sqlite"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    Prepare(path, now);
    TMainWindow window;
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(window.AttachHistory(&hook, path));
    ViewAction(window, QStringLiteral("趋势"))->trigger();
    TTrendWindow* trend = hook.TrendWindow();
    QVERIFY(trend && trend->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(trend));
    QCOMPARE(trend->Device(), std::optional<DeviceKey>(kCom4));
    QVERIFY(trend->Following());
    QCOMPARE(trend->Quantities(), (QList<Quantity>{Quantity::CurrentR, Quantity::CurrentS, Quantity::CurrentT,
                                                   Quantity::Voltage}));
    trend->SetPreset(TTrendWindow::Minutes5);
    QVERIFY(trend->To() - trend->From() >= 300000 && trend->To() >= now && trend->From() <= now - 290000);
    trend->SetPreset(TTrendWindow::Hour1);
    // The hour's axis labels take another width: the data follows the plot area, a column a pixel.
    QTRY_COMPARE(trend->Columns(), int(trend->ChartView()->chart()->plotArea().width()));

    // The spike is drawn at the one-hour width, and the cursor over it reads it out.
    const QList<QPointF> drawn =
        static_cast<QLineSeries*>(trend->ChartView()->chart()->series()[0])->points();
    QVERIFY(!drawn.isEmpty());
    QCOMPARE(std::max_element(drawn.begin(), drawn.end(), [](auto a, auto b) { return a.y() < b.y(); })->y(),
             250.0);
    const QRectF plot = trend->ChartView()->chart()->plotArea();
    const auto plotX = [&](qint64 t) {
        return int(double(t - trend->From()) / (trend->To() - trend->From()) * plot.width());
    };
    const QString readout = trend->ReadoutAt(plotX(now - 300000));
    QVERIFY2(readout.contains(QStringLiteral("R相电流")) && readout.contains(QStringLiteral("250.0 A")),
             qPrintable(readout));
    QVERIFY2(trend->ReadoutAt(plotX(now - 170000)).contains(QStringLiteral("TEMP MAX")), qPrintable(readout));

    // The alarm minute is a shaded band; the time around it is not.
    trend->ChartView()->viewport()->repaint();
    const QImage image = trend->ChartView()->grab().toImage();
    const auto reddish = [&](qint64 t) {
        const QPoint p =
            trend->ChartView()->mapFromScene(QPointF(plot.left() + plotX(t) + 0.5, plot.top() + 5));
        const QColor c = image.pixelColor(p);
        return c.red() > c.green() + 20 && c.red() > c.blue() + 20;
    };
    QVERIFY(reddish(now - 170000));
    QVERIFY(!reddish(now - 400000));

    // The wheel zooms in around the pointer; a drag pans; both stop following.
    const qint64 span = trend->To() - trend->From();
    const QPoint centre = trend->ChartView()->mapFromScene(plot.center());
    QWheelEvent wheel(centre, trend->ChartView()->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(trend->ChartView()->viewport(), &wheel);
    QVERIFY(!trend->Following());
    QVERIFY(qAbs(double(trend->To() - trend->From()) - span * 0.8) < 2);
    const qint64 fromBefore = trend->From(), zoomed = trend->To() - trend->From();
    QTest::mousePress(trend->ChartView()->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseMove(trend->ChartView()->viewport(), centre + QPoint(100, 0));
    QTest::mouseRelease(trend->ChartView()->viewport(), Qt::LeftButton, {}, centre + QPoint(100, 0));
    const double expected = -100.0 / plot.width() * zoomed;
    QVERIFY2(qAbs(double(trend->From() - fromBefore) - expected) < zoomed / 500.0,
             qPrintable(QStringLiteral("%1 %2").arg(trend->From() - fromBefore).arg(expected)));

    // Exports: the visible span as readings CSV, the chart as PNG.
    trend->SetRange(now - 20500, now - 10500);
    trend->Reload();
    const QString csv = m_dir.filePath(QStringLiteral("trend.csv"));
    QString why;
    QVERIFY2(trend->ExportCsv(csv, &why), qPrintable(why));
    const QList<QByteArray> lines = FileBytes(csv).split('\n');
    QCOMPARE(lines[0], ReadingsCsvHeader().trimmed() + '\r');
    QCOMPARE(lines.size(), 1 + 3 * 10 + 1);
    QVERIFY(lines[1].contains(",COM4#1,"));
    const QString png = m_dir.filePath(QStringLiteral("trend.png"));
    QVERIFY(trend->ExportPng(png));
    // The chart with a title above and a legend below.
    const QSize chart = trend->ChartView()->size() * trend->devicePixelRatio();
    QCOMPARE(QImage(png).width(), chart.width());
    QVERIFY(QImage(png).height() > chart.height());
}

void TestHistoryApp::eventWindow() {
    // Local time 8 hours from UTC, so the zone choice shows.
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Asia/Shanghai");
    tzset();
    const auto restoreZone = qScopeGuard([&] {
        if (hadZone)
            qputenv("TZ", zone);
        else
            qunsetenv("TZ");
        tzset();
    });
    const QString path = m_dir.filePath(QStringLiteral("events.sqlite"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    Prepare(path, now);
    TMainWindow window;
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(window.AttachHistory(&hook, path));
    hook.Recorder().Flush();
    ViewAction(window, QStringLiteral("事件记录"))->trigger();
    TEventWindow* events = hook.EventWindow();
    QVERIFY(events && events->isVisible());
    QCOMPARE(events->ShownRows(), 5 + 1); // and the start of this recording
    const QAbstractItemModel* model = events->Table()->model();
    QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("警报出现"));
    QCOMPARE(model->index(0, 3).data().toString(), QStringLiteral("TEMP MAX"));
    // Times in the zone chosen, which the header names.
    const auto timeIn = [](const QTimeZone& zone, qint64 t) {
        return QDateTime::fromMSecsSinceEpoch(t, zone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    };
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("时间 (Asia/Shanghai)"));
    QCOMPARE(model->index(0, 0).data().toString(), timeIn(QTimeZone("Asia/Shanghai"), now - 200000));
    events->SetZone(ShownZone::Utc);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("时间 (UTC)"));
    QCOMPARE(model->index(0, 0).data().toString(), timeIn(QTimeZone::utc(), now - 200000));

    // Filtered by kind, and the rows shown exported.
    events->SetKindFilter(EventKind::Command);
    QCOMPARE(events->ShownRows(), 1);
    const QString csv = m_dir.filePath(QStringLiteral("events.csv"));
    QString why;
    QVERIFY2(events->ExportCsv(csv, &why), qPrintable(why));
    QCOMPARE(FileBytes(csv), "time,device,kind,detail\r\n" + IsoUtcMs(now - 100000).toLatin1() +
                                 ",COM4#1,command,register 4 value 250\r\n");

    // New events show as the writer commits them.
    events->SetKindFilter(std::nullopt);
    hook.Recorder().Record(HistoryEvent{now, kCom4, EventKind::LinkRestored, {}});
    QTRY_COMPARE(events->ShownRows(), 7);

    // Events of a second panel on the same file, the later one stored with an older time: each shown
    // once, in its place in time.
    HistoryRecorder second;
    QVERIFY2(second.Open(path, &why), qPrintable(why));
    second.Record(HistoryEvent{now + 1000, kCom4, EventKind::LinkLost, QStringLiteral("second")});
    second.Record(HistoryEvent{now - 40000, kCom4, EventKind::LinkRestored, QStringLiteral("late")});
    second.Close();
    hook.Recorder().Record(HistoryEvent{now + 2000, kCom4, EventKind::LinkRestored, {}});
    QTRY_COMPARE(events->ShownRows(), 10);
    hook.Recorder().Record(HistoryEvent{now + 3000, kCom4, EventKind::LinkLost, {}});
    QTRY_COMPARE(events->ShownRows(), 11);
    QTest::qWait(300);
    QCOMPARE(events->ShownRows(), 11);
    const auto* source = events->findChild<TEventModel*>();
    QVERIFY(source);
    QList<qint64> times;
    for (int row = 0; row < source->rowCount(); ++row)
        times << source->At(row).event.utcMs;
    QVERIFY(std::is_sorted(times.begin(), times.end()));
    QCOMPARE(times.count(now - 40000), 1);
}

void TestHistoryApp::exportWithoutDisplay() {
    const QString path = m_dir.filePath(QStringLiteral("export.sqlite"));
    {
        HistoryStore store;
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
        QVERIFY(store.Append({Block(kT0 + 123, 0, {{0, 1234}, {3, 1}, {4, 1000}, {5, 5}}),
                              Block(kT0 + 60000, 20, {{20, 1}, {21, 22}, {22, 333}, {23, 3801}})},
                             {{kT0 + 5, kDevice, EventKind::PortOpen, "/dev/ttyUSB0"}}));
    }
    const QString readings = m_dir.filePath(QStringLiteral("readings.csv"));
    const QString events = m_dir.filePath(QStringLiteral("events.csv"));
    Run run = RunPanel({"--history", path, "--export-csv", readings, "--export-events", events});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(FileBytes(readings),
             ReadingsCsvHeader() +
                 "2026-12-10T08:00:00.123Z,/dev/ttyUSB0#1,0,12.34,1,100.0,0.5,,,,,,,,,\r\n"
                 "2026-12-10T08:01:00.000Z,/dev/ttyUSB0#1,20,,,,,,,,,,0.1,2.2,33.3,380.1\r\n");
    QCOMPARE(FileBytes(events),
             "time,device,kind,detail\r\n2026-12-10T08:00:00.005Z,/dev/ttyUSB0#1,port-open,"
             "/dev/ttyUSB0\r\n");
    // --from and --to, with a zone offset; standard output.
    run = RunPanel({"--history", path, "--export-csv", "-", "--from", "2026-12-10T16:00:30+08:00", "--to",
                    "2026-12-10T08:02:00Z"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.count("\r\n"), 2);
    QVERIFY(run.out.contains("08:01:00.000Z"));

    // One device; its minute rows.
    {
        HistoryStore store;
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
        QVERIFY(store.Append({Block(kT0 + 1000, 20, {{20, 7}}, kCom4)},
                             {{kT0 + 6, kCom4, EventKind::PortOpen, "COM4"}}));
        QVERIFY(store.CatchUpMinutes());
    }
    run = RunPanel({"--history", path, "--export-csv", "-", "--device", "COM4#1"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out,
             ReadingsCsvHeader() + "2026-12-10T08:00:01.000Z,COM4#1,20,,,,,,,,,,0.7,0.0,0.0,0.0\r\n");
    run = RunPanel({"--history", path, "--export-events", "-", "--device", "/dev/ttyUSB0#1"});
    QCOMPARE(run.out, "time,device,kind,detail\r\n2026-12-10T08:00:00.005Z,/dev/ttyUSB0#1,port-open,"
                      "/dev/ttyUSB0\r\n");
    run = RunPanel({"--history", path, "--export-csv", "-", "--minutes"});
    QCOMPARE(run.exitCode, 0);
    QList<QByteArray> rows = run.out.split('\n');
    QCOMPARE(rows.size(), 1 + 3 + 1);
    QCOMPARE(rows[0] + '\n', MinutesCsvHeader());
    QVERIFY(rows[1].startsWith("2026-12-10T08:00:00.000Z,/dev/ttyUSB0#1,1,12.34,12.3400,12.34,"));
    QVERIFY(rows[2].startsWith("2026-12-10T08:00:00.000Z,COM4#1,1,"));
    QVERIFY(rows[3].startsWith("2026-12-10T08:01:00.000Z,/dev/ttyUSB0#1,1,"));
    run = RunPanel({"--history", path, "--export-csv", "-", "--minutes", "--device", "COM4#1"});
    QCOMPARE(run.out.count("\r\n"), 2);
}

void TestHistoryApp::exportLocalTimeInGap() {
    // Berlin's clocks went from 02:00 to 03:00 on 2026-03-29: 02:30 local is moved forward to 03:30,
    // 01:30 UTC.
    const QString path = m_dir.filePath(QStringLiteral("gap.sqlite"));
    {
        HistoryStore store;
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
        const qint64 at =
            QDateTime::fromString(QStringLiteral("2026-03-29T01:30:00Z"), Qt::ISODate).toMSecsSinceEpoch();
        QVERIFY(store.Append({Block(at - 1, 20, {{20, 1}}), Block(at, 20, {{20, 2}})}, {}));
    }
    const Run run = RunPanel({"--history", path, "--export-csv", "-", "--from", "2026-03-29T02:30:00", "--to",
                              "2026-03-29T04:00:00"},
                             QStringLiteral("Europe/Berlin"));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out,
             ReadingsCsvHeader() + "2026-03-29T01:30:00.000Z,/dev/ttyUSB0#1,20,,,,,,,,,,0.2,0.0,0.0,0.0\r\n");
}

void TestHistoryApp::exportFailures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString good = m_dir.filePath(QStringLiteral("export.sqlite"));
    const QString out = m_dir.filePath(QStringLiteral("fail.csv"));
    QTest::newRow("no such history") << QStringList{"--history", m_dir.filePath("none.sqlite"),
                                                    "--export-csv", out}
                                     << 1 << "no history there";
    QTest::newRow("not a history") << QStringList{"--history", QStringLiteral(Z7PANEL_PATH), "--export-csv",
                                                  out}
                                   << 1 << "not a Z7 Panel history";
    QTest::newRow("unwritable output")
        << QStringList{"--history", good, "--export-csv", m_dir.filePath("no/such/dir.csv")} << 1
        << "cannot write the readings";
    QTest::newRow("history cut short")
        << QStringList{"--history", m_dir.filePath("cut.sqlite"), "--export-csv", out} << 1 << "malformed";
    QTest::newRow("unknown device") << QStringList{"--history", good,       "--export-csv",
                                                   out,         "--device", "COM1#5"}
                                    << 1
                                    << "no device COM1#5 in the history (there are: /dev/ttyUSB0#1, COM4#1)";
    QTest::newRow("bad time") << QStringList{"--history", good, "--export-csv", out, "--from", "yesterday"}
                              << 2 << "not an ISO 8601 time";
    QTest::newRow("span the wrong way round")
        << QStringList{"--history", good, "--export-csv", out, "--from", "2026-12-11", "--to", "2026-12-10"}
        << 2 << "--from must be before --to";
    QTest::newRow("device without address")
        << QStringList{"--history", good, "--export-csv", out, "--device", "COM4"} << 2 << "--device takes";
    QTest::newRow("device without export") << QStringList{"--device", "COM4#1"} << 2 << "--device limits";
    QTest::newRow("minutes without readings")
        << QStringList{"--history", good, "--export-events", out, "--minutes"} << 2 << "--minutes goes";
    QTest::newRow("span without export") << QStringList{"--to", "2026-12-10"} << 2 << "limit an export";
    QTest::newRow("no history and export")
        << QStringList{"--no-history", "--export-events", out} << 2 << "--no-history";
}

void TestHistoryApp::exportFailures() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    if (!QFile::exists(m_dir.filePath(QStringLiteral("export.sqlite"))))
        QSKIP("needs the file of exportWithoutDisplay");
    if (!QFile::exists(m_dir.filePath(QStringLiteral("cut.sqlite"))))
        WriteTruncatedHistory(m_dir.filePath(QStringLiteral("cut.sqlite")));
    const Run run = RunPanel(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("fail.csv"))));
}

QTEST_MAIN(TestHistoryApp)
#include "tst_history.moc"
