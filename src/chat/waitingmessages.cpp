#include "chat/waitingmessages.h"

#include <algorithm>

void WaitingMessages::hold(const QString &address, const QByteArray &nickname, const QByteArray &text)
{
    const bool held = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                  [&address](const Entry &entry) { return entry.address == address; });
    if (held)
        return;
    if (count() >= MaxEntries)
        m_entries.pop_front();
    m_entries.push_back(Entry{address, nickname, text.left(MaxTextBytes)});
}

std::optional<WaitingMessages::Entry> WaitingMessages::newest() const
{
    if (m_entries.empty())
        return std::nullopt;
    return m_entries.back();
}

std::optional<WaitingMessages::Entry> WaitingMessages::takeNewest()
{
    std::optional<Entry> entry = newest();
    if (entry)
        m_entries.pop_back();
    return entry;
}

void WaitingMessages::remove(const QString &address)
{
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&address](const Entry &entry) { return entry.address == address; }),
                    m_entries.end());
}
