#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class Prompter;

// What a copy shows of itself beside its tables: the window caption, the
// address line, the scan notice that blinks while the subnet scan runs, the
// splash while start-up runs, the tray icon, the main window, and the welcome
// balloon of the first run. The desktop follows its signals; quelmd needs none.
class ShellPresence final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShellPresence)

public:
    static constexpr int BlinkIntervalMs = 1000;
    static constexpr int WelcomeDelayMs = 4000;

    explicit ShellPresence(Prompter &prompter, QObject *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QString ipLabelText() const { return m_ipLabelText; }
    void setIpLabelText(const QString &text);

    // The scan notice blinks while the scan runs; when the scan stops it
    // stays hidden.
    void showScanNotice(bool scanning);
    bool isScanNoticeVisible() const { return m_scanNoticeVisible; }
    bool isScanNoticeBlinking() const { return m_blinkTimer.isActive(); }

    void showSplash();
    void setSplashStatus(const QString &status);
    void installTrayIcon(const QString &tip);
    void showMainWindow();

    // This is the first run: the welcome balloon follows a little later.
    void welcomeFirstRun();
    bool isFirstRun() const { return m_firstRun; }
    bool isWelcomePending() const { return m_welcomeTimer.isActive(); }

    void stop();

signals:
    void splashShown();
    void splashStatusChanged(const QString &status);
    void trayIconInstalled(const QString &tip);
    void mainWindowShown();
    void captionChanged(const QString &caption);
    void ipLabelChanged(const QString &text);
    void scanNoticeVisibilityChanged(bool visible);

private:
    void blink();
    void welcome();

    Prompter &m_prompter;
    QTimer m_blinkTimer;
    QTimer m_welcomeTimer;
    QString m_caption;
    QString m_ipLabelText;
    bool m_scanNoticeVisible = true;
    bool m_firstRun = false;
};
