#pragma once

#include "net/framereassembler.h"

#include <QByteArray>

// What is known about the connection on one element of the control array.
// A record describes a live peer only while its element is connected (state
// 7); it keeps its values after the connection closes until the slot is
// prepared again.
struct ConnectionRecord
{
    FrameReassembler receiveBuffer;  // pending incomplete frame
    QByteArray handshakeLine;        // start of a handshake line split by TCP
    bool incomingPending = false;    // accepted, and no "id/" seen yet
    QByteArray nickname;
    QByteArray peerId;               // empty until the handshake names the peer
    QByteArray sharedCount = "0";    // as the peer sent it
    bool blockedByPeer = false;
    bool isClient = false;
    int handshakeCount = 0;          // data arrivals seen while peerId is empty
    bool isTransfer = false;         // accepted connection that asked for a file
    bool transferQueued = false;     // its file request waits in the upload queue
    bool transferOnly = false;       // accepted beyond the bound on unnamed connections
    bool accepted = false;           // the peer opened this connection
    qint64 openedAtMs = -1;          // when the connection was accepted or opened
    qint64 writtenBytes = 0;         // bytes the system has taken to send
    qint64 writtenAtLastLook = 0;    // writtenBytes when the watch last looked
    qint64 stuckSinceMs = -1;        // since when bytes wait and none are taken
};
