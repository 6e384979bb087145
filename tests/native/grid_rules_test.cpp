#include "controls/grid_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(GridClassify, TypeLettersFollowTheRulesInOrder) {
    struct Case {
        const char* text;
        char type;
    };
    for (const Case& c : {Case{"true", 'T'},
                          Case{"TRUE", 'T'},
                          Case{"False", 'F'},
                          Case{"-1.5", 'N'},
                          Case{"1-2", 'A'},
                          Case{"1.2.3", 'A'},
                          Case{"~42", 'G'},
                          Case{"~", 'G'},
                          Case{"~TRUE", 'G'},
                          Case{"", 'A'},
                          Case{"+5", 'N'},
                          Case{"5+", 'A'},
                          Case{"$1,000.50", 'N'},
                          Case{"1 2", 'A'},
                          Case{"1\t", 'A'},
                          Case{".", 'A'},
                          Case{"-", 'A'},
                          Case{"1e5", 'A'},
                          Case{" TRUE", 'A'},
                          Case{"TRUE ", 'A'},
                          Case{"12%", 'N'},
                          Case{"\xE9"
                               "1",
                               'N'},
                          Case{"--1", 'A'}}) {
        EXPECT_EQ(ClassifyCellText(c.text), c.type) << '"' << c.text << '"';
    }
}

TEST(GridClassify, TypeCodesOfTheLetters) {
    EXPECT_EQ(CellTypeCode('A'), 1);
    EXPECT_EQ(CellTypeCode('N'), 2);
    EXPECT_EQ(CellTypeCode('T'), 3);
    EXPECT_EQ(CellTypeCode('F'), 4);
    EXPECT_EQ(CellTypeCode('G'), 5);
    EXPECT_EQ(CellTypeCode('X'), 0);
    EXPECT_EQ(CellTypeCode('a'), 0);
}

TEST(GridColumnLetters, TwoCharactersSpaceForTheFirst26) {
    struct Case {
        int column;
        const char* label;
    };
    for (const Case& c : {Case{1, " A"}, Case{2, " B"}, Case{26, " Z"}, Case{27, "AA"},
                          Case{52, "AZ"}, Case{53, "BA"}, Case{255, "IU"}, Case{256, "IV"}}) {
        EXPECT_STREQ(ColumnLetters(c.column).data(), c.label) << c.column;
    }
}

TEST(GridCells, ValidRangeIsRows0To32000AndColumns0To256) {
    EXPECT_TRUE(IsValidGridCell(0, 0));
    EXPECT_TRUE(IsValidGridCell(32000, 256));
    EXPECT_FALSE(IsValidGridCell(32001, 1));
    EXPECT_FALSE(IsValidGridCell(40000, 1));
    EXPECT_FALSE(IsValidGridCell(1, 257));
    // Negative numbers would make keys of another width and break the sorted store.
    EXPECT_FALSE(IsValidGridCell(-1, 1));
    EXPECT_FALSE(IsValidGridCell(1, -1));
    EXPECT_FALSE(IsValidGridCell(-100000, 1));
}

TEST(GridCells, StringLayoutIsKeyBarProtectionTypeBarText) {
    EXPECT_STREQ(MakeCellKey(1, 2).data(), "00001-002");
    EXPECT_STREQ(MakeCellKey(32000, 256).data(), "32000-256");
    EXPECT_EQ(MakeCellString(7, 3, 'U', "-1.5"), "00007-003|UN|-1.5");
    EXPECT_EQ(MakeCellString(0, 0, 'P', ""), "00000-000|PA|");
    EXPECT_EQ(MakeCellString(12, 40, 'P', "true"), "00012-040|PT|true");
}

TEST(GridCells, LongTextsAreCutTo300Characters) {
    std::string text(5000, 'x');
    std::string string = MakeCellString(1, 1, 'U', text);
    EXPECT_EQ(string.size(), kGridTextPos + kGridMaxCellText);
    // The type is that of the stored (cut) text: a number cut in its digits stays a number.
    std::string digits(400, '7');
    digits[350] = 'x';
    EXPECT_EQ(MakeCellString(1, 1, 'U', digits)[kGridTypePos], 'N');
}

TEST(GridCells, ParseRoundTripsAndRefusesOtherLayouts) {
    GridCellRecord record;
    ASSERT_TRUE(ParseCellString("00150-017|PG|~42", record));
    EXPECT_EQ(record.row, 150);
    EXPECT_EQ(record.column, 17);
    EXPECT_EQ(record.protection, 'P');
    EXPECT_EQ(record.type, 'G');
    EXPECT_EQ(record.text, "~42");
    ASSERT_TRUE(ParseCellString("00001-001|UA|", record));
    EXPECT_EQ(record.text, "");
    for (const char* bad : {"", "00001-001|UA", "0000a-001|UA|x", "00001_001|UA|x",
                            "00001-001/UA|x", "00001-001|UA/x", "-0001-001|UA|x",
                            "33003-033|UA|x", "00001-257|UA|x"}) {
        EXPECT_FALSE(ParseCellString(bad, record)) << bad;
    }
}

