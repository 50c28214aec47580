#pragma once

#include "support/runningcopy.h"

#include <QByteArray>
#include <QMap>
#include <QString>

// Writes the files below the copy's first shared root (its downloads folder)
// and waits for the index to hold them. False on a failed write or wait.
bool shareFiles(RunningCopy &copy, const QMap<QString, QByteArray> &files);
// Bytes that differ from position to position, so a misplaced piece shows.
QByteArray patternBytes(qint64 length, int seed = 0);
QByteArray readWholeFile(const QString &path);
