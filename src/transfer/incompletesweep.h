#pragma once

#include <QDateTime>
#include <QString>

class ResumeStore;

// The parts that a crash or a power loss left in the incomplete folder, dealt
// with at start: a part whose tag names its file and whose first bytes have
// that file's signature goes into the resume store, so that a later download
// continues from it; a part that cannot be keyed is deleted once it is older
// than a day. A file whose every byte arrived stays where it is.
class IncompleteSweep final
{
public:
    static constexpr qint64 MaxAgeSeconds = 24 * 60 * 60;

    struct Counts {
        int parked = 0;
        int deleted = 0;
    };

    static Counts sweep(const QString &incompleteFolder, ResumeStore &store, const QDateTime &now);
};
