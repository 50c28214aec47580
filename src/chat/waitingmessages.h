#pragma once

#include <QByteArray>
#include <QString>
#include <deque>
#include <optional>

// Messages from peers whose conversation could not open because every
// message window allowed was open: the person opens them later from the Chat
// tab. One entry per address, the newest last; bounded in count and in the
// text each keeps, whatever peers send.
class WaitingMessages final
{
public:
    static constexpr int MaxEntries = 64;
    // What one entry keeps of its first message; the Chat tab shows it whole.
    static constexpr qsizetype MaxTextBytes = 4096;

    struct Entry
    {
        QString address;
        QByteArray nickname;
        QByteArray text;
    };

    // The first message of an address is kept; later ones add nothing.
    void hold(const QString &address, const QByteArray &nickname, const QByteArray &text);
    std::optional<Entry> newest() const;
    std::optional<Entry> takeNewest();
    void remove(const QString &address);
    int count() const { return static_cast<int>(m_entries.size()); }

private:
    std::deque<Entry> m_entries;
};
