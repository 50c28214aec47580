#include "transfer/parkeddownloadsfile.h"

#include "transfer/resumestore.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <optional>

#include <sys/stat.h>

namespace {

constexpr QLatin1String NameKey("name");
constexpr QLatin1String SharedNameKey("sharedName");
constexpr QLatin1String AddressKey("address");
constexpr QLatin1String NickKey("nick");
constexpr QLatin1String SizeKey("size");
constexpr QLatin1String SignatureKey("signature");

// JSON numbers are doubles: sizes stay exact below 2^53.
constexpr qint64 MaxSize = qint64(1) << 53;

bool fits(const QString &text)
{
    return text.size() <= ParkedDownloadsFile::MaxTextLength;
}

QJsonObject toJson(const ParkedDownloadsFile::Entry &entry)
{
    return {
        {NameKey, entry.fileName},
        {SharedNameKey, QString::fromUtf8(entry.sharedName)},
        {AddressKey, entry.address},
        {NickKey, entry.peerNick},
        {SizeKey, double(entry.size)},
        {SignatureKey, QString::fromLatin1(entry.signature)},
    };
}

// An entry is used only when it names a file that could be searched for again.
std::optional<ParkedDownloadsFile::Entry> fromJson(const QJsonObject &object)
{
    ParkedDownloadsFile::Entry entry;
    entry.fileName = object.value(NameKey).toString();
    const QString sharedName = object.value(SharedNameKey).toString();
    entry.address = object.value(AddressKey).toString();
    entry.peerNick = object.value(NickKey).toString();
    const double size = object.value(SizeKey).toDouble(-1);
    entry.signature = object.value(SignatureKey).toString().toLatin1();
    const bool named = !entry.fileName.isEmpty() && !entry.fileName.contains(QLatin1Char('/'))
                       && entry.fileName != QLatin1String(".") && entry.fileName != QLatin1String("..");
    if (!named || !fits(entry.fileName) || !fits(sharedName) || !fits(entry.peerNick)
        || QHostAddress(entry.address).protocol() != QAbstractSocket::IPv4Protocol || size < 0
        || size >= double(MaxSize) || size != double(qint64(size)) || ResumeStore::keyOf(entry.signature).isEmpty())
        return std::nullopt;
    entry.sharedName = sharedName.toUtf8();
    entry.size = qint64(size);
    return entry;
}

} // namespace

ParkedDownloadsFile::ParkedDownloadsFile(const QString &programFolder)
    : m_path(QDir(programFolder).filePath(QLatin1String(FileName)))
{
}

std::vector<ParkedDownloadsFile::Entry> ParkedDownloadsFile::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileBytes)
        return {};
    const QJsonArray list = QJsonDocument::fromJson(file.read(MaxFileBytes)).array();
    std::vector<Entry> entries;
    for (const QJsonValue &value : list) {
        if (static_cast<int>(entries.size()) >= MaxEntries)
            break;
        if (const std::optional<Entry> entry = fromJson(value.toObject()))
            entries.push_back(*entry);
    }
    return entries;
}

bool ParkedDownloadsFile::write(const std::vector<Entry> &entries) const
{
    if (entries.empty())
        return QFile::remove(m_path) || !QFile::exists(m_path);
    QJsonArray list;
    for (const Entry &entry : entries) {
        if (list.size() >= MaxEntries)
            break;
        list.append(toJson(entry));
    }
    // Written beside the old file and renamed over it.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    ::fchmod(file.handle(), S_IRUSR | S_IWUSR);
    file.write(QJsonDocument(list).toJson(QJsonDocument::Compact));
    return file.commit();
}
