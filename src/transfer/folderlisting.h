#pragma once

#include "transfer/folderdownload.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

class SearchService;

// The files of one peer's folder, from a browse of that peer. The browse
// has no end of its own: it is taken as complete once no result has come
// for QuietMs, or when nobody answered within NoAnswerMs. A browse of the
// same peer already shown is not asked for again.
class FolderListing final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderListing)

public:
    static constexpr int QuietMs = 1500;
    static constexpr int NoAnswerMs = 10000;

    FolderListing(SearchService &search, QString address, QByteArray nickname, QByteArray folder,
                  QObject *parent = nullptr);

    void start();
    QString address() const { return m_address; }
    QByteArray folder() const { return m_folder; }
    QByteArray nickname() const { return m_nickname; }

signals:
    // The peer's files below the folder, in the order the browse listed them.
    void listed(const std::vector<FolderDownload::File> &files);

private:
    void collect();

    SearchService &m_search;
    QString m_address;
    QByteArray m_nickname;
    QByteArray m_folder;
    QTimer m_quiet;
};
