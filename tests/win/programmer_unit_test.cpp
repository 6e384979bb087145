// The real Vorland.exe while its unit comes and goes: no unit at start, a unit that a dead host
// left at 921600 baud, a port that arrives, a search still running when the window is closed,
// and a simulator that ends and is replaced while the window stays open.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/unit_lines.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"
#include "tests/win/support/programmer_window_fixture.h"

namespace {

using namespace testing_support;

constexpr int kChipButtons[] = {IDC_PROGRAM_CHIP,      IDC_READ_CHIP,   IDC_ERASE_CHIP,
                                IDC_BLANK_CHECK,       IDC_VERIFY_CHIP, IDC_ERASE_SECTOR,
                                IDC_SECTOR_BLANK_CHECK};
constexpr int kFileButtons[] = {IDC_LOAD_FILE, IDC_SAVE_FILE, IDC_EDIT_BUFFER};

std::string Status(SimUnit& sim, const char* key) {
    const std::string status = sim.Command("status");
    const std::size_t at = status.find(std::string(" ") + key + "=");
    if (at == std::string::npos) return "";
    const std::size_t from = at + std::strlen(key) + 2;
    return status.substr(from, status.find(' ', from) - from);
}

// The DBT_DEVICEARRIVAL of a port, as the system broadcasts it to top-level windows.
void ArrivalOf(HWND window, const char* port) {
    DEV_BROADCAST_PORT_A arrival{};
    char buffer[sizeof arrival + 16] = {};
    auto* message = reinterpret_cast<DEV_BROADCAST_PORT_A*>(buffer);
    message->dbcp_size = sizeof arrival + std::strlen(port);
    message->dbcp_devicetype = DBT_DEVTYP_PORT;
    std::strcpy(message->dbcp_name, port);
    SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(buffer));
}

bool WaitFor(const std::function<bool()>& done, DWORD milliseconds = 20000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds) return false;
        PumpMessages(10);
    }
    return true;
}

int Frames(SimUnit& sim) {
    const std::string frames = Status(sim, "frames");
    return frames.empty() ? -1 : std::stoi(frames);
}

// Runs a Unix command through Wine, which cannot wait for it: done tells when it has acted.
bool RunUnix(const std::string& command, const std::function<bool()>& done) {
    Process shell = Process::Start(WinePath("/bin/sh") + " -c " + Quote(command));
    return WaitFor(done, 10000);
}

// A unit left at a faster rate by a host that ended is found at start, set back first, raised
// for the session and back at 115200 when the window closes.
TEST_F(ProgrammerWindowTest, AUnitLeftAt921600IsFoundAndLeftAt115200) {
    StartUnit({"model vorland", "rate 921600"}, 3);
    StartApp();
    EXPECT_EQ(app_.Log(), (Lines{"HW: Vorland v1.0.F", "Port: COM3"}));
    EXPECT_EQ(Status(Sim(), "baud"), "921600");
    ASSERT_TRUE(app_.Close());
    EXPECT_EQ(Status(Sim(), "baud"), "115200");
    EXPECT_EQ(Status(Sim(), "speed-changes"), "3") << "back at start, up, back at close";
}

