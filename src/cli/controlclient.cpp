#include "cli/controlclient.h"

#include "common/controlprotocol.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimer>

#include <utility>

namespace Key = ControlProtocol::Key;

ControlClient::ControlClient(QString socketPath, QObject *parent)
    : QObject(parent)
    , m_socketPath(std::move(socketPath))
{
    connect(&m_socket, &QLocalSocket::connected, this, &ControlClient::onConnected);
    connect(&m_socket, &QLocalSocket::readyRead, this, &ControlClient::onReadyRead);
    connect(&m_socket, &QLocalSocket::disconnected, this, &ControlClient::onDisconnected);
    connect(&m_socket, &QLocalSocket::errorOccurred, this, &ControlClient::onError);
}

void ControlClient::send(const QJsonObject &request)
{
    m_requestLine = QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
    m_sentAt.start();
    m_socket.connectToServer(m_socketPath);
}

void ControlClient::onConnected()
{
    m_connected = true;
    m_socket.write(m_requestLine);
}

void ControlClient::onReadyRead()
{
    if (m_ended || m_retrying)
        return;
    // Only the new bytes are searched for line ends, and the unfinished line
    // is bounded, so a daemon that never sends a newline cannot grow it.
    qsizetype from = m_pending.size();
    m_pending += m_socket.readAll();
    qsizetype lineStart = 0;
    for (qsizetype end = m_pending.indexOf('\n', from); end >= 0; end = m_pending.indexOf('\n', from)) {
        if (!takeLine(m_pending.mid(lineStart, end - lineStart)))
            return;
        lineStart = end + 1;
        from = lineStart;
    }
    m_pending.remove(0, lineStart);
    if (m_pending.size() > MaxLineBytes)
        fail(Failure::BadReply, QStringLiteral("a reply line is longer than 1 MiB"));
}

bool ControlClient::takeLine(const QByteArray &line)
{
    if (line.size() > MaxLineBytes) {
        fail(Failure::BadReply, QStringLiteral("a reply line is longer than 1 MiB"));
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    const QJsonObject object = document.object();
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        fail(Failure::BadReply, QStringLiteral("a reply line is not a JSON object: ") + QString::fromUtf8(line.left(80)));
        return false;
    }
    if (object.contains(Key::Event)) {
        emit eventReceived(object, line);
        return !m_ended;
    }
    if (!object.value(Key::Ok).isBool()) {
        fail(Failure::BadReply, QStringLiteral("a reply line is neither an event nor a final answer: ")
                                    + QString::fromUtf8(line.left(80)));
        return false;
    }
    if (object.value(Key::Busy).toBool() && m_sentAt.elapsed() < BusyRetryForMs) {
        retryLater();
        return false;
    }
    end();
    emit replied(object, line);
    return false;
}

void ControlClient::retryLater()
{
    m_retrying = true;
    m_connected = false;
    m_pending.clear();
    m_socket.abort();
    QTimer::singleShot(BusyRetryIntervalMs, this, [this] {
        m_retrying = false;
        m_socket.connectToServer(m_socketPath);
    });
}

void ControlClient::onDisconnected()
{
    if (m_retrying)
        return;
    // Lines that arrived together with the close are still in the buffer.
    onReadyRead();
    if (!m_ended)
        fail(Failure::ConnectionLost, QStringLiteral("quelmd closed the connection before its final reply"));
}

void ControlClient::onError(QLocalSocket::LocalSocketError error)
{
    // A close by quelmd is judged by onDisconnected, after the last lines are read.
    if (m_ended || m_retrying || error == QLocalSocket::PeerClosedError)
        return;
    const bool nobodyListens = error == QLocalSocket::ServerNotFoundError
                               || error == QLocalSocket::ConnectionRefusedError;
    if (!m_connected && nobodyListens)
        fail(Failure::NotRunning, m_socket.errorString());
    else
        fail(Failure::ConnectionLost, m_socket.errorString());
}

void ControlClient::fail(Failure failure, const QString &reason)
{
    end();
    emit failed(failure, reason);
}

void ControlClient::end()
{
    m_ended = true;
    m_pending.clear();
    m_socket.abort();
}
