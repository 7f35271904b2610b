// The panel in Chinese and in English: which language a run starts in, every visible text translated,
// the port button deciding by its state in both languages, and switching while the panel runs, in the
// main window and in the monitor, bus scan, trend, event and register windows, the alarm strip and
// the connections.
#include "AlarmStrip.h"
#include "BusScanWindow.h"
#include "CRC16.h"
#include "Connections.h"
#include "Controls.h"
#include "EventDetector.h"
#include "EventWindow.h"
#include "Fonts.h"
#include "HistoryHook.h"
#include "HistoryTestData.h"
#include "Language.h"
#include "LineStatus.h"
#include "LoopbackServer.h"
#include "MainWindow.h"
#include "ModalBoxes.h"
#include "ModbusTestBytes.h"
#include "PtyPair.h"
#include "Quantities.h"
#include "RegisterWindow.h"
#include "ScriptedCommPort.h"
#include "SetPointDialog.h"
#include "StaleVeil.h"
#include "TrafficModel.h"
#include "TrafficMonitor.h"
#include "TrafficText.h"
#include "TrendWindow.h"
#include "iKnob.h"
#include "iLabel.h"
#include "iSwitchLed.h"

#include <QAbstractAxis>
#include <QAbstractButton>
#include <QAbstractSeries>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QStringList BuiltTranslations() {
    return {qEnvironmentVariable("Z7_BINARY_DIR") + QStringLiteral("/share/z7panel/translations")};
}

// The texts of a table: its column titles and their tips, and its cells and theirs.
void AddModelTexts(QStringList& texts, const QString& where, const QAbstractItemModel* model) {
    for (int column = 0; column < model->columnCount(); ++column)
        for (int role : {Qt::DisplayRole, Qt::ToolTipRole})
            texts << where + QStringLiteral(" header: ") +
                         model->headerData(column, Qt::Horizontal, role).toString();
    for (int row = 0; row < model->rowCount(); ++row)
        for (int column = 0; column < model->columnCount(); ++column)
            for (int role : {Qt::DisplayRole, Qt::ToolTipRole})
                texts << where + QStringLiteral(" cell: ") + model->index(row, column).data(role).toString();
}

// Every text the window shows, with where it is: captions, tips, list items, tables, chart axes and
// series. The language menu names each language in itself, so "中文" stays in the English window.
QStringList ShownTexts(QWidget* window) {
    QStringList texts{QStringLiteral("window title: ") + window->windowTitle()};
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString where =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        texts << where + QStringLiteral(" tip: ") + w->toolTip();
        if (auto* label = qobject_cast<QLabel*>(w))
            texts << where + QStringLiteral(": ") + label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts << where + QStringLiteral(": ") + button->text();
        else if (auto* label = qobject_cast<TLabel*>(w))
            texts << where + QStringLiteral(": ") + label->Caption();
        else if (auto* label = qobject_cast<TiLabel*>(w))
            texts << where + QStringLiteral(": ") + label->Caption();
        else if (auto* menu = qobject_cast<QMenu*>(w))
            texts << where + QStringLiteral(": ") + menu->title();
        else if (auto* box = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < box->count(); ++i)
                texts << where + QStringLiteral(": ") + box->itemText(i);
        else if (auto* box = qobject_cast<QAbstractSpinBox*>(w))
            texts << where + QStringLiteral(": ") + box->text();
        else if (auto* bar = qobject_cast<QProgressBar*>(w))
            texts << where + QStringLiteral(": ") + bar->text();
        else if (auto* table = qobject_cast<QTableView*>(w))
            AddModelTexts(texts, where, table->model());
        else if (auto* view = qobject_cast<QChartView*>(w)) {
            texts << where + QStringLiteral(" chart: ") + view->chart()->title();
            for (QAbstractAxis* axis : view->chart()->axes())
                texts << where + QStringLiteral(" axis: ") + axis->titleText();
            for (QAbstractSeries* series : view->chart()->series())
                texts << where + QStringLiteral(" series: ") + series->name();
        }
    }
    for (QAction* action : window->findChildren<QAction*>())
        texts << QStringLiteral("action: ") + action->text()
              << QStringLiteral("action tip: ") + action->toolTip();
    return texts;
}

