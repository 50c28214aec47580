#include "chat/conversation.h"

#include "net/localpeer.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace {

// The locale's long time format without its time-zone part: the zone name
// would only lengthen every status and connection line.
QString timeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t'))
            kept += c;
    }
    return kept.trimmed();
}

} // namespace

Conversation::Conversation(const QString &address, const QByteArray &peerNickname, LocalPeer &localPeer,
                           Context context, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_caption(ChatTranscript::visibleText(QString::fromUtf8(peerNickname)) + QLatin1String(CaptionSuffix))
    , m_localPeer(localPeer)
    , m_context(std::move(context))
{
    m_typingTimer.setSingleShot(true);
    m_typingTimer.setInterval(TypingIntervalMs);
    connect(&m_typingTimer, &QTimer::timeout, this, &Conversation::typingTimerTick);
}

QString Conversation::timeAndDate()
{
    const QLocale locale;
    return locale.toString(QTime::currentTime(), timeFormatWithoutZone(locale)) + QLatin1String(" on ")
           + locale.toString(QDate::currentDate(), QLocale::ShortFormat);
}

void Conversation::addMessage(const QByteArray &nickname, const QByteArray &text)
{
    m_transcript.appendMessage(nickname, text);
    setStatusText(QLatin1String("Last Message Received at ") + timeAndDate() + QLatin1Char('.'));
}

void Conversation::addOfflineMsg()
{
    m_transcript.appendLine(QLatin1String("**DISCONNECTED at ") + timeAndDate() + QLatin1String("**"));
}

void Conversation::addOnlineMsg()
{
    m_transcript.appendLine(QLatin1String("**CONNECTED at ") + timeAndDate() + QLatin1String("**"));
}

void Conversation::setStatusText(const QString &text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    emit statusTextChanged(text);
}

void Conversation::setSendEnabled(bool enabled)
{
    if (enabled == m_sendEnabled)
        return;
    m_sendEnabled = enabled;
    emit sendEnabledChanged(enabled);
}

bool Conversation::sendMessage(const QString &sendBoxText)
{
    if (!m_sendEnabled)
        return false;
    const QByteArray text = sendBoxText.toUtf8();
    if (!m_context.sendInstantMessage(m_address, text)) {
        m_transcript.appendLine(QLatin1String(TooLongLine));
        return false;
    }
    m_typingTimer.stop();
    m_transcript.appendMessage(m_localPeer.nickname(), text);
    return true;
}

void Conversation::draftChanged(const QString &sendBoxText)
{
    if (sendBoxText.isEmpty())
        return;
    if (!m_typingTimer.isActive())
        m_context.sendTyping(m_address, true);
    m_typingTimer.start();
}

void Conversation::typingTimerTick()
{
    m_typingTimer.stop();
    m_context.sendTyping(m_address, false);
}
