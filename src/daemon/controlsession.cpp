#include "daemon/controlsession.h"

#include "base/logcategories.h"
#include "common/controlprotocol.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocalSocket>

#include <sys/socket.h>

namespace Key = ControlProtocol::Key;

ControlSession::ControlSession(QLocalSocket *socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
{
    m_socket->setParent(this);
    m_requestTimeout.setSingleShot(true);
    m_requestTimeout.setInterval(RequestTimeoutMs);
    connect(&m_requestTimeout, &QTimer::timeout, this, [this] { fail(QStringLiteral("no complete request in time")); });
    connect(m_socket, &QLocalSocket::readyRead, this, &ControlSession::onReadyRead);
    connect(m_socket, &QLocalSocket::disconnected, this, &ControlSession::end);
    connect(m_socket, &QLocalSocket::bytesWritten, this, &ControlSession::closeWhenWritten);
    m_linger.setSingleShot(true);
    connect(&m_linger, &QTimer::timeout, m_socket, &QLocalSocket::abort);
    m_requestTimeout.start();
    m_connectedAt.start();
    // Data may have come before the session took the socket.
    QMetaObject::invokeMethod(this, &ControlSession::onReadyRead, Qt::QueuedConnection);
}

void ControlSession::onReadyRead()
{
    if (m_requestTaken || m_finished || m_ended) {
        // One request per connection: anything after it is discarded.
        m_socket->readAll();
        return;
    }
    m_buffer += m_socket->read(MaxRequestBytes + 1 - m_buffer.size());
    const qsizetype end = m_buffer.indexOf('\n');
    if (end < 0) {
        if (m_buffer.size() > MaxRequestBytes)
            failUsage(QStringLiteral("request longer than 64 KiB"));
        return;
    }
    m_requestTaken = true;
    m_requestTimeout.stop();
    const QByteArray line = m_buffer.left(end);
    m_buffer.clear();
    m_socket->readAll();
    onRequestLine(line);
}

qint64 ControlSession::idleMs() const
{
    return m_requestTaken || m_finished || m_ended ? -1 : m_connectedAt.elapsed();
}

void ControlSession::drop()
{
    m_socket->abort();
    end();
}

void ControlSession::onRequestLine(const QByteArray &line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        failUsage(QStringLiteral("malformed request: one JSON object on one line expected"));
        return;
    }
    qCDebug(lcDaemon) << "request:" << document.object().value(ControlProtocol::Key::Command).toString();
    emit requestReceived(document.object());
}

void ControlSession::sendLine(const QJsonObject &line)
{
    if (m_finished || m_ended)
        return;
    if (m_socket->bytesToWrite() > MaxBacklogBytes) {
        // The client stopped reading: nothing more is kept for it.
        m_socket->abort();
        return;
    }
    write(line);
}

void ControlSession::finish(const QJsonObject &line)
{
    if (m_finished || m_ended)
        return;
    write(line);
    m_finished = true;
    m_requestTimeout.stop();
    m_linger.start(LingerMs);
    m_socket->flush();
    closeWhenWritten();
}

void ControlSession::closeWhenWritten()
{
    if (!m_finished || m_ended || m_socket->bytesToWrite() > 0)
        return;
    // Only the sending half is shut: closing outright while the client still
    // sends (an oversized request) would reset the link and lose the reply.
    // The client reads the reply, sees the end and closes; what it sends
    // meanwhile is discarded.
    ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR);
}

void ControlSession::fail(const QString &error)
{
    finish({{Key::Ok, false}, {Key::Error, error}});
}

void ControlSession::failUsage(const QString &error)
{
    finish({{Key::Ok, false}, {Key::Error, error}, {Key::Usage, true}});
}

void ControlSession::write(const QJsonObject &line)
{
    m_socket->write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}

void ControlSession::end()
{
    if (m_ended)
        return;
    m_ended = true;
    m_requestTimeout.stop();
    emit ended();
    deleteLater();
}
