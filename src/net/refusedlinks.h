#pragma once

#include <QDateTime>
#include <QString>
#include <deque>

// The most recent links this copy refused or cut, with the reason, so a
// person can find out why a peer does not show up. Bounded: the oldest
// entries go first.
class RefusedLinks final
{
public:
    static constexpr int MaxEntries = 64;

    struct Entry {
        QString address;
        QString reason;
        QDateTime when;
    };

    void note(const QString &address, const QString &reason);
    const std::deque<Entry> &entries() const { return m_entries; }

private:
    std::deque<Entry> m_entries;
};