QStringList Chinese(const QStringList& texts) {
    // CJK ideographs and the full-width punctuation that goes with them.
    static const QRegularExpression cjk(
        QStringLiteral("[\\x{3000}-\\x{303F}\\x{4E00}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
    QStringList found;
    for (const QString& t : texts)
        if (t.contains(cjk))
            found << t;
    return found;
}

// The language menu's entry for Chinese, which the English window keeps.
const QStringList kLanguageMenuEntry{QStringLiteral("action: 中文"), QStringLiteral("action tip: 中文")};

enum class Secondary { Monitor, BusScan, Trend, Events, SetPoint, Registers };

const DeviceKey kCom4{QStringLiteral("COM4"), 1};
constexpr quint8 kScanDevice = 2;

// The panel on a scripted line with a device at kScanDevice, recording into a history of five minutes of
// COM4#1 with an alarm that came and went and a command. Each secondary window is opened from the menu
// and given some state of its own: what a switch of language must keep and show anew.
struct Rig {
    QTemporaryDir dir;
    TScriptedCommPort* port = new TScriptedCommPort;
    TMainWindow window{std::unique_ptr<TCommPort>(port)};
    THistoryHook hook{window.Form(), window.Watch()};
    const qint64 now = QDateTime::currentMSecsSinceEpoch();

    bool WriteHistory() {
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        {
            HistoryStore store;
            if (!store.Open(path, HistoryStore::Access::ReadWrite, nullptr))
                return false;
            std::vector<BlockSample> blocks;
            for (int s = 300; s >= 0; s -= 2) {
                const qint64 t = now - s * 1000;
                blocks.push_back(Block(t, 20, {{20, 1000}, {21, 990}, {22, 1010}, {23, 3800}}, kCom4));
                blocks.push_back(
                    Block(t + 1, 10, {{12, 60}, {13, quint16(s <= 200 && s > 140 ? 0x10 : 0)}}, kCom4));
            }
            if (!store.Append(blocks, {{now - 200000, kCom4, EventKind::AlarmSet, "TEMP MAX"},
                                       {now - 140000, kCom4, EventKind::AlarmClear, "TEMP MAX"},
                                       {now - 100000, kCom4, EventKind::Command, "register 4 value 250"}}))
                return false;
        }
        return window.AttachHistory(&hook, path);
    }

    void Report(TrafficRecord record, int atMs) {
        record.monotonicUs = window.Line()->StartUs() + atMs * 1000;
        window.Form()->ReportTraffic(record);
    }

    // Opens the window and sets it up; nullptr when that failed.
    QWidget* Open(Secondary which) {
        switch (which) {
        case Secondary::Monitor: {
            // A poll answered, one refused with an exception, one unanswered; paused and showing only the
            // problems, with a record waiting.
            const BlockSample block = Block(now, 0, {{0, 500}}, kCom4);
            Report(Record(TrafficDirection::Tx, Verdict::Sent, 3, 0, 10, now), 0);
            Report(ReadRecord(block), 150);
            TrafficRecord refused = Record(TrafficDirection::Rx, Verdict::Exception, 3, 10, 10, now + 1000);
            refused.bytes = modbus_test::Hex("018302C0F1");
            refused.exceptionCode = 2;
            Report(refused, 1150);
            Report(Record(TrafficDirection::Missing, Verdict::NoReply, 3, 20, 10, now + 2000), 2500);
            window.MonitorAction->trigger();
            auto* monitor = window.findChild<TTrafficMonitor*>();
            if (!monitor)
                return nullptr;
            monitor->syncRows();
            monitor->findChild<QPushButton*>(QStringLiteral("pause"))->click();
            monitor->findChild<QCheckBox*>(QStringLiteral("problemsOnly"))->click();
            Report(Record(TrafficDirection::Tx, Verdict::Sent, 3, 0, 10, now + 3000), 3000);
            monitor->syncRows();
            monitor->refreshStatistics();
            return monitor;
        }
        case Secondary::BusScan: {
            port->SetResponder([](const QByteArray& written, const TCommState&) {
                return written.size() == 8 && quint8(written[0]) == kScanDevice
                           ? modbus_test::ReadReply(kScanDevice, {42})
                           : QByteArray();
            });
            QTest::mouseClick(window.Form()->BitBtn7, Qt::LeftButton);
            window.ScanAction->trigger();
            auto* scan = window.findChild<TBusScanWindow*>();
            if (!scan || !window.Form()->Comm1->IsOpen())
                return nullptr;
            scan->LastAddressBox->setValue(3);
            scan->WaitBox->setValue(scan->WaitBox->minimum());
            QSignalSpy ended(scan, &TBusScanWindow::scanEnded);
            scan->start();
            if (!ended.wait(10000))
                return nullptr;
            scan->FoundTable->selectRow(0);
            return scan;
        }
        case Secondary::Trend: {
            window.TrendAction->trigger();
            TTrendWindow* trend = hook.TrendWindow();
            if (!trend)
                return nullptr;
            trend->SetQuantities({Quantity::CurrentR, Quantity::Temperature, Quantity::OutputQuantity});
            trend->SetPreset(TTrendWindow::Hours8);
            trend->SetRange(now - 250000, now - 100000);
            trend->Reload();
            return trend;
        }
        case Secondary::Events: {
            window.EventsAction->trigger();
            TEventWindow* events = hook.EventWindow();
            if (events)
                events->SetKindFilter(EventKind::AlarmSet);
            return events;
        }
        case Secondary::SetPoint: {
            // Polling off, a refused value and a command not sent: every line the dialog can show.
            window.SetPointAction->trigger();
            TSetPointDialog* dialog = window.SetPointDialog();
            if (!dialog)
                return nullptr;
            dialog->Field(Quantity::MaxOutput)->setText(QStringLiteral("250"));
            QTest::keyClick(dialog->Field(Quantity::MaxOutput), Qt::Key_Return);
            window.Form()->iKnob2Click(window.Form()->iKnob2);
            return dialog;
        }
        case Secondary::Registers: {
            // The device running with an alarm, its last block never read; the ages held still.
            Report(ReadRecord(Block(now, 0, {{0, 5950}, {3, 1}, {4, 250}}, kCom4)), 1000);
            Report(ReadRecord(Block(now, 10, {{12, 65}, {13, 0x10}}, kCom4)), 2000);
            window.RegistersAction->trigger();
            TRegisterWindow* registers = window.RegisterWindow();
            if (registers) {
                const qint64 startUs = window.Line()->StartUs();
                registers->SetClock([startUs] { return startUs + 95 * 1000000LL; });
                registers->refresh();
            }
            return registers;
        }
        }
        return nullptr;
    }
};

// What the window holds, as a switch of language must keep it.
QString State(Secondary which, QWidget* w) {
    switch (which) {
    case Secondary::Monitor: {
        const TTrafficModel* model = static_cast<TTrafficMonitor*>(w)->Model();
        return QStringLiteral("paused %1 problems %2 rows %3 waiting %4")
            .arg(model->Paused())
            .arg(model->ProblemsOnly())
            .arg(model->rowCount())
            .arg(model->Waiting());
    }
    case Secondary::BusScan: {
        auto* scan = static_cast<TBusScanWindow*>(w);
        return QStringLiteral("answers %1 rows %2 progress %3 selected %4")
            .arg(scan->Scan()->Answers().size())
            .arg(scan->FoundTable->rowCount())
            .arg(scan->Progress->value())
            .arg(scan->FoundTable->selectedItems().size());
    }
    case Secondary::Trend: {
        auto* trend = static_cast<TTrendWindow*>(w);
        return QStringLiteral("from %1 to %2 following %3 preset %4 quantities %5")
            .arg(trend->From())
            .arg(trend->To())
            .arg(trend->Following())
            .arg(trend->findChild<QComboBox*>(QStringLiteral("preset"))->currentIndex())
            .arg(trend->Quantities().size());
    }
    case Secondary::Events: {
        auto* events = static_cast<TEventWindow*>(w);
        return QStringLiteral("kind %1 rows %2")
            .arg(events->findChild<QComboBox*>(QStringLiteral("kind"))->currentIndex())
            .arg(events->ShownRows());
    }
    case Secondary::SetPoint: {
        auto* dialog = static_cast<TSetPointDialog*>(w);
        return QStringLiteral("typed %1 run %2")
            .arg(dialog->Field(Quantity::MaxOutput)->text())
            .arg(dialog->RunBox()->currentIndex());
    }
    case Secondary::Registers: {
        const QTableWidget* table = static_cast<TRegisterWindow*>(w)->Table();
        return QStringLiteral("rows %1 register 0 %2 register 13 %3")
            .arg(table->rowCount())
            .arg(table->item(0, TRegisterWindow::RawColumn)->text())
            .arg(table->item(13, TRegisterWindow::RawColumn)->text());
    }
    }
    return {};
}

void SecondaryWindows() {
    QTest::addColumn<Secondary>("which");
    QTest::newRow("monitor") << Secondary::Monitor;
    QTest::newRow("bus scan") << Secondary::BusScan;
    QTest::newRow("trend") << Secondary::Trend;
    QTest::newRow("events") << Secondary::Events;
    QTest::newRow("set values") << Secondary::SetPoint;
    QTest::newRow("registers") << Secondary::Registers;
}

} // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ApplyLanguage(Language::Chinese); }
    void choice_data();
    void choice();
    void englishWindowHasNoChinese();
    void portButtonDecidesByState_data();
    void portButtonDecidesByState();
    void networkPortInEnglish();
    void switchingWhileRunning();
    void secondaryWindowInEnglish_data() { SecondaryWindows(); }
    void secondaryWindowInEnglish();
    void secondaryWindowSwitches_data() { SecondaryWindows(); }
    void secondaryWindowSwitches();
    void countsInEnglish_data();
    void countsInEnglish();
    void eventDetailsInTheLanguageShown_data();
    void eventDetailsInTheLanguageShown();
    void statusBarKeepsWhatMatters_data();
    void statusBarKeepsWhatMatters();
    void connectionsInEnglish();
    void alarmStrip_data();
    void alarmStrip();
};

