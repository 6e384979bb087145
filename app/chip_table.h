// The seven chip types the programmer window offers. The index is what the settings hold
// and what every chip operation receives as its chip type.
#pragma once

#include <cstdint>

struct ChipType {
    const char* listText;
    std::int32_t size;    // bytes
    bool programAllowed;  // "Program Chip" and "Erase Chip" usable
    bool sectorControls;  // the four sector controls shown (8 sectors of 0x10000 bytes)
};

inline constexpr ChipType ChipTypeTable[] = {
    {"AT29C256", 0x8000, true, false},
    {"AM29F040", 0x80000, true, true},
    {"27SF512", 0x10000, true, false},
    {"2732A (Read-Only)", 0x1000, false, false},
    {"27C128 (Read-Only)", 0x4000, false, false},
    {"27C256 (Read-Only)", 0x8000, false, false},
    {"27C512 (Read-Only)", 0x10000, false, false},
};

inline constexpr std::int32_t kChipTypeCount = 7;
inline constexpr std::int32_t kSectorCount = 8;
inline constexpr std::int32_t kSectorSize = 0x10000;
inline constexpr std::int32_t kImageBufferSize = 0x80000;  // the largest chip

static_assert(sizeof(ChipTypeTable) / sizeof(ChipTypeTable[0]) == kChipTypeCount);

// The table entry of a chip type, or null for an index outside the table.
inline const ChipType* FindChipType(std::int32_t index) {
    return index >= 0 && index < kChipTypeCount ? &ChipTypeTable[index] : nullptr;
}
