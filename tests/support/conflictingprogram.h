#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A running process under a name of its own, standing in for the program
// that must not run beside Quelm. The name is unique, so tests that run at
// the same time never see each other's.
class ConflictingProgram
{
    Q_DISABLE_COPY_MOVE(ConflictingProgram)

public:
    ConflictingProgram();
    ~ConflictingProgram() { end(); }

    bool started() { return m_process.waitForStarted(); }
    QString name() const { return m_name; }
    void end();

private:
    QTemporaryDir m_dir;
    QString m_name;
    QProcess m_process;
};
