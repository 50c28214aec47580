#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class ListenPortChooser;
class ListenPortKeeper;
class LocalPeer;
class Network;
class Prompter;
class SettingsStore;

// Watches the local address: when the computer's address changes, the copy
// moves to it. Its port is chosen again for the new address, the listener and
// the announcements follow, and every link is closed so that peers are found
// again from the new address.
class AddressWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddressWatch)

public:
    static constexpr int IntervalMs = 15000;

    struct Parts {
        SettingsStore &settings;
        Prompter &prompter;
        Network &network;
        ListenPortChooser &portChooser;
        ListenPortKeeper &portKeeper;
    };

    AddressWatch(Parts parts, bool testOnly, std::function<QString()> addressSource, QObject *parent = nullptr);

    void start();
    void stop();
    bool isWatching() const { return m_timer.isActive(); }
    // One look at the address; a change starts the move.
    void check();

private:
    void moveToNewAddress(int port);

    Parts m_parts;
    LocalPeer &m_localPeer;
    const bool m_testOnly;
    std::function<QString()> m_addressSource;
    QTimer m_timer;
};
