#pragma once

#include "transfer/foldernames.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// Parked first parts of unfinished downloads, one file each in a folder of
// their own. A record's name is its key: the whole file's size, "#" and its
// signature ("n%" in front when that name is taken); its length is the number
// of bytes it holds. The store lives for one run of the program.
class ResumeStore final
{
public:
    static constexpr char FolderName[] = "ForResume";

    explicit ResumeStore(const QString &programFolder);

    QString folder() const { return m_folder; }

    // Moves a partial file into the store, or deletes it when it is empty
    // or its signature gives no key. A file that cannot be moved stays
    // where it is. True when the file left `path`. `source` is the peer the
    // bytes came from, empty when unknown.
    bool parkPartialFile(const QString &path, qint64 total, const QByteArray &signature,
                         const QString &source = QString());
    // The longest record of this file that holds less than all of it and
    // whose first bytes have the signature, or "". A record whose first
    // bytes do not have it is deleted on the way.
    QString findResumeFile(qint64 size, const QByteArray &signature);
    // The peer a record's bytes came from; empty when unknown.
    QString sourceOf(const QString &recordPath) const { return m_sources.value(recordPath); }
    // A record leaves the store (taken over or deleted).
    void forget(const QString &recordPath)
    {
        m_records.invalidate();
        m_sources.remove(recordPath);
    }
    void clearResumeStore();

    // The key a signature is parked under: trimmed and in lower case, of
    // letters and digits only. Empty for a failure signature ("-1" or
    // empty) and for any text that cannot safely be part of a file name.
    static QString keyOf(const QByteArray &signature);
    // Whether the first bytes of a part of a file of `total` bytes have
    // the signature; false when the part is shorter than what the
    // signature covers.
    static bool prefixMatches(const QString &path, qint64 total, const QByteArray &signature);

private:
    QString freeRecordPath(qint64 total, const QString &key) const;

    QString m_folder;
    // The folder listing is the store's index; it is read again only when
    // the folder changed.
    FolderNames m_records;
    QHash<QString, QString> m_sources;
};
