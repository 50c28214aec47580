#include "net/connectionfailuretext.h"

#include <cerrno>

QString ConnectionFailureText::explain(int errorNumber, const QString &who, int port)
{
    const QString portText = QString::number(port);
    switch (errorNumber) {
    case ECONNREFUSED:
        return QStringLiteral("%1's Quelm did not accept the connection: it is not running or a firewall blocks "
                              "port %2. Try again once Quelm runs there.")
            .arg(who, portText);
    case ETIMEDOUT:
        return QStringLiteral("%1 did not answer: the computer may be off, or a firewall drops port %2. "
                              "Try again later.")
            .arg(who, portText);
    case EHOSTUNREACH:
    case ENETUNREACH:
        return QStringLiteral("%1 cannot be reached from this computer: check that both are on the same network.")
            .arg(who);
    case ECONNRESET:
        return QStringLiteral("The connection to %1 broke off. Try again.").arg(who);
    default:
        return QStringLiteral("The connection to %1 failed (error %2). Try again later.")
            .arg(who, QString::number(errorNumber));
    }
}
