// The settings record: the program's only persistent state, stored byte for byte in
// "VorlandSettings.dat" beside the executable. Portable: the file access is settings_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

constexpr std::size_t kPathSize = kFilePathSize;  // every path buffer of the program
constexpr std::int32_t kSettingsVersion = 1;
constexpr std::uint32_t kErrorFileCorrupt = 1392;  // the platform's ERROR_FILE_CORRUPT
constexpr char kSettingsFileName[] = "VorlandSettings.dat";

// Little-endian signed 32-bit integers; strings NUL-terminated inside their fields.
struct SettingsRecord {
    std::int32_t version;
    std::int32_t reserved4;
    std::int32_t reserved8;
    // 1 when the chip start box holds the address that the last loaded file's records gave it
    // (a binary file loaded next starts at chip address 0 again); 0 when it was typed or set by
    // a chip choice. A reserved field that earlier versions leave zero.
    std::int32_t chipStartFromFile;
    std::int32_t reserved16;
    std::int32_t transferDirection;  // 1 program the chip from the buffer, 0 read it
    std::int32_t bufferStart;
    std::int32_t bufferEnd;  // inclusive
    std::int32_t chipStart;
    std::int32_t chipEnd;  // inclusive
    char saveFilePath[kPathSize];
    char loadFilePath[kPathSize];
    std::int32_t chipType;  // 0..6, index into the chip type table
    // 1 when "Verify after programming" was unchecked at close. A reserved field that earlier
    // versions leave zero, so their files start with the verify on, as a fresh start does.
    std::int32_t noVerifyAfterProgram;
    std::int32_t sectorIndex;  // 0..7
    std::int32_t quickVerify;  // 1 when "Quick Verify" was checked at close
    char comPortName[28];      // where the unit was last found; the next scan tries it early
};

static_assert(sizeof(SettingsRecord) == 604);
static_assert(offsetof(SettingsRecord, version) == 0);
static_assert(offsetof(SettingsRecord, reserved4) == 4);
static_assert(offsetof(SettingsRecord, reserved8) == 8);
static_assert(offsetof(SettingsRecord, chipStartFromFile) == 12);
static_assert(offsetof(SettingsRecord, reserved16) == 16);
static_assert(offsetof(SettingsRecord, transferDirection) == 20);
static_assert(offsetof(SettingsRecord, bufferStart) == 24);
static_assert(offsetof(SettingsRecord, bufferEnd) == 28);
static_assert(offsetof(SettingsRecord, chipStart) == 32);
static_assert(offsetof(SettingsRecord, chipEnd) == 36);
static_assert(offsetof(SettingsRecord, saveFilePath) == 40);
static_assert(offsetof(SettingsRecord, loadFilePath) == 300);
static_assert(offsetof(SettingsRecord, chipType) == 560);
static_assert(offsetof(SettingsRecord, noVerifyAfterProgram) == 564);
static_assert(offsetof(SettingsRecord, sectorIndex) == 568);
static_assert(offsetof(SettingsRecord, quickVerify) == 572);
static_assert(offsetof(SettingsRecord, comPortName) == 576);

// The process-wide record: all zero until the settings are loaded, then read and updated in
// place by the programmer window (window thread only).
extern SettingsRecord gSettings;

// Version 1, offsets 4 through 575 zero, "COM1" as the port name. Bytes after the name's
// terminator keep their values (zero at start-up, the only time defaults are applied).
void ApplyDefaultSettings(SettingsRecord& record);

// Whether a file of fileSize bytes whose first word is version holds usable settings.
bool IsValidSettingsImage(std::int64_t fileSize, std::int32_t version);

// A hand-made file may hold anything. Puts the chip type and sector back into their tables'
// ranges (type 0, sector 0 when outside) and terminates every string inside its field, so
// no later code indexes outside a table or reads past a field.
void SanitizeSettings(SettingsRecord& record);
