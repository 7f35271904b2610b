// The poll cycle on a real serial component: the bytes that leave TComm for one tick, and a device's
// reply written back on the other side of a pseudo-terminal reaching the register image.
#include "ModbusTestBytes.h"
#include "PollCycle.h"
#include "PtyPair.h"
#include "SerialComm.h"

#include <QTest>
#include <QThread>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

using namespace modbus_test;

namespace {} // namespace

class TestModbusOnPty : public QObject {
    Q_OBJECT
private slots:
    void tickAndReplyThroughSerialPort();
};

void TestModbusOnPty::tickAndReplyThroughSerialPort() {
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    TComm comm;
    comm.SetCommName(pty.name);
    comm.SetBaudRate(19200);
    // Every byte value is data on a Modbus line (address 17 is XON).
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.OpenPort();

    PollCycle cycle({[&comm](const char* data, quint16 length) { return comm.SendData(data, length); },
                     [](int ms) { QThread::msleep(ulong(ms)); }});
    QList<CommLamp> lamps;
    connect(&comm, &TComm::OnReceiveData, this, [&](QObject*, const char* buffer, quint16 length) {
        lamps.append(cycle.Receive(buffer, length));
    });

    QCOMPARE(cycle.Tick(true, SlaveAddress("17")), CommLamp::Unchanged);
    QCOMPARE(pty.ReadUntilQuiet(2000, 100), Hex("11030000000AC75D"));

    QVERIFY(pty.WriteMaster(ReadReply(17, {0xFFFF, 2, 3, 1})));
    QTRY_COMPARE(lamps.size(), 1);
    QCOMPARE(lamps.first(), CommLamp::Lit);
    QCOMPARE(cycle.Register(0), 65535);
    QCOMPARE(cycle.Register(3), 1);

    QCOMPARE(cycle.Tick(true, 17), CommLamp::Unchanged);
    QCOMPARE(pty.ReadUntilQuiet(2000, 100), Hex("1103000A000AE75F"));

    // With the port closed the request is refused and the lamp goes out.
    comm.ClosePort();
    QCOMPARE(cycle.Tick(true, 17), CommLamp::Unlit);
}

QTEST_GUILESS_MAIN(TestModbusOnPty)
#include "tst_ModbusOnPty.moc"
