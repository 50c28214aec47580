#pragma once

#include "base/settingsstore.h"
#include "net/controlconnections.h"
#include "net/dispatcher.h"
#include "net/localpeer.h"
#include "net/socketarray.h"
#include "net/socketelement.h"

#include <QByteArray>
#include <QList>
#include <QTcpSocket>
#include <QTemporaryDir>

// The receiving end of one copy's control connections, listening on
// 127.0.0.1, and a client that opens a fresh connection for every input and
// sends it chunk by chunk. Host lists reach no connection: their addresses
// are only counted, so nothing is ever dialled.
class LoopbackLink final
{
public:
    static constexpr char OwnId[] = "1A2B3C4D5E6F7A8B";
    static constexpr char BlockedId[] = "B10C";

    LoopbackLink();
    // The one link of a fuzzing process, with its application. libFuzzer
    // calls in without context, so both live for the whole run.
    static LoopbackLink &shared();
    bool isListening() const { return m_listenSocket.state() == SocketElement::Listening; }
    // Opens a connection, sends the chunks with the event loop run between
    // them, hangs up and waits until the copy has closed its end.
    void deliver(const QList<QByteArray> &chunks);
    qint64 hostListAddresses() const { return m_hostListAddresses; }

private:
    void spin(int rounds);
    bool acceptedOpen() const;

    QTemporaryDir m_home;
    SettingsStore m_settings;
    LocalPeer m_self;
    SocketArray m_sockets;
    SocketElement m_listenSocket;
    ControlConnections m_connections;
    Dispatcher m_dispatcher;
    QTcpSocket m_client;
    qint64 m_hostListAddresses = 0;
};
