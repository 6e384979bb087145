// Copy as hex text: the exact text for ranges across pieces and file windows.
#include "document/hex_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "document/hex_document_file.h"
#include "tests/native/support/pieced_document.h"
#include "tests/native/support/scratch_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string HexText(HexDocument& doc, std::uint32_t position, std::uint32_t count) {
    std::string text(HexTextLength(count) + 1, '?');
    EXPECT_TRUE(HexDocHexText(doc, position, count, text.data()));
    EXPECT_EQ(text.back(), '\0');
    text.pop_back();
    return text;
}

// The same text, written the slow way.
std::string Expected(const Bytes& bytes, std::size_t position, std::size_t count) {
    std::string text;
    char pair[4];
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += i % 16 == 0 ? "\r\n" : " ";
        std::snprintf(pair, sizeof pair, "%02X", bytes[position + i]);
        text += pair;
    }
    return text;
}

TEST(HexText, SixteenUpperCasePairsToALine) {
    Bytes bytes(40);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    HexDocument doc;
    ASSERT_TRUE(OpenOverMemory(doc, bytes));
    EXPECT_EQ(HexText(doc, 0, 1), "00");
    EXPECT_EQ(HexText(doc, 1, 16), "07 0E 15 1C 23 2A 31 38 3F 46 4D 54 5B 62 69 70");
    EXPECT_EQ(HexText(doc, 35, 5), "F5 FC 03 0A 11");
    EXPECT_EQ(HexText(doc, 3, 17), "15 1C 23 2A 31 38 3F 46 4D 54 5B 62 69 70 77 7E\r\n85");
    EXPECT_EQ(HexText(doc, 0, 0), "");
    EXPECT_EQ(HexText(doc, 40, 0), "");
    char out[8] = "";
    EXPECT_FALSE(HexDocHexText(doc, 39, 2, out));
    EXPECT_EQ(doc.error, kHexOutOfRange);
    EXPECT_FALSE(HexDocHexText(doc, 41, 0, out));
}

TEST(HexText, LengthFollowsTheLayout) {
    const std::pair<std::uint32_t, std::uint64_t> cases[] = {
        {0, 0},
        {1, 2},
        {2, 5},
        {16, 47},
        {17, 51},
        {32, 96},
        {33, 100},
        {kHexTextMaxBytes, 3ull * kHexTextMaxBytes + kHexTextMaxBytes / 16 - 2},
        {0xFFFFFFFF, 3ull * 0xFFFFFFFF + 0x10000000 - 2},
    };
    for (auto [count, length] : cases) EXPECT_EQ(HexTextLength(count), length) << count;
    EXPECT_EQ(kHexTextMaxBytes, 16u * 1024 * 1024);
}

TEST(HexText, RangesOverPiecesAndFileWindowsReadAsTheyShow) {
    ScratchDir dir;
    const std::string path = dir.File("text.bin");
    WriteWholeFile(path, PatternBytes(0x180000, 5));
    HexDocument doc;
    ASSERT_TRUE(HexDocOpenFile(doc, path.c_str(), true, true));
    std::mt19937 random(3);
    CutIntoPieces(doc, random, 300);
    const Bytes flat = Contents(doc);
    for (int i = 0; i < 40; ++i) {
        std::uint32_t position = random() % doc.length;
        if (i % 2 == 0) {  // across a window edge
            position = std::min<std::uint32_t>(
                (position & ~0x3FFFFu) | (0x40000 - 1 - random() % 40), doc.length);
        }
        const std::uint32_t count = std::min<std::uint32_t>(random() % 5000, doc.length - position);
        ASSERT_EQ(HexText(doc, position, count), Expected(flat, position, count))
            << position << " + " << count;
    }
}

}  // namespace
