// The alarms' states as the strip shows them, fed with the detector's events step by step: alarms that
// come (seen or found at start), are acknowledged, clear before and after acknowledgement, and come again.
#include "AlarmStates.h"
#include "LineWatch.h"
#include "Quantities.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr qint64 kT0 = 1796889600000; // 2026-12-10T08:00:00Z
const DeviceKey kA{QStringLiteral("/dev/ttyUSB0"), 1};
const DeviceKey kB{QStringLiteral("/dev/ttyUSB0"), 2};

// An entry as "[B ]NAME since-step state", the device named only when it is not kA.
QString Text(const AlarmEntry& a) {
    const QString state = a.acknowledged ? QStringLiteral("acknowledged")
                          : a.active     ? QStringLiteral("unacknowledged")
                                         : QStringLiteral("returned");
    return QStringLiteral("%1%2 %3 %4")
        .arg(a.device == kB ? QStringLiteral("B ") : QString())
        .arg(QLatin1String(kAlarmNames[size_t(a.bit)]))
        .arg((a.sinceUtcMs - kT0) / 1000)
        .arg(state);
}

QStringList Texts(const std::vector<AlarmEntry>& entries) {
    QStringList texts;
    for (const AlarmEntry& a : entries)
        texts << Text(a);
    return texts;
}

} // namespace

class TestAlarmStates : public QObject {
    Q_OBJECT
private slots:
    void states_data();
    void states();
    void acknowledgementIsRecordedPerDevice();
};

// Each step is one fact of the line at second n (its index): "set NAME", "clear NAME", "start NAME"
// (found set at the first reading), "other" (events of other kinds), a leading "B " for the second device,
// or "ack". Expected: the list shown after the last step, newest first; whether it flashes; every alarm
// that came, for the notice; what the last "ack" acknowledged; whether the last step changed the list.
void TestAlarmStates::states_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("flashing");
    QTest::addColumn<QStringList>("came");
    QTest::addColumn<QStringList>("acknowledged");
    QTest::addColumn<bool>("lastChanged");
    using L = QStringList;
    QTest::newRow("comes") << L{"set TEMP MAX"} << L{"TEMP MAX 0 unacknowledged"} << true
                           << L{"TEMP MAX 0 unacknowledged"} << L{} << true;
    QTest::newRow("found set at start, as the run bit")
        << L{"start run", "start PWER"} << L{"PWER 1 unacknowledged"} << true << L{"PWER 1 unacknowledged"}
        << L{} << true;
    QTest::newRow("acknowledged: steady")
        << L{"set TEMP MAX", "ack"} << L{"TEMP MAX 0 acknowledged"} << false << L{"TEMP MAX 0 unacknowledged"}
        << L{"TEMP MAX 0 unacknowledged"} << true;
    QTest::newRow("cleared after acknowledgement: gone")
        << L{"set TEMP MAX", "ack", "clear TEMP MAX"} << L{} << false << L{"TEMP MAX 0 unacknowledged"}
        << L{"TEMP MAX 0 unacknowledged"} << true;
    QTest::newRow("cleared before acknowledgement: returned, flashing")
        << L{"set TEMP MAX", "clear TEMP MAX"} << L{"TEMP MAX 0 returned"} << true
        << L{"TEMP MAX 0 unacknowledged"} << L{} << true;
    QTest::newRow("returned, then acknowledged: gone")
        << L{"set TEMP MAX", "clear TEMP MAX", "ack"} << L{} << false << L{"TEMP MAX 0 unacknowledged"}
        << L{"TEMP MAX 0 returned"} << true;
    QTest::newRow("returned, then come again: new, since then")
        << L{"set R", "clear R", "set R"} << L{"R 2 unacknowledged"} << true
        << L{"R 0 unacknowledged", "R 2 unacknowledged"} << L{} << true;
    QTest::newRow("acknowledged, cleared, come again: new")
        << L{"set R", "ack", "clear R", "set R"} << L{"R 3 unacknowledged"} << true
        << L{"R 0 unacknowledged", "R 3 unacknowledged"} << L{"R 0 unacknowledged"} << true;
    QTest::newRow("one acknowledgement for all shown, a newer one flashes")
        << L{"set PWER", "set R", "clear R", "ack", "set S"} << L{"S 4 unacknowledged", "PWER 0 acknowledged"}
        << true << L{"PWER 0 unacknowledged", "R 1 unacknowledged", "S 4 unacknowledged"}
        << L{"R 1 returned", "PWER 0 unacknowledged"} << true;
    QTest::newRow("nothing left to acknowledge") << L{"set PWER", "ack", "ack"} << L{"PWER 0 acknowledged"}
                                                 << false << L{"PWER 0 unacknowledged"} << L{} << false;
    QTest::newRow("the same bit of two devices kept apart")
        << L{"set CUUR SHO", "B set CUUR SHO", "clear CUUR SHO"}
        << L{"B CUUR SHO 1 unacknowledged", "CUUR SHO 0 returned"} << true
        << L{"CUUR SHO 0 unacknowledged", "B CUUR SHO 1 unacknowledged"} << L{} << true;
    QTest::newRow("set again while on, cleared while not listed: no change")
        << L{"set T", "clear PWER", "set T"} << L{"T 0 unacknowledged"} << true << L{"T 0 unacknowledged"}
        << L{} << false;
    QTest::newRow("other kinds of events") << L{"other"} << L{} << false << L{} << L{} << false;
}

