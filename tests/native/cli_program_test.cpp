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
#include "tests/native/support/cli_process_posix.h"
#include "tests/native/support/pattern_bytes.h"

namespace {

using namespace cli_process;

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
                         dir_.File("img.hex") + "\n" +
                         FormatChecksumLine(0x20000, 0x27FFF, image.data()) + "\n");
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
    const struct {
        std::uint32_t offset;
        std::string said;  // the first line: the byte read, or the checksum frame that failed
    } cases[] = {
        {0, Printf("the chip differs from %s first at chip address 000000 (file address "
                   "00000000): the file has 5A, the chip 58\n",
                   dir_.File("img.bin").c_str())},
        {0x8000, "the checksums of 000001-00FFFF differ: "},
    };
    for (const auto& [offset, said] : cases) {
        const std::string poke = Printf("poke %u %u", offset, image[offset] & ~2u);
        ASSERT_EQ(sim_.Command("load " + dir_.File("img.bin")), "ok 65536");
        ASSERT_EQ(sim_.Command(poke), "ok");
        Finished f = Run({"verify", dir_.File("img.bin"), "-c", "27SF512", "--quick"});
        EXPECT_EQ(f.status, kExitMismatch) << offset << f.out << f.err;
        EXPECT_EQ(f.out.substr(0, said.size()), said) << f.out;
        EXPECT_EQ(f.out.find("differ in"), std::string::npos) << "no bytes to list: " << f.out;

        ASSERT_EQ(sim_.Command("fill 255"), "ok");
        ASSERT_EQ(sim_.Command(poke), "ok");
        f = Run({"program", dir_.File("img.bin"), "-c", "27SF512", "--quick"});
        EXPECT_EQ(f.status, kExitMismatch) << offset << f.out << f.err;
        EXPECT_NE(f.err.find("programming did not take"), std::string::npos) << f.err;
    }
}

// --changed-only writes only the blocks that differ (the unit's record of its writes), erases a
// sector only when the range holds all of it, and touches no byte outside the range.
TEST_F(CliProgramTest, ChangedOnlyWritesWhatDiffersAndNothingOutsideTheRange) {
    const Bytes image = PatternBytes(0x80000, 21);
    WriteWholeFile(dir_.File("img.bin"), image);
    const std::string reaches =
        "Address 023456 needs a bit set, which takes erasing sector 2 (020000-02FFFF), and that "
        "sector reaches outside the range: programming the whole range as usual, which needs the "
        "chip erased.\n";
    const struct {
        const char* name;
        std::uint32_t start, length;  // the range, of the chip and the file alike
        std::uint32_t at, count;      // chip bytes that differ: erased, or one lacking a bit
        int status;
        std::string writes;
        std::string lines;
    } cases[] = {
        {"1 KiB changed", 0, 0x80000, 0x12400, 0x400, kExitSuccess, "ok 012400-0127FF",
         "Programmed 1 KiB of 512 KiB; 511 KiB already matched.\n"},
        {"a sector in the range", 0x10000, 0x18000, 0x14000, 1, kExitSuccess, "ok 010000-01FFFF",
         "Erased sector 1 (010000-01FFFF) first: bytes there needed a bit set.\nProgrammed 64 "
         "KiB of 96 KiB; 32 KiB already matched.\n"},
        {"a sector reaching out", 0x10000, 0x18000, 0x23456, 1, kExitMismatch, "ok 010000-027FFF",
         reaches},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes chip = PatternBytes(0x80000, 22);
        std::copy_n(image.begin() + c.start, c.length, chip.begin() + c.start);
        for (std::uint32_t a = c.at; a < c.at + c.count; ++a) {
            chip[a] = c.count > 1 ? 0xFF : image[a] & (image[a] - 1);
        }
        WriteWholeFile(dir_.File("chip.bin"), chip);
        ASSERT_EQ(sim_.Command("load " + dir_.File("chip.bin")), "ok 524288");
        ASSERT_EQ(sim_.Command("fault clear"), "ok");
        const std::string range = Printf("%X+%X", c.start, c.length);
        const Finished f = Run({"program", dir_.File("img.bin"), "-c", "AM29F040", "--changed-only",
                                "--chip-range", range, "--file-range", range});
        EXPECT_EQ(f.status, c.status) << f.err;
        EXPECT_NE(f.err.find(c.lines), std::string::npos) << f.err;
        EXPECT_EQ(sim_.Command("writes"), c.writes);
        // The image in the range, unless it needed an erase that could not be made.
        if (c.status == kExitSuccess)
            std::copy_n(image.begin() + c.start, c.length, chip.begin() + c.start);
        ASSERT_EQ(sim_.Command("dump " + dir_.File("chip.bin")), "ok 524288");
        EXPECT_TRUE(ReadWholeFile(dir_.File("chip.bin")) == chip);
    }
}

