#include "share/contentdigest.h"
#include "share/filesignature.h"
#include "share/filetypes.h"
#include "share/hashlookup.h"
#include "support/fakefileserver.h"
#include "support/fakefolderserver.h"
#include "support/fakepeer.h"
#include "support/runningcopy.h"
#include "support/sharedfiles.h"
#include "base/settingnames.h"
#include "daemon/copyreport.h"
#include "shell/exitquestion.h"
#include "transfer/parkeddownloadsfile.h"
#include "transfer/partialfiletag.h"
#include "transfer/transfermessages.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>
#include <cerrno>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace {

const qint64 Block = FileUpload::BlockSize;

QString statusOf(const DeadDownloadListModel &ended, int row, int role = Qt::DisplayRole)
{
    return ended.data(ended.index(row, DeadDownloadListModel::StatusColumn), role).toString();
}

QString nameOf(const DeadDownloadListModel &ended, int row)
{
    return ended.data(ended.index(row, DeadDownloadListModel::LocalFilenameColumn)).toString();
}

QString groupText(FolderDownloads &folders, int id, FolderDownloadModel::Column column)
{
    const FolderDownloadModel &model = folders.model();
    return model.index(model.rowOf(id), column).data().toString();
}

QString fileText(FolderDownloads &folders, int id, int file, FolderDownloadModel::Column column)
{
    const FolderDownloadModel &model = folders.model();
    return model.index(file, column, model.index(model.rowOf(id), 0)).data().toString();
}

bool groupEnded(FolderDownloads &folders, int id)
{
    const FolderDownload *group = folders.group(id);
    return group && group->status() != FolderDownload::Status::Running && group->runningCount() == 0;
}

std::vector<FolderDownload::File> filesOf(const QMap<QByteArray, QByteArray> &files, const QString &address)
{
    std::vector<FolderDownload::File> list;
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        list.push_back({file.key(), address, file.value().size()});
    return list;
}

QByteArray signatureOf(const QByteArray &content)
{
    return FileSignature::md5Text(content.left(FileSignature::signatureLength(content.size())));
}

QByteArray sha256Of(const QByteArray &content)
{
    ContentDigest digest;
    digest.addData(content);
    return digest.result();
}

// The serving side's digests: each file's true one, except files not yet
// hashed and files for which another digest is claimed.
class FakeHashLookup final : public HashLookup
{
public:
    QSet<QString> unhashed;              // by file name
    QMap<QString, QByteArray> claimed;   // by file name

    QByteArray knownHash(const QString &filePath) const override
    {
        const QString name = QFileInfo(filePath).fileName();
        if (unhashed.contains(name))
            return {};
        return claimed.value(name, sha256Of(readWholeFile(filePath)));
    }
};

dev_t deviceOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_dev : 0;
}

} // namespace

class TransfersTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<RunningCopy> m_alice;  // downloads
    std::unique_ptr<RunningCopy> m_bob;    // serves
    FakeHashLookup m_hashes;               // bob's digests

    Transfers &alice() { return m_alice->core().transfers(); }
    Transfers &bob() { return m_bob->core().transfers(); }

    // Starts a download on alice and waits until it is filed; returns its entry's row.
    int downloadFrom(const QString &address, const QByteArray &sharedName)
    {
        DeadDownloadListModel &ended = alice().deadDownloadList();
        const int before = ended.rowCount();
        alice().start(sharedName, address);
        if (!QTest::qWaitFor([&] { return ended.rowCount() > before; }, 20000))
            return -1;
        return before;
    }

    // A column of a running download's row; empty when it does not run.
    QString runningText(int id, DownloadListModel::Column column)
    {
        const DownloadListModel &running = alice().downloadList();
        const int row = running.rowOf(id);
        return row < 0 ? QString() : running.data(running.index(row, column)).toString();
    }

    // A copy of a download; a blank one when there is none with this id.
    Download downloadOf(int id)
    {
        const Download *download = alice().download(id);
        return download ? *download : Download();
    }

    QString downloaded(const QString &name) const
    {
        return QDir(m_alice->core().transfers().downloadsFolder()).filePath(name);
    }

    std::unique_ptr<FakeFileServer> fakeServer()
    {
        return std::make_unique<FakeFileServer>(m_alice->core().localPeer().port());
    }

    // A download on alice from a hand-driven server that has received the
    // file-information request; null when it did not come.
    std::unique_ptr<FakeFileServer> fakeDownload(int &id, const QByteArray &sharedName = "1:x.bin")
    {
        auto fake = fakeServer();
        id = alice().start(sharedName, fake->address());
        if (!fake->waitForConnection()
            || !QTest::qWaitFor([&] { return fake->received().startsWith("getfileinfo:"); }, 5000))
            return nullptr;
        return fake;
    }

    // A download on alice from a hand-driven server that has told the file's
    // size and signature and been asked for the data; null when it was not.
    std::unique_ptr<FakeFileServer> dataRequested(int &id, const QByteArray &content,
                                                  const QByteArray &sharedName = "1:x.bin")
    {
        return dataRequested(id, content.size(), signatureOf(content), sharedName);
    }

    std::unique_ptr<FakeFileServer> dataRequested(int &id, qint64 size, const QByteArray &signature,
                                                  const QByteArray &sharedName = "1:x.bin")
    {
        auto fake = fakeDownload(id, sharedName);
        if (!fake)
            return nullptr;
        fake->send(TransferMessages::fileInfo(size, "fake", signature));
        if (!QTest::qWaitFor([&] { return fake->received().contains("getfile:"); }, 5000))
            return nullptr;
        return fake;
    }

    // The first half of `content` with `mark` at `at`, past the signature's
    // bytes, so that a file shows whether it came from this part.
    static QByteArray markedHalf(const QByteArray &content, qsizetype at, const QByteArray &mark)
    {
        return content.left(content.size() / 2).replace(at, mark.size(), mark);
    }

    // A raw requester that asks bob for a file and then reads nothing, so
    // an upload to it stays under way.
    std::unique_ptr<QTcpSocket> stalledRequester(const QByteArray &sharedName) { return stalledRequester(*m_bob, sharedName); }

    static std::unique_ptr<QTcpSocket> stalledRequester(RunningCopy &server, const QByteArray &sharedName)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->setReadBufferSize(1);
        socket->bind(QHostAddress(TestCopy::nextLoopbackAddress()), 0);
        socket->connectToHost(server.address(), static_cast<quint16>(server.core().localPeer().port()));
        if (!socket->waitForConnected(3000))
            return nullptr;
        socket->write(TransferMessages::fileRequest(sharedName, 0));
        socket->flush();
        return socket;
    }

    // A requester that reads what it is told while it waits.
    std::unique_ptr<FakePeer> waitingRequester(const QByteArray &sharedName,
                                               const QString &from = TestCopy::nextLoopbackAddress())
    {
        return waitingRequester(*m_bob, sharedName, from);
    }

    static std::unique_ptr<FakePeer> waitingRequester(RunningCopy &server, const QByteArray &sharedName,
                                                      const QString &from)
    {
        auto peer = std::make_unique<FakePeer>("F00D", from);
        if (!peer->connectTo(server.address(), server.core().localPeer().port()))
            return nullptr;
        peer->sendRaw(TransferMessages::fileRequest(sharedName, 0));
        return peer;
    }

    // Links alice and bob, which both offer digests; bob's come from m_hashes.
    bool linkForDigests()
    {
        bob().digests().setHashLookup(&m_hashes);
        m_alice->core().network().connections().connectTo(m_bob->address());
        return QTest::qWaitFor([&] { return alice().digests().offeredBy(m_bob->address()); }, 10000);
    }

    static QString verifiedText(const QByteArray &content)
    {
        return QLatin1String("verified (SHA-256 ") + QString::fromLatin1(sha256Of(content).toHex().left(16)) + ')';
    }

