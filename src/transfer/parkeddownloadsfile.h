#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// The downloads parked when the program last ended, kept in one small file
// in the program folder until the next start lists them again. The file is
// replaced in one step, so an end in the middle of a write leaves the old
// list or the new one, and is the owner's alone.
class ParkedDownloadsFile final
{
public:
    static constexpr char FileName[] = "parked-downloads.json";
    // A file larger than this, or entries beyond this count, are not read:
    // a damaged or foreign file costs no more than this.
    static constexpr qint64 MaxFileBytes = 1 << 20;
    static constexpr int MaxEntries = 1000;
    // Longer texts than this in an entry make it unreadable.
    static constexpr int MaxTextLength = 4096;

    struct Entry {
        QString fileName;       // the name the file gets here
        QByteArray sharedName;  // its name on the peer it came from
        QString address;        // that peer
        QString peerNick;       // as that peer announced itself
        qint64 size = 0;
        QByteArray signature;
    };

    explicit ParkedDownloadsFile(const QString &programFolder);

    QString path() const { return m_path; }
    // The entries that can be used, in the order written; none when the file
    // is missing, too large or not a list of entries.
    std::vector<Entry> read() const;
    // Replaces the file with `entries` (at most MaxEntries), or removes it
    // when there are none. False when it could not be written.
    bool write(const std::vector<Entry> &entries) const;

private:
    QString m_path;
};
