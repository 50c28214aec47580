#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// Asks for the nickname on the very first start. OK stays disabled while the
// name is empty, so no empty nickname can be confirmed.
class NicknameDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit NicknameDialog(const QString &suggestion, QWidget *parent = nullptr);

    QString nickname() const;

private:
    QLineEdit *m_nickname;
    QPushButton *m_ok;
};
