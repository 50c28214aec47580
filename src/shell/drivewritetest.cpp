#include "shell/drivewritetest.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

// Gives up when every numbered name seems taken rather than search forever.
constexpr int MaxNameTries = 4000;

QString numberedName(const QString &folder)
{
    const int number = QRandomGenerator::global()->bounded(100, 900);
    return folder + QStringLiteral("/drivetest%1.quelm").arg(number);
}

} // namespace

bool DriveWriteTest::driveWriteTest(const QString &folder)
{
    QString candidate = folder + QLatin1String("/drivetest.quelm");
    int tries = 0;
    while (QFileInfo::exists(candidate)) {
        if (++tries > MaxNameTries)
            return false;
        candidate = numberedName(folder);
    }

    QFile file(candidate);
    // NewOnly: a file that appeared since the check belongs to someone else
    // and must neither be overwritten nor removed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly))
        return false;
    file.write("testing\n");
    file.close();
    const bool written = QFileInfo::exists(candidate);
    file.remove();
    return written;
}
