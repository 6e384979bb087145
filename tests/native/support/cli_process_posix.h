// vorland-cli as a process against vorland-sim programs on pseudo-terminals: the tool's run
// with its output in files, and the simulated units' status. Header-only, POSIX.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_program_posix.h"
#include "tests/native/support/scratch_files.h"

namespace cli_process {

using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

inline constexpr char kCli[] = VORLAND_BINARY_DIR "/cli/vorland-cli";
inline constexpr char kSim[] = VORLAND_BINARY_DIR "/sim/vorland-sim";

inline std::string TextOf(const std::string& path) {
    const Bytes bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

struct Finished {
    int status = -1;  // the exit status; -1 killed after the timeout
    std::string out;
    std::string err;
    std::int64_t ms = 0;  // from the start
};

// One run of vorland-cli with its output in files of the scratch folder; its input is empty,
// or with `input` a pipe that Type writes to. Processes that run at once need a tag each: it
// names their output files.
class CliProcess {
  public:
    CliProcess(const ScratchDir& dir, std::vector<std::string> args, bool input = false,
               const std::string& tag = "")
        : outPath_(dir.File("stdout" + tag + ".txt")), errPath_(dir.File("stderr" + tag + ".txt")) {
        args.insert(args.begin(), kCli);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeEnds[2] = {-1, -1};
        if (input && pipe(pipeEnds) == 0) {
            input_ = pipeEnds[1];
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
            posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
            posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        } else {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        start_ = SteadyClock::now();
        if (posix_spawn(&pid_, kCli, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (pipeEnds[0] >= 0) close(pipeEnds[0]);
    }
    ~CliProcess() {
        CloseInput();
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void Signal(int signal) const { kill(pid_, signal); }
    void Type(const std::string& text) const {
        if (input_ < 0) return;
        [[maybe_unused]] const ssize_t written = write(input_, text.data(), text.size());
    }
    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    // Waits until stderr holds text `count` times; false after the timeout or when the
    // program ended first.
    bool AwaitErr(const std::string& text, int count, int timeoutMs = 60000) {
        for (;;) {
            const std::string err = TextOf(errPath_);
            int found = 0;
            for (std::size_t at = err.find(text); at != std::string::npos;
                 at = err.find(text, at + 1)) {
                ++found;
            }
            if (found >= count) return true;
            siginfo_t ended{};
            const bool gone =
                waitid(P_PID, static_cast<id_t>(pid_), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                ended.si_pid != 0;
            if (gone || Elapsed() > timeoutMs) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    Finished Wait(int timeoutMs = 60000) {
        Finished f;
        int status = 0;
        while (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0) {
            if (Elapsed() > timeoutMs) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        f.ms = Elapsed();
        f.status = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        f.out = TextOf(outPath_);
        f.err = TextOf(errPath_);
        return f;
    }

  private:
    std::int64_t Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start_)
            .count();
    }

    std::string outPath_;
    std::string errPath_;
    int input_ = -1;  // the write end of the program's input pipe
    pid_t pid_ = -1;
    SteadyClock::time_point start_;
};

// A unit's status word "name=value" as a number.
inline long StatusOf(SimProgram& sim, const std::string& name) {
    const std::string status = sim.Command("status");
    const std::size_t at = status.find(" " + name + "=");
    return at == std::string::npos
               ? -1
               : std::strtol(status.c_str() + at + name.size() + 2, nullptr, 10);
}

// Waits until the unit has served some blocks of a transfer.
inline bool AwaitUnitBlocks(SimProgram& sim, long blocks) {
    for (int i = 0; i < 1000; ++i) {
        if (StatusOf(sim, "blocks") >= blocks) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

}  // namespace cli_process
