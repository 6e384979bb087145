#include "tests/win/support/sim_unit.h"

#include <map>

#include "platform/win32_handles.h"
#include "tests/win/support/app_driver.h"

namespace {

using testing_support::FileExists;
using testing_support::WinePath;

constexpr DWORD kStartTimeoutMs = 15000;
constexpr DWORD kStopTimeoutMs = 5000;
constexpr DWORD kReplyTimeoutMs = 10000;

std::string ControlDevice(int number) { return "\\\\.\\VorlandSim" + std::to_string(number); }

std::string ScratchPath(const char* suffix) {
    static int count = 0;
    return std::string(VORLAND_BINARY_DIR) + "/sim-" + std::to_string(GetCurrentProcessId()) +
           "-" + std::to_string(++count) + suffix;
}

bool IsOk(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

// A simulator process of this program, with its control port.
class SimProcess {
public:
    ~SimProcess() { Quit(); }

    bool running() const { return control_ != INVALID_HANDLE_VALUE; }

    bool Launch(int controlCom, int lifetimeSeconds, std::string* error) {
        Quit();
        readyFile_ = ScratchPath(".ready");
        const std::string ready = WinePath(readyFile_);
        const std::string controlLink =
            WinePrefixPath() + "/dosdevices/vorlandsim" + std::to_string(controlCom);
        // A benchmark may name an optimised build of the simulator.
        std::string exe = VORLAND_SIM_EXE;
        char chosen[MAX_PATH] = {};
        DWORD n = GetEnvironmentVariableA("VORLAND_SIM_EXE", chosen, sizeof chosen);
        if (n > 0 && n < sizeof chosen) exe = chosen;
        std::string command = "\"";
        command += WinePath(exe);
        command += "\" --quiet --exit-on-control-close --lifetime " +
                   std::to_string(lifetimeSeconds) + " --control-link \"" + controlLink +
                   "\" --ready-file \"" + readyFile_ + "\"";

        // The simulator's output goes to NUL, never to the pipe a test runner waits on.
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        UniqueFile nul(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                   nullptr));
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nul.get();
        startup.hStdOutput = nul.get();
        startup.hStdError = nul.get();
        PROCESS_INFORMATION process{};
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process)) {
            *error = "cannot start " + command + " (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        // Wine runs the Unix program detached: these handles tell nothing about it.
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);

        // Wine maps the dosdevices paths to the devices themselves, so the links cannot be
        // watched from here; the ready file says when they exist.
        const DWORD start = GetTickCount();
        while (!FileExists(ready)) {
            if (GetTickCount() - start > kStartTimeoutMs) {
                *error = "the simulator did not get ready: " + command;
                return false;
            }
            Sleep(20);
        }
        control_ = CreateFileA(ControlDevice(controlCom).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        DCB state{};
        state.DCBlength = sizeof state;
        // Wine hands out a handle even for a COM port that leads nowhere (its default device
        // mapping); only a terminal has a line state.
        if (control_ != INVALID_HANDLE_VALUE && !GetCommState(control_, &state)) {
            CloseHandle(control_);
            control_ = INVALID_HANDLE_VALUE;
        }
        if (control_ == INVALID_HANDLE_VALUE) {
            *error = "cannot open the simulator's control port " + ControlDevice(controlCom);
            return false;
        }
        COMMTIMEOUTS timeouts{0, 0, kReplyTimeoutMs, 0, kReplyTimeoutMs};
        SetCommTimeouts(control_, &timeouts);
        std::string reply = Command("ping");
        if (reply != "ok") {
            *error = "the simulator did not answer ping: '" + reply + "'";
            Quit();
            return false;
        }
        return true;
    }

    std::string Command(const std::string& line) {
        if (control_ == INVALID_HANDLE_VALUE) return "";
        std::string text = line + "\n";
        DWORD written = 0;
        if (!WriteFile(control_, text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) ||
            written != text.size()) {
            return "";
        }
        std::string reply;
        for (;;) {
            char c = 0;
            DWORD got = 0;
            if (!ReadFile(control_, &c, 1, &got, nullptr) || got == 0) return "";
            if (c == '\n') return reply;
            reply += c;
        }
    }

    void Quit() {
        if (control_ != INVALID_HANDLE_VALUE) {
            Command("quit");
            CloseHandle(control_);
            control_ = INVALID_HANDLE_VALUE;
        }
        if (readyFile_.empty()) return;
        // Gone once its ready file is: its links are removed by then.
        const std::string ready = WinePath(readyFile_);
        const DWORD start = GetTickCount();
        while (FileExists(ready) && GetTickCount() - start < kStopTimeoutMs) {
            Sleep(20);
        }
        readyFile_.clear();
    }

private:
  HANDLE control_ = INVALID_HANDLE_VALUE;
  std::string readyFile_;  // Unix path; exists while the simulator serves
};

// One per control port, so that a test can attach several units.
std::map<int, SimProcess> gSims;

}  // namespace

std::string WinePrefixPath() {
    char prefix[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (n > 0 && n < sizeof prefix) return prefix;
    return VORLAND_BINARY_DIR "/../wine/prefix";
}

SimUnit::~SimUnit() { Stop(); }

bool SimUnit::Start(const Options& options) {
    Stop();
    controlCom_ = options.controlCom;
    SimProcess& sim = gSims[controlCom_];
    // A simulator that has ended (its lifetime ran out) is started anew.
    bool usable = sim.running() && sim.Command("ping") == "ok";
    if (!usable && !sim.Launch(options.controlCom, options.lifetimeSeconds, &error_)) {
        return false;
    }
    std::vector<std::string> commands = {
        "restart", options.pace ? "pace on" : "pace off",
        "link " + WinePrefixPath() + "/dosdevices/com" + std::to_string(options.com)};
    commands.insert(commands.end(), options.commands.begin(), options.commands.end());
    for (const std::string& command : commands) {
        std::string reply = sim.Command(command);
        if (!IsOk(reply)) {
            error_ = "'" + command + "': " + (reply.empty() ? "no reply" : reply);
            return false;
        }
    }
    attached_ = true;
    return true;
}

std::string SimUnit::Command(const std::string& line) {
    return gSims[controlCom_].Command(line);
}

bool SimUnit::Ok(const std::string& line) { return IsOk(Command(line)); }

std::vector<std::uint8_t> SimUnit::ChipContents() {
    const std::string path = ScratchPath(".bin");
    std::vector<std::uint8_t> bytes;
    if (Ok("dump " + path)) bytes = testing_support::ReadFileBytes(WinePath(path));
    DeleteFileA(WinePath(path).c_str());
    return bytes;
}

bool SimUnit::SetChipContents(const std::vector<std::uint8_t>& bytes) {
    const std::string path = ScratchPath(".bin");
    testing_support::WriteFileBytes(WinePath(path), bytes);
    bool ok = Ok("load " + path);
    DeleteFileA(WinePath(path).c_str());
    return ok;
}

void SimUnit::Stop() {
    if (!attached_) return;
    Command("unlink");
    Command("restart");
    attached_ = false;
}

void SimUnit::Quit() {
    gSims[controlCom_].Quit();
    attached_ = false;
}
