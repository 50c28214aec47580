#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class ControlConnections;
class LocalPeer;

// Routes every decoded control message by its keyword, behind two gates, and
// sends the peer network's own messages: the greeting after the handshake,
// the announcements and the host list.
class Dispatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Dispatcher)

public:
    struct Context {
        std::function<qint64()> sharedFileCount;
        std::function<bool(const QByteArray &)> isBlocked;
        // Where the addresses of a host list go.
        std::function<void(const QString &)> connectTo;
    };

    Dispatcher(ControlConnections &connections, LocalPeer &localPeer, Context context, QObject *parent = nullptr);

    void dispatch(int index, const QByteArray &message);
    // "nick:", "uniqueid:" and "fileshared:" to every control link.
    void announceToAll();
    void sendHostList(int index);
    // What a freshly named peer is sent: role, nickname, shared count, blocked flag.
    void greet(int index);
    // Results are accepted only when they echo the current query.
    void setCurrentQuery(const QByteArray &query) { m_currentQuery = query; }
    // A search that is not shown: results echoing this query are told apart
    // as quiet results. Empty when none runs.
    void setQuietQuery(const QByteArray &query) { m_quietQuery = query; }

signals:
    // A peer's "id/" made its connection a control link, and the host list went out.
    void linkEstablished(int index);
    void userListChanged();
    void imReceived(const QString &address, const QByteArray &text);
    void imTypingReceived(const QString &address, bool typing);
    void searchReceived(int index, const QByteArray &request);
    void resultReceived(int index, const QByteArray &result);
    void quietResultReceived(int index, const QByteArray &result);
    void chatReceived(const QByteArray &nickname, const QByteArray &text);

private:
    void dispatchGated(int index, const QByteArray &message);
    bool passesGateOne(int index) const;
    void handleRole(int index, const QByteArray &role);
    void handleHostList(const QByteArray &list);
    void handleResult(int index, const QByteArray &rest);

    ControlConnections &m_connections;
    LocalPeer &m_localPeer;
    Context m_context;
    QByteArray m_currentQuery;
    QByteArray m_quietQuery;
};
