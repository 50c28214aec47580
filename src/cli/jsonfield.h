#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>

// Display forms of the values in quelmd's replies. A field that is missing
// or of another type than expected shows as empty or zero instead of
// stopping the output: the reply still says what it can.
class JsonField final
{
public:
    JsonField() = delete;

    // Strings with control characters made harmless (line breaks and tabs as
    // spaces, the rest as U+FFFD), whole numbers without decimals, booleans
    // as yes/no, lists joined by commas, anything else empty.
    static QString text(const QJsonValue &value);
    // A whole number, from a JSON number or a decimal string; 0 when neither.
    static qint64 integer(const QJsonValue &value);
    // A byte count in the program's one display form.
    static QString size(const QJsonValue &value);

    // The same for a named field of an object.
    static QString text(const QJsonObject &object, QLatin1String name);
    static qint64 integer(const QJsonObject &object, QLatin1String name);
    static QString size(const QJsonObject &object, QLatin1String name);
    // A list field; empty when missing or not a list.
    static QJsonArray array(const QJsonObject &object, QLatin1String name);
};
