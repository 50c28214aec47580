#include "ui/chatpage.h"

#include "chat/chat.h"
#include "ui/messagewindow.h"
#include "ui/sendrow.h"
#include "ui/transcriptview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ChatPage::ChatPage(Chat &chat, QWidget *parent)
    : QWidget(parent)
    , m_chat(chat)
    , m_chatBox(new TranscriptView(this))
    , m_sendRow(new SendRow(this))
    , m_waitingRow(new QWidget(this))
    , m_waitingLabel(new QLabel(m_waitingRow))
    , m_openWaiting(new QPushButton(QStringLiteral("Open"), m_waitingRow))
{
    m_chatBox->setTranscript(&chat.chatBox());
    // A longer paste is cut in the box itself, so what shows is what is sent.
    chatSendBox().setMaxLength(Chat::MaxChatLineLength);
    setFocusProxy(m_sendRow);
    connect(m_sendRow, &SendRow::sendRequested, this, &ChatPage::chatSendButtonClicked);
    connect(&chat, &Chat::messageWindowRequested, this,
            [&chat](const QString &address, bool activate) { MessageWindow::present(chat, address, activate); });
    connect(&chat, &Chat::waitingMessagesChanged, this, &ChatPage::showWaitingMessage);
    connect(m_openWaiting, &QPushButton::clicked, &chat, &Chat::openWaitingConversation);

    m_waitingLabel->setTextFormat(Qt::PlainText);
    auto *waitingLayout = new QHBoxLayout(m_waitingRow);
    waitingLayout->setContentsMargins(0, 0, 0, 0);
    waitingLayout->addWidget(m_waitingLabel, 1);
    waitingLayout->addWidget(m_openWaiting);
    m_waitingRow->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_waitingRow);
    layout->addWidget(m_chatBox, 1);
    layout->addWidget(m_sendRow);
}

void ChatPage::showWaitingMessage()
{
    const std::optional<WaitingMessages::Entry> newest = m_chat.waitingMessages().newest();
    m_waitingRow->setVisible(newest.has_value());
    if (!newest)
        return;
    // One line however long the message: the transcript below holds it whole.
    constexpr int ShownCharacters = 120;
    const int more = m_chat.waitingMessages().count() - 1;
    QString text = ChatTranscript::lineText("Message from " + newest->nickname, newest->text.left(ShownCharacters * 4))
                       .left(ShownCharacters);
    if (more > 0)
        text += QStringLiteral("  (%1 more waiting)").arg(more);
    m_waitingLabel->setText(text);
}

QLineEdit &ChatPage::chatSendBox()
{
    return m_sendRow->box();
}

void ChatPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    chatSendBox().setFocus();
}

void ChatPage::chatSendButtonClicked()
{
    if (m_chat.sendChatLine(chatSendBox().text()))
        chatSendBox().clear();
    chatSendBox().setFocus();
}
