#pragma once

#include "shell/coreconfig.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// A throw-away program folder and a loopback address of its own for one copy
// under test. Addresses come from a block picked at random per process, so
// tests running side by side do not meet on the same address and port.
class TestCopy final
{
public:
    TestCopy();

    QString home() const { return m_dir.path(); }
    QString address() const { return m_address; }
    CoreConfig config() const;
    // Writes a user-hive value before the copy starts, as a script would.
    void presetUserValue(const QString &name, const QByteArray &value) const;

    // A fresh loopback address, different on every call.
    static QString nextLoopbackAddress();

private:
    QTemporaryDir m_dir;
    QString m_address;
};
