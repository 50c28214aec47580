#include "transfer/downloadstate.h"

#include <algorithm>

namespace {

using State = DownloadState::State;

constexpr std::initializer_list<State> Running = {State::Connecting, State::GettingInfo, State::Requesting,
                                                   State::Queued, State::Downloading};
constexpr std::initializer_list<State> Finishing = {State::Requesting, State::Queued, State::Downloading};

} // namespace

bool DownloadState::isRunning() const
{
    return std::find(Running.begin(), Running.end(), m_state) != Running.end();
}

bool DownloadState::connected()
{
    return moveTo(State::GettingInfo, {State::Connecting});
}

bool DownloadState::fileInfoArrived()
{
    return moveTo(State::Requesting, {State::GettingInfo, State::Queued});
}

bool DownloadState::queued(int position)
{
    if (!moveTo(State::Queued, {State::GettingInfo, State::Requesting, State::Queued}))
        return false;
    m_queuePosition = position;
    return true;
}

bool DownloadState::dataArrived()
{
    return moveTo(State::Downloading, Finishing);
}

bool DownloadState::completed()
{
    return moveTo(State::Complete, Finishing);
}

bool DownloadState::signatureMismatched()
{
    return moveTo(State::SignatureError, Finishing);
}

bool DownloadState::moveFailed()
{
    return moveTo(State::MoveError, Finishing);
}

bool DownloadState::cancelled()
{
    return moveTo(State::Cancelled, Running);
}

bool DownloadState::remotelyTerminated()
{
    return moveTo(State::RemotelyTerminated, Running);
}

bool DownloadState::parked()
{
    return moveTo(State::Parked, Running);
}

bool DownloadState::failed(ErrorKind kind, int number)
{
    if (kind == ErrorKind::None || !moveTo(State::Error, Running))
        return false;
    m_errorKind = kind;
    m_errorNumber = number;
    return true;
}

bool DownloadState::moveTo(State next, std::initializer_list<State> from)
{
    if (std::find(from.begin(), from.end(), m_state) == from.end())
        return false;
    m_state = next;
    return true;
}
