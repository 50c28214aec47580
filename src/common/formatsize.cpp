#include "common/formatsize.h"

namespace {

constexpr qint64 Kilo = 1024;
constexpr qint64 Mega = Kilo * 1024;
constexpr qint64 Giga = Mega * 1024;

// bytes / divisor with two decimals, halves rounded away from zero. Done in
// integers so that exact halves (the divisor is a power of two) round the same
// on every machine; the remainder is scaled on its own so nothing overflows.
QString twoDecimals(qint64 bytes, qint64 divisor, const char *unit)
{
    const qint64 hundredths = bytes / divisor * 100 + (bytes % divisor * 100 + divisor / 2) / divisor;
    return QString::asprintf("%lld.%02lld %s", hundredths / 100, hundredths % 100, unit);
}

} // namespace

QString formatSize(qint64 bytes)
{
    if (bytes >= Giga)
        return twoDecimals(bytes, Giga, "GB");
    if (bytes >= Mega)
        return twoDecimals(bytes, Mega, "MB");
    if (bytes >= Kilo)
        return twoDecimals(bytes, Kilo, "KB");
    if (bytes >= 1)
        return QString::number(bytes) + QStringLiteral(" Bytes");
    return QStringLiteral("0 Bytes");
}
