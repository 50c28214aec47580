#include "share/hashcachefile.h"

#include "base/logcategories.h"
#include "share/contentdigest.h"
#include "share/digesttable.h"

#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr char Magic[] = "QLMHASH1";
constexpr qint64 MagicBytes = 8;

// Reads exact pieces of the file and digests everything read.
class CheckedReader
{
public:
    explicit CheckedReader(QFile &file)
        : m_file(file)
    {
    }

    bool read(char *into, qint64 length)
    {
        if (m_file.read(into, length) != length)
            return false;
        m_digest.addData(into, length);
        return true;
    }

    template <typename Integer>
    bool readInteger(Integer &value)
    {
        char bytes[sizeof(Integer)];
        if (!read(bytes, sizeof bytes))
            return false;
        value = qFromLittleEndian<Integer>(bytes);
        return true;
    }

    // The digest of what was read equals the trailer, and nothing follows.
    bool endsWithDigest()
    {
        const QByteArray expected = m_digest.result();
        return m_file.read(ContentDigest::Length + 1) == expected;
    }

private:
    QFile &m_file;
    ContentDigest m_digest;
};

// Writes through the file's buffer and digests everything written.
class CheckedWriter
{
public:
    explicit CheckedWriter(QFile &file)
        : m_file(file)
    {
    }

    void write(const char *bytes, qint64 length)
    {
        m_ok = m_ok && m_file.write(bytes, length) == length;
        m_digest.addData(bytes, length);
    }

    template <typename Integer>
    void writeInteger(Integer value)
    {
        char bytes[sizeof(Integer)];
        qToLittleEndian<Integer>(value, bytes);
        write(bytes, sizeof bytes);
    }

    bool finish()
    {
        const QByteArray digest = m_digest.result();
        return m_ok && m_file.write(digest) == digest.size() && m_file.flush();
    }

private:
    QFile &m_file;
    ContentDigest m_digest;
    bool m_ok = true;
};

// Entries up to the count and trailer that close the file.
bool readEntries(QFile &file, CheckedReader &reader, DigestTable &table)
{
    const qint64 entriesEnd = file.size() - 8 - ContentDigest::Length;
    QByteArray path;
    char digest[ContentDigest::Length];
    quint64 read = 0;
    while (file.pos() < entriesEnd) {
        quint16 pathLength = 0;
        FileStamp stamp;
        if (!reader.readInteger(pathLength) || pathLength == 0 || pathLength > HashCacheFile::MaxPathBytes)
            return false;
        path.resize(pathLength);
        if (!reader.read(path.data(), pathLength) || !reader.readInteger(stamp.size)
            || !reader.readInteger(stamp.modifiedNs) || !reader.read(digest, sizeof digest))
            return false;
        table.insert(path, stamp, QByteArray::fromRawData(digest, sizeof digest), 0);
        ++read;
    }
    quint64 count = 0;
    return file.pos() == entriesEnd && reader.readInteger(count) && count == read;
}

} // namespace

HashCacheFile::HashCacheFile(QString path)
    : m_path(std::move(path))
{
}

bool HashCacheFile::load(DigestTable &table) const
{
    table.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    CheckedReader reader(file);
    char magic[MagicBytes];
    // The file's length is bounded before anything is kept, and the table
    // never holds more than the file describes.
    const bool ok = file.size() <= MaxFileBytes && reader.read(magic, MagicBytes)
                    && QByteArrayView(magic, MagicBytes) == QByteArrayView(Magic, MagicBytes)
                    && readEntries(file, reader, table) && reader.endsWithDigest();
    if (!ok) {
        qCInfo(lcShare) << "ignoring the hash cache" << m_path << ": cut short or damaged";
        table.clear();
    }
    return ok;
}

bool HashCacheFile::save(const DigestTable &table) const
{
    const QString temporary = m_path + QLatin1String(".new");
    QFile file(temporary);
    file.remove();
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    CheckedWriter writer(file);
    writer.write(Magic, MagicBytes);
    quint64 count = 0;
    table.forEach([&](const QByteArray &path, const DigestTable::Entry &entry) {
        if (path.isEmpty() || path.size() > MaxPathBytes)
            return;
        writer.writeInteger(static_cast<quint16>(path.size()));
        writer.write(path.constData(), path.size());
        writer.writeInteger(entry.stamp.size);
        writer.writeInteger(entry.stamp.modifiedNs);
        writer.write(entry.digest.data(), qint64(entry.digest.size()));
        ++count;
    });
    writer.writeInteger(count);
    const bool written = writer.finish() && ::fsync(file.handle()) == 0;
    file.close();
    if (!written || std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(m_path).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}
