#include "daemon/daemonprompter.h"

#include "base/settingnames.h"

DaemonPrompter::DaemonPrompter(QTextStream &out, QTextStream &err, QString nicknameFile)
    : m_out(out)
    , m_err(err)
    , m_nicknameFile(std::move(nicknameFile))
{
}

Prompter::Answer DaemonPrompter::messageBox(const QString &text, Buttons buttons, Icon)
{
    m_err << text << Qt::endl;
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::RetryCancel:
        // Retrying needs someone to close the other program first.
        return Answer::Cancel;
    case Buttons::AbortRetryIgnore:
        // The untested fallback port may still work on a LAN without a firewall.
        return Answer::Ignore;
    case Buttons::YesNo:
        // Nobody is there to confirm a block or an exit question.
        return Answer::No;
    }
    return Answer::Cancel;
}

void DaemonPrompter::showBalloon(const QString &title, const QString &text, int)
{
    m_out << "notice: " << oneLine(title) << ": " << oneLine(text) << Qt::endl;
}

std::optional<QByteArray> DaemonPrompter::askFirstNickname(const QByteArray &)
{
    m_err << "No nickname is set: add the line Vendrakos\\Quelm\\" << QLatin1String(SettingNames::Nickname)
          << "=<your nickname> to the [Software] section of " << m_nicknameFile << ", then start quelmd again."
          << Qt::endl;
    return std::nullopt;
}

QString DaemonPrompter::oneLine(const QString &text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (QChar &c : line) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            c = QLatin1Char(' ');
    }
    return line;
}
