#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>

class SettingsStore;

// This copy as its peers know it: its identifier, the address it binds to
// and the subnet around it, its one port, and its nickname. Every subsystem
// reads the copy's identity here.
class LocalPeer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalPeer)

public:
    explicit LocalPeer(SettingsStore &settings, QObject *parent = nullptr);

    QByteArray id() const { return m_id; }
    void setId(const QByteArray &id) { m_id = id; }

    int port() const { return m_port; }
    void setPort(int port) { m_port = port; }
    // Set when every port failed its self-test and a port is used untested.
    bool isPortUntested() const { return m_portUntested; }
    void setPortUntested(bool untested) { m_portUntested = untested; }

    QString address() const { return m_address; }
    // Every socket binds to this address from now on; addressChanged tells them.
    void setAddress(const QString &address);
    // The four numbers of the address; zeros where it has none.
    const std::array<int, 4> &octets() const { return m_octets; }
    // 1 for a 255.255.255.0 mask, 2 for any other.
    int subnetClass() const { return m_subnetClass; }
    void setSubnetClass(int subnetClass) { m_subnetClass = subnetClass; }

    // The stored nickname, tidied first (cut to its longest length, "?" and
    // "|" replaced). When tidying changed it, nicknameChanged() tells peers.
    QByteArray nickname();
    // The stored nickname as it stands, for announcing it.
    QByteArray storedNickname() const;

signals:
    void addressChanged(const QString &address);
    void nicknameChanged();

private:
    SettingsStore &m_settings;
    QByteArray m_id;
    int m_port = 0;
    bool m_portUntested = false;
    QString m_address;
    std::array<int, 4> m_octets{};
    int m_subnetClass = 2;
};
