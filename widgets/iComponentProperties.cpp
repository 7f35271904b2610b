// Properties as text: the one reader and writer behind property files and the window layout.
#include "iComponent.h"
#include "iPropertyText.h"

#include <QBuffer>
#include <QFile>
#include <QLocale>
#include <QMetaProperty>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>

#include <cmath>

namespace {

const QString kFileType = QStringLiteral("File Type = ");
const QString kSeparator = QStringLiteral(" = ");

// Left out of property files unless OptionSaveAllProperties is on.
const QSet<QString>& GeometryNames() {
    static const QSet<QString> names = {"Left",     "Top", "Width",   "Height",  "Align", "Cursor",
                                        "ShowHint", "Tag", "Visible", "Enabled", "Hint",  "HelpContext"};
    return names;
}

QSet<QString> PublishedByClass(const QMetaObject* mo) {
    QSet<QString> names;
    for (const QMetaObject* m = mo; m; m = m->superClass()) {
        for (int i = m->classInfoOffset(); i < m->classInfoCount(); ++i) {
            const QMetaClassInfo info = m->classInfo(i);
            if (qstrcmp(info.name(), "Publish") != 0)
                continue;
            for (const QString& n : QString::fromLatin1(info.value()).split(',', Qt::SkipEmptyParts))
                names.insert(n.trimmed());
        }
    }
    return names;
}

QString FormatDouble(double v) {
    QString s = QString::number(v, 'g', QLocale::FloatingPointShortest);
    if (std::isfinite(v) && !s.contains('.') && !s.contains('e'))
        s += QStringLiteral(".0");
    return s;
}

QString QuoteString(const QString& s) {
    QString q = s;
    q.replace('\'', QStringLiteral("''"));
    return '\'' + q + '\'';
}

bool UnquoteString(const QString& text, QString& out) {
    if (text.size() < 2 || !text.startsWith('\'') || !text.endsWith('\''))
        return false;
    const QString inner = text.mid(1, text.size() - 2);
    out.clear();
    for (int i = 0; i < inner.size(); ++i) {
        if (inner[i] == '\'') {
            if (i + 1 >= inner.size() || inner[i + 1] != '\'')
                return false;
            ++i;
        }
        out += inner[i];
    }
    return true;
}

int RawEnumValue(const QVariant& v) {
    if (v.metaType().sizeOf() == int(sizeof(int)) && v.constData())
        return *reinterpret_cast<const int*>(v.constData());
    return v.toInt();
}

QString FormatValue(const QMetaProperty& prop, const QVariant& v) {
    if (prop.isEnumType()) {
        const QMetaEnum e = prop.enumerator();
        const int raw = RawEnumValue(v);
        if (prop.isFlagType())
            return '[' + QString::fromLatin1(e.valueToKeys(raw)).replace('|', ',') + ']';
        const char* key = e.valueToKey(raw);
        return key ? QString::fromLatin1(key) : QString::number(raw);
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
        return FormatDouble(v.toDouble());
    case QMetaType::QString:
        return QuoteString(v.toString());
    case QMetaType::QImage: {
        const QImage img = v.value<QImage>();
        if (img.isNull())
            return QStringLiteral("{}");
        QByteArray png;
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        img.save(&buf, "PNG");
        return '{' + QString::fromLatin1(png.toBase64()) + '}';
    }
    default:
        return v.toString();
    }
}

// Text to a value of the given type; false when the text is not such a value.
bool ParseValue(const QMetaProperty* prop, QMetaType type, const QString& text, QVariant& out) {
    if (prop && prop->isEnumType()) {
        // Names are looked up as C strings: a NUL byte would end the name early and characters beyond
        // Latin-1 would become '?', so such a text names no value.
        for (QChar c : text)
            if (c.isNull() || c.unicode() > 0xFF)
                return false;
        const QMetaEnum e = prop->enumerator();
        bool ok = false;
        int value;
        if (prop->isFlagType()) {
            QString keys = text;
            if (keys.startsWith('[') && keys.endsWith(']'))
                keys = keys.mid(1, keys.size() - 2);
            keys.replace(',', '|');
            keys.remove(' ');
            value = keys.isEmpty() ? 0 : e.keysToValue(keys.toLatin1().constData(), &ok);
            if (keys.isEmpty())
                ok = true;
        } else {
            value = e.keyToValue(text.toLatin1().constData(), &ok);
        }
        if (!ok)
            value = text.toInt(&ok);
        // A number names a value only when the enumeration has it; anything else would leave the
        // widget holding a value none of its code expects.
        if (!ok || (!prop->isFlagType() && !e.valueToKey(value)))
            return false;
        out = QVariant(value);
        return true;
    }
    bool ok = false;
    switch (type.id()) {
    case QMetaType::Bool:
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1"))
            out = true;
        else if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0 || text == QLatin1String("0"))
            out = false;
        else
            return false;
        return true;
    case QMetaType::Int:
        out = text.toInt(&ok);
        return ok;
    case QMetaType::UInt: {
        // Colours may come as signed 32-bit values (system colours are negative then).
        uint u = text.toUInt(&ok);
        if (!ok) {
            const int i = text.toInt(&ok);
            u = uint(i);
        }
        out = u;
        return ok;
    }
    case QMetaType::Double: {
        // No widget value is meant to be "nan" or "inf"; taken in, they break the clamping and the
        // file written afterwards.
        const double d = text.toDouble(&ok);
        out = d;
        return ok && std::isfinite(d);
    }
    case QMetaType::QString: {
        QString s;
        if (!UnquoteString(text, s))
            return false;
        out = s;
        return true;
    }
    case QMetaType::QImage: {
        if (!text.startsWith('{') || !text.endsWith('}'))
            return false;
        const QByteArray data = QByteArray::fromBase64(text.mid(1, text.size() - 2).toLatin1());
        QImage img;
        if (!data.isEmpty() && !img.loadFromData(data, "PNG"))
            return false;
        out = img;
        return true;
    }
    default:
        return false;
    }
}

