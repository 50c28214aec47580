// The public room and private conversations between copies in this process
// and hand-driven peers, each on a loopback address of its own.
#include "base/settingnames.h"
#include "chat/chat.h"
#include "support/clientpeer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {

constexpr int Port = 1971;

// Frames of `peer` from `copy` that begin with one of the prefixes, collected
// across calls; the marker message ends what a step sent.
class Inbox
{
public:
    Inbox(FakePeer &peer, RunningCopy &copy, const QList<QByteArray> &prefixes = {"im", "chat:"})
        : m_peer(peer)
        , m_copy(copy)
        , m_prefixes(prefixes)
    {
    }

    // Everything chat-related the copy sent up to and including `marker`.
    QList<QByteArray> until(const QByteArray &marker)
    {
        QList<QByteArray> taken;
        // A marker that never comes shows in the caller's comparison of what was taken.
        static_cast<void>(QTest::qWaitFor(
            [&] {
                for (const QByteArray &frame : m_peer.takeFrames(m_copy.id())) {
                    for (const QByteArray &prefix : m_prefixes) {
                        if (frame.startsWith(prefix))
                            taken.append(frame);
                    }
                }
                return taken.contains(marker);
            },
            5000));
        return taken;
    }

private:
    FakePeer &m_peer;
    RunningCopy &m_copy;
    QList<QByteArray> m_prefixes;
};

QString addressOf(FakePeer &peer)
{
    return peer.socket().localAddress().toString();
}

// Waits until the copy has read everything `peer` sent before: the shared
// count that closes the batch shows in the user list.
bool settled(RunningCopy &copy, FakePeer &peer, int marker)
{
    peer.sendFrames({"fileshared:" + QByteArray::number(marker)}, copy.id());
    const UserListModel &users = copy.core().network().userList();
    return QTest::qWaitFor(
        [&] {
            for (int row = 0; row < users.rowCount(); ++row) {
                if (users.address(row) == addressOf(peer))
                    return users.index(row, UserListModel::FilesColumn).data().toInt() == marker;
            }
            return false;
        },
        5000);
}

} // namespace

class ChatTest : public QObject
{
    Q_OBJECT

private slots:
    void lineReachesEveryPeerAndTheOwnTranscript()
    {
        RunningCopy alice("alice");
        RunningCopy bob("bob");
        RunningCopy carol("carol");
        QVERIFY(alice.started() && bob.started() && carol.started());
        alice.core().network().connections().connectTo(bob.address());
        alice.core().network().connections().connectTo(carol.address());
        QTRY_VERIFY(alice.linkedTo(bob) && bob.linkedTo(alice) && alice.linkedTo(carol) && carol.linkedTo(alice));

        QVERIFY(!alice.core().chat().sendChatLine(QString()));
        QCOMPARE(alice.core().chat().chatBox().lineCount(), 0);
        QVERIFY(alice.core().chat().sendChatLine(QStringLiteral("hello all")));
        QCOMPARE(alice.core().chat().chatBox().text(), QStringLiteral("alice: hello all\r\n"));
        QTRY_COMPARE(bob.core().chat().chatBox().text(), QStringLiteral("alice: hello all\r\n"));
        QTRY_COMPARE(carol.core().chat().chatBox().text(), QStringLiteral("alice: hello all\r\n"));

        // A paste longer than the box holds goes out, and shows, cut.
        const QString paste = QString(300, QLatin1Char('a')) + QString(100, QLatin1Char('b'));
        QVERIFY(bob.core().chat().sendChatLine(paste));
        const QString cut = QStringLiteral("bob: ") + paste.left(Chat::MaxChatLineLength);
        QCOMPARE(bob.core().chat().chatBox().lastLine(), cut);
        QTRY_COMPARE(alice.core().chat().chatBox().lastLine(), cut);

        // With nobody connected the own line is still shown.
        RunningCopy erin("erin");
        QVERIFY(erin.core().chat().sendChatLine(QStringLiteral("alone")));
        QCOMPARE(erin.core().chat().chatBox().text(), QStringLiteral("erin: alone\r\n"));
    }

