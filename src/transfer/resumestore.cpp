#include "transfer/resumestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr qsizetype MaxKeyLength = 200;

QString recordName(qint64 total, const QByteArray &signature, int number)
{
    const QString key = QString::number(total) + QLatin1Char('#') + QString::fromUtf8(signature);
    return number == 0 ? key : QString::number(number) + QLatin1Char('%') + key;
}

} // namespace

ResumeStore::ResumeStore(const QString &programFolder)
    : m_folder(QDir(programFolder).filePath(QLatin1String(FolderName)))
{
}

bool ResumeStore::isUsableKey(const QByteArray &signature)
{
    return signature.size() <= MaxKeyLength && !signature.contains('/') && !signature.contains('\0')
           && QString::fromUtf8(signature).toUtf8() == signature;
}

bool ResumeStore::parkPartialFile(const QString &path, qint64 total, const QByteArray &signature) const
{
    const QFileInfo partial(path);
    if (!partial.exists() || partial.size() == 0) {
        QFile::remove(path);
        return true;
    }
    if (!isUsableKey(signature))
        return false;
    QDir().mkpath(m_folder);
    return QFile::rename(path, freeRecordPath(total, signature));
}

QString ResumeStore::freeRecordPath(qint64 total, const QByteArray &signature) const
{
    const QDir dir(m_folder);
    int number = 0;
    QString candidate = dir.filePath(recordName(total, signature, number));
    while (QFileInfo::exists(candidate))
        candidate = dir.filePath(recordName(total, signature, ++number));
    return candidate;
}

QString ResumeStore::findResumeFile(qint64 size, const QByteArray &signature) const
{
    const QString wanted = QString::fromUtf8(signature).trimmed().toLower();
    const QString sizeText = QString::number(size);
    QString best;
    qint64 bestLength = -1;
    const QFileInfoList records = QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo &record : records) {
        const QString name = record.fileName();
        const qsizetype hash = name.indexOf(QLatin1Char('#'));
        if (hash < 0)
            continue;
        QString recordSize = name.left(hash);
        const qsizetype percent = name.indexOf(QLatin1Char('%'));
        if (percent >= 0 && percent < hash)
            recordSize = name.mid(percent + 1, hash - percent - 1);
        const bool matches = recordSize == sizeText && name.mid(hash + 1).trimmed().toLower() == wanted;
        if (matches && record.size() < size && record.size() > bestLength) {
            best = record.filePath();
            bestLength = record.size();
        }
    }
    return best;
}

void ResumeStore::clearResumeStore() const
{
    QDir dir(m_folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        dir.remove(name);
    QDir().rmdir(m_folder);
}
