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

#include <string>

#include "cli/options.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

// Where the tool's text goes: results to Out (stdout), progress, notes and errors to Err
// (stderr). Called from one thread at a time.
class CliConsole {
public:
    virtual ~CliConsole() = default;
    virtual void Out(const std::string& text) = 0;
    virtual void Err(const std::string& text) = 0;
    // Whether Err reaches a terminal, and how wide it is (columns).
    virtual bool ErrIsTerminal() = 0;
    virtual int TerminalWidth() = 0;
    // Whether Err also takes the cursor moves ESC [ n A (up) and ESC [ K, ESC [ J (erase), so
    // that several lines can be redrawn in place.
    virtual bool ErrMovesCursor() { return ErrIsTerminal(); }
};

struct CliEnvironment {
    SerialPorts& ports;   // borrowed
    Clock& clock;         // borrowed
    CliConsole& console;  // borrowed
    // The name to open for a port when the system spells it differently ("\\.\COM12" for
    // COM12 on Windows); null: the port as given.
    std::string (*portDevice)(const std::string& port) = nullptr;
};

// Runs one command; returns its exit status (CliExit).
[[nodiscard]] int RunCli(const CliOptions& options, CliEnvironment& env);

// Async-signal-safe; any thread.
void RequestInterrupt();
bool InterruptRequested();
// Forgets an interrupt (a test that runs several commands in one process).
void ResetInterrupt();
