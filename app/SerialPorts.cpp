#include "SerialPorts.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <tuple>

namespace {

// Natural order, so ttyUSB10 comes after ttyUSB9: names compare by the text before their trailing
// number, then by that number.
QStringList SortedEntries(const QDir& dir, const QString& pattern) {
    QStringList names = dir.entryList({pattern}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    const auto split = [](const QString& name) {
        qsizetype digits = name.size();
        while (digits > 0 && name[digits - 1].isDigit())
            --digits;
        const QString number = name.mid(digits);
        return std::tuple(name.left(digits), number.size(), number);
    };
    std::sort(names.begin(), names.end(),
              [&split](const QString& a, const QString& b) { return split(a) < split(b); });
    return names;
}

// The kernel creates a ttyS node for every possible 8250 port; only those whose UART type is not 0
// (unknown) have hardware behind them.
bool HasUart(const QString& ttyClassRoot, const QString& name) {
    QFile type(ttyClassRoot + u'/' + name + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const int value = type.readAll().trimmed().toInt(&ok);
    return ok && value != 0;
}

} // namespace

QStringList ListSerialDevices(const QString& devRoot, const QString& ttyClassRoot) {
    QStringList ports;
    const QDir byId(devRoot + QStringLiteral("/serial/by-id"));
    for (const QString& name : SortedEntries(byId, QStringLiteral("*")))
        ports << byId.filePath(name);
    const QDir dev(devRoot);
    for (const char* pattern : {"ttyUSB*", "ttyACM*"})
        for (const QString& name : SortedEntries(dev, QString::fromLatin1(pattern)))
            ports << dev.filePath(name);
    for (const QString& name : SortedEntries(dev, QStringLiteral("ttyS*")))
        if (HasUart(ttyClassRoot, name))
            ports << dev.filePath(name);
    return ports;
}
