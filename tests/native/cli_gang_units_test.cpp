// vorland-cli on several units at once, as a process against four vorland-sim programs: each
// unit's result, files and chip, the table at the end, Ctrl+C and a unit unplugged. ./test also
// runs these under ThreadSanitizer.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"
#include "tests/native/support/cli_process_posix.h"
#include "tests/native/support/pattern_bytes.h"

namespace {

using namespace cli_process;

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
    const std::string range = "010000-017FFF";
    EXPECT_EQ(TableOf(f.out), (Table{{"Port", "Unit", "Result", "Time", "Range", "Checksums"},
                                     {Port(0), "Vorland v1.0.F", "verified", "T", range, sums},
                                     {Port(1), "-", "no programmer", "T", "-", "-"},
                                     {Port(2), "Vorland v1.0.F", "differs", "T", "-", "-"},
                                     {Port(3), "Vorland v1.0.F", "verified", "T", range, sums},
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
              (Table{{"Port", "Unit", "Result", "Time", "Range", "Checksums"},
                     {Port(0), "Vorland v1.0.F", "read", "T", "000000-000FFF", SumsOf(blank)},
                     {Port(1), "Vorland v1.0.F", "failed", "T", "-", "-"},
                     {Port(3), "Vorland v1.0.F", "read", "T", "000000-000FFF", SumsOf(poked)},
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
    ASSERT_EQ(table.size(), 6u) << f.out << f.err;
    EXPECT_EQ(table[4], std::vector<std::string>{"all 3 units succeeded"});
    EXPECT_EQ(table[5], std::vector<std::string>{"the 3 files read are identical"});
    for (std::size_t row : {1, 2, 3}) EXPECT_EQ(table[row][5], SumsOf(poked)) << row;
}

// A pattern or --ports runs as on several units however many ports it names: the files carry
// the port's name, and every unit's lines go through its row.
TEST_F(CliGangTest, APatternOrPortsListIsAlwaysSeveralUnits) {
    Finished f = Run({"read", dir_.File("dump.hex"), "-c", "AM29F040", "--chip-range", "0+40",
                      "--port", dir_.File("ports/ttyV[1]")});
    EXPECT_EQ(f.status, kExitSuccess) << f.err;
    EXPECT_TRUE(std::filesystem::exists(dir_.File("dump.ttyV1.hex")));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("dump.hex")));
    EXPECT_EQ(TableOf(f.out).back(), std::vector<std::string>{"the unit succeeded"});

    f = Run({"info", "--ports", Port(0) + "," + Port(2)});
    EXPECT_EQ(f.status, kExitSuccess) << f.err;
    const Table table = TableOf(f.out);
    ASSERT_EQ(table.size(), 4u) << f.out;
    EXPECT_EQ(table[1][2], "found");
    for (int unit : {0, 2}) {  // the units' lines may interleave
        for (const std::string& line : {std::string(": Programmer:  Vorland v1.0.F\n"),
                                        ": Port:        " + Port(unit) + "\n"}) {
            EXPECT_NE(f.err.find(Port(unit) + line), std::string::npos) << f.err;
        }
    }
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
    ASSERT_EQ(table.size(), 6u) << f.out << f.err;
    EXPECT_EQ(table[2][2], "failed");
    EXPECT_EQ(table[4], std::vector<std::string>{"1 of 3 units failed: " + Port(1) + " (failed)"});
    EXPECT_EQ(table[5], std::vector<std::string>{"the 2 files read are identical"});
    EXPECT_EQ(ReadWholeFile(dir_.File("out.ttyV0.bin")), Bytes(0x40000, 0xFF));
    EXPECT_EQ(ReadWholeFile(dir_.File("out.ttyV2.bin")), Bytes(0x40000, 0xFF));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.ttyV1.bin")));
}

}  // namespace

namespace {

using Json = nlohmann::json;

// The image 0000-03EF of the production tests, and what a chip holds with number at 03F8.
const Bytes kProductImage = PatternBytes(0x3F0, 23);
Bytes StampedImage(const std::string& number) {
    Bytes bytes = kProductImage;
    bytes.resize(0x400, 0xFF);
    std::copy(number.begin(), number.end(), bytes.begin() + 0x3F8);
    return bytes;
}
std::string Le32(std::uint32_t n) {
    return {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
}
std::vector<Json> JsonLines(const std::string& text) {
    std::vector<Json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(Json::parse(line, nullptr, false));
        EXPECT_FALSE(lines.back().is_discarded()) << line;
    }
    return lines;
}

}  // namespace

// Four units, three rounds with Enter between them, new chips each round; in round 2 the chip
// on the third unit holds old data and fails its verify. Every good chip carries its own number,
// none twice and none skipped; the serial file takes the next run on from there.
TEST_F(CliGangTest, ProductionRoundsNumberEveryGoodChipOnce) {
    const std::string hex = WriteIntelHex(kProductImage.data(), 0x3F0, 0);
    WriteWholeFile(dir_.File("img.hex"), Bytes(hex.begin(), hex.end()));
    const std::string serialFile = dir_.File("serial.txt");
    const std::string log = dir_.File("run.jsonl");
    std::string ports;
    for (int unit : {0, 1, 2, 3}) ports += (unit > 0 ? "," : "") + Port(unit);
    CliProcess cli(
        dir_,
        {"program", dir_.File("img.hex"), "-c", "AM29F040", "--ports", ports, "--serial-at", "3F8",
         "--serial-start", "1000", "--serial-file", serialFile, "--repeat", "--log", log},
        true);
    const std::string prompt = "Insert the next chips and press Enter; q and Enter to stop\n";
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(cli.AwaitErr(prompt, round)) << round;
        for (int unit = 0; unit < 4 && round < 3; ++unit) {
            ASSERT_EQ(sims_[unit]->Command(round == 1 && unit == 2 ? "fill 0x00" : "fill 0xFF"),
                      "ok");
        }
        cli.Type(round < 3 ? "\n" : "q\n");
    }
    const Finished f = cli.Wait();
    EXPECT_EQ(f.status, kExitMismatch) << f.err;
    EXPECT_NE(f.out.find("3 rounds: 11 of 12 chips good, serial numbers 1000 to 1010\n"
                         "chips failed on " +
                         Port(2) + " (round 2)\n"),
              std::string::npos)
        << f.out;

    std::vector<Json> lines = JsonLines(TextOf(log));
    ASSERT_EQ(lines.size(), 24u) << "a started record before each chip, its result after";
    EXPECT_EQ(std::erase_if(lines, [](const Json& line) { return line["result"] == "started"; }),
              12u);
    std::vector<std::uint64_t> good;
    std::map<std::string, std::uint32_t> lastGood;
    for (const Json& line : lines) {
        const auto serial = line["serial"].get<std::uint32_t>();
        const Bytes image = StampedImage(Le32(serial));
        EXPECT_EQ(line["crc32"], Printf("%08X", Crc32Update(0, image.data(), image.size())));
        EXPECT_EQ(line["range"], "000000-0003FF");
        EXPECT_EQ(line["unit"], "Vorland v1.0.F");
        EXPECT_EQ(line["chip"], "AM29F040");
        if (line["result"] == "verified") {
            good.push_back(serial);
            lastGood[line["port"]] = std::max(lastGood[line["port"]], serial);
        } else {
            EXPECT_EQ(line["result"], "failed");
            EXPECT_EQ(line["round"], 2);
            EXPECT_EQ(line["port"], Port(2));
            EXPECT_EQ(line["message"].get<std::string>().rfind("programming did not take: ", 0),
                      0u);
        }
    }
    std::sort(good.begin(), good.end());
    std::vector<std::uint64_t> expected(11);
    std::iota(expected.begin(), expected.end(), 1000u);
    EXPECT_EQ(good, expected);
    for (int unit : {0, 1, 2, 3}) {
        const Bytes chip = Chip(unit);
        EXPECT_EQ(Bytes(chip.begin(), chip.begin() + 0x400),
                  StampedImage(Le32(lastGood[Port(unit)])))
            << unit;
    }
    EXPECT_EQ(TextOf(serialFile), "1011\n");

    ASSERT_EQ(sims_[0]->Command("fill 0xFF"), "ok");  // a new chip
    const Finished next =
        Run({"program", dir_.File("img.hex"), "-c", "AM29F040", "--port", Port(0), "--serial-at",
             "3F8", "--serial-format", "dec:8", "--serial-file", serialFile, "--json"});
    EXPECT_EQ(next.status, kExitSuccess) << next.err;
    const std::vector<Json> records = JsonLines(next.out);
    ASSERT_EQ(records.size(), 1u) << next.out;
    EXPECT_EQ(records[0]["serial"], 1011);
    EXPECT_EQ(records[0]["result"], "verified");
    const Bytes chip = Chip(0);
    EXPECT_EQ(Bytes(chip.begin(), chip.begin() + 0x400), StampedImage("00001011"));
    EXPECT_EQ(TextOf(serialFile), "1012\n");

    // Ctrl+C at the prompt ends the run, the units back at 115200 baud.
    ASSERT_EQ(sims_[1]->Command("fill 0xFF"), "ok");
    CliProcess stopped(dir_,
                       {"program", dir_.File("img.hex"), "-c", "AM29F040", "--port", Port(1),
                        "--serial-at", "3F8", "--serial-file", serialFile, "--repeat"},
                       true);
    ASSERT_TRUE(stopped.AwaitErr(prompt, 1));
    stopped.Signal(SIGINT);
    const Finished last = stopped.Wait(10000);
    EXPECT_EQ(last.status, kExitInterrupted) << last.err;
    EXPECT_NE(last.out.find("1 round: 1 of 1 chips good, serial numbers 1012\n"),
              std::string::npos)
        << last.out;
    EXPECT_EQ(TextOf(serialFile), "1013\n");
    EXPECT_EQ(Status(1, "speed"), 7);
}

// Records stay valid JSON whatever a port or message holds; a number that does not fit its
// format stops the run before anything is written.
TEST_F(CliGangTest, RecordsAreEscapedAndANumberThatDoesNotFitIsRefused) {
    const std::string odd = dir_.File("ports/a\"b\\c\x01d");
    ASSERT_EQ(sims_[3]->Command("link " + odd), "ok");
    const std::string image = dir_.File("img \"1\"\\x\t.bin");
    WriteWholeFile(image, kProductImage);
    ASSERT_EQ(sims_[3]->Command("fill 0x00"), "ok");
    Finished f = Run({"program", image, "-c", "AM29F040", "--ports", Port(0) + "," + odd, "--json",
                      "--serial-at", "3F8"});
    EXPECT_EQ(f.status, kExitMismatch) << f.err;
    const std::vector<Json> records = JsonLines(f.out);
    ASSERT_EQ(records.size(), 2u) << f.out;
    const Json& failed = records[0]["port"] == odd ? records[0] : records[1];
    EXPECT_EQ(failed["port"], odd);
    EXPECT_NE(failed["message"].get<std::string>().find("the chip differs from " + image),
              std::string::npos)
        << failed;

    const struct {
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {{"--serial-format", "le16", "--serial-start", "65535"},
         "serial number 65536 of round 1 does not fit le16 (at most 65535)"},
        {{"--serial-format", "dec:2", "--serial-start", "100"},
         "serial number 100 of round 1 does not fit dec:2 (at most 99)"},
        {{"--serial-file", dir_.File("word.txt")},
         dir_.File("word.txt") +
             ": does not hold a serial number (a decimal number, or hex after 0x)"},
    };
    WriteWholeFile(dir_.File("word.txt"), Bytes{'1', '2', 'a', '\n'});
    for (const auto& c : cases) {
        std::vector<std::string> args = {"program",
                                         image,
                                         "-c",
                                         "AM29F040",
                                         "--ports",
                                         Port(0) + "," + Port(1),
                                         "--serial-at",
                                         "3F8",
                                         "--serial-file",
                                         dir_.File("serial.txt"),
                                         "--log",
                                         dir_.File("log.jsonl")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        for (int unit : {0, 1}) ASSERT_EQ(sims_[unit]->Command("reset"), "ok");
        f = Run(args);
        EXPECT_EQ(f.status, kExitBadInput) << f.err;
        EXPECT_EQ(f.err, "vorland-cli: " + c.message + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir_.File("serial.txt")));
        EXPECT_EQ(TextOf(dir_.File("log.jsonl")), "");
        for (int unit : {0, 1}) EXPECT_EQ(Status(unit, "frames"), 0) << unit;
    }
}

namespace {

// A production run on the four units: the image of the tests above, its number at 03F8.
std::vector<std::string> ProductionArgs(const std::string& image, const std::string& ports,
                                        std::vector<std::string> more) {
    std::vector<std::string> args = {"program", image, "-c", "AM29F040", "--ports", ports,
                                     "--serial-at", "3F8"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

// A unit that is not there takes no number and leaves a unit record; one unplugged mid-block
// gives its number back (its block with the number was never sent) and its record keeps the
// first reason; the summary lists the numbers exactly, and the number given back is the first
// one the next run takes.
TEST_F(CliGangTest, NumbersGoOnlyToChipsAndComeBackFromChipsThatNeverGotThem) {
    WriteWholeFile(dir_.File("img.bin"), kProductImage);
    const std::string serialFile = dir_.File("serial.txt");
    const std::string log = dir_.File("prod.jsonl");
    ASSERT_EQ(sims_[1]->Command("fault silent"), "ok");
    ASSERT_EQ(sims_[2]->Command("fault stop 2"), "ok");  // after the socket's look, one block
    const Finished f =
        Run(ProductionArgs(dir_.File("img.bin"), Port(0) + "," + Port(1) + "," + Port(2) + "," + Port(3),
                           {"--serial-start", "256", "--serial-step", "10", "--serial-file",
                            serialFile, "--log", log}));
    EXPECT_EQ(f.status, kExitLinkFailure) << f.err;
    EXPECT_NE(f.out.find("1 round: 2 of 3 chips good, serial numbers 256, 276\n"
                         "chips failed on " + Port(2) + " (round 1)\n"
                         "no programmer on " + Port(1) + " (round 1)\n"
                         "serial numbers given back, the first the next run takes: 266\n"),
              std::string::npos)
        << f.out;
    EXPECT_EQ(TextOf(serialFile), "286\nreturned 266\n");
    std::map<std::string, Json> ends;
    std::map<std::string, Json> starts;
    for (const Json& line : JsonLines(TextOf(log))) {
        (line["result"] == "started" ? starts : ends)[line["port"]] = line;
        EXPECT_EQ(line["run"], JsonLines(TextOf(log))[0]["run"]);
        EXPECT_EQ(line["version"].get<std::string>().empty(), false);
    }
    EXPECT_EQ(starts.size(), 3u) << "a started record for each chip, none for the absent unit";
    EXPECT_EQ(starts.count(Port(1)), 0u);
    const Json& absent = ends[Port(1)];
    EXPECT_EQ(absent["result"], "no programmer");
    EXPECT_TRUE(absent["unit"].is_null());
    EXPECT_FALSE(absent.contains("serial"));
    EXPECT_FALSE(absent.contains("crc32"));
    const Json& unplugged = ends[Port(2)];
    EXPECT_EQ(unplugged["serial"], 266);
    EXPECT_EQ(unplugged["returned"], true);
    EXPECT_EQ(unplugged["message"].get<std::string>().rfind(
                  "programming the AM29F040 failed at address 000100", 0),
              0u)
        << unplugged;
    const Bytes stamped = StampedImage(Le32(256));
    const Json& good = ends[Port(0)];
    EXPECT_EQ(good["serial"], 256);
    EXPECT_EQ(good["result"], "verified");
    EXPECT_EQ(good["verify"], "full");
    EXPECT_EQ(good["image"], dir_.File("img.bin"));
    Bytes plain = kProductImage;
    plain.resize(0x400, 0xFF);
    EXPECT_EQ(good["image_crc32"], Printf("%08X", Crc32Update(0, plain.data(), plain.size())));
    EXPECT_EQ(good["crc32"], Printf("%08X", Crc32Update(0, stamped.data(), stamped.size())));
    EXPECT_EQ(starts[Port(0)]["crc32"], good["crc32"]);

    ASSERT_EQ(sims_[1]->Command("fault clear"), "ok");
    const Finished next = Run(ProductionArgs(dir_.File("img.bin"), Port(1),
                                             {"--serial-file", serialFile, "--quick", "--json"}));
    EXPECT_EQ(next.status, kExitSuccess) << next.err;
    const std::vector<Json> records = JsonLines(next.out);
    ASSERT_EQ(records.size(), 1u) << next.out;
    EXPECT_EQ(records[0]["serial"], 266);
    EXPECT_EQ(records[0]["verify"], "quick");
    EXPECT_EQ(TextOf(serialFile), "286\n");
}

// The serial file is the one counter: a --repeat run reads it again each round, so a run that
// took numbers while it waited at its prompt is not repeated; a socket that still holds the
// last round's chip is skipped without a number; a file held locked makes a run say so.
TEST_F(CliGangTest, RunsSharingASerialFileNeverRepeatANumberNorStampAChipTwice) {
    WriteWholeFile(dir_.File("img.bin"), kProductImage);
    const std::string serialFile = dir_.File("serial.txt");
    const std::string prompt = "Insert the next chips and press Enter; q and Enter to stop\n";
    CliProcess waiting(dir_,
                       ProductionArgs(dir_.File("img.bin"), Port(0),
                                      {"--serial-start", "200", "--serial-file", serialFile,
                                       "--repeat"}),
                       true, "-waiting");
    ASSERT_TRUE(waiting.AwaitErr(prompt, 1));
    Finished oneOff = Run(ProductionArgs(dir_.File("img.bin"), Port(1) + "," + Port(2),
                                         {"--serial-file", serialFile}));
    EXPECT_EQ(oneOff.status, kExitSuccess) << oneOff.err;
    EXPECT_NE(oneOff.out.find("serial numbers 201 to 202\n"), std::string::npos) << oneOff.out;

    waiting.Type("\n");  // no new chip: the one of round 1 is still in the socket
    ASSERT_TRUE(waiting.AwaitErr(prompt, 2));
    ASSERT_EQ(sims_[0]->Command("insert"), "ok");
    waiting.Type("\n");
    ASSERT_TRUE(waiting.AwaitErr(prompt, 3));
    waiting.Type("q\n");
    const Finished f = waiting.Wait();
    EXPECT_EQ(f.status, kExitSuccess) << f.err;
    EXPECT_NE(f.err.find(Port(0) + " still holds the chip of round 1 (serial 200): insert a new "
                                   "chip\n"),
              std::string::npos)
        << f.err;
    EXPECT_NE(f.out.find("3 rounds: 2 of 2 chips good, serial numbers 200, 203\n"
                         "1 socket still held a chip already programmed: skipped\n"),
              std::string::npos)
        << f.out;
    const Bytes chip = Chip(0);
    EXPECT_EQ(Bytes(chip.begin(), chip.begin() + 0x400), StampedImage(Le32(203)));
    EXPECT_EQ(TextOf(serialFile), "204\n");

    // Another run holds the lock (here: this test, on the lock file's mutex byte).
    const int lock = open((serialFile + ".lock").c_str(), O_RDWR);
    struct flock held {};
    held.l_type = F_WRLCK;
    held.l_whence = SEEK_SET;
    held.l_start = off_t(1) << 61;
    held.l_len = 1;
    ASSERT_EQ(fcntl(lock, F_OFD_SETLK, &held), 0);
    ASSERT_EQ(sims_[3]->Command("insert"), "ok");
    const Finished busy = Run(ProductionArgs(dir_.File("img.bin"), Port(3),
                                             {"--serial-file", serialFile, "--if-busy", "stop"}));
    close(lock);
    EXPECT_EQ(busy.status, kExitBadInput);
    EXPECT_EQ(busy.err, "vorland-cli: " + serialFile + " is busy: another vorland-cli holds " +
                            serialFile + ".lock (its lock)\n");
    EXPECT_EQ(Status(3, "frames"), 0);
}

// What a production run says when it refuses, or notes, something about its numbers.
TEST_F(CliGangTest, ProductionMessagesSayWhatIsWrong) {
    WriteWholeFile(dir_.File("small.bin"), PatternBytes(0x1000, 5));
    const std::string serialFile = dir_.File("serial.txt");
    const struct {
        std::string serialText;  // "" no file; "-" a read-only file holding 7
        std::vector<std::string> options;
        int status;
        std::string err;         // a line stderr holds
        std::string serialAfter;
    } cases[] = {
        {"", {"--serial-at", "7FFFE"}, kExitBadInput,
         "vorland-cli: the serial number at 0007FFFE-00080001 (le32) does not fit the AM29F040: "
         "it lies outside the chip range that the image fits (000000-000FFF)\n",
         ""},
        {"", {"--serial-at", "7FFF0", "--serial-file", serialFile}, kExitSuccess,
         "note: the serial number at 0007FFF0 widens the range programmed from 000000-000FFF "
         "(the image, 4 KiB) to 000000-07FFFF (512 KiB)\n",
         "2\n"},
        {"\xEF\xBB\xBF" "41\r\n", {"--serial-at", "10", "--serial-file", serialFile,
                                   "--serial-start", "9"},
         kExitSuccess, "note: " + serialFile + " holds the next number, 41: --serial-start is "
                       "not used\n",
         "42\n"},
        {"-", {"--serial-at", "10", "--serial-file", serialFile}, kExitBadInput,
         "vorland-cli: " + serialFile + ": the file is read-only, so the next serial number "
                                        "cannot be kept in it\n",
         "7\n"},
        {"65534\n", {"--serial-at", "10", "--serial-format", "le16", "--serial-file", serialFile,
                     "--ports", Port(0) + "," + Port(1)},
         kExitSuccess, "", "65536\n"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(serialFile);
        if (c.serialText == "-") {
            WriteWholeFile(serialFile, Bytes{'7', '\n'});
            std::filesystem::permissions(serialFile, std::filesystem::perms::owner_read);
        } else if (!c.serialText.empty()) {
            WriteWholeFile(serialFile, Bytes(c.serialText.begin(), c.serialText.end()));
        }
        for (int unit : {0, 1}) ASSERT_EQ(sims_[unit]->Command("insert"), "ok");
        std::vector<std::string> args = {"program", dir_.File("small.bin"), "-c", "AM29F040"};
        if (std::find(c.options.begin(), c.options.end(), "--ports") == c.options.end()) {
            args.insert(args.end(), {"--port", Port(0)});
        }
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Finished f = Run(args);
        EXPECT_EQ(f.status, c.status) << c.options[1] << "\n" << f.err;
        EXPECT_NE(f.err.find(c.err), std::string::npos) << c.options[1] << "\n" << f.err;
        if (!c.serialAfter.empty()) EXPECT_EQ(TextOf(serialFile), c.serialAfter) << c.options[1];
        std::error_code none;
        std::filesystem::permissions(serialFile, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, none);
    }
}

// Enter pressed twice while a round runs at a terminal starts no round: the next one waits for
// a line typed after its prompt. (From a pipe each line is a round, as scripts rely on.)
TEST_F(CliGangTest, EnterTypedAheadAtATerminalStartsNoRound) {
    WriteWholeFile(dir_.File("img.bin"), kProductImage);
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const std::string input = ptsname(terminal);
    std::vector<std::string> args = {kCli, "program", dir_.File("img.bin"), "-c", "AM29F040",
                                     "--port", Port(0), "--serial-at", "3F8", "--repeat"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDWR | O_NOCTTY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, dir_.File("out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, dir_.File("err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, kCli, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const auto type = [&](const char* text) {
        ASSERT_EQ(write(terminal, text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
    };
    type("\n\n");  // while round 1 runs
    const auto prompts = [&] {
        const std::string err = TextOf(dir_.File("err.txt"));
        int n = 0;
        for (auto at = err.find("press Enter"); at != std::string::npos;
             at = err.find("press Enter", at + 1)) {
            ++n;
        }
        return n;
    };
    for (int i = 0; i < 3000 && prompts() < 1; ++i) usleep(10000);
    ASSERT_EQ(prompts(), 1) << TextOf(dir_.File("err.txt"));
    const long frames = Status(0, "frames");
    usleep(500000);
    EXPECT_EQ(prompts(), 1) << "no round ran on the lines typed ahead";
    EXPECT_EQ(Status(0, "frames"), frames);
    type("q\n");
    int status = -1;
    for (int i = 0; i < 1000 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(10000);
    close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitSuccess) << status;
    EXPECT_NE(TextOf(dir_.File("out.txt")).find("1 round: 1 of 1 chips good, serial numbers 1\n"),
              std::string::npos)
        << TextOf(dir_.File("out.txt"));
}
