#include "CommandFate.h"

bool CommandFate::Take(const EventDetector::Output& out, qint64 monotonicUs) {
    bool changed = false;
    for (const HistoryEvent& event : out.events) {
        const std::optional<CommandDetail> detail = CommandDetail::Parse(event.detail);
        if (!detail)
            continue;
        const auto settle = [&](State state) {
            // An outcome of an earlier command, or one already settled, is old news.
            if (!m_fate || m_fate->reg != detail->reg || m_fate->value != detail->value ||
                m_fate->state == State::NotSent)
                return;
            m_fate->state = state;
            m_fate->detail = *detail;
            m_fate->ms = state == State::Confirmed ? (monotonicUs - m_givenUs + 500) / 1000 : 0;
            changed = true;
        };
        switch (event.kind) {
        case EventKind::Command:
            m_fate = Fate{detail->reason == CommandDetail::Reason::CommOff ? State::NotSent : State::Sending,
                          detail->reg, detail->value, 0, *detail};
            m_givenUs = monotonicUs;
            changed = true;
            break;
        case EventKind::CommandConfirmed:
            settle(State::Confirmed);
            break;
        case EventKind::CommandRefused:
            settle(State::Refused);
            break;
        case EventKind::CommandUnanswered:
            settle(State::NoAnswer);
            break;
        case EventKind::CommandUnconfirmed:
            settle(detail->reason == CommandDetail::Reason::Answer && detail->answer == Verdict::NoReply
                       ? State::NoAnswer
                       : State::Unconfirmed);
            break;
        default:
            break;
        }
    }
    return changed;
}

bool CommandFate::GivenUp() {
    if (!m_fate || m_fate->state != State::Sending)
        return false;
    m_fate->state = State::LineBusy;
    return true;
}
