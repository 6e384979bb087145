// What the user sees while several units work at once, and the table that sums them up.
//
// On a terminal that takes cursor moves, the board keeps one row per unit below the text on
// stderr (the port, then the unit's state, or its operation with a bar, percentage and rate)
// and redraws the rows in place, at most every 100 ms; the units' messages scroll above them.
// Otherwise every line of a unit is written as it comes, after its port ("COM3: Programmed 512
// KiB in 6.1 s (84.0 KiB/s)."), and its progress comes as the plain lines of a single unit.
// Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_environment.h"
#include "cli/progress_line.h"

// One unit's row: the port padded to portWidth, two blanks, then the label alone (no figures,
// or a total of 0) or the label with its progress bar; at most width - 1 characters.
[[nodiscard]] std::string GangRowText(const std::string& port, std::size_t portWidth,
                                      const std::string& label, const ProgressFigures& figures,
                                      int width);

// Thread-safe: the units' threads call it at once.
class GangBoard {
  public:
    // ports: one row each, in this order. rows: draw rows in place (console takes cursor
    // moves); lines: write the units' lines (else only the rows, or nothing).
    GangBoard(CliConsole& console, std::vector<std::string> ports, bool rows, bool lines);
    GangBoard(const GangBoard&) = delete;
    GangBoard& operator=(const GangBoard&) = delete;

    bool rows() const { return rows_; }
    // One line of a unit's text, without its line end.
    void Line(std::size_t unit, const std::string& text);
    // Sets a unit's row; redrawn at once when force, else when 100 ms have passed since the
    // last redraw.
    void Show(std::size_t unit, const std::string& label, const ProgressFigures& figures,
              std::uint32_t nowMs, bool force);
    // Results for stdout (a record line), kept apart from the rows should both reach one
    // terminal.
    void Out(const std::string& text);
    // Takes the rows off the screen, for what comes after the units' work.
    void Close();

  private:
    struct Row {
        std::string label = "Starting";
        ProgressFigures figures{0, 0, 0, true, nullptr};
    };
    // The escape sequence that moves the cursor to the first row, and the rows themselves.
    std::string Home() const;
    std::string RowsText() const;

    CliConsole& console_;
    std::vector<std::string> ports_;
    std::size_t portWidth_ = 0;
    int width_;
    bool rows_;
    bool lines_;
    std::mutex mutex_;        // guards what follows, and the console
    std::vector<Row> state_;  // per unit
    bool drawn_ = false;      // the rows are on the screen
    std::uint32_t lastDrawMs_ = 0;
};

// A unit's seat at the board: the console its UnitRun writes to, whose every line goes to the
// board after the unit's port, and its row. Belongs to the unit's thread.
class GangSeat final : public CliConsole {
  public:
    GangSeat(GangBoard& board, std::size_t unit) : board_(board), unit_(unit) {}

    void Out(const std::string& text) override { Err(text); }
    void Err(const std::string& text) override;
    // Progress comes as plain lines, if not in the row.
    bool ErrIsTerminal() override { return false; }
    int TerminalWidth() override { return 80; }

    bool rows() const { return board_.rows(); }
    // The row: label with progress towards total bytes (or steps, when stepName is set); a
    // total of 0 shows the label alone.
    void Begin(const std::string& label, std::uint64_t total, const char* stepName,
               std::uint32_t nowMs);
    void Update(std::uint64_t done, std::uint32_t nowMs);

  private:
    GangBoard& board_;
    std::size_t unit_;
    std::string pending_;  // the start of a line not yet ended
    std::string label_;
    ProgressFigures figures_{0, 0, 0, true, nullptr};
    std::uint32_t startMs_ = 0;
};

// A unit's line in the table at the end.
struct GangSummaryRow {
    std::string port;
    std::string unit;       // "" none found
    std::string result;     // "verified", "no programmer", ...
    std::uint32_t ms;       // the unit's whole time
    std::string range;      // the chip range read, programmed or verified: "010000-017FFF"
    std::string checksums;  // of its bytes: "sum 4B80, CRC-32 84B1F3F0"; both "" none
};

// The table: a heading and one line per unit, columns as wide as their widest entry.
[[nodiscard]] std::string GangSummaryTable(const std::vector<GangSummaryRow>& rows);
