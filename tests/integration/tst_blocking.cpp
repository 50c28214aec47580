#include "base/settingnames.h"
#include "net/blocking.h"
#include "net/userlistmodel.h"
#include "support/clientpeer.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

// The cell of the row keyed by `address`; invalid when no row has it.
QVariant cellOf(const UserListModel &model, const QString &address, int column, int role = Qt::DisplayRole)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.address(row) == address)
            return model.index(row, column).data(role);
    }
    return {};
}

int iconOf(const UserListModel &model, const QString &address)
{
    const QVariant icon = cellOf(model, address, 0, UserListModel::BlockIconRole);
    return icon.isValid() ? icon.toInt() : -1;
}

QStringList column(const UserListModel &model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.index(row, column).data().toString());
    return texts;
}

} // namespace

class BlockingTest : public QObject
{
    Q_OBJECT

private slots:
    void blockButtonAsksBlocksTellsAndToggles()
    {
        RunningCopy alice("alice");
        RunningCopy bob("bob");
        QVERIFY(alice.started() && bob.started());
        alice.core().network().connections().connectTo(bob.address());
        const UserListModel &aliceList = alice.core().network().userList();
        const UserListModel &bobList = bob.core().network().userList();
        QTRY_VERIFY(cellOf(aliceList, bob.address(), 0).isValid() && cellOf(bobList, alice.address(), 0).isValid());
        Blocking &blocking = alice.core().network().blocking();
        const QString blockedList = QLatin1String(SettingNames::BlockedList);
        const auto bobSends = [&bob, &alice](const QByteArray &message) {
            bob.core().network().connections().send(bob.core().network().connections().findConnection(alice.address()), message);
        };
        QSignalSpy im(&alice.core().network().dispatcher(), &Dispatcher::imReceived);

        blocking.toggleBlock(QString());
        QVERIFY(alice.person().boxes.isEmpty());
        alice.person().answers = {Prompter::Answer::No};
        blocking.toggleBlock(bob.address());
        const QString question = "Are you sure you want to block this user? This prevents ALL communications.";
        QCOMPARE(alice.person().boxTexts(), QStringList(question));
        QVERIFY(alice.person().boxes[0].buttons == Prompter::Buttons::YesNo
                && alice.person().boxes[0].icon == Prompter::Icon::Exclamation);
        QVERIFY(!alice.core().network().blockedList().isBlocked(bob.id()));

        alice.person().answers = {Prompter::Answer::Yes};
        blocking.toggleBlock(bob.address());
        QCOMPARE(alice.person().boxes.size(), 2);
        QVERIFY(alice.core().network().blockedList().isBlocked(bob.id()));
        // The row starts without a nickname; the save fills it from the record.
        QCOMPARE(alice.core().settings().get(blockedList), bob.id() + "|bob?");
        QCOMPARE(iconOf(aliceList, bob.address()), 2);
        QTRY_COMPARE(iconOf(bobList, alice.address()), 1);
        // An instant message from the blocked identifier is dropped; the file
        // count sent after it shows that it has been read.
        bobSends("im:hidden");
        bobSends("fileshared:5");
        QTRY_COMPARE(cellOf(aliceList, bob.address(), UserListModel::FilesColumn).toString(), QStringLiteral("5"));

        // Pressed again, the button unblocks at once.
        blocking.toggleBlock(bob.address());
        QCOMPARE(alice.person().boxes.size(), 2);
        QVERIFY(!alice.core().network().blockedList().isBlocked(bob.id()));
        QCOMPARE(alice.core().settings().get(blockedList), QByteArray());
        QTRY_COMPARE(iconOf(bobList, alice.address()), 0);
        bobSends("im:open");
        QTRY_COMPARE(im.count(), 1);
        QCOMPARE(im.at(0).at(1).toByteArray(), QByteArray("open"));

        // When both sides block, our own block is the one shown.
        bob.core().network().blocking().blockPeer(bob.core().network().connections().findConnection(alice.address()));
        QTRY_COMPARE(iconOf(aliceList, bob.address()), 1);
        alice.core().network().blocking().blockPeer(alice.core().network().connections().findConnection(bob.address()));
        QCOMPARE(iconOf(aliceList, bob.address()), 2);
    }

    void userListKeepsItsSelectionAndSortAcrossRebuilds()
    {
        RunningCopy alice("alice");
        QVERIFY(alice.started());
        UserListModel &model = alice.core().network().userList();
        // "9" and "10" tell a numeric sort from a textual one.
        const QList<QPair<QByteArray, QByteArray>> peers = {
            {"Bob", "10"}, {"carol", "9"}, {"Dave", "100"}, {"\xc3\xa9mile", "9"}};
        std::vector<std::unique_ptr<FakePeer>> fakes;
        for (const auto &[nickname, count] : peers) {
            fakes.push_back(connectClientPeer(alice, QByteArray::number(0xF0 + int(fakes.size()), 16).toUpper(),
                                              nickname, {"fileshared:" + count}));
            QVERIFY(fakes.back());
            QTRY_COMPARE(model.rowCount(), int(fakes.size()));
        }
        const QString carol = fakes[1]->socket().localAddress().toString();

        QSignalSpy restored(&model, &UserListModel::selectionRestored);
        model.setSelectedAddress(carol);
        model.sort(UserListModel::FilesColumn, Qt::DescendingOrder);
        QCOMPARE(column(model, UserListModel::FilesColumn), QStringList({"100", "10", "9", "9"}));
        // Equal counts keep their earlier order.
        QCOMPARE(model.address(2), carol);
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
    }
};

QTEST_MAIN(BlockingTest)
#include "tst_blocking.moc"
