#pragma once

#include <QString>
#include <QtGlobal>

// The display texts of a running download's progress.
class DownloadProgress final
{
public:
    // received × 100 ÷ total, cut (not rounded) to one decimal, without a
    // trailing zero, in the user's number format, then "%": "33.3%", "50%".
    static QString percentText(qint64 received, qint64 total);
    // Bytes since the previous one-second sample, in the size format, then "/s".
    static QString rateText(qint64 bytesPerSecond);
};