// The longest status the line can give, in either language, on the laid-out window's status bar: the
// port name gives way in its middle, the last problem stays whole with its date, and the tip has it all.
void TestLanguage::statusBarKeepsWhatMatters_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<bool>("overTcp");
    QTest::newRow("Chinese, serial") << Language::Chinese << false;
    QTest::newRow("Chinese, TCP") << Language::Chinese << true;
    QTest::newRow("English, serial") << Language::English << false;
    QTest::newRow("English, TCP") << Language::English << true;
}

void TestLanguage::statusBarKeepsWhatMatters() {
    QFETCH(Language, language);
    QFETCH(bool, overTcp);
    QVERIFY(ApplyLanguage(language, BuiltTranslations()));
    TMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    LineStatusFacts facts;
    facts.open = true;
    facts.overTcp = overTcp;
    facts.port = overTcp ? QStringLiteral("tcp://furnace-hall-3-zone-controllers.plant.example.com:4001")
                         : QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    facts.baudRate = 38400;
    facts.format = QStringLiteral("8_O_1");
    facts.address = 247;
    TrafficStats stats;
    TrafficRecord tx;
    tx.direction = TrafficDirection::Tx;
    tx.verdict = Verdict::Sent;
    tx.function = 0x03;
    tx.monotonicUs = 1;
    for (int i = 0; i < 123456; ++i)
        stats.Add(tx);
    TrafficRecord refused;
    refused.direction = TrafficDirection::Rx;
    refused.verdict = Verdict::Exception;
    refused.exceptionCode = 0x0B;
    refused.function = 0x03;
    refused.requestUs = 1;
    refused.monotonicUs = 1000001;
    const QDateTime yesterday = QDateTime::currentDateTime().addDays(-1);
    refused.utcMs = yesterday.toMSecsSinceEpoch();
    stats.Add(refused);

    const QLabel* label = window.StatusLabel();
    const int room = label->contentsRect().width();
    const QString fitted = FittedLineStatusText(facts, stats, label->fontMetrics(), room);
    QVERIFY2(label->fontMetrics().horizontalAdvance(fitted) <= room, qPrintable(fitted));
    // The verdict, its code and its time whole; the exception's long name may give way at its end.
    const QString kind = VerdictName(Verdict::Exception) + QStringLiteral(" 0B");
    const QString when = yesterday.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY2(fitted.contains(kind) && fitted.endsWith(u' ' + when), qPrintable(fitted));
    QVERIFY2(fitted.contains(facts.port.left(5)) && fitted.contains(facts.port.right(2)) &&
                 fitted.contains(u'…'),
             qPrintable(fitted));
    const QString problem = VerdictText(Verdict::Exception, 0x0B);
    const QString whole = LineStatusText(facts, stats);
    QVERIFY(whole.contains(facts.port) && whole.contains(problem + u' ' + when));
}

