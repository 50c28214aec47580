#include "cli/jsonfield.h"

#include "common/formatsize.h"

#include <QStringList>

namespace {

// Texts come from other peers (nicknames, file names, chat): no control
// character of theirs reaches the terminal, where an escape sequence could
// rewrite the screen. Line breaks and tabs become spaces.
QString printable(QString text)
{
    for (QChar &c : text) {
        const char16_t code = c.unicode();
        if (code == '\n' || code == '\r' || code == '\t')
            c = QLatin1Char(' ');
        else if (code < 0x20 || (code >= 0x7f && code < 0xa0))
            c = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

QString JsonField::text(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return printable(value.toString());
    case QJsonValue::Double:
        if (value.toDouble() == double(value.toInteger()))
            return QString::number(value.toInteger());
        return QString::number(value.toDouble());
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    case QJsonValue::Array: {
        QStringList items;
        for (const QJsonValue &item : value.toArray())
            items.append(text(item));
        return items.join(QStringLiteral(", "));
    }
    default:
        return {};
    }
}

qint64 JsonField::integer(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().toLongLong();
    return value.toInteger();
}

QString JsonField::size(const QJsonValue &value)
{
    // Search results carry the size as the answering peer wrote it.
    bool isCount = true;
    if (value.isString())
        value.toString().toLongLong(&isCount);
    return isCount ? formatSize(integer(value)) : value.toString();
}

QString JsonField::text(const QJsonObject &object, QLatin1String name)
{
    return text(object.value(name));
}

qint64 JsonField::integer(const QJsonObject &object, QLatin1String name)
{
    return integer(object.value(name));
}

QString JsonField::size(const QJsonObject &object, QLatin1String name)
{
    return size(object.value(name));
}

QJsonArray JsonField::array(const QJsonObject &object, QLatin1String name)
{
    return object.value(name).toArray();
}
