#include "formats/checksums_x86.h"

#if defined(VORLAND_X86_CHECKSUMS)
#include <cpuid.h>
#include <immintrin.h>

// The 32-bit Windows build may be entered with a stack aligned to 4 bytes only (system code
// calls the window procedures); these functions then align their own for the SSE spills.
#if defined(__x86_64__)
#define X86_ALIGN_STACK
#else
#define X86_ALIGN_STACK force_align_arg_pointer,
#endif
#define CRC_FOLD_FUNCTION __attribute__((X86_ALIGN_STACK target("pclmul,ssse3,sse4.1")))
#define CRC_FOLD_HELPER __attribute__((always_inline, target("pclmul,ssse3,sse4.1"))) inline
#define CRC_FOLD_WIDE_FUNCTION \
    __attribute__((X86_ALIGN_STACK target("vpclmulqdq,avx2,pclmul,ssse3,sse4.1")))
#define CRC_FOLD_WIDE_HELPER \
    __attribute__((always_inline, target("vpclmulqdq,avx2,pclmul,ssse3,sse4.1"))) inline
#define SHA_FUNCTION __attribute__((X86_ALIGN_STACK target("sha,ssse3,sse4.1")))
#define SSE2_FUNCTION __attribute__((X86_ALIGN_STACK target("sse2")))

namespace {

// x^n modulo the polynomial x^width + low, as the low width bits (bit i: the factor of x^i).
constexpr std::uint64_t XPowMod(unsigned n, std::uint64_t low, unsigned width) {
    std::uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if ((r >> width) & 1) r ^= (std::uint64_t{1} << width) | low;
    }
    return r;
}

// A polynomial of degree below 64 as a reflected 64-bit operand (bit 63 - i: the factor of x^i).
constexpr std::uint64_t Reflect64(std::uint64_t v) {
    std::uint64_t r = 0;
    for (int i = 0; i < 64; ++i) r |= ((v >> i) & 1) << (63 - i);
    return r;
}

// Folding 16 bytes distance bits forward: a register X (high-degree half H, low half L) and the
// bytes that follow make X * x^distance + next, which is congruent to
// H * (x^(distance+64) mod P) + L * (x^distance mod P) + next: two products of 64 by at most
// 32 bits, no reduction needed until the very end. In the reflected form a carry-less product
// comes out one bit short of its degree, which the constants make up by one power of x less.
struct FoldConstants {
    std::uint64_t high;  // multiplies the register's high-degree half
    std::uint64_t low;
};

constexpr FoldConstants Crc32Constants(unsigned distance) {
    constexpr std::uint64_t kPoly = 0x04C11DB7;
    return {Reflect64(XPowMod(distance + 63, kPoly, 32)),
            Reflect64(XPowMod(distance - 1, kPoly, 32))};
}

constexpr FoldConstants Crc16Constants(unsigned distance) {
    constexpr std::uint64_t kPoly = 0x1021;
    return {XPowMod(distance + 64, kPoly, 16), XPowMod(distance, kPoly, 16)};
}

struct Crc {
    FoldConstants by1024;  // eight registers, 128 bytes apart (in four of 256 bits)
    FoldConstants by512;   // four registers, 64 bytes apart
    FoldConstants by128;   // one register, 16 bytes on
    bool reflected;        // bytes in stream order are low degrees last (CRC-32) or first
};

constexpr Crc kCrc32Fold = {Crc32Constants(1024), Crc32Constants(512), Crc32Constants(128), true};
constexpr Crc kCrc16Fold = {Crc16Constants(1024), Crc16Constants(512), Crc16Constants(128), false};

// In a reflected register the high-degree half is the low quadword; otherwise the high one.
CRC_FOLD_HELPER __m128i Constants(const FoldConstants& k, bool reflected) {
    const auto high = static_cast<long long>(k.high);
    const auto low = static_cast<long long>(k.low);
    return reflected ? _mm_set_epi64x(low, high) : _mm_set_epi64x(high, low);
}

CRC_FOLD_HELPER __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Loads 16 bytes as a register: as they lie for a reflected CRC, reversed (first byte highest)
// for the other kind, through the shuffle order given.
CRC_FOLD_HELPER __m128i Load(const std::uint8_t* p, __m128i order) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), order);
}

CRC_FOLD_HELPER __m128i ByteOrder(bool reflected) {
    return reflected ? _mm_set_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
                     : _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

// The end of every fold: what is left, 16 bytes at a time, into one register, stored in
// stream order.
CRC_FOLD_HELPER void FoldRest(const Crc& crc, __m128i x, const std::uint8_t* data, std::size_t at,
                              std::size_t size, std::uint8_t out[16]) {
    const __m128i order = ByteOrder(crc.reflected);
    const __m128i by128 = Constants(crc.by128, crc.reflected);
    for (; at < size; at += 16) x = Fold(x, by128, Load(data + at, order));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(x, order));
}

CRC_FOLD_FUNCTION void CrcFold(const Crc& crc, const std::uint8_t first[16],
                               const std::uint8_t* data, std::size_t size, std::uint8_t out[16]) {
    const __m128i order = ByteOrder(crc.reflected);
    const __m128i by128 = Constants(crc.by128, crc.reflected);
    __m128i x0 = Load(first, order);
    __m128i x1 = Load(data + 16, order);
    __m128i x2 = Load(data + 32, order);
    __m128i x3 = Load(data + 48, order);
    const __m128i by512 = Constants(crc.by512, crc.reflected);
    std::size_t at = 64;
    for (; at + 64 <= size; at += 64) {
        x0 = Fold(x0, by512, Load(data + at, order));
        x1 = Fold(x1, by512, Load(data + at + 16, order));
        x2 = Fold(x2, by512, Load(data + at + 32, order));
        x3 = Fold(x3, by512, Load(data + at + 48, order));
    }
    FoldRest(crc, Fold(Fold(Fold(x0, by128, x1), by128, x2), by128, x3), data, at, size, out);
}

