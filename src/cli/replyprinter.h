#pragma once

#include "cli/texttable.h"

#include <QJsonObject>
#include <QString>

// The human-readable text of quelmd's replies to one request: streamed
// results as they arrive, then the final answer. Progress events of a
// download are drawn by ProgressDisplay, not here.
class ReplyPrinter final
{
public:
    explicit ReplyPrinter(QJsonObject request);

    // The text for one event; empty for events that show nothing here.
    QString eventText(const QJsonObject &event);
    // The text for a final line whose command succeeded.
    QString successText(const QJsonObject &reply) const;
    // One line, without the program name, for a final line that reports a failure.
    QString failureText(const QJsonObject &reply) const;

private:
    QString resultLine(const QJsonObject &result);
    static QString resumeSearchLine(const QJsonObject &event);
    static QString statusText(const QJsonObject &reply);
    static QString peersText(const QJsonObject &reply);
    static QString resultCountText(const QJsonObject &reply);
    static QString downloadsText(const QJsonObject &reply);
    static QString getText(const QJsonObject &reply);
    static QString foldersText(const QJsonObject &reply);
    QString confirmationText(const QJsonObject &reply) const;
    // Whom the reply says a command acted on.
    static QString peerText(const QJsonObject &reply);

    QJsonObject m_request;
    QString m_command;
    TextTable m_results;
    bool m_resultHeaderShown = false;
};
