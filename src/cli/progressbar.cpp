#include "cli/progressbar.h"

#include "common/formatsize.h"

#include <cmath>

QString ProgressBar::text(qint64 received, qint64 total, qint64 rate, qint64 elapsedMs, bool withBar)
{
    const qint64 speed = effectiveRate(received, rate, elapsedMs);
    const bool known = total > 0;
    const QString percent = known ? QString::number(share(received, total, 100)) + QLatin1Char('%')
                                  : QStringLiteral("?%");
    return (withBar ? bar(received, total) + QLatin1Char(' ') : QString()) + percent.rightJustified(4) + QStringLiteral("  ")
           + formatSize(received) + QStringLiteral(" of ") + (known ? formatSize(total) : QStringLiteral("?"))
           + QStringLiteral("  ") + (speed > 0 ? formatSize(speed) + QStringLiteral("/s") : QStringLiteral("--/s"))
           + QStringLiteral("  ") + timeText(received, total, speed, elapsedMs);
}

QString ProgressBar::timeText(qint64 received, qint64 total, qint64 speed, qint64 elapsedMs)
{
    if (total > 0 && received >= total)
        return QStringLiteral("done in ") + duration(elapsedMs / 1000);
    if (total <= 0 || speed <= 0)
        return QStringLiteral("--:-- left");
    // Whole seconds, rounded up: "0:00 left" would claim the file is in.
    const qint64 remaining = total - received;
    return duration(remaining / speed + (remaining % speed != 0 ? 1 : 0)) + QStringLiteral(" left");
}

QString ProgressBar::duration(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const QString minutesAndSeconds = QStringLiteral("%1:%2")
                                          .arg(seconds / 60 % 60, hours > 0 ? 2 : 1, 10, QLatin1Char('0'))
                                          .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minutesAndSeconds : minutesAndSeconds;
}

QString ProgressBar::bar(qint64 received, qint64 total)
{
    const int filled = share(received, total, BarWidth);
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('-'))
           + QLatin1Char(']');
}

int ProgressBar::share(qint64 received, qint64 total, int scale)
{
    if (total <= 0 || received <= 0)
        return 0;
    if (received >= total)
        return scale;
    // Floating point, since received * scale could overflow for the largest
    // counts; and rounded down and held below `scale`, which must mean that
    // the last byte is in even where a double cannot tell received from total.
    return qMin(scale - 1, int(std::floor(double(scale) * double(received) / double(total))));
}

qint64 ProgressBar::effectiveRate(qint64 received, qint64 rate, qint64 elapsedMs)
{
    if (rate > 0)
        return rate;
    if (elapsedMs <= 0 || received <= 0)
        return 0;
    return qint64(double(received) * 1000.0 / double(elapsedMs));
}
