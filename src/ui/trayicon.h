#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QWidget;

// The icon in the notification area with its Show / Hide / Exit menu and the
// balloons. Where the desktop has no notification area, nothing is shown and
// isAvailable() tells the window to minimise instead of hiding. Clicks do
// nothing while the window is disabled, that is while the options dialog is open.
class TrayIcon final : public QObject
{
    Q_OBJECT

public:
    TrayIcon(QWidget &window, QObject *parent = nullptr);
    ~TrayIcon() override;

    static bool isAvailable();
    void install(const QString &tip);
    void remove();
    // Returns false when there is no notification area to show it in.
    bool showBalloon(const QString &title, const QString &text, int iconFlags);

    // A click on the icon: the left button shows the window, the right one
    // offers the menu.
    void activate(QSystemTrayIcon::ActivationReason reason);
    QMenu &menu() { return *m_menu; }
    QAction &showAction() { return *m_show; }
    QAction &hideAction() { return *m_hide; }

signals:
    void exitRequested();

private:
    void updateMenu();

    QWidget &m_window;
    QSystemTrayIcon *m_icon = nullptr;
    QMenu *m_menu;
    QAction *m_show;
    QAction *m_hide;
};