// Without a unit the window works on files; a chip button looks for the unit, in vain until it
// is attached, and then programs what was loaded.
TEST_F(ProgrammerWindowTest, WithoutAUnitFilesWorkAndAChipButtonFindsTheUnitOnceAttached) {
    app_.WriteSettings(Settings(1, 0, 0xFF, 0, 0xFF));
    StartApp();
    EXPECT_EQ(app_.Log(),
              (Lines{kNotFoundLine, "Attach supported hardware; the chip buttons look for it."}));
    for (int id : kChipButtons) EXPECT_TRUE(app_.Enabled(id)) << id;
    for (int id : kFileButtons) EXPECT_TRUE(app_.Enabled(id)) << id;

    const std::vector<unsigned char> image = Pattern(0x100, 7);
    const std::string bin = app_.dir().File("image.bin");
    WriteFileBytes(bin, image);
    EXPECT_EQ(Load(bin),
              (Lines{"File Loaded: " + bin, "File Size in bytes (Integer/Hex): 256/0x100",
                     FormatChecksumLine(0, 0xFF, image.data())}));
    const std::string hex = app_.dir().File("image.hex");
    const Lines saved = Save(hex);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].rfind("Bytes Written to file: 256 (Intel HEX", 0), 0u) << saved[0];
    SparseImage written;
    ImageError error;
    ASSERT_TRUE(ParseIntelHex(ReadFileText(hex), written, error)) << error.message;
    std::vector<unsigned char> back(0x100);
    written.CopyOut(0, 0x100, 0, back.data());
    EXPECT_EQ(back, image);

    EXPECT_EQ(app_.Run(IDC_READ_CHIP, "Attach supported hardware and try again."),
              (Lines{"Reading Device into buffer...", kNotFoundLine,
                     "Attach supported hardware and try again."}));
    for (int id : kChipButtons) EXPECT_TRUE(app_.Enabled(id)) << id;
    SaveScreenshot("programmer-no-unit", app_.window());

    StartUnit({"model vorland", "chip 1"}, 4);
    EXPECT_EQ(
        app_.Run(IDC_PROGRAM_CHIP, kVerified),
        (Lines{"Programming Device from buffer...", "HW: Vorland v1.0.F", "Port: COM4", kSeparator,
               kSucceeded, FormatChecksumLine(0, 0xFF, image.data()), kVerifying, kVerified}));
    std::vector<std::uint8_t> chip = Sim().ChipContents();
    chip.resize(0x100);
    EXPECT_EQ(chip, std::vector<std::uint8_t>(image.begin(), image.end()));
    ASSERT_TRUE(app_.Close());
    EXPECT_STREQ(app_.ReadSettings().comPortName, "COM4");
}

// Wine delivers no device arrivals of its own: the message is made here as the system makes it.
TEST_F(ProgrammerWindowTest, APortThatArrivesWhileNoUnitIsKnownIsLookedAt) {
    StartApp();
    const std::size_t before = app_.Log().size();
    ArrivalOf(app_.window(), "COM7");
    ASSERT_TRUE(app_.WaitForLogLine("No supported hardware answered on COM7."));
    EXPECT_EQ(app_.LogSince(before), (Lines{"Looking for the programmer on COM7...",
                                            "No supported hardware answered on COM7."}));

    StartUnit({"model tandrel-usb"}, 7);
    ArrivalOf(app_.window(), "LPT1");  // not a COM port
    ArrivalOf(app_.window(), "COM7");
    ASSERT_TRUE(app_.WaitForLogLine("Port: COM7"));
    EXPECT_EQ(app_.LogSince(before + 2), (Lines{"Looking for the programmer on COM7...",
                                                "HW: Tandrel USB v2.5.A", "Port: COM7"}));
    // With a unit known another arrival changes nothing.
    ArrivalOf(app_.window(), "COM7");
    PumpMessages(300);
    EXPECT_EQ(app_.Log().size(), before + 5);
    for (int id : kChipButtons) {
        if (id != IDC_ERASE_SECTOR && id != IDC_SECTOR_BLANK_CHECK) {
            EXPECT_TRUE(app_.Enabled(id)) << id;
        }
    }
}

// Two ports that exist but stay silent keep the start-up search busy for half a second: the
// window is there meanwhile, answers, works on files and closes.
TEST_F(ProgrammerWindowTest, TheWindowAppearsAtOnceAndClosesWhileItLooks) {
    SimUnit second;
    StartUnitOf(second, {"fault silent"}, 2, 9);
    StartUnit({"fault silent"}, 1);
    ASSERT_TRUE(app_.Start(false));
    EXPECT_EQ(app_.Log(), Lines{kLookingLine});
    for (int id : kChipButtons) EXPECT_FALSE(app_.Enabled(id)) << id;
    for (int id : kFileButtons) EXPECT_TRUE(app_.Enabled(id)) << id;
    EXPECT_TRUE(app_.Enabled(IDCANCEL));
    SaveScreenshot("programmer-looking", app_.window());
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(app_.window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &answer), 0)
        << "the window answers while the search runs";
    const DWORD start = GetTickCount();
    ASSERT_TRUE(app_.Close());
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_TRUE(FileExists(app_.SettingsPath())) << "the settings were stored";
}

