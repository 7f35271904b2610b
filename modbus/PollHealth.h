#pragma once
// Whether a device answers its polls, read from the line's traffic records: three read polls in a row
// that went unanswered or whose answer was refused (an exception, a garbled frame, a request the port
// did not take) make it failing; the next accepted read reply makes it answer again. The history's lost
// link, the stale readings and a fleet's offline device all ask this one count.

#include "Traffic.h"

class PollHealth {
public:
    static constexpr int kPollsToFail = 3;

    // Takes one record of the line about this device; true when Failing() changed with it. Records of
    // the bus scan and of writes do not count.
    bool Take(const TrafficRecord& record);
    // The polls in a row without an accepted reply, counted as each is given up or refused.
    int FailedPolls() const { return m_failed; }
    bool Failing() const { return m_failed >= kPollsToFail; }
    // Forgets the count, as after the port was closed: the next polls start a new one.
    void Reset() { *this = PollHealth(); }

private:
    int m_failed = 0;
    // The request of the last refused answer counted: several deliveries of one poll count once.
    qint64 m_countedRequestUs = -1;
};
