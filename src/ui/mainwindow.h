#pragma once

#include <QMainWindow>

class Core;
class QLabel;
class QTabWidget;
class TrayIcon;

// The main window: the four pages, the address line and the scan notice.
// Closing it only hides it; the program goes on in the notification area.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(Core &core, QWidget *parent = nullptr);

    TrayIcon &trayIcon() { return *m_tray; }
    // Balloons land in the status bar where there is no notification area.
    void showBalloon(const QString &title, const QString &text, int iconFlags);

signals:
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *makeHeader();

    Core &m_core;
    TrayIcon *m_tray;
    QTabWidget *m_tabs;
    QLabel *m_ipLabel;
    QLabel *m_blinkLabel;
};
