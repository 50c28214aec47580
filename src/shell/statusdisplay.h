#pragma once

#include <QObject>
#include <QString>
#include <functional>

class ControlConnections;
struct CoreTimers;

// The status line as state: the peer count, the traffic light, whether
// searching is possible, and the switching of the subnet scan and the
// blinking scan notice. The scan thereby runs only while there are fewer
// than GreenPeers peers.
class StatusDisplay final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusDisplay)

public:
    enum class Light { Red, Yellow, Green };

    static constexpr int GreenPeers = 5;

    struct Context {
        std::function<qint64()> sharedFileCount;
        // Puts the subnet scan back to its first address.
        std::function<void()> resetScanPosition;
        std::function<void()> hideBlinkLabel;
    };

    StatusDisplay(ControlConnections &connections, CoreTimers &timers, Context context, QObject *parent = nullptr);

    // Recounts the peers and sets texts, light, search and timers from it.
    void update();

    int peerCount() const { return m_peerCount; }
    QString peerCountText() const { return m_peerCountText; }
    QString statusText() const { return m_statusText; }
    Light light() const { return m_light; }
    bool isSearchEnabled() const { return m_searchEnabled; }

signals:
    void changed();

private:
    ControlConnections &m_connections;
    CoreTimers &m_timers;
    Context m_context;

    int m_peerCount = 0;
    QString m_peerCountText = QStringLiteral("Connected to 0 Peers.");
    QString m_statusText = QStringLiteral("You are not connected to any peers!");
    Light m_light = Light::Red;
    bool m_searchEnabled = false;
};
