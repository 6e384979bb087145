#include "formats/checksums.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "formats/checksums_x86.h"

namespace {

// Slicing-by-8: table k advances a CRC-32 over a byte followed by k zero bytes, so eight table
// lookups consume eight bytes at once (about four times the speed of one lookup per byte).
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeCrc32Tables() {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
    return t;
}
constexpr auto kCrc32 = MakeCrc32Tables();

// The same idea for the non-reflected CRC-16: table k covers a byte followed by k zero bytes.
constexpr std::array<std::array<std::uint16_t, 256>, 2> MakeCrc16Tables() {
    std::array<std::array<std::uint16_t, 256>, 2> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i << 8;
        for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1;
        t[0][i] = static_cast<std::uint16_t>(c);
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        t[1][i] = static_cast<std::uint16_t>((t[0][i] << 8) ^ t[0][t[0][i] >> 8]);
    }
    return t;
}
constexpr auto kCrc16 = MakeCrc16Tables();

std::uint32_t LoadLe32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t LoadBe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

std::uint32_t Rotr(std::uint32_t x, int n) {
    return x >> n | x << (32 - n);
}

constexpr std::uint32_t kSha256Start[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// The processor's own instructions may be used unless a test or benchmark said otherwise.
std::atomic<ChecksumInstructions> gMostInstructions{ChecksumInstructions::kAll};

// CRC folding costs a fixed 16 bytes of table steps at the end: below this the tables win.
constexpr std::size_t kFoldMinimum = 256;

#if defined(VORLAND_X86_CHECKSUMS)
// What the processor offers for the checksums, within the limit set.
X86ChecksumInstructions Instructions() {
    const ChecksumInstructions most = gMostInstructions.load(std::memory_order_relaxed);
    if (most == ChecksumInstructions::kNone) return {};
    X86ChecksumInstructions have = DetectX86ChecksumInstructions();
    if (most == ChecksumInstructions::k128Bit) have.crcFoldWide = false;
    return have;
}
#endif

std::uint32_t ByteSumPortable(std::uint32_t sum, const std::uint8_t* data, std::size_t size) {
    // Four independent lanes keep the adds from waiting on each other.
    std::uint32_t lane[4] = {sum, 0, 0, 0};
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        lane[0] += data[i];
        lane[1] += data[i + 1];
        lane[2] += data[i + 2];
        lane[3] += data[i + 3];
    }
    for (; i < size; ++i) lane[0] += data[i];
    return lane[0] + lane[1] + lane[2] + lane[3];
}

// The CRC-16 register c after data, two bytes per step.
std::uint32_t Crc16Tables(std::uint32_t c, const std::uint8_t* data, std::size_t size) {
    std::size_t i = 0;
    for (; i + 2 <= size; i += 2) {
        const std::uint32_t top = ((c >> 8) ^ data[i]) & 0xFF;
        const std::uint32_t next = (c ^ data[i + 1]) & 0xFF;
        c = kCrc16[1][top] ^ kCrc16[0][next];
    }
    for (; i < size; ++i) c = (c << 8 & 0xFF00) ^ kCrc16[0][((c >> 8) ^ data[i]) & 0xFF];
    return c;
}

// The CRC-32 register c (the inverted CRC) after data, eight bytes per step.
std::uint32_t Crc32Tables(std::uint32_t c, const std::uint8_t* data, std::size_t size) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint32_t low = LoadLe32(data + i) ^ c;
        const std::uint32_t high = LoadLe32(data + i + 4);
        c = kCrc32[7][low & 0xFF] ^ kCrc32[6][(low >> 8) & 0xFF] ^ kCrc32[5][(low >> 16) & 0xFF] ^
            kCrc32[4][low >> 24] ^ kCrc32[3][high & 0xFF] ^ kCrc32[2][(high >> 8) & 0xFF] ^
            kCrc32[1][(high >> 16) & 0xFF] ^ kCrc32[0][high >> 24];
    }
    for (; i < size; ++i) c = (c >> 8) ^ kCrc32[0][(c ^ data[i]) & 0xFF];
    return c;
}

#if defined(VORLAND_X86_CHECKSUMS)
// Folds the longest run of whole 16-byte pieces of data with the processor's carry-less
// multiplication, when it has that and data is long enough for it to pay; returns how many
// bytes it took (0: none), *c being the CRC register after them. mixIn puts a register into
// the first 16 bytes as the table steps would take it; fold and tables are the CRC's own.
template <typename MixIn, typename Fold, typename Tables>
std::size_t FoldOnProcessor(std::uint32_t* c, const std::uint8_t* data, std::size_t size,
                            MixIn mixIn, Fold fold, Tables tables) {
    const X86ChecksumInstructions have = Instructions();
    if (size < kFoldMinimum || !have.crcFold) return 0;
    std::uint8_t first[16];
    std::memcpy(first, data, sizeof first);
    mixIn(first, *c);
    const std::size_t folded = size & ~std::size_t{15};
    std::uint8_t rest[16];
    fold(first, data, folded, rest, have.crcFoldWide);
    *c = tables(0, rest, sizeof rest);
    return folded;
}
#endif

void Sha256Compress(std::uint32_t state[8], const std::uint8_t* block) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) +
                                 ((e & f) ^ (~e & g)) + kSha256Round[i] + w[i];
        const std::uint32_t t2 =
            (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

}  // namespace

void LimitChecksumInstructions(ChecksumInstructions most) noexcept {
    gMostInstructions.store(most, std::memory_order_relaxed);
}

