// Pasted clipboard text and store strings of the grid control, from arbitrary bytes: cells stay
// inside the grid and inside the input, and writing them back gives the grid's text layout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "controls/grid_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);

    ParsedGridText parsed = ParseGridText(input);
    int rows = 0;
    int columns = 0;
    for (const GridTextCell& cell : parsed.cells) {
        if (!IsValidGridCell(cell.row, cell.column) || cell.row < 1 || cell.column < 1) abort();
        if (cell.text.data() < input.data() ||
            cell.text.data() + cell.text.size() > input.data() + input.size()) {
            abort();
        }
        if (cell.text.find_first_of("\t\n") != std::string_view::npos) abort();
        rows = cell.row > rows ? cell.row : rows;
        columns = cell.column > columns ? cell.column : columns;
    }

    GridTextWriter writer(rows, columns);
    for (const GridTextCell& cell : parsed.cells) writer.Add(cell.row, cell.column, cell.text);
    std::string text = writer.Finish();
    std::size_t lineFeeds = 0;
    for (char c : text) lineFeeds += c == '\n' ? 1 : 0;
    if (lineFeeds != static_cast<std::size_t>(rows)) abort();

    GridCellRecord record;
    if (ParseCellString(input, record)) {
        if (!IsValidGridCell(record.row, record.column)) abort();
        std::string rebuilt =
            MakeCellString(record.row, record.column, record.protection, record.text);
        if (rebuilt.size() > kGridTextPos + kGridMaxCellText) abort();
    }
    int code = CellTypeCode(ClassifyCellText(input));
    if (code < 1 || code > 5) abort();
    return 0;
}
