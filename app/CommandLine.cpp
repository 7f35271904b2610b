#include "CommandLine.h"

#include <QSet>

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    const auto fail = [&result](const QString& message) {
        result.Action = TCommandLine::Error;
        result.Message = message;
        return result;
    };
    QSet<QString> given;
    // An option with a value: true when taken, else `result` holds the error.
    const auto value = [&](qsizetype& i, const QString& what, QString& field) {
        const QString& option = arguments[i];
        if (given.contains(option)) {
            fail(option + QStringLiteral(" given twice"));
            return false;
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            fail(option + QStringLiteral(" needs ") + what);
            return false;
        }
        field = arguments[++i];
        given.insert(option);
        return true;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == u"--help") {
            result.Action = TCommandLine::Help;
        } else if (arg == u"--port") {
            if (!value(i, QStringLiteral("a port name"), result.Port))
                return result;
        } else if (arg == u"--traffic-log") {
            if (!value(i, QStringLiteral("a file name"), result.TrafficLog))
                return result;
        } else {
            return fail(QStringLiteral("unknown argument: ") + arg);
        }
    }
    return result;
}

QString UsageText(const QString& programName) {
    return QStringLiteral("usage: %1 [--port NAME] [--traffic-log FILE]\n"
                          "  --port NAME         preset the serial port, e.g. /dev/ttyUSB0\n"
                          "  --traffic-log FILE  append every request, reply and missing answer to FILE,\n"
                          "                      one line each: time (UTC), tx/rx/--, verdict, bytes\n"
                          "  --help              show this text\n")
        .arg(programName);
}
