#pragma once

#include "share/filestamp.h"

#include <QByteArray>
#include <QHash>
#include <QtGlobal>
#include <array>
#include <functional>
#include <shared_mutex>

// Full-content digests of local files, keyed by the file's encoded path and
// valid for one stamp (size and modification time). Safe to use from several
// threads: lookups share a lock, changes take it alone.
//
// Every entry carries the number of the last hashing pass that found its
// file still shared, so a pass can drop what left the shares.
class DigestTable final
{
    Q_DISABLE_COPY_MOVE(DigestTable)

public:
    using Digest = std::array<char, 32>;

    struct Entry
    {
        FileStamp stamp;
        Digest digest{};
        quint32 pass = 0;
    };

    DigestTable() = default;

    // The digest of `path` when it was taken at `stamp`; empty otherwise.
    QByteArray find(const QByteArray &path, const FileStamp &stamp) const;
    // True when `path` has a digest for `stamp`; the entry is then marked as
    // seen in `pass`.
    bool markCurrent(const QByteArray &path, const FileStamp &stamp, quint32 pass);
    // `digest` must be 32 bytes long.
    void insert(const QByteArray &path, const FileStamp &stamp, const QByteArray &digest, quint32 pass);
    // Removes every entry not seen in `pass`.
    void removeUnseen(quint32 pass);
    void clear();
    qsizetype size() const;
    // Calls `visit` for each entry, holding the shared lock throughout.
    void forEach(const std::function<void(const QByteArray &path, const Entry &entry)> &visit) const;

private:
    mutable std::shared_mutex m_mutex;
    QHash<QByteArray, Entry> m_entries;
};
