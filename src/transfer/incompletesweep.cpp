#include "transfer/incompletesweep.h"

#include "transfer/partialfiletag.h"
#include "transfer/resumestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

IncompleteSweep::Counts IncompleteSweep::sweep(const QString &incompleteFolder, ResumeStore &store,
                                               const QDateTime &now)
{
    Counts counts;
    const QFileInfoList files =
        QDir(incompleteFolder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo &file : files) {
        const QString path = file.filePath();
        const std::optional<PartialFileTag::Tag> tag = PartialFileTag::read(path);
        if (tag && file.size() >= tag->total)
            continue;
        if (tag && ResumeStore::prefixMatches(path, tag->total, tag->signature)
            && store.parkPartialFile(path, tag->total, tag->signature)) {
            ++counts.parked;
            continue;
        }
        if (file.lastModified().secsTo(now) > MaxAgeSeconds && QFile::remove(path))
            ++counts.deleted;
    }
    return counts;
}
