#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class ControlConnections;
class Discovery;

// The status line as state: the peer count, the traffic light and whether
// searching is possible, refreshed every RefreshIntervalMs and on demand. It
// also asks discovery to scan the subnet only while there are fewer than
// GreenPeers peers.
class StatusDisplay final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusDisplay)

public:
    enum class Light { Red, Yellow, Green };

    static constexpr int GreenPeers = 5;
    static constexpr int RefreshIntervalMs = 5000;

    StatusDisplay(ControlConnections &connections, Discovery &discovery, std::function<qint64()> sharedFileCount,
                  QObject *parent = nullptr);

    // Recounts the peers and sets texts, light, search and the scan from it.
    void update();
    // Updates now and every RefreshIntervalMs from now on.
    void start();
    void stop();
    bool isRefreshing() const { return m_refreshTimer.isActive(); }

    int peerCount() const { return m_peerCount; }
    QString peerCountText() const { return m_peerCountText; }
    QString statusText() const { return m_statusText; }
    Light light() const { return m_light; }
    bool isSearchEnabled() const { return m_searchEnabled; }

signals:
    void changed();

private:
    ControlConnections &m_connections;
    Discovery &m_discovery;
    std::function<qint64()> m_sharedFileCount;
    QTimer m_refreshTimer;

    int m_peerCount = 0;
    QString m_peerCountText = QStringLiteral("Connected to 0 Peers.");
    QString m_statusText = QStringLiteral("You are not connected to any peers!");
    Light m_light = Light::Red;
    bool m_searchEnabled = false;
};
