#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

class QAction;
class QMenu;
class QWidget;

// The icon in the notification area with its Show / Hide / Exit menu and the
// balloons. Where the desktop has no notification area yet, the icon waits
// and is installed once one appears. The menu follows the window: Show or
// Hide by its state, and nothing while the window is disabled, that is while
// the options dialog is open.
class TrayIcon final : public QObject
{
    Q_OBJECT

public:
    using AvailabilityProbe = std::function<bool()>;

    static constexpr int RetryIntervalMs = 10000;

    TrayIcon(QWidget &window, QObject *parent = nullptr);
    ~TrayIcon() override;

    // Replaces the question whether the desktop has a notification area.
    void setAvailabilityProbe(AvailabilityProbe probe) { m_available = std::move(probe); }
    // Installs the icon now, or as soon as a notification area appears.
    void install(const QString &tip);
    void remove();
    bool isInstalled() const { return m_icon != nullptr; }
    bool isWaitingForNotificationArea() const { return m_retry.isActive(); }
    // One look for a notification area while the icon waits for one.
    void installWhenAvailable();
    // Returns false when there is no icon to show it on.
    bool showBalloon(const QString &title, const QString &text, int iconFlags);

    // A click on the icon: the left button shows the window; the right one
    // gets the menu from the desktop.
    void activate(QSystemTrayIcon::ActivationReason reason);
    QMenu &menu() { return *m_menu; }
    QAction &showAction() { return *m_show; }
    QAction &hideAction() { return *m_hide; }
    QAction &exitAction() { return *m_exit; }

signals:
    void exitRequested();
    void installed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateMenu();

    QWidget &m_window;
    AvailabilityProbe m_available = &QSystemTrayIcon::isSystemTrayAvailable;
    QSystemTrayIcon *m_icon = nullptr;
    QString m_tip;
    QTimer m_retry;
    QMenu *m_menu;
    QAction *m_show;
    QAction *m_hide;
    QAction *m_exit;
};
