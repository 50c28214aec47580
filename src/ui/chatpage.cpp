#include "ui/chatpage.h"

#include "chat/chat.h"
#include "ui/messagewindow.h"
#include "ui/sendrow.h"
#include "ui/transcriptview.h"

#include <QLineEdit>
#include <QVBoxLayout>

ChatPage::ChatPage(Chat &chat, QWidget *parent)
    : QWidget(parent)
    , m_chat(chat)
    , m_chatBox(new TranscriptView(this))
    , m_sendRow(new SendRow(this))
{
    m_chatBox->setTranscript(&chat.chatBox());
    // A longer paste is cut in the box itself, so what shows is what is sent.
    chatSendBox().setMaxLength(Chat::MaxChatLineLength);
    setFocusProxy(m_sendRow);
    connect(m_sendRow, &SendRow::sendRequested, this, &ChatPage::chatSendButtonClicked);
    connect(&chat, &Chat::messageWindowRequested, this,
            [&chat](const QString &address, bool activate) { MessageWindow::present(chat, address, activate); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_chatBox, 1);
    layout->addWidget(m_sendRow);
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
