#include "shell/shellpresence.h"

#include "base/prompter.h"

ShellPresence::ShellPresence(Prompter &prompter, QObject *parent)
    : QObject(parent)
    , m_prompter(prompter)
{
    m_blinkTimer.setInterval(BlinkIntervalMs);
    m_welcomeTimer.setInterval(WelcomeDelayMs);
    m_welcomeTimer.setSingleShot(true);
    connect(&m_blinkTimer, &QTimer::timeout, this, &ShellPresence::blink);
    connect(&m_welcomeTimer, &QTimer::timeout, this, &ShellPresence::welcome);
}

void ShellPresence::setCaption(const QString &caption)
{
    m_caption = caption;
    emit captionChanged(caption);
}

void ShellPresence::setIpLabelText(const QString &text)
{
    m_ipLabelText = text;
    emit ipLabelChanged(text);
}

void ShellPresence::showScanNotice(bool scanning)
{
    if (scanning) {
        // A blinking notice keeps its rhythm.
        if (!m_blinkTimer.isActive())
            m_blinkTimer.start();
        return;
    }
    m_blinkTimer.stop();
    m_scanNoticeVisible = false;
    emit scanNoticeVisibilityChanged(false);
}

void ShellPresence::showSplash()
{
    emit splashShown();
}

void ShellPresence::setSplashStatus(const QString &status)
{
    emit splashStatusChanged(status);
}

void ShellPresence::installTrayIcon(const QString &tip)
{
    emit trayIconInstalled(tip);
}

void ShellPresence::showMainWindow()
{
    emit mainWindowShown();
}

void ShellPresence::welcomeFirstRun()
{
    m_firstRun = true;
    m_welcomeTimer.start();
}

void ShellPresence::stop()
{
    m_blinkTimer.stop();
    m_welcomeTimer.stop();
}

void ShellPresence::blink()
{
    m_scanNoticeVisible = !m_scanNoticeVisible;
    emit scanNoticeVisibilityChanged(m_scanNoticeVisible);
}

void ShellPresence::welcome()
{
    m_prompter.showBalloon(QStringLiteral("Welcome to Quelm!"),
                           QStringLiteral("If you have any trouble using Quelm, consult the \"Home\" section or "
                                          "the Quelm website for internet links to Technical Support."),
                           Prompter::BalloonWarning);
}