// The window works on the unit it was given. Unit A on COM3 falls silent as Program ends: the
// verify after it finds B on COM4, says so and runs nothing, and B's chip stays as it was. The
// next press works on B.
TEST_F(ProgrammerWindowTest, TheWindowWorksOnTheUnitItWasGivenNotOnAnotherThatAnswers) {
    SimUnit other;
    StartUnitOf(other, {"model tandrel-usb", "chip 1", "fill 0x5A"}, 4, 9);
    StartUnit({"model vorland", "chip 1"}, 3);
    app_.WriteSettings(Settings(1, 0, 0xFF, 0, 0xFF));
    StartApp();
    EXPECT_EQ(app_.Log(), (Lines{"HW: Vorland v1.0.F", "Port: COM3"}));
    const std::vector<unsigned char> image = Pattern(0x100, 11);
    const std::string bin = app_.dir().File("image.bin");
    WriteFileBytes(bin, image);
    Load(bin);
    ASSERT_TRUE(Sim().Ok("fault stop 0 1"));  // A answers its one write block, then nothing
    const std::string notVerified = "The chip is programmed but not verified.";
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, notVerified),
              (Lines{"Programming Device from buffer...", kSeparator, kSucceeded,
                     FormatChecksumLine(0, 0xFF, image.data()), kVerifying,
                     "HW: Tandrel USB v2.5.A", "Port: COM4",
                     "A programmer answered on COM4; the work was on COM3. Press the button again "
                     "to work on COM4.",
                     notVerified}));
    EXPECT_EQ(other.ChipContents(), std::vector<std::uint8_t>(0x80000, 0x5A));
    std::vector<std::uint8_t> chip = Sim().ChipContents();
    chip.resize(0x100);
    EXPECT_EQ(chip, std::vector<std::uint8_t>(image.begin(), image.end()));

    EXPECT_EQ(app_.Run(IDC_ERASE_CHIP, "Erase Succeeded."),
              (Lines{"Erasing Device...", "Erase Succeeded."}));
    EXPECT_EQ(other.ChipContents(), std::vector<std::uint8_t>(0x80000, 0xFF));
    ASSERT_TRUE(app_.Close());
    EXPECT_STREQ(app_.ReadSettings().comPortName, "COM4");
}

// Read after a power cycle: the unit is found again and identified, which takes long when its
// information block does not answer. A Cancel meanwhile stops the read before it begins.
TEST_F(ProgrammerWindowTest, ACancelWhileTheUnitIsIdentifiedAgainStopsTheOperation) {
    StartUnit({"model vorland", "chip 0", "fill 0x33"});
    app_.WriteSettings(Settings(0, 0, 0xFF, 0, 0xFF));
    StartApp();
    ASSERT_TRUE(Sim().Ok("reset"));  // back at 115200 baud, counters cleared
    ASSERT_TRUE(Sim().Ok("fault eeprom-silent"));
    const std::size_t before = app_.Log().size();
    app_.Press(IDC_READ_CHIP);
    // The version frame at 115200, then the first read of the information block.
    ASSERT_TRUE(WaitFor([&] { return Frames(Sim()) >= 2; }));
    app_.Press(IDC_CANCEL_OPERATION);
    ASSERT_TRUE(WaitFor([&] { return app_.Enabled(IDC_READ_CHIP); }));
    EXPECT_EQ(app_.LogSince(before), (Lines{"Reading Device into buffer...", "Operation Cancelled"}));
    EXPECT_EQ(Status(Sim(), "blocks"), "0");
    EXPECT_EQ(Save(app_.dir().File("buffer.bin")), Lines{"Bytes Written to file: 256"});
    EXPECT_EQ(ReadFileBytes(app_.dir().File("buffer.bin")), std::vector<unsigned char>(0x100, 0));
}

