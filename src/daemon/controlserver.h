#pragma once

#include "daemon/controlsession.h"

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;

// The local control socket of the headless copy. Only the user who runs the
// copy may use it: the socket file is the owner's alone, and every client's
// credentials are checked as it connects. Each request is handed on through
// requestReceived() together with the session that answers it.
class ControlServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlServer)

public:
    // Clients served at once. When the table is full, the client that has
    // waited longest without a request makes way if it has been idle for
    // ControlSession::IdleDropMs; otherwise the newcomer is told that quelmd
    // is busy, and quelm-cli tries again. Idle connections therefore never
    // lock the owner's own commands out.
    static constexpr int MaxSessions = 128;

    explicit ControlServer(QObject *parent = nullptr);
    ~ControlServer() override;

    // Replaces a socket file left by a copy that ended without removing it;
    // the caller must hold the program folder's lock, so no live copy owns it.
    bool listen(const QString &path, QString *error);
    void close();
    int sessionCount() const { return m_sessions; }

    // Whether the process at the other end of `socket` runs as this user.
    static bool isSameUser(const QLocalSocket &socket);

signals:
    void requestReceived(ControlSession *session, const QJsonObject &request);

private:
    void onNewConnection();
    // Drops the longest-idle client past ControlSession::IdleDropMs; false when none is.
    bool makeRoom();
    static void refuse(QLocalSocket *socket, const QString &error);

    QLocalServer m_server;
    QString m_path;
    int m_sessions = 0;
};
