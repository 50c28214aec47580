#include "base/crc32.h"

#include <zlib.h>

quint32 Crc32::of(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const Bytef *>(bytes.data());
    return static_cast<quint32>(crc32_z(crc32(0L, Z_NULL, 0), data, static_cast<z_size_t>(bytes.size())));
}
