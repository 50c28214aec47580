#pragma once

#include "chat/chattranscript.h"
#include "chat/conversationregistry.h"
#include "chat/waitingmessages.h"
#include "net/framereassembler.h"
#include "net/wirecodec.h"
#include "net/wirekeywords.h"

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
//
// At most MaxMessageWindows conversations are open at once, so peers that
// each write once cannot make a window apiece: past the bound, a message
// that would start a conversation goes to the room's transcript and the
// status line, and waits until the person opens it.
class Chat final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Chat)

public:
    // The longest line the room's input box holds and sends.
    static constexpr int MaxChatLineLength = 350;
    static constexpr char UnknownNickname[] = "unknown";
    static constexpr int MaxMessageWindows = 32;
    // The longest text whose "im:" frame the receiver takes: each byte
    // travels as two, and the frame cap counts both markers.
    static constexpr qsizetype MaxInstantMessageBytes =
        (FrameReassembler::DefaultCapBytes - WireCodec::StartMarkerLength - WireCodec::EndMarkerLength) / 2
        - WireKeywords::length(WireKeywords::InstantMessage);

    Chat(ControlConnections &connections, LocalPeer &localPeer, QObject *parent = nullptr);

    ChatTranscript &chatBox() { return m_chatBox; }
    ConversationRegistry &conversations() { return m_conversations; }
    const WaitingMessages &waitingMessages() const { return m_waiting; }
    // How many conversations may be open; 0 keeps none (a copy without
    // windows, whose activity log prints the messages).
    void setConversationLimit(int limit) { m_conversationLimit = limit; }
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
    // Sends nothing and returns false when the message would not fit in one
    // frame: the peer would drop the link rather than take it.
    bool sendInstantMessage(const QString &address, const QByteArray &text);
    // Opens the conversation of the newest waiting message, with that message.
    void openWaitingConversation();
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
    // A line for the status line: a message waits, or no window can open.
    void statusMessage(const QString &text);
    void waitingMessagesChanged();

private:
    void sendChat(const QByteArray &text);
    void openConversation(const QString &address, const QByteArray &nickname, const QByteArray &text, bool activate);
    void holdBack(const QString &address, const QByteArray &nickname, const QByteArray &text, bool activate);
    QString windowsFullText() const;
    void refresh(Conversation &conversation);
    Conversation::Context conversationContext();

    ControlConnections &m_connections;
    LocalPeer &m_localPeer;
    ChatTranscript m_chatBox;
    ConversationRegistry m_conversations;
    WaitingMessages m_waiting;
    int m_conversationLimit = MaxMessageWindows;
};
