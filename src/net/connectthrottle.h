#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

// Paces outgoing connection attempts. Addresses come from host lists and
// announcements that any host on the network can send, so a list repeated
// over and over must cost no more than the list once: attempts are spent
// from a small allowance that refills at a fixed rate, and an address is
// tried at most once per interval. An address whose attempts fail waits
// longer after each failure, up to a ceiling, until one succeeds: a host
// that announces itself but refuses links is not tried at every announcement.
class ConnectThrottle final
{
public:
    static constexpr int AttemptsPerSecond = 20;
    // Attempts that may go out at once after a quiet spell.
    static constexpr int Burst = 64;
    static constexpr int RetryIntervalMs = 15000;
    // The wait after the first failure doubles with each further one up to this.
    static constexpr int MaxBackOffMs = 120000;
    // Addresses whose failures are remembered; beyond this the oldest go first.
    static constexpr int MaxFailedAddresses = 4096;

    // True when an attempt to `address` may go out now; the attempt is then
    // counted. `nowMs` is a monotonic clock.
    bool allow(const QString &address, qint64 nowMs);
    void noteFailed(const QString &address, qint64 nowMs);
    void noteSucceeded(const QString &address) { m_failures.remove(address); }
    // When an attempt to `address` may go out again after its failures; 0 when it has none.
    qint64 backOffUntil(const QString &address) const;
    void setRetryInterval(int ms) { m_retryIntervalMs = ms; }

private:
    struct Failures {
        int count = 0;
        qint64 untilMs = 0;
    };

    void refill(qint64 nowMs);
    void forgetOld(qint64 nowMs);
    void forgetEarliestFailure();

    double m_allowance = Burst;
    qint64 m_refilledAtMs = -1;
    qint64 m_prunedAtMs = 0;
    int m_retryIntervalMs = RetryIntervalMs;
    QHash<QString, qint64> m_lastAttemptMs;
    QHash<QString, Failures> m_failures;
};