// Without --port the scan reaches a USB adapter's unit, also one that a host which died left at
// 921600 baud: found, set back to 115200, and its port printed. The adapter is a link named
// ttyUSB0 in a folder of the test's own, which the scan is pointed at instead of /dev.
TEST(CliScanTest, DetectFindsARaisedUnitBehindATtyUsbName) {
    char folder[] = "/tmp/vlXXXXXX";  // short: a port name has at most 24 characters
    if (mkdtemp(folder) == nullptr) GTEST_SKIP() << "no folder for a ttyUSB0 link in /tmp";
    const std::string usb = std::string(folder) + "/ttyUSB0";
    {
        SimProgram sim(kSim, {"--do", "rate 921600"}, usb);
        ASSERT_TRUE(sim.ready());
        ScratchDir dir;
        setenv("VORLAND_DEVICE_FOLDER", folder, 1);
        const Finished f = CliProcess(dir, {"detect"}).Wait();
        unsetenv("VORLAND_DEVICE_FOLDER");
        EXPECT_EQ(f.status, kExitSuccess) << f.err;
        EXPECT_EQ(f.out, "Vorland v1.0.F on " + usb + "\n");
        EXPECT_EQ(StatusOf(sim, "baud"), 115200);
        // Back to 115200 when found, up for the command, and back at its end.
        EXPECT_EQ(StatusOf(sim, "speed-changes"), 3);
    }
    rmdir(folder);
}

TEST_F(CliProgramTest, VerboseTellsWhatThePortAnsweredToLowLatency) {
    const Finished f = Run({"detect", "--verbose"});
    EXPECT_EQ(f.status, kExitSuccess) << f.err;
    EXPECT_NE(f.err.find("(" + sim_.linkPath() + " has no low-latency mode to ask for)\n"),
              std::string::npos)
        << f.err;
    EXPECT_EQ(Run({"detect"}).err.find("low-latency"), std::string::npos);
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

// The file a read writes is checked before any unit is touched; a refused one leaves the name
// as it was. An unquoted `--ports /dev/ttyUSB*` leaves the second port where the file goes: a
// read must not put a plain file in the device's place (nor wait on it).
TEST_F(CliProgramTest, AReadFileThatCannotBeWrittenIsRefusedBeforeTheUnitIsTouched) {
    const std::string pipe = dir_.File("ttyUSB1");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string longFolder = dir_.File(std::string(200, 'd'));
    ASSERT_TRUE(std::filesystem::create_directory(longFolder));
    const std::string longName = longFolder + "/" + std::string(272 - longFolder.size(), 'n');
    ASSERT_EQ(longName.size(), 273u);
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {pipe, ": not a plain file (a folder or a device); the image is written only to a file"},
        {longName, ": the name is too long (259 characters at the most)"},
        {dir_.File("none/out.hex"), ": No such file or directory"},
    };
    for (const auto& c : cases) {
        const Finished f = CliProcess(dir_, {"read", "--port", sim_.linkPath(), c.path, "-f", "hex",
                                             "-c", "AM29F040"})
                               .Wait(10000);
        EXPECT_EQ(f.status, kExitBadInput) << f.err;
        EXPECT_EQ(f.err, "vorland-cli: " + c.path + c.message + "\n");
        EXPECT_EQ(Status("frames"), 0) << c.message;
    }
    struct stat info {};
    ASSERT_EQ(lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_FALSE(std::filesystem::exists(longName));
}

// A link stays a link: the read replaces the file it names, also one that does not exist yet.
TEST_F(CliProgramTest, AReadOntoASymbolicLinkWritesTheFileItNames) {
    std::filesystem::create_directory(dir_.File("real"));
    WriteWholeFile(dir_.File("real/old.hex"), Bytes{'o', 'l', 'd'});
    std::filesystem::create_symlink("real/old.hex", dir_.File("old.hex"));
    std::filesystem::create_symlink(dir_.File("real/new.hex"), dir_.File("new.hex"));
    const std::string expected = WriteIntelHex(Bytes(0x40, 0xFF).data(), 0x40, 0);
    for (const char* name : {"old.hex", "new.hex"}) {
        const Finished f = Run({"read", dir_.File(name), "-c", "AM29F040", "--chip-range", "0+40"});
        ASSERT_EQ(f.status, kExitSuccess) << f.err;
        EXPECT_TRUE(std::filesystem::is_symlink(dir_.File(name))) << name;
        EXPECT_EQ(TextOf(dir_.File(std::string("real/") + name)), expected) << name;
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

// Until the whole file is written nothing appears under its name, even when the run is killed.
TEST_F(PacedCliProgramTest, AReadKilledMidwayLeavesNoFile) {
    CliProcess cli(dir_, {"read", dir_.File("out.bin"), "-c", "AM29F040", "-p", sim_.linkPath()});
    ASSERT_TRUE(AwaitBlocks(50));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.bin")));
    cli.Signal(SIGKILL);
    cli.Wait();
    for (const auto& entry : std::filesystem::directory_iterator(dir_.File(""))) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "stdout.txt" || name == "stderr.txt") << name;
    }
}

}  // namespace
