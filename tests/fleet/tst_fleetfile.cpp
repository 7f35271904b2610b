// The fleet file: what a sound file gives, with its defaults; where a faulty one is refused and what it
// is told was expected there; and that a written fleet reads back the same.
#include "FleetFile.h"
#include "JsonPositions.h"

#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

Q_DECLARE_METATYPE(Fleet)

namespace {

FleetLine Line(const QString& id, const QString& port, QList<FleetDevice> devices) {
    FleetLine line;
    line.id = id;
    line.port = port;
    line.devices = std::move(devices);
    return line;
}

} // namespace

class TestFleetFile : public QObject {
    Q_OBJECT
private slots:
    void positions();
    void goodFiles_data();
    void goodFiles();
    void badFiles_data();
    void badFiles();
    void roundTrip_data() { goodFiles_data(); }
    void roundTrip();
    void readFile();
    void documentedExamples();
    void english_data() { badFiles_data(); }
    void english();
};

void TestFleetFile::positions() {
    // Columns count characters, not bytes; a byte-order mark takes none.
    const QByteArray text = "ab\n\xE5\x9C\xB0\xE5\x9D\x80x\n";
    QCOMPARE(PositionAt(text, 0), (TextPosition{1, 1}));
    QCOMPARE(PositionAt(text, 3), (TextPosition{2, 1}));
    QCOMPARE(PositionAt(text, 9), (TextPosition{2, 3}));
    QCOMPARE(PositionAt(text, 999), (TextPosition{3, 1}));
    QCOMPARE(PositionAt("\xEF\xBB\xBF{}", 4), (TextPosition{1, 2}));

    const QByteArray json = R"({"a": [1, {"b\"c": "x}"}, [true]], "\u0064": null, "d": 2})";
    const JsonPositions at(json);
    QCOMPARE(at.ValueOffset({}), 0);
    QCOMPARE(at.KeyOffset({"a"}), json.indexOf("\"a\""));
    QCOMPARE(at.ValueOffset({"a", "0"}), json.indexOf('1'));
    QCOMPARE(at.KeyOffset({"a", "1", "b\"c"}), json.indexOf("\"b"));
    QCOMPARE(at.ValueOffset({"a", "1", "b\"c"}), json.indexOf("\"x"));
    QCOMPARE(at.ValueOffset({"a", "2", "0"}), json.indexOf("true"));
    QCOMPARE(at.ValueOffset({"d"}), json.indexOf("null")); // "\u0064" is "d"
    QCOMPARE(at.ValueOffset({"a", "3"}), -1);
    // The key that repeats is found where it repeats, though it is spelt otherwise.
    QVERIFY(at.FirstDuplicateKey());
    QCOMPARE(*at.FirstDuplicateKey(), QStringList{"d"});
    QCOMPARE(at.DuplicateKeyOffset(), json.lastIndexOf("\"d\""));
    QVERIFY(!JsonPositions(R"({"a": {"b": 1}, "b": {"a": 2}})").FirstDuplicateKey());
}