// A sorted store of the given cells, and a lookup counting its probes.
struct Store {
    std::vector<std::string> strings;
    int probes = 0;

    explicit Store(const std::vector<std::pair<int, int>>& cells) {
        for (auto [row, column] : cells) strings.push_back(MakeCellString(row, column, 'U', "v"));
        std::sort(strings.begin(), strings.end());
    }
    int Find(int row, int column) {
        probes = 0;
        return FindCellIndex(static_cast<int>(strings.size()), MakeCellKey(row, column).data(),
                             [&](int i) -> std::string_view {
                                 ++probes;
                                 return strings.at(static_cast<std::size_t>(i));
                             });
    }
    int LowerBound(int row, int column) {
        return LowerBoundCellIndex(static_cast<int>(strings.size()),
                                   MakeCellKey(row, column).data(),
                                   [&](int i) -> std::string_view { return strings.at(i); });
    }
};

TEST(GridLookup, BisectionFindsEveryPresentCellAndNoMissingOne) {
    for (int size = 0; size <= 40; ++size) {
        std::vector<std::pair<int, int>> cells;
        for (int i = 0; i < size; ++i) cells.push_back({1 + i / 3 * 2, 1 + (i % 3) * 2});
        Store store(cells);
        for (int i = 0; i < size; ++i) {
            auto [row, column] = cells[i];
            int index = store.Find(row, column);
            ASSERT_GE(index, 0) << size << " " << row << "," << column;
            EXPECT_EQ(store.strings[index].substr(0, 9), MakeCellKey(row, column).data());
        }
        // Between, before and after the present cells.
        for (int row = 0; row <= 30; ++row) {
            for (int column = 0; column <= 7; column += 2) {
                EXPECT_EQ(store.Find(row, column), -1) << size << " " << row << "," << column;
            }
        }
        EXPECT_EQ(store.Find(32000, 256), -1);
    }
}

TEST(GridLookup, BisectionProbesLogarithmically) {
    std::vector<std::pair<int, int>> cells;
    for (int row = 1; row <= 1000; ++row) {
        for (int column = 1; column <= 100; ++column) cells.push_back({row, column});
    }
    Store store(cells);
    EXPECT_GE(store.Find(777, 55), 0);
    EXPECT_LE(store.probes, 20);
    EXPECT_EQ(store.Find(777, 101), -1);
    EXPECT_LE(store.probes, 20);
}

TEST(GridLookup, LowerBoundFindsWhereARowStarts) {
    Store store({{1, 1}, {1, 5}, {3, 2}, {3, 9}, {4, 1}});
    EXPECT_EQ(store.LowerBound(0, 0), 0);
    EXPECT_EQ(store.LowerBound(1, 2), 1);
    EXPECT_EQ(store.LowerBound(2, 0), 2);
    EXPECT_EQ(store.LowerBound(3, 2), 2);
    EXPECT_EQ(store.LowerBound(3, 3), 3);
    EXPECT_EQ(store.LowerBound(5, 0), 5);
    Store empty({});
    EXPECT_EQ(empty.LowerBound(1, 1), 0);
}

TEST(GridText, CopyOfA2By2GridIsTabsAndCrLf) {
    GridTextWriter writer(2, 2);
    writer.Add(1, 1, "a");
    writer.Add(1, 2, "b");
    writer.Add(2, 1, "c");
    writer.Add(2, 2, "d");
    EXPECT_EQ(writer.Finish(), "a\tb\r\nc\td\r\n");
}

TEST(GridText, MissingCellsAreEmptyAndOutsideCellsLeftOut) {
    GridTextWriter writer(3, 3);
    writer.Add(0, 2, "header");    // row 0 is not copied
    writer.Add(1, 0, "row head");  // nor column 0
    writer.Add(2, 2, "x");
    writer.Add(2, 4, "beyond");  // past colCount
    writer.Add(4, 1, "below");   // past rowCount
    EXPECT_EQ(writer.Finish(), "\t\t\r\n\tx\t\r\n\t\t\r\n");
    EXPECT_EQ(GridTextWriter(0, 5).Finish(), "");
    EXPECT_EQ(GridTextWriter(2, 1).Finish(), "\r\n\r\n");
}

TEST(GridText, CopyGrowsPastAnyFixedSize) {
    // 20 x 20 cells of 300 characters: far beyond a 2048-byte buffer.
    GridTextWriter writer(20, 20);
    std::string cell(300, 'q');
    for (int row = 1; row <= 20; ++row) {
        for (int column = 1; column <= 20; ++column) writer.Add(row, column, cell);
    }
    std::string text = writer.Finish();
    EXPECT_EQ(text.size(), 20u * (20u * 300u + 19u + 2u));
    EXPECT_EQ(text.substr(0, 302), cell + "\t" + "q");
}

