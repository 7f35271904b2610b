#include "ModbusFrame.h"
#include "ModbusTestBytes.h"

#include <QTest>

using namespace modbus_test;

namespace {
QByteArray Bytes(const ModbusRequest& r) {
    return QByteArray(reinterpret_cast<const char*>(r.data()), 8);
}
const quint8* Data(const QByteArray& b) {
    return reinterpret_cast<const quint8*>(b.constData());
}
} // namespace

class TestModbusFrame : public QObject {
    Q_OBJECT
private slots:
    void crcKnownValues();
    void crcTablesMatchBitwise();
    void hexTextToBytes_data();
    void hexTextToBytes();
    void slaveAddress_data();
    void slaveAddress();
    void readRequest_data();
    void readRequest();
    void writeRequest_data();
    void writeRequest();
    void readReply_data();
    void readReply();
    void writeEcho_data();
    void writeEcho();
};

void TestModbusFrame::crcKnownValues() {
    const QByteArray check("123456789");
    QCOMPARE(CalcCRC16(Data(check), 9), quint16(0x374B));
    QCOMPARE(CalcCRC16(Data(check), 0), quint16(0xFFFF));
    QCOMPARE(CalcCRC16(Data(check), -1), quint16(0xFFFF));
}

// Each single byte b reaches table index 0xFF ^ b, so the one-byte messages visit every entry of both
// tables; a wrong entry shows up against the bitwise computation.
void TestModbusFrame::crcTablesMatchBitwise() {
    for (int b = 0; b < 256; ++b) {
        const quint8 byte = quint8(b);
        const quint16 c = BitwiseCrc(&byte, 1);
        QCOMPARE(CalcCRC16(&byte, 1), quint16((c & 0xFF) << 8 | c >> 8));
    }
    QByteArray longer;
    for (int i = 0; i < 1000; ++i)
        longer.append(char((i * 37 + 11) & 0xFF));
    const quint16 c = BitwiseCrc(Data(longer), longer.size());
    QCOMPARE(CalcCRC16(Data(longer), qint32(longer.size())), quint16((c & 0xFF) << 8 | c >> 8));
}

void TestModbusFrame::hexTextToBytes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("pairs") << "0A1B" << Hex("0A1B");
    QTest::newRow("separated pairs") << "0A 1B" << Hex("0A1B");
    QTest::newRow("lone digit then pairs") << "0 A1B" << Hex("00A10B");
    QTest::newRow("single digit") << "A" << Hex("0A");
    QTest::newRow("no digits") << "xyz" << QByteArray();
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("lower case") << "ff0a" << Hex("FF0A");
    QTest::newRow("odd count") << "0A1B2" << Hex("0A1B02");
    QTest::newRow("lone digit passes over next char") << "1G2" << Hex("0102");
    QTest::newRow("trailing junk") << "0A--" << Hex("0A");
    QTest::newRow("wide digits are not hex") << QString::fromUtf8("\uFF10\uFF11AB") << Hex("AB");
    QTest::newRow("request text") << "01030000000AC5CD" << Hex("01030000000AC5CD");
}

void TestModbusFrame::hexTextToBytes() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(HexTextToBytes(text), bytes);
}

void TestModbusFrame::slaveAddress_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("address");
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("255") << "255" << 255;
    QTest::newRow("256 wraps to broadcast") << "256" << 0;
    QTest::newRow("257") << "257" << 1;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("minus one") << "-1" << 255;
    QTest::newRow("hex") << "$11" << 17;
}

void TestModbusFrame::slaveAddress() {
    QFETCH(QString, text);
    QFETCH(int, address);
    QCOMPARE(int(SlaveAddress(text)), address);
}

void TestModbusFrame::readRequest_data() {
    QTest::addColumn<QString>("addressText");
    QTest::addColumn<int>("start");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("block 0") << "1" << 0 << Hex("01030000000AC5CD");
    QTest::newRow("block 1") << "1" << 10 << Hex("0103000A000AE5CF");
    QTest::newRow("block 2") << "1" << 20 << Hex("01030014000A85C9");
    QTest::newRow("address 17") << "17" << 0 << Hex("11030000000AC75D");
    QTest::newRow("broadcast from 256") << "256" << 0 << Hex("00030000000AC41C");
    QTest::newRow("address 255") << "255" << 0 << Hex("FF030000000AD013");
}

void TestModbusFrame::readRequest() {
    QFETCH(QString, addressText);
    QFETCH(int, start);
    QFETCH(QByteArray, wire);
    const ModbusRequest request = BuildReadRequest(SlaveAddress(addressText), quint8(start), 10);
    QCOMPARE(Bytes(request), wire);
    QCOMPARE(BytesToHexText(request.data(), 8), QString::fromLatin1(wire.toHex().toUpper()));
    QCOMPARE(WireBytes(request), wire);
}

void TestModbusFrame::writeRequest_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("run") << 3 << 1 << Hex("010600030001B80A");
    QTest::newRow("stop") << 3 << 0 << Hex("01060003000079CA");
    QTest::newRow("limit 1000") << 4 << 1000 << Hex("0106000403E8C8B5");
    QTest::newRow("limit 250") << 4 << 250 << Hex("0106000400FA4848");
}

void TestModbusFrame::writeRequest() {
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(QByteArray, wire);
    const ModbusRequest request = BuildWriteRequest(1, quint8(reg), quint16(value));
    QCOMPARE(Bytes(request), wire);
    QCOMPARE(WireBytes(request), wire);
}

void TestModbusFrame::readReply_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("accepted");
    const QByteArray good = ReadReply(1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    QTest::newRow("good") << good << 1 << true;
    QTest::newRow("good, trailing bytes ignored") << good + Hex("DEADBEEF") << 1 << true;
    QTest::newRow("good from broadcast address") << ReadReply(0, {7}) << 0 << true;
    QTest::newRow("other address") << good << 2 << false;
    QTest::newRow("bad crc") << QByteArray(good).replace(24, 1, "\x00") << 1 << false;
    QTest::newRow("changed register") << QByteArray(good).replace(10, 1, "\x7F") << 1 << false;
    QTest::newRow("24 bytes") << good.left(24) << 1 << false;
    QTest::newRow("exception reply") << Hex("018302C0F1") << 1 << false;
    QTest::newRow("write echo") << Hex("010600030001B80A") << 1 << false;
    QByteArray func4 = good.left(23);
    func4[1] = 0x04;
    QTest::newRow("function 04") << WithCrc(func4) << 1 << false;
    QByteArray count18 = good.left(23);
    count18[2] = 18;
    QTest::newRow("byte count 18") << WithCrc(count18) << 1 << false;
    QTest::newRow("empty") << QByteArray() << 1 << false;
}

void TestModbusFrame::readReply() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, address);
    QFETCH(bool, accepted);
    QCOMPARE(IsReadReply(Data(bytes), bytes.size(), quint8(address)), accepted);
}

void TestModbusFrame::writeEcho_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("good");
    QTest::newRow("echo") << Hex("010600030001B80A") << true;
    QTest::newRow("echo, trailing byte") << Hex("010600030001B80A00") << true;
    QTest::newRow("other value") << Hex("01060003000079CA") << false;
    QTest::newRow("exception 86") << Hex("018602C3A1") << false;
    QTest::newRow("seven bytes") << Hex("010600030001B8") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestModbusFrame::writeEcho() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, good);
    QCOMPARE(IsWriteEcho(Data(bytes), bytes.size(), BuildWriteRequest(1, 3, 1)), good);
}

QTEST_APPLESS_MAIN(TestModbusFrame)
#include "tst_ModbusFrame.moc"
