#include "net/connectthrottle.h"

#include <algorithm>

bool ConnectThrottle::allow(const QString &address, qint64 nowMs)
{
    refill(nowMs);
    forgetOld(nowMs);
    const auto last = m_lastAttemptMs.constFind(address);
    if (last != m_lastAttemptMs.cend() && nowMs - *last < m_retryIntervalMs)
        return false;
    if (nowMs < backOffUntil(address))
        return false;
    if (m_allowance < 1.0)
        return false;
    m_allowance -= 1.0;
    m_lastAttemptMs.insert(address, nowMs);
    return true;
}

void ConnectThrottle::noteFailed(const QString &address, qint64 nowMs)
{
    if (!m_failures.contains(address) && m_failures.size() >= MaxFailedAddresses)
        forgetEarliestFailure();
    Failures &entry = m_failures[address];
    // Counted no further than the ceiling needs, so the shift stays small.
    entry.count = std::min(entry.count + 1, 16);
    const qint64 wait = std::min<qint64>(qint64(m_retryIntervalMs) << (entry.count - 1), MaxBackOffMs);
    entry.untilMs = nowMs + std::max<qint64>(wait, m_retryIntervalMs);
}

qint64 ConnectThrottle::backOffUntil(const QString &address) const
{
    const auto entry = m_failures.constFind(address);
    return entry == m_failures.cend() ? 0 : entry->untilMs;
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
    // A failure is kept a whole ceiling past its wait, so the next failure still doubles it.
    for (auto it = m_failures.begin(); it != m_failures.end();) {
        if (nowMs - it->untilMs >= MaxBackOffMs)
            it = m_failures.erase(it);
        else
            ++it;
    }
}

void ConnectThrottle::forgetEarliestFailure()
{
    auto earliest = m_failures.begin();
    for (auto it = m_failures.begin(); it != m_failures.end(); ++it) {
        if (it->untilMs < earliest->untilMs)
            earliest = it;
    }
    if (earliest != m_failures.end())
        m_failures.erase(earliest);
}
