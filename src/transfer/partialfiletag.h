#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What an incomplete file is a part of, kept in an extended attribute of the
// file itself, so that a part a crash left behind can still be keyed for
// the resume store at the next start. Where the file system keeps no such
// attributes, the part simply has no tag.
class PartialFileTag final
{
public:
    struct Tag {
        qint64 total = 0;
        QByteArray signature;
    };

    static bool write(const QString &path, qint64 total, const QByteArray &signature);
    static std::optional<Tag> read(const QString &path);
};
