#include "share/folderwalker.h"

#include <QFile>
#include <QString>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Listing is bound by stat calls; past a few threads the file system's locks
// take the gain.
constexpr int MaxThreads = 4;

struct Entry
{
    quint32 offset = 0;   // into the listing's name text
    quint32 length = 0;
    qint64 size = 0;
    bool ascii = true;
};

int asciiLower(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
}

int compareAsciiIgnoringCase(std::string_view a, std::string_view b)
{
    const size_t length = std::min(a.size(), b.size());
    for (size_t i = 0; i < length; ++i) {
        const int ca = asciiLower(a[i]);
        const int cb = asciiLower(b[i]);
        if (ca != cb)
            return ca - cb;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

QString wide(std::string_view name)
{
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// Letter case ignored; names equal but for case fall back to their bytes so
// the order is total and every run lists a folder the same way. On ASCII
// names the quick comparison agrees with the Unicode one, so the order stays
// consistent when the two mix.
bool nameLess(std::string_view a, bool asciiA, std::string_view b, bool asciiB)
{
    const int order = asciiA && asciiB ? compareAsciiIgnoringCase(a, b)
                                       : QString::compare(wide(a), wide(b), Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

} // namespace

struct FolderWalker::Listing
{
    QByteArray name;   // below the parent; empty for a root
    std::string names; // the file names, back to back
    std::vector<Entry> files;
    std::vector<std::unique_ptr<Listing>> folders;

    std::string_view nameOf(const Entry &entry) const { return std::string_view(names).substr(entry.offset, entry.length); }
};

// A listed folder, kept open while sub-folders still have to be opened from it.
struct FolderWalker::OpenFolder
{
    DIR *dir = nullptr;
    ~OpenFolder() { ::closedir(dir); }
};

struct FolderWalker::Task
{
    Listing *listing = nullptr;
    std::shared_ptr<OpenFolder> parent;   // null for a root, which comes with its descriptor
    int rootFd = -1;
    QByteArray path;                      // of the folder, to resolve the links in it
};

FolderWalker::FolderWalker(const std::atomic<bool> &stop, std::atomic<qint64> *found)
    : m_stop(stop)
    , m_found(found)
{
}

FolderWalker::~FolderWalker() = default;

IndexSnapshot FolderWalker::walk(const QStringList &roots)
{
    IndexSnapshot snapshot;
    snapshot.roots = roots;
    m_fileCount = 0;
    m_boundary = std::make_unique<const ShareBoundary>(roots);

    std::vector<std::unique_ptr<Listing>> rootListings;
    std::vector<Task> tasks;
    for (const QString &root : roots) {
        rootListings.push_back(std::make_unique<Listing>());
        if (root.isEmpty())
            continue;
        // The root itself may be a link: the user named it.
        const QByteArray path = QFile::encodeName(root);
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0)
            tasks.push_back(Task{rootListings.back().get(), nullptr, fd, path});
    }
    pushTasks(tasks);

    const int threadCount = std::clamp(QThread::idealThreadCount(), 1, MaxThreads);
    std::vector<std::thread> helpers;
    for (int i = 1; i < threadCount; ++i)
        helpers.emplace_back([this] { runWorker(); });
    runWorker();
    for (std::thread &helper : helpers)
        helper.join();

    snapshot.files.reserve(static_cast<size_t>(m_fileCount.load()));
    QByteArray prefix;
    for (size_t i = 0; i < rootListings.size(); ++i) {
        prefix.clear();
        appendFiles(*rootListings[i], static_cast<qint32>(i + 1), prefix, snapshot.files);
    }
    snapshot.buildNameLookup();
    snapshot.buildBoundary();
    return snapshot;
}

void FolderWalker::pushTasks(std::vector<Task> &tasks)
{
    if (tasks.empty())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        // Reversed, so the first sub-folder is taken first.
        std::move(tasks.rbegin(), tasks.rend(), std::back_inserter(m_tasks));
        m_unfinished += static_cast<qint64>(tasks.size());
    }
    tasks.clear();
    m_wake.notify_all();
}

void FolderWalker::runWorker()
{
    for (;;) {
        Task task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_tasks.empty() || m_unfinished == 0; });
            if (m_tasks.empty())
                return;
            task = std::move(m_tasks.back());
            m_tasks.pop_back();
        }
        // Once stopped, queued tasks are only drained.
        if (!m_stop.load(std::memory_order_relaxed))
            listFolder(task);
        else if (task.rootFd >= 0)
            ::close(task.rootFd);
        task.parent.reset();
        bool finished = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            finished = --m_unfinished == 0;
        }
        if (finished)
            m_wake.notify_all();
    }
}

