#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "cli/console.h"
#include "platform/serial_port_posix.h"

namespace {
void OnSignal(int) {
    RequestInterrupt();
}
}  // namespace

bool StdConsole::ErrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

int StdConsole::TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
    return 80;
}

bool StdConsole::ErrMovesCursor() {
    return ErrIsTerminal();
}

CliConsole::LineRead StdConsole::ReadLine(std::string& line) {
    line.clear();
    // Byte by byte, so that nothing past the line is taken from a pipe; a poll that wakes up
    // now and then sees Ctrl+C, which the handler's SA_RESTART would not let end a read.
    for (;;) {
        if (InterruptRequested()) return LineRead::kInterrupted;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, 50) <= 0) continue;
        char c = 0;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return line.empty() ? LineRead::kEnd : LineRead::kLine;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return LineRead::kLine;
        }
        line += c;
    }
}

void StdConsole::DiscardTypedAhead() {
    if (isatty(STDIN_FILENO) != 0) tcflush(STDIN_FILENO, TCIFLUSH);
}

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted writes to stderr resume; the serial port's waits retry on their own.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

namespace {

// Two names of one terminal (a link beside it) are one port: a second thread on it would be
// refused it, as if another program held it.
bool SamePort(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

std::string PortDeviceName(const std::string& port) {
    return port;
}

bool ExpandPortPatterns(std::vector<std::string>& ports, std::string& error) {
    std::vector<std::string> expanded;
    for (const std::string& port : ports) {
        std::vector<std::string> matches = {port};
        if (port.find_first_of("*?[") != std::string::npos) {
            matches = ExpandPosixPortPattern(port);
            if (matches.empty()) {
                error = "no port matches '" + port + "'";
                return false;
            }
        }
        for (const std::string& match : matches) {
            if (std::none_of(expanded.begin(), expanded.end(),
                             [&](const std::string& known) { return SamePort(known, match); })) {
                expanded.push_back(match);
            }
        }
    }
    ports = expanded;
    return true;
}
