#pragma once
// The one routine that reads a property's value from its text in a property file or the window
// layout; nested collections (a gauge's pointers) read their items' values through it too.

#include <QMetaProperty>
#include <QString>
#include <QVariant>

// Text to a value of the property's type; false when the text is not such a value.
bool iParsePropertyValue(const QMetaProperty& prop, const QString& text, QVariant& out);
