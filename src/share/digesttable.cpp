#include "share/digesttable.h"

#include <algorithm>
#include <mutex>

QByteArray DigestTable::find(const QByteArray &path, const FileStamp &stamp) const
{
    std::shared_lock lock(m_mutex);
    const auto entry = m_entries.constFind(path);
    if (entry == m_entries.cend() || entry->stamp != stamp)
        return {};
    return QByteArray(entry->digest.data(), static_cast<qsizetype>(entry->digest.size()));
}

bool DigestTable::markCurrent(const QByteArray &path, const FileStamp &stamp, quint32 pass)
{
    std::unique_lock lock(m_mutex);
    const auto entry = m_entries.find(path);
    if (entry == m_entries.end() || entry->stamp != stamp)
        return false;
    entry->pass = pass;
    return true;
}

void DigestTable::insert(const QByteArray &path, const FileStamp &stamp, const QByteArray &digest, quint32 pass)
{
    Entry entry;
    entry.stamp = stamp;
    std::copy_n(digest.constData(), std::min<qsizetype>(digest.size(), entry.digest.size()), entry.digest.begin());
    entry.pass = pass;
    std::unique_lock lock(m_mutex);
    m_entries.insert(path, entry);
}

void DigestTable::removeUnseen(quint32 pass)
{
    std::unique_lock lock(m_mutex);
    m_entries.removeIf([pass](const QHash<QByteArray, Entry>::iterator &entry) { return entry->pass != pass; });
}

void DigestTable::clear()
{
    std::unique_lock lock(m_mutex);
    m_entries.clear();
}

qsizetype DigestTable::size() const
{
    std::shared_lock lock(m_mutex);
    return m_entries.size();
}

void DigestTable::forEach(const std::function<void(const QByteArray &, const Entry &)> &visit) const
{
    std::shared_lock lock(m_mutex);
    for (auto entry = m_entries.cbegin(); entry != m_entries.cend(); ++entry)
        visit(entry.key(), entry.value());
}
