#include "ui/trayicon.h"

#include "base/prompter.h"
#include "ui/appicon.h"

#include <QEvent>
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
    m_exit = m_menu->addAction(QStringLiteral("Exit"), this, &TrayIcon::exitRequested);
    // Desktops that draw an exported menu may ask for it without a click
    // reaching the program, so the states are kept current all the time.
    connect(m_menu, &QMenu::aboutToShow, this, &TrayIcon::updateMenu);
    m_window.installEventFilter(this);
    m_retry.setInterval(RetryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &TrayIcon::installWhenAvailable);
    updateMenu();
}

TrayIcon::~TrayIcon()
{
    delete m_menu;
}

void TrayIcon::install(const QString &tip)
{
    m_tip = tip;
    m_retry.start();
    installWhenAvailable();
}

void TrayIcon::installWhenAvailable()
{
    if (m_icon || !m_available())
        return;
    m_retry.stop();
    m_icon = new QSystemTrayIcon(AppIcon::make(), this);
    m_icon->setToolTip(m_tip);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::activate);
    m_icon->show();
    emit installed();
}

void TrayIcon::remove()
{
    m_retry.stop();
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
    if (reason == QSystemTrayIcon::Trigger && m_window.isEnabled()) {
        m_window.showNormal();
        m_window.activateWindow();
    }
}

bool TrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
    case QEvent::EnabledChange:
        updateMenu();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TrayIcon::updateMenu()
{
    // A hidden window counts by the state it was hidden in: Hide minimises first.
    const bool normal = !m_window.isMinimized() && !m_window.isMaximized() && m_window.isVisible();
    const bool enabled = m_window.isEnabled();
    m_show->setEnabled(enabled && !normal);
    m_hide->setEnabled(enabled && normal);
    m_exit->setEnabled(enabled);
}
