// The programmer window of the real Vorland.exe, driven like a user against the simulated unit:
// buttons pressed by id, boxes typed into, file dialogs answered, the log pane read back, and
// the chip in the simulator's socket checked.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/address_rules.h"
#include "app/operations_win.h"
#include "app/settings.h"
#include "app/unit_lines.h"
#include "formats/checksums.h"
#include "device/kvtandrel.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"
#include "resources/resource.h"
#include "tests/win/support/programmer_window_fixture.h"

namespace {

using namespace testing_support;

constexpr int kOperationButtons[] = {IDC_PROGRAM_CHIP, IDC_READ_CHIP,      IDC_ERASE_CHIP,
                                     IDC_BLANK_CHECK,  IDC_LOAD_FILE,      IDC_SAVE_FILE,
                                     IDC_VERIFY_CHIP,  IDC_ERASE_SECTOR,   IDC_SECTOR_BLANK_CHECK,
                                     IDC_EDIT_BUFFER};

// An Intel HEX file whose data counts 00 to FF at 0x100 to 0x1FF.
std::string WriteCountingHex(const VorlandApp& app) {
    std::vector<std::uint8_t> counting(256);
    for (int i = 0; i < 256; ++i) counting[i] = static_cast<std::uint8_t>(i);
    std::string path = app.dir().File("counting.hex");
    const std::string text = WriteIntelHex(counting.data(), 256, 0x100);
    WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
    return path;
}

TEST_F(ProgrammerWindowTest, TheUnitIsNamedAndItsLinkRaisedThenLoweredAtClose) {
    StartUnit({"model tandrel-usb"}, 3);
    StartApp();
    EXPECT_EQ(app_.Log(), (Lines{"HW: Tandrel USB v2.5.A", "Port: COM3"}));
    for (int id : kOperationButtons) {
        if (id != IDC_ERASE_SECTOR && id != IDC_SECTOR_BLANK_CHECK) {
            EXPECT_TRUE(app_.Enabled(id)) << id;
        }
    }
    EXPECT_NE(Sim().Command("status").find(" speed=0 "), std::string::npos);
    EXPECT_TRUE(app_.Close());
    std::string status = Sim().Command("status");
    EXPECT_NE(status.find(" speed=7 baud=115200 "), std::string::npos) << status;
}

TEST_F(ProgrammerWindowTest, ASerialTandrelStaysAt115200) {
    StartUnit({"model tandrel-serial"});
    StartApp();
    EXPECT_EQ(app_.Log(), (Lines{"HW: Tandrel Serial v2.5.A", "Port: COM1"}));
    EXPECT_NE(Sim().Command("status").find(" speed=7 "), std::string::npos);
}

TEST_F(ProgrammerWindowTest, AUnitAboveCom9IsFoundAndItsPortRemembered) {
    StartUnit({"model vorland"}, 12);
    StartApp();
    EXPECT_EQ(app_.Log(), (Lines{"HW: Vorland v1.0.F", "Port: COM12"}));
    // The raised link reopened the port by the same name.
    EXPECT_NE(Sim().Command("status").find(" speed=0 "), std::string::npos);
    ASSERT_TRUE(app_.Close());
    EXPECT_STREQ(app_.ReadSettings().comPortName, "COM12");
}

TEST_F(ProgrammerWindowTest, ProgramThenVerifyBothWaysThenReadBack) {
    StartUnit({"model vorland", "chip 0"});
    app_.WriteSettings(Settings(0, 0, 0x7FFF, 0, 0x7FFF));
    StartApp();
    SaveScreenshot("programmer-window", app_.window());
    std::vector<unsigned char> image = Pattern(0x8000, 13);
    std::string imagePath = app_.dir().File("image.bin");
    WriteFileBytes(imagePath, image);

    EXPECT_EQ(Load(imagePath),
              (Lines{"File Loaded: " + imagePath, "File Size in bytes (Integer/Hex): 32768/0x8000",
                     FormatChecksumLine(0, 0x7FFF, image.data())}));
    // Programming is verified, byte by byte.
    const std::string checksum = FormatChecksumLine(0, 0x7FFF, image.data());
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified),
              (Lines{"Programming Device from buffer...", kSeparator, kSucceeded, checksum,
                     kVerifying, kVerified}));
    SaveScreenshot("programmer-after-program", app_.window());
    std::vector<std::uint8_t> chip = Sim().ChipContents();
    ASSERT_EQ(chip.size(), image.size());
    EXPECT_TRUE(std::equal(chip.begin(), chip.end(), image.begin()));

    EXPECT_EQ(app_.Run(IDC_VERIFY_CHIP, kVerified), (Lines{kVerifying, kVerified}));
    Check(IDC_QUICK_VERIFY, true);
    EXPECT_EQ(app_.Run(IDC_VERIFY_CHIP, kVerified), (Lines{kVerifying, kVerified}));

    // A verify that does not match says where, or which of the unit's checksums differ. A chip
    // that differs in 3 ranges: 1 byte, 16 and 2.
    std::vector<std::uint8_t> expected = image;
    for (auto [first, count] : {std::pair{0x100, 1}, {0x2000, 16}, {0x7FFE, 2}}) {
        for (int at = first; at < first + count; ++at) {
            expected[at] = static_cast<std::uint8_t>(~image[at]);
        }
    }
    ASSERT_TRUE(Sim().SetChipContents(expected));
    const std::string sums = Printf(
        "The unit's checksum of 000000-007FFF differs: %.4X for the buffer, %.4X for the chip.",
        WeightedChecksum16(image.data(), 0x8000), WeightedChecksum16(expected.data(), 0x8000));
    EXPECT_EQ(app_.Run(IDC_VERIFY_CHIP, sums), (Lines{kVerifying, kNotMatched, sums}));
    Check(IDC_QUICK_VERIFY, false);
    const std::string differs = Printf(
        "The chip differs first at chip address 000100 (buffer 000100): the buffer has %.2X, the "
        "chip %.2X.",
        image[0x100], expected[0x100]);
    EXPECT_EQ(app_.Run(IDC_VERIFY_CHIP, differs),
              (Lines{kVerifying, kNotMatched,
                     "Differences: 19 bytes in 3 ranges, first 000100-000100", differs}));

    // Reading brings the changed byte into the buffer, and its checksums into the log; saving
    // shows what the buffer holds.
    EXPECT_EQ(app_.Run(IDC_READ_CHIP, "Checksum "),
              (Lines{"Reading Device into buffer...", kSeparator, kSucceeded,
                     FormatChecksumLine(0, 0x7FFF, expected.data())}));
    std::string readPath = app_.dir().File("read.bin");
    EXPECT_EQ(Save(readPath), (Lines{"Bytes Written to file: 32768"}));
    EXPECT_EQ(ReadFileBytes(readPath), expected);
}

