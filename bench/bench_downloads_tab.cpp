// The Downloads tab under load: 1,000 running downloads and 10,000 ended
// ones, shown in a window, and the longest time the event loop is held while
// rows are appended, progress changes, downloads end and the tables redraw.
//
//   bench_downloads_tab
//
// The models are fed directly, at the pace of downloads that end at 2,000
// files per second, so the figures are the tab's own cost. The copy is
// never started: it opens no socket. Widgets are drawn off screen unless
// QT_QPA_PLATFORM says otherwise.
//
// One line per phase: the longest hold of the event loop (drawing
// included) as wall-clock time and as the time this thread ran in it, the
// longest step of the models and views alone where the phase runs in steps,
// and the phase's whole time. Other busy processes lengthen the wall-clock
// hold but not the thread's own time, so the verdict is on the latter; the
// machine's load is printed first and last.

#include "benchsupport.h"
#include "shell/core.h"
#include "ui/downloadspage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

namespace {

constexpr int Running = 1000;
constexpr int Ended = 10000;
// Files ending per turn of the event loop: 2,000 files per second over
// turns of about a millisecond.
constexpr int EndedPerTurn = 2;
// Data arrivals per turn while the running downloads progress.
constexpr int ArrivalsPerTurn = 20;
constexpr int ProgressMs = 3000;
constexpr qint64 FileSize = 4 << 20;
constexpr double TargetMs = 50.0;

std::unique_ptr<Download> makeDownload(int id)
{
    auto download = std::make_unique<Download>();
    download->id = id;
    download->slot = id % Running;
    download->fileName = QStringLiteral("holiday photo %1.jpg").arg(id);
    download->sharedName = "1:photos\\2024\\" + download->fileName.toUtf8();
    download->address = QStringLiteral("127.0.0.2");
    download->peerNick = QStringLiteral("peer%1").arg(id % 7);
    download->signature = "0123456789abcdef0123456789abcdef";
    download->total = FileSize;
    download->sizeKnown = true;
    return download;
}

// The longest gap between two beats of a 1 ms timer, in wall-clock time and
// in the time this thread spent running during a gap.
struct Hold
{
    double wallMs = 0;
    double threadMs = 0;
};

class HoldMeter
{
public:
    HoldMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { beat(); });
        m_wall.start();
        m_threadNs = threadNanoseconds();
        m_timer.start(1);
    }
    Hold longest() const { return m_longest; }

private:
    static qint64 threadNanoseconds()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }

    void beat()
    {
        const qint64 threadNs = threadNanoseconds();
        m_longest.wallMs = std::max(m_longest.wallMs, milliseconds(m_wall.nsecsElapsed()));
        m_longest.threadMs = std::max(m_longest.threadMs, milliseconds(threadNs - m_threadNs));
        m_wall.restart();
        m_threadNs = threadNs;
    }

    QTimer m_timer;
    QElapsedTimer m_wall;
    qint64 m_threadNs = 0;
    Hold m_longest;
};

// The longest single step of the last runTurns(): the models' and views'
// own handling, without the drawing that follows in the same hold.
double g_longestStepMs = 0;

// Runs `step` once per turn of the event loop until it returns false, and
// returns the longest the loop was held meanwhile.
Hold runTurns(const std::function<bool()> &step)
{
    HoldMeter heartbeat;
    QEventLoop loop;
    QTimer turn;
    g_longestStepMs = 0;
    QObject::connect(&turn, &QTimer::timeout, &loop, [&] {
        QElapsedTimer clock;
        clock.start();
        const bool more = step();
        g_longestStepMs = std::max(g_longestStepMs, milliseconds(clock.nsecsElapsed()));
        if (!more)
            loop.quit();
    });
    turn.start(0);
    loop.exec();
    // The last turn's repaint comes after it.
    waitFor([] { return false; }, 100);
    return heartbeat.longest();
}

// The event loop runs for `ms` with nothing to do but what is pending.
void settle(int ms)
{
    waitFor([] { return false; }, ms);
}

void report(const char *what, Hold hold, double seconds = -1)
{
    const char *verdict = hold.threadMs < TargetMs ? "ok" : "OVER";
    std::printf("%-50s %7.1f ms %7.1f ms  %-4s", what, hold.wallMs, hold.threadMs, verdict);
    if (seconds >= 0)
        std::printf("  %6.1f ms  %6.2f s", g_longestStepMs, seconds);
    std::printf("\n");
    std::fflush(stdout);
}

