#pragma once

#include <QJsonObject>
#include <QLatin1String>

class Core;
struct Download;

// What a running copy tells its control client about itself: its identity
// and counts, the peers it is linked to, and its downloads.
class CopyReport final
{
public:
    CopyReport() = delete;

    static QJsonObject status(Core &core);
    static QJsonObject peers(Core &core);
    static QJsonObject downloads(Core &core);
    // The word by which a client tells where a download stands.
    static QLatin1String stateWord(const Download &download);
};
