#include "FleetFile.h"

#include "JsonPositions.h"
#include "LineFormat.h"
#include "TcpCommPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>
#include <limits>

namespace {

struct FleetFile {
    Q_DECLARE_TR_FUNCTIONS(FleetFile)
};

const QString kLines = QStringLiteral("lines");
const QString kFast = QStringLiteral("as_fast_as_possible");
const QString kId = QStringLiteral("id");
const QString kPort = QStringLiteral("port");
const QString kBaud = QStringLiteral("baud");
const QString kFormat = QStringLiteral("format");
const QString kFraming = QStringLiteral("framing");
const QString kTimeout = QStringLiteral("timeout_ms");
const QString kGap = QStringLiteral("gap_ms");
const QString kDevices = QStringLiteral("devices");
const QString kAddress = QStringLiteral("address");
const QString kName = QStringLiteral("name");
const QString kLength = QStringLiteral("length");
const QString kSilence = QStringLiteral("silence");

QString SyntaxExpectation(QJsonParseError::ParseError error) {
    switch (error) {
    case QJsonParseError::UnterminatedObject:
        return FleetFile::tr("对象未结束：这里应为 , 或 }");
    case QJsonParseError::MissingNameSeparator:
        return FleetFile::tr("这里应为冒号 :");
    case QJsonParseError::UnterminatedArray:
        return FleetFile::tr("数组未结束：这里应为 , 或 ]");
    case QJsonParseError::MissingValueSeparator:
        return FleetFile::tr("这里应为逗号 ,");
    case QJsonParseError::IllegalValue:
    case QJsonParseError::MissingObject: // what the reader says of a value missing after a comma
        return FleetFile::tr("这里应为一个值：字符串、数字、对象、数组、true、false 或 null");
    case QJsonParseError::TerminationByNumber:
        return FleetFile::tr("文件在数字中间结束");
    case QJsonParseError::IllegalNumber:
        return FleetFile::tr("这里应为一个有效的数字");
    case QJsonParseError::IllegalEscapeSequence:
        return FleetFile::tr("无效的转义序列：\\ 后应为 \" \\ / b f n r t 或 u 加四位十六进制数");
    case QJsonParseError::IllegalUTF8String:
        return FleetFile::tr("文本不是有效的 UTF-8");
    case QJsonParseError::UnterminatedString:
        return FleetFile::tr("字符串未结束：这里应为 \"");
    case QJsonParseError::DeepNesting:
        return FleetFile::tr("嵌套太深");
    case QJsonParseError::DocumentTooLarge:
        return FleetFile::tr("文件太大");
    case QJsonParseError::GarbageAtEnd:
        return FleetFile::tr("JSON 已经结束，这里不应再有内容");
    case QJsonParseError::NoError:
        break;
    }
    return FleetFile::tr("JSON 语法错误");
}

// Where the fault of a syntax error is. For these errors the reader has already taken the character it
// stumbled on, so the place it gives is one past it (unless it ran out of text).
qsizetype SyntaxFaultOffset(const QJsonParseError& parse, const QByteArray& json) {
    switch (parse.error) {
    case QJsonParseError::MissingNameSeparator:
    case QJsonParseError::UnterminatedObject:
    case QJsonParseError::UnterminatedArray:
    case QJsonParseError::MissingValueSeparator:
    case QJsonParseError::IllegalValue:
    case QJsonParseError::MissingObject:
        return parse.offset > 0 && parse.offset < json.size() ? parse.offset - 1 : parse.offset;
    default:
        return parse.offset;
    }
}

QString NotAnObject() {
    return FleetFile::tr("文件应为一个对象 { … }，内含 \"lines\"");
}

QString KeyList(const QStringList& keys) {
    QStringList quoted;
    for (const QString& key : keys)
        quoted.append(u'"' + key + u'"');
    return quoted.join(QStringLiteral(", "));
}

// A JSON number that is a whole number from `low` to `high`.
std::optional<qint64> WholeNumber(const QJsonValue& value, qint64 low, qint64 high) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || number < double(low) || number > double(high))
        return std::nullopt;
    return qint64(number);
}

// The port's identity on the machine: a device path as written, a network address with the host in
// lower case, so that two lines cannot both claim one port.
QString PortIdentity(const QString& port) {
    if (const std::optional<TTcpAddress> address = ParseTcpPortName(port.toUtf8()))
        return QStringLiteral("tcp://%1:%2")
            .arg(QString::fromUtf8(address->Host).toLower())
            .arg(address->Port);
    return port;
}

