#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/console.h"

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

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted writes to stderr resume; the serial port's waits retry on their own.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

std::string PortDeviceName(const std::string& port) {
    return port;
}
