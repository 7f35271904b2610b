#include "EventDetector.h"

#include "ModbusFrame.h"
#include "Quantities.h"

#include <algorithm>

namespace {

constexpr quint8 kReadFunction = 0x03;
constexpr quint8 kWriteFunction = 0x06;

// Whether a register content shows what a command wrote had its effect, as the panel shows it. The run
// switch writes 1 to stop and 0 to start, and the device then shows running in bit 0 of the register.
bool Holds(quint16 reg, quint16 held, quint16 written) {
    if (reg == Info(Quantity::Run).reg)
        return ScaledValue(Quantity::Run, held) == (written == 0 ? 1 : 0);
    if (const std::optional<Quantity> q = QuantityAtRegister(reg))
        return ScaledValue(*q, held) == ScaledValue(*q, written);
    return held == written;
}

} // namespace

EventDetector::Output EventDetector::OnTraffic(const TrafficRecord& record, const QString& port) {
    Output out;
    const DeviceKey device{port, record.address};
    const auto event = [&](EventKind kind, QString detail = {}) {
        out.events.push_back(HistoryEvent{record.utcMs, device, kind, std::move(detail)});
    };

    if (record.function == kWriteFunction) {
        OnWrite(record, device, out.events);
        return out;
    }
    if (record.function != kReadFunction)
        return out;

    DeviceState& state = m_devices[device.Name()];
    if (state.health.Take(record))
        event(state.health.Failing() ? EventKind::LinkLost : EventKind::LinkRestored,
              state.health.Failing() ? QStringLiteral("%1 polls unanswered").arg(kPollsToLoseLink)
                                     : QString());
    const std::optional<int> index = BlockIndex(record.firstRegister);
    if (record.direction != TrafficDirection::Rx || record.verdict != Verdict::Accepted || !index ||
        record.bytes.size() < kReadReplyLength)
        return out;

    BlockSample block;
    block.utcMs = record.utcMs;
    block.device = device;
    block.block = quint8(record.firstRegister);
    const auto* bytes = reinterpret_cast<const quint8*>(record.bytes.constData());
    for (int i = 0; i < kBlockLength; ++i)
        block.registers[size_t(i)] = ReadReplyRegister(bytes, i);
    Settle(record, block, out.events);
    OnBlock(block, out.events);
    out.block = block;
    return out;
}

void EventDetector::OnWrite(const TrafficRecord& record, const DeviceKey& device,
                            std::vector<HistoryEvent>& events) {
    CommandDetail detail{record.firstRegister, record.countOrValue};
    const auto event = [&](EventKind kind) {
        events.push_back(HistoryEvent{record.utcMs, device, kind, detail.Text()});
    };
    const auto sameWrite = [&](const Unconfirmed& u) {
        return u.device == device && u.requestUs == record.requestUs;
    };
    const auto waiting = std::find_if(m_unconfirmed.begin(), m_unconfirmed.end(), sameWrite);

    if (record.direction == TrafficDirection::Tx) {
        if (record.verdict == Verdict::Refused) {
            detail.reason = CommandDetail::Reason::Port;
            event(EventKind::CommandRefused);
            return;
        }
        // A newer value on its way: a read can no longer tell whether the older write was done.
        std::erase_if(m_unconfirmed, [&](const Unconfirmed& u) {
            return u.device == device && u.reg == record.firstRegister;
        });
        return;
    }
    // A delivery while nothing was awaited is no answer to this write.
    if (record.direction == TrafficDirection::Rx && record.verdict == Verdict::Unexpected)
        return;

    if (record.direction == TrafficDirection::Rx && record.verdict == Verdict::Confirmed) {
        if (waiting != m_unconfirmed.end())
            m_unconfirmed.erase(waiting);
        event(EventKind::CommandConfirmed);
        return;
    }
    detail.reason = CommandDetail::Reason::Answer;
    detail.answer = record.direction == TrafficDirection::Missing ? Verdict::NoReply : record.verdict;
    if (record.direction == TrafficDirection::Rx && record.verdict == Verdict::Exception) {
        // The device understood the write and said no.
        if (waiting != m_unconfirmed.end())
            m_unconfirmed.erase(waiting);
        detail.exceptionCode = record.exceptionCode;
        event(EventKind::CommandRefused);
        return;
    }
    if (waiting != m_unconfirmed.end())
        return; // unconfirmed already
    m_unconfirmed.push_back(Unconfirmed{device, record.firstRegister, record.countOrValue, record.requestUs});
    event(EventKind::CommandUnconfirmed);
}

