#ifndef QUELM_SHARE_CLSCRC_H
#define QUELM_SHARE_CLSCRC_H

#include <QByteArray>
#include <QString>

// CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320), fed piece by piece.
// Values are the 32-bit pattern read as a signed number, so the CRC of
// "123456789" (0xCBF43926) is -873187034.
class ClsCrc final
{
public:
    // Nonzero selects CRC-32 and reads back as 1; zero selects no digest, so
    // input leaves the value as it is. Setting it clears the register.
    qint16 algorithm() const;
    void setAlgorithm(qint16 algorithm);

    // Presets the register, which makes the value 0.
    void clear();

    qint32 addBytes(const QByteArray &bytes);
    qint32 addString(const QByteArray &text);
    qint32 calculateBytes(const QByteArray &bytes);
    qint32 calculateString(const QByteArray &text);
    // The CRC of the whole file, read in blocks; the cleared value (0) when
    // the file cannot be opened or a read fails.
    qint32 calculateFile(const QString &path);

    qint32 value() const;
    // Continuing to add after setValue(crc of A) gives the crc of A followed
    // by the new input.
    void setValue(qint32 value);

private:
    void feed(const char *data, qint64 length);

    bool m_algorithm = true;
    quint32 m_value = 0;
};

#endif
