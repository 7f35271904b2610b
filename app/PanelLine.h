#pragma once
// The form's line as the windows beyond it see it: the traffic the form records, kept with its
// statistics, and the form's port lent to a borrower with the form's line controls held still meanwhile.

#include "LineAccess.h"

#include <QPointer>

class TForm1;

class TPanelLine : public LineAccess {
    Q_OBJECT
public:
    explicit TPanelLine(TForm1* form, QObject* parent = nullptr);

    const TrafficBuffer& Traffic() const override { return m_traffic; }
    const TrafficStats& Stats() const override { return m_stats; }
    qint64 StartUs() const override { return m_startUs; }
    void ClearTraffic() override;
    void ResetStats() override;

    TComm* Comm() const override;
    int SilenceMs() const override;
    bool Polling() const override;
    quint8 Address() const override;
    QList<quint32> OfferedBaudRates() const override;
    QStringList OfferedFormats() const override;

    void Borrow(Receiver receiver) override;
    void Report(const TrafficRecord& record) override;
    void Use(quint8 address, quint32 baudRate, const QString& format) override;

signals:
    // The statistics were reset.
    void statsReset();

private:
    void record(const TrafficRecord& record);

    QPointer<TForm1> m_form;
    const qint64 m_startUs = TrafficMonotonicUs();
    TrafficBuffer m_traffic;
    TrafficStats m_stats;
    // Whether the form's controls that the borrower holds still were enabled before.
    bool m_commBoxEnabled = true;
    bool m_baudBoxEnabled = true;
    bool m_formatBoxEnabled = true;
};
