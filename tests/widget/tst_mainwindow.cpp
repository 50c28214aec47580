#include "net/discovery.h"
#include "shell/exitquestion.h"
#include "shell/optionsform.h"
#include "support/runningcopy.h"
#include "transfer/transfermessages.h"
#include "ui/addcomputerrow.h"
#include "ui/mainwindow.h"
#include "ui/optionsdialog.h"
#include "ui/searchpage.h"
#include "ui/trayicon.h"
#include "ui/userlistpanel.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

namespace {

QPushButton *button(QWidget &parent, const QString &text)
{
    for (QPushButton *candidate : parent.findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// Announcements of `address` received so far.
int announcementsOf(QUdpSocket &listener, const QString &address)
{
    int count = 0;
    while (listener.hasPendingDatagrams()) {
        const QByteArray datagram = listener.receiveDatagram().data();
        count += Discovery::announcedAddresses(datagram).contains(address);
    }
    return count;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void closeBoxOnlyHides()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        QSignalSpy exits(&window, &MainWindow::exitRequested);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        // Without a notification area the window is minimised instead, so it
        // can still be reached.
        QVERIFY(TrayIcon::isAvailable() ? !window.isVisible() : window.isMinimized());
        QVERIFY(copy.person().boxes.isEmpty());
        QCOMPARE(exits.count(), 0);
        QVERIFY(copy.core().network().isKeepingAlive());
    }

    void exitWithoutDownloadsEndsWithoutQuestion()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        QSignalSpy exits(&window, &MainWindow::exitRequested);
        window.show();
        const QList<QAction *> actions = window.trayIcon().menu().actions();
        QCOMPARE(actions.last()->text(), QStringLiteral("Exit"));
        actions.last()->trigger();
        QCOMPARE(exits.count(), 1);
        QVERIFY(copy.person().boxes.isEmpty());
        QVERIFY(!window.isVisible());
    }

    void exitWithADownloadAsksFirst_data()
    {
        QTest::addColumn<Prompter::Answer>("answer");
        QTest::addColumn<bool>("ends");
        QTest::newRow("Yes") << Prompter::Answer::Yes << true;
        QTest::newRow("No") << Prompter::Answer::No << false;
    }
    void exitWithADownloadAsksFirst()
    {
        QFETCH(Prompter::Answer, answer);
        QFETCH(bool, ends);
        RunningCopy copy("window");
        // A server that accepts the transfer connection and never answers.
        QTcpServer server;
        const QString serverAddress = TestCopy::nextLoopbackAddress();
        QVERIFY(server.listen(QHostAddress(serverAddress), quint16(copy.core().localPeer().port())));
        copy.core().transfers().start("1:song.mp3", serverAddress);
        QCOMPARE(copy.core().runningDownloadCount(), 1);

        MainWindow window(copy.core());
        QSignalSpy exits(&window, &MainWindow::exitRequested);
        window.show();
        copy.person().answers = {answer};
        window.exit();
        QCOMPARE(copy.person().boxTexts(), QStringList(QLatin1String(ExitQuestion::Text)));
        QCOMPARE(exits.count(), ends ? 1 : 0);
        QCOMPARE(window.isVisible(), !ends);
    }

    void menuFollowsTheWindowState_data()
    {
        QTest::addColumn<Qt::WindowState>("state");
        QTest::addColumn<bool>("showEnabled");
        QTest::newRow("normal") << Qt::WindowNoState << false;
        QTest::newRow("minimised") << Qt::WindowMinimized << true;
        QTest::newRow("maximised") << Qt::WindowMaximized << true;
    }
    void menuFollowsTheWindowState()
    {
        QFETCH(Qt::WindowState, state);
        QFETCH(bool, showEnabled);
        RunningCopy copy("window");
        MainWindow window(copy.core());
        window.show();
        window.setWindowState(state);
        TrayIcon &tray = window.trayIcon();
        tray.activate(QSystemTrayIcon::Context);
        QVERIFY(tray.menu().isVisible());
        QCOMPARE(tray.showAction().isEnabled(), showEnabled);
        QCOMPARE(tray.hideAction().isEnabled(), !showEnabled);
        tray.menu().hide();

        // Hide minimises first, so the menu offers Show afterwards.
        window.showNormal();
        tray.activate(QSystemTrayIcon::Context);
        tray.menu().hide();
        tray.hideAction().trigger();
        QVERIFY(!window.isVisible());
        tray.activate(QSystemTrayIcon::Context);
        QVERIFY(tray.showAction().isEnabled());
        QVERIFY(!tray.hideAction().isEnabled());
        tray.menu().hide();
        tray.activate(QSystemTrayIcon::Trigger);
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }

    void trayIgnoredWhileOptionsAreOpen()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        window.show();
        button(window, QStringLiteral("Options..."))->click();
        QVERIFY(window.optionsDialog());
        QVERIFY(!window.optionsDialog()->isModal());
        QVERIFY(window.optionsDialog()->isEnabled());
        QVERIFY(!window.isEnabled());
        window.hide();
        TrayIcon &tray = window.trayIcon();
        tray.activate(QSystemTrayIcon::Trigger);
        tray.activate(QSystemTrayIcon::Context);
        QVERIFY(!window.isVisible());
        QVERIFY(!tray.menu().isVisible());

        window.optionsDialog()->reject();
        QTRY_VERIFY(!window.optionsDialog());
        QVERIFY(window.isEnabled());
        QVERIFY(window.isVisible());
    }

