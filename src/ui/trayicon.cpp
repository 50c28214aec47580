#include "ui/trayicon.h"

#include "base/prompter.h"
#include "ui/appicon.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

TrayIcon::TrayIcon(QWidget &window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
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
    m_menu = new QMenu();
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
    connect(m_menu, &QMenu::aboutToShow, this, &TrayIcon::updateMenu);

    m_icon = new QSystemTrayIcon(AppIcon::make(), this);
    m_icon->setToolTip(tip);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { onActivated(reason); });
    m_icon->show();
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

void TrayIcon::onActivated(int reason)
{
    // While a dialog keeps the window disabled, the icon does nothing.
    if (!m_window.isEnabled())
        return;
    if (reason == QSystemTrayIcon::Trigger) {
        m_window.showNormal();
        m_window.activateWindow();
    }
}

void TrayIcon::updateMenu()
{
    const bool normal = m_window.isVisible() && !m_window.isMinimized() && !m_window.isMaximized();
    m_show->setEnabled(!normal);
    m_hide->setEnabled(normal);
}
