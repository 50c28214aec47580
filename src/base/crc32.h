#pragma once

#include <QByteArrayView>

// CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320): the CRC of
// "123456789" is 0xCBF43926.
class Crc32 final
{
public:
    Crc32() = delete;

    static quint32 of(QByteArrayView bytes);
};
