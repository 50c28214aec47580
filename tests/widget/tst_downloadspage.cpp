#include "support/fakefileserver.h"
#include "support/runningcopy.h"
#include "transfer/transfermessages.h"
#include "ui/downloadspage.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

// Receives what the page asks the desktop to open.
class OpenedUrls : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class DownloadsPageTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<RunningCopy> m_alice;
    OpenedUrls m_opened;

    QPushButton *button(DownloadsPage &page, const char *name)
    {
        return page.findChild<QPushButton *>(QLatin1String(name));
    }

    // A download that received `bytes` of 5000 from a hand-driven server and waits for more.
    int runningDownload(FakeFileServer &server, int bytes)
    {
        Transfers &transfers = m_alice->core().transfers();
        const int id = transfers.start("1:song.mp3", server.address());
        if (!server.waitForConnection() || !QTest::qWaitFor([&] { return !server.received().isEmpty(); }, 5000))
            return -1;
        server.send(TransferMessages::fileInfo(5000, "bob", "sig"));
        (void)QTest::qWaitFor([&] { return server.received().contains("getfile:"); }, 5000);
        server.send("GOFILE|" + QByteArray(bytes, 'x'));
        (void)QTest::qWaitFor(
            [&] { return transfers.download(id) && transfers.download(id)->received == bytes; }, 5000);
        return id;
    }

