#pragma once

#include "chat/conversation.h"

#include <QList>
#include <QString>
#include <map>
#include <memory>

// The open conversations, at most one per window key ("IM:" + address).
class ConversationRegistry final
{
public:
    ConversationRegistry() = default;
    ConversationRegistry(const ConversationRegistry &) = delete;
    ConversationRegistry &operator=(const ConversationRegistry &) = delete;

    Conversation *find(const QString &address) const;
    // Takes `conversation` in under its key; one already there is replaced.
    Conversation *add(std::unique_ptr<Conversation> conversation);
    // Gone at once; a later message from the address starts a new one.
    void remove(const QString &address);
    QList<Conversation *> all() const;
    int count() const { return static_cast<int>(m_open.size()); }

private:
    std::map<QString, std::unique_ptr<Conversation>> m_open;
};
