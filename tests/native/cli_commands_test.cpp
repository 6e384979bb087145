// vorland-cli's commands run in process against the simulated unit on virtual time: what they
// leave on the chip and in files, what they print, their exit status, and that the unit is
// always returned to 115200 baud.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/address_rules.h"
#include "app/image_load.h"
#include "cli/cli_runner.h"
#include "cli/exit_codes.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"
#include "sim/programmer_unit.h"
#include "sim/simulated_port.h"
#include "tests/native/support/pattern_bytes.h"
#include "tests/native/support/scratch_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class RecordingConsole final : public CliConsole {
public:
    void Out(const std::string& text) override { out += text; }
    void Err(const std::string& text) override {
        err += text;
        if (onErr) onErr(text);
    }
    bool ErrIsTerminal() override { return terminal; }
    int TerminalWidth() override { return 80; }

    std::string out;
    std::string err;
    bool terminal = false;
    std::function<void(const std::string&)> onErr;
};

Bytes Slice(const Bytes& bytes, std::size_t start, std::size_t length) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                 bytes.begin() + static_cast<std::ptrdiff_t>(start + length));
}

// The programmer window's checksum line of bytes at first, and a line end.
std::string ChecksumLine(std::uint32_t first, const Bytes& bytes) {
    return FormatChecksumLine(first, first + static_cast<std::uint32_t>(bytes.size()) - 1,
                              bytes.data()) +
           "\n";
}

void WriteText(const std::string& path, const std::string& text) {
    WriteWholeFile(path, Bytes(text.begin(), text.end()));
}

class CliCommandsTest : public ::testing::Test {
protected:
    CliCommandsTest() {
        ports_.AddPort("COM2", &unit_);
        ResetInterrupt();
    }
    ~CliCommandsTest() override { ResetInterrupt(); }

    int Run(const std::vector<std::string>& args) {
        console_.out.clear();
        console_.err.clear();
        std::vector<const char*> argv = {"vorland-cli"};
        for (const std::string& a : args) argv.push_back(a.c_str());
        CliOptions options;
        std::string error;
        if (!ParseArguments(static_cast<int>(argv.size()), argv.data(), options, error)) {
            ADD_FAILURE() << error;
            return -1;
        }
        CliEnvironment env{ports_, clock_, console_};
        return RunCli(options, env);
    }
    std::string File(const std::string& name) const { return dir_.File(name); }
    // Whether any port was opened since the last ClearEvents.
    bool PortTouched() const {
        for (const LinkEvent& e : ports_.events()) {
            if (e.kind == LinkEvent::Kind::kOpen || e.kind == LinkEvent::Kind::kOpenFailed)
                return true;
        }
        return false;
    }

    VirtualClock clock_;
    SimulatedPorts ports_{clock_};
    ProgrammerUnit unit_;
    RecordingConsole console_;
    ScratchDir dir_;
};

TEST_F(CliCommandsTest, ProgramsAHexImageAndReadsItBackAsSRecordAndBinary) {
    const Bytes image = PatternBytes(0x1000);
    WriteText(File("img.hex"), WriteIntelHex(image.data(), 0x1000, 0x10000));

    ASSERT_EQ(Run({"program", File("img.hex"), "-c", "AM29F040"}), kExitSuccess) << console_.err;
    EXPECT_EQ(console_.out, "programmed and verified 010000-010FFF of the AM29F040 from " +
                                File("img.hex") + "\n" + ChecksumLine(0x10000, image));
    EXPECT_EQ(Slice(unit_.chip(), 0x10000, 0x1000), image);
    EXPECT_EQ(unit_.chip()[0xFFFF], 0xFF);
    EXPECT_EQ(unit_.chip()[0x11000], 0xFF);
    EXPECT_NE(console_.err.find("Vorland v1.0.F on COM2 at 921600 baud"), std::string::npos)
        << console_.err;

    ASSERT_EQ(Run({"read", File("back.srec"), "-c", "am29f040", "--chip-range", "10000+1000"}),
              kExitSuccess)
        << console_.err;
    EXPECT_EQ(console_.out, "read 010000-010FFF of the AM29F040 into " + File("back.srec") +
                                " (S-record)\n" + ChecksumLine(0x10000, image));
    const Bytes srec = ReadWholeFile(File("back.srec"));
    SparseImage back;
    ImageError error;
    ASSERT_TRUE(ParseSRecord(std::string(srec.begin(), srec.end()), back, error)) << error.message;
    Bytes fromSrec(0x1000);
    EXPECT_EQ(back.CopyOut(0x10000, 0x1000, 0, fromSrec.data()), 0x1000u);
    EXPECT_EQ(fromSrec, image);

    ASSERT_EQ(Run({"read", File("back.bin"), "-c", "am29f040", "--chip-range", "10000-10FFF"}),
              kExitSuccess)
        << console_.err;
    EXPECT_EQ(ReadWholeFile(File("back.bin")), image);

    // Each run raised the link and put it back.
    EXPECT_EQ(unit_.counters().speedChanges, 6u);
    EXPECT_EQ(unit_.speedCode(), 7);
    EXPECT_FALSE(ports_.IsOpen("COM2"));
}