// Reads a parsed fleet file and notes every fault it meets; the one earliest in the text is reported,
// so the operator mends the file from the top, and the answer does not depend on the reader's order.
class Checker {
public:
    explicit Checker(const QByteArray& json) : m_json(json), m_positions(json) {}

    bool Failed() const { return m_offset >= 0; }
    FleetError Error() const {
        const TextPosition at = PositionAt(m_json, m_offset);
        return {at.line, at.column, m_what};
    }

    Fleet ReadTop(const QJsonObject& object) {
        Fleet fleet;
        if (m_positions.FirstDuplicateKey())
            Fail(m_positions.DuplicateKeyOffset(), FleetFile::tr("键 \"%1\" 重复；每个键只能出现一次")
                                                       .arg(m_positions.FirstDuplicateKey()->last()));
        const bool known = KnownKeys(object, {}, {kLines, kFast});
        if (object.contains(kFast)) {
            if (object[kFast].isBool())
                fleet.asFastAsPossible = object[kFast].toBool();
            else
                FailAtValue({kFast}, FleetFile::tr("\"as_fast_as_possible\" 应为 true 或 false"));
        }
        const QString linesExpected = FleetFile::tr("\"lines\" 应为含至少一条线路的数组 [ … ]");
        if (!object.contains(kLines)) {
            if (known)
                FailMissing({}, kLines, linesExpected);
            return fleet;
        }
        const QJsonArray lines = object[kLines].toArray();
        if (!object[kLines].isArray() || lines.isEmpty()) {
            FailAtValue({kLines}, linesExpected);
            return fleet;
        }
        QSet<QString> ids;
        QHash<QString, QString> portOwners; // port identity -> id of the line that has it
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QStringList path{kLines, QString::number(i)};
            const FleetLine line = ReadLine(lines[i], path);
            if (!line.id.isEmpty()) {
                if (ids.contains(line.id))
                    FailAtValue(path + QStringList{kId},
                                FleetFile::tr("线路标识 \"%1\" 已被另一条线路使用").arg(line.id));
                ids.insert(line.id);
            }
            if (!line.port.isEmpty()) {
                const QString identity = PortIdentity(line.port);
                if (portOwners.contains(identity))
                    FailAtValue(
                        path + QStringList{kPort},
                        FleetFile::tr("端口 %1 已被线路 \"%2\" 使用").arg(line.port, portOwners[identity]));
                else
                    portOwners.insert(identity, line.id);
            }
            fleet.lines.append(line);
        }
        return fleet;
    }

