// The monitor window 通讯监视 over the line's traffic: rows that follow the ring buffer by sequence
// number, following and scrolling away, pause, the problems filter, clear, copy, saving, and a real
// poll cycle on a pseudo-terminal.
#include "CRC16.h"
#include "MainWindow.h"
#include "ModbusTestBytes.h"
#include "PtyPair.h"
#include "TrafficModel.h"
#include "TrafficMonitor.h"
#include "TrafficText.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace modbus_test;

namespace {

// Record `id` of a made-up line: a request, its answer, then every third record a problem, a refused
// reply and a missing answer by turns. The id is kept in the monotonic time.
TrafficRecord Made(qint64 id) {
    TrafficRecord r;
    r.monotonicUs = id;
    r.utcMs = 1796890502123 + id;
    switch (id % 6) {
    case 0:
    case 3:
        r.direction = TrafficDirection::Tx;
        r.verdict = Verdict::Sent;
        r.bytes = Hex("01030000000AC5CD");
        break;
    case 1:
    case 4:
        r.direction = TrafficDirection::Rx;
        r.verdict = Verdict::Accepted;
        r.bytes = ReadReply(1, {quint16(id)});
        break;
    case 2:
        r.direction = TrafficDirection::Rx;
        r.verdict = Verdict::Crc;
        r.bytes = Hex("0103");
        break;
    default:
        r.direction = TrafficDirection::Missing;
        r.verdict = Verdict::NoReply;
        break;
    }
    return r;
}

QList<qint64> ShownIds(const TTrafficModel& model) {
    QList<qint64> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids << model.RecordAt(row).monotonicUs;
    return ids;
}

// One CSV line split by RFC 4180 (quoted fields may hold commas and doubled quotes).
QStringList CsvFields(const QString& line) {
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"')
            fields.last() += line[++i];
        else if (c == u'"')
            quoted = !quoted;
        else if (c == u',' && !quoted)
            fields << QString();
        else
            fields.last() += c;
    }
    return fields;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The main window with the monitor opened from its menu.
struct Monitored {
    TMainWindow window;
    TTrafficMonitor* monitor = nullptr;
    Monitored() {
        window.show();
        window.MonitorAction->trigger();
        monitor = window.findChild<TTrafficMonitor*>();
    }
    // Reports records as the poll cycle does; the rows take them at the monitor's next batch, which
    // `sync` brings forward.
    void Feed(qint64 first, qint64 count, bool sync = true) {
        for (qint64 id = first; id < first + count; ++id)
            window.Form()->ReportTraffic(Made(id));
        if (sync)
            monitor->syncRows();
    }
    QScrollBar* Bar() const { return monitor->Table()->verticalScrollBar(); }
    QTableView* Table() const { return monitor->Table(); }
    QString Text(const char* name) const { return monitor->findChild<QLabel*>(QLatin1String(name))->text(); }
    template <class T> T* Child(const char* name) const {
        return monitor->findChild<T*>(QLatin1String(name));
    }
};

// Answers the save dialog, once it is up, with a file name and the type at `filter` in its list.
void AnswerSaveDialog(const QString& path, int filter) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, path, filter] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->deleteLater();
        dialog->selectNameFilter(dialog->nameFilters().value(filter));
        // Typed as the user does: selectFile leaves the name box alone once it has the focus, which
        // it gets as soon as the dialog is active.
        const QFileInfo wanted(path);
        dialog->setDirectory(wanted.absolutePath());
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(wanted.fileName());
        else
            qWarning("the save dialog has no file name box");
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as the save button
    });
    timer->start(10);
}

} // namespace

class TestMonitor : public QObject {
    Q_OBJECT
private slots:
    void rowsFollowTheBuffer_data();
    void rowsFollowTheBuffer();
    void oldRowsGoInSteps();
    void rowsOfRecordsPushedOutBetweenBatches();
    void placedBesideThePanel_data();
    void placedBesideThePanel();
    void opensOnce();
    void followsUnlessScrolledAway();
    void rowsComeWithTheStatusBar();
    void pauseAndFilterInTheWindow();
    void dropsShownWhileTheRingIsFull();
    void clearKeepsTheStatistics();
    void copiesSelectedRowsAsLogLines();
    void savesAsTextOrCsv_data();
    void savesAsTextOrCsv();
    void saveFailureIsReported();
    void realPollCycle();
};