void printLoad(const char *when)
{
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    const QByteArray load = loadavg.open(QIODevice::ReadOnly) ? loadavg.readLine().trimmed() : "unknown";
    std::printf("load average %s: %s\n", when, load.constData());
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    QuietPrompter prompter;
    Core core(CoreConfig::forHome(home.path(), QStringLiteral("127.0.0.1")), prompter);
    DownloadListModel &running = core.transfers().downloadList();
    DeadDownloadListModel &ended = core.transfers().deadDownloadList();
    DownloadsPage page(core);
    page.resize(1200, 800);
    page.show();
    settle(300);
    printLoad("before");
    std::printf("%-50s %10s %10s  %-4s  %9s  %8s\n", "phase (target: every hold < 50 ms)", "hold wall", "thread",
                "", "step", "in all");

    int nextId = 1;
    QElapsedTimer clock;
    clock.start();
    const Hold started = runTurns([&] {
        for (int i = 0; i < Running; ++i) {
            auto download = makeDownload(nextId++);
            download->state.connected();
            running.append(std::move(download));
        }
        return false;
    });
    report("1,000 downloads started in one turn", started, clock.nsecsElapsed() / 1e9);

    for (int row = 0; row < running.rowCount(); ++row) {
        Download *download = running.find(running.at(row).id);
        download->state.fileInfoArrived();
        download->state.dataArrived();
    }
    int arrival = 0;
    clock.restart();
    QElapsedTimer sampled;
    sampled.start();
    const Hold progressed = runTurns([&] {
        for (int i = 0; i < ArrivalsPerTurn; ++i, ++arrival) {
            Download *download = running.find(running.at(arrival % Running).id);
            download->received = std::min(FileSize - 1, download->received + 65536);
            running.refresh(download->id);
        }
        // The once-a-second rate sample touches every row.
        if (sampled.elapsed() >= 1000) {
            sampled.restart();
            for (int row = 0; row < running.rowCount(); ++row) {
                Download *download = running.find(running.at(row).id);
                download->rate = download->received - download->lastSample;
                download->lastSample = download->received;
                running.refresh(download->id);
            }
        }
        return clock.elapsed() < ProgressMs;
    });
    report("progress: 20 arrivals a turn, rate sampled each s", progressed, clock.nsecsElapsed() / 1e9);

    clock.restart();
    const Hold appended = runTurns([&] {
        for (int i = 0; i < EndedPerTurn && ended.rowCount() < Ended; ++i) {
            auto download = makeDownload(nextId++);
            download->state.connected();
            download->state.fileInfoArrived();
            download->received = FileSize;
            download->state.completed();
            download->finishedPath = home.filePath(download->fileName);
            ended.append(std::move(download));
        }
        return ended.rowCount() < Ended;
    });
    report("10,000 downloads ending, 2 per turn, beside them", appended, clock.nsecsElapsed() / 1e9);

    QTableView &endedView = page.endedView();
    QTableView &runningView = page.runningView();
    const auto redraw = [](const char *what, const std::function<void()> &change, int ms) {
        HoldMeter heartbeat;
        change();
        settle(ms);
        report(what, heartbeat.longest());
    };
    redraw("ended table scrolled to the top", [&endedView] { endedView.verticalScrollBar()->setValue(0); }, 100);
    redraw("ended table scrolled to the middle", [&endedView] {
        endedView.verticalScrollBar()->setValue(endedView.verticalScrollBar()->maximum() / 2);
    }, 100);
    redraw("the tab resized", [&page] { page.resize(1400, 900); }, 300);
    redraw("the tab hidden", [&page] { page.hide(); }, 100);
    redraw("the tab shown again", [&page] { page.show(); }, 400);

    clock.restart();
    const Hold finished = runTurns([&] {
        for (int i = 0; i < EndedPerTurn && running.rowCount() > 0; ++i) {
            std::unique_ptr<Download> download = running.take(running.at(0).id);
            download->received = FileSize;
            download->state.completed();
            ended.append(std::move(download));
        }
        return running.rowCount() > 0;
    });
    report("the 1,000 running downloads ending, 2 per turn", finished, clock.nsecsElapsed() / 1e9);

    clock.restart();
    const Hold cleared = runTurns([&] {
        core.transfers().clearEnded();
        return false;
    });
    report("Clear of 11,000 ended entries", cleared, clock.nsecsElapsed() / 1e9);
    std::printf("the running table shows %d rows, the ended table %d\n", runningView.model()->rowCount(),
                endedView.model()->rowCount());
    printLoad("after");
    return 0;
}
