#include "transfer/downloadstate.h"

#include <QtTest>

Q_DECLARE_METATYPE(DownloadState::State)

namespace {

using State = DownloadState::State;

constexpr int SocketErrorNumber = 10061;

// One step of a transfer, by its letter: c connected, i file information,
// a digit a queue position, d data, C completed, S signature mismatch,
// M move failed, x cancelled, t closed by the server, e socket error, p
// parked at the end of the program.
bool take(DownloadState &state, QChar step)
{
    if (step.isDigit())
        return state.queued(step.digitValue());
    switch (step.toLatin1()) {
    case 'c': return state.connected();
    case 'i': return state.fileInfoArrived();
    case 'd': return state.dataArrived();
    case 'C': return state.completed();
    case 'S': return state.signatureMismatched();
    case 'M': return state.moveFailed();
    case 'x': return state.cancelled();
    case 't': return state.remotelyTerminated();
    case 'e': return state.failed(DownloadState::ErrorKind::Socket, SocketErrorNumber);
    case 'p': return state.parked();
    default: return false;
    }
}

} // namespace

class DownloadStateTest : public QObject
{
    Q_OBJECT

private slots:
    void stepsFollowTheTransfer_data()
    {
        QTest::addColumn<QString>("steps");
        // Per step, 1 when it was taken and 0 when it was refused.
        QTest::addColumn<QString>("taken");
        QTest::addColumn<State>("state");
        QTest::addColumn<bool>("running");
        QTest::newRow("the whole road") << "ci2dC" << "11111" << State::Complete << false;
        QTest::newRow("a position before the information") << "c3i" << "111" << State::Requesting << true;
        QTest::newRow("a new position") << "ci31" << "1111" << State::Queued << true;
        QTest::newRow("data straight after the request") << "cid" << "111" << State::Downloading << true;
        QTest::newRow("an empty file completes at once") << "ciC" << "111" << State::Complete << false;
        QTest::newRow("information before connecting") << "ic" << "01" << State::GettingInfo << true;
        QTest::newRow("a second connect") << "cc" << "10" << State::GettingInfo << true;
        QTest::newRow("data before the information") << "cdCSM" << "10000" << State::GettingInfo << true;
        QTest::newRow("a position once data flows") << "cid2" << "1110" << State::Downloading << true;
        QTest::newRow("a bad signature") << "cidS" << "1111" << State::SignatureError << false;
        QTest::newRow("a failed move") << "cidM" << "1111" << State::MoveError << false;
        QTest::newRow("cancelled while connecting") << "x" << "1" << State::Cancelled << false;
        QTest::newRow("closed while queued") << "ci2t" << "1111" << State::RemotelyTerminated << false;
        QTest::newRow("a socket error") << "cie" << "111" << State::Error << false;
        QTest::newRow("parked while downloading") << "cidpdC" << "111100" << State::Parked << false;
        QTest::newRow("an ended download is not parked") << "cidtp" << "11110" << State::RemotelyTerminated << false;
        QTest::newRow("nothing after an end") << "xcidC2tex" << "100000000" << State::Cancelled << false;
        QTest::newRow("nothing after completion") << "ciCxteSM" << "11100000" << State::Complete << false;
    }

    void stepsFollowTheTransfer()
    {
        QFETCH(QString, steps);
        QFETCH(QString, taken);
        QFETCH(State, state);
        QFETCH(bool, running);
        DownloadState download;
        QString result;
        for (QChar step : steps)
            result += take(download, step) ? QLatin1Char('1') : QLatin1Char('0');
        QCOMPARE(result, taken);
        QCOMPARE(download.state(), state);
        QCOMPARE(download.isRunning(), running);
        if (state == State::Queued)
            QCOMPARE(download.queuePosition(), QString(steps.back()).toInt());
        if (state == State::Error) {
            QCOMPARE(download.errorKind(), DownloadState::ErrorKind::Socket);
            QCOMPARE(download.errorNumber(), SocketErrorNumber);
        }
    }
};

QTEST_GUILESS_MAIN(DownloadStateTest)
#include "tst_downloadstate.moc"
