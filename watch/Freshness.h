#pragma once
// Whether the readings the panel shows are live. They are live from an accepted read reply on, while
// replies keep coming; they turn stale when the port closes or vanishes, when polling is switched off,
// when the panel turns to another address, or when the device fails three polls in a row, and stay so
// until the next accepted reply. Before the first there is no reading at all.

#include "PollHealth.h"
#include "Traffic.h"

#include <optional>

class Freshness {
public:
    // Each returns true when Live() changed with it.
    bool SetLineOpen(bool open);
    bool SetPolling(bool polling);
    bool SetAddress(quint8 address);
    bool Take(const TrafficRecord& record);

    bool Live() const { return m_live; }
    // The wall-clock time (ms since 1970, UTC) of the last accepted reply, the time of the readings shown.
    std::optional<qint64> LastUpdateUtcMs() const { return m_lastUtcMs; }

private:
    bool Go(bool live);

    bool m_live = false;
    bool m_open = false;
    bool m_polling = false;
    quint8 m_address = 0;
    PollHealth m_health;
    std::optional<qint64> m_lastUtcMs;
};
