// Renders the main window's tabs, a message window, the tray menu, the
// options pages and the program icons of a populated copy offscreen:
//   quelm_screenshots <screenshot folder> <icon folder>
// Every copy runs on a loopback address of its own.
#include "base/settingnames.h"
#include "chat/conversation.h"
#include "support/fakefileserver.h"
#include "support/runningcopy.h"
#include "support/sharedfiles.h"
#include "ui/appicon.h"
#include "transfer/transfermessages.h"
#include "ui/mainwindow.h"
#include "ui/messagewindow.h"
#include "ui/optionsdialog.h"
#include "ui/trayicon.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QTabWidget>
#include <functional>

namespace {

// Runs events until `done` holds or ten seconds have passed.
bool waitFor(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

void settle(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Files of a few hundred KiB each, so the sizes shown differ.
QMap<QString, QByteArray> filesNamed(const QStringList &names)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : names)
        files.insert(name, QByteArray(1024 * (name.size() * 37 % 900 + 3), 'x'));
    return files;
}

void save(QWidget &widget, const QString &path)
{
    widget.grab().save(path);
    qInfo("%s", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        qWarning("usage: quelm_screenshots <screenshot folder> <icon folder>");
        return 2;
    }
    const QDir shots(QString::fromLocal8Bit(argv[1]));
    const QDir icons(QString::fromLocal8Bit(argv[2]));
    for (int size : {16, 32, 48, 64, 128, 256})
        AppIcon::draw(QColor(0x2e, 0x7d, 0x32), size).save(icons.filePath(QStringLiteral("quelm-%1.png").arg(size)));

    RunningCopy alice("alice");
    RunningCopy bob("bob");
    RunningCopy carol("carol");
    shareFiles(alice, filesNamed({QStringLiteral("Holiday photos/beach.jpg"), QStringLiteral("notes.txt")}));
    shareFiles(bob, filesNamed({QStringLiteral("Project report.pdf"), QStringLiteral("Music/Evening song.mp3"),
                                QStringLiteral("report draft.doc")}));
    shareFiles(carol, filesNamed({QStringLiteral("Quarterly report.xls"), QStringLiteral("Videos/Talk.avi")}));
    Core &core = alice.core();
    core.network().connections().connectTo(bob.address());
    core.network().connections().connectTo(carol.address());
    waitFor([&] { return alice.linkedTo(bob) && alice.linkedTo(carol); });
    core.network().blockedList().add("8F3A19C2D4E5F607", "mallory");
    core.settings().set(QLatin1String(SettingNames::SharedFolders),
                        (QDir::homePath() + QLatin1String("/Public;")).toUtf8());
    core.status().update();

    MainWindow window(core);
    window.resize(1120, 680);
    window.show();
    core.sharing().search().startSearch("report", QStringLiteral("All File Types"));
    waitFor([&core] { return core.sharing().search().results().rowCount() == 3; });
    bob.core().chat().sendChatLine(QStringLiteral("Has anyone got the quarterly report?"));
    carol.core().chat().sendChatLine(QStringLiteral("Search for \"report\", it is in my shared folder."));
    core.chat().sendChatLine(QStringLiteral("Found it, thanks!"));
    core.transfers().start("1:Project report.pdf", bob.address());
    core.transfers().start("1:Quarterly report.xls", carol.address());
    // A download in progress: a hand-driven server sends part of the file and waits.
    FakeFileServer talkServer(core.localPeer().port());
    core.transfers().start("2:Videos\\Conference talk.avi", talkServer.address());
    if (talkServer.waitForConnection()) {
        constexpr int TalkSize = 48 << 20;
        talkServer.send(TransferMessages::fileInfo(TalkSize, "carol", "4f1c2a9e"));
        waitFor([&talkServer] { return talkServer.received().contains("getfile:"); });
        talkServer.send("GOFILE|" + QByteArray(TalkSize * 3 / 5, 't'));
    }
    bob.core().chat().sendInstantMessage(alice.address(), "Could you send me the slides from Tuesday's talk?");
    waitFor([&core, &bob] { return MessageWindow::find(core.chat(), bob.address()) != nullptr; });
    if (Conversation *conversation = core.chat().conversation(bob.address()))
        conversation->sendMessage(QStringLiteral("Sure, they are in my shared folder under Talks."));
    settle(1500);

    const char *tabNames[] = {"home", "search", "downloads", "chat"};
    for (int tab = 0; tab < window.tabs().count(); ++tab) {
        window.tabs().setCurrentIndex(tab);
        settle(300);
        save(window, shots.filePath(QStringLiteral("tab-%1.png").arg(QLatin1String(tabNames[tab]))));
    }

    if (MessageWindow *messages = MessageWindow::find(core.chat(), bob.address())) {
        messages->resize(520, 360);
        settle(300);
        save(*messages, shots.filePath(QStringLiteral("messagewindow.png")));
        messages->close();
    }

    QMenu &menu = window.trayIcon().menu();
    window.trayIcon().showAction().setEnabled(false);
    menu.adjustSize();
    save(menu, shots.filePath(QStringLiteral("tray-menu.png")));

    OptionsDialog options(core, false);
    options.resize(560, 520);
    options.show();
    const char *pageNames[] = {"network", "local-files", "local-privacy"};
    for (int page = 0; page < options.pages().count(); ++page) {
        options.pages().setCurrentIndex(page);
        settle(200);
        save(options, shots.filePath(QStringLiteral("options-%1.png").arg(QLatin1String(pageNames[page]))));
    }
    return 0;
}
