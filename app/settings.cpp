#include "app/settings.h"

#include "device/chip_types.h"

#include <cstring>

SettingsRecord gSettings{};

namespace {
template <std::size_t N>
void TerminateField(char (&field)[N]) {
    field[N - 1] = '\0';
}
}  // namespace

void ApplyDefaultSettings(SettingsRecord& record) {
    record.version = kSettingsVersion;
    // Offsets 4 through 575: everything between the version and the port name.
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    std::memset(bytes + offsetof(SettingsRecord, reserved4), 0,
                offsetof(SettingsRecord, comPortName) - offsetof(SettingsRecord, reserved4));
    std::memcpy(record.comPortName, "COM1", 5);
}

bool IsValidSettingsImage(std::int64_t fileSize, std::int32_t version) {
    return fileSize == static_cast<std::int64_t>(sizeof(SettingsRecord)) &&
           version == kSettingsVersion;
}

void SanitizeSettings(SettingsRecord& record) {
    if (record.chipType < 0 || record.chipType >= kChipTypeCount) record.chipType = 0;
    if (record.sectorIndex < 0 || record.sectorIndex >= kSectorChip.sectorCount) {
        record.sectorIndex = 0;
    }
    TerminateField(record.saveFilePath);
    TerminateField(record.loadFilePath);
    TerminateField(record.comPortName);
}
