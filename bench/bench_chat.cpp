// Chat between thirty copies in this process, and what a transcript and its
// view cost: one line from every copy to all others, 100,000 lines appended
// to one transcript shown in a view, a flood of instant messages into an open
// message window and one line as long as a frame carries.
//
//   bench_chat
//
// The copies listen on addresses of one block of 127/8 chosen per run, so
// nothing leaves this machine's loopback. Widgets are drawn off screen unless
// QT_QPA_PLATFORM says otherwise.

#include "benchsupport.h"
#include "chat/chat.h"
#include "shell/core.h"
#include "ui/chatpage.h"
#include "ui/messagewindow.h"
#include "ui/transcriptview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <time.h>

namespace {

constexpr int Copies = 30;
constexpr int TranscriptLines = 100000;
constexpr int FloodMessages = 10000;
constexpr int LargeLineBytes = 400 * 1024;
constexpr int MeshTimeoutMs = 60000;
constexpr int DeliveryTimeoutMs = 30000;

constexpr double TargetAppendSeconds = 1.0;
constexpr double TargetAppendMs = 5.0;
constexpr double TargetHoldMs = 100.0;

struct Copy {
    std::unique_ptr<QTemporaryDir> home;
    QString address;
    std::unique_ptr<Core> core;
};

int namedLinks(Core &core)
{
    ControlConnections &connections = core.network().connections();
    int named = 0;
    for (int index : connections.controlLinks())
        named += !connections.record(index).nickname.isEmpty();
    return named;
}

void benchRoom(std::vector<Copy> &copies)
{
    QElapsedTimer clock;
    clock.start();
    for (size_t i = 0; i < copies.size(); ++i) {
        for (size_t j = i + 1; j < copies.size(); ++j)
            copies[i].core->network().connections().connectTo(copies[j].address);
    }
    const auto meshed = [&copies] {
        return std::all_of(copies.begin(), copies.end(),
                           [](Copy &copy) { return namedLinks(*copy.core) == Copies - 1; });
    };
    if (!waitFor(meshed, MeshTimeoutMs)) {
        std::printf("room: the %d copies did not form a full mesh\n", Copies);
        return;
    }
    std::printf("room: %d copies meshed in %.2f s\n", Copies, static_cast<double>(clock.nsecsElapsed()) / 1e9);

    Heartbeat heartbeat;
    clock.restart();
    for (size_t i = 0; i < copies.size(); ++i)
        copies[i].core->chat().sendChatLine(QStringLiteral("a line from copy %1").arg(i));
    const auto delivered = [&copies] {
        return std::all_of(copies.begin(), copies.end(),
                           [](Copy &copy) { return copy.core->chat().chatBox().lineCount() == Copies; });
    };
    const bool complete = waitFor(delivered, DeliveryTimeoutMs);
    int received = 0;
    for (Copy &copy : copies)
        received += copy.core->chat().chatBox().lineCount() - 1;
    std::printf("room: %d of %d lines received, the last transcript complete after %.1f ms%s, "
                "event loop held at most %.1f ms\n",
                received, Copies * (Copies - 1), milliseconds(clock.nsecsElapsed()),
                complete ? "" : " (NOT complete)", heartbeat.longestMs());
}

void benchTranscript()
{
    ChatTranscript transcript;
    TranscriptView view;
    view.setTranscript(&transcript);
    view.resize(600, 400);
    view.show();
    QApplication::processEvents();

    qint64 longest = 0;
    qint64 longestCpu = 0;
    QElapsedTimer clock;
    clock.start();
    const qint64 startCpu = threadCpuNanoseconds();
    for (int i = 0; i < TranscriptLines; ++i) {
        QElapsedTimer one;
        const qint64 cpu = threadCpuNanoseconds();
        one.start();
        transcript.appendMessage("nick" + QByteArray::number(i % Copies),
                                 "line " + QByteArray::number(i) + " of a long day of chat in the room");
        longest = std::max(longest, one.nsecsElapsed());
        longestCpu = std::max(longestCpu, threadCpuNanoseconds() - cpu);
    }
    const qint64 appended = clock.nsecsElapsed();
    const qint64 appendedCpu = threadCpuNanoseconds() - startCpu;
    view.repaint();
    const bool atEnd = view.isAtEnd();
    std::printf("transcript: %d lines appended to model and view in %.1f ms (%.1f ms on the CPU), shown at the end after %.1f ms "
                "(target < %.0f s), longest append %.3f ms wall, %.3f ms on the CPU (target < %.0f ms), %d rows%s\n",
                TranscriptLines, milliseconds(appended), milliseconds(appendedCpu), milliseconds(clock.nsecsElapsed()),
                TargetAppendSeconds,
                milliseconds(longest), milliseconds(longestCpu), TargetAppendMs, view.displayRowCount(), atEnd ? "" : ", NOT at the end");

    clock.restart();
    view.resize(420, 400);
    view.repaint();
    std::printf("transcript: rewrapped for a new width in %.1f ms\n", milliseconds(clock.nsecsElapsed()));
}

void benchMessageWindow(Copy &sender, Copy &receiver)
{
    ChatPage page(receiver.core->chat());
    Chat &chat = receiver.core->chat();
    Heartbeat heartbeat;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < FloodMessages; ++i)
        sender.core->chat().sendInstantMessage(receiver.address, "message " + QByteArray::number(i));
    const auto arrived = [&] {
        Conversation *conversation = chat.conversation(sender.address);
        return conversation && conversation->transcript().lineCount() >= FloodMessages;
    };
    const bool complete = waitFor(arrived, DeliveryTimeoutMs);
    std::printf("flood: %d instant messages into one window in %.1f ms%s, %d window(s), event loop held at most "
                "%.1f ms (target < %.0f ms)\n",
                FloodMessages, milliseconds(clock.nsecsElapsed()), complete ? "" : " (NOT complete)",
                chat.conversations().count(), heartbeat.longestMs(), TargetHoldMs);

