// A command on several units at once: one thread per unit, each with a KVTandrel of its own,
// all over the one job that was prepared before any unit was touched. Each unit is detected,
// raised to its fastest link rate, worked and returned to 115200 baud on its own; a unit that
// fails (silent, refused, a verify mismatch, unplugged) neither stops nor slows the others.
// read writes one file per unit (PortFileName). The units' progress goes to a GangBoard; at the
// end a table on stdout gives each unit's result, time and checksums, and names the ports that
// failed. detect --all instead lists every unit found. Portable.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_environment.h"
#include "cli/unit_run.h"

// The exit status of several units: 130 when interrupted, 2 when a unit's file could not be
// written, else the worst of the units' in the order 4, 3, 1, 0.
[[nodiscard]] int GangExitStatus(const std::vector<int>& codes, bool interrupted);

// Runs options' command on every port of options.ports, or for detect --all without ports on
// every port of the scan. Returns the exit status.
[[nodiscard]] int RunGang(const CliOptions& options, CliEnvironment& env, const CliJob& job);
