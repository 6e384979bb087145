// Fill Selection: the fill box's text, and a fill that is one undo step of its own and happens
// whole or not at all.
#include "document/hex_fill.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/virtual_memory.h"
#include "tests/native/support/pieced_document.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct FillCase {
    const char* text;
    HexPatternError error;
    std::size_t errorAt;
    Bytes bytes;
};

TEST(HexFillParse, TakesOneByteOrAPatternOfPairs) {
    const FillCase cases[] = {
        {kHexFillDefaultText, kHexPatternOk, 0, {0xFF}},
        {"00", kHexPatternOk, 0, {0x00}},
        {"de AD be EF", kHexPatternOk, 0, {0xDE, 0xAD, 0xBE, 0xEF}},
        {" 0102 ", kHexPatternOk, 0, {1, 2}},
        {"", kHexPatternEmpty, 0, {}},
        {"F", kHexPatternOddDigits, 0, {}},
        {"FF F", kHexPatternOddDigits, 3, {}},
        {"0G", kHexPatternBadCharacter, 1, {}},
        {"??", kHexPatternWildcardInFill, 0, {}},
        {"00 ?? 00", kHexPatternWildcardInFill, 3, {}},
        {"00 ?", kHexPatternWildcardInFill, 3, {}},
    };
    for (const FillCase& c : cases) {
        Bytes bytes = {9};
        std::size_t at = 999;
        EXPECT_EQ(HexParseFillPattern(c.text, &bytes, &at), c.error) << c.text;
        EXPECT_EQ(bytes, c.bytes) << c.text;
        if (c.error != kHexPatternOk) {
            EXPECT_EQ(at, c.errorAt) << c.text;
        }
    }
    std::string longest;
    for (std::size_t i = 0; i <= kHexPatternMaxBytes; ++i) longest += "00";
    Bytes bytes;
    EXPECT_EQ(HexParseFillPattern(longest, &bytes), kHexPatternTooLong);
}

class HexFillTest : public ::testing::Test {
  protected:
    void Open(const std::string& text) {
        ASSERT_TRUE(OpenOverMemory(doc_, Bytes(text.begin(), text.end())));
    }
    std::string Text() {
        Bytes bytes = Contents(doc_);
        return std::string(bytes.begin(), bytes.end());
    }
    void TearDown() override { SetCommitGate(nullptr); }
    HexDocument doc_;
};

TEST_F(HexFillTest, RepeatsThePatternFromTheRangeStartAsOneUndoStep) {
    Open("0123456789abcdefghij");
    const std::uint8_t pattern[] = {'X', 'y', 'Z'};
    ASSERT_TRUE(HexDocFillPattern(doc_, 3, 10, pattern, 3));
    EXPECT_EQ(Text(), "012XyZXyZXyZXdefghij");
    EXPECT_EQ(doc_.undoStack.count, 2u);  // one record over the one piece it replaced
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(), "0123456789abcdefghij");
    EXPECT_EQ(doc_.undoPos, 3u);
    ASSERT_TRUE(HexDocRedo(doc_));
    EXPECT_EQ(Text(), "012XyZXyZXyZXdefghij");
    EXPECT_EQ(doc_.undoSpan, 10u);
    // A pattern longer than the range is cut; one byte fills like HexDocFill.
    ASSERT_TRUE(HexDocFillPattern(doc_, 0, 2, pattern, 3));
    EXPECT_EQ(Text(), "Xy2XyZXyZXyZXdefghij");
    const std::uint8_t erased = 0xFF;
    ASSERT_TRUE(HexDocFillPattern(doc_, 18, 2, &erased, 1));
    EXPECT_EQ(Text(), "Xy2XyZXyZXyZXdefgh\xFF\xFF");
}

TEST_F(HexFillTest, NeverMergesWithTypingBeforeOrAfterIt) {
    Open("0123456789");
    ASSERT_TRUE(HexDocOverwrite(doc_, 2, "a", 1));  // typing that ends where the fill begins
    const std::uint8_t dash = '-';
    ASSERT_TRUE(HexDocFillPattern(doc_, 3, 3, &dash, 1));
    ASSERT_TRUE(HexDocOverwrite(doc_, 6, "b", 1));  // typing on from where it ended
    ASSERT_TRUE(HexDocOverwrite(doc_, 7, "c", 1));
    EXPECT_EQ(Text(), "01a---bc89");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(), "01a---6789");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(), "01a3456789");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(), "0123456789");
}

TEST_F(HexFillTest, RefusesRangesOutsideTheDocumentAndEmptyPatterns) {
    Open("0123456789");
    const std::uint8_t x = 'x';
    EXPECT_FALSE(HexDocFillPattern(doc_, 8, 3, &x, 1));
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_FALSE(HexDocFillPattern(doc_, 11, 0, &x, 1));
    EXPECT_FALSE(HexDocFillPattern(doc_, 0, 0, &x, 1));
    EXPECT_FALSE(HexDocFillPattern(doc_, 0, 3, &x, 0));
    EXPECT_FALSE(HexDocFillPattern(doc_, 0, 3, nullptr, 1));
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_EQ(Text(), "0123456789");
    EXPECT_EQ(doc_.undoStack.count, 0u);
}

bool RefuseEveryCommit(std::size_t) {
    return false;
}

TEST_F(HexFillTest, AFillWithoutMemoryFailsWithOneAndChangesNothing) {
    Open(std::string(6000, '.'));
    ASSERT_TRUE(HexDocOverwrite(doc_, 0, "ab", 2));  // commits the first page, starts a run
    const Bytes before = Contents(doc_);
    const std::uint32_t items = doc_.undoStack.count;
    SetCommitGate(&RefuseEveryCommit);
    const std::uint8_t pattern[] = {1, 2};
    EXPECT_FALSE(HexDocFillPattern(doc_, 2, 5000, pattern, 2));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    EXPECT_EQ(Contents(doc_), before);
    EXPECT_EQ(doc_.undoStack.count, items);
    SetCommitGate(nullptr);
    EXPECT_TRUE(HexDocFillPattern(doc_, 2, 5000, pattern, 2));
    EXPECT_EQ(HexDocGetByte(doc_, 5001), 2);
}

TEST_F(HexFillTest, AFillPastTheRoomLeftInTheAddBufferIsRefused) {
    Open("x");
    std::uint8_t* room = nullptr;
    ASSERT_TRUE(HexDocReserveInsert(doc_, 1, kHexAddBufferSize - 16, &room));
    const std::uint8_t pattern[] = {0xA5};
    EXPECT_FALSE(HexDocFillPattern(doc_, 0, 17, pattern, 1));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    EXPECT_EQ(HexDocGetByte(doc_, 0), 'x');
    EXPECT_TRUE(HexDocFillPattern(doc_, 0, 16, pattern, 1));
    EXPECT_EQ(HexDocGetByte(doc_, 15), 0xA5);
    EXPECT_EQ(HexDocGetByte(doc_, 16), 0);
}

}  // namespace
