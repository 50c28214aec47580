#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

// An input box with its Send button beside it, as the Chat tab and the
// message windows have them: Enter in the box sends while Send is enabled,
// and Send is the default button while the box has the focus.
class SendRow final : public QWidget
{
    Q_OBJECT

public:
    explicit SendRow(QWidget *parent = nullptr);

    QLineEdit &box() { return *m_box; }
    QPushButton &button() { return *m_button; }

signals:
    void sendRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_box;
    QPushButton *m_button;
};
