// vorland-cli.exe under Wine against the simulated unit on a COM port: the scan of every COM
// port and a named port, programming, reading back and verifying through the Win32 serial
// backend, the exit status, and the unit left at 115200 baud; two units at once, one thread each.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formats/checksums.h"
#include "tests/native/support/pattern_bytes.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/sim_unit.h"

namespace {

using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::ReadFileText;
using testing_support::RunConsole;
using testing_support::TempDir;
using testing_support::WinePath;
using testing_support::WriteFileBytes;

using Finished = testing_support::ConsoleRun;

Finished RunCli(const TempDir& dir, const std::string& arguments, const std::string& input = "") {
    return RunConsole(
        dir, Quote(WinePath(VORLAND_BINARY_DIR "/cli/vorland-cli.exe")) + ' ' + arguments, input);
}

class CliWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimUnit::Options options;
        options.com = 3;
        ASSERT_TRUE(sim_.Start(options)) << sim_.error();
    }
    std::string Quoted(const std::string& name) const { return Quote(dir_.File(name)); }

    SimUnit sim_;
    TempDir dir_;
};

TEST_F(CliWineTest, TheScanFindsTheUnitAndTheChipIsProgrammedReadAndVerified) {
    // Also where a host that died left it: at 921600 baud. It is left at 115200.
    ASSERT_TRUE(sim_.Ok("rate 921600"));
    Finished f = RunCli(dir_, "detect");
    ASSERT_EQ(f.status, 0u) << f.err;
    EXPECT_EQ(f.out, "Vorland v1.0.F on COM3\r\n");
    EXPECT_NE(sim_.Command("status").find(" baud=115200 "), std::string::npos);

    const std::vector<std::uint8_t> image = PatternBytes(0x4000, 21);
    WriteFileBytes(dir_.File("img.bin"), image);
    f = RunCli(dir_, "program " + Quoted("img.bin") + " -c AM29F040 --chip-range 8000+4000");
    ASSERT_EQ(f.status, 0u) << f.err;
    EXPECT_NE(f.err.find("Vorland v1.0.F on COM3 at 921600 baud"), std::string::npos) << f.err;
    const std::vector<std::uint8_t> chip = sim_.ChipContents();
    ASSERT_EQ(chip.size(), 0x80000u);
    EXPECT_EQ(std::vector<std::uint8_t>(chip.begin() + 0x8000, chip.begin() + 0xC000), image);
    EXPECT_EQ(sim_.Command("status").substr(0, 35), "ok model=vorland chip=1 speed=7 bau");

    f = RunCli(dir_,
               "read " + Quoted("back.bin") + " --port COM3 -c am29f040 --chip-range 8000-BFFF");
    ASSERT_EQ(f.status, 0u) << f.err;
    const std::vector<unsigned char> back = ReadFileBytes(dir_.File("back.bin"));
    EXPECT_EQ(std::vector<std::uint8_t>(back.begin(), back.end()), image);

    // One port named three ways is one unit, read once: not three threads talking over each
    // other on it.
    f = RunCli(dir_, "read " + Quoted("same.bin") +
                         " -c AM29F040 --chip-range 8000+4000 -p COM3 -p com3 -p \\\\.\\COM3");
    ASSERT_EQ(f.status, 0u) << f.out << f.err;
    EXPECT_EQ(f.out, "read 008000-00BFFF of the AM29F040 into " + dir_.File("same.bin") +
                         " (binary)\r\n" + FormatChecksumLine(0x8000, 0xBFFF, image.data()) +
                         "\r\n");
    EXPECT_EQ(ReadFileBytes(dir_.File("same.bin")), back);

    f = RunCli(dir_, "read " + Quoted("back.hex") + " -c am29f040 --chip-range 8000+40 -q");
    ASSERT_EQ(f.status, 0u) << f.err;
    EXPECT_EQ(ReadFileText(dir_.File("back.hex")).substr(0, 9), ":20800000");

    std::vector<std::uint8_t> other = image;
    other[0x100] ^= 0xFF;
    WriteFileBytes(dir_.File("other.bin"), other);
    f = RunCli(dir_, "verify " + Quoted("other.bin") + " -c AM29F040 --chip-range 8000+4000");
    EXPECT_EQ(f.status, 1u) << f.err;
    EXPECT_EQ(f.out.find("the chip differs from "), 0u) << f.out;
    EXPECT_NE(f.out.find(" first at chip address 008100 "), std::string::npos) << f.out;
    EXPECT_EQ(sim_.Command("status").substr(0, 31), "ok model=vorland chip=1 speed=7");
}

