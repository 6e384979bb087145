// vorland-cli's commands over KVTandrel: detection and the link speed, the chip operations with
// their progress, the image files, and the exit status. Portable: the ports, the clock and the
// console come from the caller (the system's in the program, simulated ones in tests).
//
// Order of work: arguments and files are checked first, so that a bad image or range is refused
// before the unit is touched; then the unit is found and its link raised; then the operation
// runs; and on every way out the port is closed, which brings a raised unit back to 115200 baud.
//
// With several ports the command runs on every unit at once, one thread per unit (gang_run.h);
// the image is read and checked once, before any unit is touched.
//
// Threading: RunCli is called on one thread (and starts one more per unit when there are
// several). RequestInterrupt may be called from a signal handler or another thread: every
// operation stops at its next 256-byte block (an erase or a quick verify runs to its end
// first), every unit is returned to 115200 baud, and RunCli returns 130.
#pragma once

#include "cli/cli_environment.h"
#include "cli/options.h"

// Runs one command; returns its exit status (CliExit).
[[nodiscard]] int RunCli(const CliOptions& options, CliEnvironment& env);
