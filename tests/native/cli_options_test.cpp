// vorland-cli's command line and its range rules: what each argument list becomes, and the
// one-line reason for every refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/serial_numbers.h"
#include "cli/ranges.h"

namespace {

bool Parse(std::vector<const char*> args, CliOptions& options, std::string& error) {
    args.insert(args.begin(), "vorland-cli");
    return ParseArguments(static_cast<int>(args.size()), args.data(), options, error);
}

CliOptions Parsed(std::vector<const char*> args) {
    CliOptions options;
    std::string error;
    EXPECT_TRUE(Parse(args, options, error)) << error;
    return options;
}

TEST(CliArguments, CommandFileAndOptionsInAnyOrder) {
    CliOptions o = Parsed({"-p", "COM3", "read", "--chip=am29f040", "out.HEX", "--chip-range",
                           "10000-1FFFF", "--file-range=0+10000", "-q"});
    EXPECT_EQ(o.command, CliCommand::kRead);
    EXPECT_EQ(o.file, "out.HEX");
    EXPECT_EQ(o.ports, std::vector<std::string>{"COM3"});
    EXPECT_EQ(o.chipType, 1);
    EXPECT_EQ(o.format, ImageFormat::kIntelHex);
    ASSERT_TRUE(o.chipRange && o.fileRange);
    EXPECT_EQ(o.chipRange->start, 0x10000u);
    EXPECT_EQ(o.chipRange->end, 0x1FFFFu);
    EXPECT_EQ(o.fileRange->end, 0xFFFFu);
    EXPECT_TRUE(o.quiet);

    o = Parsed({"program", "-cAT29C256", "--format", "srec", "--", "-image.bin"});
    EXPECT_EQ(o.command, CliCommand::kProgram);
    EXPECT_EQ(o.file, "-image.bin") << "after --, a word is a file";
    EXPECT_EQ(o.format, ImageFormat::kSRecord) << "--format wins over the extension";
    EXPECT_EQ(o.chipType, 0);
    EXPECT_TRUE(o.verify);

    o = Parsed({"program", "x.s19", "-c", "27sf512", "--erase", "--quick", "--fill", "0x00",
                "--baud", "460800", "-v"});
    EXPECT_EQ(o.format, ImageFormat::kSRecord);
    EXPECT_TRUE(o.erase && o.quick && o.verbose);
    EXPECT_EQ(o.fill, 0);
    EXPECT_EQ(o.baud, 460800u);

    o = Parsed({"blank", "--sector", "7", "-c", "AM29F040"});
    EXPECT_EQ(o.sector, 7);
    EXPECT_EQ(Parsed({"erase", "-c", "at29c256", "--help"}).command, CliCommand::kHelp);
    EXPECT_EQ(Parsed({"--version"}).command, CliCommand::kVersion);
    EXPECT_EQ(Parsed({"detect"}).chipType, -1);
}

TEST(CliArguments, PortsAddUpInTheirOrderEachOnce) {
    EXPECT_EQ(Parsed({"detect"}).ports, std::vector<std::string>{});
    EXPECT_EQ(Parsed({"detect", "-p", "COM3", "--ports", "COM4, COM3,/dev/ttyUSB*", "--port=COM1",
                      "--ports=COM5"})
                  .ports,
              (std::vector<std::string>{"COM3", "COM4", "/dev/ttyUSB*", "COM1", "COM5"}));
    EXPECT_TRUE(Parsed({"detect", "--all"}).all);
}

TEST(CliArguments, RefusalsSayWhy) {
    struct Case {
        std::vector<const char*> args;
        std::string error;
    };
    const std::string stray =
        "; '/dev/ttyUSB1' follows a port: quote a port pattern (--ports '/dev/ttyUSB*') or join "
        "ports with commas";
    const std::string chips = "(one of AT29C256, AM29F040, 27SF512, 2732A, 27C128, 27C256, 27C512)";
    const Case cases[] = {
        {{}, "no command given (detect, info, read, program, verify, erase, blank or compare)"},
        {{"burn"}, "unknown command 'burn'"},
        {{"read", "-c", "AM29F040"}, "read needs a FILE"},
        {{"detect", "x.bin"}, "detect takes no file ('x.bin')"},
        {{"read", "a.bin", "b.bin", "-c", "AM29F040"}, "too many arguments: 'b.bin'"},
        {{"read", "x.dat", "-c", "am29f040"},
         "cannot tell the format of 'x.dat' from its name: add --format bin, hex or srec"},
        {{"program", "x.bin", "-c", "27C256"}, "the 27C256 is read-only: it cannot be programmed"},
        {{"erase", "-c", "2732a (read-only)"}, "the 2732A is read-only: it cannot be erased"},
        {{"erase", "-c", "AT29C256", "--sector", "1"},
         "--sector needs a chip with sectors (the AM29F040)"},
        {{"erase", "-c", "AM29F040", "--sector", "8"},
         "--sector wants a sector number from 0 to 7, not '8'"},
        {{"read", "x.bin", "-c", "AM29F040", "--chip-range", "100-FF"},
         "--chip-range wants START-END or START+LENGTH in hexadecimal, not '100-FF'"},
        {{"verify", "x.bin", "-c", "am29f040", "--erase"},
         "--erase does not apply to verify (only to program)"},
        {{"detect", "--chip-range", "0-FF"},
         "--chip-range does not apply to detect (only to read, program and verify)"},
        {{"read", "x.bin", "-c", "am29f040", "--fill", "00"},
         "--fill does not apply to read (only to program, verify and compare)"},
        {{"compare", "a.bin"}, "compare needs two files: compare A B"},
        {{"compare", "a.bin", "b.hex", "c.bin"}, "too many arguments: 'c.bin'"},
        {{"compare", "a.bin", "b.dat"},
         "cannot tell the format of 'b.dat' from its name: add --format bin, hex or srec"},
        {{"compare", "a.bin", "b.bin", "-c", "am29f040"},
         "compare works on files alone: --port, --chip and --baud do not apply"},
        {{"compare", "a.bin", "b.bin", "--quick"},
         "--quick does not apply to compare (only to program and verify)"},
        {{"compare", "a.bin", "b.bin", "--file-range", "0-FF"},
         "--file-range does not apply to compare (only to read, program and verify)"},
        {{"program", "x.bin", "-c", "am29f040", "--quick", "--no-verify"},
         "--quick chooses how to verify, --no-verify not to: give one of them"},
        {{"program", "x.bin", "-c", "am29f040", "--changed-only", "--erase"},
         "--erase rewrites the whole chip, --changed-only only what differs: give one of them"},
        {{"program", "x.bin", "-c", "am29f040", "--changed-only", "--no-verify"},
         "--changed-only verifies the whole range afterwards: it cannot be given with "
         "--no-verify"},
        {{"verify", "x.bin", "-c", "am29f040", "--changed-only"},
         "--changed-only does not apply to verify (only to program)"},
        {{"program", "x.bin", "-c", "at29c256", "--fill", "1FF"},
         "--fill wants one byte in hexadecimal (00 to FF), not '1FF'"},
        {{"detect", "--baud", "9600"}, "--baud wants 115200, 230400, 460800 or 921600, not '9600'"},
        {{"detect", "--format", "elf"}, "unknown image format 'elf' (bin, hex or srec)"},
        {{"detect", "--bogus"}, "unknown option '--bogus'"},
        {{"detect", "-x"}, "unknown option '-x'"},
        {{"read", "x.bin", "-c"}, "-c needs a value"},
        {{"detect", "--quiet=1"}, "--quiet takes no value"},
        {{"detect", "--port="}, "--port needs a port name, such as COM3 or /dev/ttyUSB0"},
        {{"detect", "--ports", "COM3,,COM4"},
         "--ports wants port names separated by commas, such as COM3,COM4, not 'COM3,,COM4'"},
        {{"detect", "--ports", " "},
         "--ports wants port names separated by commas, such as COM3,COM4, not ' '"},
        {{"read", "x.bin", "-c", "am29f040", "--all"},
         "--all does not apply to read (only to detect)"},
        // What an unquoted --ports /dev/ttyUSB* leaves after the shell expanded it.
        {{"read", "-c", "am29f040", "--ports", "/dev/ttyUSB0", "/dev/ttyUSB1"},
         "cannot tell the format of '/dev/ttyUSB1' from its name: add --format bin, hex or "
         "srec" +
             stray},
        {{"read", "--ports", "/dev/ttyUSB0", "/dev/ttyUSB1", "x.hex", "-c", "am29f040"},
         "too many arguments: 'x.hex'" + stray},
        {{"detect", "-p", "/dev/ttyUSB0", "/dev/ttyUSB1"},
         "detect takes no file ('/dev/ttyUSB1')" + stray},
        {{"-p", "/dev/ttyUSB0", "/dev/ttyUSB1", "detect"},
         "unknown command '/dev/ttyUSB1'" + stray},
        {{"read", "-p", "/dev/ttyUSB0", "x.dat", "-c", "am29f040"},
         "cannot tell the format of 'x.dat' from its name: add --format bin, hex or srec"},
        {{"verify", "x.bin", "-c", "am29f040", "--serial-at", "10"},
         "--serial-at does not apply to verify (only to program)"},
        {{"read", "x.bin", "-c", "am29f040", "--repeat"},
         "--repeat does not apply to read (only to program)"},
        {{"erase", "-c", "am29f040", "--log", "x.jsonl"},
         "--log does not apply to erase (only to program)"},
        {{"program", "x.bin", "-c", "am29f040", "--serial-file", "sn.txt"},
         "--serial-file needs --serial-at: the image address the number goes to"},
        {{"program", "x.bin", "-c", "am29f040", "--serial-at", "10", "--serial-step", "0"},
         "--serial-step wants a number (decimal, or hex after 0x) from 1 on, not '0'"},
        {{"program", "x.bin", "-c", "am29f040", "--serial-at", "10", "--serial-start",
          "18446744073709551616"},
         "--serial-start wants a number (decimal, or hex after 0x), not '18446744073709551616'"},
        {{"program", "x.bin", "-c", "am29f040", "--serial-at", "10", "--serial-format", "dec:0"},
         "--serial-format wants le16, be16, le32, be32, dec:DIGITS or hex:DIGITS, not 'dec:0'"},
    };
    for (const Case& c : cases) {
        CliOptions options;
        std::string error;
        EXPECT_FALSE(Parse(c.args, options, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
    CliOptions options;
    std::string error;
    EXPECT_FALSE(Parse({"read", "x.bin"}, options, error));
    EXPECT_EQ(error, "read needs the chip type: --chip TYPE " + chips);
    EXPECT_FALSE(Parse({"read", "x.bin", "-c", "29F040"}, options, error));
    EXPECT_EQ(error, "unknown chip type '29F040' " + chips);
}

TEST(CliArguments, ChipNamesAndHexNumbers) {
    EXPECT_EQ(FindChipTypeByName("27c256"), 5);
    EXPECT_EQ(FindChipTypeByName("27C256 (Read-Only)"), 5);
    EXPECT_EQ(FindChipTypeByName("AT29C256"), 0);
    EXPECT_EQ(FindChipTypeByName("Am29F040"), 1);
    EXPECT_EQ(FindChipTypeByName("27C25"), -1);
    EXPECT_EQ(FindChipTypeByName(""), -1);

    std::uint32_t v = 0;
    EXPECT_TRUE(ParseHexNumber("0x10", v));
    EXPECT_EQ(v, 16u);
    EXPECT_TRUE(ParseHexNumber("FFFFFFFF", v));
    EXPECT_EQ(v, 0xFFFFFFFFu);
    for (const char* bad : {"", "0x", "100000000", "1g", " 1", "-1", "1,2"}) {
        EXPECT_FALSE(ParseHexNumber(bad, v)) << bad;
    }

    HexRange r{};
    ASSERT_TRUE(ParseHexRange("8000-FFFF", r));
    EXPECT_EQ(r.start, 0x8000u);
    EXPECT_EQ(r.end, 0xFFFFu);
    ASSERT_TRUE(ParseHexRange("0x100+0x40", r));
    EXPECT_EQ(r.end, 0x13Fu);
    EXPECT_EQ(r.length(), 0x40u);
    ASSERT_TRUE(ParseHexRange("0-FFFFFFFF", r));
    EXPECT_EQ(r.length(), 0x100000000ull);
    for (const char* bad : {"100-FF", "10+0", "FFFFFFFF+2", "1-2-3", "1+2-3", "100", "-5", "5-"}) {
        EXPECT_FALSE(ParseHexRange(bad, r)) << bad;
    }
}

class TransferRanges : public ::testing::Test {
protected:
    // plan as "chipStart fileStart length" in hexadecimal, or the error.
    std::string Plan(CliCommand command, std::int32_t chipType, bool addressed,
                     std::optional<HexRange> chip, std::optional<HexRange> file) {
        PlanRequest request{command, chipType, addressed, chip, file, &image_};
        TransferPlan plan{};
        PlanError error;
        if (!PlanTransfer(request, plan, error)) {
            return (error.aboutImage ? "image:" + std::to_string(error.line) + ": " : "") +
                   error.message;
        }
        char text[64];
        std::snprintf(text, sizeof text, "%X %X %X", plan.chipStart, plan.fileStart, plan.length);
        return text;
    }
    void Data(std::uint32_t first, std::uint32_t last, std::uint32_t line = 1) {
        std::vector<std::uint8_t> bytes(last - first + 1, 0x42);
        ASSERT_EQ(image_.Add(first, bytes.data(), bytes.size(), line, nullptr),
                  SparseImage::AddResult::kAdded);
    }
    SparseImage image_;
    static constexpr CliCommand kRead = CliCommand::kRead;
    static constexpr CliCommand kProgram = CliCommand::kProgram;
    static constexpr CliCommand kVerify = CliCommand::kVerify;
};

TEST_F(TransferRanges, ReadDefaultsToTheWholeChip) {
    EXPECT_EQ(Plan(kRead, 1, true, {}, {}), "0 0 80000");
    EXPECT_EQ(Plan(kRead, 3, false, {}, {}), "0 0 1000");
    EXPECT_EQ(Plan(kRead, 1, true, HexRange{0x10000, 0x1FFFF}, {}), "10000 10000 10000")
        << "HEX files get the chip addresses";
    EXPECT_EQ(Plan(kRead, 1, false, HexRange{0x10000, 0x1FFFF}, {}), "10000 0 10000")
        << "binary files start at 0";
    EXPECT_EQ(Plan(kRead, 0, true, {}, HexRange{0x8000, 0xFFFF}), "0 8000 8000");
    EXPECT_EQ(Plan(kRead, 1, false, {}, HexRange{0x100, 0x1FF}),
              "a binary file has no addresses: a file range for one must start at 0");
}

TEST_F(TransferRanges, TheWindowsBlockRulesForReadAndProgram) {
    EXPECT_EQ(Plan(kRead, 0, true, HexRange{0x20, 0x7FFF}, {}),
              "the chip range must start at a multiple of 0x40, not at 0x000020");
    EXPECT_EQ(Plan(kRead, 0, true, HexRange{0, 0x103E}, {}),
              "the range length must be a multiple of 0x40 bytes, not 0x103F");
    EXPECT_EQ(Plan(kRead, 0, true, HexRange{0, 0x8000}, {}),
              "the chip range 000000-008000 lies outside the AT29C256 (000000-007FFF)");
    EXPECT_EQ(Plan(kVerify, 0, true, HexRange{1, 2}, {}), "1 1 2") << "verify has no block rule";
    EXPECT_EQ(Plan(kProgram, 1, true, HexRange{0x100, 0x1FF}, HexRange{0, 0x1FF}),
              "--chip-range and --file-range differ in length (0x100 and 0x200 bytes)");
}

TEST_F(TransferRanges, ProgramAndVerifyTakeTheSpanOfTheData) {
    Data(0x105, 0x1F3);
    EXPECT_EQ(Plan(kProgram, 0, true, {}, {}), "100 100 100") << "widened to 64-byte blocks";
    EXPECT_EQ(Plan(kVerify, 0, true, {}, {}), "100 100 100") << "as the window loads a HEX file";
    EXPECT_EQ(Plan(kVerify, 0, false, {}, {}), "105 105 EF") << "a binary image as it is";
    EXPECT_EQ(Plan(kProgram, 0, true, HexRange{0x1000, 0x10FF}, {}), "1000 1000 100");
    EXPECT_EQ(Plan(kProgram, 0, false, HexRange{0x1000, 0x10FF}, {}), "1000 0 100");
    EXPECT_EQ(Plan(kProgram, 0, true, {}, HexRange{0x100, 0x1FF}), "0 100 100");
}

TEST_F(TransferRanges, AnImageThatDoesNotFitIsRefused) {
    EXPECT_EQ(Plan(kProgram, 1, true, {}, {}), "image:0: the image holds no data");
    Data(0x8000, 0xFFFF, 7);
    Data(0x7F00, 0x7F7F, 9);
    EXPECT_EQ(Plan(kProgram, 0, true, {}, {}),
              "image:7: the image does not fit the AT29C256 (000000-007FFF): it holds data at "
              "0x008000; choose the part to use with --file-range");
    EXPECT_EQ(Plan(kProgram, 0, true, {}, HexRange{0x8000, 0xFFFF}), "0 8000 8000");
    EXPECT_EQ(Plan(kVerify, 2, true, {}, {}), "7F00 7F00 8100");
}

// How each format writes a number into the image, and the largest it can hold.
TEST(CliArguments, SerialNumberFormats) {
    const struct {
        const char* name;
        std::uint64_t number;
        std::vector<std::uint8_t> bytes;
        std::uint64_t max;
    } cases[] = {
        {"le16", 0x1234, {0x34, 0x12}, 0xFFFF},
        {"be16", 0x1234, {0x12, 0x34}, 0xFFFF},
        {"le32", 0x12345678, {0x78, 0x56, 0x34, 0x12}, 0xFFFFFFFF},
        {"be32", 0x12345678, {0x12, 0x34, 0x56, 0x78}, 0xFFFFFFFF},
        {"dec:8", 1011, {'0', '0', '0', '0', '1', '0', '1', '1'}, 99999999},
        {"hex:5", 0xABC, {'0', '0', 'A', 'B', 'C'}, 0xFFFFF},
        {"dec:1", 7, {'7'}, 9},
    };
    for (const auto& c : cases) {
        SerialFormat format;
        ASSERT_TRUE(ParseSerialFormat(c.name, format)) << c.name;
        EXPECT_EQ(SerialFormatName(format), c.name);
        EXPECT_EQ(SerialFormatMax(format), c.max) << c.name;
        std::vector<std::uint8_t> bytes(format.width);
        WriteSerialBytes(format, c.number, bytes.data());
        EXPECT_EQ(bytes, c.bytes) << c.name;
    }
    SerialFormat format;
    for (const char* bad : {"le24", "dec:", "dec:20", "hex:17", "hex:0x4", "DEC:4"}) {
        EXPECT_FALSE(ParseSerialFormat(bad, format)) << bad;
    }
}

}  // namespace
