#pragma once

#include <QPointer>
#include <QWidget>

class Chat;
class Conversation;
class QLabel;
class QLineEdit;
class QPushButton;
class SendRow;
class TranscriptView;

// The window of one private conversation. It shows what its conversation
// holds and hands the person's actions to it; it ends the conversation when
// closed, and closes when the conversation is gone.
class MessageWindow final : public QWidget
{
    Q_OBJECT

public:
    MessageWindow(Chat &chat, Conversation &conversation);

    // Shows the window of `address`, making it when there is none; restores
    // it when minimised, and with `activate` raises it with the focus in its
    // input box.
    static MessageWindow *present(Chat &chat, const QString &address, bool activate);
    // The open window of this chat's conversation with `address`, if any.
    static MessageWindow *find(Chat &chat, const QString &address);

    // "IM:" followed by the peer's address.
    QString key() const { return m_key; }
    TranscriptView &messageBox() { return *m_messageBox; }
    QLineEdit &sendBox();
    QPushButton &sendButton();
    QLabel &statusBar() { return *m_statusBar; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void sendButtonClicked();

    Chat &m_chat;
    QPointer<Conversation> m_conversation;
    QString m_key;
    TranscriptView *m_messageBox;
    SendRow *m_sendRow;
    QLabel *m_statusBar;
};
