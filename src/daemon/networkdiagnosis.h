#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

class Core;

// Why peers may not be seen: the address and subnet in use, the listening
// port, discovery, the host lists, blocking on either side, and the links
// refused lately, each with a sentence a person can act on.
class NetworkDiagnosis final
{
public:
    explicit NetworkDiagnosis(Core &core);

    QJsonObject report();

    // The subnet the scan covers, as "a.b.c.0/24" or "a.b.0.0/16".
    static QString subnetText(const QString &address, int subnetClass);
    static bool isInSubnet(const QString &address, const QString &own, int subnetClass);

private:
    QJsonObject portAndDiscovery();
    QJsonObject hostLists();
    QJsonObject blockedAndPeers();
    QJsonArray refusedLinks();
    QString scanPosition() const;
    void find(const QString &sentence) { m_findings.append(sentence); }

    Core &m_core;
    QString m_subnet;
    QStringList m_findings;
};
