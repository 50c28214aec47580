#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Addresses a copy was told of but could not link to yet: the attempt was
// held back by the connect pace, or it failed. A host list or announcement
// names an address only now and then, so without a later try a pair whose
// attempts fell in a busy moment stayed apart for good. Each address is
// tried again a few times after a delay, then forgotten until it is named
// again; the table is bounded, so made-up addresses cannot grow it.
class DeferredConnects final
{
public:
    static constexpr int MaxAddresses = 1024;
    static constexpr int MaxTries = 5;
    static constexpr int RetryDelayMs = 20000;
    // An address out of tries stays in the table this long, so its failures
    // do not defer it again at once.
    static constexpr int RestMs = 600000;
    // Addresses handed back at most per call of due().
    static constexpr int MaxDuePerCall = 16;

    // `address` waits for a later try, unless it already does.
    void defer(const QString &address, qint64 nowMs);
    // The address linked: it needs no further try.
    void forget(const QString &address) { m_entries.remove(address); }
    // Addresses whose delay is over; each is counted as tried once more and
    // waits another delay, or rests once tried MaxTries times.
    QStringList due(qint64 nowMs);
    int size() const { return int(m_entries.size()); }

private:
    struct Entry {
        int tries = 0;
        qint64 dueMs = 0;
    };
    QHash<QString, Entry> m_entries;
};
