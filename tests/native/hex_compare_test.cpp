// The document compare against the plain compare of flat bytes: documents of many pieces,
// mapped files whose differences straddle file windows, slices of any size, the limit of the
// list; image and fill sides, a document edited or unreadable during a run, and the texts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "document/hex_compare_text.h"
#include "document/hex_document_file.h"
#include "document/hex_document_image.h"
#include "tests/native/support/naive_compare.h"
#include "tests/native/support/pieced_document.h"
#include "tests/native/support/scratch_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

HexScanStatus RunToEnd(HexCompare& compare, std::uint32_t budget) {
    HexScanStatus status;
    while ((status = compare.Step(budget)) == kHexScanMore) {
    }
    return status;
}

TEST(HexCompareTest, TheFastScansFindTheFirstDifferenceAndTheFirstAgreementAtEveryPlace) {
    Bytes a(200, 0x5A);
    for (std::size_t n = 0; n <= a.size(); ++n) {
        for (std::size_t at = 0; at <= n; ++at) {
            Bytes b(a.begin(), a.begin() + n);
            if (at < n) b[at] ^= 0x80;
            ASSERT_EQ(HexFirstDifferent(a.data(), b.data(), n), at) << n;
            for (auto& byte : b) byte ^= 1;  // now everything differs but position at
            if (at < n) b[at] = a[at];
            ASSERT_EQ(HexFirstSame(a.data(), b.data(), n), at) << n;
        }
    }
}

// Two documents, each cut into pieces by random edits, compared in slices of random size: the
// ranges, the counts, the limit of the list and the look-ups from every position agree with
// the plain compare.
TEST(HexCompareTest, AgreesWithThePlainCompareOverDocumentsOfManyPieces) {
    std::mt19937 random(26);
    for (int round = 0; round < 300; ++round) {
        Bytes base(random() % 700);
        for (auto& byte : base) byte = static_cast<std::uint8_t>(random() % 3);
        HexDocument a;
        HexDocument b;
        ASSERT_TRUE(OpenOverMemory(a, base));
        ASSERT_TRUE(OpenOverMemory(b, base));
        CutIntoPieces(a, random, static_cast<int>(random() % 12));
        CutIntoPieces(b, random, static_cast<int>(random() % 12));
        const Bytes flatA = Contents(a);
        const Bytes flatB = Contents(b);

        // Every third round lists few ranges: the rest are counted, the extra bytes still listed.
        const std::size_t limit = round % 3 == 0 ? 1 + random() % 4 : kHexDiffMaxListed;
        HexCompare compare(HexCompareSide::Document(a), HexCompareSide::Document(b), limit);
        ASSERT_EQ(RunToEnd(compare, 1 + random() % (round % 2 ? 40 : 4000)), kHexScanDone);
        EXPECT_EQ(compare.Done(), compare.Total());
        EXPECT_EQ(Disagreement(compare.TakeDifferences(), flatA, flatB, limit), "") << round;
    }
}

// Differences on either side of the edges of the 1 MiB file windows, one running across an
// edge, and a second file 5 bytes longer, through the mapping.
TEST(HexCompareTest, MappedFilesCompareAcrossTheirWindowEdges) {
    ScratchDir dir;
    const Bytes a = PatternBytes(0x300000, 3);
    Bytes b = a;
    for (std::uint32_t at : {0x7FFFFu, 0x80000u, 0xFFFFFu, 0x17FFFEu, 0x17FFFFu, 0x180000u,
                             0x180001u, 0x2FFFFFu}) {
        b[at] ^= 0xFF;
    }
    b.insert(b.end(), 5, 0);
    WriteWholeFile(dir.File("a.bin"), a);
    WriteWholeFile(dir.File("b.bin"), b);
    HexDocument docA;
    HexDocument docB;
    ASSERT_TRUE(HexDocOpenFile(docA, dir.File("a.bin").c_str(), true, true));
    ASSERT_TRUE(HexDocOpenFile(docB, dir.File("b.bin").c_str(), true, true));
    for (std::uint32_t budget : {0x100000u, 777u, kHexNoLimit}) {
        HexCompare compare(HexCompareSide::Document(docA), HexCompareSide::Document(docB));
        ASSERT_EQ(RunToEnd(compare, budget), kHexScanDone);
        EXPECT_EQ(ListedRanges(compare.Differences()), NaiveCompare(a, b));
        EXPECT_EQ(compare.Differences().RangeCount(), 5u);
    }
}

// A HEX image as it loads into a buffer of fill, made 64 KiB at a time.
TEST(HexCompareTest, AnImageComparesWithItsGapsAsFill) {
    SparseImage image;
    const std::uint8_t data[] = {0x10, 0x11, 0x12};
    ASSERT_EQ(image.Add(0x100, data, 3, 1, nullptr), SparseImage::AddResult::kAdded);
    Bytes chip(0x20000, 0xFF);
    chip[0x101] = 0x11;
    chip[0x1FFFF] = 0x00;
    HexCompare compare(HexCompareSide::Image(image, 0x20000, 0xFF),
                       HexCompareSide::Block(chip.data(), 0x20000));
    ASSERT_EQ(RunToEnd(compare, 0x9000), kHexScanDone);
    EXPECT_EQ(ListedRanges(compare.Differences()),
              (std::vector<HexDiffRange>{{0x100, 0x101}, {0x102, 0x103}, {0x1FFFF, 0x20000}}));
}

