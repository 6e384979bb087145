#include "cli/gang_board.h"

#include <algorithm>

#include "formats/text_format.h"

namespace {

constexpr std::uint32_t kRedrawMs = 100;

// Erases the rest of the line after a row or a message written over an old row.
constexpr char kEraseLine[] = "\x1b[K";

}  // namespace

std::string GangRowText(const std::string& port, std::size_t portWidth, const std::string& label,
                        const ProgressFigures& figures, int width) {
    const std::string head = PadRight(port, portWidth) + "  ";
    std::string row = head + label;
    if (figures.total > 0) {
        row = head + ProgressBarLine(label, figures, width - static_cast<int>(head.size()));
    }
    // A row that wrapped would take two lines, and the cursor moves count one.
    if (width > 1 && row.size() > static_cast<std::size_t>(width - 1)) {
        row.resize(static_cast<std::size_t>(width - 1));
    }
    return row;
}

GangBoard::GangBoard(CliConsole& console, std::vector<std::string> ports, bool rows, bool lines)
    : console_(console),
      ports_(std::move(ports)),
      width_(console.TerminalWidth()),
      rows_(rows),
      lines_(lines),
      state_(ports_.size()) {
    for (const std::string& port : ports_) portWidth_ = std::max(portWidth_, port.size());
}

std::string GangBoard::Home() const {
    return drawn_ ? Printf("\r\x1b[%uA", static_cast<unsigned>(ports_.size())) : "\r";
}

std::string GangBoard::RowsText() const {
    std::string text;
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        text += GangRowText(ports_[i], portWidth_, state_[i].label, state_[i].figures, width_) +
                kEraseLine + "\n";
    }
    return text;
}

void GangBoard::Line(std::size_t unit, const std::string& text) {
    if (!lines_) return;
    std::lock_guard lock(mutex_);
    if (!rows_) {
        console_.Err(ports_[unit] + ": " + text + "\n");
        return;
    }
    console_.Err(Home() + ports_[unit] + ": " + text + kEraseLine + "\n" + RowsText());
    drawn_ = true;
}

void GangBoard::Show(std::size_t unit, const std::string& label, const ProgressFigures& figures,
                     std::uint32_t nowMs, bool force) {
    if (!rows_) return;
    std::lock_guard lock(mutex_);
    state_[unit] = {label, figures};
    if (!force && drawn_ && nowMs - lastDrawMs_ < kRedrawMs) return;
    lastDrawMs_ = nowMs;
    console_.Err(Home() + RowsText());
    drawn_ = true;
}

void GangBoard::Out(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (!drawn_) {
        console_.Out(text);
        return;
    }
    console_.Err(Home() + "\x1b[J");
    console_.Out(text);
    std::string rows = "\r";
    rows += RowsText();
    console_.Err(rows);
}

void GangBoard::Close() {
    std::lock_guard lock(mutex_);
    if (!drawn_) return;
    console_.Err(Home() + "\x1b[J");  // erases from the first row down
    drawn_ = false;
}

void GangSeat::Err(const std::string& text) {
    pending_ += text;
    std::size_t start = 0;
    for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos;
         start = end + 1) {
        board_.Line(unit_, pending_.substr(start, end - start));
    }
    pending_.erase(0, start);
}

void GangSeat::Begin(const std::string& label, std::uint64_t total, const char* stepName,
                     std::uint32_t nowMs) {
    label_ = label;
    startMs_ = nowMs;
    figures_ = {0, total, 0, stepName == nullptr, stepName};
    board_.Show(unit_, label_, figures_, nowMs, true);
}

void GangSeat::Update(std::uint64_t done, std::uint32_t nowMs) {
    figures_.done = std::min(done, figures_.total);
    figures_.elapsedMs = nowMs - startMs_;
    board_.Show(unit_, label_, figures_, nowMs, false);
}

std::string GangSummaryTable(const std::vector<GangSummaryRow>& rows) {
    std::vector<std::vector<std::string>> cells = {
        {"Port", "Unit", "Result", "Time", "Range", "Checksums"}};
    const auto orDash = [](const std::string& text) { return text.empty() ? "-" : text; };
    for (const GangSummaryRow& row : rows) {
        cells.push_back({row.port, orDash(row.unit), row.result, FormatElapsed(row.ms),
                         orDash(row.range), orDash(row.checksums)});
    }
    std::vector<std::size_t> widths(cells[0].size(), 0);
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], line[c].size());
    }
    std::string table;
    for (const auto& line : cells) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            text += c + 1 < line.size() ? PadRight(line[c], widths[c] + 2) : line[c];
        }
        table += text + "\n";
    }
    return table;
}