void FolderWalker::listFolder(Task &task)
{
    Listing &listing = *task.listing;
    int fd = task.rootFd;
    if (fd < 0) {
        // No following: the entry may have been swapped for a link since it was listed.
        fd = ::openat(::dirfd(task.parent->dir), listing.name.constData(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        task.parent.reset();
        if (fd < 0)
            return;
    }
    auto folder = std::make_shared<OpenFolder>();
    folder->dir = ::fdopendir(fd);
    if (folder->dir == nullptr) {
        ::close(fd);
        return;
    }

    std::vector<Entry> folders;
    while (const dirent *entry = ::readdir(folder->dir)) {
        const char *name = entry->d_name;
        const size_t length = std::strlen(name);
        if (!IndexSnapshot::isShareableName(QByteArrayView(name, static_cast<qsizetype>(length))))
            continue;
        unsigned char type = entry->d_type;
        struct stat info {};
        bool haveInfo = false;
        if (type == DT_UNKNOWN) {
            if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            haveInfo = true;
            type = S_ISLNK(info.st_mode)   ? DT_LNK
                   : S_ISDIR(info.st_mode) ? DT_DIR
                   : S_ISREG(info.st_mode) ? DT_REG
                                           : DT_UNKNOWN;
        }
        if (type == DT_LNK) {
            if (::fstatat(fd, name, &info, 0) != 0 || !S_ISREG(info.st_mode)
                || !m_boundary->contains(QByteArray(task.path + '/' + name)))
                continue;
            haveInfo = true;
            type = DT_REG;
        }
        if (type != DT_DIR && type != DT_REG)
            continue;
        if (type == DT_REG) {
            if (!haveInfo && ::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            // Replaced by something else since it was listed.
            if (!S_ISREG(info.st_mode))
                continue;
        }
        Entry item;
        item.offset = static_cast<quint32>(listing.names.size());
        item.length = static_cast<quint32>(length);
        item.size = type == DT_REG ? static_cast<qint64>(info.st_size) : 0;
        item.ascii = std::all_of(name, name + length, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        listing.names.append(name, length);
        (type == DT_REG ? listing.files : folders).push_back(item);
    }

    const auto less = [&listing](const Entry &a, const Entry &b) {
        return nameLess(listing.nameOf(a), a.ascii, listing.nameOf(b), b.ascii);
    };
    std::sort(listing.files.begin(), listing.files.end(), less);
    std::sort(folders.begin(), folders.end(), less);
    m_fileCount += static_cast<qint64>(listing.files.size());
    if (m_found)
        *m_found += static_cast<qint64>(listing.files.size());

    std::vector<Task> tasks;
    tasks.reserve(folders.size());
    listing.folders.reserve(folders.size());
    for (const Entry &entry : folders) {
        const std::string_view name = listing.nameOf(entry);
        listing.folders.push_back(std::make_unique<Listing>());
        listing.folders.back()->name = QByteArray(name.data(), static_cast<qsizetype>(name.size()));
        tasks.push_back(Task{listing.folders.back().get(), folder, -1, task.path + '/' + listing.folders.back()->name});
    }
    pushTasks(tasks);
}

void FolderWalker::appendFiles(const Listing &listing, qint32 root, QByteArray &prefix, std::vector<SharedFile> &files)
{
    const qsizetype prefixLength = prefix.size();
    for (const std::unique_ptr<Listing> &sub : listing.folders) {
        prefix.append(sub->name).append('/');
        appendFiles(*sub, root, prefix, files);
        prefix.truncate(prefixLength);
    }
    for (const Entry &file : listing.files) {
        // Sized exactly: the index may hold a million of these.
        QByteArray path(prefixLength + static_cast<qsizetype>(file.length), Qt::Uninitialized);
        std::memcpy(path.data(), prefix.constData(), static_cast<size_t>(prefixLength));
        std::memcpy(path.data() + prefixLength, listing.names.data() + file.offset, file.length);
        files.push_back(IndexSnapshot::makeFile(std::move(path), file.size, root));
    }
}
