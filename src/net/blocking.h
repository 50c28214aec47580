#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class BlockedList;
class ControlConnections;
class Prompter;
class SettingsStore;

// Blocking and unblocking peers by their unique identifier: the blocked list
// kept in the settings, the peer told at once, and the block button's toggle.
class Blocking final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Blocking)

public:
    static QString confirmBlockText();

    Blocking(BlockedList &list, ControlConnections &connections, SettingsStore &settings, Prompter &prompter,
             QObject *parent = nullptr);

    void loadBlockedList();
    // Fills each row's nickname from the first record naming that peer, then
    // stores the list.
    void saveBlockedList();
    void blockPeer(int index);
    void unblockPeer(int index);
    // The block button for the user-list row keyed by `selectedAddress`
    // (empty when no row is selected): asks before blocking, unblocks at once.
    void toggleBlock(const QString &selectedAddress);
    // Blocking by identifier, without a question; a linked peer with that
    // identifier is told at once. False when unblocking an identifier that
    // was not blocked.
    void blockById(const QByteArray &id);
    bool unblockById(const QByteArray &id);

signals:
    void userListChanged();

private:
    QByteArray peerIdOf(int index) const;
    // The control link of the peer with this identifier, or -1.
    int linkOf(const QByteArray &id) const;
    void blockIdentifier(const QByteArray &id);

    BlockedList &m_list;
    ControlConnections &m_connections;
    SettingsStore &m_settings;
    Prompter &m_prompter;
};
