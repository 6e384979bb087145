// What every part of vorland-cli works with: the console, the ports and clock it was given, the
// interrupt flag, and the way a command reports that it failed. Below the runner and the unit
// runs, so that both include it and the calls run one way: cli_runner -> gang_run -> unit_run.
#pragma once

#include <string>

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

    enum class LineRead { kLine, kEnd, kInterrupted };
    // Waits for a line of input (stdin), given without its line end; returns early at the end
    // of input or once RequestInterrupt was called.
    virtual LineRead ReadLine(std::string& line) {
        line.clear();
        return LineRead::kEnd;
    }
    // Forgets what was typed at a terminal and not yet read, so that the next ReadLine waits for
    // a line typed from now on. Lines from a pipe or a file stay: scripts give one per prompt.
    virtual void DiscardTypedAhead() {}
};

struct CliEnvironment {
    SerialPorts& ports;   // borrowed
    Clock& clock;         // borrowed
    CliConsole& console;  // borrowed
    // The name to open for a port when the system spells it differently ("\\.\COM12" for
    // COM12 on Windows); null: the port as given.
    std::string (*portDevice)(const std::string& port) = nullptr;
};

// Writes "vorland-cli: text" and a line end to the console's Err: an error of the whole
// command. Returns code.
int CommandFailed(CliConsole& console, int code, const std::string& text);

// Async-signal-safe; any thread.
void RequestInterrupt();
bool InterruptRequested();
// Forgets an interrupt (a test that runs several commands in one process).
void ResetInterrupt();