void WriteObject(const QObject* obj, const QMetaObject* mo, int firstProperty, const QString& prefix,
                 const QSet<QString>& publish, const QSet<QString>& leftOut, QStringList& lines) {
    QSet<QString> seen;
    for (int i = firstProperty; i < mo->propertyCount(); ++i) {
        const QString name = QString::fromLatin1(mo->property(i).name());
        if (seen.contains(name))
            continue;
        seen.insert(name);
        // A class may declare a property again; the most derived declaration decides.
        const QMetaProperty prop = mo->property(mo->indexOfProperty(name.toLatin1().constData()));
        if (!prop.isReadable() || !prop.isWritable())
            continue;
        if (!prop.isStored() && !publish.contains(name))
            continue;
        if (leftOut.contains(name))
            continue;
        const QVariant v = prop.read(obj);
        if (v.metaType().flags() & QMetaType::PointerToQObject) {
            const QObject* child = v.value<QObject*>();
            if (child)
                WriteObject(child, child->metaObject(), QObject::staticMetaObject.propertyCount(),
                            prefix + name + '.', {}, {}, lines);
            continue;
        }
        // A float of 0 is not written among the published values (its "_2" value is).
        if (v.metaType().id() == QMetaType::Double && v.toDouble() == 0.0)
            continue;
        lines.append(prefix + name + kSeparator + FormatValue(prop, v));
    }
}

} // namespace

bool iParsePropertyValue(const QMetaProperty& prop, const QString& text, QVariant& out) {
    return ParseValue(&prop, prop.metaType(), text, out);
}

QString TiComponent::ClassName() const {
    return QString::fromLatin1(metaObject()->className());
}

QStringList TiComponent::SaveProperties() const {
    QStringList lines;
    QSet<QString> leftOut = {QStringLiteral("Name")};
    if (!m_optionSaveAllProperties)
        leftOut.unite(GeometryNames());
    WriteObject(this, metaObject(), TiComponent::staticMetaObject.propertyOffset(), QString(),
                PublishedByClass(metaObject()), leftOut, lines);
    // Extra values come last, always, with the fields as they are.
    QList<TiExtraValue> extras;
    const_cast<TiComponent*>(this)->DefineExtraValues(extras);
    for (const TiExtraValue& x : extras) {
        if (x.Stored && !x.Stored())
            continue;
        const QVariant v = x.Read();
        lines.append(x.Name + kSeparator +
                     (v.metaType().id() == QMetaType::Double ? FormatDouble(v.toDouble())
                                                             : QuoteString(v.toString())));
    }
    return lines;
}

void TiComponent::LoadProperties(const QStringList& Lines) {
    const bool wasLoading = m_layoutLoading;
    m_layoutLoading = true;
    try {
        LoadPropertiesImpl(Lines);
    } catch (...) {
        m_layoutLoading = wasLoading;
        throw;
    }
    m_layoutLoading = wasLoading;
    if (!wasLoading)
        FinishLoading();
}

