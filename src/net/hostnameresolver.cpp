#include "net/hostnameresolver.h"

#include <QHostAddress>
#include <QHostInfo>

HostNameResolver::HostNameResolver(std::function<void(const QString &)> connectTo, QObject *parent)
    : QObject(parent)
    , m_connectTo(std::move(connectTo))
{
}

bool HostNameResolver::isHostName(const QString &text)
{
    if (text.isEmpty() || text.size() > MaxNameLength || text.startsWith(QLatin1Char('.'))
        || text.startsWith(QLatin1Char('-')))
        return false;
    bool hasLetter = false;
    for (const QChar c : text) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('.'))
            return false;
        hasLetter = hasLetter || c.isLetter();
    }
    // All digits and dots is an address, complete or not, never a name.
    return hasLetter;
}

void HostNameResolver::connectTo(const QString &hostOrAddress)
{
    if (!isHostName(hostOrAddress)) {
        m_connectTo(hostOrAddress);
        return;
    }
    QHostInfo::lookupHost(hostOrAddress, this, [this, hostOrAddress](const QHostInfo &info) {
        QString address;
        for (const QHostAddress &candidate : info.addresses()) {
            if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                address = candidate.toString();
                break;
            }
        }
        if (!address.isEmpty())
            m_connectTo(address);
        emit resolved(hostOrAddress, address);
    });
}
