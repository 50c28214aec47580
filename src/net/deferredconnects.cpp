#include "net/deferredconnects.h"

void DeferredConnects::defer(const QString &address, qint64 nowMs)
{
    if (m_entries.contains(address) || m_entries.size() >= MaxAddresses)
        return;
    m_entries.insert(address, Entry{0, nowMs + RetryDelayMs});
}

QStringList DeferredConnects::due(qint64 nowMs)
{
    QStringList addresses;
    for (auto it = m_entries.begin(); it != m_entries.end() && addresses.size() < MaxDuePerCall;) {
        if (it->dueMs > nowMs) {
            ++it;
            continue;
        }
        if (it->tries >= MaxTries) {
            it = m_entries.erase(it);
            continue;
        }
        addresses.append(it.key());
        ++it->tries;
        it->dueMs = nowMs + (it->tries >= MaxTries ? RestMs : RetryDelayMs);
        ++it;
    }
    return addresses;
}
