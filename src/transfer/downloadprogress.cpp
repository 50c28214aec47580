#include "transfer/downloadprogress.h"

#include "common/formatsize.h"

#include <QLocale>

#include <limits>

QString DownloadProgress::percentText(qint64 received, qint64 total)
{
    if (total <= 0)
        return received > 0 ? QStringLiteral("100%") : QStringLiteral("0%");
    // Tenths of a percent in integers while received × 1000 fits, which
    // covers every file up to about 9 PB.
    constexpr qint64 ExactLimit = std::numeric_limits<qint64>::max() / 1000;
    const qint64 tenths = received <= ExactLimit
                              ? received * 1000 / total
                              : static_cast<qint64>(static_cast<long double>(received) * 1000 / total);
    const QLocale locale;
    QString text = locale.toString(tenths / 10);
    if (tenths % 10 != 0)
        text += locale.decimalPoint() + QString::number(tenths % 10);
    return text + QLatin1Char('%');
}

QString DownloadProgress::rateText(qint64 bytesPerSecond)
{
    return formatSize(bytesPerSecond) + QLatin1String("/s");
}
