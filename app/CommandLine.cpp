#include "CommandLine.h"

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    const auto fail = [&result](const QString& message) {
        result.Action = TCommandLine::Error;
        result.Message = message;
        return result;
    };
    bool portGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == u"--help") {
            result.Action = TCommandLine::Help;
        } else if (arg == u"--port") {
            if (portGiven)
                return fail(QStringLiteral("--port given twice"));
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                return fail(QStringLiteral("--port needs a port name"));
            result.Port = arguments[++i];
            portGiven = true;
        } else {
            return fail(QStringLiteral("unknown argument: ") + arg);
        }
    }
    return result;
}

QString UsageText(const QString& programName) {
    return QStringLiteral("usage: %1 [--port NAME]\n"
                          "  --port NAME  preset the serial port, e.g. /dev/ttyUSB0\n"
                          "  --help       show this text\n")
        .arg(programName);
}
