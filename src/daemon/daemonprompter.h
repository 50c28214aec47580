#pragma once

#include "base/prompter.h"

#include <QString>
#include <QTextStream>

// Answers the core's questions for a copy without a window or a person at
// it: refusals and warnings go to standard error, notices to standard output,
// and every question gets the answer that lets an unattended copy go on (or
// end cleanly when it cannot).
class DaemonPrompter final : public Prompter
{
public:
    DaemonPrompter(QTextStream &out, QTextStream &err, QString nicknameFile);

    Answer messageBox(const QString &text, Buttons buttons, Icon icon) override;
    void showBalloon(const QString &title, const QString &text, int iconFlags) override;
    std::optional<QByteArray> askFirstNickname(const QByteArray &suggestion) override;

    // Message texts use CR LF between lines; a log wants one line each.
    static QString oneLine(const QString &text);

private:
    QTextStream &m_out;
    QTextStream &m_err;
    QString m_nicknameFile;
};