private:
    // A line as far as it is sound; an unsound id or port is left empty, so it is compared with no other.
    FleetLine ReadLine(const QJsonValue& value, const QStringList& path) {
        FleetLine line;
        if (!value.isObject()) {
            FailAtValue(path, FleetFile::tr("线路应为一个对象 { … }"));
            return line;
        }
        const QJsonObject object = value.toObject();
        const bool known =
            KnownKeys(object, path, {kId, kPort, kBaud, kFormat, kFraming, kTimeout, kGap, kDevices});

        const QString idExpected =
            FleetFile::tr("\"id\" 应为 1 到 %1 个字符的文本，前后无空格").arg(kFleetMaxIdLength);
        if (!object.contains(kId)) {
            if (known)
                FailMissing(path, kId, idExpected);
        } else {
            const QString id = object[kId].toString();
            if (!object[kId].isString() || id.isEmpty() || id.size() > kFleetMaxIdLength ||
                id.trimmed() != id)
                FailAtValue(path + QStringList{kId}, idExpected);
            else
                line.id = id;
        }

        const QString portExpected =
            FleetFile::tr("\"port\" 应为设备路径（如 /dev/ttyUSB0）或 tcp://主机:端口"
                          "（端口号 1 到 65535，IPv6 地址加方括号），前后无空格");
        if (!object.contains(kPort)) {
            if (known)
                FailMissing(path, kPort, portExpected);
        } else {
            const QString port = object[kPort].toString();
            if (!object[kPort].isString() || port.isEmpty() || port.trimmed() != port ||
                (IsTcpPortName(port) && !ParseTcpPortName(port.toUtf8())))
                FailAtValue(path + QStringList{kPort}, portExpected);
            else
                line.port = port;
        }

        if (object.contains(kBaud)) {
            const std::optional<qint64> baud =
                WholeNumber(object[kBaud], 0, std::numeric_limits<quint32>::max());
            QStringList rates;
            for (const quint32 rate : BaudRateChoices())
                rates.append(QString::number(rate));
            if (baud && BaudRateChoices().contains(quint32(*baud)))
                line.baud = quint32(*baud);
            else
                FailAtValue(
                    path + QStringList{kBaud},
                    FleetFile::tr("\"baud\" 应为以下波特率之一：%1").arg(rates.join(QStringLiteral(", "))));
        }

        if (object.contains(kFormat)) {
            const QString format = object[kFormat].toString();
            if (object[kFormat].isString() && LineFormatChoices().contains(format))
                line.format = format;
            else
                FailAtValue(
                    path + QStringList{kFormat},
                    FleetFile::tr("\"format\" 应为以下格式之一：%1").arg(KeyList(LineFormatChoices())));
        }

        if (object.contains(kFraming)) {
            const QString framing = object[kFraming].toString();
            if (framing == kLength && object[kFraming].isString())
                line.framing = FleetFraming::Length;
            else if (framing == kSilence && object[kFraming].isString())
                line.framing = FleetFraming::Silence;
            else
                FailAtValue(path + QStringList{kFraming},
                            FleetFile::tr("\"framing\" 应为 \"length\" 或 \"silence\""));
        }

        ReadMilliseconds(object, path, kTimeout, kFleetMinTimeoutMs, kFleetMaxTimeoutMs, line.timeoutMs);
        ReadMilliseconds(object, path, kGap, kFleetMinGapMs, kFleetMaxGapMs, line.gapMs);

        const QString devicesExpected = FleetFile::tr("\"devices\" 应为含至少一台设备的数组 [ … ]");
        if (!object.contains(kDevices)) {
            if (known)
                FailMissing(path, kDevices, devicesExpected);
            return line;
        }
        const QJsonArray devices = object[kDevices].toArray();
        if (!object[kDevices].isArray() || devices.isEmpty()) {
            FailAtValue(path + QStringList{kDevices}, devicesExpected);
            return line;
        }
        QSet<int> addresses;
        for (qsizetype i = 0; i < devices.size(); ++i) {
            const QStringList devicePath = path + QStringList{kDevices, QString::number(i)};
            const std::optional<FleetDevice> device = ReadDevice(devices[i], devicePath);
            if (!device)
                continue;
            if (addresses.contains(device->address))
                FailAtValue(devicePath + QStringList{kAddress},
                            FleetFile::tr("地址 %1 在这条线路上已被使用").arg(device->address));
            addresses.insert(device->address);
            line.devices.append(*device);
        }
        return line;
    }

    // The device, or nothing when its address is unsound (a device without one cannot be polled).
    std::optional<FleetDevice> ReadDevice(const QJsonValue& value, const QStringList& path) {
        if (!value.isObject()) {
            FailAtValue(path, FleetFile::tr("设备应为一个对象 { … }"));
            return std::nullopt;
        }
        const QJsonObject object = value.toObject();
        const bool known = KnownKeys(object, path, {kAddress, kName});
        FleetDevice device;
        const QString addressExpected =
            FleetFile::tr("地址应为 %1 到 %2 的整数").arg(kFleetMinAddress).arg(kFleetMaxAddress);
        std::optional<qint64> address;
        if (!object.contains(kAddress)) {
            if (known)
                FailMissing(path, kAddress, addressExpected);
        } else {
            address = WholeNumber(object[kAddress], kFleetMinAddress, kFleetMaxAddress);
            if (!address)
                FailAtValue(path + QStringList{kAddress}, addressExpected);
        }
        if (object.contains(kName)) {
            device.name = object[kName].toString();
            if (!object[kName].isString() || device.name.trimmed().isEmpty() ||
                device.name.size() > kFleetMaxNameLength)
                FailAtValue(path + QStringList{kName},
                            FleetFile::tr("\"name\" 应为 1 到 %1 个字符的文本").arg(kFleetMaxNameLength));
        }
        if (!address)
            return std::nullopt;
        device.address = int(*address);
        if (!object.contains(kName))
            device.name = DefaultDeviceName(device.address);
        return device;
    }

    void ReadMilliseconds(const QJsonObject& object, const QStringList& path, const QString& key, int low,
                          int high, int& into) {
        if (!object.contains(key))
            return;
        if (const std::optional<qint64> ms = WholeNumber(object[key], low, high))
            into = int(*ms);
        else
            FailAtValue(path + QStringList{key},
                        FleetFile::tr("\"%1\" 应为 %2 到 %3 的整数（毫秒）").arg(key).arg(low).arg(high));
    }

    // False when the object has a key not in `allowed`. A misspelt key also leaves the right one
    // missing; the unknown key is the fault to tell, with the keys that belong there.
    bool KnownKeys(const QJsonObject& object, const QStringList& path, const QStringList& allowed) {
        bool known = true;
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!allowed.contains(it.key())) {
                Fail(m_positions.KeyOffset(path + QStringList{it.key()}),
                     FleetFile::tr("未知的键 \"%1\"；这里可用的键：%2").arg(it.key(), KeyList(allowed)));
                known = false;
            }
        }
        return known;
    }

    // A key that must be there is missing: the fault is the object that lacks it.
    void FailMissing(const QStringList& path, const QString& key, const QString& expected) {
        FailAtValue(path, FleetFile::tr("缺少 \"%1\"；%2").arg(key, expected));
    }

    void FailAtValue(const QStringList& path, const QString& what) {
        Fail(m_positions.ValueOffset(path), what);
    }

    void Fail(qsizetype offset, const QString& what) {
        offset = std::max<qsizetype>(offset, 0);
        if (m_offset < 0 || offset < m_offset) {
            m_offset = offset;
            m_what = what;
        }
    }

    const QByteArray& m_json;
    JsonPositions m_positions;
    qsizetype m_offset = -1;
    QString m_what;
};