// The same with VPCLMULQDQ on 256 bits: each half of a register folds as one of the above,
// 128 bytes on per round. size is at least 128.
CRC_FOLD_WIDE_HELPER __m256i FoldWide(__m256i y, __m256i k, __m256i next) {
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(y, k, 0x00),
                                             _mm256_clmulepi64_epi128(y, k, 0x11)),
                            next);
}

CRC_FOLD_WIDE_HELPER __m256i LoadWide(const std::uint8_t* p, __m256i order) {
    return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), order);
}

CRC_FOLD_WIDE_FUNCTION void CrcFoldWide(const Crc& crc, const std::uint8_t first[16],
                                        const std::uint8_t* data, std::size_t size,
                                        std::uint8_t out[16]) {
    const __m128i order = ByteOrder(crc.reflected);
    const __m256i orderWide = _mm256_broadcastsi128_si256(order);
    __m256i y[4];
    y[0] = _mm256_inserti128_si256(_mm256_castsi128_si256(Load(first, order)),
                                   Load(data + 16, order), 1);
    for (int i = 1; i < 4; ++i) y[i] = LoadWide(data + 32 * i, orderWide);
    std::size_t at = 128;
    const __m256i by1024 = _mm256_broadcastsi128_si256(Constants(crc.by1024, crc.reflected));
    for (; at + 128 <= size; at += 128) {
        for (int i = 0; i < 4; ++i) {
            y[i] = FoldWide(y[i], by1024, LoadWide(data + at + 32 * i, orderWide));
        }
    }
    // The eight halves in stream order, into one.
    const __m128i by128 = Constants(crc.by128, crc.reflected);
    __m128i x = _mm256_castsi256_si128(y[0]);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) x = Fold(x, by128, _mm256_castsi256_si128(y[i]));
        x = Fold(x, by128, _mm256_extracti128_si256(y[i], 1));
    }
    FoldRest(crc, x, data, at, size, out);
}

}  // namespace

const X86ChecksumInstructions& DetectX86ChecksumInstructions() {
    static const X86ChecksumInstructions found = [] {
        X86ChecksumInstructions have;
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid(1, &a, &b, &c, &d) == 0) return have;
        const bool sse41 = (c & bit_SSE4_1) != 0 && (c & bit_SSSE3) != 0;
        have.sse2 = (d & bit_SSE2) != 0;
        have.crcFold = sse41 && (c & bit_PCLMUL) != 0;
        // 256-bit registers only where the system saves them for every thread (XCR0 bits 1, 2).
        bool ymm = false;
        if ((c & bit_OSXSAVE) != 0 && (c & bit_AVX) != 0) {
            unsigned low = 0, high = 0;
            __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
            ymm = (low & 6) == 6;
        }
        if (__get_cpuid_max(0, nullptr) >= 7 && __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) {
            have.sha = sse41 && (b & bit_SHA) != 0;
            have.crcFoldWide =
                have.crcFold && ymm && (b & bit_AVX2) != 0 && (c & bit_VPCLMULQDQ) != 0;
        }
        return have;
    }();
    return found;
}

void Crc32FoldX86(const std::uint8_t first[16], const std::uint8_t* data, std::size_t size,
                  std::uint8_t out[16], bool wide) {
    wide ? CrcFoldWide(kCrc32Fold, first, data, size, out)
         : CrcFold(kCrc32Fold, first, data, size, out);
}

void Crc16FoldX86(const std::uint8_t first[16], const std::uint8_t* data, std::size_t size,
                  std::uint8_t out[16], bool wide) {
    wide ? CrcFoldWide(kCrc16Fold, first, data, size, out)
         : CrcFold(kCrc16Fold, first, data, size, out);
}

// The SHA extensions keep the state as ABEF and CDGH and take the message words with their
// round constants added, four rounds per pair of sha256rnds2.
SHA_FUNCTION void Sha256BlocksX86(std::uint32_t state[8], const std::uint8_t* data,
                                  std::size_t blocks) {
    const __m128i bigEndian = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i w[4];  // the message words of the last four groups of four rounds
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            __m128i& words = w[g & 3];
            if (g < 4) {
                words = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), bigEndian);
            } else {
                const __m128i& previous = w[(g + 3) & 3];
                words = _mm_add_epi32(_mm_sha256msg1_epu32(words, w[(g + 1) & 3]),
                                      _mm_alignr_epi8(previous, w[(g + 2) & 3], 4));
                words = _mm_sha256msg2_epu32(words, previous);
            }
            const __m128i input = _mm_add_epi32(
                words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256Round + 4 * g)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, input);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(input, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

SSE2_FUNCTION std::uint32_t ByteSumX86(std::uint32_t sum, const std::uint8_t* data,
                                       std::size_t size) {
    // Each psadbw adds eight bytes into a 64-bit lane: no lane can overflow.
    const __m128i zero = _mm_setzero_si128();
    __m128i lanes = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        lanes = _mm_add_epi64(lanes, _mm_sad_epu8(bytes, zero));
    }
    sum += static_cast<std::uint32_t>(_mm_cvtsi128_si32(lanes)) +
           static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(lanes, lanes)));
    for (; i < size; ++i) sum += data[i];
    return sum;
}

#endif
