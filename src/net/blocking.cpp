#include "net/blocking.h"

#include "base/prompter.h"
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "net/blockedlist.h"
#include "net/controlconnections.h"
#include "net/wirekeywords.h"

QString Blocking::confirmBlockText()
{
    return QStringLiteral("Are you sure you want to block this user? This prevents ALL communications.");
}

Blocking::Blocking(BlockedList &list, ControlConnections &connections, SettingsStore &settings, Prompter &prompter,
                   QObject *parent)
    : QObject(parent)
    , m_list(list)
    , m_connections(connections)
    , m_settings(settings)
    , m_prompter(prompter)
{
}

void Blocking::loadBlockedList()
{
    m_list.load(m_settings.get(QLatin1String(SettingNames::BlockedList)));
}

void Blocking::saveBlockedList()
{
    const QList<BlockedList::Row> rows = m_list.rows();
    for (int row = 0; row < rows.size(); ++row) {
        if (rows[row].id.isEmpty())
            continue;
        // Records keep their values after a connection closes, so a peer that
        // just left still lends its last nickname.
        for (int i = 0; i < m_connections.count(); ++i) {
            const ConnectionRecord &record = m_connections.record(i);
            if (record.peerId == rows[row].id) {
                m_list.setNickname(row, record.nickname);
                break;
            }
        }
    }
    m_settings.set(QLatin1String(SettingNames::BlockedList), m_list.storedForm());
}

void Blocking::blockPeer(int index)
{
    const QByteArray id = peerIdOf(index);
    if (id.isEmpty())
        return;
    m_list.add(id);
    m_connections.send(index, QByteArray(WireKeywords::Blocked) + WireKeywords::FlagOn);
    saveBlockedList();
    emit userListChanged();
}

void Blocking::unblockPeer(int index)
{
    const QByteArray id = peerIdOf(index);
    if (id.isEmpty())
        return;
    m_list.removeFirst(id);
    m_connections.send(index, QByteArray(WireKeywords::Blocked) + WireKeywords::FlagOff);
    saveBlockedList();
    emit userListChanged();
}

void Blocking::toggleBlock(const QString &selectedAddress)
{
    if (selectedAddress.isEmpty())
        return;
    const int index = m_connections.findConnection(selectedAddress);
    const QByteArray id = peerIdOf(index);
    if (id.isEmpty())
        return;
    if (m_list.isBlocked(id)) {
        unblockPeer(index);
        return;
    }
    if (m_prompter.messageBox(confirmBlockText(), Prompter::Buttons::YesNo, Prompter::Icon::Exclamation)
        != Prompter::Answer::Yes)
        return;
    // The question lets events run: the peer may have left, or its slot may
    // now carry someone else. The person chose to block this identifier.
    const int now = m_connections.findConnection(selectedAddress);
    if (peerIdOf(now) == id)
        blockPeer(now);
    else
        blockIdentifier(id);
}

QByteArray Blocking::peerIdOf(int index) const
{
    if (index < 0 || index >= m_connections.count())
        return {};
    return m_connections.record(index).peerId;
}

void Blocking::blockIdentifier(const QByteArray &id)
{
    if (!m_list.isBlocked(id))
        m_list.add(id);
    saveBlockedList();
    emit userListChanged();
}

void Blocking::blockById(const QByteArray &id)
{
    const int index = linkOf(id);
    if (index >= 0 && !m_list.isBlocked(id))
        blockPeer(index);
    else
        blockIdentifier(id);
}

bool Blocking::unblockById(const QByteArray &id)
{
    if (!m_list.isBlocked(id))
        return false;
    const int index = linkOf(id);
    if (index >= 0) {
        unblockPeer(index);
        return true;
    }
    m_list.removeFirst(id);
    saveBlockedList();
    emit userListChanged();
    return true;
}

int Blocking::linkOf(const QByteArray &id) const
{
    for (int index : m_connections.controlLinks()) {
        if (m_connections.record(index).peerId == id)
            return index;
    }
    return -1;
}
