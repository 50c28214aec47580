#pragma once

#include <QByteArray>
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

    // Moves a partial file into the store, or deletes it when it is empty.
    // A file that cannot be moved, or whose key cannot be a file name, stays
    // where it is. True when the file left `path`.
    bool parkPartialFile(const QString &path, qint64 total, const QByteArray &signature) const;
    // The longest record of this file that holds less than all of it, or "".
    QString findResumeFile(qint64 size, const QByteArray &signature) const;
    void clearResumeStore() const;

    // Whether a signature can be part of a record's name.
    static bool isUsableKey(const QByteArray &signature);

private:
    QString freeRecordPath(qint64 total, const QByteArray &signature) const;

    QString m_folder;
};
