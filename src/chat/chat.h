#pragma once

#include "chat/chattranscript.h"
#include "chat/conversationregistry.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class ControlConnections;
class LocalPeer;

// Chat of one copy: the public room that every control link shares, and the
// private conversations, one per peer address. It owns the room's transcript
// and the open conversations; the desktop shows them and is told through
// messageWindowRequested when a conversation's window must come up.
class Chat final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Chat)

public:
    // The longest line the room's input box holds and sends.
    static constexpr int MaxChatLineLength = 350;
    static constexpr char UnknownNickname[] = "unknown";

    Chat(ControlConnections &connections, LocalPeer &localPeer, QObject *parent = nullptr);

    ChatTranscript &chatBox() { return m_chatBox; }
    ConversationRegistry &conversations() { return m_conversations; }
    Conversation *conversation(const QString &address) const { return m_conversations.find(address); }

    // Says a line in the room: an empty line does nothing (false); a longer
    // one is cut to its first MaxChatLineLength characters, sent and shown.
    bool sendChatLine(const QString &line);
    static QString cutChatLine(const QString &text);
    void appendChatLine(const QByteArray &nickname, const QByteArray &text);

    // The message buttons and a double-click on a user: the window of the
    // address opens, or comes to the front, with the focus in its input box.
    void openMessageWindow(const QString &address);
    // Finds or opens the conversation of an address and adds a non-empty
    // text as a message from that peer. `activate` asks the window to take the
    // focus; a message that arrives only shows the window.
    void openMessageWindow(const QString &address, const QByteArray &text, bool activate);
    void sendInstantMessage(const QString &address, const QByteArray &text);
    void sendTyping(const QString &address, bool typing);
    void showTyping(const QString &address, bool typing);
    // Brings every open conversation's connection state up to date.
    void refreshMessageWindows();
    // The person closed the window: the conversation ends with it.
    void closeMessageWindow(const QString &address);

signals:
    // The window of this address must be shown (restored if minimised), and
    // with `activate` raised with the focus in its input box.
    void messageWindowRequested(const QString &address, bool activate);

private:
    void sendChat(const QByteArray &text);
    void refresh(Conversation &conversation);
    Conversation::Context conversationContext();

    ControlConnections &m_connections;
    LocalPeer &m_localPeer;
    ChatTranscript m_chatBox;
    ConversationRegistry m_conversations;
};
