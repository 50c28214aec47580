#pragma once

#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

// The icon in the notification area with its Show / Hide / Exit menu and the
// balloons. Where the desktop has no notification area, nothing is shown and
// isAvailable() tells the window to minimise instead of hiding.
class TrayIcon final : public QObject
{
    Q_OBJECT

public:
    TrayIcon(QWidget &window, QObject *parent = nullptr);
    ~TrayIcon() override;

    static bool isAvailable();
    void install(const QString &tip);
    // Returns false when there is no notification area to show it in.
    bool showBalloon(const QString &title, const QString &text, int iconFlags);

signals:
    void exitRequested();

private:
    void onActivated(int reason);
    void updateMenu();

    QWidget &m_window;
    QSystemTrayIcon *m_icon = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_show = nullptr;
    QAction *m_hide = nullptr;
};
