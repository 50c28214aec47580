#pragma once

#include <QString>
#include <QtGlobal>

class DigestTable;

// The on-disk copy of a DigestTable in the program folder, so that a restart
// hashes nothing that did not change.
//
// Layout, integers little-endian: the 8-byte magic "QLMHASH1"; per entry the
// path length (2 bytes), the encoded path, the size and the modification
// time in nanoseconds (8 bytes each) and the 32-byte digest; the entry count
// (8 bytes); last the SHA-256 of everything before it. A file that
// was cut short, altered, or passes the bounds is ignored whole.
class HashCacheFile final
{
public:
    static constexpr qint64 MaxFileBytes = qint64(256) << 20;
    static constexpr int MaxPathBytes = 4096;

    explicit HashCacheFile(QString path);

    const QString &path() const { return m_path; }
    // Replaces the table's entries by the file's. On any fault the table is
    // left empty and false returned.
    bool load(DigestTable &table) const;
    // Writes the table to a temporary file readable by the owner alone and
    // renames it over the cache, so a crash mid-write leaves the old cache.
    bool save(const DigestTable &table) const;

private:
    QString m_path;
};
