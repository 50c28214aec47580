#pragma once

#include <QString>
#include <QWidget>

class Core;
class QLabel;
class QLineEdit;

// Adding a computer by its address or name: the box, its button, and a line
// beside them that says what became of the attempt, so a typing error or a
// computer that does not answer is not met with silence.
class AddComputerRow final : public QWidget
{
    Q_OBJECT

public:
    explicit AddComputerRow(Core &core, QWidget *parent = nullptr);

    QLineEdit &box() { return *m_box; }
    QString message() const;

private:
    void addComputer();
    void onResolved(const QString &name, const QString &address);
    void onConnected(const QString &address);
    void onFailed(const QString &address, int errorNumber);
    void say(const QString &text);

    Core &m_core;
    QLineEdit *m_box;
    QLabel *m_message;
    // What the latest attempt waits for: a name to be looked up, then the
    // address to connect to.
    QString m_name;
    QString m_address;
};
