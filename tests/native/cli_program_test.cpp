// The vorland-cli program itself against the vorland-sim program on a pseudo-terminal: files
// through the real serial backend, exit status, a unit that vanishes or falls silent in the
// middle of a transfer, and Ctrl+C.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"
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

// A unit's status word "name=value" as a number.
long StatusOf(SimProgram& sim, const std::string& name) {
    const std::string status = sim.Command("status");
    const std::size_t at = status.find(" " + name + "=");
    return at == std::string::npos
               ? -1
               : std::strtol(status.c_str() + at + name.size() + 2, nullptr, 10);
}

// Waits until the unit has served some blocks of a transfer.
bool AwaitUnitBlocks(SimProgram& sim, long blocks) {
    for (int i = 0; i < 1000; ++i) {
        if (StatusOf(sim, "blocks") >= blocks) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

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
    long Status(const std::string& name) { return StatusOf(sim_, name); }
    bool AwaitBlocks(long blocks) { return AwaitUnitBlocks(sim_, blocks); }

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

// The unit's checksum gives the first byte of a range weight 0, and at a 32 KiB multiple lets
// an even difference through: a chip that differs from the file at one such byte alone must
// fail verify --quick, and program --quick onto a flash byte lacking a bit of the file's.
TEST_F(CliProgramTest, AQuickVerifySeesTheBytesTheUnitsChecksumCannot) {
    Bytes image = PatternBytes(0x10000, 5);
    image[0] = 0x5A;
    image[0x8000] = 0x12;
    WriteWholeFile(dir_.File("img.bin"), image);
    ASSERT_EQ(sim_.Command("chip 2"), "ok");
    for (const std::uint32_t offset : {0u, 0x8000u}) {
        const std::string poke = Printf("poke %u %u", offset, image[offset] & ~2u);
        ASSERT_EQ(sim_.Command("load " + dir_.File("img.bin")), "ok 65536");
        ASSERT_EQ(sim_.Command(poke), "ok");
        Finished f = Run({"verify", dir_.File("img.bin"), "-c", "27SF512", "--quick"});
        EXPECT_EQ(f.status, kExitMismatch) << offset << f.out << f.err;

        ASSERT_EQ(sim_.Command("fill 255"), "ok");
        ASSERT_EQ(sim_.Command(poke), "ok");
        f = Run({"program", dir_.File("img.bin"), "-c", "27SF512", "--quick"});
        EXPECT_EQ(f.status, kExitMismatch) << offset << f.out << f.err;
        EXPECT_NE(f.err.find("programming did not take"), std::string::npos) << f.err;
    }
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

// An unquoted `--ports /dev/ttyUSB*` leaves the second port where the file goes: a read must
// not put a plain file in the device's place (nor wait on it), and no unit is touched.
TEST_F(CliProgramTest, AReadIntoADeviceOrPipeIsRefusedAndLeavesItAlone) {
    const std::string pipe = dir_.File("ttyUSB1");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const Finished f =
        CliProcess(dir_, {"read", "--ports", sim_.linkPath(), pipe, "-f", "hex", "-c", "AM29F040"})
            .Wait(10000);
    EXPECT_EQ(f.status, kExitBadInput) << f.err;
    EXPECT_EQ(f.err, "vorland-cli: " + pipe +
                         ": not a plain file (a folder or a device); the image is written only "
                         "to a file\n");
    struct stat info {};
    ASSERT_EQ(lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(Status("frames"), 0);
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

// Several vorland-sim programs, their units linked as ports/ttyV0, ports/ttyV1, ...
class CliGangTest : public ::testing::Test {
  protected:
    explicit CliGangTest(std::vector<std::string> simArgs = {}) {
        std::filesystem::create_directory(dir_.File("ports"));
        for (int i = 0; i < 4; ++i) {
            sims_.push_back(std::make_unique<SimProgram>(kSim, simArgs, Port(i)));
        }
    }
    void SetUp() override {
        for (const auto& sim : sims_) ASSERT_TRUE(sim->ready());
    }

    std::string Port(int unit) const { return dir_.File("ports/ttyV" + std::to_string(unit)); }
    Finished Run(const std::vector<std::string>& args) { return CliProcess(dir_, args).Wait(); }
    long Status(int unit, const std::string& name) { return StatusOf(*sims_[unit], name); }
    Bytes Chip(int unit) {
        const std::string path = dir_.File("chip.bin");
        EXPECT_EQ(sims_[unit]->Command("dump " + path), "ok 524288");
        return ReadWholeFile(path);
    }

    ScratchDir dir_;  // before the simulators, which remove their links first
    std::vector<std::unique_ptr<SimProgram>> sims_;
};

class PacedCliGangTest : public CliGangTest {
  protected:
    PacedCliGangTest() : CliGangTest({"--pace"}) {}
};

// The lines of the table at the end, each cut into its cells (columns are two or more blanks
// apart); a time cell ("45 ms", "6.1 s") becomes "T".
std::vector<std::vector<std::string>> TableOf(const std::string& out) {
    std::vector<std::vector<std::string>> table;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        for (std::size_t start = 0; start < line.size();) {
            std::size_t gap = line.find("  ", start);
            cells.push_back(line.substr(start, gap - start));
            if (gap == std::string::npos) break;
            start = line.find_first_not_of(' ', gap);
        }
        for (std::string& cell : cells) {
            const bool time = cell.size() > 2 && (cell.ends_with(" ms") || cell.ends_with(" s")) &&
                              std::isdigit(static_cast<unsigned char>(cell[0])) != 0;
            if (time) cell = "T";
        }
        table.push_back(cells);
    }
    return table;
}

std::string SumsOf(const Bytes& bytes) {
    ChecksumSet sums(kChecksumSum | kChecksumCrc32);
    sums.Update(bytes.data(), bytes.size());
    const ChecksumResults r = sums.Finish();
    return FormatSumAndCrc32(r.sum16, r.crc32);
}

using Table = std::vector<std::vector<std::string>>;

TEST_F(CliGangTest, FourUnitsProgramOneHexImageWhileOneIsSilentAndOneFailsItsVerify) {
    const Bytes image = PatternBytes(0x8000, 17);
    const std::string hex = WriteIntelHex(image.data(), 0x8000, 0x10000);
    WriteWholeFile(dir_.File("img.hex"), Bytes(hex.begin(), hex.end()));
    ASSERT_EQ(sims_[1]->Command("fault silent"), "ok");
    ASSERT_EQ(sims_[2]->Command("fill 0x00"), "ok");  // old data that programming cannot clear

    const Finished f = Run(
        {"program", dir_.File("img.hex"), "-c", "AM29F040", "--port", dir_.File("ports/ttyV*")});
    EXPECT_EQ(f.status, kExitNoUnit) << "the worst: no programmer on one port\n" << f.err;
    const std::string sums = SumsOf(image);
    EXPECT_EQ(TableOf(f.out), (Table{{"Port", "Unit", "Result", "Time", "Checksums"},
                                     {Port(0), "Vorland v1.0.F", "verified", "T", sums},
                                     {Port(1), "-", "no programmer", "T", "-"},
                                     {Port(2), "Vorland v1.0.F", "differs", "T", "-"},
                                     {Port(3), "Vorland v1.0.F", "verified", "T", sums},
                                     {"2 of 4 units failed: " + Port(1) + " (no programmer), " +
                                      Port(2) + " (differs)"}}))
        << f.out;
    EXPECT_NE(f.err.find(Port(1) + ": error: no programmer answered on " + Port(1) + "\n"),
              std::string::npos)
        << f.err;
    EXPECT_NE(f.err.find(Port(2) + ": error: programming did not take: the chip differs from " +
                         dir_.File("img.hex") + " first at chip address 010000"),
              std::string::npos)
        << f.err;
    for (int unit : {0, 3}) {
        EXPECT_NE(f.err.find(Port(unit) +
                             ": programmed and verified 010000-017FFF of the "
                             "AM29F040 from " +
                             dir_.File("img.hex") + "\n"),
                  std::string::npos)
            << f.err;
        const Bytes chip = Chip(unit);
        EXPECT_EQ(Bytes(chip.begin() + 0x10000, chip.begin() + 0x18000), image) << unit;
    }
    EXPECT_EQ(f.err.find('\r'), std::string::npos) << "plain lines when stderr is a file";
    for (int unit : {0, 2, 3}) {
        EXPECT_EQ(Status(unit, "speed"), 7) << unit;
        EXPECT_EQ(Status(unit, "speed-changes"), 2) << "raised and returned: " << unit;
    }
}

TEST_F(CliGangTest, ReadWritesOneFilePerUnitAndTellsWhetherTheyAreIdentical) {
    ASSERT_EQ(sims_[3]->Command("poke 0x100 0x12"), "ok");
    ASSERT_EQ(sims_[1]->Command("fault reply 2 F"), "ok");  // a block cut short
    WriteWholeFile(dir_.File("dump.ttyV1.s19"), Bytes{'k', 'e', 'p', 't'});
    const std::string ports = Port(0) + "," + Port(1) + ", " + Port(3);
    const std::vector<std::string> read = {
        "read", dir_.File("dump.s19"), "-c", "AM29F040", "--chip-range", "0+1000", "--ports", ports,
        "-q"};
    Finished f = Run(read);
    EXPECT_EQ(f.status, kExitLinkFailure) << f.err;
    Bytes blank(0x1000, 0xFF);
    Bytes poked = blank;
    poked[0x100] = 0x12;
    EXPECT_EQ(TableOf(f.out),
              (Table{{"Port", "Unit", "Result", "Time", "Checksums"},
                     {Port(0), "Vorland v1.0.F", "read", "T", SumsOf(blank)},
                     {Port(1), "Vorland v1.0.F", "failed", "T", "-"},
                     {Port(3), "Vorland v1.0.F", "read", "T", SumsOf(poked)},
                     {"1 of 3 units failed: " + Port(1) + " (failed)"},
                     {"the 2 files read are not identical: they hold 2 different contents"}}))
        << f.out;
    EXPECT_EQ(TextOf(dir_.File("dump.ttyV1.s19")), "kept") << "replaced only by a whole file";
    for (const auto& [name, bytes] :
         {std::pair{"dump.ttyV0.s19", blank}, {"dump.ttyV3.s19", poked}}) {
        SparseImage back;
        ImageError error;
        ASSERT_TRUE(ParseSRecord(TextOf(dir_.File(name)), back, error)) << error.message;
        Bytes content(0x1000);
        EXPECT_EQ(back.CopyOut(0, 0x1000, 0, content.data()), 0x1000u);
        EXPECT_EQ(content, bytes) << name;
    }

    for (int unit : {0, 1}) ASSERT_EQ(sims_[unit]->Command("poke 0x100 0x12"), "ok");
    ASSERT_EQ(sims_[1]->Command("fault clear"), "ok");
    f = Run(read);
    EXPECT_EQ(f.status, kExitSuccess) << f.err;
    const Table table = TableOf(f.out);
    ASSERT_EQ(table.size(), 6u) << f.out;
    EXPECT_EQ(table[4], std::vector<std::string>{"all 3 units succeeded"});
    EXPECT_EQ(table[5], std::vector<std::string>{"the 3 files read are identical"});
    for (std::size_t row : {1, 2, 3}) EXPECT_EQ(table[row][4], SumsOf(poked)) << row;
}

TEST_F(CliGangTest, DetectAllListsEveryUnitFound) {
    ASSERT_EQ(sims_[1]->Command("model tandrel-usb"), "ok");
    ASSERT_EQ(sims_[2]->Command("fault silent"), "ok");
    ASSERT_EQ(sims_[3]->Command("model calyxor2"), "ok");
    Finished f = Run({"detect", "--all", "--ports",
                      dir_.File("ports/ttyV[0-3]") + "," + dir_.File("ports/none")});
    EXPECT_EQ(f.status, kExitSuccess) << f.err;
    EXPECT_EQ(f.out, "Vorland v1.0.F on " + Port(0) + "\nTandrel USB v2.5.A on " + Port(1) +
                         "\nCalyxor II v2.0.2 on " + Port(3) + " (an emulator: not supported)\n");
    EXPECT_EQ(f.err, "");

    ASSERT_EQ(sims_[0]->Command("fault silent"), "ok");
    ASSERT_EQ(sims_[1]->Command("fault silent"), "ok");
    f = Run({"detect", "--all", "--port", Port(0), "--port", Port(2), "-p", Port(3)});
    EXPECT_EQ(f.status, kExitNoUnit) << f.err;
    EXPECT_EQ(f.out, "Calyxor II v2.0.2 on " + Port(3) + " (an emulator: not supported)\n");
    EXPECT_EQ(f.err, "vorland-cli: no programmer answered on any of the 3 ports\n");

    f = Run({"read", "x.bin", "-c", "AM29F040", "--port", dir_.File("ports/ttyX*")});
    EXPECT_EQ(f.status, kExitBadInput);
    EXPECT_EQ(f.err, "vorland-cli: no port matches '" + dir_.File("ports/ttyX*") +
                         "'\nTry 'vorland-cli --help'.\n");
}

TEST_F(PacedCliGangTest, CtrlCStopsEveryUnitAndReturnsEachTo115200) {
    CliProcess cli(dir_, {"read", dir_.File("out.bin"), "-c", "AM29F040", "--ports",
                          Port(0) + "," + Port(1) + "," + Port(2)});
    for (int unit : {0, 1, 2}) ASSERT_TRUE(AwaitUnitBlocks(*sims_[unit], 30)) << unit;
    cli.Signal(SIGINT);
    const Finished f = cli.Wait();
    EXPECT_EQ(f.status, kExitInterrupted) << f.err;
    for (int unit : {0, 1, 2}) {
        EXPECT_NE(f.err.find(Port(unit) + ": error: interrupted while reading at address "),
                  std::string::npos)
            << f.err;
        EXPECT_LT(Status(unit, "blocks"), 2048);
        EXPECT_EQ(Status(unit, "speed"), 7) << unit;
        EXPECT_FALSE(
            std::filesystem::exists(dir_.File("out.ttyV" + std::to_string(unit) + ".bin")));
    }
    EXPECT_NE(f.out.find("3 of 3 units failed: " + Port(0) + " (interrupted), "), std::string::npos)
        << f.out;
}

TEST_F(PacedCliGangTest, AUnitUnpluggedMidTransferLeavesTheOthersToFinish) {
    CliProcess cli(dir_, {"read", dir_.File("out.bin"), "-c", "AM29F040", "--chip-range", "0+40000",
                          "--ports", Port(0) + "," + Port(1) + "," + Port(2)});
    ASSERT_TRUE(AwaitUnitBlocks(*sims_[1], 50));
    sims_[1]->Command("quit");
    const Finished f = cli.Wait();
    EXPECT_EQ(f.status, kExitLinkFailure) << f.err;
    const Table table = TableOf(f.out);
    ASSERT_EQ(table.size(), 6u) << f.out;
    EXPECT_EQ(table[2][2], "failed");
    EXPECT_EQ(table[4], std::vector<std::string>{"1 of 3 units failed: " + Port(1) + " (failed)"});
    EXPECT_EQ(table[5], std::vector<std::string>{"the 2 files read are identical"});
    EXPECT_EQ(ReadWholeFile(dir_.File("out.ttyV0.bin")), Bytes(0x40000, 0xFF));
    EXPECT_EQ(ReadWholeFile(dir_.File("out.ttyV2.bin")), Bytes(0x40000, 0xFF));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.ttyV1.bin")));
}

}  // namespace
