#include "chat/chat.h"

#include "base/logcategories.h"
#include "net/controlconnections.h"
#include "net/localpeer.h"
#include "net/wirekeywords.h"

Chat::Chat(ControlConnections &connections, LocalPeer &localPeer, QObject *parent)
    : QObject(parent)
    , m_connections(connections)
    , m_localPeer(localPeer)
{
}

bool Chat::sendChatLine(const QString &line)
{
    if (line.isEmpty())
        return false;
    const QByteArray text = cutChatLine(line).toUtf8();
    const QByteArray nickname = m_localPeer.nickname();
    sendChat(text);
    appendChatLine(nickname, text);
    return true;
}

QString Chat::cutChatLine(const QString &text)
{
    if (text.size() <= MaxChatLineLength)
        return text;
    // A character outside the basic plane is never cut in half.
    const bool splitsPair = text.at(MaxChatLineLength - 1).isHighSurrogate();
    return text.left(MaxChatLineLength - (splitsPair ? 1 : 0));
}

void Chat::sendChat(const QByteArray &text)
{
    const QByteArray message = WireKeywords::Chat + text;
    for (int index : m_connections.controlLinks())
        m_connections.send(index, message);
}

void Chat::appendChatLine(const QByteArray &nickname, const QByteArray &text)
{
    m_chatBox.appendMessage(nickname, text);
}

void Chat::openMessageWindow(const QString &address)
{
    if (!address.isEmpty())
        openMessageWindow(address, {}, true);
}

void Chat::openMessageWindow(const QString &address, const QByteArray &text, bool activate)
{
    const int index = m_connections.findConnection(address);
    const QByteArray nickname = index >= 0 ? m_connections.record(index).nickname : QByteArray(UnknownNickname);
    openConversation(address, nickname, text, activate);
}

void Chat::openConversation(const QString &address, const QByteArray &nickname, const QByteArray &text,
                            bool activate)
{
    Conversation *conversation = m_conversations.find(address);
    if (!conversation) {
        if (m_conversations.count() >= m_conversationLimit) {
            holdBack(address, nickname, text, activate);
            return;
        }
        qCInfo(lcChat) << "conversation with" << address << "opened";
        conversation = m_conversations.add(
            std::make_unique<Conversation>(address, nickname, m_localPeer, conversationContext()));
        // A window for a peer that is away says so from the start.
        refresh(*conversation);
        const int waiting = m_waiting.count();
        m_waiting.remove(address);
        if (m_waiting.count() != waiting)
            emit waitingMessagesChanged();
    }
    if (!text.isEmpty())
        conversation->addMessage(nickname, text);
    emit messageWindowRequested(address, activate);
}

void Chat::holdBack(const QString &address, const QByteArray &nickname, const QByteArray &text, bool activate)
{
    if (m_conversationLimit == 0)
        return;
    if (activate) {
        emit statusMessage(windowsFullText());
        return;
    }
    if (text.isEmpty())
        return;
    const QByteArray from = "Message from " + nickname;
    m_chatBox.appendMessage(from, text);
    m_waiting.hold(address, nickname, text);
    // The status line is one line; the Chat tab shows the message whole.
    constexpr qsizetype StatusCharacters = 200;
    emit statusMessage(ChatTranscript::lineText(from, text.left(StatusCharacters * 4)).left(StatusCharacters));
    emit waitingMessagesChanged();
}

QString Chat::windowsFullText() const
{
    return QStringLiteral("At most %1 message windows can be open: close one to open another.")
        .arg(m_conversationLimit);
}

void Chat::openWaitingConversation()
{
    const std::optional<WaitingMessages::Entry> entry = m_waiting.newest();
    if (!entry)
        return;
    if (!m_conversations.find(entry->address) && m_conversations.count() >= m_conversationLimit) {
        emit statusMessage(windowsFullText());
        return;
    }
    m_waiting.takeNewest();
    emit waitingMessagesChanged();
    openConversation(entry->address, entry->nickname, entry->text, true);
}

bool Chat::sendInstantMessage(const QString &address, const QByteArray &text)
{
    if (text.size() > MaxInstantMessageBytes)
        return false;
    const int index = m_connections.findConnection(address);
    if (index >= 0)
        m_connections.send(index, WireKeywords::InstantMessage + text);
    return true;
}

void Chat::sendTyping(const QString &address, bool typing)
{
    const int index = m_connections.findConnection(address);
    if (index >= 0)
        m_connections.send(index, WireKeywords::InstantMessageTyping
                                      + QByteArray(typing ? WireKeywords::FlagOn : WireKeywords::FlagOff));
}

void Chat::showTyping(const QString &address, bool typing)
{
    if (Conversation *conversation = m_conversations.find(address))
        conversation->setStatusText(typing ? QLatin1String(Conversation::StatusTyping) : QString());
}

void Chat::refreshMessageWindows()
{
    for (Conversation *conversation : m_conversations.all())
        refresh(*conversation);
}

void Chat::closeMessageWindow(const QString &address)
{
    qCInfo(lcChat) << "conversation with" << address << "closed";
    m_conversations.remove(address);
}

void Chat::refresh(Conversation &conversation)
{
    const QLatin1String notConnected(Conversation::StatusNotConnected);
    if (m_connections.findConnection(conversation.address()) < 0) {
        if (conversation.statusText() != notConnected) {
            conversation.setStatusText(notConnected);
            conversation.setSendEnabled(false);
            conversation.addOfflineMsg();
        }
    } else if (conversation.statusText() == notConnected) {
        conversation.setStatusText(QLatin1String(Conversation::StatusConnected));
        conversation.setSendEnabled(true);
        conversation.addOnlineMsg();
    }
}

Conversation::Context Chat::conversationContext()
{
    Conversation::Context context;
    context.sendInstantMessage = [this](const QString &address, const QByteArray &text) {
        return sendInstantMessage(address, text);
    };
    context.sendTyping = [this](const QString &address, bool typing) { sendTyping(address, typing); };
    return context;
}
