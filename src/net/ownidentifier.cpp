#include "net/ownidentifier.h"

#include "base/crc32.h"

#include <QFile>

#include <cstring>

#include <sys/statfs.h>

namespace {

constexpr int HalfWidth = 4;

QByteArray hexHalf(quint16 half)
{
    QByteArray text = QByteArray::number(half, 16).toUpper().left(HalfWidth);
    return text.leftJustified(HalfWidth, 'A');
}

QByteArray crcHex(const QByteArray &text)
{
    return QByteArray::number(Crc32::of(text), 16).toUpper();
}

} // namespace

QByteArray OwnIdentifier::volumeText(std::optional<quint32> serial)
{
    if (!serial)
        return {};
    return hexHalf(static_cast<quint16>(*serial >> 16)) + '-'
        + hexHalf(static_cast<quint16>(*serial & 0xFFFF));
}

std::optional<quint32> OwnIdentifier::volumeSerial(const QString &folder)
{
    struct statfs info {};
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0)
        return std::nullopt;
    // The first 32-bit word of the file-system id, as glibc lays it out.
    quint32 serial = 0;
    static_assert(sizeof(info.f_fsid) >= sizeof(serial));
    std::memcpy(&serial, &info.f_fsid, sizeof(serial));
    return serial;
}

QByteArray OwnIdentifier::productIdFallback()
{
    QFile file(QStringLiteral("/etc/machine-id"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().trimmed();
}

QByteArray OwnIdentifier::composeOwnId(const QByteArray &volumeText, const QByteArray &productId)
{
    return crcHex(volumeText) + crcHex(productId);
}

QByteArray OwnIdentifier::computeOwnId(const QString &programFolder,
                                       const QByteArray &registryProductId)
{
    const QByteArray product =
        registryProductId.isEmpty() ? productIdFallback() : registryProductId;
    return composeOwnId(volumeText(volumeSerial(programFolder)), product);
}
