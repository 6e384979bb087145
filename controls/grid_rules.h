// Pure rules of the grid control (KVGRIDCONTROL): cell limits, classification of cell texts,
// column letters, the string layout of the cell store and its lookup, the clipboard text, and
// the title and fit heights. No window code; the Win32 layer asks these and draws.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kGridMaxRows = 32000;
inline constexpr int kGridMaxCols = 256;

// A cell holds at most this many characters; longer texts are cut when stored, so a caller's
// buffer of kGridMaxCellText + 1 bytes always takes a cell's text.
inline constexpr std::size_t kGridMaxCellText = 300;
inline constexpr std::size_t kGridMaxTitle = 300;

// Store string layout: "RRRRR-CCC|PT|text".
inline constexpr std::size_t kGridKeyLength = 9;
inline constexpr std::size_t kGridProtectionPos = 10;
inline constexpr std::size_t kGridTypePos = 11;
inline constexpr std::size_t kGridTextPos = 13;

// Rows 0..32000 and columns 0..256 exist (row 0 and column 0 hold the header texts). Negative
// numbers are refused too: they would not fit the fixed-width key and would break the sort.
[[nodiscard]] bool IsValidGridCell(int row, int column);

// Type letter of a text as it is stored: 'T' TRUE, 'F' FALSE, 'G' owner-drawn ("~n"),
// 'N' number, 'A' anything else (also empty). Case does not matter.
[[nodiscard]] char ClassifyCellText(std::string_view text);

// Type code of a type letter: A 1, N 2, T 3, F 4, G 5; 0 for anything else.
[[nodiscard]] int CellTypeCode(char letter);

// The two-character label of column 1..256: " A" .. " Z", "AA" .. "IV"; NUL-terminated.
[[nodiscard]] std::array<char, 3> ColumnLetters(int column);

// "RRRRR-CCC", NUL-terminated. Only for valid cells.
[[nodiscard]] std::array<char, kGridKeyLength + 1> MakeCellKey(int row, int column);

// The whole store string of a cell: key, '|', protection, the text's type letter, '|', text.
// The text is cut to kGridMaxCellText characters.
[[nodiscard]] std::string MakeCellString(int row, int column, char protection,
                                         std::string_view text);

struct GridCellRecord {
    int row = 0;
    int column = 0;
    char protection = 'U';
    char type = 'A';
    std::string_view text;  // borrowed from the parsed string
};

// Splits a store string; false when it does not have the layout above.
[[nodiscard]] bool ParseCellString(std::string_view string, GridCellRecord& record);

// The index of the string whose key is `key` in a store of `count` strings sorted by key, or
// -1 when there is none. keyAt(i) returns string i (at least its first 9 characters). Probes
// the first and the last string, then bisects between them: O(log count) calls of keyAt.
template <typename KeyAt>
[[nodiscard]] int FindCellIndex(int count, std::string_view key, KeyAt&& keyAt) {
    if (count <= 0) return -1;
    auto compare = [&](int index) {
        std::string_view probe = keyAt(index);
        return probe.substr(0, kGridKeyLength).compare(key);
    };
    int lower = 0;
    int upper = count - 1;
    int order = compare(lower);
    if (order == 0) return lower;
    if (order > 0) return -1;
    order = compare(upper);
    if (order == 0) return upper;
    if (order < 0) return -1;
    while (upper - lower > 1) {
        int middle = lower + (upper - lower) / 2;
        order = compare(middle);
        if (order == 0) return middle;
        if (order < 0) {
            lower = middle;
        } else {
            upper = middle;
        }
    }
    return -1;
}

// The index of the first string whose key is not below `key` (count when there is none), in a
// store sorted by key: where a walk through one row's cells starts.
template <typename KeyAt>
[[nodiscard]] int LowerBoundCellIndex(int count, std::string_view key, KeyAt&& keyAt) {
    int lower = 0;
    int upper = count < 0 ? 0 : count;
    while (lower < upper) {
        int middle = lower + (upper - lower) / 2;
        if (keyAt(middle).substr(0, kGridKeyLength).compare(key) < 0) {
            lower = middle + 1;
        } else {
            upper = middle;
        }
    }
    return lower;
}

// Writes rows 1..rows and columns 1..columns of a grid as text: cells separated by tabs, each
// row ended by CR LF. Cells are added in row-major order; missing cells come out empty, and
// cells outside the range or out of order are left out. The text grows to whatever the grid
// needs.
class GridTextWriter {
  public:
    GridTextWriter(int rows, int columns);
    void Add(int row, int column, std::string_view text);
    std::string Finish();

  private:
    void Separate();  // ends the cell at (row_, column_) and steps to the next

    int rows_;
    int columns_;
    int row_ = 1;  // the next cell to be written
    int column_ = 1;
    std::string text_;
};

// One cell of pasted text, borrowed from the text it came from.
struct GridTextCell {
    int row;
    int column;
    std::string_view text;
};

struct ParsedGridText {
    std::vector<GridTextCell> cells;  // row-major, starting at (1, 1)
    bool clipped = false;             // text beyond row 32000 or column 256 was left out
};

// Splits pasted text into cells: one row per line ended by LF (a CR before it is dropped),
// cells separated by tabs. A last line without LF is a row too (a single row copied from most
// programs has none), so only empty text gives nothing. Rows may have different numbers of
// cells; nothing is read beyond `text`.
[[nodiscard]] ParsedGridText ParseGridText(std::string_view text);

// Height of the title band for a title whose one-line text height is textHeight: 0 for an
// empty title, else textHeight x 1.2 per line, truncated.
[[nodiscard]] int TitleBandHeight(int textHeight, std::string_view title);

// The window height that trims the data area of a control whose client is `height` pixels
// high to whole rows, plus 4 for the borders; 0 when no trimming applies (the data area is
// not taller than one row). hScrollHeight is the horizontal bar's height, 0 when hidden.
[[nodiscard]] int FittedHeight(int height, int headerHeight, int titleHeight, int rowHeight,
                               int hScrollHeight);

// The window width that goes with that height, from the client width `width` the trim starts
// from: widened by the window's part beside its client area (the vertical bar that a trimmed
// grid shows, and any border) while that is still less than the parent's client width;
// otherwise the window's present width, so that a grid filling its parent is not narrowed.
[[nodiscard]] int FittedWidth(int width, int nonClientWidth, int parentWidth, int windowWidth);
