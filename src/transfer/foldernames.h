#pragma once

#include "base/filechangestamp.h"

#include <QString>
#include <QStringList>
#include <optional>

// The file names in one folder, listed again only when the folder changed:
// one stat instead of a listing each time they are asked for. A folder
// changed so recently that a further change might keep its time stamp is
// listed again on the next call as well.
class FolderNames final
{
public:
    explicit FolderNames(QString folder);

    // The files in the folder, hidden ones included, in name order; none
    // when the folder is missing.
    const QStringList &names();
    // This program changed the folder: the next call lists it.
    void invalidate() { m_stamp.reset(); }

private:
    QString m_folder;
    QStringList m_names;
    // The folder as it was listed, kept only while it can be trusted.
    std::optional<FileChangeStamp> m_stamp;
};
