#pragma once
// The reader of the window layout's widget part: blocks of
//
//   object iKnob1: TiKnob in Panel6
//     Left = 88
//     PositionMax = 1000
//   end
//
// Each widget is created in its panel, named, and given its lines through the widget frame's property
// reader, which applies them in the loading state with the "_2" values last. Colour names stand for
// their values.

#include <QHash>
#include <QString>
#include <QStringList>

#include <stdexcept>

class QWidget;

class ELayoutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Creates the widgets of `text` in the order given; returns them by name. Throws ELayoutError with the
// line number on an unknown class, parent or property, and on a value the property does not take.
QHash<QString, QWidget*> ReadFormLayout(const QString& text, const QHash<QString, QWidget*>& parents);

// The layout's value text with colour names replaced by their numbers; other texts unchanged.
QString ResolveColorName(const QString& valueText);
