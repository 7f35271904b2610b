#include "AlarmStates.h"

#include "Quantities.h"

#include <algorithm>

std::optional<int> AlarmStates::BitOf(QStringView name) {
    for (int k = 0; k < kAlarmCount; ++k)
        if (name == QLatin1String(kAlarmNames[size_t(k)]))
            return k;
    return std::nullopt;
}

AlarmStates::Change AlarmStates::Take(const std::vector<HistoryEvent>& events) {
    Change change;
    for (const HistoryEvent& e : events) {
        const bool comes = e.kind == EventKind::AlarmSet || e.kind == EventKind::StateAtStart;
        if (!comes && e.kind != EventKind::AlarmClear)
            continue;
        // A state found at start is the run bit or an alarm's name.
        const std::optional<int> bit = BitOf(e.detail);
        if (!bit)
            continue;
        const auto it = std::find_if(m_shown.begin(), m_shown.end(), [&](const AlarmEntry& a) {
            return a.bit == *bit && a.device == e.device;
        });
        if (comes) {
            if (it != m_shown.end() && it->active)
                continue;
            // Come on anew after returning unacknowledged: a new alarm for the operator, newest first.
            if (it != m_shown.end())
                m_shown.erase(it);
            const AlarmEntry entry{e.device, *bit, e.utcMs};
            m_shown.insert(m_shown.begin(), entry);
            change.came.push_back(entry);
            change.shownChanged = true;
        } else if (it != m_shown.end() && it->active) {
            if (it->acknowledged)
                m_shown.erase(it);
            else
                it->active = false;
            change.shownChanged = true;
        }
    }
    return change;
}

std::vector<AlarmEntry> AlarmStates::AcknowledgeAll() {
    std::vector<AlarmEntry> acknowledged;
    for (const AlarmEntry& a : m_shown)
        if (!a.acknowledged)
            acknowledged.push_back(a);
    // A returned alarm, acknowledged, is over; an active one stays until it clears.
    std::erase_if(m_shown, [](const AlarmEntry& a) { return !a.acknowledged && !a.active; });
    for (AlarmEntry& a : m_shown)
        a.acknowledged = true;
    return acknowledged;
}

bool AlarmStates::AnyFlashing() const {
    return std::any_of(m_shown.begin(), m_shown.end(), [](const AlarmEntry& a) { return a.Flashing(); });
}
