// Runs the vorland-sim program from a native test or benchmark: its unit on a pseudo-terminal
// linked in a private temporary folder, its control port driven from here. Header-only, so
// that tests and benchmarks need no library of their own for it.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial_port_posix.h"

extern char** environ;

class SimProgram {
public:
    // exe: the vorland-sim program; extraArgs go to it as they are (e.g. "--pace"); link:
    // where the unit's symlink goes (default: "unit" in a private folder).
    explicit SimProgram(const std::string& exe, std::vector<std::string> extraArgs = {},
                        std::string link = {}) {
        char pattern[] = "/tmp/vorland-sim-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        dir_ = pattern;
        link_ = link.empty() ? dir_ + "/unit" : std::move(link);
        std::string control = dir_ + "/control";
        std::vector<std::string> args = {exe,     "--link",   linkPath(), "--control-link",
                                         control, "--quiet", "--lifetime", "600"};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
            return;
        }
        for (int i = 0; i < 250 && access(control.c_str(), F_OK) != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        control_ = OpenPosixSerialPath(control);
        if (control_) {
            SerialLineSettings line;
            if (control_->GetLineSettings(line)) {
                line.baudRate = 115200;
                (void)control_->SetLineSettings(line);
            }
            (void)control_->SetTimeouts({0, 0, 5000, 0, 1000});
        }
    }

    ~SimProgram() {
        if (control_) Command("quit");
        control_.reset();
        if (pid_ > 0) {
            int status = 0;
            for (int i = 0; i < 150 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (waitpid(pid_, &status, WNOHANG) == 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
        }
        if (!dir_.empty()) {
            // Links left by a simulator that had to be killed.
            unlink(linkPath().c_str());
            unlink((dir_ + "/control").c_str());
            rmdir(dir_.c_str());
        }
    }

    SimProgram(const SimProgram&) = delete;
    SimProgram& operator=(const SimProgram&) = delete;

    bool ready() const { return pid_ > 0 && control_ != nullptr; }
    pid_t pid() const { return pid_; }
    // The symlink to the unit's terminal: map a port name to it.
    const std::string& linkPath() const { return link_; }

    // One control command; the reply line, or what went wrong.
    std::string Command(const std::string& line) {
        if (!control_) return "no control port";
        std::string text = line + "\n";
        std::uint32_t written = 0;
        if (!control_->Write(reinterpret_cast<const std::uint8_t*>(text.data()),
                             static_cast<std::uint32_t>(text.size()), &written)) {
            return "write failed";
        }
        std::string reply;
        for (;;) {
            std::uint8_t c = 0;
            std::uint32_t got = 0;
            if (!control_->Read(&c, 1, &got) || got == 0) return reply + " (timed out)";
            if (c == '\n') return reply;
            reply += static_cast<char>(c);
        }
    }

private:
    std::string dir_;
    std::string link_;
    pid_t pid_ = -1;
    std::unique_ptr<SerialLink> control_;
};
