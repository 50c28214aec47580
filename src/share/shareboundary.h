#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// The shared roots as the file system resolves them, to tell whether a path
// whose links are followed still lands inside one of them. A link in a
// shared folder that points out of every root is neither listed nor served,
// so sharing a folder never shares what a link in it reaches elsewhere.
class ShareBoundary final
{
public:
    // Roots that do not resolve (missing, empty) bound nothing.
    explicit ShareBoundary(const QStringList &roots);

    bool contains(const QString &path) const;
    // `path` in the file system's encoding.
    bool contains(const QByteArray &path) const;

private:
    std::vector<QByteArray> m_roots;   // resolved, each ending in "/"
};