// Two rounds on one unit, Enter and q read from the input, and no new chip between them: the
// first chip gets its number, the second round finds it still in the socket and skips it,
// taking no number. The serial file (locked through its lock file) and the log follow.
TEST_F(CliWineTest, AProductionRunStampsAChipOnceAndSkipsItInTheNextRound) {
    const std::vector<std::uint8_t> image = PatternBytes(0x3F0, 9);
    WriteFileBytes(dir_.File("img.bin"), image);
    WriteFileBytes(dir_.File("keys.txt"), {'\r', '\n', 'q', '\r', '\n'});
    const Finished f = RunCli(dir_,
                              "program " + Quoted("img.bin") +
                                  " -c AM29F040 --ports COM3 --erase --serial-at 3F8 "
                                  "--serial-format dec:4 --serial-start 41 --serial-file " +
                                  Quoted("sn.txt") + " --repeat --log " + Quoted("log.jsonl"),
                              dir_.File("keys.txt"));
    EXPECT_EQ(f.status, 0u) << f.err;
    EXPECT_NE(f.out.find("2 rounds: 1 of 1 chips good, serial numbers 41\r\n"
                         "1 socket still held a chip already programmed: skipped\r\n"),
              std::string::npos)
        << f.out;
    EXPECT_NE(f.err.find("COM3 still holds the chip of round 1 (serial 41): insert a new chip\r\n"),
              std::string::npos)
        << f.err;
    EXPECT_EQ(ReadFileText(dir_.File("sn.txt")), "42\n");
    const std::string log = ReadFileText(dir_.File("log.jsonl"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    for (const char* result : {"started", "verified"}) {
        EXPECT_NE(log.find("\"serial\":41,\"result\":\"" + std::string(result) + "\""),
                  std::string::npos)
            << log;
    }
    const std::vector<std::uint8_t> chip = sim_.ChipContents();
    ASSERT_EQ(chip.size(), 0x80000u);
    EXPECT_EQ(std::string(chip.begin() + 0x3F8, chip.begin() + 0x3FC), "0041");
    EXPECT_EQ(std::vector<std::uint8_t>(chip.begin(), chip.begin() + 0x3F0), image);
}

TEST_F(CliWineTest, TwoUnitsAtOnceEachWithItsOwnResultAndFile) {
    SimUnit second;
    SimUnit::Options options;
    options.com = 4;
    options.controlCom = 7;
    options.commands = {"fill 0x00"};  // old data that programming cannot clear
    ASSERT_TRUE(second.Start(options)) << second.error();
    const std::vector<std::uint8_t> image = PatternBytes(0x4000, 5);
    WriteFileBytes(dir_.File("img.bin"), image);

    Finished f = RunCli(dir_, "program " + Quoted("img.bin") + " -c AM29F040 --ports COM3,COM4");
    EXPECT_EQ(f.status, 1u) << f.err;
    ChecksumSet sums(kChecksumSum | kChecksumCrc32);
    sums.Update(image.data(), image.size());
    const ChecksumResults r = sums.Finish();
    EXPECT_EQ(f.out.find("Port  Unit            Result    Time"), 0u) << f.out;
    EXPECT_NE(f.out.find("\r\nCOM3  Vorland v1.0.F  verified  "), std::string::npos) << f.out;
    EXPECT_NE(
        f.out.find(FormatSumAndCrc32(r.sum16, r.crc32) + "\r\nCOM4  Vorland v1.0.F  differs "),
        std::string::npos)
        << f.out;
    EXPECT_NE(f.out.find("\r\n1 of 2 units failed: COM4 (differs)\r\n"), std::string::npos)
        << f.out;
    EXPECT_NE(f.err.find("COM4: error: programming did not take: the chip differs from "),
              std::string::npos)
        << f.err;
    const std::vector<std::uint8_t> chip = sim_.ChipContents();
    ASSERT_EQ(chip.size(), 0x80000u);
    EXPECT_EQ(std::vector<std::uint8_t>(chip.begin(), chip.begin() + 0x4000), image);

    f = RunCli(dir_, "read " + Quoted("back.bin") +
                         " -c AM29F040 --chip-range 0+4000 -p COM3 "
                         "-p COM4 -q");
    EXPECT_EQ(f.status, 0u) << f.err;
    const std::vector<unsigned char> back = ReadFileBytes(dir_.File("back.COM3.bin"));
    EXPECT_EQ(std::vector<std::uint8_t>(back.begin(), back.end()), image);
    EXPECT_EQ(ReadFileBytes(dir_.File("back.COM4.bin")).size(), 0x4000u);
    EXPECT_NE(f.out.find("all 2 units succeeded\r\nthe 2 files read are not identical: they hold "
                         "2 different contents\r\n"),
              std::string::npos)
        << f.out;
    for (SimUnit* unit : {&sim_, &second}) {
        EXPECT_EQ(unit->Command("status").substr(0, 31), "ok model=vorland chip=1 speed=7");
    }
}

TEST_F(CliWineTest, ExitCodesForNoUnitAndBadInput) {
    WriteFileBytes(dir_.File("bad.hex"), {':', '0', '0', '\r', '\n'});
    Finished f = RunCli(dir_, "program " + Quoted("bad.hex") + " -c AT29C256");
    EXPECT_EQ(f.status, 2u);
    EXPECT_NE(f.err.find("bad.hex:1: too short for a record"), std::string::npos) << f.err;
    sim_.Stop();
    f = RunCli(dir_, "detect");
    EXPECT_EQ(f.status, 3u) << f.err;
    EXPECT_NE(f.err.find("no programmer answered on any COM port"), std::string::npos) << f.err;
}

TEST_F(CliWineTest, WithoutAPortTheScanGoesOnPastCom9) {
    SimUnit::Options options;
    options.com = 12;
    ASSERT_TRUE(sim_.Start(options)) << sim_.error();
    Finished f = RunCli(dir_, "detect");
    ASSERT_EQ(f.status, 0u) << f.err;
    EXPECT_EQ(f.out, "Vorland v1.0.F on COM12\r\n");
    f = RunCli(dir_, "detect --all");
    ASSERT_EQ(f.status, 0u) << f.err;
    EXPECT_EQ(f.out, "Vorland v1.0.F on COM12\r\n");
}

}  // namespace