std::string ChecksumInstructionsInUse() {
    std::string names;
#if defined(VORLAND_X86_CHECKSUMS)
    const X86ChecksumInstructions have = Instructions();
    if (have.crcFoldWide) names += "VPCLMULQDQ ";
    if (have.crcFold) names += "PCLMULQDQ ";
    if (have.sha) names += "SHA-NI ";
    if (have.sse2) names += "SSE2 ";
#endif
    if (names.empty()) return "none";
    names.pop_back();
    return names;
}

std::uint32_t ByteSumUpdate(std::uint32_t sum, const std::uint8_t* data,
                            std::size_t size) noexcept {
#if defined(VORLAND_X86_CHECKSUMS)
    if (size >= 16 && Instructions().sse2) return ByteSumX86(sum, data, size);
#endif
    return ByteSumPortable(sum, data, size);
}

std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* data, std::size_t size) noexcept {
    std::uint32_t c = crc;
#if defined(VORLAND_X86_CHECKSUMS)
    // The register enters the first two bytes, high byte first, as the table steps take it.
    const auto mixIn = [](std::uint8_t* first, std::uint32_t r) {
        first[0] = static_cast<std::uint8_t>(first[0] ^ (r >> 8));
        first[1] = static_cast<std::uint8_t>(first[1] ^ r);
    };
    const std::size_t folded = FoldOnProcessor(&c, data, size, mixIn, Crc16FoldX86, Crc16Tables);
    data += folded;
    size -= folded;
#endif
    return static_cast<std::uint16_t>(Crc16Tables(c, data, size));
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size) noexcept {
    std::uint32_t c = ~crc;
#if defined(VORLAND_X86_CHECKSUMS)
    // The register enters the first four bytes, low byte first, as the table steps take it.
    const auto mixIn = [](std::uint8_t* first, std::uint32_t r) {
        for (int k = 0; k < 4; ++k) first[k] = static_cast<std::uint8_t>(first[k] ^ (r >> (8 * k)));
    };
    const std::size_t folded = FoldOnProcessor(&c, data, size, mixIn, Crc32FoldX86, Crc32Tables);
    data += folded;
    size -= folded;
#endif
    return ~Crc32Tables(c, data, size);
}

Sha256::Sha256() noexcept {
    std::memcpy(state_, kSha256Start, sizeof state_);
}

void Sha256::Compress(const std::uint8_t* blocks, std::size_t count) noexcept {
#if defined(VORLAND_X86_CHECKSUMS)
    if (count > 0 && Instructions().sha) {
        Sha256BlocksX86(state_, blocks, count);
        return;
    }
#endif
    for (std::size_t i = 0; i < count; ++i) Sha256Compress(state_, blocks + 64 * i);
}

void Sha256::Update(const std::uint8_t* data, std::size_t size) noexcept {
    length_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, data, take);
        pendingSize_ += take;
        data += take;
        size -= take;
        if (pendingSize_ < 64) return;
        Compress(pending_, 1);
        pendingSize_ = 0;
    }
    Compress(data, size / 64);
    data += size / 64 * 64;
    size %= 64;
    std::memcpy(pending_, data, size);
    pendingSize_ = size;
}

Sha256::Digest Sha256::Finish() noexcept {
    const std::uint64_t bits = length_ * 8;
    std::uint8_t tail[72] = {0x80};
    const std::size_t padding = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
    for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Update(tail, padding + 8);
    Digest digest;
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 4; ++k) {
            digest[4 * i + k] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * k));
        }
    }
    *this = Sha256();
    return digest;
}

void ChecksumSet::Update(const std::uint8_t* data, std::size_t size) noexcept {
    bytes_ += size;
    // One pass over memory: each slice comes from memory once and stays in the first-level
    // cache while every checksum asked for reads it.
    constexpr std::size_t kSlice = 16 << 10;
    while (size > 0) {
        const std::size_t n = size < kSlice ? size : kSlice;
        if (kinds_ & kChecksumSum) sum_ = ByteSumUpdate(sum_, data, n);
        if (kinds_ & kChecksumCrc16) crc16_ = Crc16Update(crc16_, data, n);
        if (kinds_ & kChecksumCrc32) crc32_ = Crc32Update(crc32_, data, n);
        if (kinds_ & kChecksumSha256) sha_.Update(data, n);
        data += n;
        size -= n;
    }
}

ChecksumResults ChecksumSet::Finish() noexcept {
    ChecksumResults r;
    r.bytes = bytes_;
    r.sum8 = static_cast<std::uint8_t>(sum_);
    r.sum16 = static_cast<std::uint16_t>(sum_);
    r.crc16 = crc16_;
    r.crc32 = crc32_;
    if (kinds_ & kChecksumSha256) r.sha256 = sha_.Finish();
    *this = ChecksumSet(kinds_);
    return r;
}

std::string DigestHex(const Sha256::Digest& digest) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

std::string FormatSumAndCrc32(std::uint16_t sum16, std::uint32_t crc32) {
    char text[40];
    std::snprintf(text, sizeof text, "sum %.4X, CRC-32 %.8X", static_cast<unsigned>(sum16),
                  static_cast<unsigned>(crc32));
    return text;
}

std::string FormatChecksumLine(std::uint32_t first, std::uint32_t last, const std::uint8_t* data) {
    const std::size_t size = static_cast<std::size_t>(last - first) + 1;
    const auto sum = static_cast<std::uint16_t>(ByteSumUpdate(0, data, size));
    char range[40];
    std::snprintf(range, sizeof range, "Checksum %.6X-%.6X: ", static_cast<unsigned>(first),
                  static_cast<unsigned>(last));
    return range + FormatSumAndCrc32(sum, Crc32Update(0, data, size));
}
