#pragma once

#include "shell/core.h"
#include "support/scriptedprompter.h"
#include "support/testcopy.h"

#include <memory>

// A whole copy started in this process on a loopback address of its own, with
// a nickname, an identifier of its own and a scripted person. Scanning is off
// unless asked for, so copies meet only when a test connects them.
class RunningCopy final
{
public:
    explicit RunningCopy(const QByteArray &nickname, bool scanning = false);

    Core &core() { return *m_core; }
    ScriptedPrompter &person() { return m_person; }
    QString address() const { return m_copy.address(); }
    QByteArray id() const { return m_core->localPeer().id(); }
    bool started() const { return m_started; }
    // Ends the copy as its Exit does, then starts a new one on the same
    // program folder and address. False when the new one did not start.
    bool restart();
    // Control links whose peer has told its nickname.
    int linkCount() const;
    // True when this copy has a control link to `other` and knows its nickname.
    bool linkedTo(const RunningCopy &other) const;

private:
    TestCopy m_copy;
    ScriptedPrompter m_person;
    std::unique_ptr<Core> m_core;
    bool m_started = false;
};
