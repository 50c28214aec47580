#pragma once

#include <QWidget>

class Chat;
class QLabel;
class QLineEdit;
class QPushButton;
class SendRow;
class TranscriptView;

// The Chat tab: the public room's transcript and the line to send. It also
// brings up the message windows the chat core asks for, and offers the
// newest message that waits for a window while every window allowed is open.
class ChatPage final : public QWidget
{
    Q_OBJECT

public:
    explicit ChatPage(Chat &chat, QWidget *parent = nullptr);

    TranscriptView &chatBox() { return *m_chatBox; }
    QLineEdit &chatSendBox();
    QLabel &waitingLabel() { return *m_waitingLabel; }
    QPushButton &openWaitingButton() { return *m_openWaiting; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void chatSendButtonClicked();
    void showWaitingMessage();

    Chat &m_chat;
    TranscriptView *m_chatBox;
    SendRow *m_sendRow;
    QWidget *m_waitingRow;
    QLabel *m_waitingLabel;
    QPushButton *m_openWaiting;
};