// A long session has filled the pane far past the edit control's own limit of 30,000
// characters, nearly to what the pane keeps; more operations end, then a verify fails. Its
// line must be the last, whole and in view, not an older success.
TEST_F(ProgrammerWindowTest, AfterALongSessionAFailedVerifyIsTheLastLineInView) {
    StartUnit({"model vorland", "chip 0", "poke 0x10 0x5A"});
    app_.WriteSettings(Settings(0, 0, 0xFF, 0, 0xFF));
    StartApp();
    std::string session;
    while (session.size() < 250 * 1024) session += "SUCCESS: Verification Succeeded.\r\n";
    session += "SUCCESS: Verification Succeeded.";
    app_.SetBox(IDC_LOG, session);
    // The window's own completion messages stand for the later operations.
    for (int i = 0; i < 200; ++i) SendMessageA(app_.window(), MSG_VERIFY_DONE, 0, 1);

    const std::string differs =
        "The chip differs first at chip address 000000 (buffer 000000): the buffer has 00, the "
        "chip FF.";
    app_.Press(IDC_VERIFY_CHIP);
    DWORD start = GetTickCount();
    while (app_.Log().back() != differs && GetTickCount() - start < 20000) PumpMessages(20);
    Lines log = app_.Log();
    ASSERT_EQ(log.back(), differs);
    EXPECT_EQ(log[log.size() - 2], "Differences: 256 bytes in 1 range, first 000000-0000FF");
    EXPECT_EQ(log[log.size() - 3], kNotMatched);
    EXPECT_EQ(log.front(), "SUCCESS: Verification Succeeded.");
    EXPECT_LE(app_.Text(IDC_LOG).size(), 256u * 1024);
    EXPECT_TRUE(LastLineInView(app_.Item(IDC_LOG)));
}

