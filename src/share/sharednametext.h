#pragma once

#include <QByteArrayView>
#include <QString>

// A shared name as a person reads it. On the wire a name carries its root
// folder's number and "\" between folders ("3:music\song.mp3"); tables show
// "music/song.mp3" and keep the wire form for the tooltip and for requests.
class SharedNameText final
{
public:
    static QString forDisplay(QByteArrayView sharedName);
};
