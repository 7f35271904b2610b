#pragma once
// The alarms the operator is shown, each in its state of ISA-18.2: an alarm that comes on is
// unacknowledged; acknowledged, it stays listed until it clears; one that clears before it was
// acknowledged stays listed, returned, until it is acknowledged; one that comes on again meanwhile is
// unacknowledged anew. Unacknowledged alarms, active or returned, flash.
//
// The states follow the events of the line watch's detector, which alone decides that an alarm came or
// went: alarms set at the first reading of a device (found at start) are new to the operator as well.

#include "HistoryTypes.h"

#include <optional>
#include <vector>

struct AlarmEntry {
    DeviceKey device;
    int bit = 0;           // of register 13, 0 to 8: kAlarmNames[bit]
    qint64 sinceUtcMs = 0; // when it came on
    bool active = true;    // false: returned, it cleared before it was acknowledged
    bool acknowledged = false;

    bool Flashing() const { return !acknowledged; }
    friend bool operator==(const AlarmEntry&, const AlarmEntry&) = default;
};

class AlarmStates {
public:
    struct Change {
        bool shownChanged = false;
        std::vector<AlarmEntry> came; // alarms that came on with these events, as they are shown
    };

    // The events of one fact of the line; any other kind than the alarms' is passed over.
    Change Take(const std::vector<HistoryEvent>& events);
    // Acknowledges every alarm shown that waits for it; returns those, as they were before.
    std::vector<AlarmEntry> AcknowledgeAll();

    // Newest first.
    const std::vector<AlarmEntry>& Shown() const { return m_shown; }
    bool AnyFlashing() const;

    // The bit named `name` in kAlarmNames.
    static std::optional<int> BitOf(QStringView name);

private:
    std::vector<AlarmEntry> m_shown;
};