    Heartbeat large;
    clock.restart();
    QByteArray words;
    while (words.size() < LargeLineBytes)
        words += "word" + QByteArray::number(words.size() % 97) + ' ';
    const QByteArray unbroken(LargeLineBytes, 'x');
    const int before = chat.conversation(sender.address)->transcript().lineCount();
    sender.core->chat().sendInstantMessage(receiver.address, words);
    sender.core->chat().sendInstantMessage(receiver.address, unbroken);
    const bool shown = waitFor(
        [&] { return chat.conversation(sender.address)->transcript().lineCount() == before + 2; }, DeliveryTimeoutMs);
    if (MessageWindow *window = MessageWindow::find(chat, sender.address))
        window->repaint();
    std::printf("large: two lines of %d KiB (words, then one unbroken run) shown in %.1f ms%s, event loop held "
                "at most %.1f ms (target < %.0f ms)\n",
                LargeLineBytes / 1024, milliseconds(clock.nsecsElapsed()), shown ? "" : " (NOT shown)",
                large.longestMs(), TargetHoldMs);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const QString block = QStringLiteral("127.%1.%2.")
                              .arg(QRandomGenerator::global()->bounded(1u, 250u))
                              .arg(QRandomGenerator::global()->bounded(1u, 250u));
    QuietPrompter prompter;
    std::vector<Copy> copies;
    for (int i = 0; i < Copies; ++i) {
        Copy copy;
        copy.home = std::make_unique<QTemporaryDir>();
        copy.address = block + QString::number(i + 1);
        copy.core = startCopy(copy.home->path(), copy.address, "copy" + QByteArray::number(i), prompter);
        if (!copy.core) {
            std::printf("copy %d did not start\n", i);
            return 1;
        }
        copies.push_back(std::move(copy));
    }

    benchRoom(copies);
    benchTranscript();
    benchMessageWindow(copies[0], copies[1]);
    return 0;
}