TEST_F(ProgrammerWindowTest, EraseAndBlankChecksOfChipAndSector) {
    StartUnit({"model vorland", "chip 1", "poke 0x30000 0x12", "poke 0x50000 0x34"});
    app_.WriteSettings(Settings(1, 0, 0x7FFFF, 0, 0x7FFFF));
    StartApp();
    EXPECT_TRUE(app_.Visible(IDC_ERASE_SECTOR));

    EXPECT_EQ(app_.Run(IDC_BLANK_CHECK, "Not blank: "),
              (Lines{"Checking for blank device...", "Chip NOT blank.",
                     "Not blank: 2 bytes in 2 ranges, first 030000-030000"}));

    // Sector 3 with the up-down control.
    SendMessageA(app_.Item(IDC_SECTOR_UPDOWN), UDM_SETPOS, 0, MAKELPARAM(3, 0));
    SendMessageA(app_.window(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 3),
                 reinterpret_cast<LPARAM>(app_.Item(IDC_SECTOR_UPDOWN)));
    EXPECT_EQ(app_.Text(IDC_SECTOR_LABEL), "0x30000 - 0x3FFFF");
    EXPECT_EQ(app_.Run(IDC_SECTOR_BLANK_CHECK, "Not blank: "),
              (Lines{"Checking for blank sector...", "Sector NOT blank.",
                     "Not blank: 1 byte in 1 range, first 030000-030000"}));
    EXPECT_EQ(app_.Run(IDC_ERASE_SECTOR, "Sector Erase Succeeded."),
              (Lines{"Erasing Sector...", "Sector Erase Succeeded."}));
    EXPECT_EQ(app_.Run(IDC_SECTOR_BLANK_CHECK, "Sector is blank."),
              (Lines{"Checking for blank sector...", "Sector is blank."}));
    std::vector<std::uint8_t> chip = Sim().ChipContents();
    ASSERT_EQ(chip.size(), 0x80000u);
    EXPECT_EQ(chip[0x30000], 0xFF);
    EXPECT_EQ(chip[0x50000], 0x34);  // another sector keeps its byte

    EXPECT_EQ(app_.Run(IDC_ERASE_CHIP, "Erase Succeeded."),
              (Lines{"Erasing Device...", "Erase Succeeded."}));
    chip = Sim().ChipContents();
    EXPECT_TRUE(std::all_of(chip.begin(), chip.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(app_.Run(IDC_BLANK_CHECK, "Chip is blank."),
              (Lines{"Checking for blank device...", "Chip is blank."}));
    EXPECT_TRUE(app_.Enabled(IDCANCEL));
}

// A failure says what went wrong, where, and what may help; a failed read leaves the loaded
// image in the buffer.
TEST_F(ProgrammerWindowTest, FailuresSayWhyAndAFailedReadLeavesTheBuffer) {
    StartUnit({"model vorland", "chip 1", "fault erase-fail 0 ?"});
    app_.WriteSettings(Settings(1, 0, 0xFFFF, 0, 0xFFFF));
    StartApp();
    const std::vector<unsigned char> image = Pattern(0x10000, 3);
    const std::string imagePath = app_.dir().File("image.bin");
    WriteFileBytes(imagePath, image);
    Load(imagePath);
    EXPECT_EQ(app_.Run(IDC_ERASE_SECTOR, "The unit refused"),
              (Lines{"Erasing Sector...", "ERROR: Sector Erase FAILED.",
                     "The unit refused to erase sector 0 (it answered '?'). Check the cable and "
                     "the unit's power."}));
    const Lines readFailed = {"Reading Device into buffer...", kSeparator,
                              "ERROR: PROM I/O returned failure."};
    auto failedRead = [&](const std::string& reason) {
        Lines lines = readFailed;
        lines.push_back(reason);
        lines.push_back(kBufferUnchanged);
        return lines;
    };
    const std::string cable = " Check the cable and the unit's power.";
    ASSERT_TRUE(Sim().Ok("fault bad-checksum 2"));
    EXPECT_EQ(
        app_.Run(IDC_READ_CHIP, kBufferUnchanged),
        failedRead("A block arrived damaged at 000200 (checksum 00, the unit sent 01)." + cable));
    // A unit that stops answering: while the read waits for it, the bar shows the block it
    // waits for, not one from before the pace last let a change through.
    ASSERT_TRUE(Sim().Ok("fault clear"));
    ASSERT_TRUE(Sim().Ok("timing 1000 0"));
    ASSERT_TRUE(Sim().Ok("fault stop 100"));
    std::size_t before = app_.Log().size();
    app_.Press(IDC_READ_CHIP);
    DWORD start = GetTickCount();
    while (app_.Text(IDC_PROGRESS) != "Reading Address 006400" && GetTickCount() - start < 4000) {
        PumpMessages(10);
    }
    EXPECT_EQ(app_.Text(IDC_PROGRESS), "Reading Address 006400");
    HWND bar = app_.Item(IDC_PROGRESS);
    const LRESULT shown = SendMessageA(bar, PBM_SETPOS, 0, 0);  // answers the old position
    SendMessageA(bar, PBM_SETPOS, shown, 0);
    EXPECT_EQ(shown, 100);
    ASSERT_TRUE(app_.WaitForLogLines(before + 6));
    Lines stopped = failedRead("The unit stopped answering at 006400." + cable);
    stopped.push_back(kLinkClosedLine);
    EXPECT_EQ(app_.LogSince(before), stopped);
    // The next read finds the unit again, still at 921600 baud, where the closed link left it.
    // Another chip in the socket answers the first block with a refusal.
    ASSERT_TRUE(Sim().Ok("fault clear"));
    ASSERT_TRUE(Sim().Ok("timing 0 0"));
    ASSERT_TRUE(Sim().Ok("chip 5"));
    Lines refused =
        failedRead("The unit stopped answering at 000000. Is an AM29F040 in the socket?");
    refused.insert(refused.begin() + 1, {"HW: Vorland v1.0.F", "Port: COM1"});
    EXPECT_EQ(app_.Run(IDC_READ_CHIP, kBufferUnchanged), refused);
    ASSERT_TRUE(Sim().Ok("chip 1"));
    ASSERT_TRUE(Sim().Ok("fault stop 0"));
    EXPECT_EQ(
        app_.Run(IDC_BLANK_CHECK, kLinkClosedLine),
        (Lines{"Checking for blank device...", "ERROR: Command Failed. Check connectivity, etc.",
               "The unit stopped answering at 000000." + cable, kLinkClosedLine}));
    for (int id : kOperationButtons) {
        if (id != IDC_ERASE_SECTOR && id != IDC_SECTOR_BLANK_CHECK) {
            EXPECT_TRUE(app_.Enabled(id)) << id;
        }
    }
    const std::string saved = app_.dir().File("saved.bin");
    EXPECT_EQ(Save(saved), (Lines{"Bytes Written to file: 65536"}));
    EXPECT_EQ(ReadFileBytes(saved), image);
}

TEST_F(ProgrammerWindowTest, ACancelledReadStopsAndNothingElseStartsMeanwhile) {
    // 5 ms per block: the whole chip would take over ten seconds.
    StartUnit({"model vorland", "chip 1", "timing 5000 0"});
    app_.WriteSettings(Settings(1, 0, 0x7FFFF, 0, 0x7FFFF));
    StartApp();
    std::size_t before = app_.Log().size();
    app_.Press(IDC_READ_CHIP);
    ASSERT_TRUE(app_.WaitForLogLines(before + 1));
    DWORD start = GetTickCount();
    while (app_.Text(IDC_PROGRESS).rfind("Reading Address", 0) != 0 &&
           GetTickCount() - start < 10000) {
        PumpMessages(10);
    }
    PumpMessages(300);
    SaveScreenshot("programmer-during-read", app_.window());
    // The bar follows the read: its range counts the chip's blocks and its position has moved.
    // (PBM_SETPOS answers the position it replaces.)
    HWND bar = app_.Item(IDC_PROGRESS);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 2048);
    const LRESULT shown = SendMessageA(bar, PBM_SETPOS, 0, 0);
    SendMessageA(bar, PBM_SETPOS, shown, 0);
    EXPECT_GT(shown, 0);

    for (int id : kOperationButtons) EXPECT_FALSE(app_.Enabled(id)) << id;
    EXPECT_FALSE(app_.Enabled(IDCANCEL));
    // The chip list stays usable, but choosing a programmable chip starts nothing.
    app_.SelectChip(0);
    EXPECT_FALSE(app_.Enabled(IDC_PROGRAM_CHIP));
    app_.SendCommand(IDC_PROGRAM_CHIP);
    app_.SendCommand(IDC_ERASE_CHIP);
    // Escape reaches the window even with "Close" greyed: it must not close under the worker.
    SendMessageA(app_.window(), WM_COMMAND, IDCANCEL, 0);
    PumpMessages(100);
    EXPECT_TRUE(IsWindow(app_.window()));
    EXPECT_EQ(app_.LogSince(before), (Lines{"Reading Device into buffer..."}));

    app_.Press(IDC_CANCEL_OPERATION);
    ASSERT_TRUE(app_.WaitForLogLine("Operation Cancelled"));
    ASSERT_TRUE(app_.WaitForLogLine(kBufferUnchanged));
    EXPECT_EQ(app_.LogSince(before),
              (Lines{"Reading Device into buffer...", "Operation Cancelled", kBufferUnchanged}));
    EXPECT_EQ(app_.Text(IDC_PROGRESS), "");
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 0, 0), 0);
    EXPECT_TRUE(app_.Enabled(IDC_READ_CHIP));
    EXPECT_TRUE(app_.Enabled(IDC_PROGRAM_CHIP));  // chip 0 is programmable
    EXPECT_TRUE(app_.Enabled(IDCANCEL));
    EXPECT_LT(std::stoi(Sim().Command("status").substr(Sim().Command("status").find("blocks=") + 7)),
              2048);
    // The erased blocks that did arrive did not reach the buffer.
    std::string saved = app_.dir().File("saved.bin");
    EXPECT_EQ(Save(saved), (Lines{"Bytes Written to file: 32768"}));
    EXPECT_EQ(ReadFileBytes(saved), std::vector<unsigned char>(0x8000, 0));
}

