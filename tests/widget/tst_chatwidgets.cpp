// The Chat tab and a message window driven through their real widgets.
#include "support/clientpeer.h"
#include "ui/chatpage.h"
#include "ui/mainwindow.h"
#include "ui/messagewindow.h"
#include "ui/transcriptview.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace {

// Waits until `peer` has been sent a frame equal to `wanted`.
bool received(FakePeer &peer, RunningCopy &copy, const QByteArray &wanted, QList<QByteArray> *frames)
{
    return QTest::qWaitFor(
        [&] {
            *frames += peer.takeFrames(copy.id());
            return frames->contains(wanted);
        },
        5000);
}

} // namespace

class ChatWidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void chatTabSendsOnEnterAndFollowsTheNewestLine()
    {
        RunningCopy alice("alice");
        auto peer = connectClientPeer(alice, "C4A7", "Ann");
        QVERIFY(peer);
        ChatPage page(alice.core().chat());
        page.resize(260, 300);
        page.show();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        QLineEdit &box = page.chatSendBox();
        QCOMPARE(QApplication::focusWidget(), &box);

        QTest::keyClicks(&box, QStringLiteral("hello"));
        QTest::keyClick(&box, Qt::Key_Return);
        QList<QByteArray> frames;
        QVERIFY(received(*peer, alice, "chat:hello", &frames));
        QCOMPARE(alice.core().chat().chatBox().lastLine(), QStringLiteral("alice: hello"));
        QVERIFY(box.text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), &box);

        // Enter on an empty box sends nothing.
        QTest::keyClick(&box, Qt::Key_Return);
        QCOMPARE(alice.core().chat().chatBox().lineCount(), 1);

        // A paste is cut in the box itself.
        box.insert(QString(400, QLatin1Char('p')));
        QCOMPARE(box.text().size(), 350);
        box.clear();

        QList<QByteArray> lines;
        for (int i = 0; i < 300; ++i)
            lines.append("chat:line " + QByteArray::number(i) + " with enough words to wrap in a narrow window");
        peer->sendFrames(lines, alice.id());
        QTRY_COMPARE(alice.core().chat().chatBox().lineCount(), 301);
        TranscriptView &view = page.chatBox();
        QTRY_VERIFY(view.displayRowCount() > 301);
        QVERIFY(view.isAtEnd());

        view.selectAll();
        QCOMPARE(view.selectedText().count(QLatin1Char('\n')), 300);
        QVERIFY(view.selectedText().startsWith(QLatin1String("alice: hello\nAnn: line 0 with")));
    }

    void messageWindowOpensWithFocusSendsAndFollowsItsPeer()
    {
        RunningCopy alice("alice");
        auto peer = connectClientPeer(alice, "AE55", "Bea", {"fileshared:1"});
        QVERIFY(peer);
        const QString address = peer->socket().localAddress().toString();
        ChatPage page(alice.core().chat());
        Chat &chat = alice.core().chat();

        chat.openMessageWindow(address);
        QPointer<MessageWindow> window = MessageWindow::find(chat, address);
        QVERIFY(window);
        QCOMPARE(window->key(), "IM:" + address);
        QCOMPARE(window->windowTitle(), QStringLiteral("Bea - Instant Message"));
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTRY_COMPARE(QApplication::focusWidget(), &window->sendBox());

        QTest::keyClicks(&window->sendBox(), QStringLiteral("hi"));
        QTest::keyClick(&window->sendBox(), Qt::Key_Return);
        QList<QByteArray> frames;
        QVERIFY(received(*peer, alice, "im:hi", &frames));
        // Typing went out before the message, and only once.
        QCOMPARE(frames.count("imtyping:1"), 1);
        QVERIFY(frames.indexOf("imtyping:1") < frames.indexOf("im:hi"));
        QVERIFY(window->sendBox().text().isEmpty());
        QCOMPARE(chat.conversation(address)->transcript().lastLine(), QStringLiteral("alice: hi"));

        // Incoming lines land in the same window, the newest in view.
        QList<QByteArray> lines;
        for (int i = 0; i < 100; ++i)
            lines.append("im:answer " + QByteArray::number(i));
        peer->sendFrames(lines, alice.id());
        QTRY_COMPARE(chat.conversation(address)->transcript().lineCount(), 101);
        QCOMPARE(MessageWindow::find(chat, address), window.data());
        QVERIFY(window->messageBox().isAtEnd());
        QVERIFY(window->statusBar().text().startsWith(QLatin1String("Last Message Received at ")));

        // A text too long for one frame stays in the box, and a line says why.
        const QString tooLong(Chat::MaxInstantMessageBytes + 1, QLatin1Char('x'));
        window->sendBox().setText(tooLong);
        QTest::keyClick(&window->sendBox(), Qt::Key_Return);
        QCOMPARE(window->sendBox().text(), tooLong);
        QCOMPARE(chat.conversation(address)->transcript().lastLine(), QLatin1String(Conversation::TooLongLine));
        window->sendBox().clear();

        // The peer leaves: Send and Enter do nothing any more.
        peer.reset();
        QTRY_VERIFY(!window->sendButton().isEnabled());
        QCOMPARE(window->statusBar().text(), QStringLiteral("User is Not Connected."));
        QTest::keyClicks(&window->sendBox(), QStringLiteral("lost"));
        QTest::keyClick(&window->sendBox(), Qt::Key_Return);
        QCOMPARE(window->sendBox().text(), QStringLiteral("lost"));
        QVERIFY(chat.conversation(address)->transcript().lastLine().startsWith(QLatin1String("**DISCONNECTED at ")));

        // Closing the window ends the conversation.
        window->close();
        QVERIFY(!chat.conversation(address));
        QTRY_VERIFY(!window);
    }

    void aMessageWaitingForAWindowOpensFromTheChatTab()
    {
        RunningCopy alice("alice");
        Chat &chat = alice.core().chat();
        chat.setConversationLimit(1);
        ChatPage page(chat);
        page.show();
        chat.openMessageWindow(QStringLiteral("127.0.9.1"), "first", false);
        QVERIFY(!page.waitingLabel().isVisible());

        chat.openMessageWindow(QStringLiteral("127.0.9.2"), "second", false);
        QVERIFY(page.waitingLabel().isVisible());
        QCOMPARE(page.waitingLabel().text(), QStringLiteral("Message from unknown: second"));
        QVERIFY(!MessageWindow::find(chat, QStringLiteral("127.0.9.2")));

        // No room yet: the message keeps waiting.
        page.openWaitingButton().click();
        QVERIFY(page.waitingLabel().isVisible());
        MessageWindow::find(chat, QStringLiteral("127.0.9.1"))->close();
        page.openWaitingButton().click();
        QVERIFY(!page.waitingLabel().isVisible());
        MessageWindow *window = MessageWindow::find(chat, QStringLiteral("127.0.9.2"));
        QVERIFY(window);
        QCOMPARE(chat.conversation(QStringLiteral("127.0.9.2"))->transcript().lastLine(),
                 QStringLiteral("unknown: second"));
        window->close();
    }

    void tabsAnswerControlAndANumber()
    {
        RunningCopy alice("alice");
        MainWindow window(alice.core());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *tabs = window.findChild<QTabWidget *>();
        auto *chatPage = window.findChild<ChatPage *>();
        QVERIFY(tabs && chatPage);
        for (int tab : {1, 3, 0, 2}) {
            QTest::keyClick(&window, static_cast<Qt::Key>(Qt::Key_1 + tab), Qt::ControlModifier);
            QCOMPARE(tabs->currentIndex(), tab);
        }
        QTest::keyClick(&window, Qt::Key_4, Qt::ControlModifier);
        QCOMPARE(tabs->currentWidget(), chatPage);
        QTRY_COMPARE(QApplication::focusWidget(), &chatPage->chatSendBox());
    }
};

QTEST_MAIN(ChatWidgetsTest)
#include "tst_chatwidgets.moc"
