#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A hand-driven serving peer on a loopback address of its own: it accepts
// transfer connections and sends exactly what a test tells it to.
class FakeFileServer final
{
public:
    // Listens on a fresh loopback address at `port`.
    explicit FakeFileServer(int port);

    QString address() const { return m_address; }
    bool isListening() const { return m_server.isListening(); }
    // Waits up to five seconds for a connection; false when none came.
    bool waitForConnection();
    // What the requester sent so far.
    QByteArray received();
    void send(const QByteArray &bytes);
    // Sends and then closes the connection in the same turn.
    void sendAndClose(const QByteArray &bytes);
    bool isConnected() const;

private:
    QString m_address;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_received;
};
