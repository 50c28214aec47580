#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QUrl>

class Core;
class HomeTab;
class OptionsDialog;
class QLabel;
class QTabWidget;
class ScanNotice;
class TrayIcon;

// The main window: the four pages, the status, the options and help links,
// and the scan notice. Closing it only hides it; the program goes on in the
// notification area until Exit.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(Core &core, QWidget *parent = nullptr);
    ~MainWindow() override;

    Core &core() { return m_core; }
    TrayIcon &trayIcon() { return *m_tray; }
    QTabWidget &tabs() { return *m_tabs; }
    HomeTab &homeTab() { return *m_home; }
    // Null while the options dialog is closed.
    OptionsDialog *optionsDialog() const;
    // Balloons land in the status bar where there is no notification area.
    void showBalloon(const QString &title, const QString &text, int iconFlags);
    // Disables this window while the (non-modal) options dialog is open.
    void openOptions();
    // Exit: asks first when downloads run, then hides everything and reports
    // that the program may end.
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
    void rememberGeometry();

    Core &m_core;
    TrayIcon *m_tray;
    QTabWidget *m_tabs;
    HomeTab *m_home;
    QLabel *m_ipLabel;
    ScanNotice *m_blinkLabel;
    QPointer<OptionsDialog> m_options;
};
