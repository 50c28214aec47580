#pragma once

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <memory>

class ContentDigest;

// The running digest of one download's file, fed as its bytes are written.
// A download that continues a parked part hashes that part first, on a
// worker thread, so a large part does not hold the event loop.
class ReceivedDigest final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReceivedDigest)

public:
    ReceivedDigest();
    ~ReceivedDigest() override;

    // Hashes the first `length` bytes of `path`; prefixReady() tells when.
    void startWithPrefix(const QString &path, qint64 length);
    void add(const char *data, qint64 length);
    // The digest of everything fed; empty when the bytes fed cannot be
    // trusted to be the file (a prefix unread, data before it was hashed).
    QByteArray result();

signals:
    void prefixReady(bool readWhole);

private:
    void onPrefixHashed();

    std::shared_ptr<ContentDigest> m_digest;
    std::unique_ptr<QFutureWatcher<std::shared_ptr<ContentDigest>>> m_prefix;
    bool m_broken = false;
};
