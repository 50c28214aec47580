#pragma once

#include <QString>

// What a failed connection to a peer means to a person, and what to try,
// from the system's error number. `who` names the peer (a nickname or an
// address); every peer listens on the same port, so `port` is this copy's.
class ConnectionFailureText final
{
public:
    static QString explain(int errorNumber, const QString &who, int port);
};
