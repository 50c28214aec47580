#ifndef QUELM_COMMON_HASHINGPROGRESS_H
#define QUELM_COMMON_HASHINGPROGRESS_H

#include <QString>

// How far the background hashing of shared files has come, and its one
// display form, shared by the desktop's status line, quelmd and quelm-cli.
struct HashingProgress
{
    qint64 doneBytes = 0;
    qint64 totalBytes = 0;   // 0 while nothing is being hashed

    bool isRunning() const { return totalBytes > 0; }
    // "12.4 of 340 GB": both counts in the unit of the total.
    QString amountText() const;
    // "Hashing shared files: 12.4 of 340 GB".
    QString text() const;
};

#endif