// COM5 leads to a file, which Wine opens as a port that refuses every setting. After a search
// that found nothing there, another program can open it.
TEST_F(ProgrammerWindowTest, AFailedSearchLeavesNoPortOpen) {
    const std::string file = std::string(VORLAND_BINARY_DIR) + "/not-a-port";
    WriteFileBytes(WinePath(file), {0});
    const std::string link = WinePrefixPath() + "/dosdevices/com5";
    ASSERT_TRUE(RunUnix("ln -sfn '" + file + "' '" + link + "'",
                        [&] { return FileExists(WinePath(link)); }));
    StartApp();
    EXPECT_EQ(app_.Log().front(), kNotFoundLine);
    HANDLE opened = CreateFileA(WinePath(file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(opened, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
    ASSERT_TRUE(RunUnix("rm -f '" + link + "' '" + file + "'",
                        [&] { return !FileExists(WinePath(file)); }));
}

// After a cancel the log says what the chip holds.
TEST_F(ProgrammerWindowTest, ACancelSaysWhatTheChipHolds) {
    StartUnit({"model vorland", "chip 1", "timing 5000 0"});  // 5 ms a block
    app_.WriteSettings(Settings(1, 0, 0xFFFF, 0, 0xFFFF));
    StartApp();
    const std::vector<unsigned char> image = Pattern(0x10000, 5);
    const std::string bin = app_.dir().File("image.bin");
    WriteFileBytes(bin, image);
    Load(bin);
    auto cancelAt = [&](const char* progress) {
        const std::size_t before = app_.Log().size();
        app_.Press(IDC_PROGRAM_CHIP);
        EXPECT_TRUE(WaitFor([&] { return app_.Text(IDC_PROGRESS).rfind(progress, 0) == 0; }));
        PumpMessages(100);  // some blocks later
        app_.Press(IDC_CANCEL_OPERATION);
        EXPECT_TRUE(WaitFor([&] { return app_.Enabled(IDC_READ_CHIP); }));
        return app_.LogSince(before);
    };
    EXPECT_EQ(cancelAt("Writing Address"),
              (Lines{"Programming Device from buffer...", "Operation Cancelled",
                     "The chip holds part of the image."}));
    EXPECT_EQ(cancelAt("Reading Address"),
              (Lines{"Programming Device from buffer...", kSeparator, kSucceeded,
                     FormatChecksumLine(0, 0xFFFF, image.data()), kVerifying,
                     "ERROR: Command Failed. Check connectivity, etc.", "Operation Cancelled",
                     "The chip is programmed but not verified."}));
}

// Close while a unit left at 921600 baud is identified: the search stops at its next exchange
// and raises nothing; the window closes then, the unit at 115200 baud.
TEST_F(ProgrammerWindowTest, CloseDuringAnIdentificationLeavesTheUnitAt115200) {
    StartUnit({"model vorland", "rate 921600", "fault eeprom-silent"});
    ASSERT_TRUE(app_.Start(false));
    // The version frame at 921600, the set back, the first read of the information block.
    ASSERT_TRUE(WaitFor([&] { return Frames(Sim()) >= 3; }));
    ASSERT_TRUE(app_.Close());
    EXPECT_EQ(Status(Sim(), "baud"), "115200");
    EXPECT_EQ(Status(Sim(), "speed-changes"), "1") << "set back once, never raised";
    EXPECT_TRUE(FileExists(app_.SettingsPath()));
}

// The simulator that serves COM1 ends (as if killed) and a new one takes the port: the next read
// finds the unit again, without a restart of the window. It runs last in this program: a
// simulator started after one has ended may be given its terminals' numbers, which Wine does
// not take well in a process that opened them before.
TEST_F(ProgrammerWindowTest, AReadAfterTheSimulatorWasReplacedFindsTheUnitAgain) {
    SimUnit first;
    StartUnitOf(first, {"model vorland", "chip 1", "fill 0x11"}, 1, 10);
    app_.WriteSettings(Settings(1, 0, 0xFF, 0, 0xFF));
    StartApp();
    const std::vector<std::uint8_t> ones(0x100, 0x11);
    EXPECT_EQ(app_.Run(IDC_READ_CHIP, "Checksum "),
              (Lines{"Reading Device into buffer...", kSeparator, kSucceeded,
                     FormatChecksumLine(0, 0xFF, ones.data())}));

    SimUnit second;
    StartUnitOf(second, {"model vorland", "chip 1", "fill 0x22"}, 1, 11);
    first.Quit();
    const std::vector<std::uint8_t> twos(0x100, 0x22);
    EXPECT_EQ(app_.Run(IDC_READ_CHIP, "Checksum "),
              (Lines{"Reading Device into buffer...", "HW: Vorland v1.0.F", "Port: COM1",
                     kSeparator, kSucceeded, FormatChecksumLine(0, 0xFF, twos.data())}));
    ASSERT_TRUE(app_.Close());
    EXPECT_EQ(Status(second, "baud"), "115200");
}

}  // namespace
