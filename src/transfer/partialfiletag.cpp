#include "transfer/partialfiletag.h"

#include "transfer/transfermessages.h"

#include <QFile>

#include <sys/xattr.h>

namespace {

constexpr char AttributeName[] = "user.quelm.part";
// A size, "#" and a signature; anything longer was not written here.
constexpr size_t MaxTagLength = 128;

} // namespace

bool PartialFileTag::write(const QString &path, qint64 total, const QByteArray &signature)
{
    const QByteArray value = QByteArray::number(total) + '#' + signature;
    if (static_cast<size_t>(value.size()) > MaxTagLength)
        return false;
    return ::setxattr(QFile::encodeName(path).constData(), AttributeName, value.constData(),
                      static_cast<size_t>(value.size()), 0)
           == 0;
}

std::optional<PartialFileTag::Tag> PartialFileTag::read(const QString &path)
{
    char buffer[MaxTagLength];
    const ssize_t length = ::getxattr(QFile::encodeName(path).constData(), AttributeName, buffer, sizeof buffer);
    if (length <= 0)
        return std::nullopt;
    const QByteArray value(buffer, static_cast<qsizetype>(length));
    const qsizetype hash = value.indexOf('#');
    const std::optional<qint64> total = hash < 0 ? std::nullopt : TransferMessages::parseCount(value.left(hash));
    if (!total)
        return std::nullopt;
    return Tag{*total, value.mid(hash + 1)};
}