    void receivedLinesAreShownAsTextInArrivalOrder()
    {
        RunningCopy alice("alice");
        auto ann = connectClientPeer(alice, "A11", "Ann");
        auto nameless = connectClientPeer(alice, "A12", "");
        QVERIFY(ann && nameless);
        ann->sendFrames({"chat:hello", "chat:<b>bold</b> <a href=\"x\">x</a>", "chat:a\x01" "b\tc\r\nd\x7f"},
                        alice.id());
        QTRY_COMPARE(alice.core().chat().chatBox().lineCount(), 3);
        nameless->sendFrames({"chat:who?"}, alice.id());
        QTRY_COMPARE(alice.core().chat().chatBox().lineCount(), 4);
        QCOMPARE(alice.core().chat().chatBox().text(),
                 QStringLiteral("Ann: hello\r\nAnn: <b>bold</b> <a href=\"x\">x</a>\r\n"
                                "Ann: a\u2401b\tc\u240d\u240ad\u2421\r\n: who?\r\n"));
    }

    void nicknameIsCorrectedBeforeTheLineGoesOut()
    {
        RunningCopy alice("alice");
        auto peer = connectClientPeer(alice, "B0B");
        QVERIFY(peer);
        alice.core().settings().set(QLatin1String(SettingNames::Nickname), "abcdefghij?klmnopqrstuvwxyz1234");
        QVERIFY(alice.core().chat().sendChatLine(QStringLiteral("hi")));
        QList<QByteArray> frames = Inbox(*peer, alice, {"nick:", "chat:"}).until("chat:hi");
        // The greeting's nickname may still be on its way.
        frames.removeAll("nick:alice");
        QCOMPARE(frames, QList<QByteArray>({"nick:abcdefghij klmnopqrstuvwx", "chat:hi"}));
        QCOMPARE(alice.core().chat().chatBox().lastLine(), QStringLiteral("abcdefghij klmnopqrstuvwx: hi"));
    }

    void instantMessagesKeepOneWindowPerAddress()
    {
        RunningCopy alice("alice");
        auto peer = connectClientPeer(alice, "C0DE", "fake");
        QVERIFY(peer);
        const QString address = addressOf(*peer);
        Chat &chat = alice.core().chat();
        QSignalSpy requested(&chat, &Chat::messageWindowRequested);

        // An empty message opens the window without a line.
        peer->sendFrames({"im:"}, alice.id());
        QTRY_VERIFY(chat.conversation(address));
        Conversation *window = chat.conversation(address);
        QCOMPARE(window->key(), "IM:" + address);
        QCOMPARE(window->caption(), QStringLiteral("fake - Instant Message"));
        QCOMPARE(window->transcript().lineCount(), 0);
        QCOMPARE(requested.count(), 1);
        QCOMPARE(requested.at(0), QList<QVariant>({address, false}));

        peer->sendFrames({"im:one", "im:two"}, alice.id());
        QTRY_COMPARE(window->transcript().lineCount(), 2);
        QCOMPARE(chat.conversation(address), window);
        QCOMPARE(chat.conversations().count(), 1);
        QCOMPARE(window->transcript().text(), QStringLiteral("fake: one\r\nfake: two\r\n"));
        QVERIFY(window->statusText().startsWith(QLatin1String("Last Message Received at ")));

        // Closed in between, the next message opens a fresh window.
        chat.closeMessageWindow(address);
        QVERIFY(!chat.conversation(address));
        peer->sendFrames({"im:three"}, alice.id());
        QTRY_VERIFY(chat.conversation(address));
        QCOMPARE(chat.conversation(address)->transcript().text(), QStringLiteral("fake: three\r\n"));

        // The buttons ask for the focus; an empty address opens nothing.
        chat.openMessageWindow(address);
        QCOMPARE(requested.last(), QList<QVariant>({address, true}));
        const int before = requested.count();
        chat.openMessageWindow(QString());
        QCOMPARE(requested.count(), before);
    }