// A script over a buffer of four records: "+N" records reported one by one (a sync after each, as the
// window does), "*N" at once (one sync, as when the window is shown again), "P"/"R" pause and resume,
// "F"/"f" the problems filter on and off, "C" clear. Records are named by id, counted on across a clear.
void TestMonitor::rowsFollowTheBuffer_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QList<qint64>>("shown");
    QTest::addColumn<qint64>("waiting");
    using L = QList<qint64>;
    QTest::newRow("fills, then the oldest go") << "+6" << L{2, 3, 4, 5} << 0ll;
    QTest::newRow("at once") << "+2 *3" << L{1, 2, 3, 4} << 0ll;
    QTest::newRow("paused rows stay") << "+2 P +1" << L{0, 1} << 1ll;
    QTest::newRow("paused rows go with their records") << "+3 P +2" << L{1, 2} << 2ll;
    QTest::newRow("paused past every row") << "+2 P +6" << L{} << 4ll;
    QTest::newRow("resumed past every row") << "+2 P +6 R" << L{4, 5, 6, 7} << 0ll;
    QTest::newRow("resume catches up") << "+2 P +1 R" << L{0, 1, 2} << 0ll;
    QTest::newRow("problems only") << "+6 F" << L{2, 5} << 0ll;
    QTest::newRow("problems only, then new ones") << "F +9" << L{5, 8} << 0ll;
    QTest::newRow("filter while paused keeps the pause point") << "+3 P +2 F" << L{2} << 2ll;
    QTest::newRow("filtered, resumed") << "+3 P +2 F R +1" << L{2, 5} << 0ll;
    QTest::newRow("filter off shows all again") << "+6 F f" << L{2, 3, 4, 5} << 0ll;
    QTest::newRow("clear") << "+5 C +2" << L{5, 6} << 0ll;
    QTest::newRow("clear while paused") << "+2 P C +2" << L{} << 2ll;
    QTest::newRow("clear while paused, resumed") << "+2 P C +2 R" << L{2, 3} << 0ll;
}

void TestMonitor::rowsFollowTheBuffer() {
    QFETCH(QString, script);
    QFETCH(QList<qint64>, shown);
    QFETCH(qint64, waiting);
    TrafficBuffer buffer(4);
    TTrafficModel model(buffer, 0);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    qint64 id = 0;
    for (const QString& step : script.split(u' ')) {
        const int n = step.mid(1).toInt();
        if (step[0] == u'+') {
            for (int i = 0; i < n; ++i) {
                buffer.Append(Made(id++));
                model.Sync();
            }
        } else if (step[0] == u'*') {
            for (int i = 0; i < n; ++i)
                buffer.Append(Made(id++));
            model.Sync();
        } else if (step == u"P" || step == u"R") {
            model.SetPaused(step == u"P");
        } else if (step == u"F" || step == u"f") {
            model.SetProblemsOnly(step == u"F");
        } else if (step == u"C") {
            buffer.Clear();
            model.Reset();
        }
    }
    QCOMPARE(ShownIds(model), shown);
    QCOMPARE(model.Waiting(), waiting);
    for (int row = 0; row < model.rowCount(); ++row) {
        const TrafficRecord& r = model.RecordAt(row);
        QCOMPARE(model.index(row, TTrafficModel::VerdictColumn).data(TTrafficModel::VerdictRole).toInt(),
                 int(r.verdict));
        QCOMPARE(model.index(row, 0).data(Qt::BackgroundRole).isValid(), IsProblem(r.verdict));
    }
}