TEST_F(ProgrammerWindowTest, ACancelPressedDuringAnEraseStopsNoMoreThanIt) {
    // 600 ms a sector: time to press "Cancel Operation" while the unit erases.
    StartUnit({"model vorland", "chip 1", "timing 0 600"});
    app_.WriteSettings(Settings(1, 0, 0xFFFF, 0, 0xFFFF));
    StartApp();
    struct Case {
        int erase;
        Lines eraseLines;
        int next;
        Lines nextLines;
    };
    const std::vector<std::uint8_t> erased(0x10000, 0xFF);
    const Case cases[] = {
        {IDC_ERASE_SECTOR,
         {"Erasing Sector...", "Sector Erase Succeeded."},
         IDC_READ_CHIP,
         {"Reading Device into buffer...", kSeparator, kSucceeded,
          FormatChecksumLine(0, 0xFFFF, erased.data())}},
        {IDC_ERASE_CHIP,
         {"Erasing Device...", "ERROR: Erase Command returned failure.", "Operation Cancelled"},
         IDC_BLANK_CHECK,
         {"Checking for blank device...", "Chip is blank."}},
    };
    for (const Case& c : cases) {
        std::size_t before = app_.Log().size();
        app_.Press(c.erase);
        ASSERT_TRUE(app_.WaitForLogLines(before + 1));
        PumpMessages(200);
        app_.Press(IDC_CANCEL_OPERATION);
        ASSERT_TRUE(app_.WaitForLogLines(before + c.eraseLines.size()));
        // A sector's erase runs to its end; the chip's stops before its next sector.
        EXPECT_EQ(app_.LogSince(before), c.eraseLines);
        EXPECT_EQ(app_.Run(c.next, c.nextLines.back()), c.nextLines);
    }
}

