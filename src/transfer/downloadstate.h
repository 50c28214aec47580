#pragma once

#include <initializer_list>

// Where one download stands. The transfer's steps move it on; a step that
// cannot follow the current state is refused and changes nothing, so
// whatever a server sends, an ended download stays as it ended and a
// download counts as finished only after its file information came.
class DownloadState final
{
public:
    enum class State {
        Connecting,
        GettingInfo,
        Requesting,
        Queued,
        Downloading,
        Complete,
        Cancelled,
        RemotelyTerminated,
        Error,
        SignatureError,
        MoveError,
        Parked,
    };
    // What an Error stands for: the transfer socket's error, whose number
    // it keeps, a local file that could not be opened or written, or a file
    // system without room for the file, or a file whose content differs
    // from the digest its serving peer announced.
    enum class ErrorKind { None, Socket, File, Write, DiskFull, Hash };

    State state() const { return m_state; }
    // The place in the serving peer's queue while Queued; 1 is next in line.
    int queuePosition() const { return m_queuePosition; }
    ErrorKind errorKind() const { return m_errorKind; }
    int errorNumber() const { return m_errorNumber; }
    bool isRunning() const;

    // The steps. Each returns false where it cannot follow.
    bool connected();           // Connecting
    bool fileInfoArrived();     // GettingInfo, Queued (a position may come first)
    bool queued(int position);  // GettingInfo, Requesting, Queued
    bool dataArrived();         // Requesting, Queued, Downloading
    // The last bytes arrived, and the file was checked and moved or not:
    // from Requesting, Queued or Downloading.
    bool completed();
    bool signatureMismatched();
    bool moveFailed();
    // The end of a running download, in any running state.
    bool cancelled();
    bool remotelyTerminated();
    bool failed(ErrorKind kind, int number = 0);
    // The program ended while it ran and kept what arrived for the next start.
    bool parked();

private:
    bool moveTo(State next, std::initializer_list<State> from);

    State m_state = State::Connecting;
    int m_queuePosition = 0;
    ErrorKind m_errorKind = ErrorKind::None;
    int m_errorNumber = 0;
};