// A full ring sheds rows a hundredth of its size at a time, never keeping one whose record is gone.
void TestMonitor::oldRowsGoInSteps() {
    TrafficBuffer buffer(600);
    TTrafficModel model(buffer, 0);
    QCOMPARE(model.TrimStep(), 6);
    qint64 id = 0;
    const auto add = [&](int n) {
        for (int i = 0; i < n; ++i)
            buffer.Append(Made(id++));
        model.Sync();
    };
    add(600);
    add(1);
    QCOMPARE(model.rowCount(), 595);
    QCOMPARE(model.RecordAt(0).monotonicUs, 6);
    add(5);
    QCOMPARE(model.rowCount(), 600);
    QCOMPARE(model.RecordAt(0).monotonicUs, 6);
    // More pushed out at once than a step: all of them go, and no more.
    add(20);
    QCOMPARE(model.RecordAt(0).monotonicUs, 26);
    QCOMPARE(model.RecordAt(model.rowCount() - 1).monotonicUs, id - 1);

    model.SetProblemsOnly(true);
    QCOMPARE(model.RecordAt(0).monotonicUs, 26);
    add(1);
    // Problems are every third record: 26 has gone and those before 32 with it.
    QCOMPARE(model.RecordAt(0).monotonicUs, 32);
    QCOMPARE(model.rowCount(), 199);
}

// Between two batches the ring may push out records whose rows are still there: such a row shows
// nothing, and copying or saving takes the rows of gone records away first instead of reading before
// the buffer's start.
void TestMonitor::rowsOfRecordsPushedOutBetweenBatches() {
    TrafficBuffer buffer(4);
    TTrafficModel model(buffer, 0);
    for (qint64 id = 0; id < 4; ++id)
        buffer.Append(Made(id));
    model.Sync();
    buffer.Append(Made(4));
    buffer.Append(Made(5));
    QCOMPARE(model.rowCount(), 4);
    QVERIFY(!model.Held(0) && !model.Held(1) && model.Held(2));
    for (int column = 0; column < TTrafficModel::ColumnCount; ++column) {
        QVERIFY(!model.index(1, column).data().isValid());
        QVERIFY(!model.index(1, column).data(Qt::BackgroundRole).isValid());
    }
    QCOMPARE(model.index(2, TTrafficModel::TimeColumn).data().toString(), QStringLiteral("0.0"));

    Monitored m;
    const qint64 capacity = m.window.Line()->Traffic().Capacity();
    m.Feed(0, capacity);
    m.Feed(capacity, 3, false);
    m.Table()->selectAll();
    QApplication::clipboard()->clear();
    m.monitor->copySelection();
    const QStringList lines = QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), m.monitor->Model()->rowCount());
    QCOMPARE(lines.first(), TrafficLogLine(Made(m.monitor->Model()->RecordAt(0).monotonicUs)));
    QVERIFY(m.monitor->Model()->RecordAt(0).monotonicUs >= 3);
    const TrafficRange shown = m.monitor->ShownRecords();
    QCOMPARE(shown.count, m.monitor->Model()->rowCount());
    QVERIFY(shown.at(0).monotonicUs >= 3);
}

void TestMonitor::placedBesideThePanel_data() {
    QTest::addColumn<QRect>("panel");
    QTest::addColumn<QRect>("place");
    // A 1920 x 1080 screen, a monitor that would be 1200 x 400.
    QTest::newRow("room on the right") << QRect(100, 50, 801, 620) << QRect(909, 50, 1011, 620);
    QTest::newRow("room below only") << QRect(700, 50, 801, 600) << QRect(700, 658, 1200, 400);
    QTest::newRow("below, kept on the screen") << QRect(1000, 50, 801, 600) << QRect(720, 658, 1200, 400);
    QTest::newRow("no room") << QRect(560, 300, 801, 600) << QRect(720, 300, 1200, 400);
}

void TestMonitor::placedBesideThePanel() {
    QFETCH(QRect, panel);
    QFETCH(QRect, place);
    QCOMPARE(PlaceBeside(panel, QRect(0, 0, 1920, 1080), QSize(1200, 400)), place);
}

