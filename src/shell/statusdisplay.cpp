#include "shell/statusdisplay.h"

#include "net/controlconnections.h"
#include "shell/coretimers.h"

namespace {

// Switching on a running timer must not restart its interval.
void switchOn(QTimer &timer)
{
    if (!timer.isActive())
        timer.start();
}

} // namespace

StatusDisplay::StatusDisplay(ControlConnections &connections, CoreTimers &timers, Context context, QObject *parent)
    : QObject(parent)
    , m_connections(connections)
    , m_timers(timers)
    , m_context(std::move(context))
{
}

void StatusDisplay::update()
{
    m_peerCount = static_cast<int>(m_connections.controlLinks().size());
    m_peerCountText = QStringLiteral("You are sharing %1 file(s). Connected to %2 peer(s).")
                          .arg(m_context.sharedFileCount())
                          .arg(m_peerCount);

    if (m_peerCount == 0) {
        switchOn(m_timers.scan);
        switchOn(m_timers.blink);
        m_searchEnabled = false;
        m_light = Light::Red;
        m_statusText = QStringLiteral("You are not connected to any peers!");
    } else if (m_peerCount < GreenPeers) {
        m_searchEnabled = true;
        switchOn(m_timers.scan);
        switchOn(m_timers.blink);
        m_light = Light::Yellow;
        m_statusText = QStringLiteral("You are connected to only %1 peer(s).").arg(m_peerCount);
    } else {
        m_searchEnabled = true;
        // Only a running scan is stopped here; a notice already hidden by
        // an earlier green update keeps its state.
        if (m_timers.scan.isActive()) {
            m_timers.scan.stop();
            m_timers.blink.stop();
            m_context.hideBlinkLabel();
            m_context.resetScanPosition();
        }
        m_light = Light::Green;
        m_statusText = QStringLiteral("You are connected to %1 peer(s).").arg(m_peerCount);
    }
    emit changed();
}
