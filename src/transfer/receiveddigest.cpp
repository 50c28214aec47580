#include "transfer/receiveddigest.h"

#include "share/contentdigest.h"

#include <QFile>
#include <QtConcurrent>

namespace {

constexpr qint64 ReadBlock = 1 << 20;

// Null when the file could not be read up to `length`.
std::shared_ptr<ContentDigest> hashPrefix(const QString &path, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    auto digest = std::make_shared<ContentDigest>();
    QByteArray buffer(static_cast<qsizetype>(qMin(length, ReadBlock)), Qt::Uninitialized);
    qint64 left = length;
    while (left > 0) {
        const qint64 read = file.read(buffer.data(), qMin<qint64>(left, buffer.size()));
        if (read <= 0)
            return nullptr;
        digest->addData(buffer.constData(), read);
        left -= read;
    }
    return digest;
}

} // namespace

ReceivedDigest::ReceivedDigest()
    : m_digest(std::make_shared<ContentDigest>())
{
}

// A worker still hashing a prefix finishes on its own digest; its result is dropped.
ReceivedDigest::~ReceivedDigest() = default;

void ReceivedDigest::startWithPrefix(const QString &path, qint64 length)
{
    m_digest.reset();
    m_prefix = std::make_unique<QFutureWatcher<std::shared_ptr<ContentDigest>>>();
    connect(m_prefix.get(), &QFutureWatcherBase::finished, this, &ReceivedDigest::onPrefixHashed);
    m_prefix->setFuture(QtConcurrent::run(hashPrefix, path, length));
}

void ReceivedDigest::onPrefixHashed()
{
    m_digest = m_prefix->result();
    const bool readWhole = m_digest != nullptr;
    m_broken = m_broken || !readWhole;
    emit prefixReady(readWhole);
}

void ReceivedDigest::add(const char *data, qint64 length)
{
    if (m_digest)
        m_digest->addData(data, length);
    else
        m_broken = true;
}

QByteArray ReceivedDigest::result()
{
    if (m_broken || !m_digest)
        return {};
    return m_digest->result();
}