void TestFleetFile::goodFiles_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Fleet>("expected");

    Fleet minimal;
    minimal.lines = {Line("l", "/dev/ttyUSB0", {{1, "Z7 #1"}})};
    QTest::newRow("defaults") << QByteArray(R"({"lines": [{"id": "l", "port": "/dev/ttyUSB0",
                                                "devices": [{"address": 1}]}]})")
                              << minimal;

    Fleet example;
    example.lines = {Line("line1", "/dev/ttyUSB0", {{1, "Zone 1"}, {2, "Zone 2"}}),
                     Line("furnace2", "tcp://192.0.2.10:4001", {{7, "Furnace 2"}})};
    QTest::newRow("two lines") << QByteArray(R"({
  "lines": [
    { "id": "line1", "port": "/dev/ttyUSB0", "baud": 19200, "format": "8_N_2",
      "framing": "length", "timeout_ms": 300, "gap_ms": 5,
      "devices": [ { "address": 1, "name": "Zone 1" }, { "address": 2, "name": "Zone 2" } ] },
    { "id": "furnace2", "port": "tcp://192.0.2.10:4001",
      "devices": [ { "address": 7, "name": "Furnace 2" } ] }
  ]
})") << example;

    Fleet edges;
    edges.asFastAsPossible = true;
    FleetLine slow = Line("炉 1", "tcp://[fe80::1]:65535",
                          {{247, QString(32, u'区')}, {1, "a \"quoted\" \\ name\n"}, {2, "Z7 #2"}});
    slow.baud = 4800;
    slow.format = "8_O_1";
    slow.framing = FleetFraming::Silence;
    slow.timeoutMs = 10000;
    slow.gapMs = 1000;
    FleetLine fast = Line("x", "/dev/ttyS0", {{1, "Z7 #1"}});
    fast.baud = 38400;
    fast.format = "8_E_1";
    fast.timeoutMs = 10;
    fast.gapMs = 0;
    edges.lines = {slow, fast};
    // A byte-order mark, an escaped key, whole numbers written as decimals and every limit reached.
    QTest::newRow("limits") << QByteArray("\xEF\xBB\xBF") +
                                   QString(R"({"as_fast_as_possible": true, "lines": [
  {"id": "炉 1", "port": "tcp://[fe80::1]:65535", "baud": 4800, "format": "8_O_1", "framing": "silence",
   "timeout_ms": 10000, "gap_ms": 1e3, "devices": [{"address": 247.0, "name": "%1"},
   {"address": 1, "name": "a \"quoted\" \\ name\n"}, {"\u0061ddress": 2}]},
  {"id": "x", "port": "/dev/ttyS0", "baud": 38400, "format": "8_E_1", "timeout_ms": 10, "gap_ms": 0,
   "devices": [{"address": 1}]}]})")
                                       .arg(QString(32, u'区'))
                                       .toUtf8()
                            << edges;

    Fleet sameAddress;
    sameAddress.lines = {Line("a", "/dev/ttyUSB0", {{1, "Z7 #1"}}),
                         Line("b", "/dev/ttyUSB1", {{1, "Z7 #1"}})};
    QTest::newRow("one address on two lines")
        << QByteArray(R"({"lines": [{"id": "a", "port": "/dev/ttyUSB0", "devices": [{"address": 1}]},
                                    {"id": "b", "port": "/dev/ttyUSB1", "devices": [{"address": 1}]}]})")
        << sameAddress;
}

void TestFleetFile::goodFiles() {
    QFETCH(QByteArray, json);
    QFETCH(Fleet, expected);
    FleetError error;
    const std::optional<Fleet> fleet = ReadFleet(json, &error);
    QVERIFY2(fleet, qPrintable(error.Text()));
    QCOMPARE(fleet->asFastAsPossible, expected.asFastAsPossible);
    QCOMPARE(fleet->lines.size(), expected.lines.size());
    for (qsizetype i = 0; i < expected.lines.size(); ++i) {
        const FleetLine& got = fleet->lines[i];
        const FleetLine& want = expected.lines[i];
        QCOMPARE(got.id, want.id);
        QCOMPARE(got.port, want.port);
        QCOMPARE(got.baud, want.baud);
        QCOMPARE(got.format, want.format);
        QCOMPARE(got.framing, want.framing);
        QCOMPARE(got.timeoutMs, want.timeoutMs);
        QCOMPARE(got.gapMs, want.gapMs);
        QCOMPARE(got.devices.size(), want.devices.size());
        for (qsizetype d = 0; d < want.devices.size(); ++d) {
            QCOMPARE(got.devices[d].address, want.devices[d].address);
            QCOMPARE(got.devices[d].name, want.devices[d].name);
        }
    }
    QVERIFY(*fleet == expected);
}

