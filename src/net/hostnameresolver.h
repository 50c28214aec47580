#pragma once

#include <QObject>
#include <QString>
#include <functional>

// Connects to a host given by name or by dotted address. Only text the person
// typed or this copy remembered comes here; addresses from the network are
// taken in dotted form alone, so no peer can make this copy look names up.
// A name is looked up without blocking and its first IPv4 address is used.
class HostNameResolver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostNameResolver)

public:
    static constexpr int MaxNameLength = 253;

    explicit HostNameResolver(std::function<void(const QString &)> connectTo, QObject *parent = nullptr);

    void connectTo(const QString &hostOrAddress);
    static bool isHostName(const QString &text);

signals:
    // A lookup ended; `address` is empty when the name has no IPv4 address.
    void resolved(const QString &name, const QString &address);

private:
    std::function<void(const QString &)> m_connectTo;
};
