#pragma once

#include "transfer/transferstreamparser.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>

// What the requesting side knows of one transfer; one per element of the
// transfer socket array, addressed by the element's index (the slot number).
// The fields keep their values after the transfer ends until the slot is
// taken again.
struct TransferSlot
{
    qint64 received = 0;     // bytes in the local file; the offset of the next write
    qint64 lastSample = 0;   // received + pending at the previous rate sample
    qint64 total = 0;        // the size the server announced
    qint64 pending = 0;      // bytes left in the socket by the small-read deferral
    QByteArray sharedName;
    QString fileName;
    std::unique_ptr<QFile> file;  // open while data arrives
    QString localPath;       // the incomplete file
    QString peerNick;
    QByteArray signature;
    QString resumeSource;    // the parked record this transfer continues
    TransferStreamParser parser;
    // Set when the server sent something this side cannot act on: the rest
    // of the connection is ignored until it closes.
    bool halted = false;
    // Why the transfer failed on this side; filed as "Error (" + reason + ")".
    QString failureReason;
    QString failureDescription;
};