void TestMonitor::opensOnce() {
    Monitored m;
    QVERIFY(m.monitor);
    QVERIFY(QTest::qWaitForWindowExposed(m.monitor));
    QVERIFY(!m.monitor->isModal());
    m.monitor->close();
    m.window.MonitorAction->trigger();
    QCOMPARE(m.window.findChildren<TTrafficMonitor*>().size(), 1);
    QVERIFY(m.monitor->isVisible());
    // The panel stays usable meanwhile.
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestMonitor::followsUnlessScrolledAway() {
    Monitored m;
    QVERIFY(QTest::qWaitForWindowExposed(m.monitor));
    m.Feed(0, 200);
    QTest::qWait(0);
    QVERIFY(m.Bar()->maximum() > 0);
    QVERIFY(m.monitor->Following());
    QCOMPARE(m.Bar()->value(), m.Bar()->maximum());
    m.Feed(200, 2);
    QTest::qWait(0);
    QCOMPARE(m.Bar()->value(), m.Bar()->maximum());

    // Scrolled up by the user, new records leave the view where it is.
    m.Bar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    const int away = m.Bar()->value();
    QVERIFY(!m.monitor->Following());
    m.Feed(202, 18);
    QTest::qWait(0);
    QCOMPARE(m.Bar()->value(), away);
    QCOMPARE(m.monitor->Model()->rowCount(), 220);

    // Back at the bottom, it follows again.
    m.Bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    m.Feed(220, 5);
    QTest::qWait(0);
    QVERIFY(m.monitor->Following());
    QCOMPARE(m.Bar()->value(), m.Bar()->maximum());
    const QModelIndex newest = m.monitor->Model()->index(224, 0);
    QVERIFY(m.monitor->Table()->viewport()->rect().contains(m.monitor->Table()->visualRect(newest)));
}

// A poll's request and its answer come into the rows together, when the status bar is brought up to
// date, so that both windows are painted in one pass; and without a call, the status bar's own timer
// brings them.
void TestMonitor::rowsComeWithTheStatusBar() {
    Monitored m;
    m.Feed(0, 3);
    // Record 3 is a request, 4 its answer.
    m.Feed(3, 2, false);
    QCOMPARE(m.monitor->Model()->rowCount(), 3);
    m.window.refreshStatus();
    QCOMPARE(m.monitor->Model()->rowCount(), 5);
    m.Feed(5, 2, false);
    QTRY_COMPARE_WITH_TIMEOUT(m.monitor->Model()->rowCount(), 7, 1000);
}

void TestMonitor::pauseAndFilterInTheWindow() {
    Monitored m;
    m.Feed(0, 6);
    QTest::mouseClick(m.Child<QPushButton>("pause"), Qt::LeftButton);
    m.Feed(6, 6);
    QCOMPARE(m.monitor->Model()->rowCount(), 6);
    QCOMPARE(m.window.Line()->Traffic().Size(), 12);
    m.monitor->refreshStatistics();
    QVERIFY2(m.Text("shown").contains(u"6 条新记录未显示"), qPrintable(m.Text("shown")));

    m.Child<QCheckBox>("problemsOnly")->click();
    QCOMPARE(ShownIds(*m.monitor->Model()), (QList<qint64>{2, 5}));
    QTest::mouseClick(m.Child<QPushButton>("pause"), Qt::LeftButton);
    QCOMPARE(ShownIds(*m.monitor->Model()), (QList<qint64>{2, 5, 8, 11}));
    m.Child<QCheckBox>("problemsOnly")->click();
    QCOMPARE(m.monitor->Model()->rowCount(), 12);

    // Closed, the window does no work; shown again, it catches up.
    m.monitor->close();
    m.Feed(12, 3, false);
    QTest::qWait(300);
    QCOMPARE(m.monitor->Model()->rowCount(), 12);
    m.window.MonitorAction->trigger();
    QCOMPARE(m.monitor->Model()->rowCount(), 15);
}

void TestMonitor::dropsShownWhileTheRingIsFull() {
    Monitored m;
    const qint64 capacity = m.window.Line()->Traffic().Capacity();
    m.Feed(0, capacity + 25);
    QCOMPARE(m.window.Line()->Traffic().Dropped(), 25);
    QCOMPARE(m.monitor->Model()->rowCount(), capacity);
    QCOMPARE(m.monitor->Model()->RecordAt(0).monotonicUs, 25);
    QTRY_VERIFY2(m.Text("dropped").contains(u"已丢弃 25 条"), qPrintable(m.Text("dropped")));
    QTest::qWait(0);
    QVERIFY(m.monitor->Following());
}

void TestMonitor::clearKeepsTheStatistics() {
    Monitored m;
    m.Feed(0, 40);
    const qint64 requests = m.window.Line()->Stats().Requests();
    QCOMPARE(requests, 14);
    QTest::mouseClick(m.Child<QPushButton>("clear"), Qt::LeftButton);
    QCOMPARE(m.window.Line()->Traffic().Size(), 0);
    QCOMPARE(m.monitor->Model()->rowCount(), 0);
    QCOMPARE(m.window.Line()->Stats().Requests(), requests);
    QCOMPARE(m.Text("requests"), QStringLiteral("14"));
    m.Feed(40, 2);
    QCOMPARE(ShownIds(*m.monitor->Model()), (QList<qint64>{40, 41}));

    QTest::mouseClick(m.Child<QPushButton>("resetStats"), Qt::LeftButton);
    QCOMPARE(m.window.Line()->Stats().Requests(), 0);
    QCOMPARE(m.Text("requests"), QStringLiteral("0"));
    QCOMPARE(m.window.Line()->Traffic().Size(), 2);
}

void TestMonitor::copiesSelectedRowsAsLogLines() {
    Monitored m;
    QVERIFY(QTest::qWaitForWindowActive(m.monitor));
    m.Feed(0, 6);
    QTableView* table = m.monitor->Table();
    table->setFocus();
    table->selectRow(4);
    table->selectionModel()->select(m.monitor->Model()->index(1, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QApplication::clipboard()->clear();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             TrafficLogLine(Made(1)) + u'\n' + TrafficLogLine(Made(4)) + u'\n');
}

// Saved from the monitor: the rows it shows (here, with the filter on, the problems only).
void TestMonitor::savesAsTextOrCsv_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("filter");
    QTest::addColumn<bool>("csv");
    QTest::newRow("text") << "a.txt" << 0 << false;
    QTest::newRow("csv") << "b.csv" << 1 << true;
    QTest::newRow("csv by its suffix") << "c.csv" << 0 << true;
    QTest::newRow("csv by the chosen type") << "d.dat" << 1 << true;
}

void TestMonitor::savesAsTextOrCsv() {
    QFETCH(QString, name);
    QFETCH(int, filter);
    QFETCH(bool, csv);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    Monitored m;
    m.Feed(0, 12);
    m.Child<QCheckBox>("problemsOnly")->click();
    const QList<qint64> ids{2, 5, 8, 11};
    QCOMPARE(ShownIds(*m.monitor->Model()), ids);
    AnswerSaveDialog(path, filter);
    QTest::mouseClick(m.Child<QPushButton>("save"), Qt::LeftButton);
    const QString written = QString::fromUtf8(ReadFile(path));
    if (!csv) {
        QString expected;
        for (qint64 id : ids)
            expected += TrafficLogLine(Made(id)) + u'\n';
        QCOMPARE(written, expected);
        return;
    }
    QVERIFY(written.endsWith(QStringLiteral("\r\n")));
    const QStringList lines = written.chopped(2).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), ids.size() + 1);
    const QStringList header = CsvFields(lines[0]);
    QCOMPARE(header, QStringList({"time_utc", "time_ms", "direction", "verdict", "exception", "length",
                                  "bytes", "text"}));
    for (int i = 0; i < ids.size(); ++i) {
        const TrafficRecord r = Made(ids[i]);
        const QStringList f = CsvFields(lines[i + 1]);
        QCOMPARE(f.size(), header.size());
        QCOMPARE(f[0], IsoUtcMs(r.utcMs));
        QCOMPARE(f[1].toDouble(), double(r.monotonicUs - m.window.Line()->StartUs()) / 1000.0);
        QCOMPARE(f[2], QLatin1String(DirectionKeyword(r.direction)));
        QCOMPARE(f[3], QLatin1String(VerdictKeyword(r.verdict)));
        QCOMPARE(f[5].toInt(), r.bytes.size());
        QCOMPARE(f[6], HexPairs(r.bytes));
        QCOMPARE(f[7], VerdictText(r.verdict));
    }
}

