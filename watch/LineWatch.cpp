#include "LineWatch.h"

#include "Quantities.h"

#include <QDateTime>

#include <algorithm>

void LineWatch::SetDevice(const DeviceKey& device) {
    m_device = device;
    m_registers.SetDevice(device);
    if (m_freshness.SetAddress(device.address))
        emit liveChanged(m_freshness.Live());
}

void LineWatch::Detected(const EventDetector::Output& out, qint64 monotonicUs) {
    emit detected(out);
    if (m_commands.Take(out, monotonicUs))
        emit commandFateChanged();
}

void LineWatch::OnPort(PortChange change) {
    EventDetector::Output out;
    out.events.push_back(m_detector.OnPort(change, m_device, QDateTime::currentMSecsSinceEpoch()));
    Detected(out, TrafficMonotonicUs());
    if (m_freshness.SetLineOpen(change == PortChange::Opened))
        emit liveChanged(m_freshness.Live());
}

void LineWatch::SetPolling(bool polling) {
    if (m_freshness.SetPolling(polling))
        emit liveChanged(m_freshness.Live());
}

void LineWatch::Take(const TrafficRecord& record) {
    const EventDetector::Output out = m_detector.OnTraffic(record, m_device.port);
    if (out.block)
        m_registers.Take(*out.block, record.monotonicUs);
    Detected(out, record.monotonicUs);
    if (m_freshness.Take(record))
        emit liveChanged(m_freshness.Live());
}

void LineWatch::OnCommand(quint8 writeRegister, quint16 writeValue, bool sent) {
    EventDetector::Output out;
    out.events =
        m_detector.OnCommand(m_device, writeRegister, writeValue, sent, QDateTime::currentMSecsSinceEpoch());
    Detected(out, TrafficMonotonicUs());
}

void LineWatch::OnCommandEnded() {
    if (m_commands.GivenUp())
        emit commandFateChanged();
}

void LineWatch::OnAcknowledge(const std::vector<AlarmEntry>& acknowledged, const QString& user,
                              qint64 utcMs) {
    EventDetector::Output out;
    std::vector<std::pair<DeviceKey, QStringList>> byDevice;
    for (const AlarmEntry& a : acknowledged) {
        auto it = std::find_if(byDevice.begin(), byDevice.end(),
                               [&a](const auto& d) { return d.first == a.device; });
        if (it == byDevice.end())
            it = byDevice.insert(byDevice.end(), {a.device, {}});
        it->second << QString::fromLatin1(kAlarmNames[size_t(a.bit)]);
    }
    for (const auto& [device, names] : byDevice)
        out.events.push_back(HistoryEvent{utcMs, device, EventKind::AlarmAck, AlarmAckDetail(user, names)});
    if (!out.events.empty())
        emit detected(out);
}
