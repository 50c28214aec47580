#include "net/blockedlist.h"

#include <QTest>

using Rows = QList<BlockedList::Row>;

class TestBlockedList final : public QObject
{
    Q_OBJECT

private slots:
    void storedForm()
    {
        BlockedList list;
        list.add("B2C4", "bob");
        list.add("A1");
        list.add("FF00AA", "carol smith");
        QCOMPARE(list.storedForm(), QByteArray("B2C4|bob?A1|?FF00AA|carol smith?"));
        BlockedList reloaded;
        reloaded.add("OLD", "gone");
        reloaded.load(list.storedForm());
        QCOMPARE(reloaded.rows(), list.rows());
        QVERIFY(!reloaded.isBlocked("OLD"));

        // A bare identifier, an extra field, empty pieces and a cut-off final row harm no other row.
        reloaded.load("A1|ann?B2?|nobody??C3|cat|extra?E5|cut");
        QCOMPARE(reloaded.rows(), Rows({{"A1", "ann"}, {"B2", ""}, {"C3", "cat"}}));
        // Nicknames and identifiers come from peers as sent.
        list.setRows({{"A1", "x?B|y"}, {"BAD|ID", "z"}, {"", "empty"}, {"C3", "c"}});
        QCOMPARE(list.storedForm(), QByteArray("A1|x B y?C3|c?"));
    }

    void lookupIsExactAndRemovalTakesTheFirstOnly()
    {
        BlockedList list;
        list.setRows({{"ABCD", "first"}, {"EF", "other"}, {"ABCD", "second"}});
        QVERIFY(list.isBlocked("ABCD") && !list.isBlocked("abcd") && !list.isBlocked("ABC") && !list.isBlocked(""));
        QVERIFY(list.removeFirst("ABCD"));
        QCOMPARE(list.rows(), Rows({{"EF", "other"}, {"ABCD", "second"}}));
        QVERIFY(list.isBlocked("ABCD"));
        QVERIFY(list.removeFirst("ABCD"));
        QVERIFY(!list.isBlocked("ABCD") && !list.removeFirst("ABCD") && list.isBlocked("EF"));
    }
};

QTEST_APPLESS_MAIN(TestBlockedList)
#include "tst_blockedlist.moc"
