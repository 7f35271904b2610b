// The alarm strip in the panel, over a scripted device whose alarm bits the test sets: the quiet line,
// alarms found and seen coming, their flashing, acknowledgement by F4 from a tool window and by the
// button, an alarm cleared before and after it, alarm-ack in the history with the user, the form
// untouched throughout (its place, its focus, its paint), and the sound's menu entry remembered.
#include "AlarmStrip.h"
#include "CRC16.h"
#include "HistoryHook.h"
#include "HistoryStore.h"
#include "HistoryText.h"
#include "Language.h"
#include "MainWindow.h"
#include "ModbusTestBytes.h"
#include "ScriptedCommPort.h"
#include "TrafficMonitor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>

namespace {

// A Z7 at address 1 that answers every read from its registers, all 0 but the alarm bits.
struct Device {
    std::atomic<quint16> alarms{0};
    TScriptedCommPort* port = new TScriptedCommPort;
    Device() {
        port->SetResponder([this](const QByteArray& written, const TCommState&) {
            if (written.size() != 8 || written[0] != 1 || written[1] != 3)
                return QByteArray();
            const int first = quint8(written[3]);
            QList<quint16> values(10, 0);
            if (first == 10)
                values[3] = alarms.load();
            return modbus_test::ReadReply(1, values);
        });
    }
};

// The paints of a widget and everything in it, as "name:class".
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* root) {
        root->installEventFilter(this);
        for (QWidget* w : root->findChildren<QWidget*>())
            w->installEventFilter(this);
    }
    QStringList painted;
    bool eventFilter(QObject* o, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted << o->objectName() + QLatin1Char(':') + QLatin1String(o->metaObject()->className());
        return false;
    }
};

QStringList EventTexts(const QString& path) {
    HistoryStore store;
    QStringList events;
    if (!store.Open(path, HistoryStore::Access::ReadOnly, nullptr))
        return events;
    store.ForEachEvent(0, kNoLimitFrom, kNoLimitTo, [&](const StoredEvent& e) {
        events << QStringLiteral("%1 %2").arg(EventKindKeyword(e.event.kind), e.event.detail);
    });
    return events;
}

// The line the strip shows for an alarm shown now.
QString Line(const TAlarmStrip* strip, const QString& name, const QString& state) {
    for (const AlarmEntry& a : strip->States().Shown())
        if (QLatin1String(kAlarmNames[size_t(a.bit)]) == name)
            return QStringLiteral("%1    %2    %3")
                .arg(name + QLatin1Char(' ') + AlarmMeaning(a.bit),
                     QDateTime::fromMSecsSinceEpoch(a.sinceUtcMs)
                         .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                     state);
    return QStringLiteral("%1 not shown").arg(name);
}

// The colour of a line's mark, which flashes.
QColor Mark(const TAlarmStrip* strip, int line) {
    return strip->findChildren<TAlarmMark*>().value(line)->Colour();
}

} // namespace

class TestAlarms : public QObject {
    Q_OBJECT
private slots:
    void stripFollowsTheAlarms();
    void soundChoiceRemembered();
};

