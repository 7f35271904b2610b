#include "LineWatch.h"

#include <QDateTime>

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
