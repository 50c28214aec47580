#include "transfer/prefixsignature.h"

#include "share/filesignature.h"

#include <algorithm>

PrefixSignature::PrefixSignature(qint64 total)
    : m_length(FileSignature::signatureLength(total))
{
}

void PrefixSignature::add(qint64 offset, const char *data, qint64 size)
{
    if (offset != m_hashed || m_hashed >= m_length)
        return;
    const qint64 taken = std::min(size, m_length - m_hashed);
    m_md5.addData(QByteArrayView(data, taken));
    m_hashed += taken;
}

std::optional<QByteArray> PrefixSignature::result() const
{
    if (m_length == 0 || m_hashed < m_length)
        return std::nullopt;
    return m_md5.result().toHex();
}
