#include "FormLayout.h"

#include "UpDown.h"
#include "iAnalogDisplay.h"
#include "iAnalogOutput.h"
#include "iKnob.h"
#include "iLabel.h"
#include "iLedBar.h"
#include "iLedRound.h"
#include "iLinearGauge.h"
#include "iSwitchLed.h"
#include "iThermometer.h"

#include <QRegularExpression>

#include <algorithm>
#include <functional>

namespace {

// The platform's "default colour" value, passed unchanged to whatever draws with it.
constexpr TColor clDefault = 0x20000000u;

const QHash<QString, TColor>& ColorNames() {
    static const QHash<QString, TColor> names = {
        {"clBlack", clBlack},
        {"clMaroon", clMaroon},
        {"clGreen", clGreen},
        {"clOlive", clOlive},
        {"clNavy", clNavy},
        {"clPurple", clPurple},
        {"clTeal", clTeal},
        {"clGray", clGray},
        {"clSilver", clSilver},
        {"clRed", clRed},
        {"clLime", clLime},
        {"clYellow", clYellow},
        {"clBlue", clBlue},
        {"clFuchsia", clFuchsia},
        {"clAqua", clAqua},
        {"clWhite", clWhite},
        {"clDefault", clDefault},
        {"clScrollBar", clScrollBar},
        {"clWindow", clWindow},
        {"clWindowText", clWindowText},
        {"clHighlight", clHighlight},
        {"clHighlightText", clHighlightText},
        {"clBtnFace", clBtnFace},
        {"clBtnShadow", clBtnShadow},
        {"clBtnText", clBtnText},
        {"clBtnHighlight", clBtnHighlight},
        {"cl3DDkShadow", cl3DDkShadow},
        {"cl3DLight", cl3DLight},
    };
    return names;
}

using Factory = std::function<QWidget*(QWidget* parent)>;

const QHash<QString, Factory>& Factories() {
    static const QHash<QString, Factory> factories = {
        {"TiSwitchLed", [](QWidget* p) { return new TiSwitchLed(p); }},
        {"TiLedRound", [](QWidget* p) { return new TiLedRound(p); }},
        {"TiLabel", [](QWidget* p) { return new TiLabel(p); }},
        {"TiThermometer", [](QWidget* p) { return new TiThermometer(p); }},
        {"TiAnalogOutput", [](QWidget* p) { return new TiAnalogOutput(p); }},
        {"TiAnalogDisplay", [](QWidget* p) { return new TiAnalogDisplay(p); }},
        {"TiKnob", [](QWidget* p) { return new TiKnob(p); }},
        {"TiLedBar", [](QWidget* p) { return new TiLedBar(p); }},
        {"TiLinearGauge", [](QWidget* p) { return new TiLinearGauge(p); }},
        {"TUpDown", [](QWidget* p) { return new TUpDown(p); }},
    };
    return factories;
}

[[noreturn]] void Fail(int lineNumber, const QString& what) {
    throw ELayoutError(QStringLiteral("layout line %1: %2").arg(lineNumber).arg(what).toStdString());
}

// The up-down is a standard control, not a widget of the frame: it takes its place and its associate.
void ApplyUpDown(TUpDown* upDown, const QStringList& lines, const QHash<QString, QWidget*>& created,
                 int lineNumber) {
    QRect r = upDown->geometry();
    for (const QString& line : lines) {
        const int sep = line.indexOf('=');
        const QString name = line.left(sep).trimmed();
        const QString value = line.mid(sep + 1).trimmed();
        bool ok = true;
        if (name == u"Left")
            r.moveLeft(value.toInt(&ok));
        else if (name == u"Top")
            r.moveTop(value.toInt(&ok));
        else if (name == u"Width")
            r.setWidth(value.toInt(&ok));
        else if (name == u"Height")
            r.setHeight(value.toInt(&ok));
        else if (name == u"Associate" && created.contains(value))
            upDown->SetAssociate(created.value(value));
        else
            ok = false;
        if (!ok)
            Fail(lineNumber, QStringLiteral("bad up-down setting: %1").arg(line));
    }
    upDown->setGeometry(r);
}

} // namespace

QString ResolveColorName(const QString& valueText) {
    const auto it = ColorNames().constFind(valueText);
    return it == ColorNames().constEnd() ? valueText : QString::number(*it);
}

QHash<QString, QWidget*> ReadFormLayout(const QString& text, const QHash<QString, QWidget*>& parents) {
    static const QRegularExpression header(QStringLiteral(R"(^object\s+(\w+)\s*:\s*(\w+)\s+in\s+(\w+)$)"));
    QHash<QString, QWidget*> created;
    QWidget* widget = nullptr;
    int objectLine = 0;
    QStringList lines;
    const QStringList all = text.split('\n');
    for (int i = 0; i < all.size(); ++i) {
        const QString line = all[i].trimmed();
        const int lineNumber = i + 1;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (!widget) {
            const QRegularExpressionMatch m = header.match(line);
            if (!m.hasMatch())
                Fail(lineNumber, QStringLiteral("expected an object: %1").arg(line));
            const QString name = m.captured(1);
            const auto factory = Factories().constFind(m.captured(2));
            if (factory == Factories().constEnd())
                Fail(lineNumber, QStringLiteral("unknown class %1").arg(m.captured(2)));
            QWidget* parent = parents.value(m.captured(3));
            if (!parent)
                Fail(lineNumber, QStringLiteral("unknown parent %1").arg(m.captured(3)));
            if (created.contains(name))
                Fail(lineNumber, QStringLiteral("%1 is there twice").arg(name));
            widget = (*factory)(parent);
            widget->setObjectName(name);
            created.insert(name, widget);
            objectLine = lineNumber;
            lines.clear();
            continue;
        }
        if (line == u"end") {
            if (auto* component = qobject_cast<TiComponent*>(widget)) {
                try {
                    component->LoadProperties(lines);
                } catch (const EiError& error) {
                    Fail(objectLine, QString::fromStdString(error.what()));
                }
                // A label keeps the size the layout stores, which is the size it gave itself around its
                // caption; where the layout names none, it sizes itself once now, in this font.
                auto* label = qobject_cast<TiLabel*>(widget);
                const bool sized = std::any_of(lines.cbegin(), lines.cend(),
                                               [](const QString& l) { return l.startsWith(u"Width "); });
                if (label && label->AutoSize() && !sized) {
                    label->SetAutoSize(false);
                    label->SetAutoSize(true);
                }
            } else {
                ApplyUpDown(static_cast<TUpDown*>(widget), lines, created, objectLine);
            }
            widget = nullptr;
            continue;
        }
        const int sep = line.indexOf('=');
        if (sep <= 0)
            Fail(lineNumber, QStringLiteral("expected a setting: %1").arg(line));
        lines << line.left(sep).trimmed() + QStringLiteral(" = ") +
                     ResolveColorName(line.mid(sep + 1).trimmed());
    }
    if (widget)
        Fail(objectLine, QStringLiteral("%1 has no end").arg(widget->objectName()));
    return created;
}
