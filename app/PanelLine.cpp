#include "PanelLine.h"

#include "CRC16.h"
#include "TextToInt.h"

#include <QCheckBox>

TPanelLine::TPanelLine(TForm1* form, QObject* parent) : LineAccess(parent), m_form(form) {
    connect(form, &TForm1::trafficRecorded, this, &TPanelLine::record);
    connect(form, &TForm1::portEvent, this, &LineAccess::portEvent);
    connect(form->CheckBox2, &QCheckBox::toggled, this, &LineAccess::pollingChanged);
}

void TPanelLine::record(const TrafficRecord& record) {
    m_traffic.Append(record);
    m_stats.Add(record);
}

void TPanelLine::ClearTraffic() {
    m_traffic.Clear();
    emit trafficCleared();
}

void TPanelLine::ResetStats() {
    m_stats.Reset();
    emit statsReset();
}

TComm* TPanelLine::Comm() const {
    return m_form ? m_form->Comm1 : nullptr;
}

int TPanelLine::SilenceMs() const {
    return m_form ? int(m_form->Comm1->ReadIntervalTimeout()) : 0;
}

bool TPanelLine::Polling() const {
    return m_form && m_form->CheckBox2->isChecked();
}

quint8 TPanelLine::Address() const {
    return m_form ? m_form->Address() : 0;
}

QList<quint32> TPanelLine::OfferedBaudRates() const {
    QList<quint32> rates;
    if (m_form)
        for (int i = 0; i < m_form->ComboBox5->count(); ++i)
            rates.append(quint32(TextToInt(m_form->ComboBox5->itemText(i))));
    return rates;
}

QStringList TPanelLine::OfferedFormats() const {
    QStringList formats;
    if (m_form)
        for (int i = 0; i < m_form->ComboBox6->count(); ++i)
            formats.append(m_form->ComboBox6->itemText(i));
    return formats;
}

void TPanelLine::Borrow(Receiver receiver) {
    if (!m_form)
        return;
    QWidget* const held[] = {m_form->CheckBox2, m_form->ComboBox5, m_form->ComboBox6};
    bool* const wasEnabled[] = {&m_commBoxEnabled, &m_baudBoxEnabled, &m_formatBoxEnabled};
    const bool lend = bool(receiver);
    if (lend != m_form->LineLent()) {
        // Polling cannot start, and the borrower's own line settings cannot be changed under it.
        for (size_t i = 0; i < std::size(held); ++i) {
            if (lend) {
                *wasEnabled[i] = held[i]->isEnabled();
                held[i]->setEnabled(false);
            } else {
                held[i]->setEnabled(*wasEnabled[i]);
            }
        }
    }
    m_form->LendLine(std::move(receiver));
}

void TPanelLine::Report(const TrafficRecord& record) {
    if (m_form)
        m_form->ReportTraffic(record);
}

void TPanelLine::Use(quint8 address, quint32 baudRate, const QString& format) {
    if (!m_form)
        return;
    m_form->ComboBox1->setEditText(QString::number(address));
    m_form->ComboBox5->setEditText(QString::number(baudRate));
    m_form->ComboBox5Change(m_form->ComboBox5);
    if (!format.isEmpty()) {
        m_form->ComboBox6->setEditText(format);
        m_form->ComboBox6Change(m_form->ComboBox6);
    }
}
