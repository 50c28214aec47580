#pragma once

#include "chat/chattranscript.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class LocalPeer;

// The private conversation with the peer at one address, as its message
// window shows it: the transcript, the one status text, whether Send is
// allowed, and the typing indication sent while the person writes.
class Conversation final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Conversation)

public:
    static constexpr int TypingIntervalMs = 2000;
    static constexpr char KeyPrefix[] = "IM:";
    static constexpr char CaptionSuffix[] = " - Instant Message";
    static constexpr char StatusConnected[] = "User is Connected.";
    static constexpr char StatusNotConnected[] = "User is Not Connected.";
    static constexpr char StatusTyping[] = "User is Typing a Message...";
    static constexpr char TooLongLine[] = "**Not sent: the message is too long.**";

    struct Context {
        // False when the text is too long to send.
        std::function<bool(const QString &, const QByteArray &)> sendInstantMessage;
        std::function<void(const QString &, bool)> sendTyping;
    };

    Conversation(const QString &address, const QByteArray &peerNickname, LocalPeer &localPeer, Context context,
                 QObject *parent = nullptr);

    static QString keyOf(const QString &address) { return QLatin1String(KeyPrefix) + address; }
    // The current time and date as the user's locale writes them: "<time> on <date>".
    static QString timeAndDate();

    QString key() const { return keyOf(m_address); }
    QString address() const { return m_address; }
    QString caption() const { return m_caption; }
    ChatTranscript &transcript() { return m_transcript; }
    QString statusText() const { return m_statusText; }
    bool isSendEnabled() const { return m_sendEnabled; }
    const QTimer &typingTimer() const { return m_typingTimer; }

    void addMessage(const QByteArray &nickname, const QByteArray &text);
    void addOfflineMsg();
    void addOnlineMsg();
    void setStatusText(const QString &text);
    void setSendEnabled(bool enabled);

    // The person's actions in the window. Send goes out even with an empty
    // text; it does nothing while sending is disabled. A text too long for
    // one frame is refused with a line saying so. True when it went out, so
    // the window may empty its input.
    bool sendMessage(const QString &sendBoxText);
    void draftChanged(const QString &sendBoxText);
    void typingTimerTick();

signals:
    void statusTextChanged(const QString &text);
    void sendEnabledChanged(bool enabled);

private:
    QString m_address;
    QString m_caption;
    LocalPeer &m_localPeer;
    Context m_context;
    ChatTranscript m_transcript;
    QString m_statusText;
    bool m_sendEnabled = true;
    QTimer m_typingTimer;
};
