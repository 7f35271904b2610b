#include "HistoryTypes.h"

#include <QRegularExpression>

namespace {

constexpr std::array<const char*, kEventKindCount> kKeywords = {"alarm-set",
                                                                "alarm-clear",
                                                                "run",
                                                                "stop",
                                                                "command",
                                                                "command-confirmed",
                                                                "command-refused",
                                                                "command-unanswered",
                                                                "command-unconfirmed",
                                                                "port-open",
                                                                "port-close",
                                                                "port-vanished",
                                                                "link-lost",
                                                                "link-restored",
                                                                "recording-started",
                                                                "recording-stopped",
                                                                "state-at-start",
                                                                "alarm-ack"};

} // namespace

const char* EventKindKeyword(EventKind kind) {
    return kKeywords[size_t(kind)];
}

std::optional<EventKind> EventKindFromKeyword(QStringView keyword) {
    for (int i = 0; i < kEventKindCount; ++i)
        if (keyword == QLatin1String(kKeywords[size_t(i)]))
            return EventKind(i);
    return std::nullopt;
}

QString AlarmAckDetail(const QString& user, const QStringList& alarms) {
    return QStringLiteral("user ") + user + QStringLiteral(": ") + alarms.join(QStringLiteral(", "));
}

std::optional<AckDetail> ParseAlarmAckDetail(QStringView detail) {
    // Alarm names hold no colon, so the last ": " ends the user's name whatever it holds.
    const qsizetype colon = detail.lastIndexOf(u": ");
    if (!detail.startsWith(u"user ") || colon < 5)
        return std::nullopt;
    AckDetail ack;
    ack.user = detail.mid(5, colon - 5).toString();
    const QStringView names = detail.mid(colon + 2);
    if (!names.isEmpty())
        ack.alarms = names.toString().split(QStringLiteral(", "));
    return ack;
}

QString CommandDetail::Text() const {
    QString text = QStringLiteral("register %1 value %2").arg(reg).arg(value);
    switch (reason) {
    case Reason::None:
        break;
    case Reason::CommOff:
        text += QStringLiteral(" reason commoff");
        break;
    case Reason::Port:
        text += QStringLiteral(" reason port");
        break;
    case Reason::Answer:
        text += QStringLiteral(" reason ") + QLatin1String(VerdictKeyword(answer));
        if (answer == Verdict::Exception)
            text += QStringLiteral(" %1").arg(exceptionCode, 2, 16, QLatin1Char('0')).toUpper();
        break;
    case Reason::Read:
        text += QStringLiteral(" reason read held %1").arg(held);
        break;
    }
    return text + rest;
}

std::optional<CommandDetail> CommandDetail::Parse(QStringView detail) {
    static const QRegularExpression command(QStringLiteral("^register (\\d{1,5}) value (\\d{1,5})(.*)$"),
                                            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression reason(
        QStringLiteral("^ reason (commoff|port|read held (\\d{1,5})|exception ([0-9A-F]{2})|[a-z]+)$"));
    const QRegularExpressionMatch m = command.match(detail);
    if (!m.hasMatch() || m.capturedView(1).toUInt() > 0xFFFF || m.capturedView(2).toUInt() > 0xFFFF)
        return std::nullopt;
    CommandDetail d;
    d.reg = quint16(m.capturedView(1).toUInt());
    d.value = quint16(m.capturedView(2).toUInt());
    const QStringView tail = m.capturedView(3);
    if (tail.isEmpty())
        return d;
    const QRegularExpressionMatch r = reason.match(tail);
    const QStringView word = r.capturedView(1);
    if (word == u"commoff") {
        d.reason = Reason::CommOff;
    } else if (word == u"port") {
        d.reason = Reason::Port;
    } else if (r.hasCaptured(2) && r.capturedView(2).toUInt() <= 0xFFFF) {
        d.reason = Reason::Read;
        d.held = quint16(r.capturedView(2).toUInt());
    } else if (r.hasCaptured(3)) {
        d.reason = Reason::Answer;
        d.answer = Verdict::Exception;
        d.exceptionCode = quint8(r.capturedView(3).toUInt(nullptr, 16));
    } else if (const std::optional<Verdict> v = r.hasMatch() ? VerdictFromKeyword(word) : std::nullopt;
               v && *v != Verdict::Exception) {
        d.reason = Reason::Answer;
        d.answer = *v;
    } else {
        d.rest = tail.toString();
    }
    return d;
}
