#include "common/hashingprogress.h"

namespace {

// One decimal, except from 100 on, where a tenth says nothing.
QString scaled(qint64 bytes, double unit)
{
    const double value = static_cast<double>(bytes) / unit;
    return QString::number(value, 'f', value >= 100 ? 0 : 1);
}

} // namespace

QString HashingProgress::amountText() const
{
    static constexpr struct
    {
        double size;
        const char *name;
    } units[] = {{1024.0 * 1024 * 1024, "GB"}, {1024.0 * 1024, "MB"}, {1024.0, "KB"}};
    for (const auto &unit : units) {
        if (static_cast<double>(totalBytes) >= unit.size) {
            return scaled(doneBytes, unit.size) + QStringLiteral(" of ") + scaled(totalBytes, unit.size)
                   + QLatin1Char(' ') + QLatin1String(unit.name);
        }
    }
    return QStringLiteral("%1 of %2 Bytes").arg(doneBytes).arg(totalBytes);
}

QString HashingProgress::text() const
{
    return QStringLiteral("Hashing shared files: ") + amountText();
}
