#include "ui/trayicon.h"

#include "base/prompter.h"
#include "ui/appicon.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

TrayIcon::TrayIcon(QWidget &window, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_menu(new QMenu())
{
    m_show = m_menu->addAction(QStringLiteral("Show Quelm"), &m_window, [this] {
        m_window.showNormal();
        m_window.activateWindow();
    });
    m_hide = m_menu->addAction(QStringLiteral("Hide Quelm"), &m_window, [this] {
        m_window.showMinimized();
        m_window.hide();
    });
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Exit"), this, &TrayIcon::exitRequested);
}

TrayIcon::~TrayIcon()
{
    delete m_menu;
}

bool TrayIcon::isAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::install(const QString &tip)
{
    if (m_icon || !isAvailable())
        return;
    m_icon = new QSystemTrayIcon(AppIcon::make(), this);
    m_icon->setToolTip(tip);
    // The menu is popped up here rather than by the icon, so that it can be
    // refused while the window is disabled.
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::activate);
    m_icon->show();
}

void TrayIcon::remove()
{
    delete m_icon;
    m_icon = nullptr;
}

bool TrayIcon::showBalloon(const QString &title, const QString &text, int iconFlags)
{
    if (!m_icon)
        return false;
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::Information;
    if (iconFlags == Prompter::BalloonWarning)
        icon = QSystemTrayIcon::Warning;
    else if (iconFlags == Prompter::BalloonError)
        icon = QSystemTrayIcon::Critical;
    m_icon->showMessage(title, text, icon);
    return true;
}

void TrayIcon::activate(QSystemTrayIcon::ActivationReason reason)
{
    if (!m_window.isEnabled())
        return;
    if (reason == QSystemTrayIcon::Trigger) {
        m_window.showNormal();
        m_window.activateWindow();
    } else if (reason == QSystemTrayIcon::Context) {
        updateMenu();
        m_menu->popup(QCursor::pos());
    }
}

void TrayIcon::updateMenu()
{
    // A hidden window counts by the state it was hidden in: Hide minimises first.
    const bool normal = !m_window.isMinimized() && !m_window.isMaximized() && m_window.isVisible();
    m_show->setEnabled(!normal);
    m_hide->setEnabled(normal);
}
