// vorland-cli's own process: its standard streams as a CliConsole, and what differs between
// Windows and POSIX (terminal checks, Ctrl+C, port names). console_posix.cpp, console_win.cpp.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_environment.h"

// stdout and stderr; each text is flushed at once, so that progress shows as it happens.
class StdConsole final : public CliConsole {
public:
    void Out(const std::string& text) override;
    void Err(const std::string& text) override;
    bool ErrIsTerminal() override;
    int TerminalWidth() override;
    bool ErrMovesCursor() override;
    LineRead ReadLine(std::string& line) override;
    void DiscardTypedAhead() override;
};

// Ctrl+C (and SIGTERM, SIGHUP, or closing the console window) call RequestInterrupt instead of
// ending the process, so that the unit can be returned to 115200 baud first. A program whose
// output pipe closes keeps running for the same reason, and so does one that meets a file size
// limit: to it that is a full disk, a write that fails and is reported.
void InstallInterruptHandlers();

// The name the system opens for a --port value: "\\.\COM12" for COM12 on Windows (CreateFile
// reaches COM10 and up only so); the value itself elsewhere.
std::string PortDeviceName(const std::string& port);

// Replaces the shell-style patterns among ports ("/dev/ttyUSB*") by the ports they match, in
// natural order, each port once (on Windows in any of its spellings: COM3, com3, \\.\COM3,
// the first kept). False with a message when a pattern matches nothing; on
// Windows, where port names take no patterns, when a name holds '*' or '?'.
[[nodiscard]] bool ExpandPortPatterns(std::vector<std::string>& ports, std::string& error);
