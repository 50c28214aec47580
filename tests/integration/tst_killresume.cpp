// A real quelm process serves a file; it is killed half-way through the
// download, started again, and the download resumes through a search.
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "support/runningcopy.h"
#include "support/sharedfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

constexpr qint64 FileSize = 64 << 20;
constexpr qint64 KillAfter = 1 << 20;

bool listensOn(const QString &address, int port)
{
    QTcpSocket probe;
    probe.connectToHost(address, static_cast<quint16>(port));
    return probe.waitForConnected(500);
}

QByteArray digestOf(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex() : QByteArray();
}

} // namespace

class KillResumeTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_serverHome;
    QString m_serverAddress = TestCopy::nextLoopbackAddress();
    QProcess m_server;

    bool startServer()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUELM_HOME"), m_serverHome.path());
        environment.insert(QStringLiteral("QUELM_ADDRESS"), m_serverAddress);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_server.setProcessEnvironment(environment);
        m_server.start(QStringLiteral(QUELM_EXECUTABLE), {});
        return m_server.waitForStarted() && QTest::qWaitFor([this] { return listensOn(m_serverAddress, 1971); }, 20000);
    }

private slots:
    void cleanupTestCase()
    {
        m_server.kill();
        m_server.waitForFinished(5000);
    }

    void aKilledServerLeavesAPartThatResumesAfterItsRestart()
    {
        SettingsStore(m_serverHome.filePath(QStringLiteral("settings/user.ini")),
                      m_serverHome.filePath(QStringLiteral("settings/machine.ini")))
            .set(QLatin1String(SettingNames::Nickname), "server");
        const QString source = m_serverHome.filePath(QStringLiteral("Downloads/big.bin"));
        QDir().mkpath(QFileInfo(source).path());
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(patternBytes(FileSize, 5)) == FileSize);
        file.close();

        RunningCopy alice("alice");
        QVERIFY(alice.started());
        if (alice.core().localPeer().port() != 1971)
            QSKIP("port 1971 is taken on this machine");
        QVERIFY(startServer());

        Transfers &transfers = alice.core().transfers();
        // The server is killed the moment the first megabyte is written.
        bool killed = false;
        connect(&transfers.downloadList(), &QAbstractItemModel::dataChanged, this, [&] {
            for (int row = 0; row < transfers.downloadList().rowCount(); ++row) {
                if (transfers.downloadList().at(row).received >= KillAfter && !killed) {
                    m_server.kill();
                    killed = true;
                }
            }
        });
        // The server indexes its folder after it starts listening: ask until it answers. The
        // process may still show as running a moment after the kill; no attempt may follow it.
        DeadDownloadListModel &ended = transfers.deadDownloadList();
        for (int attempt = 0; attempt < 10 && !killed; ++attempt) {
            const int id = transfers.start("1:big.bin", m_serverAddress);
            (void)QTest::qWaitFor([&] { return transfers.downloadList().rowOf(id) < 0; }, 2000);
            transfers.cancel(id);
        }
        QTRY_COMPARE(m_server.state(), QProcess::NotRunning);
        QCOMPARE(m_server.exitStatus(), QProcess::CrashExit);
        disconnect(&transfers.downloadList(), nullptr, this, nullptr);
        QCOMPARE(ended.data(ended.index(ended.rowCount() - 1, DeadDownloadListModel::StatusColumn)).toString(),
                 QStringLiteral("Remotely Terminated"));
        const QStringList records = QDir(transfers.resumeStore().folder()).entryList(QDir::Files);
        QCOMPARE(records.size(), 1);
        const qint64 parked = QFileInfo(QDir(transfers.resumeStore().folder()).filePath(records.first())).size();
        QVERIFY2(parked >= KillAfter && parked < FileSize, qPrintable(QString::number(parked)));

        QVERIFY(startServer());
        alice.core().network().connections().connectTo(m_serverAddress);
        QTRY_VERIFY_WITH_TIMEOUT(alice.core().network().connections().findConnection(m_serverAddress) >= 0, 10000);
        SearchResultsModel &results = alice.core().sharing().search().results();
        for (int attempt = 0; attempt < 20 && results.rowCount() == 0; ++attempt) {
            transfers.resume(ended.at(ended.rowCount() - 1).id);
            (void)QTest::qWaitFor([&] { return results.rowCount() > 0; }, 1000);
        }
        QCOMPARE(results.rowCount(), 1);
        transfers.start(results.result(0).sharedName, results.result(0).address);
        const int before = ended.rowCount();
        QTRY_VERIFY_WITH_TIMEOUT(ended.rowCount() > before, 30000);
        QCOMPARE(ended.data(ended.index(before, DeadDownloadListModel::StatusColumn)).toString(),
                 QStringLiteral("Complete"));
        QCOMPARE(digestOf(ended.at(before).finishedPath), digestOf(source));
        QVERIFY(QDir(transfers.resumeStore().folder()).entryList(QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(KillResumeTest)
#include "tst_killresume.moc"