QByteArray Quoted(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2); // the string without the array's brackets
}

} // namespace

QString FleetError::Text() const {
    if (line <= 0)
        return what;
    return FleetFile::tr("第 %1 行第 %2 列：%3").arg(line).arg(column).arg(what);
}

QString DefaultDeviceName(int address) {
    return QStringLiteral("Z7 #%1").arg(address);
}

std::optional<Fleet> ReadFleet(const QByteArray& json, FleetError* error) {
    const auto refuse = [&](qsizetype offset, const QString& what) {
        if (error) {
            const TextPosition at = PositionAt(json, offset);
            *error = {at.line, at.column, what};
        }
        return std::nullopt;
    };
    // A text that does not open an object is the wrong kind of file, whatever follows; say so rather
    // than what the JSON reader would expect next.
    qsizetype first = json.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (first < json.size() &&
           (json[first] == ' ' || json[first] == '\t' || json[first] == '\r' || json[first] == '\n'))
        ++first;
    if (first >= json.size() || json[first] != '{')
        return refuse(first, NotAnObject());
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return refuse(SyntaxFaultOffset(parse, json), SyntaxExpectation(parse.error));
    Checker checker(json);
    const Fleet fleet = checker.ReadTop(document.object());
    if (checker.Failed()) {
        if (error)
            *error = checker.Error();
        return std::nullopt;
    }
    return fleet;
}

std::optional<Fleet> ReadFleetFile(const QString& path, FleetError* error) {
    const auto refuse = [error](const QString& what) {
        if (error)
            *error = {0, 0, what};
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(FleetFile::tr("无法读取 %1：%2").arg(path, file.errorString()));
    const QByteArray json = file.read(kFleetMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(FleetFile::tr("无法读取 %1：%2").arg(path, file.errorString()));
    if (json.size() > kFleetMaxFileBytes)
        return refuse(FleetFile::tr("%1 太大：机群文件最多 %2 字节").arg(path).arg(kFleetMaxFileBytes));
    return ReadFleet(json, error);
}

QByteArray WriteFleet(const Fleet& fleet) {
    QByteArray out = "{\n";
    out += "  \"as_fast_as_possible\": " + QByteArray(fleet.asFastAsPossible ? "true" : "false") + ",\n";
    out += "  \"lines\": [";
    for (qsizetype i = 0; i < fleet.lines.size(); ++i) {
        const FleetLine& line = fleet.lines[i];
        out += i ? ",\n" : "\n";
        out += "    {\n";
        out += "      \"id\": " + Quoted(line.id) + ",\n";
        out += "      \"port\": " + Quoted(line.port) + ",\n";
        out += "      \"baud\": " + QByteArray::number(line.baud) + ",\n";
        out += "      \"format\": " + Quoted(line.format) + ",\n";
        out += "      \"framing\": " + Quoted(line.framing == FleetFraming::Silence ? kSilence : kLength) +
               ",\n";
        out += "      \"timeout_ms\": " + QByteArray::number(line.timeoutMs) + ",\n";
        out += "      \"gap_ms\": " + QByteArray::number(line.gapMs) + ",\n";
        out += "      \"devices\": [";
        for (qsizetype d = 0; d < line.devices.size(); ++d) {
            const FleetDevice& device = line.devices[d];
            out += d ? ",\n" : "\n";
            out += "        { \"address\": " + QByteArray::number(device.address) +
                   ", \"name\": " + Quoted(device.name) + " }";
        }
        out += line.devices.isEmpty() ? "]\n" : "\n      ]\n";
        out += "    }";
    }
    out += fleet.lines.isEmpty() ? "]\n" : "\n  ]\n";
    out += "}\n";
    return out;
}
