// vorland-cli compare A B: two image files compared byte by byte at equal addresses, offline.
// A binary file is its bytes from address 0, read in place through the file (any size
// below 4 GiB); a HEX or S-record file is its data from address 0 to its last data byte, what
// it does not give as --fill, as it loads into the programmer's buffer. Where one ends before
// the other, the longer one's extra bytes are one more range. Portable.
#pragma once

#include "cli/cli_environment.h"
#include "cli/options.h"

// Prints what differs (or that nothing does): 0 the same, 1 different, 2 a file that cannot be
// read or parsed, 130 interrupted.
[[nodiscard]] int RunCompare(const CliOptions& options, CliEnvironment& env);
