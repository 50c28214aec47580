#pragma once

#include "transfer/parkeddownloadsfile.h"

#include <QString>

class DeadDownloadListModel;
class DownloadListModel;
class Downloader;
class ResumeStore;
struct Download;

// Downloads that outlive the program: at its end the running ones are
// parked (their parts go into the resume store) and listed in the ended
// table as parked; that list is kept in a file, and at the next start the
// entries are listed again, to be resumed by a search for their signature.
class DownloadParking final
{
public:
    DownloadParking(Downloader &downloader, DownloadListModel &running, DeadDownloadListModel &ended,
                    ResumeStore &store, const QString &programFolder);

    // At the end of the program: every running download whose file can be
    // searched for again is parked; the others are left as they are.
    void parkRunning();
    // At the start: the downloads parked at the last end, as ended entries.
    void restore();
    // Writes the parked entries of the ended table to the file, one per file
    // (size and signature), or removes the file when there are none.
    void save();
    // Removes the file: nothing parked is kept for the next start.
    void discard();
    // Removes parked entries whose file is now running or complete.
    void dropSettled();
    // The ids of the parked entries, oldest first.
    QList<int> parkedIds() const;

private:
    bool isSettled(const Download &parked) const;

    Downloader &m_downloader;
    DownloadListModel &m_running;
    DeadDownloadListModel &m_ended;
    ResumeStore &m_store;
    ParkedDownloadsFile m_file;
};
