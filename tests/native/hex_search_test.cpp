// Find: the pattern parsers, and searches over documents of many pieces and over mapped files
// (whose bytes come through sliding 1 MiB windows) compared with a plain search of the flat
// bytes, in both directions, wrapping, and in slices of every size.
#include "document/hex_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "document/hex_document_file.h"
#include "tests/native/support/naive_search.h"
#include "tests/native/support/pieced_document.h"
#include "tests/native/support/scratch_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- Parsing ------------------------------------------------------------------------------

struct HexCase {
    const char* text;
    HexPatternError error;
    std::size_t errorAt;
    Bytes values;
    Bytes masks;
};

TEST(HexPatternParse, HexTextGivesBytesOrNamesTheFault) {
    const HexCase cases[] = {
        {"41", kHexPatternOk, 0, {0x41}, {0xFF}},
        {"de AD bE ef", kHexPatternOk, 0, {0xDE, 0xAD, 0xBE, 0xEF}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"  0102\t03\r\n04  ", kHexPatternOk, 0, {1, 2, 3, 4}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"41??43", kHexPatternOk, 0, {0x41, 0, 0x43}, {0xFF, 0, 0xFF}},
        {"?? 00 ??", kHexPatternOk, 0, {0, 0, 0}, {0, 0xFF, 0}},
        {"", kHexPatternEmpty, 0, {}, {}},
        {"   ", kHexPatternEmpty, 0, {}, {}},
        {"4", kHexPatternOddDigits, 0, {}, {}},
        {"41 4", kHexPatternOddDigits, 3, {}, {}},
        {"41 424", kHexPatternOddDigits, 3, {}, {}},
        {"4 1", kHexPatternOddDigits, 0, {}, {}},
        {"4G", kHexPatternBadCharacter, 1, {}, {}},
        {"41,42", kHexPatternBadCharacter, 2, {}, {}},
        {"0x41", kHexPatternBadCharacter, 1, {}, {}},
        {"4?", kHexPatternHalfWildcard, 1, {}, {}},
        {"?4", kHexPatternHalfWildcard, 0, {}, {}},
        {"41 ?", kHexPatternHalfWildcard, 3, {}, {}},
        {"??", kHexPatternOnlyWildcards, 0, {}, {}},
        {"?? ????", kHexPatternOnlyWildcards, 0, {}, {}},
    };
    for (const HexCase& c : cases) {
        HexPattern pattern{{9}, {9}};
        std::size_t at = 999;
        EXPECT_EQ(HexParseHexPattern(c.text, &pattern, &at), c.error) << c.text;
        EXPECT_EQ(pattern.values, c.values) << c.text;
        EXPECT_EQ(pattern.masks, c.masks) << c.text;
        if (c.error != kHexPatternOk) {
            EXPECT_EQ(at, c.errorAt) << c.text;
            EXPECT_STRNE(HexPatternErrorText(c.error), "");
        }
    }
}

TEST(HexPatternParse, HexPatternsUpToTheLimitAreTaken) {
    std::string text;
    for (std::size_t i = 0; i < kHexPatternMaxBytes; ++i) text += "A5 ";
    HexPattern pattern;
    ASSERT_EQ(HexParseHexPattern(text, &pattern), kHexPatternOk);
    EXPECT_EQ(pattern.values.size(), kHexPatternMaxBytes);
    std::size_t at = 0;
    EXPECT_EQ(HexParseHexPattern(text + "5A", &pattern, &at), kHexPatternTooLong);
    EXPECT_EQ(at, text.size());
    EXPECT_TRUE(pattern.values.empty());
}