private slots:
    void initTestCase()
    {
        m_alice = std::make_unique<RunningCopy>("alice");
        m_bob = std::make_unique<RunningCopy>("bob");
        QVERIFY(m_alice->started() && m_bob->started());
        QVERIFY(shareFiles(*m_bob, {{"empty.txt", {}},
                                    {"one.bin", patternBytes(1)},
                                    {"block.bin", patternBytes(2 * Block)},
                                    {"above.bin", patternBytes(2 * Block + 1)},
                                    {"music/song.mp3", patternBytes(300000, 7)},
                                    {"big.bin", patternBytes(48 << 20, 3)}}));
    }

    // Every case starts with no download running and nothing filed.
    void cleanup()
    {
        FolderDownloadModel &groups = alice().folders().model();
        for (int row = 0; row < groups.rowCount(); ++row)
            alice().folders().cancel(groups.index(row, 0).data(FolderDownloadModel::GroupIdRole).toInt());
        while (alice().downloadList().rowCount() > 0)
            alice().cancel(alice().downloadList().at(0).id);
        alice().clearEnded();
    }

    void freshDownloadsArriveWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("sharedName");
        QTest::newRow("zero bytes") << "empty.txt" << QByteArray("1:empty.txt");
        QTest::newRow("one byte") << "one.bin" << QByteArray("1:one.bin");
        QTest::newRow("multiple of the block") << "block.bin" << QByteArray("1:block.bin");
        QTest::newRow("one byte above") << "above.bin" << QByteArray("1:above.bin");
        QTest::newRow("in a folder") << "song.mp3" << QByteArray("1:music\\song.mp3");
    }

    void freshDownloadsArriveWhole()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, sharedName);
        const QByteArray source = readWholeFile(bob().downloadsFolder() + QLatin1Char('/') +
                                                QString::fromUtf8(sharedName.mid(2)).replace('\\', '/'));
        const int row = downloadFrom(m_bob->address(), sharedName);
        QVERIFY(row >= 0);
        const DeadDownloadListModel &ended = alice().deadDownloadList();
        QCOMPARE(statusOf(ended, row), QStringLiteral("Complete"));
        QCOMPARE(nameOf(ended, row), name);
        QCOMPARE(readWholeFile(ended.at(row).finishedPath), source);
        QCOMPARE(ended.at(row).finishedPath, downloaded(name));
        QCOMPARE(alice().downloadList().rowCount(), 0);
        QVERIFY(QDir(alice().incompleteFolder()).entryList(QDir::Files).isEmpty());
        QFile::remove(downloaded(name));
    }

    void takenNamesAreNumberedInBothFolders()
    {
        QFile(downloaded("one.bin")).open(QIODevice::WriteOnly);
        QFile(alice().incompleteFolder() + "/one.bin").open(QIODevice::WriteOnly);
        const int row = downloadFrom(m_bob->address(), "1:one.bin");
        QCOMPARE(nameOf(alice().deadDownloadList(), row), QStringLiteral("(1) one.bin"));
        QCOMPARE(readWholeFile(downloaded("(1) one.bin")), patternBytes(1));
        // The file left behind in the working folder is neither used nor removed.
        QVERIFY(QFile::exists(alice().incompleteFolder() + "/one.bin"));
        QFile::remove(alice().incompleteFolder() + "/one.bin");
    }

    void twoDownloadsOfOneNameAtOnceKeepTheirOwnFiles()
    {
        DeadDownloadListModel &ended = alice().deadDownloadList();
        alice().start("1:above.bin", m_bob->address());
        alice().start("1:above.bin", m_bob->address());
        QTRY_COMPARE_WITH_TIMEOUT(ended.rowCount(), 2, 20000);
        QStringList names;
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(statusOf(ended, row), QStringLiteral("Complete"));
            QCOMPARE(readWholeFile(ended.at(row).finishedPath), patternBytes(2 * Block + 1));
            names << nameOf(ended, row);
        }
        names.sort();
        QCOMPARE(names, QStringList({"(1) above.bin", "above.bin"}));
        QFile::remove(downloaded("above.bin"));
        QFile::remove(downloaded("(1) above.bin"));
    }

    void aFailedMoveKeepsTheFinishedFile()
    {
        // A downloads folder that cannot be made: a regular file stands in its path.
        QTemporaryDir blocked;
        QFile(blocked.filePath("file")).open(QIODevice::WriteOnly);
        const QByteArray usual = alice().downloadsFolder().toUtf8();
        SettingsStore &settings = m_alice->core().settings();
        settings.set(QLatin1String(SettingNames::DownloadsFolder), blocked.filePath("file/Downloads").toUtf8());
        const int row = downloadFrom(m_bob->address(), "1:music\\song.mp3");
        settings.set(QLatin1String(SettingNames::DownloadsFolder), usual);
        QVERIFY(row >= 0);
        QCOMPARE(statusOf(alice().deadDownloadList(), row), QStringLiteral("Error (move)"));
        const QString kept = alice().incompleteFolder() + "/song.mp3";
        const QString toolTip = statusOf(alice().deadDownloadList(), row, Qt::ToolTipRole);
        QVERIFY2(toolTip.contains(kept), qPrintable(toolTip));
        QCOMPARE(readWholeFile(kept), patternBytes(300000, 7));
        QFile::remove(kept);
    }

    // A finished file is copied to another file system off the event loop's
    // thread: the loop keeps turning between the last byte and the filing.
    void aMoveToAnotherFileSystemLeavesTheEventLoopFree()
    {
        QTemporaryDir elsewhere(QStringLiteral("/dev/shm/quelm-downloads-XXXXXX"));
        if (!elsewhere.isValid() || deviceOf(elsewhere.path()) == deviceOf(alice().incompleteFolder()))
            QSKIP("no second file system here");
        SettingsStore &settings = m_alice->core().settings();
        const QByteArray usual = alice().downloadsFolder().toUtf8();
        settings.set(QLatin1String(SettingNames::DownloadsFolder), elsewhere.path().toUtf8());
        int turns = -1;
        int turnsWhenFiled = -1;
        QTimer turn;
        turn.setInterval(0);
        connect(&turn, &QTimer::timeout, this, [&] { ++turns; });
        const QMetaObject::Connection lastByte = connect(&alice().downloadList(), &QAbstractItemModel::rowsRemoved,
                                                         this, [&] { turns = 0; turn.start(); });
        const QMetaObject::Connection filed = connect(&alice(), &Transfers::downloadEnded, this,
                                                      [&] { turnsWhenFiled = turns; });
        const int row = downloadFrom(m_bob->address(), "1:big.bin");
        settings.set(QLatin1String(SettingNames::DownloadsFolder), usual);
        disconnect(lastByte);
        disconnect(filed);
        QVERIFY(row >= 0);
        QCOMPARE(statusOf(alice().deadDownloadList(), row), QStringLiteral("Complete"));
        QVERIFY2(turnsWhenFiled > 0, qPrintable(QString::number(turnsWhenFiled)));
        QCOMPARE(QFileInfo(alice().deadDownloadList().at(row).finishedPath).size(), qint64(48 << 20));
        QVERIFY(QDir(alice().incompleteFolder()).entryList(QDir::Files).isEmpty());
    }

    void aSecondRequesterWaitsAndHearsItsPosition()
    {
        UploadServer &queue = bob().uploads();
        auto first = stalledRequester("1:big.bin");
        QVERIFY(first);
        QTRY_COMPARE(int(queue.queue().size()), 1);
        QCOMPARE(queue.queue().front().state, UploadServer::EntryState::Sending);

        const int id = alice().start("1:one.bin", m_bob->address());
        QTRY_COMPARE(runningText(id, DownloadListModel::StatusColumn), QStringLiteral("Queued (1)"));
        QCOMPARE(int(queue.queue().size()), 2);

        // The stalled requester goes away: the waiting one is served at once, not at the next tick.
        first.reset();
        QTRY_COMPARE_WITH_TIMEOUT(alice().deadDownloadList().rowCount(), 1, 20000);
        QCOMPARE(statusOf(alice().deadDownloadList(), 0), QStringLiteral("Complete"));
        QTRY_VERIFY(queue.queue().empty());
        QFile::remove(downloaded("one.bin"));
    }

    void positionsMoveUpWhenAWaitingRequesterLeaves()
    {
        UploadServer &queue = bob().uploads();
        auto head = stalledRequester("1:big.bin");
        QVERIFY(head);
        QTRY_COMPARE(int(queue.queue().size()), 1);
        auto second = waitingRequester("1:one.bin");
        auto third = waitingRequester("1:one.bin");
        QVERIFY(second && third);
        QTRY_COMPARE(int(queue.queue().size()), 3);
        QTRY_COMPARE(second->raw(), QByteArray("wait:1|"));
        QTRY_COMPARE(third->raw(), QByteArray("wait:2|"));
        second.reset();
        // The entry ends at once; the next tick sweeps it and tells the rest.
        QTRY_COMPARE(queue.queue().at(1).state, UploadServer::EntryState::Ended);
        third->raw().clear();
        queue.queTick();
        QCOMPARE(int(queue.queue().size()), 2);
        QTRY_COMPARE(third->raw(), QByteArray("wait:1|"));
        QCOMPARE(queue.queue().front().state, UploadServer::EntryState::Sending);
        head.reset();
        third.reset();
        QTRY_VERIFY(queue.queue().empty());
    }

    void aReusedConnectionIndexDropsTheOldEntry()
    {
        UploadServer &queue = bob().uploads();
        auto head = stalledRequester("1:big.bin");
        QVERIFY(head);
        QTRY_COMPARE(int(queue.queue().size()), 1);
        auto gone = waitingRequester("1:one.bin");
        QVERIFY(gone);
        QTRY_COMPARE(int(queue.queue().size()), 2);
        const int index = queue.queue().at(1).index;
        gone.reset();
        QTRY_COMPARE(queue.queue().at(1).state, UploadServer::EntryState::Ended);
        // A requester from another address takes the same connection slot.
        auto next = waitingRequester("1:one.bin");
        QVERIFY(next);
        QTRY_COMPARE(int(queue.queue().size()), 3);
        QCOMPARE(queue.queue().at(2).index, index);
        QVERIFY(queue.queue().at(2).address != queue.queue().at(1).address);
        QTRY_COMPARE(next->raw(), QByteArray("wait:2|"));
        next->raw().clear();
        queue.queTick();
        QCOMPARE(int(queue.queue().size()), 2);
        QCOMPARE(queue.queue().at(1).address, next->socket().localAddress().toString());
        QTRY_COMPARE(next->raw(), QByteArray("wait:1|"));
        head.reset();
        next.reset();
        QTRY_VERIFY(queue.queue().empty());
    }

    // Their connections come in a burst, faster than each names its request.
    void manyDownloadsFromOnePeerAtOnceAllComplete()
    {
        constexpr int Downloads = 40;
        for (int i = 0; i < Downloads; ++i)
            alice().start("1:one.bin", m_bob->address());
        DeadDownloadListModel &ended = alice().deadDownloadList();
        QTRY_COMPARE_WITH_TIMEOUT(ended.rowCount(), Downloads, 30000);
        for (int row = 0; row < Downloads; ++row) {
            QCOMPARE(statusOf(ended, row), QStringLiteral("Complete"));
            QFile::remove(ended.at(row).finishedPath);
        }
    }

    void requestsBeyondAFairShareGiveWayToOtherAddresses()
    {
        UploadServer &queue = bob().uploads();
        auto head = stalledRequester("1:big.bin");
        QVERIFY(head);
        QTRY_COMPARE(int(queue.queue().size()), 1);
        std::vector<std::unique_ptr<FakePeer>> crowd;
        const QString crowded = TestCopy::nextLoopbackAddress();
        for (int i = 0; i < UploadServer::FairShare + 2; ++i) {
            crowd.push_back(waitingRequester("1:one.bin", crowded));
            QVERIFY(crowd.back());
            QTRY_COMPARE(int(queue.queue().size()), i + 2);
        }
        auto newcomer = waitingRequester("1:one.bin");
        QVERIFY(newcomer);
        QTRY_VERIFY(newcomer->raw().contains('|'));
        QCOMPARE(newcomer->raw().split('|').first(), "wait:" + QByteArray::number(UploadServer::FairShare + 1));
        head.reset();
        crowd.clear();
        newcomer.reset();
        QTRY_VERIFY(queue.queue().empty());
    }

    void shuttingDownStartsNoUpload()
    {
        RunningCopy carol("carol");
        QVERIFY(carol.started());
        QVERIFY(shareFiles(carol, {{"big.bin", patternBytes(32 << 20)}}));
        UploadServer &queue = carol.core().transfers().uploads();
        auto head = stalledRequester(carol, "1:big.bin");
        QVERIFY(head);
        QTRY_COMPARE(int(queue.queue().size()), 1);
        auto next = waitingRequester(carol, "1:big.bin", TestCopy::nextLoopbackAddress());
        QVERIFY(next);
        QTRY_COMPARE(int(queue.queue().size()), 2);
        QSignalSpy started(&queue, &UploadServer::uploadStarted);
        carol.core().shutDown();
        QCOMPARE(started.count(), 0);
    }

    // A part parked from one peer is taken up by a download from another
    // only when its first bytes have the file's signature, and the entry
    // then says where the part came from.
    void aHalfDownloadParksAndResumesFromAnotherPeer_data()
    {
        QTest::addColumn<int>("poisonedAt");
        QTest::addColumn<bool>("resumed");
        QTest::newRow("bytes past the signature's differ") << 1000 << true;
        QTest::newRow("the signature's bytes differ") << 10 << false;
    }

    void aHalfDownloadParksAndResumesFromAnotherPeer()
    {
        QFETCH(int, poisonedAt);
        QFETCH(bool, resumed);
        const QByteArray content = patternBytes(300000, 7);
        int id = -1;
        auto fake = dataRequested(id, content, "1:music\\song.mp3");
        QVERIFY(fake);
        const QByteArray half = markedHalf(content, poisonedAt, "RESUMEDXXX");
        fake->sendAndClose("GOFILE|" + half);
        QTRY_COMPARE(alice().downloadList().rowOf(id), -1);
        DeadDownloadListModel &ended = alice().deadDownloadList();
        const int parked = ended.rowCount() - 1;
        QCOMPARE(statusOf(ended, parked), QStringLiteral("Remotely Terminated"));
        QCOMPARE(QDir(alice().resumeStore().folder()).entryList(QDir::Files).size(), 1);

        QSignalSpy searches(&m_alice->core().sharing().search(), &SearchService::searchTabRequested);
        QVERIFY(alice().resume(ended.at(parked).id));
        QCOMPARE(searches.count(), 1);
        QCOMPARE(searches.first().first().toByteArray(),
                 "quelmfhsearch " + QByteArray::number(content.size()) + ' ' + signatureOf(content));

        const int row = downloadFrom(m_bob->address(), "1:music\\song.mp3");
        QCOMPARE(statusOf(ended, row), QStringLiteral("Complete"));
        QCOMPARE(readWholeFile(ended.at(row).finishedPath), resumed ? half + content.mid(half.size()) : content);
        QCOMPARE(statusOf(ended, row, Qt::ToolTipRole).contains(QLatin1String("resumed from another peer"),
                                                                Qt::CaseInsensitive),
                 resumed);
        QVERIFY(QDir(alice().resumeStore().folder()).entryList(QDir::Files).isEmpty());
        QFile::remove(ended.at(row).finishedPath);
    }

    void theOutcomeCountsBytesThatCameWithTheClose_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("status");
        QTest::newRow("all bytes, then close") << 5000 << "Complete";
        QTest::newRow("one byte short") << 4999 << "Remotely Terminated";
        QTest::newRow("more than announced") << 6000 << "Complete";
    }

    void theOutcomeCountsBytesThatCameWithTheClose()
    {
        QFETCH(int, sent);
        QFETCH(QString, status);
        const QByteArray content = patternBytes(6000, 11);
        int id = -1;
        auto fake = fakeDownload(id);
        QVERIFY(fake);
        fake->sendAndClose(TransferMessages::fileInfo(5000, "fake", signatureOf(content.left(5000))) + "wait:1|GOFILE|"
                           + content.left(sent));
        DeadDownloadListModel &ended = alice().deadDownloadList();
        QTRY_COMPARE(ended.rowCount(), 1);
        const int row = 0;
        QCOMPARE(statusOf(ended, row), status);
        if (status == QLatin1String("Complete")) {
            QCOMPARE(readWholeFile(ended.at(row).finishedPath), content.left(5000));
            QFile::remove(ended.at(row).finishedPath);
        }
        alice().clearEnded();
    }

    // Every byte arrived but the signature differs: the file stays in the
    // incomplete folder, named in the tooltip, and Clear leaves it there.
    void aFileWithTheWrongSignatureIsNotComplete()
    {
        int id = -1;
        auto fake = dataRequested(id, patternBytes(4096, 1));
        QVERIFY(fake);
        fake->send("GOFILE|" + patternBytes(4096, 2));
        DeadDownloadListModel &ended = alice().deadDownloadList();
        QTRY_COMPARE(ended.rowCount(), 1);
        QCOMPARE(statusOf(ended, 0), QStringLiteral("Error (signature)"));
        const QString kept = alice().incompleteFolder() + "/x.bin";
        QVERIFY2(statusOf(ended, 0, Qt::ToolTipRole).contains(kept), qPrintable(statusOf(ended, 0, Qt::ToolTipRole)));
        QVERIFY(QDir(alice().resumeStore().folder()).entryList(QDir::Files).isEmpty());
        alice().clearEnded();
        QCOMPARE(readWholeFile(kept), patternBytes(4096, 2));
        QFile::remove(kept);
    }

    void cancellingParksWhatArrived_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("before any data") << 0 << QByteArray("sig") << QStringList();
        QTest::newRow("during the data") << 1000 << QByteArray("sig") << QStringList{"5000#sig"};
        // A part that no key can name could never be resumed: it goes.
        QTest::newRow("a signature with a slash") << 1000 << QByteArray("../sig/x") << QStringList();
        QTest::newRow("a failure signature") << 1000 << QByteArray("-1") << QStringList();
    }

    void cancellingParksWhatArrived()
    {
        QFETCH(int, sent);
        QFETCH(QByteArray, signature);
        QFETCH(QStringList, records);
        int id = -1;
        auto fake = dataRequested(id, 5000, signature);
        QVERIFY(fake);
        if (sent > 0) {
            fake->send("GOFILE|" + patternBytes(sent));
            QTRY_COMPARE(downloadOf(id).received, qint64(sent));
            // The part carries what it is a part of, for a start after a crash.
            const std::optional<PartialFileTag::Tag> tag = PartialFileTag::read(downloadOf(id).localPath);
            QVERIFY(tag && tag->total == 5000 && tag->signature == signature);
        }
        alice().cancel(id);
        DeadDownloadListModel &ended = alice().deadDownloadList();
        QCOMPARE(statusOf(ended, ended.rowCount() - 1), QStringLiteral("Cancelled"));
        QTRY_VERIFY(!fake->isConnected());
        QCOMPARE(QDir(alice().resumeStore().folder()).entryList(QDir::Files), records);
        QVERIFY(QDir(alice().incompleteFolder()).entryList(QDir::Files).isEmpty());
        alice().clearEnded();
        // Cancelling what does not run does nothing.
        alice().cancel(id);
        QCOMPARE(ended.rowCount(), 0);
    }

    // A server whose file information cannot be read is not listened to any
    // longer: the download ends at once and its connection closes.
    void malformedFileInformationEndsTheDownloadAtOnce()
    {
        int id = -1;
        auto fake = fakeDownload(id);
        QVERIFY(fake);
        fake->send("fileinfo:" + TransferMessages::encodeTwice("-12|fake|sig") + "|GOFILE|data");
        QTRY_COMPARE(alice().downloadList().rowOf(id), -1);
        QTRY_VERIFY(!fake->isConnected());
        QVERIFY(!fake->received().contains("getfile:"));
        QVERIFY(QDir(alice().incompleteFolder()).entryList(QDir::Files).isEmpty());
        QCOMPARE(statusOf(alice().deadDownloadList(), alice().deadDownloadList().rowCount() - 1),
                 QStringLiteral("Remotely Terminated"));
        alice().clearEnded();
    }

    void theServerAnswersOnlyForSharedFiles_data()
    {
        QTest::addColumn<QByteArray>("sharedName");
        QTest::newRow("climbing out") << QByteArray("1:..\\..\\etc\\passwd");
        QTest::newRow("absolute") << QByteArray("1:\\etc\\passwd");
        QTest::newRow("no such root") << QByteArray("9:one.bin");
        QTest::newRow("not indexed") << QByteArray("1:settings\\user.ini");
    }

    void theServerAnswersOnlyForSharedFiles()
    {
        QFETCH(QByteArray, sharedName);
        FakePeer peer("BEEF", TestCopy::nextLoopbackAddress());
        QVERIFY(peer.connectTo(m_bob->address(), m_bob->core().localPeer().port()));
        peer.sendRaw(TransferMessages::fileInfoRequest(sharedName));
        peer.sendRaw(TransferMessages::fileRequest(sharedName, 0));
        // A file request for something not served closes the connection, unanswered.
        QTRY_VERIFY(!peer.isConnected());
        QVERIFY(peer.raw().isEmpty() && peer.socket().readAll().isEmpty());
    }

    void anOffsetAtTheEndSendsNothing()
    {
        FakePeer peer("BEEF", TestCopy::nextLoopbackAddress());
        QVERIFY(peer.connectTo(m_bob->address(), m_bob->core().localPeer().port()));
        peer.sendRaw(TransferMessages::fileRequest("1:one.bin", 1));
        QTRY_VERIFY(bob().uploads().queue().empty());
        QTest::qWait(50);
        QVERIFY(peer.isConnected());
        QCOMPARE(peer.socket().readAll(), QByteArray());
    }

    void aServersTextsAreShownOnlyAsTheyShouldBe()
    {
        int id = -1;
        auto fake = fakeDownload(id);
        QVERIFY(fake);
        fake->send(TransferMessages::fileInfo(100000, "evil\x1b[2J\nnick" + QByteArray(5000, 'n'), "sig")
                   + "wait:3|");
        QTRY_COMPARE(runningText(id, DownloadListModel::StatusColumn), QStringLiteral("Queued (3)"));
        const QString nickname = runningText(id, DownloadListModel::NicknameColumn);
        QCOMPARE(nickname.size(), SettingsStore::MaxNicknameLength);
        QVERIFY(nickname.startsWith(QStringLiteral("evil\uFFFD[2J\uFFFDnick")));
        // A position that is no number leaves the last one standing.
        fake->send("wait:<b>drop</b>|wait:" + QByteArray(20, '9') + "|wait:1|");
        QTRY_COMPARE(runningText(id, DownloadListModel::StatusColumn), QStringLiteral("Queued (1)"));
        fake->send("wait:x|");
        QTest::qWait(50);
        QCOMPARE(runningText(id, DownloadListModel::StatusColumn), QStringLiteral("Queued (1)"));
    }

    void theRateCountsWhatArrivedSinceTheLastSample()
    {
        int id = -1;
        auto fake = fakeDownload(id);
        QVERIFY(fake);
        fake->send(TransferMessages::fileInfo(100000, "fake", "sig") + "wait:2|");
        QTRY_COMPARE(runningText(id, DownloadListModel::StatusColumn), QStringLiteral("Queued (2)"));
        // Only the samples taken here count: the periodic one would take a sample in between.
        alice().stopProgressTimer();
        Downloader &downloader = alice().downloader();
        downloader.downloadTick();
        QCOMPARE(runningText(id, DownloadListModel::RateColumn), QString());

        fake->send("GOFILE|" + QByteArray(1000, 'r'));
        QTRY_COMPARE(downloadOf(id).received, qint64(1000));
        downloader.downloadTick();
        QCOMPARE(runningText(id, DownloadListModel::RateColumn), QStringLiteral("1000 Bytes/s"));
        // A small piece waits in the socket but counts for the rate.
        fake->send(QByteArray(100, 'r'));
        QTRY_COMPARE(downloadOf(id).pending, qint64(100));
        QCOMPARE(downloadOf(id).received, qint64(1000));
        downloader.downloadTick();
        QCOMPARE(runningText(id, DownloadListModel::RateColumn), QStringLiteral("100 Bytes/s"));
        fake->send(QByteArray(500, 'r'));
        QTRY_COMPARE(downloadOf(id).received, qint64(1600));
        alice().startProgressTimer();
        alice().cancel(id);
        alice().clearEnded();
    }

    // Refreshes within one turn of the event loop reach the views as one
    // change over the rows they touched; a download gone by then is left out.
    void refreshesOfOneTurnAreOneChange()
    {
        DownloadListModel model;
        for (int id = 1; id <= 4; ++id) {
            auto download = std::make_unique<Download>();
            download->id = id;
            model.append(std::move(download));
        }
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const auto rows = [&changed] {
            const QList<QVariant> change = changed.takeFirst();
            return std::make_pair(change.at(0).value<QModelIndex>().row(), change.at(1).value<QModelIndex>().row());
        };
        for (int id : {2, 3, 2, 99})
            model.refresh(id);
        QCOMPARE(changed.count(), 0);
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(rows(), std::make_pair(1, 2));
        model.refresh(1);
        model.refresh(4);
        QVERIFY(model.take(4));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(rows(), std::make_pair(0, 0));
    }

    // A size that the incomplete folder's disk cannot hold is refused
    // before anything is asked for or written.
    void aFileLargerThanTheFreeSpaceIsRefusedAtOnce()
    {
        int id = -1;
        auto fake = fakeDownload(id);
        QVERIFY(fake);
        fake->send(TransferMessages::fileInfo(Q_INT64_C(100000000000000000), "fake", "sig"));
        DeadDownloadListModel &ended = alice().deadDownloadList();
        QTRY_COMPARE(ended.rowCount(), 1);
        QCOMPARE(statusOf(ended, 0), QStringLiteral("Error (disk full)"));
        QVERIFY(statusOf(ended, 0, Qt::ToolTipRole).contains(QLatin1String("are free")));
        QTRY_VERIFY(!fake->isConnected());
        QVERIFY(!fake->received().contains("getfile:"));
        QVERIFY(QDir(alice().incompleteFolder()).entryList(QDir::Files).isEmpty());
    }

    // A disk that fills while the data arrives says so, and what was
    // written is parked.
    void aDiskThatFillsEndsTheDownloadAndKeepsWhatWasWritten()
    {
        const QString incomplete = alice().incompleteFolder();
        QProcess mount;
        mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", incomplete});
        if (!mount.waitForFinished(5000) || mount.exitCode() != 0)
            QSKIP("needs to mount a small file system (root)");
        const QByteArray content = patternBytes(40000, 5);
        int id = -1;
        auto fake = dataRequested(id, content);
        if (fake) {
            // Someone else takes the room after the check.
            QFile filler(incomplete + "/filler");
            filler.open(QIODevice::WriteOnly);
            filler.write(QByteArray(40000, 'f'));
            filler.close();
            fake->send("GOFILE|" + content);
            (void)QTest::qWaitFor([&] { return alice().deadDownloadList().rowCount() == 1; }, 5000);
        }
        QProcess::execute(QStringLiteral("umount"), {incomplete});
        QVERIFY(fake);
        const DeadDownloadListModel &ended = alice().deadDownloadList();
        QCOMPARE(ended.rowCount(), 1);
        QCOMPARE(statusOf(ended, 0), QStringLiteral("Error (disk full)"));
        QVERIFY(statusOf(ended, 0, Qt::ToolTipRole).contains(QLatin1String("is full")));
        const QStringList records = QDir(alice().resumeStore().folder()).entryList(QDir::Files);
        QCOMPARE(records.size(), 1);
        const QByteArray parked = readWholeFile(alice().resumeStore().folder() + QLatin1Char('/') + records.first());
        QVERIFY(parked.size() > 0);
        QCOMPARE(parked, content.left(parked.size()));
    }

    void notificationsFollowTheSetting_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("never") << QByteArray("0") << true << QStringList();
        QTest::newRow("when hidden, hidden") << QByteArray("1") << true << QStringList{"Download Complete"};
        QTest::newRow("when hidden, shown") << QByteArray("1") << false << QStringList();
        QTest::newRow("always") << QByteArray("2") << false << QStringList{"Download Complete"};
        QTest::newRow("other") << QByteArray("3") << true << QStringList();
    }

    void notificationsFollowTheSetting()
    {
        QFETCH(QByteArray, setting);
        QFETCH(bool, hidden);
        QFETCH(QStringList, titles);
        ScriptedPrompter &person = m_alice->person();
        person.balloons.clear();
        person.mainWindowHidden = hidden;
        m_alice->core().settings().set(QLatin1String(SettingNames::ShowDownloadNotifications), setting);
        QCOMPARE(downloadFrom(m_bob->address(), "1:one.bin") >= 0, true);
        QCOMPARE(person.balloonTitles(), titles);
        if (!titles.isEmpty())
            QCOMPARE(person.balloons.first().text, QStringLiteral("Quelm has completed the download of:\r\none.bin"));
        QFile::remove(downloaded("one.bin"));
    }

    // Asked to keep them, the end of the program parks running downloads
    // without a question, the next start lists them as parked, and they go
    // on from their parts once a peer with the file is linked, leaving the
    // search the person sees alone. Not asked,
    // the end asks first and nothing is listed at the next start.
    void exitParksRunningDownloadsOnlyWhenAsked_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::newRow("kept") << true;
        QTest::newRow("not kept") << false;
    }

    void exitParksRunningDownloadsOnlyWhenAsked()
    {
        QFETCH(bool, keep);
        m_alice->core().settings().set(QLatin1String(SettingNames::KeepUnfinishedDownloads), keep ? "1" : "0");
        const QByteArray content = patternBytes(300000, 7);
        int id = -1;
        auto fake = dataRequested(id, content, "1:music\\song.mp3");
        QVERIFY(fake);
        const QByteArray half = markedHalf(content, 1000, "PARKEDXXXX");
        fake->send("GOFILE|" + half);
        // A small last piece may wait in the socket; the part is what was written.
        QTRY_COMPARE(downloadOf(id).received + downloadOf(id).pending, qint64(half.size()));

        ScriptedPrompter &person = m_alice->person();
        person.boxes.clear();
        QVERIFY(m_alice->core().confirmExit());
        QCOMPARE(person.boxTexts(), keep ? QStringList() : QStringList(QLatin1String(ExitQuestion::Text)));
        QVERIFY(m_alice->restart());
        DeadDownloadListModel &ended = alice().deadDownloadList();
        const QString parkedFile = ParkedDownloadsFile(m_alice->core().config().programFolder).path();
        if (!keep) {
            QCOMPARE(ended.rowCount(), 0);
            QVERIFY(!QFile::exists(parkedFile));
            return;
        }
        QCOMPARE(ended.rowCount(), 1);
        QCOMPARE(nameOf(ended, 0), QStringLiteral("song.mp3"));
        QCOMPARE(statusOf(ended, 0), QStringLiteral("Parked"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(parkedFile).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0600);
        // What quelm-cli downloads prints.
        const QJsonObject listed = CopyReport::downloads(m_alice->core()).value(QLatin1String("ended"))[0].toObject();
        QCOMPARE(listed.value(QLatin1String("state")).toString(), QStringLiteral("parked"));

        // Bob tells no digest, so the marked part is not caught and shows in the file.
        bob().digests().setHashLookup(nullptr);
        SearchService &search = m_alice->core().sharing().search();
        search.submitSearch("song", QLatin1String(FileTypes::AllFileTypes));
        m_alice->core().network().connections().connectTo(m_bob->address());
        QTRY_VERIFY_WITH_TIMEOUT(ended.rowCount() == 1 && ended.at(0).state.state() == Download::State::Complete,
                                 30000);
        QCOMPARE(search.currentQuery(), QByteArray("song"));
        QCOMPARE(readWholeFile(ended.at(0).finishedPath), half + content.mid(half.size()));
        QVERIFY(!QFile::exists(parkedFile));
        QVERIFY(QDir(alice().resumeStore().folder()).entryList(QDir::Files).isEmpty());
        QFile::remove(ended.at(0).finishedPath);
    }

    // An old copy (one that does not offer digests) is offered them once and
    // drops the offer; a hand-driven peer speaking only the original messages
    // hears nothing new, and words it does not know are dropped with the
    // link and the stream intact. Downloads from either are not verified.
    void peersWithoutDigestsSeeOnlyTheOriginalMessages()
    {
        RunningCopy carol("carol");
        QVERIFY(carol.started());
        carol.core().transfers().digests().setOffering(false);
        QVERIFY(shareFiles(carol, {{"plain.bin", patternBytes(5000, 4)}}));
        m_alice->core().network().connections().connectTo(carol.address());
        QTRY_VERIFY(m_alice->linkedTo(carol) && carol.linkedTo(*m_alice));
        const int row = downloadFrom(carol.address(), "1:plain.bin");
        const DeadDownloadListModel &ended = alice().deadDownloadList();
        QCOMPARE(statusOf(ended, row), QStringLiteral("Complete"));
        QVERIFY(!alice().digests().offeredBy(carol.address()));
        QVERIFY(statusOf(ended, row, Qt::ToolTipRole).contains("not verified (the serving peer offers no digests)"));
        QVERIFY(m_alice->linkedTo(carol) && carol.linkedTo(*m_alice));
        QFile::remove(ended.at(row).finishedPath);

        QSignalSpy chat(&m_alice->core().network().dispatcher(), &Dispatcher::chatReceived);
        FakePeer peer("F00D", TestCopy::nextLoopbackAddress());
        QVERIFY(peer.connectTo(m_alice->address(), m_alice->core().localPeer().port()));
        peer.sendRaw("uid:F00D!!!!");
        peer.sendFrames({"id/client", "nick:old", "quelmfuture:1", "chat:still here"}, m_alice->id());
        QTRY_COMPARE(chat.count(), 1);
        QTRY_VERIFY(peer.raw().contains("!!!!"));
        QCOMPARE(peer.takeHandshakeLine(), "uid/ns:" + m_alice->id() + "!!!!");
        QList<QByteArray> frames;
        QTRY_VERIFY((frames += peer.takeFrames(m_alice->id())).size() >= 5);
        // Only the greeting's own words; their values depend on earlier cases.
        QList<QByteArray> words;
        for (const QByteArray &frame : frames)
            words.append(frame.contains(':') ? frame.left(frame.indexOf(':') + 1) : frame);
        QCOMPARE(words, QList<QByteArray>({"id/client", "nick:", "fileshared:", "blocked:", "hostlist:"}));
        QVERIFY(peer.isConnected());
    }

    // Bob answers asks with the digest he knows or "none", once he was
    // offered digests, and no more asks per window than the bound.
    void asksAreAnsweredWithinTheirBound()
    {
        bob().digests().setHashLookup(&m_hashes);
        FakePeer peer("BEEF", TestCopy::nextLoopbackAddress());
        QVERIFY(peer.connectTo(m_bob->address(), m_bob->core().localPeer().port()));
        peer.sendRaw("uid:BEEF!!!!");
        QList<QByteArray> asks{"id/client", "nick:asker", "quelmhashes:1", "quelmhashask:1:one.bin",
                               "quelmhashask:1:nowhere.bin"};
        for (int i = 0; i < DigestExchange::MaxAsksPerWindow; ++i)
            asks.append("quelmhashask:1:one.bin");
        peer.sendFrames(asks, m_bob->id());
        QTRY_VERIFY(peer.raw().contains("!!!!"));
        peer.takeHandshakeLine();
        QList<QByteArray> frames;
        QList<QByteArray> answers;
        const auto collect = [&] {
            for (const QByteArray &frame : peer.takeFrames(m_bob->id())) {
                frames.append(frame);
                if (frame.startsWith("quelmhash:"))
                    answers.append(frame);
            }
            return answers.size() >= DigestExchange::MaxAsksPerWindow;
        };
        QTRY_VERIFY(collect());
        QVERIFY(frames.contains("quelmhashes:1"));
        QCOMPARE(answers.size(), DigestExchange::MaxAsksPerWindow);
        QCOMPARE(answers.at(0), "quelmhash:" + sha256Of(patternBytes(1)).toHex() + "|1:one.bin");
        QCOMPARE(answers.at(1), QByteArray("quelmhash:none|1:nowhere.bin"));
        QVERIFY(peer.isConnected());
    }

    // A server whose bytes after the signature's differ from its digest: the
    // file is kept as "Error (hash)" and fetched once more from byte 0; the
    // retry is the last one, and only its outcome is notified.
    void contentThatDiffersFromItsDigestIsFetchedOnceMore_data()
    {
        QTest::addColumn<bool>("fixedForRetry");
        QTest::newRow("right the second time") << true;
        QTest::newRow("wrong again") << false;
    }

    void contentThatDiffersFromItsDigestIsFetchedOnceMore()
    {
        QFETCH(bool, fixedForRetry);
        QVERIFY(linkForDigests());
        const QByteArray content = patternBytes(200000, 5);
        QByteArray tampered = content;
        tampered.replace(150000, 8, "TAMPERED");
        QVERIFY(shareFiles(*m_bob, {{"told.bin", tampered}}));
        m_hashes.claimed.insert("told.bin", sha256Of(content));
        const QString served = bob().downloadsFolder() + "/told.bin";
        m_alice->core().settings().set(QLatin1String(SettingNames::ShowDownloadNotifications), "2");
        m_alice->person().balloons.clear();
        QSignalSpy retries(&alice(), &Transfers::retryStarted);
        QObject guard;
        connect(&alice(), &Transfers::retryStarted, &guard, [&] {
            if (!fixedForRetry)
                return;
            QFile file(served);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        });
        const DeadDownloadListModel &ended = alice().deadDownloadList();
        const int row = downloadFrom(m_bob->address(), "1:told.bin");
        QCOMPARE(statusOf(ended, row), QStringLiteral("Error (hash)"));
        QCOMPARE(readWholeFile(ended.at(row).keptPath), tampered);
        QCOMPARE(retries.count(), 1);
        QTRY_COMPARE(ended.rowCount(), row + 2);
        QCOMPARE(alice().downloadList().rowCount(), 0);
        QCOMPARE(retries.count(), 1);
        QCOMPARE(m_alice->person().balloonTitles(),
                 QStringList(fixedForRetry ? "Download Complete" : "Download Failed"));
        if (fixedForRetry) {
            QCOMPARE(statusOf(ended, row + 1), QStringLiteral("Complete"));
            QCOMPARE(readWholeFile(ended.at(row + 1).finishedPath), content);
            QVERIFY(statusOf(ended, row + 1, Qt::ToolTipRole).contains(verifiedText(content)));
            QFile::remove(ended.at(row + 1).finishedPath);
        } else {
            QCOMPARE(statusOf(ended, row + 1), QStringLiteral("Error (hash)"));
            QCOMPARE(readWholeFile(ended.at(row + 1).keptPath), tampered);
            QFile::remove(ended.at(row + 1).keptPath);
        }
        QFile::remove(ended.at(row).keptPath);
        m_hashes.claimed.clear();
    }

    // A folder's file that fails its digest is fetched again in its place:
    // the group waits for the retry, which lands in the folder.
    void aFolderFileThatFailsItsDigestIsRetriedInTheFolder()
    {
        QVERIFY(linkForDigests());
        const QByteArray content = patternBytes(200000, 6);
        QByteArray tampered = content;
        tampered.replace(150000, 8, "TAMPERED");
        QVERIFY(shareFiles(*m_bob, {{"checked/again.bin", tampered}}));
        m_hashes.claimed.insert("again.bin", sha256Of(content));
        QObject guard;
        connect(&alice(), &Transfers::retryStarted, &guard, [&] {
            QFile file(bob().downloadsFolder() + "/checked/again.bin");
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        });
        FolderDownloads &folders = alice().folders();
        const int id = folders.startFolder(m_bob->address(), "1:checked",
                                           {{"1:checked\\again.bin", m_bob->address(), content.size()}}, "bob");
        QTRY_VERIFY_WITH_TIMEOUT(groupEnded(folders, id), 20000);
        QCOMPARE(alice().downloadList().rowCount(), 0);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::FilesColumn), QStringLiteral("1 of 1"));
        QCOMPARE(readWholeFile(downloaded("checked/again.bin")), content);
        const DeadDownloadListModel &ended = alice().deadDownloadList();
        QFile::remove(ended.at(ended.rowCount() - 2).keptPath);
        QDir(downloaded("checked")).removeRecursively();
        m_hashes.claimed.clear();
    }

    // A parked part whose bytes past the signature's are wrong is taken over,
    // then caught by the digest, and the file fetched whole.
    void aPoisonedParkedPartIsCaught()
    {
        QVERIFY(linkForDigests());
        const QByteArray content = patternBytes(300000, 7);
        int id = -1;
        auto fake = dataRequested(id, content, "1:music\\song.mp3");
        QVERIFY(fake);
        const QByteArray half = markedHalf(content, 1000, "POISONEDXX");
        fake->sendAndClose("GOFILE|" + half);
        QTRY_COMPARE(alice().downloadList().rowOf(id), -1);
        QCOMPARE(QDir(alice().resumeStore().folder()).entryList(QDir::Files).size(), 1);

        const DeadDownloadListModel &ended = alice().deadDownloadList();
        const int row = downloadFrom(m_bob->address(), "1:music\\song.mp3");
        QCOMPARE(statusOf(ended, row), QStringLiteral("Error (hash)"));
        QCOMPARE(readWholeFile(ended.at(row).keptPath), half + content.mid(half.size()));
        QTRY_COMPARE(ended.rowCount(), row + 2);
        QCOMPARE(statusOf(ended, row + 1), QStringLiteral("Complete"));
        QCOMPARE(readWholeFile(ended.at(row + 1).finishedPath), content);
        QVERIFY(statusOf(ended, row + 1, Qt::ToolTipRole).contains(verifiedText(content)));
        QFile::remove(ended.at(row).keptPath);
        QFile::remove(ended.at(row + 1).finishedPath);
    }

    void aFileNotYetHashedIsNotVerified()
    {
        QVERIFY(linkForDigests());
        m_hashes.unhashed.insert("above.bin");
        const int row = downloadFrom(m_bob->address(), "1:above.bin");
        m_hashes.unhashed.clear();
        const DeadDownloadListModel &ended = alice().deadDownloadList();
        QCOMPARE(statusOf(ended, row), QStringLiteral("Complete"));
        QVERIFY(statusOf(ended, row, Qt::ToolTipRole)
                    .contains("not verified (the serving peer has not hashed the file yet)"));
        QFile::remove(ended.at(row).finishedPath);
    }

    // A digest asked for but not told by the last byte: the download waits
    // for it, still running and off its connection, and is checked when it
    // comes; a link that drops ends the wait at once, unverified.
    void aDigestThatComesAfterTheLastByteIsWaitedFor_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("answered") << true;
        QTest::newRow("link dropped") << false;
    }

    void aDigestThatComesAfterTheLastByteIsWaitedFor()
    {
        QFETCH(bool, answered);
        const QByteArray content = patternBytes(5000, 8);
        auto fake = fakeServer();
        FakePeer peer("FEED", fake->address());
        QVERIFY(!peer.greet(m_alice->address(), m_alice->core().localPeer().port()).isEmpty());
        peer.sendFrames({"id/client", "nick:late", "quelmhashes:1"}, m_alice->id());
        QTRY_VERIFY(alice().digests().offeredBy(fake->address()));
        const int id = alice().start("1:late.bin", fake->address());
        QVERIFY(fake->waitForConnection());
        QList<QByteArray> frames;
        QTRY_VERIFY((frames += peer.takeFrames(m_alice->id())).contains("quelmhashask:1:late.bin"));
        QTRY_VERIFY(fake->received().startsWith("getfileinfo:"));
        fake->send(TransferMessages::fileInfo(content.size(), "fake", signatureOf(content)));
        QTRY_VERIFY(fake->received().contains("getfile:"));
        fake->sendAndClose("GOFILE|" + content);
        QTRY_COMPARE(downloadOf(id).received, qint64(content.size()));
        const DeadDownloadListModel &ended = alice().deadDownloadList();
        QCOMPARE(ended.rowCount(), 0);
        QVERIFY(alice().downloadList().rowOf(id) >= 0);
        if (answered)
            peer.sendFrames({"quelmhash:" + sha256Of(content).toHex() + "|1:late.bin"}, m_alice->id());
        else
            peer.socket().abort();
        QTRY_COMPARE(ended.rowCount(), 1);
        QCOMPARE(statusOf(ended, 0), QStringLiteral("Complete"));
        QVERIFY(statusOf(ended, 0, Qt::ToolTipRole)
                    .contains(answered ? verifiedText(content)
                                       : QStringLiteral("not verified (no digest came from the serving peer in time)")));
        QFile::remove(ended.at(0).finishedPath);
    }

    // Nested folders, a name listed twice, names that differ in case only,
    // a file outside the folder and a name already taken here.
    void aFolderArrivesWithItsTreeByteExact()
    {
        const QMap<QString, QByteArray> tree{{"tree/a.bin", patternBytes(3000, 1)},
                                             {"tree/empty.txt", {}},
                                             {"tree/sub/b.bin", patternBytes(70000, 2)},
                                             {"tree/Sub/b.bin", patternBytes(5000, 3)},
                                             {"tree/sub/deep/c.bin", patternBytes(2 * Block + 1, 4)},
                                             {"outside.bin", patternBytes(10, 5)}};
        QVERIFY(shareFiles(*m_bob, tree));
        QDir(downloaded("tree")).mkpath(".");
        QFile(downloaded("tree/a.bin")).open(QIODevice::WriteOnly);
        std::vector<FolderDownload::File> files;
        for (auto file = tree.cbegin(); file != tree.cend(); ++file)
            files.push_back({"1:" + file.key().toUtf8().replace('/', '\\'), m_bob->address(), file.value().size()});
        files.push_back(files.front());
        FolderDownloads &folders = alice().folders();
        const int id = folders.startFolder(m_bob->address(), "1:tree", files, "bob");
        QVERIFY(id > 0);
        QTRY_VERIFY_WITH_TIMEOUT(groupEnded(folders, id), 20000);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::StatusColumn), QStringLiteral("Complete"));
        QCOMPARE(groupText(folders, id, FolderDownloadModel::FilesColumn), QStringLiteral("5 of 5"));
        QCOMPARE(folders.group(id)->bytesDone(), 3000 + 70000 + 5000 + 2 * Block + 1);
        for (auto file = tree.cbegin(); file != tree.cend(); ++file) {
            if (file.key() == QLatin1String("outside.bin"))
                continue;
            const QString local = file.key() == QLatin1String("tree/a.bin") ? "tree/(1) a.bin" : file.key();
            QCOMPARE(readWholeFile(downloaded(local)), file.value());
        }
        QVERIFY(!QFile::exists(downloaded("outside.bin")));
        QDir(downloaded("tree")).removeRecursively();
    }

    void unsafePiecesOfAFolderAreReplaced_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("sharedName");
        QTest::addColumn<QString>("saved");
        QTest::newRow("climbing") << QByteArray("1:dir") << QByteArray("1:dir\\..\\..\\x.bin")
                                  << "dir/download/download/x.bin";
        QTest::newRow("dot") << QByteArray("1:dir") << QByteArray("1:dir\\.\\x.bin") << "dir/download/x.bin";
        QTest::newRow("empty") << QByteArray("1:dir") << QByteArray("1:dir\\\\x.bin") << "dir/download/x.bin";
        QTest::newRow("absolute") << QByteArray("1:dir") << QByteArray("1:dir\\/etc\\x.bin") << "dir/download/x.bin";
        QTest::newRow("nul") << QByteArray("1:dir") << QByteArray("1:dir\\a\0b\\x.bin", 15) << "dir/download/x.bin";
        QTest::newRow("file named ..") << QByteArray("1:dir") << QByteArray("1:dir\\sub\\..") << "dir/sub/download";
        QTest::newRow("folder named ..") << QByteArray("1:..") << QByteArray("1:..\\x.bin") << "download/x.bin";
        QTest::newRow("a root") << QByteArray("1:") << QByteArray("1:x\\y.bin") << "fake/x/y.bin";
    }

    void unsafePiecesOfAFolderAreReplaced()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, sharedName);
        QFETCH(QString, saved);
        const QByteArray content = patternBytes(700, 6);
        FakeFolderServer fake(m_alice->core().localPeer().port(), {{sharedName, content}});
        FolderDownloads &folders = alice().folders();
        const int id = folders.startFolder(fake.address(), folder, {{sharedName, fake.address(), 700}}, "fake");
        QTRY_VERIFY_WITH_TIMEOUT(groupEnded(folders, id), 10000);
        const DeadDownloadListModel &ended = alice().deadDownloadList();
        QCOMPARE(statusOf(ended, ended.rowCount() - 1), QStringLiteral("Complete"));
        QCOMPARE(ended.at(ended.rowCount() - 1).finishedPath, downloaded(saved));
        QCOMPARE(readWholeFile(downloaded(saved)), content);
        QDir(downloaded(saved.section('/', 0, 0))).removeRecursively();
    }

    // The rest wait here, shown so, until a place is free.
    void aPeerIsAskedForAtMostFourFilesOfAFolderAtOnce()
    {
        QMap<QByteArray, QByteArray> files;
        for (int i = 0; i < 10; ++i)
            files.insert("1:many\\" + QByteArray::number(i) + ".bin", patternBytes(1000 + i, i));
        FakeFolderServer fake(m_alice->core().localPeer().port(), files);
        fake.setAnswering(false);
        int mostRunning = 0;
        DownloadListModel &running = alice().downloadList();
        const QMetaObject::Connection watch = connect(&running, &DownloadListModel::rowsInserted, this, [&] {
            mostRunning = qMax(mostRunning, running.rowCount());
        });
        FolderDownloads &folders = alice().folders();
        const int id = folders.startFolder(fake.address(), "1:many", filesOf(files, fake.address()), "fake");
        QTRY_COMPARE(fake.openConnections(), FolderDownloads::MaxOutstandingPerPeer);
        QCOMPARE(folders.waitingCount(), 6);
        QCOMPARE(fileText(folders, id, 9, FolderDownloadModel::StatusColumn), QStringLiteral("Waiting"));
        fake.setAnswering(true);
        QTRY_VERIFY_WITH_TIMEOUT(groupEnded(folders, id), 10000);
        disconnect(watch);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::FilesColumn), QStringLiteral("10 of 10"));
        QCOMPARE(fake.acceptedConnections(), 10);
        QCOMPARE(mostRunning, FolderDownloads::MaxOutstandingPerPeer);
        QDir(downloaded("many")).removeRecursively();
    }

    void cancellingAFolderEndsEveryFileAndAsksForNoMore()
    {
        QMap<QByteArray, QByteArray> files;
        for (int i = 0; i < 10; ++i)
            files.insert("1:many\\" + QByteArray::number(i) + ".bin", patternBytes(100));
        FakeFolderServer fake(m_alice->core().localPeer().port(), files);
        fake.setAnswering(false);
        FolderDownloads &folders = alice().folders();
        const int id = folders.startFolder(fake.address(), "1:many", filesOf(files, fake.address()), "fake");
        QTRY_COMPARE(fake.openConnections(), FolderDownloads::MaxOutstandingPerPeer);
        QSignalSpy ended(&folders, &FolderDownloads::groupEnded);
        folders.cancel(id);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(alice().downloadList().rowCount(), 0);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::StatusColumn), QStringLiteral("Cancelled"));
        for (int file = 0; file < 10; ++file)
            QCOMPARE(fileText(folders, id, file, FolderDownloadModel::StatusColumn), QStringLiteral("Cancelled"));
        QTRY_COMPARE(fake.openConnections(), 0);
        QCOMPARE(fake.acceptedConnections(), FolderDownloads::MaxOutstandingPerPeer);
    }

    // A peer that never tells a file's size gives its places up after a
    // while: the files end as timeouts, and the group's resume asks again.
    void aPeerThatNeverAnswersFreesItsPlaces()
    {
        QMap<QByteArray, QByteArray> files;
        for (int i = 0; i < 6; ++i)
            files.insert("1:mute\\" + QByteArray::number(i) + ".bin", patternBytes(1000 + i, i));
        FakeFolderServer fake(m_alice->core().localPeer().port(), files);
        fake.setAnswering(false);
        FolderDownloads &folders = alice().folders();
        folders.setFileInfoTimeout(300);
        const int id = folders.startFolder(fake.address(), "1:mute", filesOf(files, fake.address()), "fake");
        QTRY_VERIFY_WITH_TIMEOUT(groupEnded(folders, id), 10000);
        folders.setFileInfoTimeout(FolderDownloads::FileInfoTimeoutMs);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::StatusColumn), QStringLiteral("Incomplete"));
        QCOMPARE(fileText(folders, id, 0, FolderDownloadModel::StatusColumn), QStringLiteral("Error (%1)").arg(ETIMEDOUT));
        QTRY_COMPARE(fake.openConnections(), 0);
        fake.setAnswering(true);
        QVERIFY(folders.resume(id));
        QTRY_VERIFY_WITH_TIMEOUT(groupEnded(folders, id), 10000);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::StatusColumn), QStringLiteral("Complete"));
        QDir(downloaded("mute")).removeRecursively();
    }

    // A disk that fills stops the whole group: no more files are asked for,
    // and the files that arrived stay.
    void aDiskThatFillsStopsTheFolder()
    {
        const QString incomplete = alice().incompleteFolder();
        QProcess mount;
        mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", incomplete});
        if (!mount.waitForFinished(5000) || mount.exitCode() != 0)
            QSKIP("needs to mount a small file system (root)");
        QMap<QByteArray, QByteArray> files;
        for (int i = 0; i < 10; ++i)
            files.insert("1:full\\" + QByteArray::number(i) + ".bin", patternBytes(i == 4 ? 200000 : 3000, i));
        FakeFolderServer fake(m_alice->core().localPeer().port(), files);
        FolderDownloads &folders = alice().folders();
        const int id = folders.startFolder(fake.address(), "1:full", filesOf(files, fake.address()), "fake");
        const bool ended = QTest::qWaitFor([&] { return groupEnded(folders, id); }, 10000);
        QProcess::execute(QStringLiteral("umount"), {incomplete});
        QVERIFY(ended);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::StatusColumn), QStringLiteral("Stopped (disk full)"));
        // The fifth file starts once one of the first four completed, and does not fit.
        QVERIFY(folders.group(id)->filesDone() > 0);
        QCOMPARE(fileText(folders, id, 4, FolderDownloadModel::StatusColumn), QStringLiteral("Error (disk full)"));
        QCOMPARE(fileText(folders, id, 9, FolderDownloadModel::StatusColumn), QStringLiteral("Error (disk full)"));
        QVERIFY(fake.acceptedConnections() < 10);
        for (int file = 0; file < 10; ++file) {
            if (fileText(folders, id, file, FolderDownloadModel::StatusColumn) == QLatin1String("Complete"))
                QCOMPARE(readWholeFile(downloaded("full/" + QString::number(file) + ".bin")), patternBytes(3000, file));
        }
        QDir(downloaded("full")).removeRecursively();
    }

    // The rest end unfinished; once the peer is back, one resume fetches
    // them all, taking over the part that arrived.
    void aFolderWhosePeerLeftResumesAsAGroup()
    {
        QMap<QByteArray, QByteArray> files;
        for (int i = 0; i < 8; ++i)
            files.insert("1:gone\\" + QByteArray::number(i) + ".bin", patternBytes(20000 + i, 10 + i));
        FakeFolderServer fake(m_alice->core().localPeer().port(), files);
        fake.leaveAfter(3);
        FolderDownloads &folders = alice().folders();
        const int id = folders.startFolder(fake.address(), "1:gone", filesOf(files, fake.address()), "fake");
        QTRY_VERIFY_WITH_TIMEOUT(groupEnded(folders, id), 10000);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::StatusColumn), QStringLiteral("Incomplete"));
        QCOMPARE(folders.group(id)->filesDone(), 3);
        for (int file = 0; file < 8; ++file) {
            const QString status = fileText(folders, id, file, FolderDownloadModel::StatusColumn);
            QVERIFY2(status == QLatin1String("Complete") || status == QLatin1String("Remotely Terminated")
                         || status.startsWith(QLatin1String("Error (")),
                     qPrintable(status));
        }
        QVERIFY(!QDir(alice().resumeStore().folder()).entryList(QDir::Files).isEmpty());

        QVERIFY(fake.comeBack());
        QVERIFY(folders.resume(id));
        QTRY_VERIFY_WITH_TIMEOUT(groupEnded(folders, id), 10000);
        QCOMPARE(groupText(folders, id, FolderDownloadModel::StatusColumn), QStringLiteral("Complete"));
        for (auto file = files.cbegin(); file != files.cend(); ++file)
            QCOMPARE(readWholeFile(downloaded("gone/" + QString::fromUtf8(file.key().mid(7)))), file.value());
        QVERIFY(QDir(alice().resumeStore().folder()).entryList(QDir::Files).isEmpty());
        QDir(downloaded("gone")).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TransfersTest)
#include "tst_transfers.moc"
