#include "shell/listenportkeeper.h"

#include "base/prompter.h"
#include "net/localpeer.h"
#include "net/socketelement.h"

ListenPortKeeper::ListenPortKeeper(SocketElement &listenSocket, Prompter &prompter, const LocalPeer &localPeer,
                                   QObject *parent)
    : QObject(parent)
    , m_listenSocket(listenSocket)
    , m_prompter(prompter)
    , m_localPeer(localPeer)
{
    connect(&listenSocket, &SocketElement::closed, this, &ListenPortKeeper::startListening);
    connect(&listenSocket, &SocketElement::errorOccurred, this, &ListenPortKeeper::startListening);
    m_claimTimer.setInterval(ClaimIntervalMs);
    m_claimTimer.setSingleShot(true);
    connect(&m_claimTimer, &QTimer::timeout, this, &ListenPortKeeper::startListening);
}

void ListenPortKeeper::startListening()
{
    m_claimTimer.stop();
    m_listenSocket.close();
    m_listenSocket.setLocalPort(m_localPeer.port());
    if (m_listenSocket.listen()) {
        m_retryCount = 0;
        return;
    }
    if (m_retryCount >= SilentRetries) {
        m_prompter.showBalloon(QStringLiteral("Quelm: Port Conflict (%1)").arg(m_localPeer.port()),
                               QStringLiteral("Quelm's listening port is in use. Please close any programs "
                                              "that might be using it."),
                               Prompter::BalloonError);
    } else {
        ++m_retryCount;
    }
    m_claimTimer.start();
}

void ListenPortKeeper::stop()
{
    m_claimTimer.stop();
    m_listenSocket.close();
}
