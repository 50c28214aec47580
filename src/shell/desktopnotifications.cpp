#include "shell/desktopnotifications.h"

#include "base/prompter.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

// The service's urgency levels: 1 normal, 2 critical.
uchar urgency(int iconFlags)
{
    return iconFlags == Prompter::BalloonError ? 2 : 1;
}

} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
}

void DesktopNotifications::setBus(const QDBusConnection &bus)
{
    m_bus = bus;
    m_markup.reset();
}

bool DesktopNotifications::show(const QString &title, const QString &text, int iconFlags)
{
    if (!m_bus.isConnected())
        return false;
    if (m_markup)
        notify(title, text, iconFlags);
    else
        askCapabilities(title, text, iconFlags);
    return true;
}

void DesktopNotifications::askCapabilities(const QString &title, const QString &text, int iconFlags)
{
    const QDBusMessage question = QDBusMessage::createMethodCall(
        QLatin1String(Service), QLatin1String(Path), QLatin1String(Interface), QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(question, ReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, text, iconFlags](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QStringList> reply = *call;
        if (reply.isError()) {
            emit undelivered(title, text);
            return;
        }
        m_markup = reply.value().contains(QStringLiteral("body-markup"));
        notify(title, text, iconFlags);
    });
}

void DesktopNotifications::notify(const QString &title, const QString &text, int iconFlags)
{
    // File names come from peers: a service that reads markup must not take them for it.
    QString body = text;
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (*m_markup)
        body = body.toHtmlEscaped();
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(urgency(iconFlags)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quelm"));
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(Path),
                                                          QLatin1String(Interface), QStringLiteral("Notify"));
    message << QStringLiteral("Quelm") << 0u << QStringLiteral("quelm") << title << body << QStringList() << hints
            << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, ReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, text](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (call->isError())
            emit undelivered(title, text);
    });
}
