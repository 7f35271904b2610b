#pragma once
// Turns what the line reports into what the history keeps: each accepted block as a reading, and the
// events around them: alarm bits set and cleared, the run bit changing, operator commands and their
// outcome, the port, and the link lost after three polls in a row without an accepted reply and restored
// by the next one. One detector serves one recording: the run bit and the alarms found set at the first
// reading of a device are states found at start, not changes seen.

#include "HistoryTypes.h"
#include "Traffic.h"

#include <QHash>

#include <optional>
#include <vector>

enum class PortChange { Opened, Closed, Vanished };

class EventDetector {
public:
    static constexpr int kPollsToLoseLink = 3;

    struct Output {
        std::optional<BlockSample> block;
        std::vector<HistoryEvent> events;
    };

    // One traffic record of the line on `port`. Only an accepted read reply gives a reading.
    Output OnTraffic(const TrafficRecord& record, const QString& port);
    // The operator set a command; `sent` is false when the communication box held it back.
    std::vector<HistoryEvent> OnCommand(const DeviceKey& device, quint8 writeRegister, quint16 writeValue,
                                        bool sent, qint64 utcMs) const;
    HistoryEvent OnPort(PortChange change, const DeviceKey& device, qint64 utcMs) const;
    // The recording's start and its clean end; `detail` says what started it (the program) or ended it.
    HistoryEvent OnRecording(bool started, const DeviceKey& device, const QString& detail,
                             qint64 utcMs) const;

    // "register 4 value 250", the detail of every command event.
    static QString CommandText(quint16 writeRegister, quint16 writeValue);

private:
    struct DeviceState {
        std::optional<bool> running;
        std::optional<quint16> alarms;
        int missedPolls = 0;
        bool linkLost = false;
    };
    void OnBlock(const BlockSample& block, std::vector<HistoryEvent>& events);

    QHash<QString, DeviceState> m_devices; // by DeviceKey::Name()
};