TEST_F(CliCommandsTest, GapsAreFilledAndTheRangeWidenedToBlocks) {
    ASSERT_TRUE(unit_.InsertChip(0));
    WriteText(File("sparse.hex"),
              ":03010500AABBCCC6\n"  // 0x105..0x107
              ":0101800011 6D\n"     // a blank inside a record is not allowed
              ":00000001FF\n");
    EXPECT_EQ(Run({"program", File("sparse.hex"), "-c", "AT29C256"}), kExitBadInput);
    EXPECT_EQ(console_.err, "vorland-cli: " + File("sparse.hex") +
                                ":2: ' ' is not a hexadecimal digit (column 12)\n");

    WriteText(File("sparse.hex"), ":03010500AABBCCC6\n:01018000116D\n:00000001FF\n");
    ASSERT_EQ(Run({"program", File("sparse.hex"), "-c", "AT29C256", "--fill", "00"}), kExitSuccess)
        << console_.err;
    EXPECT_EQ(console_.out.substr(0, console_.out.find('\n')),
              "programmed and verified 000100-0001BF of the AT29C256 from " + File("sparse.hex"));
    const Bytes& chip = unit_.chip();
    EXPECT_EQ(Slice(chip, 0xFF, 10), (Bytes{0xFF, 0, 0, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0}));
    EXPECT_EQ(chip[0x180], 0x11);
    EXPECT_EQ(chip[0x1BF], 0x00);
    EXPECT_EQ(chip[0x1C0], 0xFF);
}

TEST_F(CliCommandsTest, ABinaryImageGoesWhereTheChipRangeSays) {
    ASSERT_TRUE(unit_.InsertChip(2));
    const Bytes image = PatternBytes(0x300, 3);
    WriteWholeFile(File("part.rom"), image);
    ASSERT_EQ(Run({"program", File("part.rom"), "-c", "27SF512", "--chip-range", "F000+200"}),
              kExitSuccess)
        << console_.err;
    EXPECT_EQ(Slice(unit_.chip(), 0xF000, 0x200), Slice(image, 0, 0x200));
    EXPECT_EQ(unit_.chip()[0xF200], 0xFF);
    EXPECT_NE(console_.err.find("note: 256 bytes of " + File("part.rom") +
                                " lie outside the file range 00000000-000001FF and are left out"),
              std::string::npos)
        << console_.err;
}

// An S-record file of 1,000 bytes at 0x4000: the window, after loading it, and every command
// name one range, 64-byte blocks padded with FF, and one checksum.
TEST_F(CliCommandsTest, EveryChipCommandPrintsTheWindowsChecksumLine) {
    const Bytes data = PatternBytes(1000, 7);
    const std::string srec = WriteSRecord(data.data(), 1000, 0x4000, "img");
    WriteText(File("img.s19"), srec);
    Bytes buffer(kImageBufferSize);
    const std::string windowLine =
        LoadAddressedImage(ImageFormat::kSRecord, srec, File("img.s19"), 0x80000, buffer.data())
            .lines.back();
    ASSERT_EQ(windowLine.rfind("Checksum 004000-0043FF: ", 0), 0u) << windowLine;

    const std::vector<std::vector<std::string>> commands = {
        {"program", File("img.s19"), "-c", "AM29F040"},
        {"program", File("img.s19"), "-c", "AM29F040", "--no-verify"},
        {"verify", File("img.s19"), "-c", "AM29F040"},
        {"verify", File("img.s19"), "-c", "AM29F040", "--quick"},
        {"read", File("back.s19"), "-c", "AM29F040", "--chip-range", "4000-43FF"},
    };
    for (const auto& command : commands) {
        ASSERT_EQ(Run(command), kExitSuccess) << command[0] << console_.err;
        EXPECT_EQ(console_.out.substr(console_.out.find('\n') + 1), windowLine + "\n")
            << command[0];
    }
}

