#ifndef QUELM_NET_OWNIDENTIFIER_H
#define QUELM_NET_OWNIDENTIFIER_H

#include <QByteArray>
#include <QString>

#include <optional>

// The identifier a copy names itself by: the CRC-32 of a text naming the
// volume that holds the program folder, then the CRC-32 of the machine's
// product identifier, each in upper-case hexadecimal without leading zeros.
// Copies on the same volume of the same machine share it.
class OwnIdentifier final
{
public:
    // "HIGH-LOW", each half of the serial in hexadecimal padded with "A" to
    // four characters (0x00AB gives "ABAA"); "" without a serial.
    static QByteArray volumeText(std::optional<quint32> serial);
    // The file-system id of the volume holding folder, or nothing when it
    // cannot be queried.
    static std::optional<quint32> volumeSerial(const QString &folder);
    // The machine id of the system, "" when it cannot be read.
    static QByteArray productIdFallback();
    static QByteArray composeOwnId(const QByteArray &volumeText, const QByteArray &productId);
    // registryProductId, when not empty, stands in for the machine id.
    static QByteArray computeOwnId(const QString &programFolder,
                                   const QByteArray &registryProductId);
};

#endif