void TiComponent::LoadPropertiesImpl(const QStringList& Lines) {
    struct Assignment {
        QObject* target;
        QMetaProperty prop;
        QVariant value;
    };
    QList<TiExtraValue> extras;
    DefineExtraValues(extras);
    const QSet<QString> publish = PublishedByClass(metaObject());
    QList<Assignment> assignments;
    QList<std::pair<const TiExtraValue*, QVariant>> extraAssignments;

    // Everything is parsed and checked first, so a bad file changes nothing.
    for (const QString& rawLine : Lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty())
            continue;
        const int sep = line.indexOf('=');
        if (sep <= 0)
            throw EiError(QStringLiteral("line without a value: %1").arg(line).toStdString());
        const QString name = line.left(sep).trimmed();
        const QString text = line.mid(sep + 1).trimmed();

        const auto extra = std::find_if(extras.cbegin(), extras.cend(),
                                        [&](const TiExtraValue& x) { return x.Name == name; });
        if (extra != extras.cend()) {
            QVariant v;
            if (!ParseValue(nullptr, extra->Read().metaType(), text, v))
                throw EiError(QStringLiteral("bad value for %1: %2").arg(name, text).toStdString());
            extraAssignments.append({&*extra, v});
            continue;
        }

        QObject* target = this;
        const QStringList path = name.split('.');
        QMetaProperty prop;
        for (int i = 0; i < path.size(); ++i) {
            const QMetaObject* mo = target->metaObject();
            const int index = mo->indexOfProperty(path[i].toLatin1().constData());
            const int first = target == this ? TiComponent::staticMetaObject.propertyOffset()
                                             : QObject::staticMetaObject.propertyCount();
            // Only what the writer would write: a property of the class's own (not of the toolkit's
            // window or object) that is stored or that the class publishes. The name must match whole:
            // the lookup stops at a NUL byte and turns other characters into '?'.
            if (index < first || QString::fromLatin1(mo->property(index).name()) != path[i])
                throw EiError(QStringLiteral("unknown property %1").arg(name).toStdString());
            prop = mo->property(index);
            if (!prop.isStored() && !(target == this && publish.contains(path[i])))
                throw EiError(QStringLiteral("unknown property %1").arg(name).toStdString());
            if (i + 1 < path.size()) {
                target = prop.read(target).value<QObject*>();
                if (!target)
                    throw EiError(QStringLiteral("unknown property %1").arg(name).toStdString());
            }
        }
        if (!prop.isWritable() || (prop.metaType().flags() & QMetaType::PointerToQObject))
            throw EiError(QStringLiteral("property %1 cannot be set").arg(name).toStdString());
        QVariant v;
        if (!ParseValue(&prop, prop.metaType(), text, v))
            throw EiError(QStringLiteral("bad value for %1: %2").arg(name, text).toStdString());
        assignments.append({target, prop, v});
    }

    for (const Assignment& a : assignments)
        a.prop.write(a.target, a.value);
    // Extra values last, straight into their fields.
    for (const auto& [extra, value] : extraAssignments)
        extra->Write(value);
}

void TiComponent::SavePropertiesToFile(const QString& FileName) const {
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw EiError(("Error Saving Properties - " + file.errorString()).toStdString());
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    out << kFileType << ClassName() << '\n';
    for (const QString& line : SaveProperties())
        out << line << '\n';
    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit())
        throw EiError(("Error Saving Properties - " + file.errorString()).toStdString());
}

void TiComponent::LoadPropertiesFromFile(const QString& FileName) {
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw EiError(("Error Loading Properties - " + file.errorString()).toStdString());
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    const QString header = in.readLine();
    if (!header.startsWith(kFileType))
        throw EiError("Error Loading Properties - not a property file");
    const QString className = header.mid(kFileType.size()).trimmed();
    // A file of another widget class would set only what happens to share a name.
    if (className != ClassName())
        throw EiError(("Error Loading Properties - the file is for " + className + ", not " + ClassName())
                          .toStdString());
    QStringList lines;
    while (!in.atEnd())
        lines.append(in.readLine());

    BeginUpdate();
    m_loadingProperties = true;
    try {
        LoadPropertiesImpl(lines);
    } catch (const std::exception& e) {
        m_loadingProperties = false;
        EndUpdate();
        throw EiError(std::string("Error Loading Properties - ") + e.what());
    }
    m_loadingProperties = false;
    FinishLoading();
    EndUpdate();
}
