// The checksums' inner loops in x86 instructions that not every processor has: carry-less
// multiplication (PCLMULQDQ, or VPCLMULQDQ on 256 bits) folds a CRC 64 (128) bytes at a time,
// the SHA extensions compress SHA-256 blocks, SSE2 sums bytes 16 at a time. Internal to
// checksums.cpp, which asks DetectX86ChecksumInstructions and keeps the portable loops for
// everything else; results are bit for bit those of the portable code. Plain functions on the
// caller's memory, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#define VORLAND_X86_CHECKSUMS 1

struct X86ChecksumInstructions {
    bool crcFold = false;      // PCLMULQDQ with SSSE3 and SSE4.1
    bool crcFoldWide = false;  // VPCLMULQDQ with AVX2, 256 bits at a time
    bool sha = false;          // SHA-NI with SSSE3 and SSE4.1
    bool sse2 = false;
};

// What this processor has, asked once (CPUID).
const X86ChecksumInstructions& DetectX86ChecksumInstructions();

// The CRC folds. first: the data's first 16 bytes with the CRC register already mixed in, as
// the portable loop would mix it; then size - 16 more bytes follow at data + 16 (size a multiple
// of 16, at least 64; at least 128 when wide). out receives 16 bytes in stream order whose CRC
// from a zero register is the CRC of the whole stretch from the caller's register. CRC-32 is
// reflected 0xEDB88320; CRC-16 is 0x1021, not reflected. wide: with crcFoldWide's instructions.
void Crc32FoldX86(const std::uint8_t first[16], const std::uint8_t* data, std::size_t size,
                  std::uint8_t out[16], bool wide);
void Crc16FoldX86(const std::uint8_t first[16], const std::uint8_t* data, std::size_t size,
                  std::uint8_t out[16], bool wide);

// SHA-256 compression of blocks whole 64-byte blocks into state (a..h).
void Sha256BlocksX86(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks);

// The sum of size bytes, added to sum (modulo 2^32), 16 at a time with SSE2.
std::uint32_t ByteSumX86(std::uint32_t sum, const std::uint8_t* data, std::size_t size);
#endif

// SHA-256's round constants, for the portable code and the SHA extensions alike.
inline constexpr std::uint32_t kSha256Round[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
