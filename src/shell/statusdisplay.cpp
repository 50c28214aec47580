#include "shell/statusdisplay.h"

#include "net/controlconnections.h"
#include "net/discovery.h"

StatusDisplay::StatusDisplay(ControlConnections &connections, Discovery &discovery,
                             std::function<qint64()> sharedFileCount, QObject *parent)
    : QObject(parent)
    , m_connections(connections)
    , m_discovery(discovery)
    , m_sharedFileCount(std::move(sharedFileCount))
{
    m_refreshTimer.setInterval(RefreshIntervalMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &StatusDisplay::update);
}

void StatusDisplay::start()
{
    update();
    m_refreshTimer.start();
}

void StatusDisplay::stop()
{
    m_refreshTimer.stop();
}

void StatusDisplay::update()
{
    m_peerCount = static_cast<int>(m_connections.controlLinks().size());
    m_peerCountText = QStringLiteral("You are sharing %1 file(s). Connected to %2 peer(s).")
                          .arg(m_sharedFileCount())
                          .arg(m_peerCount);
    m_discovery.setScanning(m_peerCount < GreenPeers);
    m_searchEnabled = m_peerCount > 0;
    if (m_peerCount == 0) {
        m_light = Light::Red;
        m_statusText = QStringLiteral("You are not connected to any peers!");
    } else if (m_peerCount < GreenPeers) {
        m_light = Light::Yellow;
        m_statusText = QStringLiteral("You are connected to only %1 peer(s).").arg(m_peerCount);
    } else {
        m_light = Light::Green;
        m_statusText = QStringLiteral("You are connected to %1 peer(s).").arg(m_peerCount);
    }
    emit changed();
}
