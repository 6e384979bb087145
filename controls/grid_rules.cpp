#include "controls/grid_rules.h"

#include <cstdio>
#include <utility>

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsUpper(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (Upper(text[i]) != word[i]) return false;
    }
    return true;
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsNumberText(std::string_view text) {
    bool digit = false;
    int points = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (IsLetter(c) || IsWhiteSpace(c)) return false;
        if ((c == '+' || c == '-') && i > 0) return false;
        if (c >= '0' && c <= '9') digit = true;
        if (c == '.' && ++points > 1) return false;
    }
    return digit;
}

int ParseDecimal(std::string_view digits) {
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

bool IsValidGridCell(int row, int column) {
    return row >= 0 && row <= kGridMaxRows && column >= 0 && column <= kGridMaxCols;
}

char ClassifyCellText(std::string_view text) {
    if (EqualsUpper(text, "TRUE")) return 'T';
    if (EqualsUpper(text, "FALSE")) return 'F';
    if (!text.empty() && text.front() == '~') return 'G';
    if (text.empty()) return 'A';
    return IsNumberText(text) ? 'N' : 'A';
}

int CellTypeCode(char letter) {
    switch (letter) {
        case 'A': return 1;
        case 'N': return 2;
        case 'T': return 3;
        case 'F': return 4;
        case 'G': return 5;
        default: return 0;
    }
}

std::array<char, 3> ColumnLetters(int column) {
    int high = (column - 1) / 26;
    int low = column % 26;
    return {high != 0 ? static_cast<char>('A' + high - 1) : ' ',
            low != 0 ? static_cast<char>('A' + low - 1) : 'Z', '\0'};
}

std::array<char, kGridKeyLength + 1> MakeCellKey(int row, int column) {
    std::array<char, kGridKeyLength + 1> key{};
    std::snprintf(key.data(), key.size(), "%05d-%03d", row, column);
    return key;
}

std::string MakeCellString(int row, int column, char protection, std::string_view text) {
    text = text.substr(0, kGridMaxCellText);
    std::string string(MakeCellKey(row, column).data());
    string += '|';
    string += protection;
    string += ClassifyCellText(text);
    string += '|';
    string += text;
    return string;
}

bool ParseCellString(std::string_view string, GridCellRecord& record) {
    if (string.size() < kGridTextPos || string[5] != '-' || string[9] != '|' || string[12] != '|') {
        return false;
    }
    int row = ParseDecimal(string.substr(0, 5));
    int column = ParseDecimal(string.substr(6, 3));
    if (!IsValidGridCell(row, column)) return false;  // no key of ours names such a cell
    record.row = row;
    record.column = column;
    record.protection = string[kGridProtectionPos];
    record.type = string[kGridTypePos];
    record.text = string.substr(kGridTextPos);
    return true;
}

GridTextWriter::GridTextWriter(int rows, int columns)
    : rows_(rows < 0 ? 0 : rows), columns_(columns < 1 ? 1 : columns) {
    text_.reserve(static_cast<std::size_t>(rows_) * (static_cast<std::size_t>(columns_) + 1));
}

void GridTextWriter::Separate() {
    if (column_ < columns_) {
        text_ += '\t';
        ++column_;
    } else {
        text_ += "\r\n";
        ++row_;
        column_ = 1;
    }
}

void GridTextWriter::Add(int row, int column, std::string_view text) {
    if (row > rows_ || column < 1 || column > columns_) return;
    if (row < row_ || (row == row_ && column < column_)) return;
    while (row_ != row || column_ != column) Separate();
    text_ += text;
    Separate();
}

std::string GridTextWriter::Finish() {
    while (row_ <= rows_) Separate();
    return std::move(text_);
}

ParsedGridText ParseGridText(std::string_view text) {
    ParsedGridText parsed;
    int row = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (++row > kGridMaxRows) {
            parsed.clipped = true;
            break;
        }
        int column = 0;
        while (true) {
            std::size_t tab = line.find('\t');
            if (++column > kGridMaxCols) {
                parsed.clipped = true;
                break;
            }
            parsed.cells.push_back({row, column, line.substr(0, tab)});
            if (tab == std::string_view::npos) break;
            line.remove_prefix(tab + 1);
        }
    }
    return parsed;
}

int TitleBandHeight(int textHeight, std::string_view title) {
    if (title.empty()) return 0;
    std::size_t lines = 1;
    for (char c : title) lines += c == '\n' ? 1 : 0;
    // 1.2 as six fifths: a binary 1.2 lies just below it, and 5 x 1.2 could truncate to 5.
    return static_cast<int>(static_cast<long long>(textHeight) * 6 * static_cast<long long>(lines) /
                            5);
}

int FittedHeight(int height, int headerHeight, int titleHeight, int rowHeight, int hScrollHeight) {
    int available = height - headerHeight - titleHeight - hScrollHeight;
    if (rowHeight <= 0 || available <= rowHeight) return 0;
    return height + rowHeight * (available / rowHeight) - available + 4;
}

int FittedWidth(int width, int nonClientWidth, int parentWidth, int windowWidth) {
    int widened = width + nonClientWidth;
    return widened < parentWidth ? widened : windowWidth;
}
