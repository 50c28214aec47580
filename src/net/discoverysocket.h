#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>
#include <optional>

// The one UDP socket of peer discovery. It binds the any-address, shared with
// other copies on the same port: Linux hands broadcasts only to sockets bound
// there, and every copy on a machine uses the same port.
class DiscoverySocket final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DiscoverySocket)

public:
    explicit DiscoverySocket(QObject *parent = nullptr);

    // Closes and binds again on `localPort`. False when the port cannot be bound.
    bool bind(int localPort);
    void close();
    bool isBound() const;
    int localPort() const;
    qintptr socketDescriptor() const { return m_socket.socketDescriptor(); }

    // Sends one datagram; false when the socket is not bound or the send failed.
    bool sendData(const QByteArray &datagram, const QString &remoteHost, int remotePort);
    bool hasPendingDatagram() const { return m_socket.hasPendingDatagrams(); }
    struct Datagram {
        QByteArray data;
        QHostAddress sender;
        // The interface it arrived on; 0 when the system did not say.
        uint interfaceIndex = 0;
    };
    // The next datagram; nothing when none is pending or it is longer than
    // `maxSize`, in which case it is discarded unread.
    std::optional<Datagram> takeDatagram(qint64 maxSize);

signals:
    void dataArrival();
    // The socket failed after it was bound; whoever owns it opens it anew.
    void failed();

private:
    void onError();

    QUdpSocket m_socket;
    bool m_binding = false;
};
