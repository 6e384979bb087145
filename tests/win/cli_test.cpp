// vorland-cli.exe under Wine against the simulated unit on a COM port: the scan of every COM
// port and a named port, programming, reading back and verifying through the Win32 serial backend,
// the exit status, and the unit left at 115200 baud.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

Finished RunCli(const TempDir& dir, const std::string& arguments) {
    return RunConsole(dir,
                      Quote(WinePath(VORLAND_BINARY_DIR "/cli/vorland-cli.exe")) + ' ' + arguments);
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
    Finished f = RunCli(dir_, "detect");
    ASSERT_EQ(f.status, 0u) << f.err;
    EXPECT_EQ(f.out, "Vorland v1.0.F on COM3\r\n");

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
}

}  // namespace
