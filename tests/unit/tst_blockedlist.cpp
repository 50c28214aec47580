#include "net/blockedlist.h"

#include <QTest>

using Rows = QList<BlockedList::Row>;

class TestBlockedList final : public QObject
{
    Q_OBJECT

private slots:
    void storedFormRoundTripsInOrder()
    {
        BlockedList list;
        list.add("B2C4", "bob");
        list.add("A1", "");
        list.add("FF00AA", "carol smith");
        const QByteArray stored = list.storedForm();
        QCOMPARE(stored, QByteArray("B2C4|bob?A1|?FF00AA|carol smith?"));

        BlockedList reloaded;
        reloaded.add("OLD", "gone");
        reloaded.load(stored);
        QCOMPARE(reloaded.rows(), list.rows());
        QVERIFY(!reloaded.isBlocked("OLD"));
        QVERIFY(reloaded.isBlocked("FF00AA"));
    }

    void loadsEmptyAndMalformedTextWithoutHarmToOtherRows()
    {
        BlockedList list;
        list.add("X", "x");
        list.load({});
        QCOMPARE(list.count(), 0);
        QVERIFY(!list.isBlocked("X"));

        // A bare identifier, an extra field, empty pieces and a cut-off
        // final row (no "?") around two good rows.
        list.load("A1|ann?B2?|nobody??C3|cat|extra?D4|dan?E5|cut");
        QCOMPARE(list.rows(), Rows({{"A1", "ann"}, {"B2", ""}, {"C3", "cat"}, {"D4", "dan"}}));
        QVERIFY(!list.isBlocked("E5"));
        QVERIFY(!list.isBlocked(""));
    }

    void storedFormNeverSplitsARowInTwo()
    {
        // Nicknames come from peers as sent; identifiers may be anything a
        // peer put in its handshake.
        BlockedList list;
        list.add("A1", "x?B|y");
        list.add("BAD|ID", "z");
        list.add("", "empty");
        list.add("C3", "c");
        BlockedList reloaded;
        reloaded.load(list.storedForm());
        QCOMPARE(reloaded.rows(), Rows({{"A1", "x B y"}, {"C3", "c"}}));
    }

    void lookupIsExactAndRemovalTakesTheFirstOnly()
    {
        BlockedList list;
        list.add("ABCD", "first");
        list.add("EF", "other");
        list.add("ABCD", "second");
        QVERIFY(list.isBlocked("ABCD"));
        QVERIFY(!list.isBlocked("abcd"));
        QVERIFY(!list.isBlocked("ABC"));
        QVERIFY(!list.isBlocked(""));

        QVERIFY(list.removeFirst("ABCD"));
        QCOMPARE(list.rows(), Rows({{"EF", "other"}, {"ABCD", "second"}}));
        QVERIFY(list.isBlocked("ABCD"));
        QVERIFY(list.removeFirst("ABCD"));
        QVERIFY(!list.isBlocked("ABCD"));
        QVERIFY(!list.removeFirst("ABCD"));
        QVERIFY(list.isBlocked("EF"));

        list.setRows({{"X1", "x"}, {"X1", "again"}});
        QVERIFY(!list.isBlocked("EF"));
        QVERIFY(list.removeFirst("X1"));
        QVERIFY(list.isBlocked("X1"));
    }
};

QTEST_APPLESS_MAIN(TestBlockedList)
#include "tst_blockedlist.moc"
