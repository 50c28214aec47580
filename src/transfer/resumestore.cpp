#include "transfer/resumestore.h"

#include "common/programfolder.h"
#include "share/filesignature.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr qsizetype MaxKeyLength = 64;

QString recordName(qint64 total, const QString &key, int number)
{
    const QString name = QString::number(total) + QLatin1Char('#') + key;
    return number == 0 ? name : QString::number(number) + QLatin1Char('%') + name;
}

} // namespace

ResumeStore::ResumeStore(const QString &programFolder)
    : m_folder(QDir(programFolder).filePath(QLatin1String(FolderName)))
    , m_records(m_folder)
{
}

QString ResumeStore::keyOf(const QByteArray &signature)
{
    const QByteArray key = signature.trimmed().toLower();
    const bool safe = std::all_of(key.cbegin(), key.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
    });
    if (!safe || key.isEmpty() || key.size() > MaxKeyLength)
        return {};
    return QString::fromLatin1(key);
}

bool ResumeStore::prefixMatches(const QString &path, qint64 total, const QByteArray &signature)
{
    const qint64 length = FileSignature::signatureLength(total);
    QFile part(path);
    if (length == 0 || !part.open(QIODevice::ReadOnly))
        return false;
    const QByteArray prefix = part.read(length);
    return prefix.size() == length && FileSignature::md5Text(prefix) == keyOf(signature).toLatin1();
}

bool ResumeStore::parkPartialFile(const QString &path, qint64 total, const QByteArray &signature,
                                  const QString &source)
{
    const QFileInfo partial(path);
    if (!partial.exists() || partial.size() == 0) {
        QFile::remove(path);
        return true;
    }
    const QString key = keyOf(signature);
    // A part that cannot be keyed could never be found again: it goes
    // rather than staying on the disk.
    if (key.isEmpty())
        return QFile::remove(path);
    ProgramFolder::createPrivateFolder(m_folder);
    const QString record = freeRecordPath(total, key);
    if (!QFile::rename(path, record))
        return false;
    m_records.invalidate();
    m_sources.insert(record, source);
    return true;
}

QString ResumeStore::freeRecordPath(qint64 total, const QString &key) const
{
    const QDir dir(m_folder);
    int number = 0;
    QString candidate = dir.filePath(recordName(total, key, number));
    while (QFileInfo::exists(candidate))
        candidate = dir.filePath(recordName(total, key, ++number));
    return candidate;
}

QString ResumeStore::findResumeFile(qint64 size, const QByteArray &signature)
{
    const QString wanted = keyOf(signature);
    if (wanted.isEmpty())
        return {};
    const QString sizeText = QString::number(size);
    QString best;
    qint64 bestLength = -1;
    const QDir folder(m_folder);
    // A copy: deleting a bad record below lists the folder again.
    const QStringList names = m_records.names();
    for (const QString &name : names) {
        const qsizetype hash = name.indexOf(QLatin1Char('#'));
        if (hash < 0)
            continue;
        QString recordSize = name.left(hash);
        const qsizetype percent = name.indexOf(QLatin1Char('%'));
        if (percent >= 0 && percent < hash)
            recordSize = name.mid(percent + 1, hash - percent - 1);
        if (recordSize != sizeText || name.mid(hash + 1).trimmed().toLower() != wanted)
            continue;
        const QFileInfo record(folder.filePath(name));
        if (!record.isFile() || record.size() >= size || record.size() <= bestLength)
            continue;
        // A part too short to check is left alone; one whose first bytes
        // are not those of the file is never resumed from: whoever sent it
        // lied about what it was.
        if (record.size() < FileSignature::signatureLength(size))
            continue;
        if (!prefixMatches(record.filePath(), size, signature)) {
            QFile::remove(record.filePath());
            m_records.invalidate();
            forget(record.filePath());
            continue;
        }
        best = record.filePath();
        bestLength = record.size();
    }
    return best;
}

void ResumeStore::clearResumeStore()
{
    QDir dir(m_folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        dir.remove(name);
    QDir().rmdir(m_folder);
    m_records.invalidate();
    m_sources.clear();
}
