#pragma once

#include <QString>

// The one-line picture of a download's progress: a bar, the percentage,
// bytes received of the total, the rate and the time left (or, once
// complete, the time it took). A pure function of its inputs.
class ProgressBar final
{
public:
    // Narrow enough that the whole progress line, status included, fits 80 columns.
    static constexpr int BarWidth = 10;

    ProgressBar() = delete;

    // `total` 0 means the size is not known yet; `rate` 0 or less means no
    // current rate, in which case the average since `elapsedMs` is used.
    // Without `withBar` the bar is left out, for a line that must be short.
    static QString text(qint64 received, qint64 total, qint64 rate, qint64 elapsedMs, bool withBar = true);
    // "m:ss", or "h:mm:ss" from an hour on.
    static QString duration(qint64 seconds);

private:
    static QString bar(qint64 received, qint64 total);
    static QString timeText(qint64 received, qint64 total, qint64 speed, qint64 elapsedMs);
    // received / total in whole parts of `scale`.
    static int share(qint64 received, qint64 total, int scale);
    static qint64 effectiveRate(qint64 received, qint64 rate, qint64 elapsedMs);
};
