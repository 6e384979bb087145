#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "cli/console.h"

namespace {

BOOL WINAPI OnConsoleEvent(DWORD event) {
    RequestInterrupt();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns: give the main thread its few seconds to put the
        // unit back to 115200 baud (it exits the process itself once done).
        Sleep(4500);
    }
    return TRUE;
}

}  // namespace

bool StdConsole::ErrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int StdConsole::TerminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) != 0) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width >= 20) return width;
    }
    return 80;
}

bool StdConsole::ErrMovesCursor() {
    // Windows 10 consoles take the VT sequences once asked to; older ones get plain lines.
    constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(err, &mode) != 0 &&
           ((mode & kVirtualTerminal) != 0 || SetConsoleMode(err, mode | kVirtualTerminal) != 0);
}

namespace {

// The input's lines, read by a thread of its own: neither a console read nor a pipe read can be
// given up on Ctrl+C, and a prompt must be. The thread lives until the process ends.
struct InputLines {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::string> lines;
    bool ended = false;
    std::string partial;

    void Read() {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        for (;;) {
            char c = 0;
            DWORD n = 0;
            const bool got = ReadFile(input, &c, 1, &n, nullptr) != 0 && n == 1;
            std::lock_guard lock(mutex);
            if (!got) {
                if (!partial.empty()) lines.push_back(partial);
                ended = true;
                arrived.notify_all();
                return;
            }
            if (c == '\n') {
                if (!partial.empty() && partial.back() == '\r') partial.pop_back();
                lines.push_back(partial);
                partial.clear();
                arrived.notify_all();
            } else {
                partial += c;
            }
        }
    }
};

InputLines* Input() {
    static InputLines* input = [] {
        auto* lines = new InputLines;  // never freed: its thread may outlive every caller
        std::thread([lines] { lines->Read(); }).detach();
        return lines;
    }();
    return input;
}

}  // namespace

void StdConsole::DiscardTypedAhead() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(in, &mode) == 0) return;  // a pipe or a file
    InputLines* input = Input();
    std::lock_guard lock(input->mutex);
    input->lines.clear();
    input->partial.clear();
    FlushConsoleInputBuffer(in);
}

CliConsole::LineRead StdConsole::ReadLine(std::string& line) {
    InputLines* input = Input();
    line.clear();
    std::unique_lock lock(input->mutex);
    for (;;) {
        if (InterruptRequested()) return LineRead::kInterrupted;
        if (!input->lines.empty()) {
            line = input->lines.front();
            input->lines.pop_front();
            return LineRead::kLine;
        }
        if (input->ended) {
            // Ctrl+C may end a console read before its handler has run.
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return InterruptRequested() ? LineRead::kInterrupted : LineRead::kEnd;
        }
        input->arrived.wait_for(lock, std::chrono::milliseconds(50));
    }
}

void InstallInterruptHandlers() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::string PortDeviceName(const std::string& port) {
    if (port.size() > 3 && (port[0] | 0x20) == 'c' && (port[1] | 0x20) == 'o' &&
        (port[2] | 0x20) == 'm') {
        bool digits = true;
        for (std::size_t i = 3; i < port.size(); ++i) {
            digits = digits && std::isdigit(static_cast<unsigned char>(port[i])) != 0;
        }
        if (digits) return "\\\\.\\" + port;
    }
    return port;
}

namespace {

// COM3, com3 and \\.\COM3 are one port to Windows.
std::string PortIdentity(const std::string& port) {
    std::string identity = port.rfind("\\\\.\\", 0) == 0 ? port.substr(4) : port;
    for (char& c : identity) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return identity;
}

}  // namespace

bool ExpandPortPatterns(std::vector<std::string>& ports, std::string& error) {
    std::vector<std::string> distinct;
    std::vector<std::string> identities;
    for (const std::string& port : ports) {
        if (port.find_first_of("*?") != std::string::npos) {
            error = "'" + port +
                    "': name each port, as in --ports COM3,COM4 (patterns work only "
                    "on Linux)";
            return false;
        }
        // A second thread on one port would talk over the first, and both would fail.
        const std::string identity = PortIdentity(port);
        if (std::find(identities.begin(), identities.end(), identity) != identities.end()) continue;
        identities.push_back(identity);
        distinct.push_back(port);
    }
    ports = distinct;
    return true;
}
