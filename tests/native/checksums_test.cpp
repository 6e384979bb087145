// Checksums against published reference values, and the same results however a stream is cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/checksums.h"
#include "tests/native/support/pattern_bytes.h"

namespace {

const std::uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

ChecksumResults All(const std::string& s) {
    ChecksumSet set;
    set.Update(Bytes(s), s.size());
    return set.Finish();
}

TEST(Checksums, ReferenceValues) {
    struct Case {
        std::string input;
        std::uint16_t sum16;
        std::uint16_t crc16;
        std::uint32_t crc32;
        const char* sha256;
    };
    const Case cases[] = {
        {"", 0, 0xFFFF, 0, "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abc", 0x126, 0x514A, 0x352441C2,
         "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {"123456789", 0x1DD, 0x29B1, 0xCBF43926,
         "15E2B0D3C33891EBB0F1EF609EC419420C20E320CE94C65FBC8C3312448EB225"},
        // 56 bytes: the length no longer fits the block, so the padding takes a second one.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 0x16F8, 0x253A, 0x171A3F5F,
         "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {std::string(1000000, 'a'), 0x1A40, 0x5924, 0xDC25BFBC,
         "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
        // An erased AM29F040.
        {std::string(0x80000, '\xFF'), 0x0000, 0x6A4B, 0x504BF849,
         "043E238A765F7CFBC62596A50E53C8FFB6B188A99357B0EBEDE251725D67589F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 20));
        const ChecksumResults r = All(c.input);
        EXPECT_EQ(r.bytes, c.input.size());
        EXPECT_EQ(r.sum8, c.sum16 & 0xFF);
        EXPECT_EQ(r.sum16, c.sum16);
        EXPECT_EQ(r.crc16, c.crc16);
        EXPECT_EQ(r.crc32, c.crc32);
        EXPECT_EQ(DigestHex(r.sha256), c.sha256);
    }
}

TEST(Checksums, AStreamCutAnywhereGivesTheSameResults) {
    const std::vector<std::uint8_t> data = PatternBytes(300, 7);
    ChecksumSet whole;
    whole.Update(data.data(), data.size());
    const ChecksumResults expected = whole.Finish();
    for (std::size_t a = 0; a <= data.size(); a += 7) {
        for (std::size_t b = a; b <= data.size(); b += 13) {
            ChecksumSet set;
            set.Update(data.data(), a);
            set.Update(data.data() + a, b - a);
            set.Update(data.data() + b, data.size() - b);
            const ChecksumResults r = set.Finish();
            ASSERT_EQ(r.crc32, expected.crc32) << a << ' ' << b;
            ASSERT_EQ(r.crc16, expected.crc16) << a << ' ' << b;
            ASSERT_EQ(r.sum16, expected.sum16) << a << ' ' << b;
            ASSERT_EQ(r.sha256, expected.sha256) << a << ' ' << b;
        }
    }
    // Finish starts the set over: the same stream again gives the same results.
    whole.Update(data.data(), data.size());
    EXPECT_EQ(whole.Finish().sha256, expected.sha256);
}

TEST(Checksums, OnlyTheKindsAskedForAreComputed) {
    ChecksumSet set(kChecksumCrc32);
    set.Update(Bytes("123456789"), 9);
    const ChecksumResults r = set.Finish();
    EXPECT_EQ(r.crc32, 0xCBF43926u);
    EXPECT_EQ(r.sum16, 0);
    EXPECT_EQ(r.crc16, kCrc16Start);
    EXPECT_EQ(r.sha256, Sha256::Digest{});
}

TEST(Checksums, TheLogLineForms) {
    EXPECT_EQ(FormatSumAndCrc32(0x1A2B, 0x89ABCDEF), "sum 1A2B, CRC-32 89ABCDEF");
    EXPECT_EQ(FormatSumAndCrc32(0, 0x1), "sum 0000, CRC-32 00000001");
    const std::string digits = "123456789";
    EXPECT_EQ(FormatChecksumLine(0x100, 0x108, Bytes(digits)),
              "Checksum 000100-000108: sum 01DD, CRC-32 CBF43926");
    const std::string erased(0x80000, '\xFF');
    EXPECT_EQ(FormatChecksumLine(0, 0x7FFFF, Bytes(erased)),
              "Checksum 000000-07FFFF: sum 0000, CRC-32 504BF849");
}

}  // namespace
