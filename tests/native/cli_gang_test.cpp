// What vorland-cli shows and decides when it drives several units: the file of each unit, the
// exit status of all, the board of rows or prefixed lines, and the table at the end. The units
// themselves run against simulators in cli_program_test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/gang_board.h"
#include "cli/gang_run.h"
#include "cli/output_file.h"

namespace {

class RecordingConsole final : public CliConsole {
  public:
    void Out(const std::string& text) override { out += text; }
    void Err(const std::string& text) override { err += text; }
    bool ErrIsTerminal() override { return true; }
    int TerminalWidth() override { return 80; }

    std::string out;
    std::string err;
};

TEST(CliGang, EachUnitsFileHasItsPortBeforeTheExtension) {
    struct Case {
        const char* path;
        const char* port;
        const char* file;
    };
    const Case cases[] = {
        {"dump.hex", "/dev/ttyUSB0", "dump.ttyUSB0.hex"},
        {"dump.hex", "COM3", "dump.COM3.hex"},
        {"out/dump.s19", "\\\\.\\COM12", "out/dump.COM12.s19"},
        {"dump", "COM3", "dump.COM3"},
        {"v1.2/dump", "COM3", "v1.2/dump.COM3"},
        {"a.b.bin", "ttyS0", "a.b.ttyS0.bin"},
        {".hex", "COM1", ".hex.COM1"},
        {"C:\\roms\\x.bin", "COM4", "C:\\roms\\x.COM4.bin"},
    };
    for (const Case& c : cases) EXPECT_EQ(PortFileName(c.path, c.port), c.file) << c.path;
}

TEST(CliGang, TheExitStatusIsTheWorstOfTheUnits) {
    struct Case {
        std::vector<int> codes;
        bool interrupted;
        int status;
    };
    const Case cases[] = {
        {{0, 0, 0}, false, kExitSuccess},      {{0, 1, 0}, false, kExitMismatch},
        {{1, 3, 0}, false, kExitNoUnit},       {{3, 4, 1}, false, kExitLinkFailure},
        {{4, 2, 3}, false, kExitBadInput},     {{0, 0, 0}, true, kExitInterrupted},
        {{130, 4, 0}, true, kExitInterrupted},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GangExitStatus(c.codes, c.interrupted), c.status)
            << ::testing::PrintToString(c.codes);
    }
}

TEST(CliGang, PlainLinesCarryTheirPort) {
    RecordingConsole console;
    GangBoard board(console, {"COM3", "/dev/ttyUSB0"}, false, true);
    GangSeat seat(board, 1);
    seat.Err("Programming: 40% (208 KiB of 512 KiB)\nProgr");
    seat.Begin("Programming", 1000, nullptr, 0);  // no rows: nothing shown
    seat.Out("amming: 50%\n");
    board.Line(0, "error: no programmer answered on COM3");
    board.Close();
    EXPECT_EQ(console.err,
              "/dev/ttyUSB0: Programming: 40% (208 KiB of 512 KiB)\n"
              "/dev/ttyUSB0: Programming: 50%\n"
              "COM3: error: no programmer answered on COM3\n");
    EXPECT_EQ(console.out, "");
}

TEST(CliGang, RowsAreRedrawnInPlaceWithMessagesAbove) {
    RecordingConsole console;
    GangBoard board(console, {"COM3", "COM10"}, true, true);
    GangSeat first(board, 0);
    GangSeat second(board, 1);
    first.Begin("Detecting", 0, nullptr, 1000);
    EXPECT_EQ(console.err,
              "\rCOM3   Detecting\x1b[K\n"
              "COM10  Starting\x1b[K\n");
    console.err.clear();
    second.Begin("Reading", 1024, nullptr, 1000);
    second.Update(256, 1050);  // within 100 ms of the last redraw: not drawn
    EXPECT_EQ(
        console.err,
        "\r\x1b[2ACOM3   Detecting\x1b[K\n"
        "COM10  Reading     [.........................................]    0%  0 B/1 KiB\x1b[K\n");
    console.err.clear();
    second.Update(512, 1200);
    EXPECT_EQ(
        console.err,
        "\r\x1b[2ACOM3   Detecting\x1b[K\n"
        "COM10  Reading     [########.........]   50%  512 B/1 KiB  2.5 KiB/s  0:00 left\x1b[K\n");
    console.err.clear();
    first.Err("error: no programmer answered on COM3\n");
    EXPECT_EQ(
        console.err,
        "\r\x1b[2ACOM3: error: no programmer answered on COM3\x1b[K\n"
        "COM3   Detecting\x1b[K\n"
        "COM10  Reading     [########.........]   50%  512 B/1 KiB  2.5 KiB/s  0:00 left\x1b[K\n");
    console.err.clear();
    board.Close();
    EXPECT_EQ(console.err, "\r\x1b[2A\x1b[J");
}

TEST(CliGang, ARowNeverWraps) {
    const ProgressFigures none{0, 0, 0, true, nullptr};
    EXPECT_EQ(GangRowText("COM3", 12, "no programmer", none, 80), "COM3          no programmer");
    EXPECT_EQ(GangRowText("/dev/serial/by-id/usb-FTDI", 26, "Detecting", none, 30),
              "/dev/serial/by-id/usb-FTDI  D");
    const ProgressFigures half{256, 512, 1000, true, nullptr};
    for (int width : {20, 40, 80, 120}) {
        EXPECT_LT(GangRowText("COM3", 4, "Programming", half, width).size(),
                  static_cast<std::size_t>(width))
            << width;
    }
    EXPECT_EQ(GangRowText("COM3", 4, "Programming", half, 80).substr(0, 19), "COM3  Programming [");
}

TEST(CliGang, TheTableGivesEachUnitsResultTimeRangeAndChecksums) {
    const std::vector<GangSummaryRow> rows = {
        {"COM3", "Vorland v1.0.F", "verified", 12600, "010000-017FFF", "sum 4B80, CRC-32 84B1F3F0"},
        {"COM4", "", "no programmer", 310, "", ""},
        {"/dev/ttyUSB0", "Tandrel USB v2.5.A", "differs", 9500, "", ""},
    };
    EXPECT_EQ(GangSummaryTable(rows),
              "Port          Unit                Result         Time    Range          Checksums\n"
              "COM3          Vorland v1.0.F      verified       12.6 s  010000-017FFF  "
              "sum 4B80, CRC-32 84B1F3F0\n"
              "COM4          -                   no programmer  310 ms  -              -\n"
              "/dev/ttyUSB0  Tandrel USB v2.5.A  differs        9.5 s   -              -\n");
}

}  // namespace
