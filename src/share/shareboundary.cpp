#include "share/shareboundary.h"

#include <QFile>

#include <climits>
#include <cstdlib>

namespace {

QByteArray resolved(const QByteArray &path)
{
    char buffer[PATH_MAX];
    if (path.isEmpty() || ::realpath(path.constData(), buffer) == nullptr)
        return {};
    return QByteArray(buffer);
}

} // namespace

ShareBoundary::ShareBoundary(const QStringList &roots)
{
    for (const QString &root : roots) {
        QByteArray real = resolved(QFile::encodeName(root));
        if (real.isEmpty())
            continue;
        if (!real.endsWith('/'))
            real.append('/');
        m_roots.push_back(std::move(real));
    }
}

bool ShareBoundary::contains(const QString &path) const
{
    return contains(QFile::encodeName(path));
}

bool ShareBoundary::contains(const QByteArray &path) const
{
    const QByteArray real = resolved(path);
    if (real.isEmpty())
        return false;
    for (const QByteArray &root : m_roots) {
        if (real.startsWith(root))
            return true;
    }
    return false;
}
