#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QLocalSocket>
#include <QObject>
#include <QString>

// One exchange with quelmd over its control socket: sends the request line,
// then reports each reply line as it arrives, until the final line (the one
// with "ok") or a failure. Exactly one of replied() and failed() is emitted.
class ControlClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlClient)

public:
    enum class Failure {
        // Nothing listens on the socket: no quelmd runs in that program folder.
        NotRunning,
        // The socket could not be used, or closed before the final line.
        ConnectionLost,
        // A line was not a JSON object of the protocol, or was too long.
        BadReply,
    };
    Q_ENUM(Failure)

    // A reply line longer than this ends the exchange; quelmd's longest
    // answers (a large diagnose or downloads list) stay far below it.
    static constexpr qsizetype MaxLineBytes = 1024 * 1024;
    // quelmd answers "busy" while every client slot is taken by clients that
    // have only just connected; the request is sent again for this long.
    static constexpr int BusyRetryForMs = 5000;
    static constexpr int BusyRetryIntervalMs = 250;

    explicit ControlClient(QString socketPath, QObject *parent = nullptr);

    // Connects and sends the request; call once.
    void send(const QJsonObject &request);

signals:
    // A streamed update; `line` is the line as received, without its newline.
    void eventReceived(const QJsonObject &event, const QByteArray &line);
    void replied(const QJsonObject &reply, const QByteArray &line);
    void failed(ControlClient::Failure failure, const QString &reason);

private:
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError(QLocalSocket::LocalSocketError error);
    // False once the exchange has ended, with the final line or a failure.
    bool takeLine(const QByteArray &line);
    void fail(Failure failure, const QString &reason);
    void end();
    void retryLater();

    QString m_socketPath;
    QLocalSocket m_socket;
    QByteArray m_requestLine;
    QByteArray m_pending;
    bool m_connected = false;
    bool m_ended = false;
    bool m_retrying = false;
    QElapsedTimer m_sentAt;
};
