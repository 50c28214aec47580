#include "net/connectthrottle.h"

bool ConnectThrottle::allow(const QString &address, qint64 nowMs)
{
    refill(nowMs);
    forgetOld(nowMs);
    const auto last = m_lastAttemptMs.constFind(address);
    if (last != m_lastAttemptMs.cend() && nowMs - *last < m_retryIntervalMs)
        return false;
    if (m_allowance < 1.0)
        return false;
    m_allowance -= 1.0;
    m_lastAttemptMs.insert(address, nowMs);
    return true;
}

void ConnectThrottle::refill(qint64 nowMs)
{
    if (m_refilledAtMs >= 0)
        m_allowance = qMin<double>(Burst, m_allowance + (nowMs - m_refilledAtMs) * AttemptsPerSecond / 1000.0);
    m_refilledAtMs = nowMs;
}

void ConnectThrottle::forgetOld(qint64 nowMs)
{
    // The table holds at most the attempts of one interval, which the rate bounds.
    if (nowMs - m_prunedAtMs < m_retryIntervalMs)
        return;
    m_prunedAtMs = nowMs;
    for (auto it = m_lastAttemptMs.begin(); it != m_lastAttemptMs.end();) {
        if (nowMs - it.value() >= m_retryIntervalMs)
            it = m_lastAttemptMs.erase(it);
        else
            ++it;
    }
}
