#include "net/discoverysocket.h"

#include <QHostAddress>
#include <QNetworkDatagram>

DiscoverySocket::DiscoverySocket(QObject *parent)
    : QObject(parent)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &DiscoverySocket::dataArrival);
    connect(&m_socket, &QUdpSocket::errorOccurred, this, &DiscoverySocket::onError);
}

bool DiscoverySocket::bind(int localPort)
{
    close();
    if (localPort <= 0 || localPort > 65535)
        return false;
    // A failed bind reports an error too; it is the caller's to handle, not a
    // failure of an open socket.
    m_binding = true;
    const bool bound = m_socket.bind(QHostAddress(QHostAddress::AnyIPv4), static_cast<quint16>(localPort),
                                     QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
    m_binding = false;
    return bound;
}

void DiscoverySocket::close()
{
    m_socket.abort();
}

bool DiscoverySocket::isBound() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

int DiscoverySocket::localPort() const
{
    return m_socket.localPort();
}

bool DiscoverySocket::sendData(const QByteArray &datagram, const QString &remoteHost, int remotePort)
{
    const QHostAddress host(remoteHost);
    if (!isBound() || host.protocol() != QAbstractSocket::IPv4Protocol || remotePort <= 0 || remotePort > 65535)
        return false;
    return m_socket.writeDatagram(datagram, host, static_cast<quint16>(remotePort)) == datagram.size();
}

std::optional<DiscoverySocket::Datagram> DiscoverySocket::takeDatagram(qint64 maxSize)
{
    if (!m_socket.hasPendingDatagrams())
        return std::nullopt;
    const qint64 size = m_socket.pendingDatagramSize();
    if (size < 0 || size > maxSize) {
        m_socket.readDatagram(nullptr, 0);
        return std::nullopt;
    }
    const QNetworkDatagram datagram = m_socket.receiveDatagram(size);
    if (!datagram.isValid())
        return std::nullopt;
    return Datagram{datagram.data(), datagram.senderAddress(), datagram.interfaceIndex()};
}

void DiscoverySocket::onError()
{
    if (!m_binding)
        emit failed();
}
