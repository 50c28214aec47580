#pragma once

#include "support/fakepeer.h"
#include "support/runningcopy.h"

#include <QTest>
#include <memory>

// A hand-driven peer on a fresh loopback address that has greeted `copy` as a
// client named `nickname`, followed by `more` messages; null when the copy did
// not greet it back within five seconds.
inline std::unique_ptr<FakePeer> connectClientPeer(RunningCopy &copy, const QByteArray &id,
                                                   const QByteArray &nickname = "fake",
                                                   const QList<QByteArray> &more = {})
{
    auto peer = std::make_unique<FakePeer>(id, TestCopy::nextLoopbackAddress());
    if (!peer->connectTo(copy.address(), copy.core().localPeer().port()))
        return nullptr;
    peer->sendRaw("uid:" + id + "!!!!");
    peer->sendFrames(QList<QByteArray>{"id/client", "nick:" + nickname} + more, copy.id());
    if (!QTest::qWaitFor([&peer] { return !peer->takeHandshakeLine().isEmpty(); }, 5000))
        return nullptr;
    return peer;
}
