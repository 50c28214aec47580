#include "share/sharedindex.h"

#include "base/logcategories.h"
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "base/sharedfolderlist.h"
#include "share/filesignature.h"
#include "share/folderwalker.h"

#include <QFile>
#include <QtConcurrent>

#include <sys/stat.h>

SharedIndex::SharedIndex(SettingsStore &settings, const QString &programFolder, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_programFolder(programFolder)
    , m_snapshot(std::make_shared<const IndexSnapshot>())
{
    // One walk at a time; the pool is private so a walk never waits for
    // unrelated work in the global pool.
    m_pool.setMaxThreadCount(1);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &SharedIndex::finishWalk);
    m_progressTimer.setInterval(ProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] { emit walkProgress(m_walkedFiles.load()); });
}

QString SharedIndex::withoutTrailingSlash(const QString &path)
{
    // "/" alone stays: without it the root would be no folder at all.
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        return path.chopped(1);
    return path;
}

SharedIndex::~SharedIndex()
{
    m_stopping.store(true);
    m_pool.waitForDone();
}

void SharedIndex::loadSharedFolders()
{
    if (m_walking) {
        m_rebuildPending = true;
        return;
    }
    startWalk();
}

QStringList SharedIndex::rootFolders() const
{
    QStringList roots;
    roots << withoutTrailingSlash(QString::fromUtf8(m_settings.get(
        QLatin1String(SettingNames::DownloadsFolder), SettingDefaults::downloadsFolder(m_programFolder))));
    for (const QString &folder : SharedFolderList::parse(m_settings.get(QLatin1String(SettingNames::SharedFolders))))
        roots << withoutTrailingSlash(folder);
    return roots;
}

void SharedIndex::startWalk()
{
    // The settings are read now, so a coalesced rebuild sees the latest folders.
    const QStringList roots = rootFolders();
    m_walking = true;
    m_rebuildPending = false;
    m_walkedFiles = 0;
    m_progressTimer.start();
    qCInfo(lcShare) << "walking" << roots.size() << "shared folders";
    emit walkStarted();
    m_watcher.setFuture(QtConcurrent::run(&m_pool, [roots, &stop = m_stopping, &found = m_walkedFiles] {
        FolderWalker walker(stop, &found);
        return std::shared_ptr<const IndexSnapshot>(std::make_shared<IndexSnapshot>(walker.walk(roots)));
    }));
}

void SharedIndex::finishWalk()
{
    m_snapshot = m_watcher.result();
    m_walking = false;
    qCInfo(lcShare) << "index rebuilt:" << count() << "files";
    m_progressTimer.stop();
    // Started before rebuilt() is emitted, so a handler that asks for another
    // rebuild is coalesced into this walk rather than racing it.
    if (m_rebuildPending)
        startWalk();
    emit rebuilt();
}

QByteArray SharedIndex::fileSignature(const QString &fullPath)
{
    struct stat info {};
    qint64 size = -1;
    qint64 modifiedNs = -1;
    // Taken before the file is read: a change during the read then shows on
    // the next call.
    if (::stat(QFile::encodeName(fullPath).constData(), &info) == 0) {
        size = static_cast<qint64>(info.st_size);
        modifiedNs = static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
    const auto cached = m_signatures.constFind(fullPath);
    if (cached != m_signatures.cend() && cached->size == size && cached->modifiedNs == modifiedNs)
        return cached->signature;
    const QByteArray signature = FileSignature::computeFileSignature(fullPath);
    m_signatures.insert(fullPath, CachedSignature{signature, size, modifiedNs});
    return signature;
}