void TestFleetFile::badFiles_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("what");

    // One sound file to break in each row: the line of the fault is the third or fourth.
    const auto file = [](const char* lineKeys, const char* device, const char* more = "") {
        return QByteArray("{\"lines\": [\n"
                          " {\"id\": \"a\", \"port\": \"/dev/ttyUSB0\",") +
               lineKeys + " \"devices\": [\n  " + device + "\n ]}" + more + "\n]}\n";
    };
    const QByteArray sound = file("", R"({"address": 1})");
    QVERIFY(ReadFleet(sound, nullptr));

    // Syntax, where the reader stopped.
    QTest::newRow("missing comma") << QByteArray("{\"lines\": [\n {\"id\": \"a\" \"port\": 1}]}") << 2 << 13
                                   << "对象未结束：这里应为 , 或 }";
    QTest::newRow("missing colon") << QByteArray("{\"lines\" []}") << 1 << 10 << "这里应为冒号 :";
    QTest::newRow("unterminated string")
        << QByteArray("{\"lines\": [\n {\"id\": \"a") << 2 << 11 << "字符串未结束：这里应为 \"";
    QTest::newRow("trailing comma") << QByteArray("{\"lines\": [1,]}") << 1 << 14
                                    << "这里应为一个值：字符串、数字、对象、数组、true、false 或 null";
    QTest::newRow("garbage at end") << QByteArray("{\"lines\": []}\n}") << 2 << 1
                                    << "JSON 已经结束，这里不应再有内容";
    QTest::newRow("empty") << QByteArray("") << 1 << 1 << "文件应为一个对象 { … }，内含 \"lines\"";

    // The file as a whole.
    QTest::newRow("array") << QByteArray("\n [1]") << 2 << 2 << "文件应为一个对象 { … }，内含 \"lines\"";
    QTest::newRow("no lines") << QByteArray("\n {}") << 2 << 2
                              << "缺少 \"lines\"；\"lines\" 应为含至少一条线路的数组 [ … ]";
    QTest::newRow("no line") << QByteArray("{\"lines\": []}") << 1 << 11
                             << "\"lines\" 应为含至少一条线路的数组 [ … ]";
    QTest::newRow("lines not an array")
        << QByteArray("{\"lines\": {}}") << 1 << 11 << "\"lines\" 应为含至少一条线路的数组 [ … ]";
    QTest::newRow("misspelt top key")
        << QByteArray(sound).replace("{\"lines\"", "{\"line\": 1, \"lines\"") << 1 << 2
        << "未知的键 \"line\"；这里可用的键：\"lines\", \"as_fast_as_possible\"";
    QTest::newRow("switch not a bool")
        << QByteArray(sound).replace("{\"lines\"", "{\"as_fast_as_possible\": 1, \"lines\"") << 1 << 25
        << "\"as_fast_as_possible\" 应为 true 或 false";
    QTest::newRow("key twice") << file(R"( "baud": 9600, "baud": 9600,)", R"({"address": 1})") << 2 << 52
                               << "键 \"baud\" 重复；每个键只能出现一次";

    // A line.
    QTest::newRow("line not an object")
        << QByteArray("{\"lines\": [\n 7]}") << 2 << 2 << "线路应为一个对象 { … }";
    QTest::newRow("misspelt line key") << file(R"( "baudrate": 9600,)", R"({"address": 1})") << 2 << 38
                                       << "未知的键 \"baudrate\"；这里可用的键：\"id\", \"port\", \"baud\", "
                                          "\"format\", \"framing\", \"timeout_ms\", "
                                          "\"gap_ms\", \"devices\"";
    QTest::newRow("no id") << QByteArray(sound).replace("\"id\": \"a\", ", "") << 2 << 2
                           << "缺少 \"id\"；\"id\" 应为 1 到 32 个字符的文本，前后无空格";
    QTest::newRow("empty id") << QByteArray(sound).replace("\"id\": \"a\"", "\"id\": \"\"") << 2 << 9
                              << "\"id\" 应为 1 到 32 个字符的文本，前后无空格";
    QTest::newRow("id with a space") << QByteArray(sound).replace("\"id\": \"a\"", "\"id\": \"a \"") << 2 << 9
                                     << "\"id\" 应为 1 到 32 个字符的文本，前后无空格";
    QTest::newRow("id twice")
        << file("", R"({"address": 1})",
                ",\n {\"id\": \"a\", \"port\": \"/dev/ttyUSB1\", \"devices\": [{\"address\": 1}]}")
        << 5 << 9 << "线路标识 \"a\" 已被另一条线路使用";
    QTest::newRow("no port") << QByteArray(sound).replace("\"port\": \"/dev/ttyUSB0\",", "") << 2 << 2
                             << "缺少 \"port\"；\"port\" 应为设备路径（如 /dev/ttyUSB0）或 tcp://主机:端口"
                                "（端口号 1 到 65535，IPv6 地址加方括号），前后无空格";
    const QString portExpected = "\"port\" 应为设备路径（如 /dev/ttyUSB0）或 tcp://主机:端口"
                                 "（端口号 1 到 65535，IPv6 地址加方括号），前后无空格";
    QTest::newRow("empty port") << QByteArray(sound).replace("\"/dev/ttyUSB0\"", "\"\"") << 2 << 22
                                << portExpected;
    QTest::newRow("port not text") << QByteArray(sound).replace("\"/dev/ttyUSB0\"", "0") << 2 << 22
                                   << portExpected;
    QTest::newRow("tcp without a port")
        << QByteArray(sound).replace("/dev/ttyUSB0", "tcp://host") << 2 << 22 << portExpected;
    QTest::newRow("tcp port too high")
        << QByteArray(sound).replace("/dev/ttyUSB0", "tcp://[::1]:65536") << 2 << 22 << portExpected;
    QTest::newRow("one port on two lines")
        << file("", R"({"address": 1})",
                ",\n {\"id\": \"b\", \"port\": \"/dev/ttyUSB0\", \"devices\": [{\"address\": 2}]}")
        << 5 << 22 << "端口 /dev/ttyUSB0 已被线路 \"a\" 使用";
    QTest::newRow("one server on two lines")
        << QByteArray(
               file("", R"({"address": 1})",
                    ",\n {\"id\": \"b\", \"port\": \"TCP://Server:4001\", \"devices\": [{\"address\": 2}]}"))
               .replace("/dev/ttyUSB0", "tcp://server:4001")
        << 5 << 22 << "端口 TCP://Server:4001 已被线路 \"a\" 使用";
    const QString baudExpected = "\"baud\" 应为以下波特率之一：4800, 9600, 19200, 38400";
    QTest::newRow("baud not offered")
        << file(R"( "baud": 115200,)", R"({"address": 1})") << 2 << 46 << baudExpected;
    QTest::newRow("baud as text") << file(R"( "baud": "19200",)", R"({"address": 1})") << 2 << 46
                                  << baudExpected;
    QTest::newRow("baud not whole") << file(R"( "baud": 19200.5,)", R"({"address": 1})") << 2 << 46
                                    << baudExpected;
    QTest::newRow("format unknown") << file(R"( "format": "8N2",)", R"({"address": 1})") << 2 << 48
                                    << "\"format\" 应为以下格式之一：\"8_N_2\", \"8_E_1\", \"8_O_1\"";
    QTest::newRow("framing in capitals") << file(R"( "framing": "Silence",)", R"({"address": 1})") << 2 << 49
                                         << "\"framing\" 应为 \"length\" 或 \"silence\"";
    QTest::newRow("timeout too short") << file(R"( "timeout_ms": 9,)", R"({"address": 1})") << 2 << 52
                                       << "\"timeout_ms\" 应为 10 到 10000 的整数（毫秒）";
    QTest::newRow("timeout too long") << file(R"( "timeout_ms": 10001,)", R"({"address": 1})") << 2 << 52
                                      << "\"timeout_ms\" 应为 10 到 10000 的整数（毫秒）";
    QTest::newRow("gap below zero") << file(R"( "gap_ms": -1,)", R"({"address": 1})") << 2 << 48
                                    << "\"gap_ms\" 应为 0 到 1000 的整数（毫秒）";
    QTest::newRow("gap too long") << file(R"( "gap_ms": 1001,)", R"({"address": 1})") << 2 << 48
                                  << "\"gap_ms\" 应为 0 到 1000 的整数（毫秒）";
    QTest::newRow("no devices") << QByteArray("{\"lines\": [\n {\"id\": \"a\", \"port\": \"/dev/ttyUSB0\"}]}")
                                << 2 << 2 << "缺少 \"devices\"；\"devices\" 应为含至少一台设备的数组 [ … ]";
    QTest::newRow("no device") << QByteArray(sound).replace("{\"address\": 1}", "") << 2 << 49
                               << "\"devices\" 应为含至少一台设备的数组 [ … ]";

    // A device.
    QTest::newRow("device not an object") << file("", "1") << 3 << 3 << "设备应为一个对象 { … }";
    QTest::newRow("misspelt device key") << file("", R"({"adress": 1})") << 3 << 4
                                         << "未知的键 \"adress\"；这里可用的键：\"address\", \"name\"";
    const QString addressExpected = "地址应为 1 到 247 的整数";
    QTest::newRow("no address") << file("", R"({"name": "Zone 1"})") << 3 << 3
                                << "缺少 \"address\"；" + addressExpected;
    QTest::newRow("address 0") << file("", R"({"address": 0})") << 3 << 15 << addressExpected;
    QTest::newRow("address 248") << file("", R"({"address": 248})") << 3 << 15 << addressExpected;
    QTest::newRow("address not whole") << file("", R"({"address": 1.5})") << 3 << 15 << addressExpected;
    QTest::newRow("address as text") << file("", R"({"address": "1"})") << 3 << 15 << addressExpected;
    QTest::newRow("address twice") << file("", R"({"address": 1}, {"address": 1})") << 3 << 31
                                   << "地址 1 在这条线路上已被使用";
    const QString nameExpected = "\"name\" 应为 1 到 32 个字符的文本";
    QTest::newRow("empty name") << file("", R"({"address": 1, "name": ""})") << 3 << 26 << nameExpected;
    QTest::newRow("blank name") << file("", R"({"address": 1, "name": "  "})") << 3 << 26 << nameExpected;
    QTest::newRow("name not text") << file("", R"({"address": 1, "name": 1})") << 3 << 26 << nameExpected;
    QTest::newRow("name too long") << file("", "{\"address\": 1, \"name\": \"" + QByteArray(33, 'n') + "\"}")
                                   << 3 << 26 << nameExpected;
    // Columns are characters: the fault after a Chinese name stands where an editor shows it.
    QTest::newRow("column after Chinese")
        << file("", R"({"name": "一区", "address": 0})") << 3 << 29 << addressExpected;
    // Of several faults, the first in the text is told, whatever order they are checked in.
    QTest::newRow("first fault told") << file(R"( "gap_ms": -1, "baud": 1,)", R"({"address": 0})") << 2 << 48
                                      << "\"gap_ms\" 应为 0 到 1000 的整数（毫秒）";
}

