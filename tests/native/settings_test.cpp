#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstring>


namespace {

TEST(Settings, DefaultsWriteVersionZeroesAndPortName) {
    SettingsRecord record;
    std::memset(&record, 0xAB, sizeof record);
    ApplyDefaultSettings(record);
    EXPECT_EQ(record.version, 1);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (std::size_t i = 4; i < 576; ++i) ASSERT_EQ(bytes[i], 0) << "offset " << i;
    EXPECT_STREQ(record.comPortName, "COM1");
    // Bytes after the terminator keep what they held.
    EXPECT_EQ(bytes[581], 0xAB);
}

TEST(Settings, OnlyA604ByteVersion1ImageIsValid) {
    EXPECT_TRUE(IsValidSettingsImage(604, 1));
    EXPECT_FALSE(IsValidSettingsImage(0, 1));
    EXPECT_FALSE(IsValidSettingsImage(603, 1));
    EXPECT_FALSE(IsValidSettingsImage(605, 1));
    EXPECT_FALSE(IsValidSettingsImage(604, 2));
    EXPECT_FALSE(IsValidSettingsImage(604, 0));
}

TEST(Settings, SanitizeBringsTypeAndSectorIntoTheirTables) {
    struct Case {
        std::int32_t chipType, sector, wantType, wantSector;
    };
    for (const Case& c : {Case{6, 7, 6, 7}, Case{7, 8, 0, 0}, Case{-1, -1, 0, 0},
                          Case{0x7FFFFFFF, 3, 0, 3}, Case{2, INT32_MIN, 2, 0}}) {
        SettingsRecord record{};
        record.chipType = c.chipType;
        record.sectorIndex = c.sector;
        SanitizeSettings(record);
        EXPECT_EQ(record.chipType, c.wantType) << c.chipType;
        EXPECT_EQ(record.sectorIndex, c.wantSector) << c.sector;
    }
}

TEST(Settings, SanitizeTerminatesStringsInsideTheirFields) {
    SettingsRecord record{};
    std::memset(record.saveFilePath, 'a', sizeof record.saveFilePath);
    std::memset(record.loadFilePath, 'b', sizeof record.loadFilePath);
    std::memset(record.comPortName, 'c', sizeof record.comPortName);
    SanitizeSettings(record);
    EXPECT_EQ(std::strlen(record.saveFilePath), 259u);
    EXPECT_EQ(std::strlen(record.loadFilePath), 259u);
    EXPECT_EQ(std::strlen(record.comPortName), 27u);
}

}  // namespace
