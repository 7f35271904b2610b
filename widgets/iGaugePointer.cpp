#include "iGaugePointer.h"
#include "iPropertyText.h"

#include <QLocale>
#include <QMetaProperty>
#include <QRegularExpression>

#include <memory>

namespace {

QString FormatPointerValue(const QVariant& v) {
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return v.toString();
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Pointer

TiGaugePointer::TiGaugePointer(TiGaugePointerManager* Manager) : m_manager(Manager) {
    if (!m_manager)
        return;
    m_manager->m_items.append(this);
    m_manager->m_inserted(this);
    m_manager->m_changed(this);
}

TiGaugePointer::~TiGaugePointer() {
    if (!m_manager)
        return;
    if (!m_manager->m_silent) {
        m_manager->m_removed(this);
        m_manager->m_changed(this);
    }
    m_manager->m_items.removeOne(this);
}

void TiGaugePointer::NotifyChanged() {
    if (m_manager && !m_manager->m_silent)
        m_manager->m_changed(this);
}

void TiGaugePointer::SetPosition(double v) {
    if (m_position == v)
        return;
    m_position = v;
    NotifyChanged();
    if (m_manager && !m_manager->m_silent && m_manager->m_positionChanged)
        m_manager->m_positionChanged(this);
}

// ---------------------------------------------------------------------------------------------------
// Manager

TiGaugePointerManager::TiGaugePointerManager(Hook PositionChanged, Hook Changed, Hook Inserted, Hook Removed)
    : m_positionChanged(std::move(PositionChanged)), m_changed(std::move(Changed)),
      m_inserted(std::move(Inserted)), m_removed(std::move(Removed)) {
    if (!m_changed)
        throw EiError("OnChange event handler can not be null");
    if (!m_inserted)
        throw EiError("OnInsert event handler can not be null");
    if (!m_removed)
        throw EiError("OnRemove event handler can not be null");
}

TiGaugePointerManager::~TiGaugePointerManager() {
    m_silent = true;
    while (!m_items.isEmpty())
        delete m_items.last();
}

TiGaugePointer* TiGaugePointerManager::Item(int Index) const {
    if (Index < 0 || Index >= m_items.size())
        throw EiError("Pointer Index out of bounds");
    return m_items[Index];
}

int TiGaugePointerManager::IndexOf(const TiGaugePointer* Pointer) const {
    return int(m_items.indexOf(const_cast<TiGaugePointer*>(Pointer)));
}

TiGaugePointer* TiGaugePointerManager::Add() {
    return new TiGaugePointer(this);
}

void TiGaugePointerManager::Clear() {
    while (!m_items.isEmpty())
        delete m_items.last();
}

void TiGaugePointerManager::DeselectAll() {
    for (TiGaugePointer* p : m_items)
        p->SetSelected(false);
}

QString TiGaugePointerManager::ToText() const {
    const TiGaugePointer defaults;
    const QMetaObject* mo = &TiGaugePointer::staticMetaObject;
    QStringList items;
    for (const TiGaugePointer* p : m_items) {
        QStringList props;
        for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i) {
            const QMetaProperty prop = mo->property(i);
            const QVariant v = prop.read(p);
            // Style has no default of its own (each gauge sets it on insertion), so it is always written.
            if (qstrcmp(prop.name(), "Style") != 0 && v == prop.read(&defaults))
                continue;
            props << QStringLiteral("%1 = %2").arg(QLatin1String(prop.name()), FormatPointerValue(v));
        }
        items << QStringLiteral("item %1 end").arg(props.join(QStringLiteral("; ")));
    }
    return '<' + items.join(' ') + '>';
}

void TiGaugePointerManager::FromText(const QString& Text) {
    const QString t = Text.trimmed();
    if (!t.startsWith('<') || !t.endsWith('>'))
        throw EiError(("bad pointer collection: " + Text).toStdString());
    const QMetaObject* mo = &TiGaugePointer::staticMetaObject;

    // Parsed and checked completely before the list is touched.
    QList<QList<std::pair<QMetaProperty, QVariant>>> items;
    static const QRegularExpression itemRe(QStringLiteral("^\\s*item\\b(.*?)\\bend\\s*"),
                                           QRegularExpression::DotMatchesEverythingOption);
    QString rest = t.mid(1, t.size() - 2);
    while (!rest.trimmed().isEmpty()) {
        const QRegularExpressionMatch m = itemRe.match(rest);
        if (!m.hasMatch())
            throw EiError(("bad pointer collection: " + Text).toStdString());
        QList<std::pair<QMetaProperty, QVariant>> props;
        for (const QString& assignment : m.captured(1).split(';', Qt::SkipEmptyParts)) {
            if (assignment.trimmed().isEmpty())
                continue;
            const int eq = assignment.indexOf('=');
            const QString name = assignment.left(eq).trimmed();
            int index = eq > 0 ? mo->indexOfProperty(name.toLatin1().constData()) : -1;
            // The lookup stops at a NUL byte: the name found must be the whole name given.
            if (index >= 0 && QString::fromLatin1(mo->property(index).name()) != name)
                index = -1;
            QVariant v;
            if (index < mo->propertyOffset() ||
                !iParsePropertyValue(mo->property(index), assignment.mid(eq + 1).trimmed(), v))
                throw EiError(("bad pointer property: " + assignment.trimmed()).toStdString());
            props.append({mo->property(index), v});
        }
        items.append(props);
        rest = rest.mid(m.capturedLength());
    }

    Clear();
    for (const auto& props : items) {
        TiGaugePointer* p = Add();
        for (const auto& [prop, value] : props)
            prop.write(p, value);
    }
}