void TestLanguage::choice_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QStringList>("system");
    QTest::addColumn<Language>("expected");
    const Language zh = Language::Chinese;
    const Language en = Language::English;
    QTest::newRow("argument over all") << "en"
                                       << "zh" << QStringList{"zh-CN"} << en;
    QTest::newRow("argument zh") << "zh"
                                 << "en" << QStringList{"de-DE"} << zh;
    QTest::newRow("saved over system") << ""
                                       << "en" << QStringList{"zh-CN"} << en;
    QTest::newRow("system Chinese") << ""
                                    << "" << QStringList{"zh-Hans-CN", "en-US"} << zh;
    QTest::newRow("system Taiwan") << ""
                                   << "" << QStringList{"zh-TW"} << zh;
    QTest::newRow("system German") << ""
                                   << "" << QStringList{"de-DE", "zh-CN"} << en;
    QTest::newRow("system English") << ""
                                    << "" << QStringList{"en-GB"} << en;
    QTest::newRow("C locale") << ""
                              << "" << QStringList{"C"} << zh;
    QTest::newRow("POSIX then German") << ""
                                       << "" << QStringList{"POSIX", "de"} << en;
    QTest::newRow("no language") << ""
                                 << "" << QStringList{} << zh;
    QTest::newRow("saved value unknown") << ""
                                         << "fr" << QStringList{"en-US"} << en;
}