TEST_F(ProgrammerWindowTest, CancelWhileIdleChangesNothing) {
    StartUnit({"model vorland"});
    StartApp();
    std::size_t before = app_.Log().size();
    app_.Press(IDC_CANCEL_OPERATION);
    ASSERT_TRUE(Sim().Ok("chip 0"));
    app_.SelectChip(0);
    EXPECT_EQ(app_.Run(IDC_READ_CHIP, "Checksum ").size(), 4u);
    EXPECT_EQ(app_.LogSince(before).size(), 4u);
}

TEST_F(ProgrammerWindowTest, ValidationMessagesComeInOrderAndNothingStarts) {
    StartUnit({"model vorland", "chip 0"});
    struct Case {
        SettingsRecord settings;
        Lines lines;
    };
    const Case cases[] = {
        {Settings(0, 0x20, 0x7FFF, 0, 0x7FDF),
         {"Reading Device into buffer...", "ERROR: Chip start address must be divisible by 64",
          "ERROR: Chip memory range must be divisible by 64"}},
        {Settings(0, 0x100, 0xFF, 0, 0xFF),
         {"Reading Device into buffer...",
          "ERROR: Chip start and end addresses are invalid (reversed?)"}},
        {Settings(0, 0, 0x8000, 0, 0x8000),
         {"Reading Device into buffer...", "ERROR: Chip memory range must be divisible by 64",
          "ERROR: Memory range and/or address outside selected EPROM size"}},
        // A fine chip range whose buffer window would run past the 512 KiB image buffer.
        {Settings(0, 0, 0x3F, 0x7FFF0, 0x8002F),
         {"Reading Device into buffer...", "ERROR: Buffer range outside the 512 KiB image buffer"}},
    };
    for (const Case& c : cases) {
        VorlandApp app;
        app.WriteSettings(c.settings);
        ASSERT_TRUE(app.Start());
        std::size_t before = app.Log().size();
        app.Press(IDC_READ_CHIP);
        ASSERT_TRUE(app.WaitForLogLines(before + c.lines.size()));
        PumpMessages(200);
        EXPECT_EQ(app.LogSince(before), c.lines);
        EXPECT_TRUE(app.Enabled(IDC_READ_CHIP));
        EXPECT_TRUE(app.Close());
    }
    EXPECT_NE(Sim().Command("status").find(" blocks=0 "), std::string::npos);
}

TEST_F(ProgrammerWindowTest, AVerifyOutsideTheImageBufferIsRefused) {
    StartUnit({"model vorland", "chip 1"});
    app_.WriteSettings(Settings(1, 0, 0x7FFFF, 1, 0x80000));
    StartApp();
    EXPECT_EQ(app_.Run(IDC_VERIFY_CHIP, "ERROR: Buffer range outside the 512 KiB image buffer"),
              (Lines{"Verifying device against buffer...",
                     "ERROR: Buffer range outside the 512 KiB image buffer"}));
    EXPECT_TRUE(app_.Enabled(IDC_VERIFY_CHIP));
}

TEST_F(ProgrammerWindowTest, TheRangesKeepOneLengthWhileTyping) {
    StartUnit({"model vorland"});
    app_.WriteSettings(Settings(0, 0x1000, 0x1FFF, 0x4000, 0x4FFF));
    StartApp();
    app_.SetBox(IDC_BUFFER_START, "004800");
    EXPECT_EQ(app_.Text(IDC_CHIP_END), "0017FF");
    app_.SetBox(IDC_CHIP_START, "000000");
    EXPECT_EQ(app_.Text(IDC_BUFFER_END), "005FFF");  // 0x4800 + 0x17FF
    // A reversed span leaves the other box alone.
    app_.SetBox(IDC_BUFFER_END, "000010");
    EXPECT_EQ(app_.Text(IDC_CHIP_END), "0017FF");
}

TEST_F(ProgrammerWindowTest, ChoosingAChipSetsItsRangeAndItsControls) {
    StartUnit({"model vorland"});
    app_.WriteSettings(Settings(0, 0, 0x7FFF, 0x100, 0x80FF));
    StartApp();
    EXPECT_FALSE(app_.Visible(IDC_ERASE_SECTOR));
    app_.SelectChip(1);
    EXPECT_EQ(app_.Text(IDC_CHIP_START), "000000");
    EXPECT_EQ(app_.Text(IDC_CHIP_END), "07FFFF");
    EXPECT_EQ(app_.Text(IDC_BUFFER_START), "000100");
    EXPECT_EQ(app_.Text(IDC_BUFFER_END), "0800FF");
    for (int id : {IDC_SECTOR_LABEL, IDC_SECTOR_BLANK_CHECK, IDC_SECTOR_UPDOWN, IDC_ERASE_SECTOR}) {
        EXPECT_TRUE(app_.Visible(id)) << id;
    }
    app_.SelectChip(3);
    EXPECT_EQ(app_.Text(IDC_CHIP_END), "000FFF");
    EXPECT_FALSE(app_.Visible(IDC_ERASE_SECTOR));
    EXPECT_FALSE(app_.Enabled(IDC_PROGRAM_CHIP));
    EXPECT_FALSE(app_.Enabled(IDC_ERASE_CHIP));
    EXPECT_TRUE(app_.Enabled(IDC_BLANK_CHECK));
}