void EventDetector::Settle(const TrafficRecord& read, const BlockSample& block,
                           std::vector<HistoryEvent>& events) {
    std::erase_if(m_unconfirmed, [&](const Unconfirmed& u) {
        // A read requested before the write shows the register as it was before it.
        if (u.device != block.device || u.reg < block.block || u.reg >= block.block + kBlockLength ||
            read.requestUs <= u.requestUs)
            return false;
        CommandDetail detail{u.reg, u.value, CommandDetail::Reason::Read};
        detail.held = block.registers[size_t(u.reg - block.block)];
        const EventKind kind =
            Holds(u.reg, detail.held, u.value) ? EventKind::CommandConfirmed : EventKind::CommandRefused;
        events.push_back(HistoryEvent{block.utcMs, block.device, kind, detail.Text()});
        return true;
    });
}

void EventDetector::OnBlock(const BlockSample& block, std::vector<HistoryEvent>& events) {
    DeviceState& state = m_devices[block.device.Name()];
    const auto reg = [&block](Quantity q) { return block.registers[size_t(Info(q).reg - block.block)]; };
    const auto event = [&](EventKind kind, QString detail = {}) {
        events.push_back(HistoryEvent{block.utcMs, block.device, kind, std::move(detail)});
    };
    // At first sight only a running device and the alarms set are news, and not changes: they were so
    // already, since a time the recording does not know. A stopped device is the quiet state.
    if (block.block == Info(Quantity::Run).block) {
        const bool running = ScaledValue(Quantity::Run, reg(Quantity::Run)) != 0;
        if (!state.running && running)
            event(EventKind::StateAtStart, QStringLiteral("run"));
        else if (state.running && *state.running != running)
            event(running ? EventKind::Run : EventKind::Stop);
        state.running = running;
    }
    if (block.block == Info(Quantity::Alarms).block) {
        const quint16 alarms = reg(Quantity::Alarms) & kAlarmMask;
        const quint16 before = state.alarms.value_or(0);
        for (int k = 0; k < kAlarmCount; ++k) {
            const bool was = (before >> k) & 1, is = (alarms >> k) & 1;
            const QString name = QString::fromLatin1(kAlarmNames[size_t(k)]);
            if (!state.alarms && is)
                event(EventKind::StateAtStart, name);
            else if (was != is)
                event(is ? EventKind::AlarmSet : EventKind::AlarmClear, name);
        }
        state.alarms = alarms;
    }
}

std::vector<HistoryEvent> EventDetector::OnCommand(const DeviceKey& device, quint8 writeRegister,
                                                   quint16 writeValue, bool sent, qint64 utcMs) const {
    CommandDetail detail{writeRegister, writeValue};
    if (!sent)
        detail.reason = CommandDetail::Reason::CommOff;
    return {HistoryEvent{utcMs, device, EventKind::Command, detail.Text()}};
}

HistoryEvent EventDetector::OnPort(PortChange change, const DeviceKey& device, qint64 utcMs) {
    // A command is settled by a read while the port stays open: once it closed, other hands may have
    // set the device since.
    if (change != PortChange::Opened)
        std::erase_if(m_unconfirmed, [&](const Unconfirmed& u) { return u.device.port == device.port; });
    const EventKind kind = change == PortChange::Opened   ? EventKind::PortOpen
                           : change == PortChange::Closed ? EventKind::PortClose
                                                          : EventKind::PortVanished;
    return HistoryEvent{utcMs, device, kind, device.port};
}

HistoryEvent EventDetector::OnRecording(bool started, const DeviceKey& device, const QString& detail,
                                        qint64 utcMs) const {
    return HistoryEvent{utcMs, device, started ? EventKind::RecordingStarted : EventKind::RecordingStopped,
                        detail};
}