void TestLanguage::choice() {
    QFETCH(QString, argument);
    QFETCH(QString, saved);
    QFETCH(QStringList, system);
    QFETCH(Language, expected);
    QCOMPARE(ChooseLanguage(argument, saved, system), expected);
}

void TestLanguage::englishWindowHasNoChinese() {
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    TMainWindow window;
    window.show();
    QCOMPARE(Chinese(ShownTexts(&window)), kLanguageMenuEntry);
    QCOMPARE(window.Form()->BitBtn7->text(), QStringLiteral("Open"));
    QCOMPARE(window.Form()->iSwitchLed1->Caption(), QStringLiteral("STOP")); // the same in both
    // What the frame paints over the instruments and tells of a command.
    QCOMPARE(window.Veil()->Text(), QStringLiteral("No readings yet"));
    window.Form()->iKnob1Click(window.Form()->iKnob1);
    QCOMPARE(window.CommandLabel()->text(), QStringLiteral("Not sent: polling is off"));
}

void TestLanguage::portButtonDecidesByState_data() {
    QTest::addColumn<Language>("language");
    QTest::newRow("Chinese") << Language::Chinese;
    QTest::newRow("English") << Language::English;
}

// Open, close; then a failed opening keeps the open look, and the next click closes.
void TestLanguage::portButtonDecidesByState() {
    QFETCH(Language, language);
    QVERIFY(ApplyLanguage(language, BuiltTranslations()));
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    TForm1 form;
    const QString openText = form.BitBtn7->text();
    form.PresetPort(pty.name);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(form.Comm1->IsOpen());
    QVERIFY(form.OpenLook());
    const QString closeText = form.BitBtn7->text();
    QVERIFY(closeText != openText);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(!form.Comm1->IsOpen());
    QCOMPARE(form.BitBtn7->text(), openText);

    form.PresetPort(QStringLiteral("/nonexistent/ttyZ7"));
    CloseNextBox();
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(!form.Comm1->IsOpen());
    QCOMPARE(form.BitBtn7->text(), closeText);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QCOMPARE(form.BitBtn7->text(), openText);
    QVERIFY(!form.OpenLook());
}

// A network port's opening, its failure and its reconnecting speak English too.
void TestLanguage::networkPortInEnglish() {
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    TMainWindow window;
    window.show();
    TForm1* form = window.Form();
    LoopbackServer silent(false, 0);
    QVERIFY(silent.StopAnswering());
    form->PresetPort(silent.Name());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("Cancel"));
    QCOMPARE(window.StatusLabel()->text(),
             QStringLiteral("Port %1 (over TCP)   Connecting…").arg(silent.Name()));
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("Open"));

    QString details;
    QTimer catcher;
    connect(&catcher, &QTimer::timeout, [&details] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            details = box->detailedText();
            box->done(QMessageBox::Ok);
        }
    });
    catcher.start(20);
    form->PresetPort(QStringLiteral("tcp://z7-no-such-host.invalid:502"));
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QTRY_VERIFY(!details.isEmpty());
    QVERIFY2(details.contains(u"tcp://z7-no-such-host.invalid:502: the host name is not known ("),
             qPrintable(details));
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);

    LoopbackServer server;
    form->PresetPort(server.Name());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QTRY_VERIFY(form->Comm1->IsOpen());
    QVERIFY(server.Accept());
    server.ClosePeer();
    QTRY_COMPARE(window.StatusLabel()->text(),
                 QStringLiteral("Port %1 (over TCP)   Reconnecting…").arg(server.Name()));
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("Close"));
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("Open"));
}

