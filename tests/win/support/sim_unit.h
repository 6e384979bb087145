// SimUnit: the simulated programmer unit for Win32 tests under Wine.
//
// Start() makes the native vorland-sim program (run through Wine's Z: drive) appear as
// COM<com> of the Wine prefix, with its control port as the device VorlandSim<controlCom>; the
// helper keeps the control port open and speaks the simulator's control language over it
// (sim/unit_commands.h: "chip 1", "fault bad-checksum 3", "status", ...). Every Start() begins
// from a freshly started unit (model Vorland, an erased AM29F040, no faults, 115200 baud) and
// then runs options.commands.
//
//     SimUnit sim;
//     ASSERT_TRUE(sim.Start({.com = 1, .commands = {"model tandrel-usb"}})) << sim.error();
//     ... run Vorland.exe, or KVTandrel in this process, against COM1 ...
//     std::vector<std::uint8_t> chip = sim.ChipContents();
//     sim.Stop();  // COM1 leads nowhere again (also done by the destructor)
//
// One simulator process per control port serves the whole test program and is reused by every
// Start() on that control port (two units need two control ports): Wine
// misbehaves when a process reopens a terminal path that has meanwhile been given to a new
// pseudo-terminal, so the terminals must outlive the tests. The simulator always ends: the
// helper asks it to quit when the test program exits; if the program dies instead, the
// simulator sees its control port closed and quits; and it never outlives lifetimeSeconds.
// Its output goes nowhere, so a test runner waiting on the test's output pipe is never held
// up by it.
//
// A control port has no COM name: Wine lets a second process open a port that another holds,
// and the programs' scan of every COM port would otherwise talk to it.
//
// Not thread-safe: use it from the test's main thread. Wine only: the Wine prefix is found
// through WINEPREFIX (set by ./test and scripts/lib.sh). The environment variable
// VORLAND_SIM_EXE may name another build of the simulator (a Unix path).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class SimUnit {
public:
    struct Options {
        int com = 1;                        // the unit's port, COM1..COM256
        int controlCom = 8;                 // the control port: \\.\VorlandSim<controlCom>
        std::vector<std::string> commands;  // control commands run after the fresh start
        bool pace = false;                  // bytes take their wire time at the line rate
        int lifetimeSeconds = 900;          // for the simulator process
    };

    SimUnit() = default;
    ~SimUnit();
    SimUnit(const SimUnit&) = delete;
    SimUnit& operator=(const SimUnit&) = delete;

    // Attaches a fresh unit to COM<com>, starting the simulator first if needed; false with
    // error() set.
    bool Start(const Options& options);
    // Sends one control line; returns the reply line, or "" when none came within 10 s.
    std::string Command(const std::string& line);
    // Command() and whether the reply starts with "ok".
    bool Ok(const std::string& line);
    // The bytes of the chip in the unit's socket, and replacing them (from address 0).
    std::vector<std::uint8_t> ChipContents();
    bool SetChipContents(const std::vector<std::uint8_t>& bytes);
    // Detaches the unit: its COM port leads nowhere until the next Start(). Safe to call twice.
    void Stop();
    // Ends the simulator process itself, as if it were killed: its terminals close under
    // whoever holds them. A later Start() on the same control port starts a new process, whose
    // terminals may take the numbers of the old ones: see above.
    void Quit();

    bool attached() const { return attached_; }
    const std::string& error() const { return error_; }

private:
    int controlCom_ = 8;
    bool attached_ = false;
    std::string error_;
};

// The Wine prefix in use, as a Unix path.
std::string WinePrefixPath();
