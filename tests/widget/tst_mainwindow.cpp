#include "base/settingnames.h"
#include "net/discovery.h"
#include "shell/desktopnotifications.h"
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
#include <QCheckBox>
#include <QDBusConnection>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkDatagram>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
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

// A session bus of the test's own, on a socket in a temporary folder. It
// starts no service by itself: its configuration names no service folder.
class PrivateSessionBus
{
public:
    ~PrivateSessionBus()
    {
        for (const QString &name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    bool start()
    {
        const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                  "<policy context=\"default\"><allow send_destination=\"*\"/>"
                                  "<allow receive_sender=\"*\"/><allow own=\"*\"/>"
                                  "</policy></busconfig>")
                       .arg(m_folder.path())
                       .toUtf8());
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return false;
        if (!QTest::qWaitFor([this] { return m_daemon.canReadLine(); }, 10000))
            return false;
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        return !m_address.isEmpty();
    }

    QDBusConnection connect(const QString &name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

// Records what reaches org.freedesktop.Notifications: application, summary, body.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QStringList> notes;

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("body-markup")}; }
    uint Notify(const QString &application, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        notes.append({application, summary, body});
        return uint(notes.size());
    }
};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void closeBox_data()
    {
        QTest::addColumn<bool>("trayIcon");
        QTest::newRow("with a tray icon") << true;
        QTest::newRow("without a tray icon") << false;
    }
    void closeBox()
    {
        QFETCH(bool, trayIcon);
        RunningCopy copy("window");
        MainWindow window(copy.core());
        window.trayIcon().setAvailabilityProbe([trayIcon] { return trayIcon; });
        window.trayIcon().install(QStringLiteral("Quelm"));
        QSignalSpy exits(&window, &MainWindow::exitRequested);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        // Hidden with the icon to bring it back; without one, closing is Exit.
        QVERIFY(!window.isVisible());
        QVERIFY(copy.person().boxes.isEmpty());
        QCOMPARE(exits.count(), trayIcon ? 0 : 1);
    }

    void theIconComesWhenANotificationAreaAppears()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        TrayIcon &tray = window.trayIcon();
        bool available = false;
        tray.setAvailabilityProbe([&available] { return available; });
        tray.install(QStringLiteral("Quelm"));
        QVERIFY(!tray.isInstalled());
        QVERIFY(tray.isWaitingForNotificationArea());
        tray.installWhenAvailable();
        QVERIFY(!tray.isInstalled());

        available = true;
        tray.installWhenAvailable();
        QVERIFY(tray.isInstalled());
        QVERIFY(!tray.isWaitingForNotificationArea());
        // The desktop draws the menu itself, so it is attached to the icon.
        auto *icon = tray.findChild<QSystemTrayIcon *>();
        QVERIFY(icon);
        QCOMPARE(icon->contextMenu(), &tray.menu());
        QSignalSpy exits(&window, &MainWindow::exitRequested);
        window.show();
        window.close();
        QVERIFY(!window.isVisible());
        QCOMPARE(exits.count(), 0);
    }

    void exitFromTheTrayWithoutDownloadsEndsWithoutQuestion()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        QSignalSpy exits(&window, &MainWindow::exitRequested);
        window.show();
        const QList<QAction *> actions = window.trayIcon().menu().actions();
        QCOMPARE(actions.last(), &window.trayIcon().exitAction());
        QCOMPARE(actions.last()->text(), QStringLiteral("Exit"));
        actions.last()->trigger();
        QCOMPARE(exits.count(), 1);
        QVERIFY(copy.person().boxes.isEmpty());
        QVERIFY(!window.isVisible());
    }

    void ctrlQIsExit_data()
    {
        QTest::addColumn<bool>("download");
        QTest::addColumn<Prompter::Answer>("answer");
        QTest::addColumn<bool>("ends");
        QTest::newRow("no download") << false << Prompter::Answer::No << true;
        QTest::newRow("download, Yes") << true << Prompter::Answer::Yes << true;
        QTest::newRow("download, No") << true << Prompter::Answer::No << false;
    }
    void ctrlQIsExit()
    {
        QFETCH(bool, download);
        QFETCH(Prompter::Answer, answer);
        QFETCH(bool, ends);
        RunningCopy copy("window");
        // A server that accepts the transfer connection and never answers.
        QTcpServer server;
        const QString serverAddress = TestCopy::nextLoopbackAddress();
        QVERIFY(server.listen(QHostAddress(serverAddress), quint16(copy.core().localPeer().port())));
        if (download)
            copy.core().transfers().start("1:song.mp3", serverAddress);

        MainWindow window(copy.core());
        QSignalSpy exits(&window, &MainWindow::exitRequested);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        copy.person().answers = {answer};
        QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(copy.person().boxTexts(),
                 download ? QStringList(QLatin1String(ExitQuestion::Text)) : QStringList());
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
        QCOMPARE(tray.showAction().isEnabled(), showEnabled);
        QCOMPARE(tray.hideAction().isEnabled(), !showEnabled);
        QVERIFY(tray.exitAction().isEnabled());

        // Hide minimises first, so the menu offers Show afterwards.
        window.showNormal();
        QVERIFY(tray.hideAction().isEnabled());
        tray.hideAction().trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(tray.showAction().isEnabled());
        QVERIFY(!tray.hideAction().isEnabled());
        tray.activate(QSystemTrayIcon::Trigger);
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QVERIFY(!tray.showAction().isEnabled());
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
        QVERIFY(!window.isVisible());
        for (QAction *action : {&tray.showAction(), &tray.hideAction(), &tray.exitAction()})
            QVERIFY(!action->isEnabled());
        // Ctrl+Q is the window's, and the window is off too.
        QVERIFY(!window.isEnabled());

        window.optionsDialog()->reject();
        QTRY_VERIFY(!window.optionsDialog());
        QVERIFY(window.isEnabled());
        QVERIFY(window.isVisible());
        QVERIFY(tray.exitAction().isEnabled());
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

    // Several selected rows go as one group; "Download Folder" takes the
    // files of the shown browse that lie below the row's folder.
    void selectedRowsAndAFolderDownloadAsGroups()
    {
        RunningCopy copy("window");
        QTcpServer server;
        const QString address = TestCopy::nextLoopbackAddress();
        QVERIFY(server.listen(QHostAddress(address), quint16(copy.core().localPeer().port())));
        SearchService &search = copy.core().sharing().search();
        search.browseUser("bob");
        for (const char *name : {"3:music\\a.mp3", "3:music\\live\\b.mp3", "3:films\\c.mkv"})
            search.results().append({name, "10", "bob", address});
        search.results().append({"3:music\\d.mp3", "10", "eve", TestCopy::nextLoopbackAddress()});
        search.results().flush();
        MainWindow window(copy.core());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *page = window.findChild<SearchPage *>();
        window.tabs().setCurrentWidget(page);
        QTableView &view = page->resultsView();
        auto cell = [&](int row) { return view.visualRect(view.model()->index(row, 0)).center(); };

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell(0));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, cell(2));
        page->resultMenu().actions().value(0)->trigger();
        FolderDownloadModel &groups = copy.core().transfers().folders().model();
        QCOMPARE(groups.rowCount(), 1);
        QCOMPARE(groups.index(0, FolderDownloadModel::FilesColumn).data().toString(), QStringLiteral("0 of 2"));

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell(0));
        QAction *folder = page->resultMenu().actions().value(1);
        QCOMPARE(folder->text(), QStringLiteral("Download Folder"));
        folder->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(groups.rowCount(), 2, 10000);
        const QModelIndex music = groups.index(1, 0);
        QCOMPARE(music.data().toString(), QStringLiteral("music"));
        QCOMPARE(groups.rowCount(music), 2);
        QCOMPARE(groups.index(1, 0, music).data().toString(), QStringLiteral("music/live/b.mp3"));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Downloading the folder music: 2 files"));
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

        // Without Cancel, Escape does nothing, and the close box ends start-up
        // only when the person says so.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QVERIFY(copy.person().boxes.isEmpty());
        copy.person().answers = {Prompter::Answer::No, Prompter::Answer::Yes};
        dialog.close();
        QVERIFY(dialog.isVisible());
        QCOMPARE(copy.person().boxTexts(), QStringList(QLatin1String(OptionsForm::QuitWithoutSetupText)));
        dialog.close();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(copy.person().boxes.size(), 2);
    }

    // Off unless chosen; OK stores the choice.
    void keepingUnfinishedDownloadsIsChosenOnTheLocalFilesPage()
    {
        RunningCopy copy("window");
        OptionsDialog dialog(copy.core(), false);
        auto *keep = dialog.findChild<QCheckBox *>(QStringLiteral("KeepUnfinishedDownloads"));
        QVERIFY(keep);
        QCOMPARE(dialog.pages().tabText(dialog.pages().indexOf(keep->parentWidget())), QStringLiteral("Local Files"));
        QVERIFY(!keep->isChecked());
        keep->setChecked(true);
        button(dialog, QStringLiteral("OK"))->click();
        QCOMPARE(copy.core().settings().get(QLatin1String(SettingNames::KeepUnfinishedDownloads)), QByteArray("1"));
        QVERIFY(copy.core().transfers().keepsUnfinishedDownloads());
    }

    void ctrl2PutsTheCursorInTheSearchBox()
    {
        RunningCopy copy("window");
        MainWindow window(copy.core());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(window.tabs().currentIndex(), 1);
        auto *box = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(box);
        QVERIFY(window.tabs().currentWidget()->isAncestorOf(box));
    }

    void balloonsWithoutATrayGoToTheDesktopsNotificationService()
    {
        PrivateSessionBus bus;
        if (!bus.start())
            QSKIP("dbus-daemon is not installed (Debian package dbus)");
        QDBusConnection serviceSide = bus.connect(QStringLiteral("service"));
        FakeNotificationService service;
        QVERIFY(serviceSide.registerObject(QLatin1String(DesktopNotifications::Path), &service,
                                           QDBusConnection::ExportAllSlots));
        QVERIFY(serviceSide.registerService(QLatin1String(DesktopNotifications::Service)));

        RunningCopy copy("window");
        MainWindow window(copy.core());
        window.desktopNotifications().setBus(bus.connect(QStringLiteral("client")));
        window.showBalloon(QStringLiteral("Download Complete"),
                           QStringLiteral("Quelm has completed the download of:\r\nR&B <live>.mp3"),
                           Prompter::BalloonInformation);
        QTRY_COMPARE_WITH_TIMEOUT(service.notes.size(), 1, 10000);
        const QStringList note = service.notes.first();
        QCOMPARE(note, QStringList({QStringLiteral("Quelm"), QStringLiteral("Download Complete"),
                                    QStringLiteral("Quelm has completed the download of:\nR&amp;B &lt;live&gt;.mp3")}));
        QVERIFY(window.statusBar()->currentMessage().isEmpty());

        // With nobody serving notifications, the status line still tells.
        QVERIFY(serviceSide.unregisterService(QLatin1String(DesktopNotifications::Service)));
        window.showBalloon(QStringLiteral("Download Failed"), QStringLiteral("x.mp3"), Prompter::BalloonWarning);
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(), QStringLiteral("Download Failed: x.mp3"), 10000);
        QCOMPARE(service.notes.size(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
