#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QString>

class QTcpServer;

// One event-driven TCP socket object: it listens, accepts a connection handed
// over from a listener, or connects out. States follow the numbering the rest
// of the program tests: 0 closed, 7 connected, 9 error; others are transitional.
// An element outlives its connections: closing it releases the Qt socket and
// the element is ready for the next one.
class SocketElement final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketElement)

public:
    enum State {
        Closed = 0,
        Listening = 2,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Error = 9,
    };

    explicit SocketElement(int index, QObject *parent = nullptr);
    ~SocketElement() override;

    int index() const { return m_index; }
    int state() const { return m_state; }

    // Ends any connection or listen; harmless when already closed. A closed
    // element forgets its remote address, so the peer can be reached again at once.
    void close();
    // Listens on localIP():localPort(). Returns false (state stays 0) when the
    // address or port cannot be bound.
    bool listen();
    // Takes over a connection announced by connectionRequest(); state 7.
    void accept(QTcpSocket *request);
    // Opens a connection from localIP() to host:port; raises connected() or errorOccurred().
    void connectTo(const QString &host, int port);
    // Queues bytes on a connected element; ignored otherwise.
    void sendData(const QByteArray &data);
    // Moves all received, unread bytes out.
    QByteArray getData();
    qint64 bytesToWrite() const;
    qint64 bytesAvailable() const;
    // The last failure as a system error number (ECONNREFUSED and the like),
    // 0 when there was none.
    int errorNumber() const;
    // A listening element stops taking connections (they wait in the
    // system's queue) and takes them again.
    void pauseAccepting();
    void resumeAccepting();
    bool isAcceptPaused() const { return m_acceptPaused; }

    QString localIP() const { return m_localIP; }
    void setLocalIP(const QString &address) { m_localIP = address; }
    int localPort() const { return m_localPort; }
    // The port the connection actually left from (0 while there is none).
    int boundPort() const;
    void setLocalPort(int port) { m_localPort = port; }
    QString remoteHost() const { return m_remoteHost; }
    QString remoteHostIP() const { return m_remoteHostIP; }
    int remotePort() const { return m_remotePort; }
    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

signals:
    void closed(int index);          // the peer closed the connection
    void connected(int index);       // an outgoing connection is established
    void connectionRequest(int index, QTcpSocket *request);
    void dataArrival(int index, qint64 bytes);
    void errorOccurred(int index, const QString &description);
    void stateChanged(int index, int state);
    // Queued bytes went out; a sender of large data refills from here.
    void bytesWritten(int index, qint64 bytes);
    // Accepting failed, mostly for want of descriptors; the listener keeps
    // its port and has paused until resumeAccepting().
    void acceptFailed(int index);

private:
    void setState(int state);
    void adoptSocket(QTcpSocket *socket);
    void releaseSocket();
    void releaseServer();
    void onNewConnection();
    void onSocketError();
    void onDisconnected();

    const int m_index;
    int m_state = Closed;
    QString m_localIP;
    int m_localPort = 0;
    QString m_remoteHost;
    QString m_remoteHostIP;
    int m_remotePort = 0;
    QString m_tag;
    QTcpServer *m_server = nullptr;
    QTcpSocket *m_socket = nullptr;
    int m_errorNumber = 0;
    bool m_acceptPaused = false;
};