TEST(HexPatternParse, TextIsTakenByteForByteAndFoldsOnlyAsciiLetters) {
    HexPattern pattern;
    ASSERT_EQ(HexParseTextPattern("aZ1 \xE9\xC9", false, &pattern), kHexPatternOk);
    EXPECT_EQ(pattern.values, (Bytes{'a', 'Z', '1', ' ', 0xE9, 0xC9}));
    EXPECT_EQ(pattern.masks, Bytes(6, 0xFF));
    // Either case of a and z; digits, space, '@' and '[' (one bit away from letters) and the
    // code page's letters stay exact.
    ASSERT_EQ(HexParseTextPattern("aZ1 @[\xE9", true, &pattern), kHexPatternOk);
    EXPECT_EQ(pattern.values, (Bytes{'A', 'Z', '1', ' ', '@', '[', 0xE9}));
    EXPECT_EQ(pattern.masks, (Bytes{0xDF, 0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(HexParseTextPattern("", true, &pattern), kHexPatternEmpty);
    EXPECT_EQ(HexParseTextPattern(std::string(kHexPatternMaxBytes, 'x'), true, &pattern),
              kHexPatternOk);
    EXPECT_EQ(HexParseTextPattern(std::string(kHexPatternMaxBytes + 1, 'x'), true, &pattern),
              kHexPatternTooLong);
}

// ---- Searching ----------------------------------------------------------------------------

using Outcome = NaiveOutcome;

// Runs a search to its end in slices of budget bytes, checking the progress on the way.
Outcome SearchAll(HexDocument& doc, const HexPattern& p, std::uint32_t from, bool backward,
                  std::uint32_t budget) {
    HexSearch search(doc, p, from, backward);
    HexScanStatus status;
    std::uint64_t done = 0;
    while ((status = search.Step(budget)) == kHexScanMore) {
        EXPECT_GT(search.Done(), done);
        EXPECT_LE(search.Done() - done, std::max(budget, 1u));
        done = search.Done();
    }
    EXPECT_LE(search.Done(), search.Total());
    if (status == kHexScanNotFound) {
        EXPECT_EQ(search.Done(), search.Total());
    }
    return {status, status == kHexScanFound ? search.MatchOffset() : 0,
            status == kHexScanFound && search.Wrapped()};
}

HexPattern Hex(const char* text) {
    HexPattern p;
    EXPECT_EQ(HexParseHexPattern(text, &p), kHexPatternOk) << text;
    return p;
}

class HexSearchTest : public ::testing::Test {
  protected:
    void Open(const Bytes& bytes) { ASSERT_TRUE(OpenOverMemory(doc_, bytes)); }
    HexDocument doc_;
};

TEST_F(HexSearchTest, FindsMatchesAtTheVeryStartAndTheVeryEnd) {
    Open({0xAA, 0xBB, 1, 2, 3, 0xAA, 0xBB});
    const HexPattern p = Hex("AA BB");
    EXPECT_EQ(SearchAll(doc_, p, 0, false, 100), (Outcome{kHexScanFound, 0, false}));
    EXPECT_EQ(SearchAll(doc_, p, 1, false, 100), (Outcome{kHexScanFound, 5, false}));
    EXPECT_EQ(SearchAll(doc_, p, 7, true, 100), (Outcome{kHexScanFound, 5, false}));
    EXPECT_EQ(SearchAll(doc_, p, 5, true, 100), (Outcome{kHexScanFound, 0, false}));
    // The caret on a match: forward finds it again, backward the one before.
    EXPECT_EQ(SearchAll(doc_, p, 5, false, 100), (Outcome{kHexScanFound, 5, false}));
}

TEST_F(HexSearchTest, WrapsOnceAtEitherEndAndSaysSo) {
    Open({1, 0x55, 2, 3, 4});
    const HexPattern p = Hex("55");
    EXPECT_EQ(SearchAll(doc_, p, 0, true, 100), (Outcome{kHexScanFound, 1, true}));  // from 0 back
    EXPECT_EQ(SearchAll(doc_, p, 2, false, 100), (Outcome{kHexScanFound, 1, true}));
    EXPECT_EQ(SearchAll(doc_, p, 5, false, 100),
              (Outcome{kHexScanFound, 1, true}));  // from the end
    EXPECT_EQ(SearchAll(doc_, p, 1, true, 100), (Outcome{kHexScanFound, 1, true}));
    EXPECT_EQ(SearchAll(doc_, Hex("66"), 3, false, 100), (Outcome{kHexScanNotFound, 0, false}));
    EXPECT_EQ(SearchAll(doc_, Hex("01 55 02 03 04 05"), 0, false, 100),
              (Outcome{kHexScanNotFound, 0, false}));  // longer than the document
}

TEST_F(HexSearchTest, FindsAMatchSplitOverOneBytePiecesInSlicesOfAnySize) {
    Open(Bytes(40, 0));
    // Every byte of the match its own piece: written out of order, so nothing merges.
    const std::uint8_t match[] = {0x10, 0x20, 0x30, 0x40, 0x50};
    for (std::uint32_t i : {0u, 2u, 4u, 1u, 3u}) {
        doc_.lastOp = kHexOpNone;
        ASSERT_TRUE(HexDocOverwrite(doc_, 17 + i, &match[i], 1));
    }
    ASSERT_GE(HexDocCountExtents(doc_, 0, 40), 7u);
    // 10 20 ?? 40 50, with a stray value under the wildcard that must count for nothing.
    const HexPattern p{{0x10, 0x20, 0x99, 0x40, 0x50}, {0xFF, 0xFF, 0, 0xFF, 0xFF}};
    for (std::uint32_t budget = 1; budget <= 9; ++budget) {
        for (std::uint32_t from = 0; from <= 40; ++from) {
            EXPECT_EQ(SearchAll(doc_, p, from, false, budget),
                      (Outcome{kHexScanFound, 17, from > 17}))
                << "budget " << budget << " from " << from;
            EXPECT_EQ(SearchAll(doc_, p, from, true, budget),
                      (Outcome{kHexScanFound, 17, from <= 17}))
                << "budget " << budget << " from " << from;
        }
    }
}

TEST_F(HexSearchTest, FindsTextInEitherCase) {
    const std::string text = "xx Hello, WORLD \xC9t\xE9 hello";
    Open(Bytes(text.begin(), text.end()));
    HexPattern p;
    ASSERT_EQ(HexParseTextPattern("hello, world", true, &p), kHexPatternOk);
    EXPECT_EQ(SearchAll(doc_, p, 0, false, 4), (Outcome{kHexScanFound, 3, false}));
    ASSERT_EQ(HexParseTextPattern("hello, world", false, &p), kHexPatternOk);
    EXPECT_EQ(SearchAll(doc_, p, 0, false, 4).status, kHexScanNotFound);
    ASSERT_EQ(HexParseTextPattern("\xE9T\xE9", true, &p), kHexPatternOk);  // é is not folded
    EXPECT_EQ(SearchAll(doc_, p, 0, false, 4).status, kHexScanNotFound);
    ASSERT_EQ(HexParseTextPattern("\xC9T\xE9", true, &p), kHexPatternOk);
    EXPECT_EQ(SearchAll(doc_, p, 0, false, 4), (Outcome{kHexScanFound, 16, false}));
}

TEST_F(HexSearchTest, AnEditBetweenSlicesVoidsTheSearchForGood) {
    Open(Bytes(1000, 7));
    HexSearch search(doc_, Hex("01"), 0, false);
    EXPECT_EQ(search.Step(100), kHexScanMore);
    std::uint8_t one = 1;
    ASSERT_TRUE(HexDocOverwrite(doc_, 900, &one, 1));
    EXPECT_EQ(search.Step(100), kHexScanChanged);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(search.Step(100), kHexScanChanged);
}

TEST_F(HexSearchTest, EveryKindOfChangeVoidsASearchAndReadingDoesNot) {
    using Action = void (*)(HexDocument&);
    const std::pair<const char*, Action> changes[] = {
        {"insert", [](HexDocument& d) { ASSERT_TRUE(HexDocInsert(d, 5, "x", 1)); }},
        {"delete", [](HexDocument& d) { ASSERT_TRUE(HexDocDelete(d, 5, 1)); }},
        {"overwrite", [](HexDocument& d) { ASSERT_TRUE(HexDocOverwrite(d, 5, "x", 1)); }},
        {"fill", [](HexDocument& d) { ASSERT_TRUE(HexDocFill(d, 5, 1, 3)); }},
        {"undo", [](HexDocument& d) { (void)HexDocUndo(d); }},  // nothing to undo: voids all the same
        {"redo", [](HexDocument& d) { ASSERT_TRUE(HexDocRedo(d)); }},
        {"typed digit", [](HexDocument& d) { *HexDocLastAddedByte(d) = 1; }},
        {"close", [](HexDocument& d) { HexDocClose(d); }},
    };
    for (auto [name, change] : changes) {
        Open(Bytes(1000, 7));
        ASSERT_TRUE(HexDocOverwrite(doc_, 0, "a", 1));
        ASSERT_TRUE(HexDocUndo(doc_));  // something to undo and to redo
        HexSearch search(doc_, Hex("01"), 0, false);
        ASSERT_EQ(search.Step(100), kHexScanMore) << name;
        change(doc_);
        EXPECT_EQ(search.Step(100), kHexScanChanged) << name;
    }
    Open(Bytes(1000, 7));
    HexSearch search(doc_, Hex("01"), 0, false);
    ASSERT_EQ(search.Step(100), kHexScanMore);
    std::uint8_t bytes[10];
    ASSERT_NE(HexDocRead(doc_, bytes, 500, 10), nullptr);
    EXPECT_EQ(HexDocGetByte(doc_, 999), 7);
    EXPECT_EQ(SearchAll(doc_, Hex("07 07"), 999, false, 100), (Outcome{kHexScanFound, 0, true}));
    EXPECT_EQ(search.Step(2000), kHexScanNotFound);
}

TEST_F(HexSearchTest, RefusesWhatCannotBeSearched) {
    Open(Bytes(10, 0));
    EXPECT_EQ(HexSearch(doc_, Hex("00"), 11, false).Step(100), kHexScanBadArgument);
    EXPECT_EQ(HexSearch(doc_, HexPattern{}, 0, false).Step(100), kHexScanBadArgument);
    EXPECT_EQ(HexSearch(doc_, HexPattern{{0, 0}, {0, 0}}, 0, false).Step(100), kHexScanBadArgument);
    EXPECT_EQ(HexSearch(doc_, HexPattern{{0}, {0xFF, 0xFF}}, 0, false).Step(100),
              kHexScanBadArgument);
    HexDocument empty;
    ASSERT_TRUE(OpenOverMemory(empty, {}));
    EXPECT_EQ(SearchAll(empty, Hex("00"), 0, true, 100), (Outcome{kHexScanNotFound, 0, false}));
}

// Matches planted across the edges of the 1 MiB windows (which slide by 512 KiB) of a mapped
// file: found one after the other forward and backward, whatever the slices.
TEST(HexSearchMapped, FindsMatchesAcrossFileWindowEdges) {
    ScratchDir dir;
    Bytes bytes = PatternBytes(0x300000, 3);
    for (auto& b : bytes) b &= 0x7F;  // the pattern's 0x80 occurs only where it is planted
    const Bytes match = {0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    std::vector<std::uint32_t> planted;
    for (std::uint32_t edge = 0x40000, k = 0; edge < 0x300000; edge += 0x40000, ++k) {
        planted.push_back(edge - 1 - k % 7);  // each split differently by the edge
        planted.push_back(edge + 50);
    }
    for (std::uint32_t at : planted) std::copy(match.begin(), match.end(), bytes.begin() + at);
    planted.push_back(0x300000 - 8);
    std::copy(match.begin(), match.end(), bytes.end() - 8);
    const std::string path = dir.File("windows.bin");
    WriteWholeFile(path, bytes);
    HexDocument doc;
    ASSERT_TRUE(HexDocOpenFile(doc, path.c_str(), true, true));
    const HexPattern p = Hex("80 11 22 33 44 55 66 77");
    for (std::uint32_t budget : {0x100000u, 0x40001u, 4093u}) {
        std::uint32_t from = 0;
        for (std::uint32_t at : planted) {
            ASSERT_EQ(SearchAll(doc, p, from, false, budget), (Outcome{kHexScanFound, at, false}))
                << "budget " << budget;
            from = at + 1;
        }
        EXPECT_EQ(SearchAll(doc, p, from, false, budget),
                  (Outcome{kHexScanFound, planted[0], true}));
        from = doc.length;
        for (auto it = planted.rbegin(); it != planted.rend(); ++it) {
            ASSERT_EQ(SearchAll(doc, p, from, true, budget), (Outcome{kHexScanFound, *it, false}))
                << "budget " << budget;
            from = *it;
        }
    }
}

// ---- Against the plain search -------------------------------------------------------------

// A pattern of 1 to 12 bytes (sometimes up to 300), mostly copied from the document so that it
// occurs, with some bytes made wildcards or case-folded letters.
HexPattern RandomPattern(std::mt19937& random, const Bytes& flat, std::uint32_t near) {
    const std::size_t m = random() % 16 == 0 ? 1 + random() % 300 : 1 + random() % 12;
    HexPattern p;
    std::size_t at = flat.size() > m ? random() % (flat.size() - m) : 0;
    if (random() % 2 == 0 && near + m < flat.size())
        at = near - std::min<std::size_t>(near, random() % m);
    const bool fold = random() % 4 == 0;
    const bool wild = random() % 4 == 0;
    for (std::size_t i = 0; i < m; ++i) {
        std::uint8_t value = i + at < flat.size() && random() % 8 != 0
                                 ? flat[i + at]
                                 : static_cast<std::uint8_t>(random());
        std::uint8_t mask = 0xFF;
        const bool letter = (value | 0x20) >= 'a' && (value | 0x20) <= 'z';
        if (fold && letter) mask = 0xDF;
        if (wild && random() % 3 == 0) mask = 0;
        p.values.push_back(value & mask);
        p.masks.push_back(mask);
    }
    if (std::all_of(p.masks.begin(), p.masks.end(), [](std::uint8_t k) { return k == 0; })) {
        p.masks[0] = 0xFF;
        p.values[0] = flat.empty() ? 0 : flat[at];
    }
    return p;
}

// A position near the edges that matter: piece edges are everywhere, window edges at multiples
// of 256 KiB.
std::uint32_t RandomPosition(std::mt19937& random, std::uint32_t length) {
    if (length == 0) return 0;
    std::uint32_t at = random() % (length + 1);
    if (random() % 2 == 0 && length > 0x40000) {
        at = (at & ~0x3FFFFu) + random() % 16 - 8;
        if (at > length) at = length;
    }
    return at;
}

void CompareWithPlainSearch(HexDocument& doc, std::mt19937& random, int searches) {
    const Bytes flat = Contents(doc);
    for (int i = 0; i < searches; ++i) {
        const std::uint32_t near = RandomPosition(random, doc.length);
        const HexPattern p = RandomPattern(random, flat, near);
        const std::uint32_t from = random() % 2 ? near : RandomPosition(random, doc.length);
        const bool backward = random() % 2;
        const std::uint32_t budget =
            random() % 3 == 0 ? 1 + random() % 20 : 1 + random() % 0x100000;
        ASSERT_EQ(SearchAll(doc, p, from, backward, budget), NaiveSearch(flat, p, from, backward))
            << "search " << i << ": length " << p.values.size() << ", from " << from
            << (backward ? " backward" : " forward") << ", budget " << budget;
    }
}

TEST(HexSearchModel, DocumentsOverMemoryOfManyPiecesAgreeWithThePlainSearch) {
    std::mt19937 random(11);
    for (int round = 0; round < 60; ++round) {
        HexDocument doc;
        const std::string text = "The quick brown Fox jumps over the lazy dog. ";
        Bytes bytes = PatternBytes(random() % 3000, round);
        if (round % 3 == 0) {
            for (auto& b : bytes) b &= 3;  // candidates everywhere, most of them false
        }
        for (std::size_t i = 0; i < bytes.size(); i += 1 + random() % 200) {
            bytes[i] = static_cast<std::uint8_t>(text[i % text.size()]);  // letters to fold
        }
        ASSERT_TRUE(OpenOverMemory(doc, bytes));
        CutIntoPieces(doc, random, static_cast<int>(random() % 300));
        CompareWithPlainSearch(doc, random, 60);
    }
}

TEST(HexSearchModel, MappedFilesOfManyPiecesAgreeWithThePlainSearch) {
    std::mt19937 random(12);
    ScratchDir dir;
    for (int round = 0; round < 4; ++round) {
        Bytes bytes = PatternBytes(0x200000 + random() % 0x100000, round);
        for (auto& b : bytes) b &= 0x3F;  // few values: partial matches everywhere
        const std::string path = dir.File("model" + std::to_string(round) + ".bin");
        WriteWholeFile(path, bytes);
        HexDocument doc;
        ASSERT_TRUE(HexDocOpenFile(doc, path.c_str(), true, true));
        CutIntoPieces(doc, random, 200);
        CompareWithPlainSearch(doc, random, 40);
    }
}

}  // namespace
