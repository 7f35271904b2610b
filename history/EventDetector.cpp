#include "EventDetector.h"

#include "ModbusFrame.h"
#include "Quantities.h"

namespace {

constexpr quint8 kReadFunction = 0x03;
constexpr quint8 kWriteFunction = 0x06;

// What became of a write that the device did not confirm, as the poll cycle judged its answer.
QString RefusalText(const TrafficRecord& record) {
    if (record.direction == TrafficDirection::Tx)
        return QStringLiteral("not taken by the port");
    QString text = QStringLiteral("answer: ") + QString::fromLatin1(VerdictKeyword(record.verdict));
    if (record.verdict == Verdict::Exception) {
        text += QStringLiteral(" %1").arg(record.exceptionCode, 2, 16, QLatin1Char('0')).toUpper();
        const QString name = ModbusExceptionName(record.exceptionCode);
        if (!name.isEmpty())
            text += QLatin1Char(' ') + name;
    }
    return text;
}

} // namespace

QString EventDetector::CommandText(quint16 writeRegister, quint16 writeValue) {
    return QStringLiteral("register %1 value %2").arg(writeRegister).arg(writeValue);
}

EventDetector::Output EventDetector::OnTraffic(const TrafficRecord& record, const QString& port) {
    Output out;
    const DeviceKey device{port, record.address};
    const auto event = [&](EventKind kind, QString detail = {}) {
        out.events.push_back(HistoryEvent{record.utcMs, device, kind, std::move(detail)});
    };

    if (record.function == kWriteFunction) {
        const QString command = CommandText(record.firstRegister, record.countOrValue);
        if (record.direction == TrafficDirection::Tx && record.verdict == Verdict::Refused)
            event(EventKind::CommandRefused, command + QStringLiteral("; ") + RefusalText(record));
        else if (record.direction == TrafficDirection::Rx && record.verdict == Verdict::Confirmed)
            event(EventKind::CommandConfirmed, command);
        else if (record.direction == TrafficDirection::Rx)
            event(EventKind::CommandRefused, command + QStringLiteral("; ") + RefusalText(record));
        else if (record.direction == TrafficDirection::Missing)
            event(EventKind::CommandUnanswered, command);
        return out;
    }
    if (record.function != kReadFunction)
        return out;

    DeviceState& state = m_devices[device.Name()];
    if (record.direction == TrafficDirection::Missing) {
        if (++state.missedPolls == kPollsToLoseLink && !state.linkLost) {
            state.linkLost = true;
            event(EventKind::LinkLost, QStringLiteral("%1 polls unanswered").arg(kPollsToLoseLink));
        }
        return out;
    }
    const std::optional<int> index = BlockIndex(record.firstRegister);
    if (record.direction != TrafficDirection::Rx || record.verdict != Verdict::Accepted || !index ||
        record.bytes.size() < kReadReplyLength)
        return out;

    state.missedPolls = 0;
    if (state.linkLost) {
        state.linkLost = false;
        event(EventKind::LinkRestored);
    }
    BlockSample block;
    block.utcMs = record.utcMs;
    block.device = device;
    block.block = quint8(record.firstRegister);
    const auto* bytes = reinterpret_cast<const quint8*>(record.bytes.constData());
    for (int i = 0; i < kBlockLength; ++i)
        block.registers[size_t(i)] = ReadReplyRegister(bytes, i);
    OnBlock(block, out.events);
    out.block = block;
    return out;
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
    QString detail = CommandText(writeRegister, writeValue);
    if (!sent)
        detail += QStringLiteral("; not sent, communication is off");
    return {HistoryEvent{utcMs, device, EventKind::Command, detail}};
}

HistoryEvent EventDetector::OnPort(PortChange change, const DeviceKey& device, qint64 utcMs) const {
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