void TestLanguage::switchingWhileRunning() {
    PtyPair pty;
    TMainWindow window;
    window.show();
    TForm1* form = window.Form();
    form->PresetPort(pty.name);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("关闭串口"));

    QAction* english = window.LanguageActions.value(1);
    QCOMPARE(english->data().toString(), QStringLiteral("en"));
    // The menu looks beside the program for its translation; the test's build tree has it elsewhere.
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    QTRY_COMPARE(form->BitBtn7->text(), QStringLiteral("Close"));
    QCOMPARE(form->Label23->Caption(), QStringLiteral("Port: "));
    QVERIFY(window.StatusLabel()->text().startsWith(QStringLiteral("Port ")));
    QVERIFY(english->isChecked());
    QCOMPARE(Chinese(ShownTexts(&window)), kLanguageMenuEntry);

    // Back to Chinese through the menu: at once, and remembered.
    window.LanguageActions.value(0)->trigger();
    QTRY_COMPARE(form->BitBtn7->text(), QStringLiteral("关闭串口"));
    QCOMPARE(form->Label23->Caption(), QStringLiteral("端口: "));
    QCOMPARE(SavedLanguage(), QStringLiteral("zh"));
    QVERIFY(window.LanguageActions.value(0)->isChecked());
    // The port stayed open throughout, and the button still closes it.
    QVERIFY(form->Comm1->IsOpen());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(!form->Comm1->IsOpen());
}

void TestLanguage::secondaryWindowInEnglish() {
    QFETCH(Secondary, which);
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    Rig rig;
    QVERIFY(rig.WriteHistory());
    QWidget* w = rig.Open(which);
    QVERIFY(w && w->isVisible());
    QCOMPARE(Chinese(ShownTexts(w)), QStringList());
}

// Chinese to English and back while the window is open: every text follows, made from the window's
// state, which stays as it was.
void TestLanguage::secondaryWindowSwitches() {
    QFETCH(Secondary, which);
    Rig rig;
    QVERIFY(rig.WriteHistory());
    QWidget* w = rig.Open(which);
    QVERIFY(w && w->isVisible());
    const QStringList chinese = ShownTexts(w);
    const QString state = State(which, w);

    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    QTRY_COMPARE(Chinese(ShownTexts(w)), QStringList());
    QCOMPARE(State(which, w), state);

    QVERIFY(ApplyLanguage(Language::Chinese));
    QTRY_COMPARE(ShownTexts(w), chinese);
    QCOMPARE(State(which, w), state);
}

// Counts take the English singular or plural; Chinese has one form.
void TestLanguage::countsInEnglish_data() {
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("english");
    const QString cancelled = QStringLiteral("扫描已取消：找到 %n 个设备。");
    const QString events = QStringLiteral("%n 条");
    QTest::newRow("one device") << "TBusScanWindow" << cancelled << 1 << "Scan cancelled: 1 device found.";
    QTest::newRow("no devices") << "TBusScanWindow" << cancelled << 0 << "Scan cancelled: 0 devices found.";
    QTest::newRow("one event") << "TEventWindow" << events << 1 << "1 event";
    QTest::newRow("events") << "TEventWindow" << events << 12 << "12 events";
}

void TestLanguage::countsInEnglish() {
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(int, count);
    QFETCH(QString, english);
    const auto translated = [&] {
        return QCoreApplication::translate(context.toUtf8().constData(), source.toUtf8().constData(), nullptr,
                                           count);
    };
    QCOMPARE(translated(), QString(source).replace(QStringLiteral("%n"), QString::number(count)));
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    QCOMPARE(translated(), english);
}

