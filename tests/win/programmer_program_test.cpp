// Programming through the window of the real Vorland.exe against the simulated unit: where a
// file's bytes land on the chip, what is verified and what a failed verify says, which files the
// dialogs give, and finding the unit behind other serial devices.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/address_rules.h"
#include "device/kvtandrel.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"
#include "resources/resource.h"
#include "tests/win/support/programmer_window_fixture.h"

namespace {

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

constexpr char kProgramming[] = "Programming Device from buffer...";

// The line a failed verify adds, counted here byte by byte: the differing bytes, their runs and
// the first run.
std::string DifferencesLine(const Bytes& chip, const Bytes& image) {
    unsigned bytes = 0;
    unsigned runs = 0;
    unsigned first = 0;
    unsigned last = 0;
    for (unsigned i = 0; i < image.size(); ++i) {
        if (chip[i] == image[i]) continue;
        ++bytes;
        if (i == 0 || chip[i - 1] == image[i - 1]) ++runs;
        if (runs == 1) last = i;
        if (bytes == 1) first = i;
    }
    return Printf("Differences: %u bytes in %u ranges, first %06X-%06X", bytes, runs, first, last);
}

// Addresses that came from a file stay with it: a chip chosen afterwards keeps them, or says
// they do not fit; a binary file loaded next starts at chip address 0 unless the user typed one.
TEST_F(ProgrammerWindowTest, AddressesFromAFileStayWithItThroughAChipChoiceAndABinaryLoad) {
    StartUnit({"model vorland", "chip 2"});
    app_.WriteSettings(Settings(0, 0, 0x7FFF, 0, 0x7FFF));
    StartApp();
    const Bytes high = Pattern(0x40, 9);
    const std::string highHex = app_.dir().File("high.hex");
    WriteText(highHex, WriteIntelHex(high.data(), 0x40, 0x9000));
    const std::string warning =
        "WARNING: Data up to 00903F does not fit the selected chip (000000-007FFF): it cannot be "
        "programmed there.";
    EXPECT_EQ(Load(highHex)[2], warning);
    const Lines fromFile = {"009000", "00903F", "009000", "00903F"};
    EXPECT_EQ(Boxes(), fromFile);

    std::size_t before = app_.Log().size();
    app_.SelectChip(2);  // the 27SF512 holds 0x9000
    EXPECT_EQ(Boxes(), fromFile);
    EXPECT_EQ(app_.LogSince(before), Lines{});
    app_.SelectChip(0);
    EXPECT_EQ(Boxes(), fromFile);
    EXPECT_EQ(app_.LogSince(before), Lines{warning});
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kMsgOutsideChip), (Lines{kProgramming, kMsgOutsideChip}));

    app_.SelectChip(2);
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified).back(), kVerified);
    const Bytes chip = Sim().ChipContents();
    EXPECT_EQ(Bytes(chip.begin() + 0x9000, chip.begin() + 0x9040), high);
    EXPECT_EQ(std::count(chip.begin(), chip.end(), 0xFF), 0x10000 - 0x40);

    const std::string binary = app_.dir().File("image.bin");
    WriteFileBytes(binary, Pattern(0x1000, 3));
    Load(binary);
    EXPECT_EQ(Boxes(), (Lines{"000000", "000FFF", "000000", "000FFF"}));
    app_.SetBox(IDC_CHIP_START, "001000");
    Load(binary);
    EXPECT_EQ(Boxes(), (Lines{"000000", "000FFF", "001000", "001FFF"}));
}

// Where the chip start came from outlives the session: a binary loaded after a restart starts at
// chip address 0, not where the last session's HEX file put its data.
TEST_F(ProgrammerWindowTest, ABinaryLoadedAfterARestartStartsAtChipAddressZero) {
    StartUnit({"model vorland", "chip 0"});
    app_.WriteSettings(Settings(0, 0, 0x7FFF, 0, 0x7FFF));
    StartApp();
    const std::string hex = app_.dir().File("at100.hex");
    WriteText(hex, WriteIntelHex(Pattern(0x100, 9).data(), 0x100, 0x100));
    Load(hex);
    const Lines fromFile = {"000100", "0001FF", "000100", "0001FF"};
    EXPECT_EQ(Boxes(), fromFile);
    ASSERT_TRUE(app_.Close());
    StartApp();
    EXPECT_EQ(Boxes(), fromFile);
    const Bytes binary = Pattern(0x400, 3);
    const std::string bin = app_.dir().File("image.bin");
    WriteFileBytes(bin, binary);
    Load(bin);
    EXPECT_EQ(Boxes(), (Lines{"000000", "0003FF", "000000", "0003FF"}));
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified).back(), kVerified);
    const Bytes chip = Sim().ChipContents();
    EXPECT_EQ(Bytes(chip.begin(), chip.begin() + 0x400), binary);
}

