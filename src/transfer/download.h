#pragma once

#include "transfer/downloadstate.h"
#include "transfer/verification.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One download as the requesting side knows it, from its start until the
// ended list is cleared: what was asked of whom, the sizes as numbers, and
// its state. Only the two download tables turn it into texts; everything
// else decides by the state.
struct Download
{
    using State = DownloadState::State;

    int id = -1;             // unique for the run of the copy
    int slot = -1;           // the transfer connection while it runs
    QByteArray sharedName;   // the file's name on the serving peer
    QString fileName;        // the name it gets here
    QString address;         // the serving peer it was started with
    QString subfolder;       // below the downloads folder, for a file of a folder download
    QString peerNick;        // as the server announced it, made safe to show
    QByteArray signature;    // as the server announced it
    bool sizeKnown = false;  // the file information arrived
    qint64 total = 0;        // the size the server announced
    qint64 received = 0;     // bytes in the local file; the offset of the next write
    qint64 pending = 0;      // bytes left in the socket by the small-read deferral
    qint64 lastSample = 0;   // received + pending at the previous rate sample
    std::optional<qint64> rate;  // bytes in the last second, once sampled
    QString localPath;       // the incomplete file
    QString resumeSource;    // the parked record this transfer continues
    bool partFromOtherPeer = false;  // that record came from another peer
    // The retry after a digest mismatch: fetched from byte 0, not retried again.
    bool fromScratch = false;
    Verification verification;
    // Once ended:
    int number = 0;             // n of "(n) name" when the finished file's name was taken
    QString finishedPath;       // where the complete file is
    QString errorDescription;   // what the socket or the file system said
    QString keptPath;           // data that could not be parked or moved stayed here
    QString note;               // what the user should know of a finished file
    DownloadState state;
};