// The event window names a command's quantity, its value in its unit and its fate in the language shown;
// the file and the export keep the stored detail, the same in both languages.
void TestLanguage::eventDetailsInTheLanguageShown_data() {
    QTest::addColumn<EventKind>("kind");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("chinese"); // kind | detail
    QTest::addColumn<QString>("english");
    QTest::newRow("command") << EventKind::Command << "register 0 value 595"
                             << "操作命令 | 设定值 5.95 %"
                             << "Command | Set-point 5.95 %";
    QTest::newRow("not sent") << EventKind::Command << "register 3 value 1 reason commoff"
                              << "操作命令 | 运行 1，未发送：通讯关闭"
                              << "Command | Run 1, not sent: communication off";
    QTest::newRow("echo lost") << EventKind::CommandUnconfirmed << "register 4 value 250 reason noreply"
                               << "命令未确认 | 最大输出量限制 25.0 %，回送丢失"
                               << "Command unconfirmed | Max. output limit 25.0 %, echo lost";
    QTest::newRow("echo garbled") << EventKind::CommandUnconfirmed << "register 5 value 7 reason crc"
                                  << "命令未确认 | 最小输出量限制 0.7 %，回送有误：CRC错误"
                                  << "Command unconfirmed | Min. output limit 0.7 %, echo garbled: CRC error";
    QTest::newRow("read back the value")
        << EventKind::CommandConfirmed << "register 0 value 595 reason read held 595"
        << "命令已确认 | 设定值 5.95 %，读回 5.95 %"
        << "Command confirmed | Set-point 5.95 %, read back 5.95 %";
    QTest::newRow("read back another value")
        << EventKind::CommandRefused << "register 4 value 250 reason read held 240"
        << "命令被拒绝 | 最大输出量限制 25.0 %，读回 24.0 %"
        << "Command refused | Max. output limit 25.0 %, read back 24.0 %";
    QTest::newRow("exception") << EventKind::CommandRefused << "register 4 value 250 reason exception 02"
                               << "命令被拒绝 | 最大输出量限制 25.0 %，应答：异常应答 02 ILLEGAL DATA ADDRESS"
                               << "Command refused | Max. output limit 25.0 %, answer: Exception 02 ILLEGAL "
                                  "DATA ADDRESS";
    QTest::newRow("port") << EventKind::CommandRefused << "register 4 value 250 reason port"
                          << "命令被拒绝 | 最大输出量限制 25.0 %，端口未接收"
                          << "Command refused | Max. output limit 25.0 %, not taken by the port";
    QTest::newRow("a register without a quantity") << EventKind::Command << "register 9 value 3"
                                                   << "操作命令 | 寄存器 9 值 3"
                                                   << "Command | Register 9 value 3";
    QTest::newRow("an earlier panel's detail")
        << EventKind::CommandRefused << "register 4 value 250; answer: crc"
        << "命令被拒绝 | 最大输出量限制 25.0 %; answer: crc"
        << "Command refused | Max. output limit 25.0 %; answer: crc";
    QTest::newRow("an alarm") << EventKind::AlarmSet << "TEMP MAX"
                              << "警报出现 | TEMP MAX"
                              << "Alarm set | TEMP MAX";
    QTest::newRow("an acknowledgement") << EventKind::AlarmAck << "user alice: TEMP MAX, PWER"
                                        << "报警确认 | 用户 alice：TEMP MAX, PWER"
                                        << "Alarm acknowledged | user alice: TEMP MAX, PWER";
}

void TestLanguage::eventDetailsInTheLanguageShown() {
    QFETCH(EventKind, kind);
    QFETCH(QString, stored);
    QFETCH(QString, chinese);
    QFETCH(QString, english);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        HistoryStore store;
        QVERIFY(store.Open(path, HistoryStore::Access::ReadWrite, nullptr));
        QVERIFY(store.Append({}, {{kT0, kCom4, kind, stored}}));
    }
    TEventWindow events(path);
    events.show();
    const QAbstractItemModel* model = events.Table()->model();
    QCOMPARE(model->rowCount(), 1);
    const auto shown = [&] {
        return model->index(0, TEventModel::KindColumn).data().toString() + QStringLiteral(" | ") +
               model->index(0, TEventModel::TextColumn).data().toString();
    };
    const auto exported = [&] {
        const QString csv = dir.filePath(QStringLiteral("events.csv"));
        QFile file(csv);
        return events.ExportCsv(csv, nullptr) && file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                                : QByteArray();
    };
    QCOMPARE(shown(), chinese);
    const QByteArray inChinese = exported();
    // A detail with a comma is quoted in the file.
    const QByteArray field = stored.contains(u',') ? '"' + stored.toUtf8() + '"' : stored.toUtf8();
    QVERIFY2(inChinese.contains(',' + field + "\r\n"), inChinese.constData());

    // The window follows a switch of language; the export does not.
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    QCOMPARE(shown(), english);
    // and the table is told to draw the detail anew.
    QTRY_VERIFY(std::any_of(changed.begin(), changed.end(), [](const QList<QVariant>& args) {
        return args[0].toModelIndex().column() <= TEventModel::TextColumn &&
               args[1].toModelIndex().column() >= TEventModel::TextColumn;
    }));
    QCOMPARE(exported(), inChinese);
    // What the panel stores is the same in English.
    QCOMPARE(EventDetector().OnCommand(kCom4, 3, 1, false, kT0).front().detail,
             QStringLiteral("register 3 value 1 reason commoff"));
}

