// Intel HEX and S-record files made by hand (checksums computed apart from the code under
// test): every record type, bad checksums and malformed lines with their line numbers,
// overlapping records, the end record rules; and what the writers produce.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/image_formats.h"
#include "tests/native/support/pattern_bytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes of [start, start + length), gaps as 0xEE.
Bytes Slice(const SparseImage& image, std::uint32_t start, std::uint32_t length) {
    Bytes out(length);
    image.CopyOut(start, length, 0xEE, out.data());
    return out;
}

struct Parsed {
    bool ok;
    ImageError error;
    SparseImage image;
};

Parsed Parse(ImageFormat format, const std::string& text) {
    Parsed p;
    p.ok = ParseImage(format, text, p.image, p.error);
    return p;
}

TEST(IntelHex, EveryRecordType) {
    const Parsed p = Parse(ImageFormat::kIntelHex,
                           ":03000000010203F7\n"
                           ":020000021000EC\n"      // segment 0x1000: base 0x10000
                           ":02001000AABB89\n"      // 0x10010
                           ":0400000300003800C1\n"  // start segment address: ignored
                           ":020000040002F8\n"      // linear 0x0002: base 0x20000
                           ":01FFFF00CC35\n"        // 0x2FFFF
                           ":04000005000000CD2A\n"  // start linear address: ignored
                           ":00000001FF\n");
    ASSERT_TRUE(p.ok) << p.error.line << ": " << p.error.message;
    EXPECT_EQ(p.image.dataBytes(), 6u);
    EXPECT_EQ(p.image.lowest(), 0u);
    EXPECT_EQ(p.image.highest(), 0x2FFFFu);
    EXPECT_EQ(Slice(p.image, 0, 4), (Bytes{1, 2, 3, 0xEE}));
    EXPECT_EQ(Slice(p.image, 0x1000F, 4), (Bytes{0xEE, 0xAA, 0xBB, 0xEE}));
    EXPECT_EQ(Slice(p.image, 0x2FFFE, 2), (Bytes{0xEE, 0xCC}));
}

TEST(IntelHex, LowerCaseCrLfBlankLinesAndATrailingCtrlZ) {
    const Parsed p = Parse(ImageFormat::kIntelHex,
                           "\r\n  :0400000300003800c1\r\n\r\n\t:03000000010203f7  \r\n"
                           ":00000001FF\r\n\x1A");
    ASSERT_TRUE(p.ok) << p.error.message;
    EXPECT_EQ(Slice(p.image, 0, 3), (Bytes{1, 2, 3}));
}

TEST(IntelHex, TheTopOfTheAddressSpace) {
    const Parsed p = Parse(ImageFormat::kIntelHex,
                           ":02000004FFFFFC\n:10FFF000000102030405060708090A0B0C0D0E0F89\n"
                           ":00000001FF\n");
    ASSERT_TRUE(p.ok) << p.error.message;
    EXPECT_EQ(p.image.lowest(), 0xFFFFFFF0u);
    EXPECT_EQ(p.image.highest(), 0xFFFFFFFFu);
}

// srec_cat writes records that cross a 64 KiB boundary under 04 addressing: they go on into
// the next 64 KiB. Text from Windows editors may start with a UTF-8 byte-order mark.
TEST(IntelHex, LinearRecordsCrossIntoTheNext64KiBAndAByteOrderMarkIsSkipped) {
    const Parsed p = Parse(ImageFormat::kIntelHex,
                           "\xEF\xBB\xBF:020000040001F9\n"
                           ":11FFF000000102030405060708090A0B0C0D0E0F1078\n:00000001FF\n");
    ASSERT_TRUE(p.ok) << p.error.line << ": " << p.error.message;
    EXPECT_EQ(p.image.lowest(), 0x1FFF0u);
    EXPECT_EQ(p.image.highest(), 0x20000u);
    EXPECT_EQ(Slice(p.image, 0x1FFFF, 2), (Bytes{0x0F, 0x10}));
    const Parsed s = Parse(ImageFormat::kSRecord, "\xEF\xBB\xBFS1050100AABB94\nS9030000FC\n");
    ASSERT_TRUE(s.ok) << s.error.message;
    EXPECT_EQ(Slice(s.image, 0x100, 2), (Bytes{0xAA, 0xBB}));
}

struct BadFile {
    const char* text;
    std::uint32_t line;
    const char* message;
};

