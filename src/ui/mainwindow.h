#pragma once

#include "shell/desktopnotifications.h"

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QUrl>

class Core;
class HomeTab;
class OptionsDialog;
class DownloadsPage;
class QLabel;
class QSplitter;
class QTabWidget;
class ScanNotice;
class TrayIcon;

// The main window: the four pages, the status, the options and help links,
// and the scan notice. Closing it only hides it while the notification-area
// icon can bring it back; without the icon, closing it is Exit.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    // The size of the first start, made smaller to fit the screen.
    static constexpr QSize DefaultSize{1120, 680};
    // Room left on the screen for the window's frame and title bar.
    static constexpr int FrameAllowance = 40;
    static constexpr int BalloonOnStatusLineMs = 15000;

    explicit MainWindow(Core &core, QWidget *parent = nullptr);
    ~MainWindow() override;

    Core &core() { return m_core; }
    TrayIcon &trayIcon() { return *m_tray; }
    QTabWidget &tabs() { return *m_tabs; }
    HomeTab &homeTab() { return *m_home; }
    DownloadsPage &downloadsPage() { return *m_downloads; }
    DesktopNotifications &desktopNotifications() { return m_notifications; }
    // Null while the options dialog is closed.
    OptionsDialog *optionsDialog() const;
    // A balloon goes to the notification-area icon, else to the desktop's
    // notification service, else to the status bar.
    void showBalloon(const QString &title, const QString &text, int iconFlags);
    // Disables this window while the (non-modal) options dialog is open.
    void openOptions();
    // Exit (also Ctrl+Q): asks first when downloads run, then hides
    // everything and reports that the program may end.
    void exit();
    // Writes the help page shipped with the program where the desktop's
    // browser can open it, and returns its address.
    QUrl writeHelpPage();

signals:
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QWidget *makeHeader();
    QWidget *makeFooter();
    void openHelpPage(const QString &fragment);
    void showOnStatusLine(const QString &title, const QString &text);
    void restoreLayout();
    void rememberGeometry();

    Core &m_core;
    TrayIcon *m_tray;
    QTabWidget *m_tabs;
    HomeTab *m_home;
    DownloadsPage *m_downloads;
    QSplitter *m_splitter;
    DesktopNotifications m_notifications;
    QLabel *m_ipLabel;
    ScanNotice *m_blinkLabel;
    QPointer<OptionsDialog> m_options;
};