// Sides that give only their data (a HEX file by its addresses, a document read from one) are
// compared where both give bytes; a side past the other's end has extra bytes only when the
// shorter side ends (a HEX file has no end: the document past it is no difference).
TEST(HexCompareTest, AddressedSidesCompareOnlyWhatBothGive) {
    auto image = [](std::initializer_list<std::pair<std::uint32_t, Bytes>> runs) {
        SparseImage made;
        for (const auto& [address, bytes] : runs) {
            EXPECT_EQ(made.Add(address, bytes.data(), bytes.size(), 1, nullptr),
                      SparseImage::AddResult::kAdded);
        }
        return made;
    };
    const SparseImage file = image({{0x10, {1, 2, 3, 4}}, {0x20, {5, 6}}});
    HexDocument doc;
    ASSERT_TRUE(HexDocOpenImage(doc, image({{0x10, {1, 2, 9, 4}}, {0x30, {7}}}), {}));
    Bytes buffer(0x40, 0xFF);
    std::copy_n(Bytes{1, 2, 0xEE, 4}.begin(), 4, buffer.begin() + 0x10);
    buffer[0x20] = 5;
    buffer[0x21] = 6;
    struct Case {
        HexCompareSide a;
        HexCompareSide b;
        std::vector<HexDiffRange> ranges;  // the extra bytes' range last
        std::uint64_t bytes;               // the extra ones among them
        std::uint64_t compared;
        std::uint64_t extra;
    };
    const Case cases[] = {
        {HexCompareSide::Block(buffer.data(), 0x40), HexCompareSide::Given(file), {{0x12, 0x13}},
         1, 6, 0},
        {HexCompareSide::Document(doc), HexCompareSide::Given(file), {{0x12, 0x13}}, 1, 4, 0},
        {HexCompareSide::Block(buffer.data(), 0x12), HexCompareSide::Document(doc),
         {{0x12, 0x31}}, 3, 2, 3},
    };
    for (const Case& c : cases) {
        HexCompare compare(c.a, c.b);
        ASSERT_EQ(RunToEnd(compare, 5), kHexScanDone);
        const HexDiffList& found = compare.Differences();
        EXPECT_EQ(ListedRanges(found), c.ranges);
        EXPECT_EQ(found.ByteCount(), c.bytes);
        const HexDiffCounts counts = found.Counts();
        EXPECT_EQ(counts.compared, c.compared);
        EXPECT_EQ(counts.extra, c.extra);
        EXPECT_FALSE(counts.firstLonger);
        EXPECT_TRUE(counts.addressed);
    }
}

TEST(HexCompareTest, AnEditOrALostFileWindowEndsTheRunForGood) {
    ScratchDir dir;
    WriteWholeFile(dir.File("a.bin"), PatternBytes(0x300000));
    HexDocument mapped;
    HexDocument memory;
    ASSERT_TRUE(HexDocOpenFile(mapped, dir.File("a.bin").c_str(), true, true));
    ASSERT_TRUE(OpenOverMemory(memory, Bytes(0x300000, 0)));

    HexCompare edited(HexCompareSide::Document(memory), HexCompareSide::Document(mapped));
    ASSERT_EQ(edited.Step(100), kHexScanMore);
    ASSERT_TRUE(HexDocOverwrite(memory, 5, "x", 1));
    EXPECT_EQ(edited.Step(100), kHexScanChanged);
    ASSERT_TRUE(HexDocUndo(memory));
    EXPECT_EQ(edited.Step(100), kHexScanChanged) << "final";

    HexCompare unmapped(HexCompareSide::Document(memory), HexCompareSide::Document(mapped));
    SetFileGate([](FileOp op, std::uint64_t) { return op != FileOp::kRead; });
    const HexScanStatus status = RunToEnd(unmapped, 0x100000);
    SetFileGate(nullptr);
    EXPECT_EQ(status, kHexScanUnreadable);
    EXPECT_EQ(unmapped.Step(100), kHexScanUnreadable);
}

// The bytes, the padding and "(past its end)" of the report are those vorland-cli prints (its
// tests); here the log line and the addresses past FFFFFF.
TEST(HexCompareTest, TheLogLineAndWideAddresses) {
    const Bytes a = {0x55, 0xAA, 0x01, 0x02, 0x03, 0x04};
    const Bytes b = {0x55, 0x00, 0x00, 0x02, 0x03, 0x04, 0xEE};
    const HexCompareSide sideA = HexCompareSide::Block(a.data(), 6);
    const HexCompareSide sideB = HexCompareSide::Block(b.data(), 7);
    HexCompare compare(sideA, sideB);
    ASSERT_EQ(compare.Step(kHexNoLimit), kHexScanDone);
    EXPECT_EQ(HexDiffSummaryLine("Differences", compare.Differences(), 0x2000),
              "Differences: 3 bytes in 2 ranges, first 002001-002002");
    EXPECT_EQ(HexDiffReport(compare.Differences(), sideA, "a", sideB, "b", 0xFFFFFA, 1),
              "3 bytes differ in 2 ranges\n00FFFFFB-00FFFFFC  a AA 01  b 00 00\n");

    HexCompare one(HexCompareSide::Block(a.data(), 1), HexCompareSide::Filled(0xFF, 1));
    ASSERT_EQ(one.Step(1), kHexScanDone);
    EXPECT_EQ(HexDiffSummaryLine("Not blank", one.Differences(), 0x100),
              "Not blank: 1 byte in 1 range, first 000100-000100");
    EXPECT_EQ(HexDiffReport(one.Differences(), sideA, "a", sideB, "b", 0, 0),
              "1 byte differs in 1 range\n");
}

}  // namespace
