#pragma once

#include "share/contentdigest.h"
#include "share/filestamp.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <atomic>

// Computes the full-content digest of one file at a time on the calling
// thread, in large sequential reads. The kernel is told each file is read
// once, front to back, and its pages are let go afterwards.
class FileHasher final
{
    Q_DISABLE_COPY_MOVE(FileHasher)

public:
    static constexpr qint64 BlockBytes = qint64(1) << 20;

    struct Result
    {
        QByteArray digest;   // empty when the file could not be read whole, changed meanwhile, or the stop came
        FileStamp stamp;     // the file's stamp when reading began
    };

    // Stops between two blocks once `stop` is set; adds every block read to
    // `bytesRead` when given.
    explicit FileHasher(const std::atomic<bool> &stop, std::atomic<qint64> *bytesRead = nullptr);

    Result hash(const QString &path);

private:
    bool digestContent(int descriptor, qint64 size);

    const std::atomic<bool> &m_stop;
    std::atomic<qint64> *m_bytesRead;
    QByteArray m_buffer;
    ContentDigest m_digest;
};
