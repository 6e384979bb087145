#include "formats/checksums.h"

#include <cstdio>
#include <cstring>

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

constexpr std::uint32_t kSha256Round[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

}  // namespace

std::uint32_t ByteSumUpdate(std::uint32_t sum, const std::uint8_t* data,
                            std::size_t size) noexcept {
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

std::uint16_t Crc16Update(std::uint16_t crc, const std::uint8_t* data, std::size_t size) noexcept {
    std::uint32_t c = crc;
    std::size_t i = 0;
    for (; i + 2 <= size; i += 2) {
        const std::uint32_t top = ((c >> 8) ^ data[i]) & 0xFF;
        const std::uint32_t next = (c ^ data[i + 1]) & 0xFF;
        c = kCrc16[1][top] ^ kCrc16[0][next];
    }
    for (; i < size; ++i) c = (c << 8 & 0xFF00) ^ kCrc16[0][((c >> 8) ^ data[i]) & 0xFF];
    return static_cast<std::uint16_t>(c);
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size) noexcept {
    std::uint32_t c = ~crc;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint32_t low = LoadLe32(data + i) ^ c;
        const std::uint32_t high = LoadLe32(data + i + 4);
        c = kCrc32[7][low & 0xFF] ^ kCrc32[6][(low >> 8) & 0xFF] ^ kCrc32[5][(low >> 16) & 0xFF] ^
            kCrc32[4][low >> 24] ^ kCrc32[3][high & 0xFF] ^ kCrc32[2][(high >> 8) & 0xFF] ^
            kCrc32[1][(high >> 16) & 0xFF] ^ kCrc32[0][high >> 24];
    }
    for (; i < size; ++i) c = (c >> 8) ^ kCrc32[0][(c ^ data[i]) & 0xFF];
    return ~c;
}

Sha256::Sha256() noexcept {
    std::memcpy(state_, kSha256Start, sizeof state_);
}

void Sha256::Compress(const std::uint8_t* block) noexcept {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
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
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
    state_[5] += f;
    state_[6] += g;
    state_[7] += h;
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
        Compress(pending_);
        pendingSize_ = 0;
    }
    for (; size >= 64; data += 64, size -= 64) Compress(data);
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
    if (kinds_ & kChecksumSum) sum_ = ByteSumUpdate(sum_, data, size);
    if (kinds_ & kChecksumCrc16) crc16_ = Crc16Update(crc16_, data, size);
    if (kinds_ & kChecksumCrc32) crc32_ = Crc32Update(crc32_, data, size);
    if (kinds_ & kChecksumSha256) sha_.Update(data, size);
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
