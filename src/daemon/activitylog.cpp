#include "daemon/activitylog.h"

#include "daemon/daemonprompter.h"
#include "net/dispatcher.h"
#include "shell/core.h"

ActivityLog::ActivityLog(Core &core, QTextStream &out, QObject *parent)
    : QObject(parent)
    , m_core(core)
    , m_out(out)
{
    Network &network = core.network();
    connect(&network.userList(), &UserListModel::rebuilt, this, &ActivityLog::onUserListRebuilt);
    connect(&network.dispatcher(), &Dispatcher::chatReceived, this,
            [this](const QByteArray &nickname, const QByteArray &text) {
                write(QLatin1String("chat: ") + QString::fromUtf8(nickname) + QLatin1String(": ")
                      + QString::fromUtf8(text));
            });
    connect(&network.dispatcher(), &Dispatcher::imReceived, this,
            [this](const QString &address, const QByteArray &text) {
                write(QLatin1String("message from ") + nicknameAt(address) + QLatin1String(" (") + address
                      + QLatin1String("): ") + QString::fromUtf8(text));
            });
}

void ActivityLog::onUserListRebuilt()
{
    const UserListModel &list = m_core.network().userList();
    QHash<QString, QString> now;
    for (int row = 0; row < list.rowCount(); ++row) {
        const QString nickname = list.data(list.index(row, UserListModel::UsernameColumn)).toString();
        now.insert(list.address(row), nickname);
    }
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (!m_peers.contains(it.key()))
            write(QLatin1String("joined: ") + it.value() + QLatin1String(" (") + it.key() + QLatin1Char(')'));
    }
    for (auto it = m_peers.cbegin(); it != m_peers.cend(); ++it) {
        if (!now.contains(it.key()))
            write(QLatin1String("left: ") + it.value() + QLatin1String(" (") + it.key() + QLatin1Char(')'));
    }
    m_peers = std::move(now);
}

QString ActivityLog::nicknameAt(const QString &address) const
{
    return m_peers.value(address, QStringLiteral("unknown"));
}

void ActivityLog::write(const QString &line)
{
    m_out << DaemonPrompter::oneLine(line) << Qt::endl;
}