// Program verifies what it wrote: a flash chip that was not erased keeps bits the image clears
// and fails, naming the first wrong byte. The check box turns the verify off.
TEST_F(ProgrammerWindowTest, ProgrammingIsVerifiedUnlessTheUserTurnsItOff) {
    const Bytes old = Pattern(0x10000, 5);
    const Bytes image = Pattern(0x10000, 3);
    StartUnit({"model vorland", "chip 1"});
    Bytes chip(0x80000, 0xFF);
    std::copy(old.begin(), old.end(), chip.begin());
    ASSERT_TRUE(Sim().SetChipContents(chip));
    app_.WriteSettings(Settings(1, 0, 0xFFFF, 0, 0xFFFF));
    StartApp();
    EXPECT_EQ(SendMessageA(app_.Item(IDC_VERIFY_AFTER_PROGRAM), BM_GETCHECK, 0, 0), BST_CHECKED);
    const std::string path = app_.dir().File("image.bin");
    WriteFileBytes(path, image);
    Load(path);

    Bytes programmedChip(image.size());
    for (std::size_t i = 0; i < image.size(); ++i) programmedChip[i] = old[i] & image[i];
    std::size_t first = 0;
    while (programmedChip[first] == image[first]) ++first;
    const std::string differs = Printf(
        "The chip differs first at chip address %.6X (buffer %.6X): the buffer has %.2X, the chip "
        "%.2X. A flash chip may need erasing first.",
        static_cast<unsigned>(first), static_cast<unsigned>(first), image[first],
        programmedChip[first]);
    const Lines programmed = {kProgramming, kSeparator, kSucceeded,
                              FormatChecksumLine(0, 0xFFFF, image.data())};
    Lines lines = programmed;
    lines.insert(lines.end(),
                 {kVerifying, kNotMatched, DifferencesLine(programmedChip, image), differs});
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, differs), lines);

    Check(IDC_VERIFY_AFTER_PROGRAM, false);
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, "Checksum "), programmed);
    EXPECT_EQ(app_.Run(IDC_ERASE_SECTOR, "Sector Erase Succeeded.").back(),
              "Sector Erase Succeeded.");
    Check(IDC_VERIFY_AFTER_PROGRAM, true);
    lines = programmed;
    lines.insert(lines.end(), {kVerifying, kVerified});
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified), lines);
}

// "Program only what differs": a 512 KiB image with one KiB changed writes only that KiB (the
// unit's record of its writes), and the log says so; the chip then holds the image. A change
// that needs a bit set erases its sector first. It is always verified.
TEST_F(ProgrammerWindowTest, ProgrammingOnlyWhatDiffersWritesTheChangedKiB) {
    const Bytes image = Pattern(0x80000, 3);
    Bytes chip = image;
    std::fill_n(chip.begin() + 0x12400, 0x400, 0xFF);
    chip[0x23456] = 0;
    StartUnit({"model vorland", "chip 1"});
    ASSERT_TRUE(Sim().SetChipContents(chip));
    app_.WriteSettings(Settings(1, 0, 0x7FFFF, 0, 0x7FFFF));
    StartApp();
    const std::string path = app_.dir().File("image.bin");
    WriteFileBytes(path, image);
    Load(path);
    Check(IDC_PROGRAM_CHANGED, true);
    ASSERT_TRUE(Sim().Ok("fault clear"));
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified),
              (Lines{kProgramming, kSeparator, kSucceeded,
                     "Erased sector 2 (020000-02FFFF) first: bytes there needed a bit set.",
                     "Programmed 65 KiB of 512 KiB; 447 KiB already matched.",
                     FormatChecksumLine(0, 0x7FFFF, image.data()), kVerifying, kVerified}));
    EXPECT_EQ(Sim().Command("writes"), "ok 012400-0127FF 020000-02FFFF");
    EXPECT_TRUE(Sim().ChipContents() == image);

    // Verified even with "Verify after programming" unchecked: only the verify sees a block
    // whose checksums matched although its bytes did not.
    Check(IDC_VERIFY_AFTER_PROGRAM, false);
    chip = image;
    std::fill_n(chip.begin() + 0x12400, 0x400, 0xFF);
    ASSERT_TRUE(Sim().SetChipContents(chip));
    ASSERT_TRUE(Sim().Ok("fault clear"));
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified),
              (Lines{kProgramming, kSeparator, kSucceeded,
                     "Programmed 1 KiB of 512 KiB; 511 KiB already matched.",
                     FormatChecksumLine(0, 0x7FFFF, image.data()), kVerifying, kVerified}));
    EXPECT_EQ(Sim().Command("writes"), "ok 012400-0127FF");
    EXPECT_TRUE(Sim().ChipContents() == image);
}

