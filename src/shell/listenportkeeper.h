#pragma once

#include <QObject>
#include <QTimer>

class LocalPeer;
class Prompter;
class SocketElement;

// Keeps the listening port claimed for the whole run: a failed listen is
// retried every 500 ms, silently at first and with a port-conflict balloon
// from the tenth consecutive failure on.
class ListenPortKeeper final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListenPortKeeper)

public:
    static constexpr int ClaimIntervalMs = 500;
    static constexpr int SilentRetries = 9;

    // A listener that closes or fails is claimed again at once.
    ListenPortKeeper(SocketElement &listenSocket, Prompter &prompter, const LocalPeer &localPeer,
                     QObject *parent = nullptr);

    // (Re)starts listening on the current port.
    void startListening();
    void stop();
    int retryCount() const { return m_retryCount; }
    bool isRetryPending() const { return m_claimTimer.isActive(); }

private:
    SocketElement &m_listenSocket;
    Prompter &m_prompter;
    const LocalPeer &m_localPeer;
    QTimer m_claimTimer;
    int m_retryCount = 0;
};
