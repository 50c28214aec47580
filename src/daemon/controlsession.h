#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

class QLocalSocket;

// One client of the control socket: it reads the one request line, hands it
// on, and writes the reply lines. The session ends when the final reply is
// written or the client goes; whatever serves the request is its child and
// ends with it.
class ControlSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlSession)

public:
    static constexpr qsizetype MaxRequestBytes = 64 * 1024;
    // A client that sends no complete request in this time is dropped.
    static constexpr int RequestTimeoutMs = 10000;
    // Replies a client does not read are not kept beyond this.
    static constexpr qint64 MaxBacklogBytes = 4 * 1024 * 1024;
    // After the last reply the client has this long to close its end.
    static constexpr int LingerMs = 5000;
    // While the table of clients is full, a client that has sent no request
    // for this long makes way for a newcomer: a real client sends its
    // request as soon as it connects.
    static constexpr int IdleDropMs = 2000;

    // Takes ownership of `socket`.
    explicit ControlSession(QLocalSocket *socket, QObject *parent = nullptr);

    // A streamed reply line.
    void sendLine(const QJsonObject &line);
    // The last reply line; the connection closes once it is written.
    void finish(const QJsonObject &line);
    void fail(const QString &error);
    // A failure that is the request's fault: the client treats it as a usage error.
    void failUsage(const QString &error);
    bool isFinished() const { return m_finished; }
    // Connected this long ago and no request yet; -1 once one came or the session ended.
    qint64 idleMs() const;
    // Closes the connection at once, without a reply.
    void drop();

signals:
    void requestReceived(const QJsonObject &request);
    void ended();

private:
    void onReadyRead();
    void onRequestLine(const QByteArray &line);
    void write(const QJsonObject &line);
    void closeWhenWritten();
    void end();

    QLocalSocket *m_socket;
    QByteArray m_buffer;
    QTimer m_requestTimeout;
    QTimer m_linger;
    QElapsedTimer m_connectedAt;
    bool m_requestTaken = false;
    bool m_finished = false;
    bool m_ended = false;
};