TEST_F(ProgrammerWindowTest, LoadingFilesOfEverySize) {
    StartUnit({"model vorland"});
    app_.WriteSettings(Settings(0, 0x40, 0x7FFF, 0, 0x7FBF));
    StartApp();
    std::string full = app_.dir().File("full.bin");
    WriteFileBytes(full, std::vector<unsigned char>(0x8000, 0xAA));
    Load(full);

    std::string small = app_.dir().File("small.bin");
    std::vector<unsigned char> hundred = Pattern(100, 7);
    WriteFileBytes(small, hundred);
    EXPECT_EQ(Load(small),
              (Lines{"File Loaded: " + small, "File Size in bytes (Integer/Hex): 100/0x64",
                     FormatChecksumLine(0, 99, hundred.data())}));
    EXPECT_EQ(app_.Text(IDC_BUFFER_START), "000000");
    EXPECT_EQ(app_.Text(IDC_BUFFER_END), "000063");
    EXPECT_EQ(app_.Text(IDC_CHIP_END), "0000A3");  // chip start 0x40 + 0x63

    std::string big = app_.dir().File("big.bin");
    WriteFileBytes(big, std::vector<unsigned char>(0x8001, 0x55));
    EXPECT_EQ(Load(big), (Lines{"ERROR: File larger than selected chip. Load Failed."}));
    // The dialog takes only a file that exists: no offer to create one that then cannot load.
    std::size_t before = app_.Log().size();
    app_.Press(IDC_LOAD_FILE);
    std::vector<std::string> prompts;
    EXPECT_TRUE(
        app_.AnswerFileDialog(app_.dir().File("missing.bin"), "Select File...", 0, &prompts));
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].find("create"), std::string::npos) << prompts[0];
    PumpMessages(100);
    EXPECT_EQ(app_.Log().size(), before);
    EXPECT_FALSE(FileExists(app_.dir().File("missing.bin")));

    // The buffer holds the small file and zeros up to the chip's size.
    app_.SetBox(IDC_BUFFER_END, "007FFF");
    std::string saved = app_.dir().File("saved.bin");
    EXPECT_EQ(Save(saved), (Lines{"Bytes Written to file: 32768"}));
    std::vector<unsigned char> expected(0x8000, 0);
    std::copy(hundred.begin(), hundred.end(), expected.begin());
    EXPECT_EQ(ReadFileBytes(saved), expected);

    // An empty file leaves a buffer end of -1, whose negative span the chip end does not follow.
    std::string chipEnd = app_.Text(IDC_CHIP_END);
    std::string empty = app_.dir().File("empty.bin");
    WriteFileBytes(empty, {});
    EXPECT_EQ(Load(empty), (Lines{"File Loaded: " + empty,
                                  "File Size in bytes (Integer/Hex): 0/0x0"}));
    EXPECT_EQ(app_.Text(IDC_BUFFER_END), "FFFFFFFF");
    EXPECT_EQ(app_.Text(IDC_CHIP_END), chipEnd);

    // Cancelling the dialog does nothing at all.
    before = app_.Log().size();
    app_.Press(IDC_LOAD_FILE);
    EXPECT_TRUE(app_.AnswerFileDialog(""));
    PumpMessages(100);
    EXPECT_EQ(app_.Log().size(), before);
}

