#pragma once

#include <QString>

// Whether files can be written in a folder: a small test file is created,
// written and removed again.
class DriveWriteTest final
{
public:
    DriveWriteTest() = delete;

    // Uses "drivetest.quelm", or a free "drivetest<100..899>.quelm" when that
    // name is taken, so no existing file is ever touched. Failures are not
    // reported; they only make the result false.
    static bool driveWriteTest(const QString &folder);
};
