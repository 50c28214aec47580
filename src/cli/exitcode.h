#pragma once

// The exit statuses of quelm-cli. They are listed in its --help so that
// scripts can tell a refused command from a mistyped one or a missing daemon.
enum class ExitCode : int {
    Success = 0,
    // quelmd answered that the command failed (a download that did not complete included).
    CommandFailed = 1,
    // The command line was wrong; nothing was sent.
    Usage = 2,
    // No quelmd listens on the control socket of this program folder.
    NotRunning = 3,
    // The connection broke or quelmd's reply could not be read.
    ConnectionFailed = 4,
};