void TestAlarmStates::states() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, shown);
    QFETCH(bool, flashing);
    QFETCH(QStringList, came);
    QFETCH(QStringList, acknowledged);
    QFETCH(bool, lastChanged);
    AlarmStates states;
    QStringList allCame, lastAcknowledged;
    bool changed = false;
    for (int i = 0; i < steps.size(); ++i) {
        const qint64 t = kT0 + i * 1000;
        QString step = steps[i];
        const DeviceKey device = step.startsWith(u"B ") ? kB : kA;
        if (device == kB)
            step.remove(0, 2);
        if (step == u"ack") {
            const std::vector<AlarmEntry> acked = states.AcknowledgeAll();
            lastAcknowledged = Texts(acked);
            changed = !acked.empty();
            continue;
        }
        std::vector<HistoryEvent> events;
        const QString verb = step.section(QLatin1Char(' '), 0, 0);
        const QString name = step.section(QLatin1Char(' '), 1);
        if (verb == u"other") {
            events = {{t, device, EventKind::Run, {}},
                      {t, device, EventKind::Command, QStringLiteral("register 4 value 250")},
                      {t, device, EventKind::LinkLost, QStringLiteral("3 polls unanswered")},
                      {t, device, EventKind::AlarmAck, QStringLiteral("user alice: TEMP MAX")}};
        } else {
            const EventKind kind = verb == u"set"     ? EventKind::AlarmSet
                                   : verb == u"clear" ? EventKind::AlarmClear
                                                      : EventKind::StateAtStart;
            // A link event beside it, as the detector gives them together.
            events = {{t, device, EventKind::LinkRestored, {}}, {t, device, kind, name}};
        }
        const AlarmStates::Change change = states.Take(events);
        allCame << Texts(change.came);
        changed = change.shownChanged;
    }
    QCOMPARE(Texts(states.Shown()), shown);
    QCOMPARE(states.AnyFlashing(), flashing);
    QCOMPARE(allCame, came);
    QCOMPARE(lastAcknowledged, acknowledged);
    QCOMPARE(changed, lastChanged);
}

// The acknowledgement reaches the recording as the watch's events: one per device, in keywords.
void TestAlarmStates::acknowledgementIsRecordedPerDevice() {
    LineWatch watch;
    QSignalSpy detected(&watch, &LineWatch::detected);
    watch.OnAcknowledge({}, QStringLiteral("alice"), kT0);
    QCOMPARE(detected.count(), 0);
    const std::vector<AlarmEntry> acked = {
        {kA, 4, kT0}, {kB, 8, kT0, false}, {kA, 0, kT0 - 5000, true, false}};
    watch.OnAcknowledge(acked, QStringLiteral("alice"), kT0 + 7000);
    QCOMPARE(detected.count(), 1);
    const auto out = detected.at(0).at(0).value<EventDetector::Output>();
    QVERIFY(!out.block);
    const std::vector<HistoryEvent> expected = {
        {kT0 + 7000, kA, EventKind::AlarmAck, QStringLiteral("user alice: TEMP MAX, PWER")},
        {kT0 + 7000, kB, EventKind::AlarmAck, QStringLiteral("user alice: CUUR SHO")}};
    QVERIFY(out.events == expected);
    QCOMPARE(QLatin1String(EventKindKeyword(EventKind::AlarmAck)), QLatin1String("alarm-ack"));
    // The detail reads back, a user name with a colon and all.
    const std::optional<AckDetail> back = ParseAlarmAckDetail(u"user a: b: TEMP MAX, PWER");
    QVERIFY(back);
    QCOMPARE(back->user, QStringLiteral("a: b"));
    QCOMPARE(back->alarms, (QStringList{"TEMP MAX", "PWER"}));
    QVERIFY(!ParseAlarmAckDetail(u"TEMP MAX"));
}

QTEST_GUILESS_MAIN(TestAlarmStates)
#include "tst_alarmstates.moc"
