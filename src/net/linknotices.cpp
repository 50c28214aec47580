#include "net/linknotices.h"

#include "base/logcategories.h"
#include "net/controlconnections.h"
#include "net/socketelement.h"
#include "net/wirekeywords.h"

#include <algorithm>

LinkNotices::LinkNotices(ControlConnections &connections, QObject *parent)
    : QObject(parent)
    , m_connections(connections)
{
    m_clock.start();
    m_gather.setSingleShot(true);
    m_gather.setInterval(GatherMs);
    connect(&m_gather, &QTimer::timeout, this, &LinkNotices::sendGathered);
}

void LinkNotices::noteNewLink(int index)
{
    // Only the side that accepted tells: the peer that connected knew of this
    // copy already, and the copy's other links learn of the peer from here.
    // Two groups joined by one link still merge, as each new link accepted at
    // either end spreads further; telling from both ends would double the cost.
    if (!m_connections.record(index).accepted)
        return;
    const QString address = m_connections.element(index)->remoteHostIP();
    const qint64 now = m_clock.elapsed();
    forgetOld(now);
    // The gathered list is bounded by the addresses that may be told in one window.
    if (address.isEmpty() || m_pending.contains(address) || toldLately(address, now)
        || m_pending.size() >= MaxAddressesPerMinute)
        return;
    m_pending.append(address);
    if (!m_gather.isActive())
        m_gather.start();
}

void LinkNotices::sendGathered()
{
    const qint64 now = m_clock.elapsed();
    const int count = std::min({roomInWindow(now), int(MaxAddressesPerNotice), int(m_pending.size())});
    QStringList told;
    for (const QString &address : m_pending.mid(0, count)) {
        // Gone again before it was told: nobody is to reach it through this copy.
        if (m_connections.findConnection(address) >= 0)
            told.append(address);
        m_toldAtMs.insert(address, now);
    }
    m_pending.remove(0, count);
    m_toldInWindow += count;
    if (!m_pending.isEmpty())
        m_gather.start(count == 0 ? int(m_windowStartMs + WindowMs - now) : m_gather.interval());
    if (told.isEmpty())
        return;
    for (int index : m_connections.controlLinks()) {
        const QString to = m_connections.element(index)->remoteHostIP();
        QByteArray list = WireKeywords::HostList;
        for (const QString &address : told) {
            if (address != to)
                list += address.toLatin1() + '|';
        }
        if (list.size() == WireKeywords::length(WireKeywords::HostList))
            continue;
        const qint64 bytes = m_connections.send(index, list);
        qCDebug(lcNet).noquote() << "traffic hostlist-notice" << bytes << "to" << to;
    }
}

bool LinkNotices::toldLately(const QString &address, qint64 nowMs) const
{
    const auto at = m_toldAtMs.constFind(address);
    return at != m_toldAtMs.cend() && nowMs - *at < RepeatIntervalMs;
}

void LinkNotices::forgetOld(qint64 nowMs)
{
    // Holds at most the addresses of one interval, which the per-minute bound limits.
    for (auto it = m_toldAtMs.begin(); it != m_toldAtMs.end();) {
        if (nowMs - it.value() >= RepeatIntervalMs)
            it = m_toldAtMs.erase(it);
        else
            ++it;
    }
}

int LinkNotices::roomInWindow(qint64 nowMs)
{
    if (nowMs - m_windowStartMs >= WindowMs) {
        m_windowStartMs = nowMs;
        m_toldInWindow = 0;
    }
    return MaxAddressesPerMinute - m_toldInWindow;
}
