#include "shell/shutdownsignal.h"

#include <QSignalSpy>
#include <QtTest>

#include <csignal>

class ShutdownSignalTest : public QObject
{
    Q_OBJECT

private slots:
    void signalArrivesOnTheEventLoop_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void signalArrivesOnTheEventLoop()
    {
        QFETCH(int, number);
        ShutdownSignal shutdown;
        QVERIFY(shutdown.isActive());
        QSignalSpy received(&shutdown, &ShutdownSignal::received);
        QCOMPARE(::raise(number), 0);
        // Nothing is emitted from inside the handler, nor before the program runs.
        QTest::qWait(50);
        QCOMPARE(received.count(), 0);
        shutdown.start();
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toInt(), number);
    }

    void handlersAreGivenBackAtTheEnd()
    {
        {
            ShutdownSignal shutdown;
            struct sigaction installed {};
            QCOMPARE(::sigaction(SIGTERM, nullptr, &installed), 0);
            QVERIFY(installed.sa_handler != SIG_DFL);
        }
        struct sigaction after {};
        QCOMPARE(::sigaction(SIGTERM, nullptr, &after), 0);
        QVERIFY(after.sa_handler == SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(ShutdownSignalTest)
#include "tst_shutdownsignal.moc"