// With --json, stdout holds one object per unit and nothing else; the text goes to stderr.
TEST_F(CliCommandsTest, JsonGivesOneObjectPerUnit) {
    const Bytes image = PatternBytes(0x100, 3);
    WriteWholeFile(File("img.bin"), image);
    const struct {
        std::vector<std::string> args;
        int status;
        nlohmann::json fields;  // besides time, which every object has
    } cases[] = {
        {{"detect"},
         kExitSuccess,
         {{"port", "COM2"}, {"unit", "Vorland v1.0.F"}, {"result", "found"}}},
        {{"verify", File("img.bin"), "-c", "AM29F040"},
         kExitMismatch,
         {{"port", "COM2"},
          {"unit", "Vorland v1.0.F"},
          {"chip", "AM29F040"},
          {"result", "differs"},
          {"message", Printf("the chip differs from %s first at chip address 000000 (file "
                             "address 00000000): the file has %02X, the chip FF",
                             File("img.bin").c_str(), image[0])}}},
        {{"read", File("back.bin"), "-c", "AM29F040", "--chip-range", "0+100"},
         kExitSuccess,
         {{"port", "COM2"},
          {"unit", "Vorland v1.0.F"},
          {"chip", "AM29F040"},
          {"result", "read"},
          {"file", File("back.bin")},
          {"range", "000000-0000FF"},
          {"sum", "FF00"},
          {"crc32", "FEA8A821"}}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--json", "-p", "COM2"});
        EXPECT_EQ(Run(args), c.status) << console_.err;
        ASSERT_EQ(std::count(console_.out.begin(), console_.out.end(), '\n'), 1) << console_.out;
        nlohmann::json record = nlohmann::json::parse(console_.out);
        EXPECT_EQ(record["time"].get<std::string>().size(), 24u) << record;
        record.erase("time");
        EXPECT_EQ(record, c.fields) << c.args[0];
    }
    EXPECT_EQ(Run({"detect", "--json", "-p", "COM9"}), kExitNoUnit);
    EXPECT_EQ(console_.out, "") << "no object when nothing answered";
}

TEST_F(CliCommandsTest, VerifyTellsEveryDifferenceAndExitsWithOne) {
    const Bytes image(0x10000, 0x11);
    std::copy(image.begin(), image.end(), unit_.chip().begin());
    WriteWholeFile(File("same.bin"), image);
    ASSERT_EQ(Run({"verify", File("same.bin"), "-c", "AM29F040"}), kExitSuccess) << console_.err;
    EXPECT_EQ(console_.out, "the AM29F040 matches " + File("same.bin") + " at 000000-00FFFF\n" +
                                ChecksumLine(0, image));
    ASSERT_EQ(Run({"verify", File("same.bin"), "-c", "AM29F040", "--quick"}), kExitSuccess);
    EXPECT_EQ(console_.out, "the AM29F040 matches " + File("same.bin") +
                                " at 000000-00FFFF (by checksum)\n" + ChecksumLine(0, image));

    // 3 ranges, 19 bytes, the first a single byte.
    Bytes other = image;
    other[0x100] = 0x5A;
    for (int i = 0; i < 16; ++i) other[0x2000 + i] = i % 2 ? 0xAA : 0x55;
    other[0x8000] = other[0x8001] = 0x00;
    WriteWholeFile(File("other.bin"), other);
    EXPECT_EQ(Run({"verify", File("other.bin"), "-c", "AM29F040"}), kExitMismatch);
    EXPECT_EQ(console_.out,
              "the chip differs from " + File("other.bin") +
                  " first at chip address 000100 (file address 00000100): the file has 5A, the "
                  "chip 11\n"
                  "19 bytes differ in 3 ranges\n"
                  "000100-000100  file 5A                           chip 11\n"
                  "002000-00200F  file 55 AA 55 AA 55 AA 55 AA ...  chip 11 11 11 11 11 11 11 11 ...\n"
                  "008000-008001  file 00 00                        chip 11 11\n");
    EXPECT_EQ(Run({"verify", File("other.bin"), "-c", "AM29F040", "--quick"}), kExitMismatch);
    EXPECT_EQ(console_.out.find("the checksums of 000000-00FFFF differ: "), 0u) << console_.out;
    EXPECT_EQ(unit_.speedCode(), 7);
}

TEST_F(CliCommandsTest, ProgrammingOverOldDataFailsItsVerifyUnlessErasedFirst) {
    std::fill(unit_.chip().begin(), unit_.chip().end(), 0x00);
    const Bytes image = PatternBytes(0x800, 9);
    WriteWholeFile(File("img.bin"), image);
    EXPECT_EQ(Run({"program", File("img.bin"), "-c", "AM29F040"}), kExitMismatch);
    const std::size_t failed =
        console_.err.find("vorland-cli: programming did not take: the chip differs from " +
                          File("img.bin") + " first at chip address 000000");
    ASSERT_NE(failed, std::string::npos) << console_.err;
    EXPECT_NE(console_.err.find(" bytes differ in ", failed), std::string::npos) << console_.err;
    EXPECT_NE(console_.err.find("\n000000-", failed), std::string::npos) << console_.err;
    EXPECT_EQ(console_.out, "");

    ASSERT_EQ(Run({"program", File("img.bin"), "-c", "AM29F040", "--erase"}), kExitSuccess)
        << console_.err;
    EXPECT_EQ(Slice(unit_.chip(), 0, 0x800), image);
    EXPECT_EQ(unit_.chip()[0x7FFFF], 0xFF) << "the whole chip was erased";
    EXPECT_NE(console_.err.find("Erased the AM29F040 in "), std::string::npos);

    const std::uint32_t blocks = unit_.counters().blocks;
    ASSERT_EQ(Run({"program", File("img.bin"), "-c", "AM29F040", "--no-verify"}), kExitSuccess);
    EXPECT_EQ(unit_.counters().blocks - blocks, 8u) << "eight write blocks, nothing read back";
    EXPECT_EQ(console_.out, "programmed 000000-0007FF of the AM29F040 from " + File("img.bin") +
                                " (not verified)\n" + ChecksumLine(0, image));
}

TEST_F(CliCommandsTest, BadFilesAreRefusedBeforeTheUnitIsTouched) {
    struct Case {
        const char* name;
        std::string content;
        std::string message;  // after "vorland-cli: " and the path
    };
    const Case cases[] = {
        {"img.hex", ":03000000010203F7\n:03000300010203F3\n:00000001FF\n",
         ":2: bad checksum: the record says 0xF3, its bytes need 0xF4"},
        {"img.s19", "S10512340102B1\nS5030001FB\nS10512360304AB\n",
         ":2: the record count says 1 data records, the file holds 2"},
        {"img.hex", ":040100001122334451\n:010103009962\n:00000001FF\n",
         ":2: the byte at 0x00000103 differs from line 1 (0x44 there, 0x99 here)"},
        {"img.hex", ":03000000010203F7\n:020000040008F2\n:0100000011EE\n:00000001FF\n",
         ":3: the image does not fit the AM29F040 (000000-07FFFF): it holds data at 0x080000; "
         "choose the part to use with --file-range"},
        {"img.bin", "", ": the image holds no data"},
    };
    for (const Case& c : cases) {
        WriteText(File(c.name), c.content);
        ports_.ClearEvents();
        EXPECT_EQ(Run({"program", File(c.name), "-c", "AM29F040"}), kExitBadInput) << c.content;
        EXPECT_EQ(console_.err, "vorland-cli: " + File(c.name) + c.message + "\n");
        EXPECT_FALSE(PortTouched()) << c.content;
    }
    EXPECT_EQ(Run({"verify", File("missing.bin"), "-c", "AM29F040"}), kExitBadInput);
    EXPECT_EQ(console_.err,
              "vorland-cli: " + File("missing.bin") + ": No such file or directory\n");
    EXPECT_EQ(Run({"read", File("no/such/folder/out.bin"), "-c", "AM29F040"}), kExitBadInput);
    EXPECT_EQ(console_.err,
              "vorland-cli: " + File("no/such/folder/out.bin") + ": No such file or directory\n");
    EXPECT_FALSE(PortTouched());
    EXPECT_EQ(unit_.counters().frames, 0u);
}

// Offline: a binary file, the same bytes as a HEX image (whose gaps are FF), and an S-record
// image that differs in two places and runs 4 bytes longer.
TEST_F(CliCommandsTest, CompareListsTheRangesThatDifferAndExitsWithOne) {
    Bytes bytes(0x300, 0xFF);
    for (std::size_t i = 0x100; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    WriteWholeFile(File("a.bin"), bytes);
    WriteText(File("same.hex"), WriteIntelHex(bytes.data() + 0x100, 0x200, 0x100));
    Bytes changed = bytes;
    changed[0x180] = 0x00;
    std::fill(changed.begin() + 0x200, changed.begin() + 0x20C, 0xEE);
    changed.insert(changed.end(), {1, 2, 3, 4});
    WriteText(File("b.s19"), WriteSRecord(changed.data(), 0x304, 0, "b"));

    EXPECT_EQ(Run({"compare", File("a.bin"), File("same.hex")}), kExitSuccess) << console_.err;
    EXPECT_EQ(console_.out,
              File("a.bin") + " and " + File("same.hex") + " hold the same bytes at 000000-0002FF\n");
    EXPECT_EQ(Run({"compare", File("a.bin"), File("b.s19")}), kExitMismatch) << console_.err;
    EXPECT_EQ(console_.out,
              "17 bytes differ in 3 ranges\n"
              "000180-000180  a.bin 80                           b.s19 00\n"
              "000200-00020B  a.bin 00 01 02 03 04 05 06 07 ...  b.s19 EE EE EE EE EE EE EE EE ...\n"
              "000300-000303  a.bin (past its end)               b.s19 01 02 03 04\n");
    EXPECT_EQ(Run({"compare", File("a.bin"), File("b.s19"), "--json"}), kExitMismatch);
    nlohmann::json summary = nlohmann::json::parse(console_.out.substr(0, console_.out.find('\n')));
    summary.erase("time");
    EXPECT_EQ(summary, (nlohmann::json{{"file", File("a.bin")}, {"other", File("b.s19")},
                                       {"result", "differs"}, {"bytes", 17}, {"ranges", 3}}));
    EXPECT_EQ(console_.out.substr(console_.out.find('\n') + 1),
              "{\"range\":\"000180-000180\",\"bytes\":1}\n"
              "{\"range\":\"000200-00020B\",\"bytes\":12}\n"
              "{\"range\":\"000300-000303\",\"bytes\":4}\n");
    EXPECT_EQ(Run({"compare", File("same.hex"), File("a.bin"), "--fill", "0", "-q"}),
              kExitMismatch);
    EXPECT_EQ(console_.out,
              "256 bytes differ in 1 range\n"
              "000000-0000FF  same.hex 00 00 00 00 00 00 00 00 ...  a.bin FF FF FF FF FF FF FF FF ...\n");

    EXPECT_EQ(Run({"compare", File("a.bin"), File("missing.bin")}), kExitBadInput);
    EXPECT_EQ(console_.err,
              "vorland-cli: " + File("missing.bin") + ": No such file or directory\n");
    WriteText(File("bad.hex"), ":03000000010203F7\n:03000300010203F3\n:00000001FF\n");
    EXPECT_EQ(Run({"compare", File("bad.hex"), File("a.bin")}), kExitBadInput);
    EXPECT_EQ(console_.err, "vorland-cli: " + File("bad.hex") +
                                ":2: bad checksum: the record says 0xF3, its bytes need 0xF4\n");
    EXPECT_FALSE(PortTouched());
}

TEST_F(CliCommandsTest, AnSRecordFileWithoutAnEndRecordIsProgrammedWithANote) {
    WriteText(File("img.s19"), "S00600004844521B\nS10512340102B1\n");
    ASSERT_EQ(Run({"program", File("img.s19"), "-c", "AM29F040"}), kExitSuccess) << console_.err;
    EXPECT_EQ(console_.err.find("note: " + File("img.s19") +
                                ": no end record (S7, S8 or S9); the file is taken as complete\n"),
              0u)
        << console_.err;
    EXPECT_EQ(console_.out.substr(0, console_.out.find('\n')),
              "programmed and verified 001200-00123F of the AM29F040 from " + File("img.s19"));
    EXPECT_EQ(Slice(unit_.chip(), 0x1233, 4), (Bytes{0xFF, 1, 2, 0xFF}));
}

TEST_F(CliCommandsTest, NoSupportedUnit) {
    EXPECT_EQ(Run({"detect", "--port", "COM9"}), kExitNoUnit);
    EXPECT_EQ(console_.err,
              "vorland-cli: cannot open COM9: it does not exist, or another program holds it\n");
    ports_.AddPort("COM4", nullptr);
    EXPECT_EQ(Run({"read", File("x.bin"), "-c", "AM29F040", "--port", "COM4"}), kExitNoUnit);
    EXPECT_EQ(console_.err, "vorland-cli: no programmer answered on COM4\n");
    EXPECT_FALSE(std::filesystem::exists(File("x.bin"))) << "an output file it made is removed";

    UnitFaults silent;
    silent.silent = true;
    unit_.SetFaults(silent);
    EXPECT_EQ(Run({"blank", "-c", "AM29F040"}), kExitNoUnit);
    EXPECT_EQ(console_.err,
              "vorland-cli: no programmer answered on any COM port (name its port with --port)\n");

    unit_.SetFaults({});
    unit_.SetModel(UnitModel::kCalyxor2);
    EXPECT_EQ(Run({"detect"}), kExitNoUnit);
    EXPECT_EQ(console_.err.find("vorland-cli: found Calyxor II v"), 0u) << console_.err;
    EXPECT_NE(console_.err.find(" on COM2, an emulator: only the Vorland and Tandrel programmers "
                                "are supported\n"),
              std::string::npos);
}

TEST_F(CliCommandsTest, DetectAndInfo) {
    ASSERT_EQ(Run({"detect"}), kExitSuccess);
    EXPECT_EQ(console_.out, "Vorland v1.0.F on COM2\n");
    EXPECT_EQ(console_.err, "");
    ASSERT_EQ(Run({"info", "--port", "COM2", "-c", "27c256"}), kExitSuccess);
    EXPECT_EQ(console_.out,
              "Programmer:  Vorland v1.0.F\n"
              "Port:        COM2\n"
              "Firmware:    1.0, model letter F\n"
              "Hardware:    46 01 03 55 12 34 56  (information block, EEPROM 1 to 7)\n"
              "Link:        921600 baud\n"
              "Chip:        27C256, 32 KiB (000000-007FFF), read-only\n");
    ASSERT_EQ(Run({"info", "-c", "AM29F040", "--baud", "230400"}), kExitSuccess);
    EXPECT_NE(console_.out.find("Link:        230400 baud\nChip:        AM29F040, 512 KiB "
                                "(000000-07FFFF), 8 sectors of 64 KiB, program and erase\n"),
              std::string::npos)
        << console_.out;
    EXPECT_EQ(unit_.speedCode(), 7);
}

TEST_F(CliCommandsTest, TheLinkRateFollowsTheUnitAndTheOption) {
    WriteWholeFile(File("img.bin"), PatternBytes(0x100));
    ASSERT_EQ(Run({"program", File("img.bin"), "-c", "AM29F040", "--baud", "115200"}),
              kExitSuccess);
    EXPECT_EQ(unit_.counters().speedChanges, 0u);
    EXPECT_NE(console_.err.find("at 115200 baud"), std::string::npos);

    unit_.SetModel(UnitModel::kTandrelSerial);
    ASSERT_EQ(Run({"detect", "--baud", "921600"}), kExitSuccess);
    EXPECT_EQ(unit_.counters().speedChanges, 0u);
    EXPECT_EQ(console_.err.find("note: the Tandrel Serial v"), 0u) << console_.err;

    unit_.SetModel(UnitModel::kVorland);
    UnitFaults refuse;
    refuse.refuseSpeed = true;
    unit_.SetFaults(refuse);
    ASSERT_EQ(Run({"verify", File("img.bin"), "-c", "AM29F040"}), kExitSuccess);
    EXPECT_NE(console_.err.find("note: the unit did not take 921600 baud; staying at 115200\n"),
              std::string::npos)
        << console_.err;
}

TEST_F(CliCommandsTest, AUnitThatFallsSilentMidReadIsACommunicationFailure) {
    WriteText(File("old.hex"), "kept");
    UnitFaults stop;
    stop.stopBlock = 100;
    unit_.SetFaults(stop);
    const std::uint32_t start = clock_.TickCount();
    EXPECT_EQ(Run({"read", File("old.hex"), "-c", "AM29F040"}), kExitLinkFailure);
    EXPECT_NE(console_.err.find(
                  "vorland-cli: reading the AM29F040 failed at address 006400: the unit stopped "
                  "answering (KVTandrel: ReadChip: Read timed-out after 25600 bytes. Expected "
                  "524288 bytes.)\n"),
              std::string::npos)
        << console_.err;
    // The unit is silent, so it cannot be brought back from 921600 baud: say so.
    EXPECT_NE(console_.err.find("vorland-cli: the unit could not be returned to 115200 baud and is "
                                "left at 921600 baud: power it off and on before its next use\n"),
              std::string::npos)
        << console_.err;
    EXPECT_LT(clock_.TickCount() - start, 8000u) << "one 6 s read timeout, one 300 ms";
    EXPECT_EQ(ReadWholeFile(File("old.hex")), (Bytes{'k', 'e', 'p', 't'}));
    EXPECT_EQ(console_.out, "");
}

TEST_F(CliCommandsTest, APortThatFailsMidTransferIsACommunicationFailure) {
    WriteWholeFile(File("img.bin"), PatternBytes(0x8000));
    LinkFaults faults;
    faults.failReadAfter = 40;
    ports_.SetFaults("COM2", faults);
    EXPECT_EQ(Run({"program", File("img.bin"), "-c", "AM29F040"}), kExitLinkFailure);
    EXPECT_NE(console_.err.find("vorland-cli: programming the AM29F040 failed at address 00"),
              std::string::npos)
        << console_.err;
    EXPECT_NE(console_.err.find(": the unit did not accept a block"), std::string::npos);
}

TEST_F(CliCommandsTest, ARefusedBlockNamesTheUnitsAnswer) {
    WriteWholeFile(File("img.bin"), PatternBytes(0x1000));
    UnitFaults refuse;
    refuse.replyBlock = 3;
    refuse.replyByte = 'F';
    unit_.SetFaults(refuse);
    EXPECT_EQ(Run({"program", File("img.bin"), "-c", "AM29F040"}), kExitLinkFailure);
    EXPECT_NE(console_.err.find("vorland-cli: programming the AM29F040 failed at address 000300: "
                                "the unit did not accept a block (WriteChip Failed. Invalid "
                                "Response: 'F' (46))\n"),
              std::string::npos)
        << console_.err;
    EXPECT_EQ(unit_.speedCode(), 7);

    // A chip type that is not the one in the socket fails at once, with a hint.
    unit_.SetFaults({});
    EXPECT_EQ(Run({"read", File("x.bin"), "-c", "27C512"}), kExitLinkFailure);
    EXPECT_NE(console_.err.find("; is a 27C512 in the socket?\n"), std::string::npos)
        << console_.err;
}

TEST_F(CliCommandsTest, AnInterruptStopsAtTheNextBlockAndStillRestoresTheLink) {
    console_.terminal = true;
    int draws = 0;
    console_.onErr = [&](const std::string& text) {
        if (text.find("Reading") != std::string::npos && ++draws == 3) RequestInterrupt();
    };
    EXPECT_EQ(Run({"read", File("out.bin"), "-c", "AM29F040"}), kExitInterrupted);
    EXPECT_NE(console_.err.find("vorland-cli: interrupted while reading at address "),
              std::string::npos)
        << console_.err;
    EXPECT_LT(unit_.counters().blocks, 200u);
    EXPECT_EQ(unit_.speedCode(), 7);
    EXPECT_FALSE(std::filesystem::exists(File("out.bin")));

    console_.onErr = nullptr;
    ResetInterrupt();
    RequestInterrupt();  // before anything started
    EXPECT_EQ(Run({"erase", "-c", "AM29F040"}), kExitInterrupted);
    EXPECT_EQ(console_.err.substr(console_.err.find("vorland-cli:")),
              "vorland-cli: interrupted while looking for the programmer\n");
    EXPECT_EQ(unit_.counters().sectorErases, 0u);
    EXPECT_EQ(unit_.speedCode(), 7);
}

TEST_F(CliCommandsTest, EraseAndBlankCheck) {
    std::fill(unit_.chip().begin(), unit_.chip().end(), 0x00);
    EXPECT_EQ(Run({"blank", "-c", "AM29F040"}), kExitMismatch);
    EXPECT_EQ(console_.out, "the AM29F040 is not blank\n");
    ASSERT_EQ(Run({"erase", "-c", "AM29F040", "--sector", "3"}), kExitSuccess);
    EXPECT_EQ(console_.out, "erased sector 3 (030000-03FFFF) of the AM29F040\n");
    ASSERT_EQ(Run({"blank", "-c", "AM29F040", "--sector", "3"}), kExitSuccess);
    EXPECT_EQ(console_.out, "sector 3 (030000-03FFFF) of the AM29F040 is blank\n");
    EXPECT_EQ(Run({"blank", "-c", "AM29F040", "--sector", "4"}), kExitMismatch);
    ASSERT_EQ(Run({"erase", "-c", "AM29F040"}), kExitSuccess);
    EXPECT_EQ(console_.out, "erased the AM29F040\n");
    EXPECT_EQ(Run({"blank", "-c", "AM29F040"}), kExitSuccess);

    UnitFaults fail;
    fail.eraseFailSector = 5;
    unit_.SetFaults(fail);
    EXPECT_EQ(Run({"erase", "-c", "AM29F040"}), kExitLinkFailure);
    EXPECT_EQ(console_.err.substr(console_.err.find("vorland-cli:")),
              "vorland-cli: erasing the AM29F040 failed: the unit refused or did not answer\n");
    EXPECT_EQ(Run({"erase", "-c", "AM29F040", "--sector", "5"}), kExitLinkFailure);

    for (std::int32_t type : {0, 2}) {
        unit_.SetFaults({});
        ASSERT_TRUE(unit_.InsertChip(type));
        std::fill(unit_.chip().begin(), unit_.chip().end(), 0x12);
        const std::string name = type == 0 ? "AT29C256" : "27SF512";
        ASSERT_EQ(Run({"erase", "-c", name}), kExitSuccess) << console_.err;
        EXPECT_EQ(Run({"blank", "-c", name}), kExitSuccess) << name;
    }
}

TEST_F(CliCommandsTest, QuietAndVerbose) {
    ASSERT_EQ(Run({"read", File("q.hex"), "-c", "AM29F040", "--chip-range", "0-FF", "-q"}),
              kExitSuccess);
    EXPECT_EQ(console_.err, "");
    EXPECT_EQ(console_.out, "read 000000-0000FF of the AM29F040 into " + File("q.hex") +
                                " (Intel HEX)\n" + ChecksumLine(0, Bytes(0x100, 0xFF)));
    ASSERT_EQ(
        Run({"read", File("v.hex"), "-c", "AM29F040", "--chip-range", "0-FF", "-v", "-p", "COM2"}),
        kExitSuccess);
    EXPECT_NE(console_.err.find("(the link's messages call COM2 COM1)\n"), std::string::npos);
    EXPECT_NE(console_.err.find("KVTandrel: ReadChip took "), std::string::npos);
    EXPECT_NE(console_.err.find("KVTandrel: COM Port closed."), std::string::npos);
}

TEST_F(CliCommandsTest, TheTerminalBarIsWipedBeforeTheSummary) {
    console_.terminal = true;
    ASSERT_EQ(Run({"read", File("t.bin"), "-c", "AM29F040"}), kExitSuccess);
    const std::string& err = console_.err;
    EXPECT_NE(err.find("\rReading     ["), std::string::npos);
    EXPECT_NE(err.find("100%  512 KiB/512 KiB"), std::string::npos);
    const std::size_t summary = err.find("Read 512 KiB in ");
    ASSERT_NE(summary, std::string::npos) << err;
    EXPECT_EQ(err.substr(summary - 81, 81), "\r" + std::string(79, ' ') + "\r");
}

}  // namespace
