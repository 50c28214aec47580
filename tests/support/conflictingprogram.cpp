#include "support/conflictingprogram.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>

ConflictingProgram::ConflictingProgram()
    : m_name(QStringLiteral("KorviProbe%1").arg(QRandomGenerator::global()->bounded(1000000)))
{
    const QString program = m_dir.filePath(m_name);
    if (QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")), program))
        m_process.start(program, {QStringLiteral("30")});
}

void ConflictingProgram::end()
{
    m_process.kill();
    m_process.waitForFinished();
}
