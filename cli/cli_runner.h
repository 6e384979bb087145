// vorland-cli's commands over KVTandrel: detection and the link speed, the chip operations with
// their progress, the image files, and the exit status. Portable: the ports, the clock and the
// console come from the caller (the system's in the program, simulated ones in tests).
//
// Order of work: arguments and files are checked first, so that a bad image or range is refused
// before the unit is touched; then the unit is found and its link raised; then the operation
// runs; and on every way out the port is closed, which brings a raised unit back to 115200 baud.
//
// Threading: RunCli runs on one thread. RequestInterrupt may be called from a signal handler or
// another thread: the operation stops at the next 256-byte block (an erase or a quick verify
// runs to its end first), the unit is returned to 115200 baud, and RunCli returns 130.
#pragma once

#include <string>

#include "cli/options.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

// Where the tool's text goes: results to Out (stdout), progress, notes and errors to Err
// (stderr).
class CliConsole {
public:
    virtual ~CliConsole() = default;
    virtual void Out(const std::string& text) = 0;
    virtual void Err(const std::string& text) = 0;
    // Whether Err reaches a terminal, and how wide it is (columns).
    virtual bool ErrIsTerminal() = 0;
    virtual int TerminalWidth() = 0;
};

struct CliEnvironment {
    SerialPorts& ports;   // borrowed
    Clock& clock;         // borrowed
    CliConsole& console;  // borrowed
    // The name to open for --port when the system spells it differently ("\\.\COM12" for
    // COM12 on Windows); empty: --port as given.
    std::string portDevice;
};

// Runs one command; returns its exit status (CliExit).
[[nodiscard]] int RunCli(const CliOptions& options, CliEnvironment& env);

// Async-signal-safe; any thread.
void RequestInterrupt();
bool InterruptRequested();
// Forgets an interrupt (a test that runs several commands in one process).
void ResetInterrupt();
