#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

// Paces outgoing connection attempts. Addresses come from host lists and
// announcements that any host on the network can send, so a list repeated
// over and over must cost no more than the list once: attempts are spent
// from a small allowance that refills at a fixed rate, and an address is
// tried at most once per interval.
class ConnectThrottle final
{
public:
    static constexpr int AttemptsPerSecond = 20;
    // Attempts that may go out at once after a quiet spell.
    static constexpr int Burst = 64;
    static constexpr int RetryIntervalMs = 15000;

    // True when an attempt to `address` may go out now; the attempt is then
    // counted. `nowMs` is a monotonic clock.
    bool allow(const QString &address, qint64 nowMs);
    void setRetryInterval(int ms) { m_retryIntervalMs = ms; }

private:
    void refill(qint64 nowMs);
    void forgetOld(qint64 nowMs);

    double m_allowance = Burst;
    qint64 m_refilledAtMs = -1;
    qint64 m_prunedAtMs = 0;
    int m_retryIntervalMs = RetryIntervalMs;
    QHash<QString, qint64> m_lastAttemptMs;
};