// HEX and S-record files carry addresses: a load puts each byte where its record says, in a
// buffer that is otherwise erased (FF), and sets both ranges to the data.
TEST_F(ProgrammerWindowTest, AHexFileGoesWhereItsRecordsSayAndIsProgrammedThere) {
    StartUnit({"model vorland", "chip 0"});
    const std::vector<std::uint8_t> before = Pattern(0x8000, 5);
    ASSERT_TRUE(Sim().SetChipContents(before));
    app_.WriteSettings(Settings(0, 0, 0x7FFF, 0, 0x7FFF));
    StartApp();
    // A binary image first, so that the erased buffer shows.
    std::string binary = app_.dir().File("first.bin");
    WriteFileBytes(binary, std::vector<unsigned char>(0x8000, 0x5A));
    Load(binary);

    std::string hex = WriteCountingHex(app_);
    EXPECT_EQ(Load(hex), (Lines{"File Loaded: " + hex,
                                "Intel HEX: 256 bytes (0x100) at 000100-0001FF",
                                "Checksum 000100-0001FF: sum 7F80, CRC-32 29058C73"}));
    SaveScreenshot("programmer-hex-load", app_.window());
    EXPECT_EQ(Boxes(), (Lines{"000100", "0001FF", "000100", "0001FF"}));
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified),
              (Lines{"Programming Device from buffer...", kSeparator, kSucceeded,
                     "Checksum 000100-0001FF: sum 7F80, CRC-32 29058C73", kVerifying, kVerified}));
    std::vector<std::uint8_t> expected = before;
    for (int i = 0; i < 256; ++i) expected[0x100 + i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(Sim().ChipContents(), expected);

    app_.SetBox(IDC_BUFFER_START, "000000");
    app_.SetBox(IDC_BUFFER_END, "0003FF");
    std::string dump = app_.dir().File("buffer.bin");
    EXPECT_EQ(Save(dump), (Lines{"Bytes Written to file: 1024"}));
    std::vector<unsigned char> buffer(0x400, 0xFF);
    for (int i = 0; i < 256; ++i) buffer[0x100 + i] = static_cast<unsigned char>(i);
    EXPECT_EQ(ReadFileBytes(dump), buffer);

    // Data past the chip keeps its addresses in both ranges, so Program refuses it rather than
    // writing it to the chip addresses of the previous load.
    const std::vector<std::uint8_t> high = Pattern(0x40, 9);
    std::string highHex = app_.dir().File("high.hex");
    WriteText(highHex, WriteIntelHex(high.data(), 0x40, 0x9000));
    EXPECT_EQ(Load(highHex),
              (Lines{"File Loaded: " + highHex,
                     "Intel HEX: 64 bytes (0x40) at 009000-00903F",
                     "WARNING: Data up to 00903F does not fit the selected chip (000000-007FFF): "
                     "it cannot be programmed there.",
                     FormatChecksumLine(0x9000, 0x903F, high.data())}));
    EXPECT_EQ(Boxes(), (Lines{"009000", "00903F", "009000", "00903F"}));
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kMsgOutsideChip),
              (Lines{"Programming Device from buffer...", kMsgOutsideChip}));
    EXPECT_EQ(Sim().ChipContents(), expected);
}

TEST_F(ProgrammerWindowTest, SavingAsSRecordWritesTheBufferRangeAtItsAddresses) {
    StartUnit({"model vorland", "chip 0"});
    app_.WriteSettings(Settings(0, 0, 0x7FFF, 0, 0x7FFF));
    StartApp();
    Load(WriteCountingHex(app_));
    app_.SetBox(IDC_BUFFER_END, "00013F");
    std::string part = app_.dir().File("part.s19");
    EXPECT_EQ(Save(part),
              (Lines{"Bytes Written to file: 64 (S-record, records at 000100-00013F)"}));
    EXPECT_EQ(ReadFileText(part),
              "S00B0000706172742E73313932\r\n"
              "S1230100000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FEB\r\n"
              "S1230120202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3FCB\r\n"
              "S5030002FA\r\n"
              "S9030000FC\r\n");
}

