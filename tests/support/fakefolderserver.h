#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <vector>

// A hand-driven serving peer for many transfer connections at once, on a
// loopback address of its own: it answers file information and file
// requests for the files it is given, can hold every answer back, and can
// leave (every connection and the listening socket closed) and come back.
class FakeFolderServer final : public QObject
{
public:
    // Listens on a fresh loopback address at `port`; `files` by shared name.
    FakeFolderServer(int port, QMap<QByteArray, QByteArray> files);

    QString address() const { return m_address; }
    // While off, connections are accepted and their requests read, but nothing is answered.
    // Switching it on answers what was held back.
    void setAnswering(bool answering);
    // After this many whole files, the next one gets half its data, then the server leaves.
    void leaveAfter(int files) { m_leaveAfter = files; }
    void leave();
    bool comeBack();
    int openConnections() const;
    int acceptedConnections() const { return m_accepted; }

private:
    struct Connection {
        QTcpSocket *socket;
        QByteArray buffer;
    };
    void onConnection();
    void onData(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &message);

    QString m_address;
    quint16 m_port;
    QMap<QByteArray, QByteArray> m_files;
    QTcpServer m_server;
    std::vector<QTcpSocket *> m_sockets;
    QMap<QTcpSocket *, QByteArray> m_buffers;
    bool m_answering = true;
    int m_leaveAfter = -1;
    int m_served = 0;
    int m_accepted = 0;
};