    void windowsAreBoundedAndTheRestWaitInTheRoom()
    {
        RunningCopy alice("alice");
        Chat &chat = alice.core().chat();
        QSignalSpy status(&chat, &Chat::statusMessage);
        const auto address = [](int n) { return QStringLiteral("127.0.9.%1").arg(n); };
        for (int n = 1; n <= Chat::MaxMessageWindows + 2; ++n)
            chat.openMessageWindow(address(n), "hello " + QByteArray::number(n), false);
        QCOMPARE(chat.conversations().count(), Chat::MaxMessageWindows);
        QVERIFY(!chat.conversation(address(Chat::MaxMessageWindows + 1)));
        QCOMPARE(chat.chatBox().text(), QStringLiteral("Message from unknown: hello 33\r\nMessage from unknown: hello 34\r\n"));
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("Message from unknown: hello 34"));
        QCOMPARE(chat.waitingMessages().count(), 2);

        // The person's own request finds no room either, and says so.
        chat.openMessageWindow(address(99));
        QVERIFY(!chat.conversation(address(99)));
        QVERIFY(status.last().at(0).toString().startsWith(QLatin1String("At most 32 message windows")));

        // A closed window frees its conversation; the newest waiting one opens with its line.
        chat.closeMessageWindow(address(1));
        QVERIFY(!chat.conversation(address(1)));
        chat.openWaitingConversation();
        QCOMPARE(chat.conversation(address(34))->transcript().lastLine(), QStringLiteral("unknown: hello 34"));
        QCOMPARE(chat.waitingMessages().count(), 1);