// The connection entries, the recent list, both dialogs and the message of an unknown name in English.
void TestLanguage::connectionsInEnglish() {
    const Connection bench{QStringLiteral("/dev/ttyUSB0"), 9600, QStringLiteral("8_E_1"), 7};
    RememberConnection(bench);
    SaveConnection(QStringLiteral("bench"), bench);
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    TMainWindow window;
    window.show();
    TConnectionMenu* menu = window.Connections();
    QCOMPARE(menu->RecentMenu->actions().value(0)->text(),
             QStringLiteral("/dev/ttyUSB0  9600 8_E_1  address 7"));
    QCOMPARE(Chinese(ShownTexts(&window)), kLanguageMenuEntry);
    QCOMPARE(UnknownConnectionMessage(QStringLiteral("oven")),
             QStringLiteral("there is no connection named \"oven\"; the saved connections: bench"));

    // Each dialog is looked at once it is up, then dismissed.
    QStringList shown;
    QTimer catcher;
    connect(&catcher, &QTimer::timeout, [&shown] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            shown = ShownTexts(dialog);
            dialog->reject();
        }
    });
    catcher.start(20);
    for (QAction* action : {menu->OpenAction, menu->SaveAction}) {
        shown.clear();
        action->trigger();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(Chinese(shown), QStringList());
    }
}

void TestLanguage::alarmStrip_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<QStringList>("quiet");
    QTest::addColumn<QStringList>("names");  // every bit's, as the strip names it
    QTest::addColumn<QStringList>("states"); // unacknowledged, acknowledged
    QTest::addColumn<QString>("button");
    QTest::newRow("Chinese") << Language::Chinese << QStringList{"无报警"}
                             << QStringList{"PWER 电源故障",     "R R相缺相",
                                            "S S相缺相",         "T T相缺相",
                                            "TEMP MAX 温度过高", "TEMP LOA 温度过低",
                                            "CUUR MAX 电流过大", "CUUR PLO 部分负载断开",
                                            "CUUR SHO 短路"}
                             << QStringList{"未确认", "已确认"} << "确认";
    QTest::newRow("English") << Language::English << QStringList{"No active alarms"}
                             << QStringList{"PWER Power supply fault",
                                            "R Phase R lost",
                                            "S Phase S lost",
                                            "T Phase T lost",
                                            "TEMP MAX Over-temperature",
                                            "TEMP LOA Under-temperature",
                                            "CUUR MAX Over-current",
                                            "CUUR PLO Partial load failure",
                                            "CUUR SHO Short circuit"}
                             << QStringList{"unacknowledged", "acknowledged"} << "Acknowledge";
}

// The strip names every alarm in the language shown, keeping the LED's caption before the name.
void TestLanguage::alarmStrip() {
    QFETCH(Language, language);
    QFETCH(QStringList, quiet);
    QFETCH(QStringList, names);
    QFETCH(QStringList, states);
    QFETCH(QString, button);
    QVERIFY(ApplyLanguage(language, BuiltTranslations()));
    TMainWindow window;
    window.show();
    TAlarmStrip* strip = window.AlarmStrip();
    QCOMPARE(strip->LineTexts(), quiet);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    window.Form()->ReportTraffic(ReadRecord(Block(now, 10, {{13, kAlarmMask}}, kCom4)));
    const QString since = QDateTime::fromMSecsSinceEpoch(now).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const auto expected = [&](const QString& state) {
        QStringList lines;
        for (auto name = names.crbegin(); name != names.crend(); ++name)
            lines << *name + QStringLiteral("    ") + since + QStringLiteral("    ") + state;
        return lines;
    };
    QCOMPARE(strip->LineTexts(), expected(states[0]));
    QCOMPARE(strip->AcknowledgeButton()->text(), button);
    if (language == Language::English)
        QCOMPARE(Chinese(ShownTexts(&window)), kLanguageMenuEntry);
    window.AcknowledgeAction->trigger();
    QCOMPARE(strip->LineTexts(), expected(states[1]));
    // A switch of language renames what is shown.
    QVERIFY(ApplyLanguage(language == Language::English ? Language::Chinese : Language::English,
                          BuiltTranslations()));
    QTRY_VERIFY(strip->LineTexts() != expected(states[1]));
    QVERIFY(ApplyLanguage(language, BuiltTranslations()));
    QTRY_COMPARE(strip->LineTexts(), expected(states[1]));
}

int main(int argc, char* argv[]) {
    // The saved language goes to a place of the test's own, not the user's settings.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestLanguage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_language.moc"
