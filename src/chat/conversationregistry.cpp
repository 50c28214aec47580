#include "chat/conversationregistry.h"

Conversation *ConversationRegistry::find(const QString &address) const
{
    const auto found = m_open.find(Conversation::keyOf(address));
    return found == m_open.end() ? nullptr : found->second.get();
}

Conversation *ConversationRegistry::add(std::unique_ptr<Conversation> conversation)
{
    auto &slot = m_open[conversation->key()];
    slot = std::move(conversation);
    return slot.get();
}

void ConversationRegistry::remove(const QString &address)
{
    m_open.erase(Conversation::keyOf(address));
}

QList<Conversation *> ConversationRegistry::all() const
{
    QList<Conversation *> open;
    open.reserve(count());
    for (const auto &entry : m_open)
        open.append(entry.second.get());
    return open;
}
