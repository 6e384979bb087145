// Checksums of byte streams: the byte sum, CRC-16/CCITT-FALSE, CRC-32 (as zip and PNG) and
// SHA-256. Every one is fed in pieces of any size, in order, so a caller can walk a document
// piece by piece, a file block by block, or stop half way; the result never depends on how the
// stream was cut. Plain values, no allocation, no I/O; safe to use from any thread on its own
// objects.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Every checksum here uses the processor's own instructions where it has them (x86: carry-less
// multiplication for the CRCs, on 256-bit registers where there are, the SHA extensions, SSE2
// for the sums), chosen at run time, and portable code otherwise; the results are the same bit
// for bit. Tests and benchmarks that compare them limit the instructions and lift the limit
// again; the limit is process-wide and meant to be set while no checksum runs.
enum class ChecksumInstructions {
    kNone,    // the portable code alone
    k128Bit,  // SSE2 to SSE4.1, PCLMULQDQ, SHA-NI
    kAll,     // also VPCLMULQDQ on 256 bits (the default)
};
void LimitChecksumInstructions(ChecksumInstructions most) noexcept;
// The instructions in use now, for a benchmark's report ("VPCLMULQDQ PCLMULQDQ SHA-NI SSE2"),
// or "none".
std::string ChecksumInstructionsInUse();

// The sum of every byte, modulo 2^32 (take the low 8 or 16 bits for the usual sums).
[[nodiscard]] std::uint32_t ByteSumUpdate(std::uint32_t sum, const std::uint8_t* data,
                                          std::size_t size) noexcept;

// CRC-16/CCITT-FALSE: polynomial 0x1021, not reflected, start kCrc16Start, no final xor.
inline constexpr std::uint16_t kCrc16Start = 0xFFFF;
[[nodiscard]] std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* data,
                                        std::size_t size) noexcept;

// CRC-32 as zip and PNG use it (reflected 0xEDB88320). Start with 0 and feed pieces; the value
// after each call is the CRC-32 of everything fed so far.
[[nodiscard]] std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data,
                                        std::size_t size) noexcept;

// SHA-256 of a stream of at most 2^61 - 1 bytes.
class Sha256 {
  public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256() noexcept;
    void Update(const std::uint8_t* data, std::size_t size) noexcept;
    // The digest of everything fed; the object then starts over empty.
    [[nodiscard]] Digest Finish() noexcept;

  private:
    void Compress(const std::uint8_t* blocks, std::size_t count) noexcept;

    std::uint32_t state_[8];
    std::uint64_t length_ = 0;  // bytes fed
    std::uint8_t pending_[64];  // the incomplete block
    std::size_t pendingSize_ = 0;
};

// Which checksums a ChecksumSet computes; SHA-256 costs far more than the others together.
enum ChecksumKinds : unsigned {
    kChecksumSum = 1,  // byte sum (8 and 16 bits)
    kChecksumCrc16 = 2,
    kChecksumCrc32 = 4,
    kChecksumSha256 = 8,
    kChecksumAll = 15,
};

// Every checksum of one stream at once.
struct ChecksumResults {
    std::uint64_t bytes = 0;
    std::uint8_t sum8 = 0;
    std::uint16_t sum16 = 0;
    std::uint16_t crc16 = kCrc16Start;
    std::uint32_t crc32 = 0;
    Sha256::Digest sha256{};  // all zero unless kChecksumSha256 was asked for
};

class ChecksumSet {
  public:
    explicit ChecksumSet(unsigned kinds = kChecksumAll) noexcept : kinds_(kinds) {}
    void Update(const std::uint8_t* data, std::size_t size) noexcept;
    [[nodiscard]] ChecksumResults Finish() noexcept;

  private:
    unsigned kinds_;
    std::uint64_t bytes_ = 0;
    std::uint32_t sum_ = 0;
    std::uint16_t crc16_ = kCrc16Start;
    std::uint32_t crc32_ = 0;
    Sha256 sha_;
};

// Upper-case hexadecimal of a digest, no separators.
std::string DigestHex(const Sha256::Digest& digest);

// "sum 1A2B, CRC-32 89ABCDEF": the 16-bit byte sum and the CRC-32 of data, as the programmer
// window's log and the command-line tool's summaries print them.
std::string FormatSumAndCrc32(std::uint16_t sum16, std::uint32_t crc32);

// "Checksum 000000-07FFFF: sum 1A2B, CRC-32 89ABCDEF" for the bytes data[0 .. last - first],
// which lie at the addresses first to last (inclusive, first <= last).
std::string FormatChecksumLine(std::uint32_t first, std::uint32_t last, const std::uint8_t* data);
