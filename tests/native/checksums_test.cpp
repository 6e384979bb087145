// Checksums against published reference values and those of zlib and Python's hashlib, the same
// results however a stream is cut, and the processor's instructions against the portable code.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/checksums.h"
#include "tests/native/support/pattern_bytes.h"

namespace {

const std::uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

ChecksumResults All(const std::uint8_t* data, std::size_t size) {
    ChecksumSet set;
    set.Update(data, size);
    return set.Finish();
}

ChecksumResults All(const std::string& s) {
    return All(Bytes(s), s.size());
}

constexpr ChecksumInstructions kEachInstructionSet[] = {
    ChecksumInstructions::kAll, ChecksumInstructions::k128Bit, ChecksumInstructions::kNone};

// Runs a check with each set of the processor's instructions the checksums may use, down to
// the portable code alone, and lifts the limit again.
template <typename Check>
void WithEachInstructionSet(Check check) {
    for (ChecksumInstructions most : kEachInstructionSet) {
        LimitChecksumInstructions(most);
        SCOPED_TRACE(ChecksumInstructionsInUse());
        check();
    }
    LimitChecksumInstructions(ChecksumInstructions::kAll);
}

TEST(Checksums, ReferenceValues) {
    WithEachInstructionSet([] {
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
    });
}

// Longer streams, long enough for every fold and block loop: CRC-32 from zlib.crc32, CRC-16
// from binascii.crc_hqx(data, 0xFFFF), SHA-256 from hashlib, over PatternBytes(size, seed).
TEST(Checksums, LongStreamsMatchZlibAndHashlib) {
    struct Case {
        std::size_t size;
        std::uint32_t seed;
        std::uint16_t sum16;
        std::uint16_t crc16;
        std::uint32_t crc32;
        const char* sha256;
    };
    const Case cases[] = {
        {1000, 3, 0xDC5D, 0x2531, 0x41E70E24,
         "85FE19E3BC03B19FEC59AD6C599C4F96BE91F5C9BD50F207F89B5196404CE929"},
        {0x1000D, 5, 0x4B17, 0x04FC, 0x04F802CE,
         "8F929B9744DF701B1324395A7895569964DACF2948ADD639A8DA5A1CC3C38DCB"},
        {0x80000, 7, 0x7EF8, 0x38D7, 0xEC8B18CB,
         "774D84E88B8C4B0128B6EB608C9821F9A90B1B038A301A96DC29234AA9C9DEFA"},
        {0x300005, 11, 0x0993, 0xE4D3, 0x22F2AD47,
         "FA05FB752BF0C3B6314218793B65E1C97AEADC206DB7C125B96BB4D789F34118"},
    };
    WithEachInstructionSet([&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.size);
            const std::vector<std::uint8_t> data = PatternBytes(c.size, c.seed);
            const ChecksumResults r = All(data.data(), data.size());
            EXPECT_EQ(r.sum16, c.sum16);
            EXPECT_EQ(r.crc16, c.crc16);
            EXPECT_EQ(r.crc32, c.crc32);
            EXPECT_EQ(DigestHex(r.sha256), c.sha256);
        }
    });
}

// Random stretches at every alignment, fed from random registers in random pieces: each set of
// the processor's instructions gives what the portable code gives.
TEST(Checksums, TheProcessorsInstructionsAgreeWithThePortableCode) {
    const std::vector<std::uint8_t> data = PatternBytes(1 << 18, 21);
    std::mt19937 random(33);
    struct Results {
        std::uint32_t sum;
        std::uint16_t crc16;
        std::uint32_t crc32;
        ChecksumResults set;
    };
    for (int i = 0; i < 400; ++i) {
        const std::size_t offset = random() % 64;
        const std::size_t size = random() % (i < 300 ? 2048 : data.size() - offset);
        const std::uint8_t* bytes = data.data() + offset;
        const auto crc32 = static_cast<std::uint32_t>(random());
        const auto crc16 = static_cast<std::uint16_t>(random());
        const std::size_t cut = size == 0 ? 0 : random() % size;
        std::vector<Results> results;
        WithEachInstructionSet([&] {
            ChecksumSet set;
            set.Update(bytes, cut);
            set.Update(bytes + cut, size - cut);
            results.push_back({ByteSumUpdate(crc32, bytes, size), Crc16Update(crc16, bytes, size),
                               Crc32Update(crc32, bytes, size), set.Finish()});
        });
        SCOPED_TRACE(::testing::Message() << "offset " << offset << ", size " << size);
        const Results& portable = results.back();
        for (const Results& r : results) {
            ASSERT_EQ(r.sum, portable.sum);
            ASSERT_EQ(r.crc16, portable.crc16);
            ASSERT_EQ(r.crc32, portable.crc32);
            ASSERT_EQ(r.set.sum16, portable.set.sum16);
            ASSERT_EQ(r.set.crc16, portable.set.crc16);
            ASSERT_EQ(r.set.crc32, portable.set.crc32);
            ASSERT_EQ(r.set.sha256, portable.set.sha256);
        }
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