void TestAlarms::stripFollowsTheAlarms() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("alarms.sqlite"));
    Device device;
    device.alarms = 0x011; // PWER and TEMP MAX, set before the first reading
    TMainWindow window{std::unique_ptr<TCommPort>(device.port)};
    THistoryHook hook(window.Form(), window.Watch());
    QVERIFY(window.AttachHistory(&hook, path));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    TForm1* form = window.Form();
    TAlarmStrip* strip = window.AlarmStrip();
    QCOMPARE(strip->LineTexts(), QStringList{"无报警"});
    QVERIFY(!strip->AcknowledgeButton()->isVisible());
    QVERIFY(!window.AcknowledgeAction->isEnabled());
    // The strip lies between the menu bar and the form, outside it.
    QCOMPARE(strip->mapTo(&window, QPoint()).y(), window.menuBar()->geometry().bottom() + 1);
    QCOMPARE(form->mapTo(&window, QPoint()).y(), strip->mapTo(&window, QPoint()).y() + strip->height());
    const int quietHeight = window.height();

    // The operator works in the form: the strip never takes the keyboard from it.
    form->ComboBox1->setFocus();
    QCOMPARE(QApplication::focusWidget(), form->ComboBox1);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    form->Timer1->setInterval(200);
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    form->ComboBox1->setFocus();

    // Found set at the first reading: new for the operator, unacknowledged, newest first.
    QTRY_COMPARE(strip->States().Shown().size(), size_t(2));
    QCOMPARE(strip->LineTexts(),
             (QStringList{Line(strip, "TEMP MAX", "未确认"), Line(strip, "PWER", "未确认")}));
    QVERIFY(strip->LineTexts()[0].startsWith(u"TEMP MAX 温度过高    "));
    QVERIFY(strip->Flashing());
    QVERIFY(window.AcknowledgeAction->isEnabled());
    QVERIFY(strip->AcknowledgeButton()->isVisible() && strip->AcknowledgeButton()->isEnabled());
    // The window grew by the lines; the form kept its size and its place under the strip.
    QTRY_VERIFY(window.height() > quietHeight);
    QTRY_COMPARE(form->size(), QSize(801, 556));
    QTRY_COMPARE(form->mapTo(&window, QPoint()).y(), strip->mapTo(&window, QPoint()).y() + strip->height());

    // Flashing at 1 Hz: the lines' marks go from red to the strip's colour and back. Once polling stopped and
    // the form settled (no cursor blinking in it), the flashing strip has the form painted not once.
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    form->CheckBox2->setFocus();
    QTest::qWait(1500);
    PaintCounter formPaints(form);
    const QColor lit = Mark(strip, 0);
    QTRY_VERIFY_WITH_TIMEOUT(Mark(strip, 0) != lit, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(Mark(strip, 0) == lit, 3000);
    QCOMPARE(formPaints.painted, QStringList());
    QCOMPARE(QApplication::focusWidget(), form->CheckBox2);
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    form->ComboBox1->setFocus();

    // F4 from a tool window acknowledges all: steady, and recorded with the user.
    window.MonitorAction->trigger();
    auto* monitor = window.findChild<TTrafficMonitor*>();
    QVERIFY(monitor);
    monitor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(monitor));
    QTest::keyClick(monitor->focusWidget() ? monitor->focusWidget() : monitor, Qt::Key_F4);
    QCOMPARE(strip->LineTexts(),
             (QStringList{Line(strip, "TEMP MAX", "已确认"), Line(strip, "PWER", "已确认")}));
    QVERIFY(!strip->Flashing());
    QCOMPARE(Mark(strip, 0), QColor(200, 0, 0));
    QVERIFY(!window.AcknowledgeAction->isEnabled());
    QVERIFY(!strip->AcknowledgeButton()->isEnabled());
    monitor->close();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // PWER clears after its acknowledgement: gone. R comes and clears before it: listed, grey, flashing.
    device.alarms = 0x012;
    QTRY_COMPARE(strip->LineTexts(),
                 (QStringList{Line(strip, "R", "未确认"), Line(strip, "TEMP MAX", "已确认")}));
    QVERIFY(strip->Flashing());
    device.alarms = 0x010;
    QTRY_COMPARE(strip->LineTexts(),
                 (QStringList{Line(strip, "R", "已消除，未确认"), Line(strip, "TEMP MAX", "已确认")}));
    QVERIFY(strip->Flashing());
    // The button acknowledges it, and leaves the focus where it was.
    QTest::mouseClick(strip->AcknowledgeButton(), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), form->ComboBox1);
    QCOMPARE(strip->LineTexts(), QStringList{Line(strip, "TEMP MAX", "已确认")});
    QVERIFY(!strip->Flashing());
    // Nothing left to acknowledge: nothing more is recorded.
    strip->acknowledge();

    // All clear: the quiet line, and the window back to its height.
    device.alarms = 0;
    QTRY_COMPARE(strip->LineTexts(), QStringList{"无报警"});
    QTRY_COMPARE(window.height(), quietHeight);
    QCOMPARE(form->size(), QSize(801, 556));

    hook.Recorder().Flush();
    QStringList alarms;
    for (const QString& e : EventTexts(path))
        if (e.startsWith(u"alarm") || e.startsWith(u"state-at-start"))
            alarms << e;
    const QString user = TAlarmStrip::UserName();
    QVERIFY(!user.isEmpty());
    QCOMPARE(alarms,
             (QStringList{"state-at-start PWER", "state-at-start TEMP MAX",
                          "alarm-ack user " + user + ": TEMP MAX, PWER", "alarm-clear PWER", "alarm-set R",
                          "alarm-clear R", "alarm-ack user " + user + ": R", "alarm-clear TEMP MAX"}));
}

void TestAlarms::soundChoiceRemembered() {
    {
        TMainWindow window;
        QVERIFY(!window.AlarmSoundAction->isChecked());
        QVERIFY(!window.AlarmStrip()->Sound());
        window.AlarmSoundAction->trigger();
        QVERIFY(window.AlarmStrip()->Sound());
    }
    TMainWindow again;
    QVERIFY(again.AlarmSoundAction->isChecked());
    QVERIFY(again.AlarmStrip()->Sound());
    QCOMPARE(again.AcknowledgeAction->shortcut(), QKeySequence(Qt::Key_F4));
    QCOMPARE(again.AcknowledgeAction->shortcutContext(), Qt::ApplicationShortcut);
}

int main(int argc, char* argv[]) {
    // The menus' choices go to a place of the test's own, not the user's settings.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    TestAlarms test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alarms.moc"
