#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

// The desktop's notification service (org.freedesktop.Notifications on the
// session bus): where balloons go on a desktop without a notification area.
// Calls never wait; a service that does not answer reports the balloon as
// undelivered, so the caller can show it elsewhere.
class DesktopNotifications final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifications)

public:
    static constexpr char Service[] = "org.freedesktop.Notifications";
    static constexpr char Path[] = "/org/freedesktop/Notifications";
    static constexpr char Interface[] = "org.freedesktop.Notifications";
    static constexpr int ReplyTimeoutMs = 5000;

    explicit DesktopNotifications(const QDBusConnection &bus, QObject *parent = nullptr);

    // Another bus from now on, as when the session changes.
    void setBus(const QDBusConnection &bus);
    // False at once when there is no bus to send on.
    bool show(const QString &title, const QString &text, int iconFlags);

signals:
    void undelivered(const QString &title, const QString &text);

private:
    void askCapabilities(const QString &title, const QString &text, int iconFlags);
    void notify(const QString &title, const QString &text, int iconFlags);

    QDBusConnection m_bus;
    // Whether the service reads markup in the text; unknown until it said.
    std::optional<bool> m_markup;
};
