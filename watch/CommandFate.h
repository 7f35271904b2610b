#pragma once
// What became of the operator's last command, as the line watch's detector decided it: sent and waiting
// for its echo, confirmed (and how long after it was given), refused with the reason, unanswered, or
// unconfirmed until a later read settles it; or not sent at all because polling was off. Only the
// newest command is followed: an outcome of an older one changes nothing.

#include "EventDetector.h"

#include <optional>

class CommandFate {
public:
    // NotSent: polling was off. LineBusy: the request waited for a line that never came free (another
    // user of the line, answers that kept coming) until the command was given up.
    enum class State : quint8 { Sending, Confirmed, Refused, NoAnswer, Unconfirmed, NotSent, LineBusy };

    struct Fate {
        State state = State::Sending;
        quint16 reg = 0;
        quint16 value = 0;
        // Confirmed: from the command to the reply that confirmed it, in milliseconds.
        qint64 ms = 0;
        // Refused, NoAnswer and Unconfirmed: why, as the detector put it.
        CommandDetail detail{};
    };

    // What the detector made of a fact of the line; `monotonicUs` is when it happened
    // (TrafficMonotonicUs). True when Current() changed.
    bool Take(const EventDetector::Output& out, qint64 monotonicUs);
    const std::optional<Fate>& Current() const { return m_fate; }
    // The form gave the newest command up. One still Sending then never went on the wire: had it, its
    // missing answer would have settled it. True when Current() changed.
    bool GivenUp();

private:
    std::optional<Fate> m_fate;
    qint64 m_givenUs = 0;
};
