// The exit status of vorland-cli. Scripts rely on these numbers: never renumber them.
#pragma once

enum CliExit : int {
    kExitSuccess = 0,
    kExitMismatch = 1,       // verify found a difference, or the chip is not blank
    kExitBadInput = 2,       // bad arguments, ranges or files
    kExitNoUnit = 3,         // no supported programmer answered
    kExitLinkFailure = 4,    // the unit stopped answering, answered wrongly or refused
    kExitInterrupted = 130,  // Ctrl+C (128 + SIGINT, as shells report it)
};