private slots:
    void initTestCase()
    {
        m_alice = std::make_unique<RunningCopy>("alice");
        QVERIFY(m_alice->started());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_opened, "open");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    void theButtonsActOnTheSelectedRows()
    {
        DownloadsPage page(m_alice->core());
        page.show();
        Transfers &transfers = m_alice->core().transfers();

        FakeFileServer server(m_alice->core().localPeer().port());
        QVERIFY(runningDownload(server, 1000) >= 0);
        QCOMPARE(page.runningView().model()->index(0, DownloadListModel::PercentColumn).data().toString(),
                 QStringLiteral("20%"));

        // Nothing selected: delete does nothing.
        button(page, "deleteButton")->click();
        QCOMPARE(transfers.downloadList().rowCount(), 1);
        page.runningView().selectRow(0);
        QSignalSpy searches(&m_alice->core().sharing().search(), &SearchService::searchTabRequested);
        button(page, "browseButton")->click();
        QCOMPARE(searches.count(), 1);
        QCOMPARE(searches.takeFirst().first().toByteArray(), QByteArray("quelmuserbrowse bob"));
        QSignalSpy windows(&m_alice->core().chat(), &Chat::messageWindowRequested);
        button(page, "messageButton")->click();
        QCOMPARE(windows.count(), 1);
        QCOMPARE(windows.first().first().toString(), server.address());
        button(page, "deleteButton")->click();
        QCOMPARE(transfers.downloadList().rowCount(), 0);

        // The filed entry is selected once the turn is over, so resume works on it.
        QTRY_COMPARE(page.endedView().selectionModel()->selectedRows().value(0).row(), 0);
        QCOMPARE(page.endedView().model()->index(0, 1).data().toString(), QStringLiteral("Cancelled"));
        button(page, "resumeButton")->click();
        QCOMPARE(searches.count(), 1);
        QCOMPARE(searches.first().first().toByteArray(), QByteArray("quelmfhsearch 5000 sig"));
        QCOMPARE(m_alice->core().sharing().search().statusNote(), QStringLiteral("Other copies of song.mp3"));

        button(page, "openFolderButton")->click();
        QCOMPARE(m_opened.urls.last(), QUrl::fromLocalFile(transfers.downloadsFolder()));

        button(page, "clearButton")->click();
        QCOMPARE(transfers.deadDownloadList().rowCount(), 0);
        QVERIFY(!QDir(transfers.resumeStore().folder()).exists());
    }

    void aFailedDownloadSaysWhatHappenedAndWhatToTry()
    {
        DownloadsPage page(m_alice->core());
        QSignalSpy messages(&page, &DownloadsPage::statusMessage);
        QSignalSpy summaries(&page, &DownloadsPage::runningSummaryChanged);
        // Nothing listens at this address: the connection is refused.
        m_alice->core().transfers().start("1:music\\gone.mp3", TestCopy::nextLoopbackAddress());
        QCOMPARE(summaries.value(0).value(0).toString(), QStringLiteral("1 download running"));
        QTRY_COMPARE(messages.count(), 1);
        QCOMPARE(summaries.last().value(0).toString(), QStringLiteral("No downloads running"));

        DeadDownloadListModel &ended = m_alice->core().transfers().deadDownloadList();
        const QModelIndex status = ended.index(ended.rowCount() - 1, DeadDownloadListModel::StatusColumn);
        QCOMPARE(status.data().toString(), QStringLiteral("Error (111)"));
        const QString port = QString::number(m_alice->core().localPeer().port());
        const QString toolTip = status.data(Qt::ToolTipRole).toString();
        QVERIFY2(toolTip.contains("did not accept the connection") && toolTip.contains(port), qPrintable(toolTip));
        const QString message = messages.first().first().toString();
        QVERIFY2(message.contains("gone.mp3") && message.contains("firewall blocks port " + port), qPrintable(message));
        QCOMPARE(status.siblingAtColumn(0).data(Qt::ToolTipRole).toString(), QStringLiteral("1:music\\gone.mp3"));
        m_alice->core().transfers().clearEnded();
    }

    void aDoubleClickOpensAFinishedFile()
    {
        DownloadsPage page(m_alice->core());
        page.show();
        FakeFileServer server(m_alice->core().localPeer().port());
        runningDownload(server, 5000);
        DeadDownloadListModel &ended = m_alice->core().transfers().deadDownloadList();
        QTRY_COMPARE(ended.rowCount(), 1);
        QCOMPARE(ended.data(ended.index(0, DeadDownloadListModel::StatusColumn)).toString(),
                 QStringLiteral("Error (signature)"));
        // An entry that is not a finished file opens nothing.
        const int before = m_opened.urls.size();
        QTableView &view = page.endedView();
        const auto doubleClickRow = [&view](int row) {
            const QPoint cell = view.visualRect(view.model()->index(row, 0)).center();
            QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell);
            QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, cell);
            QTest::qWait(QApplication::doubleClickInterval() + 50);
        };
        doubleClickRow(0);
        QCOMPARE(m_opened.urls.size(), before);

        auto done = std::make_unique<Download>();
        done->fileName = QStringLiteral("done.txt");
        done->finishedPath = QStringLiteral("/tmp/done.txt");
        QVERIFY(done->state.connected() && done->state.fileInfoArrived() && done->state.completed());
        ended.append(std::move(done));
        QTRY_COMPARE(view.model()->rowCount(), 2);
        doubleClickRow(1);
        QCOMPARE(m_opened.urls.value(before), QUrl::fromLocalFile(QStringLiteral("/tmp/done.txt")));
    }

    // Downloads ending in one turn reach the table together, in the order
    // they ended, and the newest is selected and scrolled into view; an
    // entry taken out before or after it is shown leaves the others in place.
    void entriesEndingTogetherAppearInOrderWithTheNewestSelected()
    {
        m_alice->core().transfers().clearEnded();
        DownloadsPage page(m_alice->core());
        page.resize(600, 300);
        page.show();
        DeadDownloadListModel &ended = m_alice->core().transfers().deadDownloadList();
        QTableView &view = page.endedView();
        const auto endDownload = [&ended](int id) {
            auto download = std::make_unique<Download>();
            download->id = id;
            download->fileName = QStringLiteral("file %1").arg(id);
            download->state.cancelled();
            ended.append(std::move(download));
        };
        for (int id = 1001; id <= 1040; ++id)
            endDownload(id);
        ended.take(1020);
        QTRY_COMPARE(view.model()->rowCount(), 39);
        QCOMPARE(view.model()->index(19, 0).data().toString(), QStringLiteral("file 1021"));
        QCOMPARE(view.selectionModel()->selectedRows().value(0).row(), 38);
        QVERIFY(view.viewport()->rect().contains(view.visualRect(view.model()->index(38, 0))));

        ended.take(1002);
        QCOMPARE(view.model()->rowCount(), 38);
        QCOMPARE(view.model()->index(1, 0).data().toString(), QStringLiteral("file 1003"));
        QCOMPARE(ended.rowOf(1040), 37);
        QCOMPARE(ended.rowOf(1002), -1);
        m_alice->core().transfers().clearEnded();
        QCOMPARE(view.model()->rowCount(), 0);
    }

    void deleteOnARunningDownloadAsksFirst()
    {
        DownloadsPage page(m_alice->core());
        page.show();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        Transfers &transfers = m_alice->core().transfers();
        FakeFileServer server(m_alice->core().localPeer().port());
        QVERIFY(runningDownload(server, 1000) >= 0);
        page.runningView().selectRow(0);
        page.runningView().setFocus();
        ScriptedPrompter &person = m_alice->person();
        person.boxes.clear();
        person.answers = {Prompter::Answer::No, Prompter::Answer::Yes};
        QTest::keyClick(&page.runningView(), Qt::Key_Delete);
        QCOMPARE(person.boxes.size(), 1);
        QVERIFY(person.boxes.first().text.contains(QLatin1String("song.mp3")));
        QCOMPARE(transfers.downloadList().rowCount(), 1);
        QTest::keyClick(&page.runningView(), Qt::Key_Delete);
        QCOMPARE(person.boxes.size(), 2);
        QCOMPARE(transfers.downloadList().rowCount(), 0);
        transfers.clearEnded();
    }

    // The screen of a small laptop: the window fits, and the Downloads table
    // shows every column whole without scrolling sideways.
    void theDownloadsTableFitsAt1366x768()
    {
        if (QApplication::primaryScreen()->size() != QSize(1366, 768))
            QSKIP("needs the offscreen platform's screen of 1366 by 768");
        RunningCopy copy("small");
        auto window = std::make_unique<MainWindow>(copy.core());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(QApplication::primaryScreen()->availableGeometry().contains(window->frameGeometry()));
        window->tabs().setCurrentWidget(&window->downloadsPage());
        QTableView &view = window->downloadsPage().runningView();
        const QAbstractItemView &items = view;
        FakeFileServer server(copy.core().localPeer().port());
        const int id = copy.core().transfers().start("1:a long folder name\\the song with a long name.mp3",
                                                     server.address());
        QVERIFY(server.waitForConnection());
        QTRY_VERIFY(!server.received().isEmpty());
        server.send(TransferMessages::fileInfo(123456789, "a rather long nickname", "sig"));
        QTRY_VERIFY(server.received().contains("getfile:"));
        server.send("GOFILE|" + QByteArray(100000, 'x'));
        QTRY_COMPARE(copy.core().transfers().download(id)->received, 100000);
        // Every column but the file name is as wide as its content; the file
        // name takes the rest, which holds this name whole.
        const auto columnsFit = [&view, &items] {
            for (int column = 0; column < view.model()->columnCount(); ++column) {
                if (view.columnWidth(column) < items.sizeHintForColumn(column))
                    return false;
            }
            return true;
        };
        QTRY_VERIFY(columnsFit());
        QVERIFY(!view.horizontalScrollBar()->isVisible());

        // A width the person chose comes back with the next window, and so does its size.
        view.horizontalHeader()->resizeSection(DownloadListModel::NicknameColumn, 150);
        window->resize(1000, 650);
        const QSize size = window->size();
        QSignalSpy exits(window.get(), &MainWindow::exitRequested);
        window->exit();
        QCOMPARE(exits.count(), 1);
        window = std::make_unique<MainWindow>(copy.core());
        QCOMPARE(window->size(), size);
        QCOMPARE(window->downloadsPage().runningView().columnWidth(DownloadListModel::NicknameColumn), 150);
    }
};

int main(int argc, char *argv[])
{
    // The offscreen platform's screen, unless told otherwise, is a small laptop's.
    QTemporaryDir folder;
    const QString screens = folder.filePath(QStringLiteral("screens.json"));
    QFile file(screens);
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && file.open(QIODevice::WriteOnly)) {
        file.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768,
                       "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.toUtf8());
    }
    QApplication app(argc, argv);
    DownloadsPageTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_downloadspage.moc"
