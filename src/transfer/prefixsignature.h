#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QtGlobal>
#include <optional>

// A download's file signature taken from its bytes as they are written, so
// that checking a finished file does not read it back from the disk. Only
// bytes that continue an unbroken run from the file's first byte count; a
// download that began from a parked part gets no result here.
class PrefixSignature final
{
public:
    explicit PrefixSignature(qint64 total);

    // `size` bytes written at `offset` of the file.
    void add(qint64 offset, const char *data, qint64 size);
    // The signature, once every byte it covers has been added.
    std::optional<QByteArray> result() const;

private:
    QCryptographicHash m_md5{QCryptographicHash::Md5};
    qint64 m_length;
    qint64 m_hashed = 0;
};
