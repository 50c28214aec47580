#pragma once

#include <QWidget>

class Chat;
class QLineEdit;
class SendRow;
class TranscriptView;

// The Chat tab: the public room's transcript and the line to send. It also
// brings up the message windows the chat core asks for.
class ChatPage final : public QWidget
{
    Q_OBJECT

public:
    explicit ChatPage(Chat &chat, QWidget *parent = nullptr);

    TranscriptView &chatBox() { return *m_chatBox; }
    QLineEdit &chatSendBox();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void chatSendButtonClicked();

    Chat &m_chat;
    TranscriptView *m_chatBox;
    SendRow *m_sendRow;
};
