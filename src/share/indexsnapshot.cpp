#include "share/indexsnapshot.h"

#include "share/searchquery.h"
#include "share/shareboundary.h"

#include <QHashFunctions>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

quint32 nameHash(qint32 root, QByteArrayView relativePath)
{
    return static_cast<quint32>(qHash(relativePath, static_cast<size_t>(root)));
}

} // namespace

bool IndexSnapshot::isShareableName(QByteArrayView name)
{
    if (name.isEmpty() || name.front() == '.')
        return false;
    bool ascii = true;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '\\' || c == '/' || c == ':' || c == '|' || c == '?')
            return false;
        ascii = ascii && byte < 0x80;
    }
    if (ascii)
        return true;
    // A name that is not UTF-8 would not survive the trip to a peer and back.
    return QString::fromUtf8(name).toUtf8() == name;
}

SharedFile IndexSnapshot::makeFile(QByteArray relativePath, qint64 size, qint32 root)
{
    QByteArray searchText = SearchQuery::lowered(relativePath);
    const qsizetype dot = searchText.lastIndexOf('.');
    if (dot >= 0)
        searchText.truncate(dot);
    // Most names are already lower case without an extension: the text then
    // shares the path's bytes.
    if (searchText == relativePath)
        searchText = relativePath;
    return SharedFile{std::move(relativePath), size, root, std::move(searchText)};
}

QString IndexSnapshot::joinPath(const QString &root, const QString &relative)
{
    if (root.endsWith(QLatin1Char('/')))
        return root + relative;
    return root + QLatin1Char('/') + relative;
}

QByteArray IndexSnapshot::sharedName(const SharedFile &file) const
{
    char number[16];
    const char *numberEnd = std::to_chars(number, number + sizeof number, file.root).ptr;
    const qsizetype numberLength = numberEnd - number;
    const QByteArray &path = file.relativePath;

    // One allocation: this runs for every row a search answers.
    QByteArray name(numberLength + 1 + path.size(), Qt::Uninitialized);
    char *out = name.data();
    std::memcpy(out, number, static_cast<size_t>(numberLength));
    out += numberLength;
    *out++ = ':';
    for (const char c : path)
        *out++ = c == '/' ? '\\' : c;
    return name;
}

QString IndexSnapshot::fullPath(const SharedFile &file) const
{
    if (file.root < 1 || file.root > roots.size())
        return {};
    return joinPath(roots.at(file.root - 1), QString::fromUtf8(file.relativePath));
}

std::optional<QString> IndexSnapshot::resolveSharedName(const QByteArray &sharedName) const
{
    constexpr qsizetype MaxDigits = 9;
    const qsizetype colon = sharedName.indexOf(':');
    if (colon < 1 || colon > MaxDigits)
        return std::nullopt;
    qsizetype root = 0;
    for (qsizetype i = 0; i < colon; ++i) {
        const char c = sharedName.at(i);
        if (c < '0' || c > '9')
            return std::nullopt;
        root = root * 10 + (c - '0');
    }
    // An empty root text would turn the relative path into an absolute one.
    if (root < 1 || root > roots.size() || roots.at(root - 1).isEmpty())
        return std::nullopt;

    const QByteArray relative = sharedName.mid(colon + 1);
    // Empty components also catch a leading, trailing or doubled "\".
    const QList<QByteArray> components = relative.split('\\');
    for (const QByteArray &component : components) {
        if (!isShareableName(component))
            return std::nullopt;
    }
    QString path = QString::fromUtf8(relative);
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return joinPath(roots.at(root - 1), path);
}

std::optional<QString> IndexSnapshot::resolveServedPath(const QByteArray &sharedName) const
{
    std::optional<QString> path = resolveSharedName(sharedName);
    if (!path)
        return std::nullopt;
    if (!m_boundary)
        buildBoundary();
    if (!m_boundary->contains(*path))
        return std::nullopt;
    return path;
}

void IndexSnapshot::buildBoundary() const
{
    m_boundary.emplace(roots);
}

void IndexSnapshot::buildNameLookup() const
{
    m_nameLookup.clear();
    m_nameLookup.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i)
        m_nameLookup.emplace_back(nameHash(files[i].root, files[i].relativePath), static_cast<quint32>(i));
    std::sort(m_nameLookup.begin(), m_nameLookup.end());
}

const SharedFile *IndexSnapshot::findSharedFile(const QByteArray &sharedName) const
{
    if (m_nameLookup.size() != files.size())
        buildNameLookup();
    const qsizetype colon = sharedName.indexOf(':');
    bool numeric = false;
    const qint32 root = colon > 0 ? sharedName.left(colon).toInt(&numeric) : 0;
    if (!numeric)
        return nullptr;
    QByteArray relative = sharedName.mid(colon + 1);
    relative.replace('\\', '/');
    const quint32 hash = nameHash(root, relative);
    auto it = std::lower_bound(m_nameLookup.begin(), m_nameLookup.end(), std::make_pair(hash, quint32(0)));
    for (; it != m_nameLookup.end() && it->first == hash; ++it) {
        const SharedFile &file = files[it->second];
        if (file.root == root && file.relativePath == relative)
            return &file;
    }
    return nullptr;
}
