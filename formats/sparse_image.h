// An image as a HEX or S-record file describes it: data bytes at 32-bit addresses, with gaps.
// A binary file is one run of bytes from address 0. Portable.
//
// Records may overlap: a byte given twice with the same value is taken once; a byte given twice
// with different values is a conflict, and the image refuses the second record whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// No image holds more data than this (32 times the largest chip): a bigger file is refused
// rather than filling memory.
inline constexpr std::uint64_t kMaxImageBytes = 16u << 20;

class SparseImage {
public:
    enum class AddResult {
        kAdded,
        kConflict,         // a byte already given differs; see the conflict record
        kTooLarge,         // the image would hold more than kMaxImageBytes
        kPastAddressSpace  // the bytes run past address 0xFFFFFFFF
    };
    struct Conflict {
        std::uint32_t address;  // the first byte that differs
        std::uint32_t line;     // where the byte was first given
        std::uint8_t first;     // its value there
        std::uint8_t second;    // the value now given
    };

    // Adds size bytes at address, remembering line (where they came from) for messages. On any
    // result but kAdded the image is unchanged; conflict (may be null) is filled on kConflict.
    [[nodiscard]] AddResult Add(std::uint64_t address, const std::uint8_t* data, std::size_t size,
                                std::uint32_t line, Conflict* conflict);

    bool empty() const { return spans_.empty(); }
    std::uint64_t dataBytes() const { return pool_.size(); }
    // The first and the last address holding data; 0 for an empty image.
    std::uint32_t lowest() const;
    std::uint32_t highest() const;

    // The first address at or after from that holds data, and the line that gave it; false when
    // there is none.
    [[nodiscard]] bool FindFrom(std::uint64_t from, std::uint32_t* address,
                                std::uint32_t* line) const;

    // The runs of data in address order (touching runs stay apart); borrowed: valid until the
    // next Add.
    struct Run {
        std::uint32_t address;
        std::uint32_t length;
        const std::uint8_t* data;
    };
    std::vector<Run> Runs() const;

    // Writes the bytes of [start, start + length) to out, gaps as fill; returns how many of them
    // the image holds.
    std::uint64_t CopyOut(std::uint32_t start, std::uint32_t length, std::uint8_t fill,
                          std::uint8_t* out) const;

private:
    struct Span {
        std::uint32_t length;
        std::uint32_t line;
        std::size_t offset;  // into pool_
    };
    using SpanMap = std::map<std::uint64_t, Span>;
    // The first run that holds address or starts after it.
    SpanMap::const_iterator FirstTouching(std::uint64_t address) const;

    // Disjoint runs of data keyed by their first address; each byte belongs to the record that
    // gave it first.
    SpanMap spans_;
    std::vector<std::uint8_t> pool_;
};