        // A copy without windows keeps no conversation at all.
        chat.setConversationLimit(0);
        chat.closeMessageWindow(address(2));
        chat.openMessageWindow(address(50), "unseen", false);
        QVERIFY(!chat.conversation(address(50)));
        QCOMPARE(chat.waitingMessages().count(), 1);
    }

    void tooLongMessagesAreRefusedBeforeTheyCutTheLink()
    {
        RunningCopy alice("alice");
        auto peer = connectClientPeer(alice, "70010", "fake");
        QVERIFY(peer);
        Inbox inbox(*peer, alice);
        Chat &chat = alice.core().chat();
        const QString address = addressOf(*peer);
        chat.openMessageWindow(address);
        Conversation &window = *chat.conversation(address);

        QVERIFY(!window.sendMessage(QString(Chat::MaxInstantMessageBytes + 1, QLatin1Char('x'))));
        QCOMPARE(window.transcript().lastLine(), QLatin1String(Conversation::TooLongLine));
        const QByteArray longest(Chat::MaxInstantMessageBytes, 'y');
        QVERIFY(window.sendMessage(QString::fromLatin1(longest)));
        chat.sendInstantMessage(address, "mark");
        QCOMPARE(inbox.until("im:mark"), QList<QByteArray>({"im:" + longest, "im:mark"}));
        QVERIFY(chat.conversation(address)->isSendEnabled());
    }

    void sendingAndTypingFromAWindow()
    {
        RunningCopy alice("alice");
        auto peer = connectClientPeer(alice, "7E57", "fake");
        QVERIFY(peer);
        Inbox inbox(*peer, alice);
        Chat &chat = alice.core().chat();
        chat.openMessageWindow(addressOf(*peer));
        Conversation &window = *chat.conversation(addressOf(*peer));
        QVERIFY(window.isSendEnabled());
        QCOMPARE(window.statusText(), QString());

        // An empty Send still goes out, and shows the own nickname alone.
        window.sendMessage(QString());
        QCOMPARE(inbox.until("im:"), QList<QByteArray>({"im:"}));
        QCOMPARE(window.transcript().text(), QStringLiteral("alice: \r\n"));

        // Three quick keystrokes: one "typing" now, "stopped" when the timer runs out.
        for (const char *text : {"a", "ab", "abc"})
            window.draftChanged(QString::fromLatin1(text));
        QVERIFY(window.typingTimer().isActive());
        QCOMPARE(window.typingTimer().interval(), Conversation::TypingIntervalMs);
        // Clearing the box sends nothing and leaves the count from the last change.
        window.draftChanged(QString());
        QVERIFY(window.typingTimer().isActive());
        chat.sendInstantMessage(addressOf(*peer), "mark1");
        QCOMPARE(inbox.until("im:mark1"), QList<QByteArray>({"imtyping:1", "im:mark1"}));
        window.typingTimerTick();
        QVERIFY(!window.typingTimer().isActive());
        chat.sendInstantMessage(addressOf(*peer), "mark2");
        QCOMPARE(inbox.until("im:mark2"), QList<QByteArray>({"imtyping:0", "im:mark2"}));

        // Sending stops the timer without a "stopped".
        window.draftChanged(QStringLiteral("x"));
        window.sendMessage(QStringLiteral("x"));
        QVERIFY(!window.typingTimer().isActive());
        QCOMPARE(inbox.until("im:x"), QList<QByteArray>({"imtyping:1", "im:x"}));
        QCOMPARE(window.transcript().lastLine(), QStringLiteral("alice: x"));
    }

    void typingIsShownOnlyInAnOpenWindow()
    {
        RunningCopy alice("alice");
        auto peer = connectClientPeer(alice, "7A7A", "fake", {"fileshared:1"});
        QVERIFY(peer);
        const QString address = addressOf(*peer);
        Chat &chat = alice.core().chat();
        peer->sendFrames({"imtyping:1"}, alice.id());
        QVERIFY(settled(alice, *peer, 2));
        QCOMPARE(chat.conversations().count(), 0);

        chat.openMessageWindow(address);
        Conversation &window = *chat.conversation(address);
        const QList<QPair<QByteArray, QString>> steps{{"imtyping:1", "User is Typing a Message..."},
                                                      {"imtyping:0", ""},
                                                      {"imtyping:1", "User is Typing a Message..."},
                                                      {"imtyping:11", ""},
                                                      {"imtyping:1", "User is Typing a Message..."},
                                                      {"imtyping:", ""}};
        int marker = 3;
        for (const auto &[message, status] : steps) {
            peer->sendFrames({message}, alice.id());
            QVERIFY(settled(alice, *peer, ++marker));
            QCOMPARE(window.statusText(), status);
        }
        QCOMPARE(window.transcript().lineCount(), 0);
    }

    void windowsFollowTheConnectionOfTheirPeer()
    {
        RunningCopy alice("alice");
        Chat &chat = alice.core().chat();
        const QString address = TestCopy::nextLoopbackAddress();
        FakePeer away("AAAA", address);

        // A window for a peer that is away says so and refuses to send.
        chat.openMessageWindow(address);
        Conversation &window = *chat.conversation(address);
        QCOMPARE(window.caption(), QStringLiteral("unknown - Instant Message"));
        QCOMPARE(window.statusText(), QStringLiteral("User is Not Connected."));
        QVERIFY(!window.isSendEnabled());
        QCOMPARE(window.transcript().lineCount(), 1);
        QVERIFY(window.transcript().line(0).startsWith(QLatin1String("**DISCONNECTED at ")));
        chat.refreshMessageWindows();
        QCOMPARE(window.transcript().lineCount(), 1);
        window.sendMessage(QStringLiteral("lost"));
        QCOMPARE(window.transcript().lineCount(), 1);

        // Back: connected, one line, Send allowed.
        QVERIFY(away.connectTo(alice.address(), Port));
        away.sendRaw("uid:AAAA!!!!");
        away.sendFrames({"id/client", "nick:away", "fileshared:1"}, alice.id());
        QTRY_COMPARE(window.statusText(), QStringLiteral("User is Connected."));
        QVERIFY(window.isSendEnabled());
        QCOMPARE(window.transcript().lineCount(), 2);
        QVERIFY(window.transcript().line(1).startsWith(QLatin1String("**CONNECTED at ")));

        // Gone while the typing text shows: the next refresh still notices.
        away.sendFrames({"imtyping:1"}, alice.id());
        QTRY_COMPARE(window.statusText(), QStringLiteral("User is Typing a Message..."));
        away.socket().abort();
        QTRY_COMPARE(window.statusText(), QStringLiteral("User is Not Connected."));
        QVERIFY(!window.isSendEnabled());
        QCOMPARE(window.transcript().lineCount(), 3);
        QVERIFY(window.transcript().line(2).startsWith(QLatin1String("**DISCONNECTED at ")));

        // Back while another text shows: the refresh leaves the window alone,
        // Send included.
        chat.showTyping(address, false);
        FakePeer again("AAAA", address);
        QVERIFY(again.connectTo(alice.address(), Port));
        again.sendRaw("uid:AAAA!!!!");
        again.sendFrames({"id/client", "nick:away"}, alice.id());
        QVERIFY(settled(alice, again, 7));
        QCOMPARE(window.statusText(), QString());
        QVERIFY(!window.isSendEnabled());
        QCOMPARE(window.transcript().lineCount(), 3);
    }

    void messagesGoToTheHighestIndexLink()
    {
        RunningCopy alice("alice");
        const QString address = TestCopy::nextLoopbackAddress();
        // A silent listener: alice's outgoing link to it connects and never learns a peer.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress(address), Port));
        ControlConnections &connections = alice.core().network().connections();
        // Free slots are reused from the top; with none left, each new
        // connection takes a higher index than the one before.
        std::vector<std::unique_ptr<FakePeer>> fillers;
        const auto freeSlots = [&connections] {
            int free = 0;
            for (int i = 0; i < connections.count(); ++i)
                free += connections.element(i)->state() == SocketElement::Closed;
            return free;
        };
        for (int i = freeSlots(); i > 0; --i) {
            fillers.push_back(std::make_unique<FakePeer>("F1", TestCopy::nextLoopbackAddress()));
            QVERIFY(fillers.back()->connectTo(alice.address(), Port));
        }
        QTRY_COMPARE(freeSlots(), 0);
        connections.connectTo(address);
        QTRY_VERIFY(connections.findConnection(address) >= 0);
        const int lower = connections.findConnection(address);

        FakePeer peer("41C4", address);
        QVERIFY(peer.connectTo(alice.address(), Port));
        peer.sendRaw("uid:41C4!!!!");
        peer.sendFrames({"id/client", "nick:higher", "fileshared:1"}, alice.id());
        QTRY_VERIFY(connections.findConnection(address) > lower);
        QVERIFY(connections.isControlLink(lower));

        Chat &chat = alice.core().chat();
        chat.openMessageWindow(address);
        QCOMPARE(chat.conversation(address)->caption(), QStringLiteral("higher - Instant Message"));
        chat.sendInstantMessage(address, "to the newest");
        chat.sendTyping(address, true);
        QCOMPARE(Inbox(peer, alice).until("imtyping:1"), QList<QByteArray>({"im:to the newest", "imtyping:1"}));
    }

    void blockedAndUnnamedPeersReachNeitherRoomNorWindow_data()
    {
        QTest::addColumn<QList<QByteArray>>("opening");
        QTest::addColumn<bool>("blockedByUs");
        QTest::addColumn<bool>("chatShown");
        QTest::addColumn<bool>("imShown");
        QTest::newRow("no role sent") << QList<QByteArray>{"nick:gate"} << false << false << true;
        QTest::newRow("blocked by the peer") << QList<QByteArray>{"id/client", "nick:gate", "blocked:1"} << false
                                             << false << false;
        QTest::newRow("blocked by us") << QList<QByteArray>{"id/client", "nick:gate"} << true << false << false;
        QTest::newRow("client") << QList<QByteArray>{"id/client", "nick:gate"} << false << true << true;
    }

    void blockedAndUnnamedPeersReachNeitherRoomNorWindow()
    {
        QFETCH(QList<QByteArray>, opening);
        QFETCH(bool, blockedByUs);
        QFETCH(bool, chatShown);
        QFETCH(bool, imShown);
        RunningCopy alice("alice");
        FakePeer peer("6A7E", TestCopy::nextLoopbackAddress());
        QVERIFY(peer.connectTo(alice.address(), Port));
        peer.sendRaw("uid:6A7E!!!!");
        peer.sendFrames(opening, alice.id());
        ControlConnections &connections = alice.core().network().connections();
        const auto index = [&] {
            for (int i = 0; i < connections.count(); ++i) {
                if (connections.record(i).nickname == "gate")
                    return i;
            }
            return -1;
        };
        QTRY_VERIFY(index() >= 0);
        if (blockedByUs)
            alice.core().network().blocking().blockPeer(index());

        QSignalSpy users(&alice.core().network().userList(), &UserListModel::rebuilt);
        peer.sendFrames({"chat:in the room", "im:in private", "imtyping:1", "fileshared:9"}, alice.id());
        QTRY_VERIFY(!users.isEmpty());
        QCOMPARE(alice.core().chat().chatBox().lineCount(), chatShown ? 1 : 0);
        QCOMPARE(alice.core().chat().conversations().count(), imShown ? 1 : 0);
    }

    void hugeLinesAndFloodsStayBounded()
    {
        RunningCopy alice("alice");
        Chat &chat = alice.core().chat();
        auto peer = connectClientPeer(alice, "F100D", "flood");
        QVERIFY(peer);
        const QString address = addressOf(*peer);

        // The largest line a frame carries is shown whole.
        const QByteArray large(400 * 1024, 'w');
        peer->sendFrames({"im:" + large}, alice.id());
        QTRY_VERIFY_WITH_TIMEOUT(chat.conversation(address), 10000);
        QCOMPARE(chat.conversation(address)->transcript().lastLine().size(), large.size() + 7);

        // Ten thousand messages: one window, every line, in order.
        QList<QByteArray> flood;
        for (int i = 0; i < 10000; ++i)
            flood.append("im:" + QByteArray::number(i));
        peer->sendFrames(flood, alice.id());
        ChatTranscript &transcript = chat.conversation(address)->transcript();
        QTRY_COMPARE_WITH_TIMEOUT(transcript.lineCount(), 10001, 20000);
        QCOMPARE(chat.conversations().count(), 1);
        QCOMPARE(transcript.line(1), QStringLiteral("flood: 0"));
        QCOMPARE(transcript.lastLine(), QStringLiteral("flood: 9999"));

        // Lines as long as the network hands over are shown whole, in the
        // room and in a window alike.
        Dispatcher &dispatcher = alice.core().network().dispatcher();
        const int index = alice.core().network().connections().findConnection(address);
        const QByteArray mebibyte(1024 * 1024, 'm');
        dispatcher.dispatch(index, "chat:" + mebibyte);
        dispatcher.dispatch(index, "im:" + mebibyte);
        QCOMPARE(chat.chatBox().lastLine().size(), mebibyte.size() + 7);
        QCOMPARE(transcript.lastLine().size(), mebibyte.size() + 7);
        QCOMPARE(chat.conversations().count(), 1);
    }
};

QTEST_GUILESS_MAIN(ChatTest)
#include "tst_chat.moc"