void TestFleetFile::badFiles() {
    QFETCH(QByteArray, json);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, what);
    FleetError error;
    QVERIFY(!ReadFleet(json, &error));
    QCOMPARE(error.what, what);
    QCOMPARE(error.line, line);
    QCOMPARE(error.column, column);
    QCOMPARE(error.Text(), QStringLiteral("第 %1 行第 %2 列：%3").arg(line).arg(column).arg(what));
}

void TestFleetFile::roundTrip() {
    QFETCH(QByteArray, json);
    QFETCH(Fleet, expected);
    const QByteArray written = WriteFleet(expected);
    FleetError error;
    const std::optional<Fleet> fleet = ReadFleet(written, &error);
    QVERIFY2(fleet, qPrintable(error.Text() + "\n" + QString::fromUtf8(written)));
    QVERIFY(*fleet == expected);
    QCOMPARE(WriteFleet(*fleet), written);
}

void TestFleetFile::readFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString good = dir.filePath("fleet.json");
    Fleet fleet;
    fleet.lines = {Line("l", "/dev/ttyUSB0", {{3, "Z7 #3"}})};
    QFile out(good);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(WriteFleet(fleet));
    out.close();
    FleetError error;
    const std::optional<Fleet> read = ReadFleetFile(good, &error);
    QVERIFY2(read, qPrintable(error.Text()));
    QVERIFY(*read == fleet);

    const QString missing = dir.filePath("none.json");
    QVERIFY(!ReadFleetFile(missing, &error));
    QCOMPARE(error.line, 0);
    QVERIFY2(error.Text().startsWith("无法读取 " + missing + "："), qPrintable(error.Text()));

    // A file too large to be a fleet file is refused before it is read whole, though it is sound JSON.
    const QString large = dir.filePath("large.json");
    QFile big(large);
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(kFleetMaxFileBytes, ' '));
    big.write(WriteFleet(fleet));
    big.close();
    QVERIFY(!ReadFleetFile(large, &error));
    QCOMPARE(error.line, 0);
    QCOMPARE(error.what, QStringLiteral("%1 太大：机群文件最多 1048576 字节").arg(large));
}