std::vector<std::string> Describe(const ParsedGridText& parsed) {
    std::vector<std::string> out;
    for (const GridTextCell& cell : parsed.cells) {
        out.push_back(std::to_string(cell.row) + "," + std::to_string(cell.column) + "=" +
                      std::string(cell.text));
    }
    return out;
}

TEST(GridText, PasteSplitsLinesAndTabs) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Describe(ParseGridText("a\tb\r\nc\td\r\n")), (V{"1,1=a", "1,2=b", "2,1=c", "2,2=d"}));
    EXPECT_EQ(Describe(ParseGridText("a\tb\nc\td\n")), (V{"1,1=a", "1,2=b", "2,1=c", "2,2=d"}));
    EXPECT_EQ(Describe(ParseGridText("\t\r\n")), (V{"1,1=", "1,2="}));
    // Rows of different lengths keep their own cells.
    EXPECT_EQ(Describe(ParseGridText("a\r\nb\tc\td\r\n\r\n")),
              (V{"1,1=a", "2,1=b", "2,2=c", "2,3=d", "3,1="}));
}

TEST(GridText, PasteTakesALastLineWithoutLineFeed) {
    using V = std::vector<std::string>;
    EXPECT_TRUE(ParseGridText("").cells.empty());
    EXPECT_EQ(Describe(ParseGridText("a\tb\tc")), (V{"1,1=a", "1,2=b", "1,3=c"}));
    EXPECT_EQ(Describe(ParseGridText("a\tb\r")), (V{"1,1=a", "1,2=b"}));
    EXPECT_EQ(Describe(ParseGridText("a\r\nb")), (V{"1,1=a", "2,1=b"}));
}

TEST(GridText, PasteStopsAtTheGridsEdges) {
    std::string wide;
    for (int i = 0; i < 300; ++i) wide += "x\t";
    wide += "\r\n";
    ParsedGridText parsed = ParseGridText(wide);
    EXPECT_EQ(parsed.cells.size(), 256u);
    EXPECT_EQ(parsed.cells.back().column, 256);
    EXPECT_TRUE(parsed.clipped);

    std::string tall(32005, '\n');
    parsed = ParseGridText(tall);
    EXPECT_EQ(parsed.cells.size(), 32000u);
    EXPECT_TRUE(parsed.clipped);
    EXPECT_FALSE(ParseGridText("a\r\n").clipped);
}

TEST(GridHeights, TitleBandIs1Point2LinesOfText) {
    EXPECT_EQ(TitleBandHeight(16, "Two\nlines"), 38);  // 16 x 1.2 x 2 = 38.4
    EXPECT_EQ(TitleBandHeight(16, "One line"), 19);
    EXPECT_EQ(TitleBandHeight(16, ""), 0);
    EXPECT_EQ(TitleBandHeight(14, "a\nb\nc"), 50);  // 50.4
    // Whole results are whole in every build: 1.2 is not a binary fraction.
    for (int height : {5, 10, 15, 20, 25, 30}) {
        EXPECT_EQ(TitleBandHeight(height, "x"), height / 5 * 6) << height;
    }
}

TEST(GridHeights, FitHeightTrimsTheDataAreaToWholeRows) {
    EXPECT_EQ(FittedHeight(200, 21, 0, 21, 0), 193);  // 200 + 21 x 8 - 179 + 4
    // The result is always header + title + bar + whole rows + 4.
    EXPECT_EQ(FittedHeight(300, 21, 38, 21, 17), 21 + 38 + 17 + 21 * 10 + 4);
    EXPECT_EQ(FittedHeight(21 + 21 * 5, 21, 0, 21, 0), 21 + 21 * 5 + 4);
    // No room for more than one row: nothing to trim.
    EXPECT_EQ(FittedHeight(42, 21, 0, 21, 0), 0);
    EXPECT_EQ(FittedHeight(10, 21, 0, 21, 0), 0);
    EXPECT_EQ(FittedHeight(200, 21, 0, 0, 0), 0);
}

TEST(GridHeights, TheTrimGivesBackTheWidthBesideTheClientWhileTheParentHasRoom) {
    EXPECT_EQ(FittedWidth(384, 16, 800, 400), 400);  // the vertical bar's width
    EXPECT_EQ(FittedWidth(380, 20, 800, 400), 400);  // and a border
    EXPECT_EQ(FittedWidth(784, 16, 800, 800), 800);  // no room: the width stays
    EXPECT_EQ(FittedWidth(784, 16, 790, 790), 790);
    EXPECT_EQ(FittedWidth(300, 16, 0, 316), 316);  // no parent
}

}  // namespace
