// The vorland-cli program itself against the vorland-sim program on a pseudo-terminal: files
// through the real serial backend, exit status, a unit that vanishes or falls silent in the
// middle of a transfer, and Ctrl+C.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"
#include "formats/image_formats.h"
#include "sim/sim_program_posix.h"
#include "tests/native/support/pattern_bytes.h"
#include "tests/native/support/scratch_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

constexpr char kCli[] = VORLAND_BINARY_DIR "/cli/vorland-cli";
constexpr char kSim[] = VORLAND_BINARY_DIR "/sim/vorland-sim";

std::string TextOf(const std::string& path) {
    const Bytes bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

struct Finished {
    int status = -1;  // the exit status; -1 killed after the timeout
    std::string out;
    std::string err;
    std::int64_t ms = 0;  // from the start
};

// One run of vorland-cli with its output in files of the scratch folder.
class CliProcess {
public:
    CliProcess(const ScratchDir& dir, std::vector<std::string> args)
        : outPath_(dir.File("stdout.txt")), errPath_(dir.File("stderr.txt")) {
        args.insert(args.begin(), kCli);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        start_ = SteadyClock::now();
        if (posix_spawn(&pid_, kCli, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void Signal(int signal) const { kill(pid_, signal); }

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
    pid_t pid_ = -1;
    SteadyClock::time_point start_;
};

class CliProgramTest : public ::testing::Test {
protected:
    explicit CliProgramTest(std::vector<std::string> simArgs = {})
        : sim_(kSim, std::move(simArgs)) {}
    void SetUp() override { ASSERT_TRUE(sim_.ready()); }

    Finished Run(std::vector<std::string> args) {
        args.push_back("--port");
        args.push_back(sim_.linkPath());
        return CliProcess(dir_, args).Wait();
    }
    // The unit's status word "name=value" as a number.
    long Status(const std::string& name) {
        const std::string status = sim_.Command("status");
        const std::size_t at = status.find(" " + name + "=");
        return at == std::string::npos
                   ? -1
                   : std::strtol(status.c_str() + at + name.size() + 2, nullptr, 10);
    }
    // Waits until the unit has served some blocks of a transfer.
    bool AwaitBlocks(long blocks) {
        for (int i = 0; i < 1000; ++i) {
            if (Status("blocks") >= blocks) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    ScratchDir dir_;
    SimProgram sim_;
};

class PacedCliProgramTest : public CliProgramTest {
protected:
    PacedCliProgramTest() : CliProgramTest({"--pace"}) {}
};

TEST_F(CliProgramTest, ProgramsAHexFileAndReadsItBackAsSRecordAndBinary) {
    const Bytes image = PatternBytes(0x8000, 11);
    const std::string hex = WriteIntelHex(image.data(), 0x8000, 0x20000);
    WriteWholeFile(dir_.File("img.hex"), Bytes(hex.begin(), hex.end()));

    Finished f = Run({"program", dir_.File("img.hex"), "--chip", "AM29F040"});
    ASSERT_EQ(f.status, kExitSuccess) << f.err;
    EXPECT_EQ(f.out, "programmed and verified 020000-027FFF of the AM29F040 from " +
                         dir_.File("img.hex") + "\n");
    EXPECT_NE(f.err.find("Vorland v1.0.F on " + sim_.linkPath() + " at 921600 baud\n"),
              std::string::npos);
    EXPECT_EQ(f.err.find('\r'), std::string::npos) << "no bar when stderr is a file";
    EXPECT_EQ(Status("speed"), 7);

    f = Run({"read", dir_.File("back.s37"), "-c", "am29f040", "--chip-range", "20000-27FFF"});
    ASSERT_EQ(f.status, kExitSuccess) << f.err;
    SparseImage back;
    ImageError error;
    ASSERT_TRUE(ParseSRecord(TextOf(dir_.File("back.s37")), back, error)) << error.message;
    Bytes fromSrec(0x8000);
    EXPECT_EQ(back.CopyOut(0x20000, 0x8000, 0, fromSrec.data()), 0x8000u);
    EXPECT_EQ(fromSrec, image);

    f = Run({"read", dir_.File("back.bin"), "-c", "am29f040", "--chip-range", "20000+8000"});
    ASSERT_EQ(f.status, kExitSuccess) << f.err;
    EXPECT_EQ(ReadWholeFile(dir_.File("back.bin")), image);

    ASSERT_EQ(sim_.Command("dump " + dir_.File("chip.bin")), "ok 524288");
    const Bytes chip = ReadWholeFile(dir_.File("chip.bin"));
    ASSERT_EQ(chip.size(), 0x80000u);
    EXPECT_EQ(Bytes(chip.begin() + 0x20000, chip.begin() + 0x28000), image);
    EXPECT_EQ(chip[0x1FFFF], 0xFF);
    EXPECT_EQ(Status("speed"), 7);
}

TEST_F(CliProgramTest, AVerifyMismatchExitsWithItsCode) {
    WriteWholeFile(dir_.File("img.bin"), PatternBytes(0x1000));
    ASSERT_EQ(sim_.Command("fill 0x00"), "ok");
    const Finished f = Run({"verify", dir_.File("img.bin"), "-c", "AM29F040"});
    EXPECT_EQ(f.status, kExitMismatch) << f.err;
    EXPECT_EQ(f.out.find("the chip differs from " + dir_.File("img.bin") +
                         " first at chip address 000000"),
              0u)
        << f.out;
}

TEST_F(CliProgramTest, NoUnitAndBadArguments) {
    Finished f = CliProcess(dir_, {"detect", "--port", "/nonexistent/tty"}).Wait();
    EXPECT_EQ(f.status, kExitNoUnit);
    EXPECT_EQ(f.err,
              "vorland-cli: cannot open /nonexistent/tty: it does not exist, or another "
              "program holds it\n");
    f = CliProcess(dir_, {"read", "x.bin"}).Wait();
    EXPECT_EQ(f.status, kExitBadInput);
    EXPECT_NE(f.err.find("\nTry 'vorland-cli --help'.\n"), std::string::npos) << f.err;
    f = CliProcess(dir_, {"--help"}).Wait();
    EXPECT_EQ(f.status, kExitSuccess);
    EXPECT_NE(f.out.find("Exit status:\n    0  success\n    1  verify mismatch"),
              std::string::npos);
}

// While it lives, no file of this process or of a program it starts may grow past `bytes`:
// writes beyond fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldSignal_ = signal(SIGXFSZ, SIG_IGN);  // a failed write, not a killed process
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    sighandler_t oldSignal_;
};

TEST_F(CliProgramTest, AReadWhoseFileCannotBeWrittenLeavesTheOldFileAsItWas) {
    WriteWholeFile(dir_.File("old.hex"), Bytes{'k', 'e', 'p', 't'});
    std::unique_ptr<CliProcess> cli;
    {
        FileSizeLimit fullDisk(4096);
        cli = std::make_unique<CliProcess>(
            dir_, std::vector<std::string>{"read", dir_.File("old.hex"), "-c", "AM29F040",
                                           "--chip-range", "0+4000", "-p", sim_.linkPath()});
    }
    const Finished f = cli->Wait();
    EXPECT_EQ(f.status, kExitBadInput) << f.err;
    EXPECT_EQ(f.err.substr(f.err.find("vorland-cli:")),
              "vorland-cli: " + dir_.File("old.hex") + ": File too large\n");
    EXPECT_EQ(TextOf(dir_.File("old.hex")), "kept");
    for (const auto& entry : std::filesystem::directory_iterator(dir_.File(""))) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "old.hex" || name == "stdout.txt" || name == "stderr.txt") << name;
    }
}

TEST_F(CliProgramTest, AUnitThatFallsSilentEndsWithinTheTimeouts) {
    ASSERT_EQ(sim_.Command("fault stop 40"), "ok");
    const Finished f = Run({"read", dir_.File("out.hex"), "-c", "AM29F040"});
    EXPECT_EQ(f.status, kExitLinkFailure) << f.err;
    EXPECT_NE(f.err.find("vorland-cli: reading the AM29F040 failed at address 002800: the unit "
                         "stopped answering"),
              std::string::npos)
        << f.err;
    // 6 s for the block, 300 ms for the speed command nobody answers.
    EXPECT_LT(f.ms, 10000);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.hex")));
}

TEST_F(PacedCliProgramTest, AUnitThatVanishesMidTransferIsACommunicationFailure) {
    CliProcess cli(dir_, {"read", dir_.File("out.bin"), "-c", "AM29F040", "-p", sim_.linkPath()});
    ASSERT_TRUE(AwaitBlocks(50));
    const auto vanished = SteadyClock::now();
    sim_.Command("quit");
    const Finished f = cli.Wait();
    EXPECT_EQ(f.status, kExitLinkFailure) << f.err;
    EXPECT_NE(f.err.find("vorland-cli: reading the AM29F040 failed at address "), std::string::npos)
        << f.err;
    EXPECT_NE(f.err.find(": the unit did not answer, or the port failed"), std::string::npos);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - vanished)
                  .count(),
              7000);
}

TEST_F(PacedCliProgramTest, CtrlCStopsTheReadAndReturnsTheUnitTo115200) {
    CliProcess cli(dir_, {"read", dir_.File("out.bin"), "-c", "AM29F040", "-p", sim_.linkPath()});
    ASSERT_TRUE(AwaitBlocks(50));
    EXPECT_EQ(Status("speed"), 0) << "raised while reading";
    cli.Signal(SIGINT);
    const Finished f = cli.Wait();
    EXPECT_EQ(f.status, kExitInterrupted) << f.err;
    EXPECT_NE(f.err.find("vorland-cli: interrupted while reading at address "), std::string::npos)
        << f.err;
    EXPECT_LT(Status("blocks"), 2048);
    EXPECT_EQ(Status("speed"), 7);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.bin")));
}

}  // namespace
