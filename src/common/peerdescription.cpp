#include "common/peerdescription.h"

QString PeerDescription::text(const QString &nickname, const QString &address, const QString &id)
{
    const QString idText = id.isEmpty() ? QString() : QLatin1String("ID ") + id;
    if (nickname.isEmpty())
        return address.isEmpty() ? idText : address;
    QString details = address;
    if (!idText.isEmpty())
        details += (details.isEmpty() ? QString() : QStringLiteral(", ")) + idText;
    return details.isEmpty() ? nickname : nickname + QLatin1String(" (") + details + QLatin1Char(')');
}
