#include "ui/messagewindow.h"

#include "chat/chat.h"
#include "ui/appicon.h"
#include "ui/transcriptview.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
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
    , m_sendBox(new QLineEdit(this))
    , m_sendButton(new QPushButton(QStringLiteral("Send"), this))
    , m_statusBar(new QLabel(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(conversation.caption());
    setWindowIcon(AppIcon::make());
    m_messageBox->setTranscript(&conversation.transcript());
    m_sendBox->setMaxLength(std::numeric_limits<int>::max());
    m_sendBox->installEventFilter(this);
    setFocusProxy(m_sendBox);
    m_sendButton->setEnabled(conversation.isSendEnabled());
    m_statusBar->setText(conversation.statusText());
    m_statusBar->setTextFormat(Qt::PlainText);
    m_statusBar->setFrameShape(QFrame::StyledPanel);

    connect(m_sendBox, &QLineEdit::textChanged, &conversation, &Conversation::sendBoxChanged);
    connect(m_sendBox, &QLineEdit::returnPressed, this, [this] {
        if (m_sendButton->isEnabled())
            sendButtonClicked();
    });
    connect(m_sendButton, &QPushButton::clicked, this, &MessageWindow::sendButtonClicked);
    connect(&conversation, &Conversation::statusTextChanged, m_statusBar, &QLabel::setText);
    connect(&conversation, &Conversation::sendEnabledChanged, m_sendButton, &QWidget::setEnabled);
    connect(&conversation, &QObject::destroyed, this, &QWidget::close);

    auto *sendRow = new QHBoxLayout;
    sendRow->addWidget(m_sendBox, 1);
    sendRow->addWidget(m_sendButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_messageBox, 1);
    layout->addLayout(sendRow);
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
        window->m_sendBox->setFocus();
    }
    return window;
}

void MessageWindow::closeEvent(QCloseEvent *event)
{
    if (m_conversation) {
        // The conversation goes at once; nothing of it may reach this window now.
        disconnect(m_conversation, nullptr, this, nullptr);
        disconnect(m_conversation, nullptr, m_statusBar, nullptr);
        disconnect(m_conversation, nullptr, m_sendButton, nullptr);
        disconnect(m_sendBox, nullptr, m_conversation, nullptr);
        m_messageBox->setTranscript(nullptr);
        m_chat.closeMessageWindow(m_conversation->address());
    }
    event->accept();
}

bool MessageWindow::eventFilter(QObject *watched, QEvent *event)
{
    // While the box has the focus, Send is the default button.
    if (watched == m_sendBox && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        m_sendButton->setDefault(event->type() == QEvent::FocusIn);
    return QWidget::eventFilter(watched, event);
}

void MessageWindow::sendButtonClicked()
{
    if (!m_conversation)
        return;
    m_conversation->sendButtonClicked(m_sendBox->text());
    m_sendBox->clear();
    m_sendBox->setFocus();
}