TEST(IntelHex, BadRecordsNameTheirLine) {
    const BadFile cases[] = {
        {":03000000010203F8\n:00000001FF\n", 1,
         "bad checksum: the record says 0xF8, its bytes need 0xF7"},
        {"\n03000000010203F7\n", 2, "not an Intel HEX record (it does not start with ':')"},
        {":030000000102G3F7\n", 1, "'G' is not a hexadecimal digit (column 14)"},
        {":03000000010203F\n", 1, "odd number of hexadecimal digits"},
        {":0300\n", 1, "too short for a record"},
        {":04000000010203F6\n", 1, "the record announces 4 data bytes but holds 3"},
        {":00000006FA\n", 1, "unknown record type 06"},
        {":0100000100FE\n", 1, "an end-of-file record (01) carries no data"},
        {":03000004010203F3\n", 1, "an address record (04) holds 2 bytes, not 3"},
        {":11FFF000000102030405060708090A0B0C0D0E0F1078\n:00000001FF\n", 1,
         "the record's data runs past the end of its 64 KiB segment"},
        {":020000021000EC\n:11FFF000000102030405060708090A0B0C0D0E0F1078\n:00000001FF\n", 2,
         "the record's data runs past the end of its 64 KiB segment"},
        {":03000000010203F7\n:00000001FF\n:03000000010203F7\n", 3,
         "text after the end-of-file record"},
        {":03000000010203F7\n", 0, "no end-of-file record (01): the file may be cut short"},
        {"", 0, "no end-of-file record (01): the file may be cut short"},
    };
    for (const BadFile& c : cases) {
        const Parsed p = Parse(ImageFormat::kIntelHex, c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_EQ(p.error.line, c.line) << c.text;
        EXPECT_EQ(p.error.message, c.message) << c.text;
    }
}

TEST(IntelHex, OverlappingRecordsThatAgreeAreMerged) {
    const Parsed p =
        Parse(ImageFormat::kIntelHex, ":040100001122334451\n:030102003344552E\n:00000001FF\n");
    ASSERT_TRUE(p.ok) << p.error.message;
    EXPECT_EQ(p.image.dataBytes(), 5u);
    EXPECT_EQ(Slice(p.image, 0x100, 6), (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0xEE}));
}

TEST(IntelHex, OverlappingRecordsThatDisagreeNameBothLines) {
    const Parsed p = Parse(ImageFormat::kIntelHex,
                           ":040100001122334451\n:030102003344552E\n:010103009962\n:00000001FF\n");
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error.line, 3u);
    EXPECT_EQ(p.error.message,
              "the byte at 0x00000103 differs from line 1 (0x44 there, 0x99 here)");
}

TEST(SRecord, EveryRecordType) {
    for (const char* end : {"S9030000FC", "S8041234565F", "S70512345678E6"}) {
        const Parsed p = Parse(ImageFormat::kSRecord, std::string("S00600004844521B\n"
                                                                  "S10512340102B1\n"
                                                                  "S20712345603040550\n"
                                                                  "S3061234567806DF\n"
                                                                  "S5030003F9\n") +
                                                          end + "\n");
        ASSERT_TRUE(p.ok) << p.error.line << ": " << p.error.message;
        EXPECT_EQ(p.image.dataBytes(), 6u);
        EXPECT_EQ(Slice(p.image, 0x1234, 2), (Bytes{1, 2}));
        EXPECT_EQ(Slice(p.image, 0x123456, 3), (Bytes{3, 4, 5}));
        EXPECT_EQ(Slice(p.image, 0x12345678, 1), (Bytes{6}));
    }
}

TEST(SRecord, AnS6CountAndLowerCaseDigits) {
    const Parsed p =
        Parse(ImageFormat::kSRecord,
              "S10512340102b1\r\n"
              "S20712345603040550\r\nS3061234567806df\r\nS604000003F8\r\nS9030000FC\r\n");
    ASSERT_TRUE(p.ok) << p.error.line << ": " << p.error.message;
    EXPECT_EQ(p.image.dataBytes(), 6u);
}

