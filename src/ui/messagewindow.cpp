#include "ui/messagewindow.h"

#include "chat/chat.h"
#include "ui/appicon.h"
#include "ui/sendrow.h"
#include "ui/transcriptview.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

MessageWindow::MessageWindow(Chat &chat, Conversation &conversation)
    : m_chat(chat)
    , m_conversation(&conversation)
    , m_key(conversation.key())
    , m_messageBox(new TranscriptView(this))
    , m_sendRow(new SendRow(this))
    , m_statusBar(new QLabel(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(conversation.caption());
    setWindowIcon(AppIcon::make());
    m_messageBox->setTranscript(&conversation.transcript());
    sendBox().setMaxLength(std::numeric_limits<int>::max());
    setFocusProxy(m_sendRow);
    sendButton().setEnabled(conversation.isSendEnabled());
    m_statusBar->setText(conversation.statusText());
    m_statusBar->setTextFormat(Qt::PlainText);
    m_statusBar->setFrameShape(QFrame::StyledPanel);

    connect(&sendBox(), &QLineEdit::textChanged, &conversation, &Conversation::draftChanged);
    connect(m_sendRow, &SendRow::sendRequested, this, &MessageWindow::sendButtonClicked);
    connect(&conversation, &Conversation::statusTextChanged, m_statusBar, &QLabel::setText);
    connect(&conversation, &Conversation::sendEnabledChanged, &sendButton(), &QWidget::setEnabled);
    connect(&conversation, &QObject::destroyed, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_messageBox, 1);
    layout->addWidget(m_sendRow);
    layout->addWidget(m_statusBar);
    resize(440, 340);
}

MessageWindow *MessageWindow::find(Chat &chat, const QString &address)
{
    Conversation *conversation = chat.conversation(address);
    if (!conversation)
        return nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<MessageWindow *>(widget);
        if (window && window->m_conversation == conversation)
            return window;
    }
    return nullptr;
}

MessageWindow *MessageWindow::present(Chat &chat, const QString &address, bool activate)
{
    MessageWindow *window = find(chat, address);
    if (!window) {
        Conversation *conversation = chat.conversation(address);
        if (!conversation)
            return nullptr;
        window = new MessageWindow(chat, *conversation);
        if (!activate)
            window->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    if (!window->isVisible())
        window->show();
    if (activate) {
        window->raise();
        window->activateWindow();
        window->sendBox().setFocus();
    }
    return window;
}

void MessageWindow::closeEvent(QCloseEvent *event)
{
    if (m_conversation) {
        // The conversation goes at once; nothing of it may reach this window now.
        disconnect(m_conversation, nullptr, this, nullptr);
        disconnect(m_conversation, nullptr, m_statusBar, nullptr);
        disconnect(m_conversation, nullptr, &sendButton(), nullptr);
        disconnect(&sendBox(), nullptr, m_conversation, nullptr);
        m_messageBox->setTranscript(nullptr);
        m_chat.closeMessageWindow(m_conversation->address());
    }
    event->accept();
}

QLineEdit &MessageWindow::sendBox()
{
    return m_sendRow->box();
}

QPushButton &MessageWindow::sendButton()
{
    return m_sendRow->button();
}

void MessageWindow::sendButtonClicked()
{
    if (!m_conversation)
        return;
    // A refused text stays in the box, to be shortened.
    if (m_conversation->sendMessage(sendBox().text()))
        sendBox().clear();
    sendBox().setFocus();
}