    void backgroundClickAnnouncesOnce()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        window.show();
        // On lo the announcement is an ordinary datagram that goes to one socket
        // only: the one bound to exactly its destination.
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress(copy.core().network().discovery().announcementDestination()),
                              quint16(copy.core().localPeer().port()),
                              QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        QTest::qWait(200);
        QCOMPARE(announcementsOf(listener, copy.address()), 0);
        QTest::mouseClick(window.centralWidget(), Qt::LeftButton, {}, QPoint(2, 2));
        int announcements = 0;
        QTRY_VERIFY_WITH_TIMEOUT((announcements += announcementsOf(listener, copy.address())) > 0, 5000);
        QTest::qWait(300);
        announcements += announcementsOf(listener, copy.address());
        QCOMPARE(announcements, 1);
    }

    void searchNeedsAPeer()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        QPushButton *search = button(window, QStringLiteral("Search The LAN!"));
        QVERIFY(search);
        QVERIFY(!search->isEnabled());
        RunningCopy peer("peer");
        copy.core().network().connections().connectTo(peer.address());
        QTRY_COMPARE_WITH_TIMEOUT(copy.linkCount(), 1, 10000);
        copy.core().status().update();
        QVERIFY(search->isEnabled());
    }

    void aResultDownloadsByDoubleClickEnterAndMenu()
    {
        RunningCopy copy("window");
        // A server that accepts the transfer connections and never answers.
        QTcpServer server;
        const QString serverAddress = TestCopy::nextLoopbackAddress();
        QVERIFY(server.listen(QHostAddress(serverAddress), quint16(copy.core().localPeer().port())));
        SearchResultsModel &results = copy.core().sharing().search().results();
        results.append({"3:music\\song.mp3", "10 Bytes", "bob", serverAddress});
        results.flush();
        MainWindow window(copy.core());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *page = window.findChild<SearchPage *>();
        window.tabs().setCurrentWidget(page);
        QTableView &view = page->resultsView();

        // Shown as people read it; the tooltip and the request carry the wire name.
        const QModelIndex name = view.model()->index(0, SearchResultsModel::FilenameColumn);
        QCOMPARE(name.data().toString(), QStringLiteral("music/song.mp3"));
        QCOMPARE(name.data(Qt::ToolTipRole).toString(), QStringLiteral("3:music\\song.mp3"));

        const QString started = QStringLiteral("Downloading song.mp3 from bob");
        const QPoint cell = view.visualRect(name).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, cell);
        QCOMPARE(copy.core().runningDownloadCount(), 1);
        QCOMPARE(window.statusBar()->currentMessage(), started);
        window.statusBar()->clearMessage();
        QTest::keyClick(&view, Qt::Key_Return);
        QCOMPARE(copy.core().runningDownloadCount(), 2);
        QCOMPARE(window.statusBar()->currentMessage(), started);
        window.statusBar()->clearMessage();
        QAction *download = page->resultMenu().actions().value(0);
        QCOMPARE(download->text(), QStringLiteral("Download"));
        download->trigger();
        QCOMPARE(copy.core().runningDownloadCount(), 3);
        QCOMPARE(window.statusBar()->currentMessage(), started);
        QCOMPARE(window.tabs().tabToolTip(2), QStringLiteral("3 downloads running"));

        const QByteArray expected = TransferMessages::fileInfoRequest("3:music\\song.mp3");
        QByteArray request;
        QTcpSocket *connection = nullptr;
        QTRY_VERIFY((connection = connection ? connection : server.nextPendingConnection())
                    && (request += connection->readAll()).size() >= expected.size());
        QCOMPARE(request, expected);
    }

    void browsingLeavesTheSearchBoxAlone()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        auto *page = window.findChild<SearchPage *>();
        page->searchBox().setText(QStringLiteral("my words"));
        copy.core().sharing().search().browseUser("bob");
        QCOMPARE(window.tabs().currentWidget(), page);
        QCOMPARE(page->searchBox().text(), QStringLiteral("my words"));
        QCOMPARE(page->note(), QStringLiteral("Files shared by bob"));
    }

    void addComputerSaysWhatBecameOfIt()
    {
        RunningCopy copy("window");
        UserListPanel panel(copy.core());
        panel.show();
        AddComputerRow &row = panel.addComputerRow();
        const auto add = [&row](const QString &text) {
            row.box().setText(text);
            QTest::keyClick(&row.box(), Qt::Key_Return);
        };
        add(QStringLiteral("not an address!"));
        QVERIFY2(row.message().contains("neither an address nor a computer name"), qPrintable(row.message()));
        QCOMPARE(row.box().text(), QStringLiteral("not an address!"));

        // Nothing listens there: the connection is refused.
        const QString nobody = TestCopy::nextLoopbackAddress();
        add(nobody);
        QCOMPARE(row.box().text(), QStringLiteral("0.0.0.0"));
        const QString port = QString::number(copy.core().localPeer().port());
        QTRY_VERIFY2(row.message().contains("did not accept the connection") && row.message().contains(port),
                     qPrintable(row.message()));

        RunningCopy peer("peer");
        add(peer.address());
        QTRY_COMPARE(row.message(), "Connected to " + peer.address() + ".");
    }

    void firstStartDialog()
    {
        RunningCopy copy("window");
        OptionsDialog dialog(copy.core(), true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!button(dialog, QStringLiteral("Cancel"))->isEnabled());
        QPushButton *ok = button(dialog, QStringLiteral("OK"));
        auto *nickname = dialog.findChild<QLineEdit *>(QStringLiteral("NicknameBox"));
        nickname->setText(QStringLiteral("  "));
        QVERIFY(!ok->isEnabled());
        nickname->setText(QStringLiteral("named"));
        QVERIFY(ok->isEnabled());

        // Enter in the identifier box adds the identifier and keeps the dialog open.
        dialog.pages().setCurrentIndex(2);
        auto *idBox = dialog.findChild<QLineEdit *>(QStringLiteral("AddBlockIDBox"));
        QApplication::setActiveWindow(&dialog);
        idBox->setFocus();
        QTRY_VERIFY(idBox->hasFocus());
        QTest::keyClicks(idBox, QStringLiteral("ABCD"));
        QTest::keyClick(idBox, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.form().blockedUsers().rows(), QList<BlockedList::Row>({{"ABCD", {}}}));
        QVERIFY(idBox->text().isEmpty());
        QVERIFY(idBox->hasFocus());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
