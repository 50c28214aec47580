#include "transfer/downloadnotifier.h"

#include "base/prompter.h"

DownloadNotifier::DownloadNotifier(Prompter &prompter)
    : m_prompter(prompter)
{
}

void DownloadNotifier::notifyOutcome(Outcome outcome, const QString &fileName, const QByteArray &setting)
{
    const bool show = setting == "2" || (setting == "1" && m_prompter.isMainWindowMinimizedOrHidden());
    if (!show)
        return;
    if (outcome == Outcome::Completed)
        m_prompter.showBalloon(QStringLiteral("Download Complete"),
                               QLatin1String("Quelm has completed the download of:\r\n") + fileName,
                               Prompter::BalloonInformation);
    else
        m_prompter.showBalloon(QStringLiteral("Download Failed"),
                               QLatin1String("Quelm was unable to complete the download of:\r\n") + fileName,
                               Prompter::BalloonWarning);
}
