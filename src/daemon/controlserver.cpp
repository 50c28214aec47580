#include "daemon/controlserver.h"

#include "common/controlprotocol.h"
#include "daemon/controlsession.h"

#include <QJsonDocument>
#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace Key = ControlProtocol::Key;

ControlServer::ControlServer(QObject *parent)
    : QObject(parent)
{
    // The socket file is the owner's alone; every client's credentials are
    // checked as well, so the file's mode is not the only guard.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.setMaxPendingConnections(MaxSessions);
    connect(&m_server, &QLocalServer::newConnection, this, &ControlServer::onNewConnection);
}

ControlServer::~ControlServer()
{
    close();
}

bool ControlServer::listen(const QString &path, QString *error)
{
    QLocalServer::removeServer(path);
    if (!m_server.listen(path)) {
        *error = m_server.errorString();
        return false;
    }
    m_path = path;
    return true;
}

void ControlServer::close()
{
    if (!m_server.isListening())
        return;
    m_server.close();
    QLocalServer::removeServer(m_path);
}

bool ControlServer::isSameUser(const QLocalSocket &socket)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == geteuid();
}

void ControlServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        if (!isSameUser(*socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (m_sessions >= MaxSessions && !makeRoom()) {
            refuse(socket, QStringLiteral("too many clients at once; try again"));
            continue;
        }
        auto *session = new ControlSession(socket, this);
        ++m_sessions;
        connect(session, &ControlSession::ended, this, [this] { --m_sessions; });
        connect(session, &ControlSession::requestReceived, this,
                [this, session](const QJsonObject &request) { emit requestReceived(session, request); });
    }
}

bool ControlServer::makeRoom()
{
    ControlSession *longest = nullptr;
    qint64 longestMs = ControlSession::IdleDropMs - 1;
    for (ControlSession *session : findChildren<ControlSession *>(Qt::FindDirectChildrenOnly)) {
        const qint64 idle = session->idleMs();
        if (idle > longestMs) {
            longest = session;
            longestMs = idle;
        }
    }
    if (!longest)
        return false;
    longest->drop();
    return true;
}

void ControlServer::refuse(QLocalSocket *socket, const QString &error)
{
    const QJsonObject reply{{Key::Ok, false}, {Key::Error, error}, {Key::Busy, true}};
    socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
    socket->disconnectFromServer();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->state() == QLocalSocket::UnconnectedState)
        socket->deleteLater();
}
