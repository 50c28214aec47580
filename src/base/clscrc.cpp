#include "base/clscrc.h"

#include <QFile>

#include <algorithm>
#include <limits>

#include <zlib.h>

namespace {

constexpr qint64 FileBlockSize = 64 * 1024;

} // namespace

qint16 ClsCrc::algorithm() const
{
    return m_algorithm ? 1 : 0;
}

void ClsCrc::setAlgorithm(qint16 algorithm)
{
    m_algorithm = algorithm != 0;
    clear();
}

void ClsCrc::clear()
{
    // zlib keeps the CRC in its final (inverted) form, so a register preset
    // to 0xFFFFFFFF is the value 0.
    m_value = 0;
}

qint32 ClsCrc::addBytes(const QByteArray &bytes)
{
    feed(bytes.constData(), bytes.size());
    return value();
}

qint32 ClsCrc::addString(const QByteArray &text)
{
    return addBytes(text);
}

qint32 ClsCrc::calculateBytes(const QByteArray &bytes)
{
    clear();
    return addBytes(bytes);
}

qint32 ClsCrc::calculateString(const QByteArray &text)
{
    return calculateBytes(text);
}

qint32 ClsCrc::calculateFile(const QString &path)
{
    clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return value();
    QByteArray block(FileBlockSize, Qt::Uninitialized);
    qint64 got = 0;
    while ((got = file.read(block.data(), block.size())) > 0)
        feed(block.constData(), got);
    if (got < 0)
        clear();
    return value();
}

qint32 ClsCrc::value() const
{
    return static_cast<qint32>(m_value);
}

void ClsCrc::setValue(qint32 value)
{
    m_value = static_cast<quint32>(value);
}

void ClsCrc::feed(const char *data, qint64 length)
{
    if (!m_algorithm)
        return;
    // zlib takes at most a uInt per call.
    constexpr qint64 MaxStep = std::numeric_limits<uInt>::max();
    uLong crc = m_value;
    while (length > 0) {
        const qint64 step = std::min(length, MaxStep);
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data), static_cast<uInt>(step));
        data += step;
        length -= step;
    }
    m_value = static_cast<quint32>(crc);
}