void TestMonitor::saveFailureIsReported() {
    // The menu's save writes every record held; where no file can be made it fails, and the operator
    // is told in a message that names the file and the reason.
    Monitored m;
    m.Feed(0, 3);
    const QString unwritable = QStringLiteral("/proc/self/z7-traffic.log");
    AnswerSaveDialog(unwritable, 0);
    QString told;
    auto* watcher = new QTimer;
    QObject::connect(watcher, &QTimer::timeout, [watcher, &told] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        watcher->deleteLater();
        told = box->text();
        box->accept();
    });
    watcher->start(10);
    m.window.SaveTrafficAction->trigger();
    QVERIFY2(told.contains(unwritable), qPrintable(told));
    QVERIFY(told.split(u'\n').value(1).size() > 0);
    QVERIFY(!QFileInfo::exists(unwritable));

    QTemporaryDir dir;
    AnswerSaveDialog(dir.filePath(QStringLiteral("all.log")), 1);
    m.window.SaveTrafficAction->trigger();
    QCOMPARE(ReadFile(dir.filePath(QStringLiteral("all.log"))).count('\n'), 3);
}

// The panel polls a device played on a pseudo-terminal: a good reply, one with a broken CRC, and
// silence. The monitor shows each frame with the poll cycle's verdict, the problems in colour, and the
// statistics with the response time less the silence interval.
void TestMonitor::realPollCycle() {
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    Monitored m;
    TForm1* form = m.window.Form();
    form->Timer1->stop();
    form->PresetPort(pty.name);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    form->CheckBox2->setChecked(true);

    const QByteArray good = ReadReply(1, {500});
    QByteArray bad = good;
    bad[24] = char(bad[24] ^ 0xFF);
    TTrafficModel* model = m.monitor->Model();
    for (const QByteArray& reply : {good, bad}) {
        const int rows = model->rowCount();
        form->Timer1Timer(form->Timer1);
        QCOMPARE(pty.ReadMaster(8, 2000).size(), 8);
        QVERIFY(pty.WriteMaster(reply));
        QTRY_COMPARE(model->rowCount(), rows + 2);
    }
    form->Timer1Timer(form->Timer1);
    form->Timer1Timer(form->Timer1);

    const QList<Verdict> expected{Verdict::Sent, Verdict::Accepted, Verdict::Sent, Verdict::Crc,
                                  Verdict::Sent, Verdict::NoReply,  Verdict::Sent};
    QTRY_COMPARE(model->rowCount(), expected.size());
    for (int row = 0; row < expected.size(); ++row) {
        QCOMPARE(Verdict(model->index(row, 0).data(TTrafficModel::VerdictRole).toInt()), expected[row]);
        QCOMPARE(model->index(row, TTrafficModel::VerdictColumn).data().toString(),
                 VerdictText(expected[row]));
    }
    QCOMPARE(model->index(1, TTrafficModel::BytesColumn).data().toString(), HexPairs(good));
    QCOMPARE(model->index(5, TTrafficModel::LengthColumn).data(), QVariant());
    const QVariant plain = model->index(1, 0).data(Qt::BackgroundRole);
    const QVariant refused = model->index(3, 0).data(Qt::BackgroundRole);
    const QVariant missing = model->index(5, 0).data(Qt::BackgroundRole);
    QVERIFY(!plain.isValid() && refused.isValid() && missing.isValid() && refused != missing);

    m.monitor->refreshStatistics();
    const TrafficStats::ResponseTimes r = m.window.Line()->Stats().Responses();
    QCOMPARE(r.count, 2);
    QCOMPARE(m.Text("requests"), QStringLiteral("4"));
    QCOMPARE(m.Text("count_accepted"), QStringLiteral("1"));
    QCOMPARE(m.Text("count_crc"), QStringLiteral("1"));
    QCOMPARE(m.Text("count_noreply"), QStringLiteral("1"));
    QCOMPARE(m.Text("lessInterval"), QStringLiteral("减去 100 ms 静默间隔"));
    QCOMPARE(m.Text("time_last"), MillisecondsText(r.lastUs));
    QCOMPARE(m.Text("time_last_less"), MillisecondsText(r.lastUs - 100000));
    QCOMPARE(m.Text("time_p95_less"), MillisecondsText(r.p95Us - 100000));
    QVERIFY(r.minUs >= 100000);
}

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
