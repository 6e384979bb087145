// The chip types the programmer drives: one row each, with everything the programmer window,
// vorland-cli, the KVTandrel operations and the tests know about a type. Portable.
//
// A row's index is its chip type: the value the settings file stores, the position in the
// programmer window's chip list, and the number every KVTandrel operation receives. The table is
// therefore append-only: never reorder or remove a row; a new type goes at the end.
//
// The simulated unit (sim/programmer_unit.cpp) keeps its own model of each part on purpose: it
// is the peer that refuses a wrong digit and shows a wrong size.
#pragma once

#include <cstdint>

// How "Erase Chip" clears a type.
enum class EraseMethod : std::uint8_t {
    kNone,       // a read-only EPROM: nothing to erase, nothing is sent
    kFillWrite,  // programmed with 0xFF through WriteChip
    kSectors,    // the sector-erase command ('4' 'E' sector) for each sector in turn
    kWholeChip,  // the whole-chip erase command ('5' 'E' 'z')
};

struct ChipType {
    const char* listText;       // the programmer window's chip list
    const char* shortName;      // vorland-cli's --chip name and its messages
    std::int32_t size;          // bytes
    char readDigit;             // opens a read frame
    char writeDigit;            // opens a write frame; 0: the type cannot be programmed
    std::int32_t addressBytes;  // of a block frame: 2, or 3
    EraseMethod erase;
    std::int32_t sectorCount;  // 0: no sectors, and no sector controls in the window
    std::int32_t sectorSize;   // bytes; 0 without sectors

    // "Program Chip" and "Erase Chip" are usable.
    constexpr bool programmable() const { return writeDigit != 0; }
    // A write can only clear bits: a byte that needs a bit set takes an erase first, of its
    // sector or, without sectors, of the whole chip. A type erased by writing 0xFF takes any
    // byte by a write.
    constexpr bool writeClearsBits() const {
        return erase == EraseMethod::kSectors || erase == EraseMethod::kWholeChip;
    }
    // The bytes one erase clears: a sector, or the whole chip.
    constexpr std::int32_t eraseUnit() const {
        return erase == EraseMethod::kSectors ? sectorSize : size;
    }
};

inline constexpr ChipType kChipTypes[] = {
    {"AT29C256", "AT29C256", 0x8000, '2', '2', 2, EraseMethod::kFillWrite, 0, 0},
    {"AM29F040", "AM29F040", 0x80000, '4', '4', 3, EraseMethod::kSectors, 8, 0x10000},
    {"27SF512", "27SF512", 0x10000, '5', '5', 2, EraseMethod::kWholeChip, 0, 0},
    {"2732A (Read-Only)", "2732A", 0x1000, '3', 0, 2, EraseMethod::kNone, 0, 0},
    {"27C128 (Read-Only)", "27C128", 0x4000, '5', 0, 2, EraseMethod::kNone, 0, 0},
    {"27C256 (Read-Only)", "27C256", 0x8000, '5', 0, 2, EraseMethod::kNone, 0, 0},
    {"27C512 (Read-Only)", "27C512", 0x10000, '5', 0, 2, EraseMethod::kNone, 0, 0},
};

inline constexpr std::int32_t kChipTypeCount =
    static_cast<std::int32_t>(sizeof kChipTypes / sizeof kChipTypes[0]);

// The row of a chip type, or null for an index outside the table.
[[nodiscard]] constexpr const ChipType* FindChipType(std::int32_t index) {
    return index >= 0 && index < kChipTypeCount ? &kChipTypes[index] : nullptr;
}

// The type that EraseSector and BlankCheckSector work on: their frames name a sector but no chip
// type, so exactly one row may be erased by sectors.
constexpr std::int32_t FindSectorChipType() {
    std::int32_t found = -1;
    for (std::int32_t i = 0; i < kChipTypeCount; ++i) {
        if (kChipTypes[i].erase != EraseMethod::kSectors) continue;
        if (found >= 0) return -1;
        found = i;
    }
    return found;
}
inline constexpr std::int32_t kSectorChipType = FindSectorChipType();
static_assert(kSectorChipType >= 0, "exactly one chip type is erased sector by sector");
inline constexpr const ChipType& kSectorChip = kChipTypes[kSectorChipType];

constexpr std::int32_t LargestChipSize() {
    std::int32_t largest = 0;
    for (const ChipType& chip : kChipTypes) largest = chip.size > largest ? chip.size : largest;
    return largest;
}

// What the operations rely on in every row: frames that can address the whole chip, sectors
// that tile it, and an erase method exactly for the types that can be programmed.
constexpr bool RowIsSound(const ChipType& chip) {
    const bool sectored = chip.erase == EraseMethod::kSectors;
    return chip.size > 0 && (chip.addressBytes == 2 || chip.addressBytes == 3) &&
           chip.size <= (1 << (8 * chip.addressBytes)) && chip.readDigit != 0 &&
           (chip.erase == EraseMethod::kNone) == !chip.programmable() &&
           sectored == (chip.sectorCount > 0) &&
           (!sectored || chip.sectorCount * chip.sectorSize == chip.size);
}
constexpr bool AllRowsSound() {
    for (const ChipType& chip : kChipTypes) {
        if (!RowIsSound(chip)) return false;
    }
    return true;
}
static_assert(AllRowsSound(), "a chip type row contradicts itself");