// The unit's checksum gives the first byte of a range weight 0, and at a 32 KiB multiple an even
// weight that a difference of 2 leaves unchanged. A chip that differs there alone still fails
// the quick verify.
TEST_F(ProgrammerWindowTest, AQuickVerifySeesTheBytesTheUnitsChecksumCannot) {
    Bytes image = Pattern(0x10000, 5);
    image[0] = 0x5A;
    image[0x8000] = 0x12;
    StartUnit({"model vorland", "chip 2"});
    app_.WriteSettings(Settings(2, 0, 0xFFFF, 0, 0xFFFF));
    StartApp();
    const std::string path = app_.dir().File("image.bin");
    WriteFileBytes(path, image);
    Load(path);
    Check(IDC_QUICK_VERIFY, true);
    for (const std::size_t offset : {std::size_t{0}, std::size_t{0x8000}}) {
        Bytes chip = image;
        chip[offset] = static_cast<std::uint8_t>(image[offset] & ~2);
        ASSERT_TRUE(Sim().SetChipContents(chip));
        const std::string line =
            offset == 0
                ? "The chip differs first at chip address 000000 (buffer 000000): the buffer has "
                  "5A, the chip 58."
                : Printf(
                      "The unit's checksum of 000001-00FFFF differs: %.4X for the buffer, %.4X "
                      "for the chip.",
                      WeightedChecksum16(image.data() + 1, 0xFFFF),
                      WeightedChecksum16(chip.data() + 1, 0xFFFF));
        EXPECT_EQ(app_.Run(IDC_VERIFY_CHIP, line), (Lines{kVerifying, kNotMatched, line}));
    }
}

// The filter chosen in the dialog counts: a name saved without an extension gets the filter's,
// and a name with an unknown one loads in the filter's format. Intel HEX from srec_cat, with
// records crossing a 64 KiB boundary under 04 addressing and a byte-order mark, loads.
TEST_F(ProgrammerWindowTest, FilesFollowTheChosenFilter) {
    StartUnit({"model vorland", "chip 1"});
    app_.WriteSettings(Settings(1, 0, 0x7FFFF, 0, 0x7FFFF));
    StartApp();
    const std::string mcs = app_.dir().File("image.mcs");
    WriteText(mcs,
              "\xEF\xBB\xBF:020000040000FA\r\n"
              ":20FFF000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F01\r\n"
              ":00000001FF\r\n");
    Bytes buffer(0x80, 0xFF);
    for (int i = 0; i < 0x20; ++i) buffer[0x30 + i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(Load(mcs, 2),
              (Lines{"File Loaded: " + mcs, "Intel HEX: 32 bytes (0x20) at 00FFF0-01000F",
                     FormatChecksumLine(0xFFC0, 0x1003F, buffer.data())}));
    EXPECT_EQ(Boxes(), (Lines{"00FFC0", "01003F", "00FFC0", "01003F"}));

    const std::string firmware = app_.dir().File("firmware");
    EXPECT_EQ(Save(firmware, 2),
              (Lines{"Bytes Written to file: 128 (Intel HEX, records at 00FFC0-01003F)"}));
    EXPECT_FALSE(FileExists(firmware));
    SparseImage saved;
    ImageError error;
    ASSERT_TRUE(ParseIntelHex(ReadFileText(firmware + ".hex"), saved, error)) << error.message;
    Bytes back(0x80);
    saved.CopyOut(0xFFC0, 0x80, 0, back.data());
    EXPECT_EQ(back, buffer);
}

// Any serial device may answer the version frame with three bytes: one naming no programmer is
// passed over, and the unit on a later port found.
TEST_F(ProgrammerWindowTest, ADeviceThatNamesNoProgrammerDoesNotHideTheUnit) {
    SimUnit streaming;
    StartUnitOf(streaming, {"version 3 1 Z"}, 2, 9);
    StartUnit({"model vorland"}, 12);
    StartApp();
    EXPECT_EQ(app_.Log(), (Lines{"HW: Vorland v1.0.F", "Port: COM12"}));
}

}  // namespace
