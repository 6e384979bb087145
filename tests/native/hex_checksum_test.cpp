// Checksums over a document: the check values over bytes cut into pieces, ranges over mapped
// files, slices of every size, and an edit under a running checksum.
#include "document/hex_checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "document/hex_document_file.h"
#include "tests/native/support/pieced_document.h"
#include "tests/native/support/scratch_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

ChecksumResults RunToEnd(HexChecksumRun& run, std::uint32_t budget) {
    HexScanStatus status;
    while ((status = run.Step(budget)) == kHexScanMore) EXPECT_LT(run.Done(), run.Total());
    EXPECT_EQ(status, kHexScanDone);
    EXPECT_EQ(run.Done(), run.Total());
    return run.Results();
}

TEST(HexChecksum, CheckValuesOverPiecesInSlicesOfAnySize) {
    HexDocument doc;
    ASSERT_TRUE(OpenOverMemory(doc, {'<', '1', '2', '3', '4', '5', '6', '7', '8', '9', '>'}));
    // "456" typed over again, byte by byte: the range now spans several pieces.
    for (char c : std::string("465")) {
        doc.lastOp = kHexOpNone;
        ASSERT_TRUE(HexDocOverwrite(doc, static_cast<std::uint32_t>(c - '0'), &c, 1));
    }
    ASSERT_TRUE(HexDocOverwrite(doc, 6, "6", 1));
    for (std::uint32_t budget = 0; budget <= 10; ++budget) {
        HexChecksumRun run(doc, 1, 9);
        const ChecksumResults r = RunToEnd(run, budget);
        EXPECT_EQ(r.bytes, 9u);
        EXPECT_EQ(HexChecksumText(r),
                  "Byte sum (8 bit): DD\r\n"
                  "Byte sum (16 bit): 01DD\r\n"
                  "CRC-16/CCITT-FALSE: 29B1\r\n"
                  "CRC-32: CBF43926\r\n"
                  "SHA-256: 15E2B0D3C33891EBB0F1EF609EC419420C20E320CE94C65FBC8C3312448EB225")
            << "budget " << budget;
    }
    HexChecksumRun crcOnly(doc, 1, 9, kChecksumCrc32);
    EXPECT_EQ(HexChecksumText(RunToEnd(crcOnly, 4), kChecksumCrc32), "CRC-32: CBF43926");
}

TEST(HexChecksum, RangesOfAMappedFileMatchTheFlatBytes) {
    ScratchDir dir;
    const std::string path = dir.File("sums.bin");
    WriteWholeFile(path, PatternBytes(0x280000, 9));
    HexDocument doc;
    ASSERT_TRUE(HexDocOpenFile(doc, path.c_str(), true, true));
    std::mt19937 random(8);
    CutIntoPieces(doc, random, 100);
    const Bytes flat = Contents(doc);
    for (int i = 0; i < 12; ++i) {
        const std::uint32_t position = i == 0 ? 0 : random() % doc.length;
        const std::uint32_t count = i == 0 ? doc.length : random() % (doc.length - position + 1);
        ChecksumSet expected;
        expected.Update(flat.data() + position, count);
        const ChecksumResults want = expected.Finish();
        HexChecksumRun run(doc, position, count);
        const ChecksumResults got = RunToEnd(run, 1 + random() % 0x100000);
        EXPECT_EQ(HexChecksumText(got), HexChecksumText(want)) << position << " + " << count;
        EXPECT_EQ(got.bytes, count);
    }
}

TEST(HexChecksum, RefusesRangesOutsideAndNoticesEdits) {
    HexDocument doc;
    ASSERT_TRUE(OpenOverMemory(doc, Bytes(100, 1)));
    EXPECT_EQ(HexChecksumRun(doc, 50, 51).Step(10), kHexScanBadArgument);
    EXPECT_EQ(HexChecksumRun(doc, 101, 0).Step(10), kHexScanBadArgument);
    HexChecksumRun empty(doc, 100, 0);
    EXPECT_EQ(RunToEnd(empty, 10).bytes, 0u);

    HexChecksumRun run(doc, 0, 100);
    EXPECT_EQ(run.Step(10), kHexScanMore);
    ASSERT_TRUE(HexDocDelete(doc, 0, 1));
    EXPECT_EQ(run.Step(10), kHexScanChanged);
    EXPECT_EQ(run.Step(1000), kHexScanChanged);
}

}  // namespace
