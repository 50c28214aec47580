#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The subnet mask of the local adapter, and the subnet class discovery
// chooses its broadcast address by.
class SubnetDetector final
{
public:
    SubnetDetector() = delete;

    // The dotted mask of the interface address equal to `localAddress`, from
    // every address entry of every interface; empty when none matches.
    static QString getSubnetMask(const QString &localAddress);
    // The same over a table of (dotted address, dotted mask) rows, searched
    // in order. An empty table means no table could be read at all, and
    // then the mask of a common class C network, "255.255.255.0", is assumed.
    static QString getSubnetMask(const QString &localAddress, const QList<QPair<QString, QString>> &addressMaskTable);

    // 1 exactly when the mask is "255.255.255.0", otherwise 2 (also for an
    // empty mask).
    static int subnetClass(const QString &mask);
    // The class of the subnet the local adapter with this address is on.
    static int subnetClassOf(const QString &localAddress);

    // The four bytes, most significant first, as decimal numbers joined by ".".
    static QString addressToDotted(quint32 hostOrderAddress);
};