// The examples the format's documentation shows are sound fleet files with the values it says.
void TestFleetFile::documentedExamples() {
    QFile doc(qEnvironmentVariable("Z7_SOURCE_DIR") + QStringLiteral("/docs/fleet.md"));
    QVERIFY(doc.open(QIODevice::ReadOnly));
    const QByteArray text = doc.readAll();
    QList<Fleet> fleets;
    for (qsizetype at = text.indexOf("```json\n"); at >= 0; at = text.indexOf("```json\n", at)) {
        at += 8;
        const QByteArray json = text.mid(at, text.indexOf("```", at) - at);
        FleetError error;
        const std::optional<Fleet> fleet = ReadFleet(json, &error);
        QVERIFY2(fleet, qPrintable(error.Text() + "\n" + QString::fromUtf8(json)));
        fleets.append(*fleet);
    }
    QCOMPARE(fleets.size(), 2);
    QCOMPARE(fleets[0].lines.size(), 1);
    QCOMPARE(fleets[0].lines[0].devices.size(), 6);
    QCOMPARE(fleets[0].lines[0].timeoutMs, 500);
    QCOMPARE(fleets[0].lines[0].baud, 19200u);
    QCOMPARE(fleets[1].lines[0].framing, FleetFraming::Silence);
    QCOMPARE(fleets[1].lines[0].devices[1].name, QStringLiteral("Z7 #8"));
    QVERIFY(fleets[1].asFastAsPossible);
}

// Every fault is told in English too, as the translation has it for the same place.
void TestFleetFile::english() {
    QFETCH(QByteArray, json);
    QFETCH(int, line);
    QFETCH(int, column);
    QTranslator english;
    QVERIFY(english.load(QStringLiteral("z7panel_en"), qEnvironmentVariable("Z7_BINARY_DIR") +
                                                           QStringLiteral("/share/z7panel/translations")));
    QCoreApplication::installTranslator(&english);
    FleetError error;
    QVERIFY(!ReadFleet(json, &error));
    const QString text = error.Text();
    QCoreApplication::removeTranslator(&english);
    QVERIFY2(text.startsWith(QStringLiteral("line %1, column %2: ").arg(line).arg(column)), qPrintable(text));
    for (const QChar c : text)
        QVERIFY2(c.unicode() < 0x2E80, qPrintable(text)); // no Chinese left untranslated
    if (QByteArray(QTest::currentDataTag()) == "address 0")
        QCOMPARE(text, QStringLiteral("line 3, column 15: the address must be a whole number from 1 to 247"));
}

QTEST_GUILESS_MAIN(TestFleetFile)
#include "tst_fleetfile.moc"