TEST(SRecord, BadRecordsNameTheirLine) {
    const BadFile cases[] = {
        {"S10512340102B2\nS9030000FC\n", 1,
         "bad checksum: the record says 0xB2, its bytes need 0xB1"},
        {"S1051234010\n", 1, "odd number of hexadecimal digits"},
        {"\n\n:03000000010203F7\n", 3, "not an S-record (it does not start with 'S')"},
        {"SX0512340102B1\n", 1, "'S' is not followed by a record type digit"},
        {"S4030000FC\nS9030000FC\n", 1, "S4 is a reserved record type"},
        {"S10612340102B1\n", 1, "the record announces 6 bytes but holds 5"},
        {"S2031234B6\n", 1, "too short for an S2 record"},
        {"S10512340102B1\nS20712345603040550\nS5030003F9\nS9030000FC\n", 3,
         "the record count says 3 data records, the file holds 2 before it"},
        {"S307FFFFFFFF0102F9\nS9030000FC\n", 1, "the data runs past address 0xFFFFFFFF"},
        {"S9030000FC\nS10512340102B1\n", 2, "text after the end record (S9)"},
        {"S904000001FA\n", 1, "an S9 end record carries no data"},
        {"S10512340102B1\nS5030001FB\nS10512360304AB\n", 2,
         "the record count says 1 data records, the file holds 2"},
        {"S1060010010203E3\nS10500110207E0\nS9030000FC\n", 2,
         "the byte at 0x00000012 differs from line 1 (0x03 there, 0x07 here)"},
    };
    for (const BadFile& c : cases) {
        const Parsed p = Parse(ImageFormat::kSRecord, c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_EQ(p.error.line, c.line) << c.text;
        EXPECT_EQ(p.error.message, c.message) << c.text;
    }
}

TEST(SRecord, AFileWithoutAnEndRecordIsTakenWithANote) {
    const struct {
        const char* text;
        const char* note;
    } cases[] = {
        {"S00600004844521B\nS10512340102B1\n",
         "no end record (S7, S8 or S9); the file is taken as complete"},
        {"S10512340102B1\nS5030001FB\n",
         "no end record (S7, S8 or S9); the file is taken as complete, as its record count "
         "matches"},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(ImageFormat::kSRecord, c.text);
        ASSERT_TRUE(p.ok) << p.error.line << ": " << p.error.message;
        EXPECT_EQ(p.error.note, c.note);
        EXPECT_EQ(Slice(p.image, 0x1234, 2), (Bytes{1, 2}));
    }
    EXPECT_EQ(Parse(ImageFormat::kSRecord, "S10512340102B1\nS9030000FC\n").error.note, "");
}

TEST(SRecord, TheLastByteOfTheAddressSpace) {
    const Parsed p = Parse(ImageFormat::kSRecord, "S307FFFFFFFE0102FA\nS70500000000FA\n");
    ASSERT_TRUE(p.ok) << p.error.message;
    EXPECT_EQ(p.image.highest(), 0xFFFFFFFFu);
}

TEST(BinaryImage, IsOneRunFromZero) {
    const Parsed p = Parse(ImageFormat::kBinary, std::string("\x01\x00\xFF", 3));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(Slice(p.image, 0, 4), (Bytes{1, 0, 0xFF, 0xEE}));
    EXPECT_TRUE(Parse(ImageFormat::kBinary, "").image.empty());
}

TEST(SparseImage, RefusesMoreThanSixteenMegabytes) {
    SparseImage image;
    const Bytes chunk(1 << 20, 0x5A);
    for (std::uint32_t i = 0; i < 16; ++i) {
        ASSERT_EQ(image.Add(i << 20, chunk.data(), chunk.size(), 1, nullptr),
                  SparseImage::AddResult::kAdded);
    }
    const std::uint8_t one = 0;
    EXPECT_EQ(image.Add(0x2000000, &one, 1, 2, nullptr), SparseImage::AddResult::kTooLarge);
    // Bytes given again add nothing and still fit.
    EXPECT_EQ(image.Add(5, chunk.data(), 100, 3, nullptr), SparseImage::AddResult::kAdded);
}

TEST(SparseImage, ARecordSpanningSeveralEarlierOnesFillsOnlyTheGaps) {
    SparseImage image;
    const Bytes all = PatternBytes(100);
    ASSERT_EQ(image.Add(10, all.data() + 10, 5, 1, nullptr), SparseImage::AddResult::kAdded);
    ASSERT_EQ(image.Add(40, all.data() + 40, 20, 2, nullptr), SparseImage::AddResult::kAdded);
    ASSERT_EQ(image.Add(0, all.data(), 100, 3, nullptr), SparseImage::AddResult::kAdded);
    EXPECT_EQ(image.dataBytes(), 100u);
    EXPECT_EQ(Slice(image, 0, 100), all);
    Bytes changed = all;
    changed[45] ^= 1;
    SparseImage::Conflict conflict{};
    EXPECT_EQ(image.Add(30, changed.data() + 30, 30, 4, &conflict),
              SparseImage::AddResult::kConflict);
    EXPECT_EQ(conflict.address, 45u);
    EXPECT_EQ(conflict.line, 2u);
    EXPECT_EQ(image.dataBytes(), 100u) << "a refused record changes nothing";
}

TEST(ImageWriters, SmallFilesExactly) {
    const Bytes data = {1, 2, 3};
    EXPECT_EQ(WriteIntelHex(data.data(), 3, 0), ":03000000010203F7\r\n:00000001FF\r\n");
    EXPECT_EQ(WriteSRecord(data.data(), 3, 0, "h"),
              "S004000068"
              "93\r\nS1060000010203F3\r\nS5030001FB\r\nS9030000FC\r\n");
    EXPECT_EQ(WriteIntelHex(nullptr, 0, 0), ":00000001FF\r\n");
}

TEST(ImageWriters, IntelHexSplitsAt64KiBAndGivesTheUpperBits) {
    const Bytes data = PatternBytes(0x50);
    const std::string text = WriteIntelHex(data.data(), 0x50, 0xFFE0);
    EXPECT_EQ(text.substr(0, 9), ":20FFE000");
    EXPECT_NE(text.find("\r\n:020000040001F9\r\n:20000000"), std::string::npos) << text;
    SparseImage image;
    ImageError error;
    ASSERT_TRUE(ParseIntelHex(text, image, error)) << error.message;
    EXPECT_EQ(Slice(image, 0xFFE0, 0x50), data);
    // Below 64 KiB no address record at all, for 16-bit readers.
    EXPECT_EQ(WriteIntelHex(data.data(), 0x50, 0x100).find(":02000004"), std::string::npos);
}

TEST(ImageWriters, SRecordTakesTheSmallestAddressWidth) {
    const Bytes data = PatternBytes(4);
    EXPECT_EQ(WriteSRecord(data.data(), 2, 0xFFFE, "").substr(12, 2), "S1");
    EXPECT_EQ(WriteSRecord(data.data(), 3, 0xFFFE, "").substr(12, 2), "S2");
    EXPECT_EQ(WriteSRecord(data.data(), 4, 0xFFFFFE, "").substr(12, 2), "S3");
    const std::string s3 = WriteSRecord(data.data(), 4, 0xFFFFFE, "");
    EXPECT_EQ(s3.substr(s3.size() - 16), "S70500000000FA\r\n");
}

TEST(ImageWriters, WholeChipsComeBackUnchanged) {
    const Bytes chip = PatternBytes(0x80000, 7);
    for (std::uint32_t base : {0u, 0x10000u, 0xFFF80000u}) {
        SparseImage hex;
        SparseImage srec;
        ImageError error;
        ASSERT_TRUE(ParseIntelHex(WriteIntelHex(chip.data(), 0x80000, base), hex, error))
            << error.message;
        ASSERT_TRUE(ParseSRecord(WriteSRecord(chip.data(), 0x80000, base, "chip.s37"), srec, error))
            << error.message;
        EXPECT_EQ(Slice(hex, base, 0x80000), chip);
        EXPECT_EQ(Slice(srec, base, 0x80000), chip);
        EXPECT_EQ(hex.dataBytes(), 0x80000u);
        EXPECT_EQ(srec.dataBytes(), 0x80000u);
    }
}

TEST(ImageFormatNames, ComeFromExtensionsAndOptionValues) {
    EXPECT_EQ(ImageFormatFromPath("a/b/rom.BIN"), ImageFormat::kBinary);
    EXPECT_EQ(ImageFormatFromPath("x.rom"), ImageFormat::kBinary);
    EXPECT_EQ(ImageFormatFromPath("x.hex"), ImageFormat::kIntelHex);
    EXPECT_EQ(ImageFormatFromPath("x.ihx"), ImageFormat::kIntelHex);
    for (const char* name : {"x.srec", "x.s19", "x.S28", "x.s37", "x.mot"}) {
        EXPECT_EQ(ImageFormatFromPath(name), ImageFormat::kSRecord) << name;
    }
    EXPECT_EQ(ImageFormatFromPath("x.txt"), std::nullopt);
    EXPECT_EQ(ImageFormatFromPath("dir.hex/image"), std::nullopt);
    EXPECT_EQ(ImageFormatFromPath("noextension"), std::nullopt);
    EXPECT_EQ(ImageFormatFromName("HEX"), ImageFormat::kIntelHex);
    EXPECT_EQ(ImageFormatFromName("srec"), ImageFormat::kSRecord);
    EXPECT_EQ(ImageFormatFromName("bin"), ImageFormat::kBinary);
    EXPECT_EQ(ImageFormatFromName("elf"), std::nullopt);
}

}  // namespace
