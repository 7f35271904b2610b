#pragma once
// Turns what the line reports into what the history keeps: each accepted block as a reading, and the
// events around them: alarm bits set and cleared, the run bit changing, operator commands and their
// outcome, the port, and the link lost after three polls in a row without an accepted reply (unanswered or
// refused) and restored by the next one. One detector serves one recording: the run bit and the alarms found
// set at the first reading of a device are states found at start, not changes seen.
//
// A command's fate: a clean echo confirms it and an exception reply refuses it at once. When the echo is
// lost or garbled, the device may well have done the write (a reply glued to another, a bit flipped on
// the way back), so the command is unconfirmed until the next accepted read of its register, requested
// after the write, settles it: confirmed if the device holds the value, refused if not. Closing the port
// or a newer command to the same register leaves it unconfirmed.

#include "HistoryTypes.h"
#include "PollHealth.h"
#include "Traffic.h"

#include <QHash>

#include <optional>
#include <vector>

enum class PortChange { Opened, Closed, Vanished };

class EventDetector {
public:
    static constexpr int kPollsToLoseLink = PollHealth::kPollsToFail;

    struct Output {
        std::optional<BlockSample> block;
        std::vector<HistoryEvent> events;
    };

    // One traffic record of the line on `port`. Only an accepted read reply gives a reading.
    Output OnTraffic(const TrafficRecord& record, const QString& port);
    // The operator set a command; `sent` is false when the communication box held it back.
    std::vector<HistoryEvent> OnCommand(const DeviceKey& device, quint8 writeRegister, quint16 writeValue,
                                        bool sent, qint64 utcMs) const;
    HistoryEvent OnPort(PortChange change, const DeviceKey& device, qint64 utcMs);
    // The recording's start and its clean end; `detail` says what started it (the program) or ended it.
    HistoryEvent OnRecording(bool started, const DeviceKey& device, const QString& detail,
                             qint64 utcMs) const;

private:
    // A write whose echo was lost or garbled, waiting for a read of its register.
    struct Unconfirmed {
        DeviceKey device;
        quint16 reg = 0;
        quint16 value = 0;
        qint64 requestUs = 0; // when the write was handed to the port: only a later read can settle it
    };
    void OnWrite(const TrafficRecord& record, const DeviceKey& device, std::vector<HistoryEvent>& events);
    void Settle(const TrafficRecord& read, const BlockSample& block, std::vector<HistoryEvent>& events);

    struct DeviceState {
        std::optional<bool> running;
        std::optional<quint16> alarms;
        PollHealth health;
    };
    void OnBlock(const BlockSample& block, std::vector<HistoryEvent>& events);

    QHash<QString, DeviceState> m_devices; // by DeviceKey::Name()
    std::vector<Unconfirmed> m_unconfirmed;
};
