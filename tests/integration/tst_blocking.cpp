// Blocking peers and the user list, between copies in this process and
// hand-driven peers, each on a loopback address of its own.
#include "net/blocking.h"
#include "net/userlistmodel.h"
#include "shell/settingnames.h"
#include "support/fakepeer.h"
#include "support/runningcopy.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

constexpr int Port = 1971;

int rowOf(const UserListModel &model, const QString &address)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.address(row) == address)
            return row;
    }
    return -1;
}

int iconOf(const UserListModel &model, const QString &address)
{
    const int row = rowOf(model, address);
    return row < 0 ? -1 : model.index(row, 0).data(UserListModel::BlockIconRole).toInt();
}

QStringList column(const UserListModel &model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.index(row, column).data().toString());
    return texts;
}

bool link(RunningCopy &from, RunningCopy &to)
{
    from.core().connections().connectTo(to.address());
    return QTest::qWaitFor([&] {
        return from.linkedTo(to) && to.linkedTo(from) && rowOf(from.core().userList(), to.address()) >= 0
               && rowOf(to.core().userList(), from.address()) >= 0;
    }, 10000);
}

QByteArray storedBlockedList(RunningCopy &copy)
{
    return copy.core().settings().get(QLatin1String(SettingNames::BlockedList));
}

} // namespace

class BlockingTest : public QObject
{
    Q_OBJECT

private slots:
    void blockButtonAsksBlocksTellsAndToggles();
    void userListKeepsItsSelectionAndSortAcrossRebuilds();
};

void BlockingTest::blockButtonAsksBlocksTellsAndToggles()
{
    RunningCopy alice("alice");
    RunningCopy bob("bob");
    QVERIFY(alice.started() && bob.started());
    QVERIFY(link(alice, bob));
    Blocking &blocking = alice.core().blocking();
    const UserListModel &aliceList = alice.core().userList();
    const UserListModel &bobList = bob.core().userList();
    blocking.userBlockButtonClicked(QString());
    QVERIFY(alice.person().boxes.isEmpty());

    alice.person().answers = {Prompter::Answer::No};
    blocking.userBlockButtonClicked(bob.address());
    QCOMPARE(alice.person().boxes.size(), 1);
    QCOMPARE(alice.person().boxes[0].text, Blocking::confirmBlockText());
    QCOMPARE(alice.person().boxes[0].buttons, Prompter::Buttons::YesNo);
    QCOMPARE(alice.person().boxes[0].icon, Prompter::Icon::Exclamation);
    QVERIFY(!alice.core().blockedList().isBlocked(bob.id()));

    alice.person().answers = {Prompter::Answer::Yes};
    blocking.userBlockButtonClicked(bob.address());
    QCOMPARE(alice.person().boxes.size(), 2);
    QVERIFY(alice.core().blockedList().isBlocked(bob.id()));
    // The row starts without a nickname; the save fills it from the record.
    QCOMPARE(storedBlockedList(alice), bob.id() + "|bob?");
    QCOMPARE(iconOf(aliceList, bob.address()), 2);
    QTRY_COMPARE(iconOf(bobList, alice.address()), 1);

    // Pressed again, the button unblocks at once.
    blocking.userBlockButtonClicked(bob.address());
    QCOMPARE(alice.person().boxes.size(), 2);
    QVERIFY(!alice.core().blockedList().isBlocked(bob.id()));
    QCOMPARE(storedBlockedList(alice), QByteArray());
    QTRY_COMPARE(iconOf(bobList, alice.address()), 0);

    // When both sides block, our own block is the one shown.
    bob.core().blocking().blockPeer(bob.core().connections().findConnection(alice.address()));
    QTRY_COMPARE(iconOf(aliceList, bob.address()), 1);
    alice.core().blocking().blockPeer(alice.core().connections().findConnection(bob.address()));
    QCOMPARE(iconOf(aliceList, bob.address()), 2);
}

void BlockingTest::userListKeepsItsSelectionAndSortAcrossRebuilds()
{
    RunningCopy alice("alice");
    QVERIFY(alice.started());
    UserListModel &model = alice.core().userList();

    // Hand-driven peers choose their nicknames and counts; "9" and "10" tell
    // a numeric sort from a textual one.
    const QList<QPair<QByteArray, QByteArray>> peers = {
        {"Bob", "10"}, {"carol", "9"}, {"Dave", "100"}, {"\xc3\xa9mile", "9"}};
    std::vector<std::unique_ptr<FakePeer>> fakes;
    for (const auto &[nickname, count] : peers) {
        const QByteArray id = QByteArray::number(0xF0 + int(fakes.size()), 16).toUpper();
        auto peer = std::make_unique<FakePeer>(id, TestCopy::nextLoopbackAddress());
        QVERIFY(peer->connectTo(alice.address(), Port));
        peer->sendRaw("uid:" + id + "!!!!");
        peer->sendFrames({"id/client", "nick:" + nickname, "fileshared:" + count}, alice.id());
        fakes.push_back(std::move(peer));
        QTRY_COMPARE(model.rowCount(), int(fakes.size()));
    }
    QCOMPARE(column(model, UserListModel::UsernameColumn),
             QStringList({"Bob", "carol", "Dave", QStringLiteral("\u00e9mile")}));
    const QString carol = fakes[1]->socket().localAddress().toString();
    const QString emile = fakes[3]->socket().localAddress().toString();

    QSignalSpy restored(&model, &UserListModel::selectionRestored);
    model.setSelectedAddress(carol);
    model.sort(UserListModel::FilesColumn, Qt::DescendingOrder);
    QCOMPARE(column(model, UserListModel::FilesColumn), QStringList({"100", "10", "9", "9"}));
    // Equal counts keep their earlier order.
    QCOMPARE(model.address(2), carol);
    QCOMPARE(model.address(3), emile);
    QCOMPARE(restored.last().at(0).toInt(), 2);

    model.sort(UserListModel::UsernameColumn, Qt::AscendingOrder);
    QCOMPARE(column(model, UserListModel::UsernameColumn),
             QStringList({"Bob", "carol", "Dave", QStringLiteral("\u00e9mile")}));
    QCOMPARE(model.selectedRow(), 1);

    // A rebuild keeps the order and the selected peer.
    fakes[0]->sendFrames({"nick:zed", "fileshared:1"}, alice.id());
    QTRY_COMPARE(model.address(2), fakes[0]->socket().localAddress().toString());
    QCOMPARE(column(model, UserListModel::UsernameColumn),
             QStringList({"carol", "Dave", "zed", QStringLiteral("\u00e9mile")}));
    QCOMPARE(restored.last().at(0).toInt(), 0);

    // Once the selected peer is gone nothing is selected.
    fakes[1].reset();
    QTRY_COMPARE(model.rowCount(), 3);
    QCOMPARE(model.selectedRow(), -1);
    QCOMPARE(restored.last().at(0).toInt(), -1);
    QVERIFY(model.selectedAddress().isEmpty());
}

QTEST_MAIN(BlockingTest)
#include "tst_blocking.moc"
