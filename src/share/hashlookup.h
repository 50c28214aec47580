#ifndef QUELM_SHARE_HASHLOOKUP_H
#define QUELM_SHARE_HASHLOOKUP_H

#include <QByteArray>
#include <QString>

// Where the serving side finds a shared file's full-content digest.
class HashLookup
{
public:
    virtual ~HashLookup() = default;
    // The 32-byte digest of the file as it is on disk now (same size and
    // modification time as when it was hashed); empty while not yet known.
    virtual QByteArray knownHash(const QString &filePath) const = 0;
};

#endif