TEST_F(ProgrammerWindowTest, AFileThatCannotBeLoadedLeavesBufferAndRangesAsTheyWere) {
    StartUnit({"model vorland", "chip 0"});
    app_.WriteSettings(Settings(0, 0, 0x7FFF, 0, 0x7FFF));
    StartApp();
    Load(WriteCountingHex(app_));
    struct Case {
        const char* name;
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {"bad.hex", ":0401000001020304F2\r\n:00000001FF\r\n",
         "ERROR: Line 1 of bad.hex: bad checksum: the record says 0xF2, its bytes need 0xF1. "
         "Load Failed."},
        {"twice.hex", ":0101000011ED\r\n:0101000022DC\r\n:00000001FF\r\n",
         "ERROR: Line 2 of twice.hex: the byte at 0x00000100 differs from line 1 (0x11 there, "
         "0x22 here). Load Failed."},
        {"beyond.hex", ":020000040008F2\r\n:0100000055AA\r\n:00000001FF\r\n",
         "ERROR: Line 2 of beyond.hex: data at 080000 lies beyond the 512 KiB buffer. Load "
         "Failed."},
        {"empty.hex", ":00000001FF\r\n",
         "ERROR: empty.hex holds no data records. Nothing was loaded."},
        {"bad.s19", "S1050100AABB95\r\nS9030000FC\r\n",
         "ERROR: Line 1 of bad.s19: bad checksum: the record says 0x95, its bytes need 0x94. "
         "Load Failed."},
    };
    for (const Case& c : cases) {
        std::string path = app_.dir().File(c.name);
        WriteText(path, c.text);
        EXPECT_EQ(Load(path), (Lines{c.line}));
        EXPECT_EQ(Boxes(), (Lines{"000100", "0001FF", "000100", "0001FF"})) << c.name;
    }
    std::string dump = app_.dir().File("buffer.bin");
    EXPECT_EQ(Save(dump), (Lines{"Bytes Written to file: 256"}));
    std::vector<unsigned char> counting(256);
    for (int i = 0; i < 256; ++i) counting[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(ReadFileBytes(dump), counting);
}

TEST_F(ProgrammerWindowTest, SavingARangeAndRefusingABadOne) {
    StartUnit({"model vorland"});
    app_.WriteSettings(Settings(0, 0, 0x7FFF, 0, 0x7FFF));
    StartApp();
    std::string image = app_.dir().File("image.bin");
    std::vector<unsigned char> bytes = Pattern(0x8000, 3);
    WriteFileBytes(image, bytes);
    Load(image);

    app_.SetBox(IDC_BUFFER_START, "000100");
    app_.SetBox(IDC_BUFFER_END, "0001FF");
    std::string part = app_.dir().File("part.bin");
    EXPECT_EQ(Save(part), (Lines{"Bytes Written to file: 256"}));
    EXPECT_EQ(ReadFileBytes(part),
              std::vector<unsigned char>(bytes.begin() + 0x100, bytes.begin() + 0x200));

    // A reversed range, or one past the image buffer, touches no file.
    std::string existing = app_.dir().File("keep.bin");
    WriteFileBytes(existing, {1, 2, 3});
    app_.SetBox(IDC_BUFFER_START, "000200");
    app_.SetBox(IDC_BUFFER_END, "000100");
    EXPECT_EQ(Save(app_.dir().File("reversed.bin")),
              (Lines{"ERROR: Buffer start and end addresses are invalid (reversed?)"}));
    EXPECT_FALSE(FileExists(app_.dir().File("reversed.bin")));
    app_.SetBox(IDC_BUFFER_START, "07FF00");
    app_.SetBox(IDC_BUFFER_END, "080000");
    std::size_t before = app_.Log().size();
    app_.Press(IDC_SAVE_FILE);
    ASSERT_TRUE(app_.AnswerFileDialog(existing));  // it asks before replacing: yes
    ASSERT_TRUE(app_.WaitForLogLines(before + 1));
    EXPECT_EQ(app_.LogSince(before), (Lines{"ERROR: Buffer range outside the 512 KiB image buffer"}));
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<unsigned char>{1, 2, 3}));

    // A read-only file is not replaced.
    SetFileAttributesA(existing.c_str(), FILE_ATTRIBUTE_READONLY);
    app_.SetBox(IDC_BUFFER_START, "000100");
    app_.SetBox(IDC_BUFFER_END, "0001FF");
    before = app_.Log().size();
    app_.Press(IDC_SAVE_FILE);
    ASSERT_TRUE(app_.AnswerFileDialog(existing));
    ASSERT_TRUE(app_.WaitForLogLines(before + 1));
    EXPECT_EQ(app_.LogSince(before), (Lines{"ERROR: File could not be created"}));
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<unsigned char>{1, 2, 3}));
    SetFileAttributesA(existing.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ProgrammerWindowTest, SettingsSurviveACloseAndARestart) {
    StartUnit({"model vorland"});
    StartApp();
    app_.SelectChip(1);
    app_.SetBox(IDC_BUFFER_START, "000400");
    app_.SetBox(IDC_CHIP_START, "010000");
    app_.SetBox(IDC_CHIP_END, "01FFFF");
    SendMessageA(app_.Item(IDC_SECTOR_UPDOWN), UDM_SETPOS, 0, MAKELPARAM(5, 0));
    SendMessageA(app_.window(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 5),
                 reinterpret_cast<LPARAM>(app_.Item(IDC_SECTOR_UPDOWN)));
    Check(IDC_QUICK_VERIFY, true);
    Check(IDC_VERIFY_AFTER_PROGRAM, false);
    Check(IDC_PROGRAM_CHANGED, true);
    ASSERT_TRUE(app_.Close());

    SettingsRecord stored = app_.ReadSettings();
    EXPECT_EQ(stored.version, 1);
    EXPECT_EQ(stored.chipType, 1);
    EXPECT_EQ(stored.bufferStart, 0x400);
    EXPECT_EQ(stored.bufferEnd, 0x103FF);
    EXPECT_EQ(stored.chipStart, 0x10000);
    EXPECT_EQ(stored.chipEnd, 0x1FFFF);
    EXPECT_EQ(stored.sectorIndex, 5);
    EXPECT_EQ(stored.quickVerify, 1);
    EXPECT_EQ(stored.noVerifyAfterProgram, 1);

    StartApp();
    EXPECT_EQ(SendMessageA(app_.Item(IDC_CHIP_LIST), LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(app_.Text(IDC_BUFFER_START), "000400");
    EXPECT_EQ(app_.Text(IDC_BUFFER_END), "0103FF");
    EXPECT_EQ(app_.Text(IDC_CHIP_START), "010000");
    EXPECT_EQ(app_.Text(IDC_CHIP_END), "01FFFF");
    EXPECT_EQ(app_.Text(IDC_SECTOR_LABEL), "0x50000 - 0x5FFFF");
    EXPECT_EQ(SendMessageA(app_.Item(IDC_QUICK_VERIFY), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageA(app_.Item(IDC_VERIFY_AFTER_PROGRAM), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    // Unchecked at every start.
    EXPECT_EQ(SendMessageA(app_.Item(IDC_PROGRAM_CHANGED), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

}  // namespace
