#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Hosts on one broadcast network made of network namespaces: one namespace
// per host with loopback and one end of a veth pair, the other ends on a
// bridge inside a namespace of its own. No namespace has a default route and
// the bridge has no address, so nothing a host sends leaves the bridge. Each
// host knows the others' hardware addresses from the start (permanent
// neighbour entries): the kernel keeps one neighbour table for all
// namespaces, and the entries that hundreds of hosts would learn by ARP
// overflow it, where on a real network each machine has a table of its own.
// Broadcasts pass as on any network. The
// namespaces are deleted with the object, and those left by runs that were
// killed are deleted by the next run (their names carry the run's pid).
class BridgedLan final
{
    Q_DISABLE_COPY_MOVE(BridgedLan)

public:
    static constexpr int CommandTimeoutMs = 60000;

    // `prefix` names this kind of run and `run` tells apart the networks of
    // one process; `subnet` is the first three numbers of
    // the hosts' /24, dotted, with the closing dot; hosts sit at .1, .2, ...
    BridgedLan(const QString &prefix, int run, const QString &subnet, int hosts);
    ~BridgedLan();

    // Builds the network; empty when it stands, else what failed. `stopped`
    // is asked between hosts: a large network takes many seconds to build.
    QString build(const std::function<bool()> &stopped = {});
    // Deletes every namespace of this run, the extra ones too.
    void remove();

    int hosts() const { return m_hosts; }
    QString namespaceOf(int host) const;
    QString addressOf(int host) const;
    // Names another namespace of this run, for a test that builds its own shape.
    QString extraNamespace(const QString &name) const;

    // The fixed hardware address of a host's interface.
    static QString hardwareAddressOf(int host);
    static QString ipCommand();
    // Runs ip with `arguments` split at blanks; empty when it succeeded, else what failed.
    static QString ip(const QString &arguments, QString *output = nullptr);
    // Runs ip once with `options` and the commands of `lines`, one a line.
    static QString ipBatch(const QString &options, const QStringList &lines);
    // Deletes the namespaces of `prefix` whose run has ended.
    static void removeStale(const QString &prefix);

private:
    QString m_tag;
    QString m_subnet;
    int m_hosts;
};
