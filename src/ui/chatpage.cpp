#include "ui/chatpage.h"

#include "chat/chat.h"
#include "ui/messagewindow.h"
#include "ui/transcriptview.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ChatPage::ChatPage(Chat &chat, QWidget *parent)
    : QWidget(parent)
    , m_chat(chat)
    , m_chatBox(new TranscriptView(this))
    , m_chatSendBox(new QLineEdit(this))
    , m_chatSendButton(new QPushButton(QStringLiteral("Send"), this))
{
    m_chatBox->setTranscript(&chat.chatBox());
    // A longer paste is cut in the box itself, so what shows is what is sent.
    m_chatSendBox->setMaxLength(Chat::MaxChatLineLength);
    m_chatSendBox->installEventFilter(this);
    setFocusProxy(m_chatSendBox);
    connect(m_chatSendBox, &QLineEdit::returnPressed, this, &ChatPage::chatSendButtonClicked);
    connect(m_chatSendButton, &QPushButton::clicked, this, &ChatPage::chatSendButtonClicked);
    connect(&chat, &Chat::messageWindowRequested, this,
            [&chat](const QString &address, bool activate) { MessageWindow::present(chat, address, activate); });

    auto *sendRow = new QHBoxLayout;
    sendRow->addWidget(m_chatSendBox, 1);
    sendRow->addWidget(m_chatSendButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_chatBox, 1);
    layout->addLayout(sendRow);
}

void ChatPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_chatSendBox->setFocus();
}

bool ChatPage::eventFilter(QObject *watched, QEvent *event)
{
    // While the box has the focus, Send is the default button.
    if (watched == m_chatSendBox && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        m_chatSendButton->setDefault(event->type() == QEvent::FocusIn);
    return QWidget::eventFilter(watched, event);
}

void ChatPage::chatSendButtonClicked()
{
    if (m_chat.chatSendButtonClicked(m_chatSendBox->text()))
        m_chatSendBox->clear();
    m_chatSendBox->setFocus();
}
