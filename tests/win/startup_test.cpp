// Start-up, the single instance and the settings file, with the real executable.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "app/settings.h"
#include "resources/resource.h"
#include "tests/win/support/app_driver.h"

namespace {

using namespace testing_support;

constexpr char kCaption[] = "Tessmark Vorland Interface Software v1.04";

std::vector<unsigned char> Image(const SettingsRecord& record) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return {bytes, bytes + sizeof record};
}

SettingsRecord DefaultRecord() {
    SettingsRecord record{};
    ApplyDefaultSettings(record);
    return record;
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = StageVorland(dir_);
        settings_ = dir_.File(kSettingsFileName);
    }

    // Starts the staged copy and waits for the programmer window.
    HWND Start(const std::string& workingDir = "") {
        app_ = Process::Start("\"" + exe_ + "\"", workingDir);
        EXPECT_NE(app_.id(), 0u);
        return WaitForWindow(app_.id(), kCaption);
    }

    void CloseAndWait(HWND window) {
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        DWORD code = 1;
        ASSERT_TRUE(app_.Wait(10000, &code));
        EXPECT_EQ(code, 0u);
    }

    TempDir dir_;
    std::string exe_;
    std::string settings_;
    Process app_;
};

TEST_F(StartupTest, WithoutASettingsFileTheWindowShowsDefaultsAndCloseWritesAFreshFile) {
    HWND window = Start();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_CHIP_LIST, LB_GETCURSEL, 0, 0), 0);
    for (int id : {IDC_BUFFER_START, IDC_BUFFER_END, IDC_CHIP_START, IDC_CHIP_END}) {
        EXPECT_EQ(DialogItemText(window, id), "000000") << id;
    }
    EXPECT_EQ(DialogItemText(window, IDC_SECTOR_LABEL), "0x00000 - 0x0FFFF");
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_QUICK_VERIFY, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_FALSE(FileExists(settings_));  // a created-empty file counts as missing: deleted
    CloseAndWait(window);
    EXPECT_EQ(ReadFileBytes(settings_), Image(DefaultRecord()));
}

TEST_F(StartupTest, AFileOfTheWrongSizeOrVersionIsDeletedAtStartAndReplacedAtClose) {
    SettingsRecord version2 = DefaultRecord();
    version2.version = 2;
    version2.chipType = 3;
    std::vector<std::vector<unsigned char>> bad = {
        {}, std::vector<unsigned char>(603, 0), std::vector<unsigned char>(605, 0), Image(version2)};
    bad[1][0] = 1;  // a version word of 1 does not save a file of the wrong size
    bad[2][0] = 1;
    for (const auto& content : bad) {
        SCOPED_TRACE(content.size());
        WriteFileBytes(settings_, content);
        HWND window = Start();
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(FileExists(settings_));
        EXPECT_EQ(SendDlgItemMessageA(window, IDC_CHIP_LIST, LB_GETCURSEL, 0, 0), 0);
        CloseAndWait(window);
        EXPECT_EQ(ReadFileBytes(settings_), Image(DefaultRecord()));
    }
}

TEST_F(StartupTest, AValidFileFillsTheWindowAndSurvivesACloseByteForByte) {
    SettingsRecord record = DefaultRecord();
    record.chipType = 1;
    record.bufferStart = 0x100;
    record.bufferEnd = 0x80FF;
    record.chipStart = 0x40000;
    record.chipEnd = 0x47FFF;
    record.sectorIndex = 3;
    record.quickVerify = 1;
    std::strcpy(record.loadFilePath, "C:\\images\\boot.bin");
    WriteFileBytes(settings_, Image(record));

    HWND window = Start();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_CHIP_LIST, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(DialogItemText(window, IDC_BUFFER_START), "000100");
    EXPECT_EQ(DialogItemText(window, IDC_BUFFER_END), "0080FF");
    EXPECT_EQ(DialogItemText(window, IDC_CHIP_START), "040000");
    EXPECT_EQ(DialogItemText(window, IDC_CHIP_END), "047FFF");
    EXPECT_EQ(DialogItemText(window, IDC_SECTOR_LABEL), "0x30000 - 0x3FFFF");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, IDC_ERASE_SECTOR)));
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_QUICK_VERIFY, BM_GETCHECK, 0, 0), BST_CHECKED);
    CloseAndWait(window);
    EXPECT_EQ(ReadFileBytes(settings_), Image(record));
}

TEST_F(StartupTest, AChipTypeOrSectorOutsideTheTablesFallsBackToTheFirst) {
    SettingsRecord record = DefaultRecord();
    record.chipType = 9;
    record.sectorIndex = 12;
    WriteFileBytes(settings_, Image(record));
    HWND window = Start();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_CHIP_LIST, LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(DialogItemText(window, IDC_SECTOR_LABEL), "0x00000 - 0x0FFFF");
    CloseAndWait(window);
    SettingsRecord stored{};
    auto bytes = ReadFileBytes(settings_);
    ASSERT_EQ(bytes.size(), sizeof stored);
    std::memcpy(&stored, bytes.data(), sizeof stored);
    EXPECT_EQ(stored.chipType, 0);
    EXPECT_EQ(stored.sectorIndex, 0);
}

TEST_F(StartupTest, TheSettingsFileIsTheOneBesideTheExecutable) {
    TempDir elsewhere;
    SettingsRecord record = DefaultRecord();
    record.chipType = 2;
    WriteFileBytes(settings_, Image(record));
    SettingsRecord decoy = DefaultRecord();
    decoy.chipType = 5;
    WriteFileBytes(elsewhere.File(kSettingsFileName), Image(decoy));

    HWND window = Start(elsewhere.path());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_CHIP_LIST, LB_GETCURSEL, 0, 0), 2);
    CloseAndWait(window);
    EXPECT_EQ(ReadFileBytes(elsewhere.File(kSettingsFileName)), Image(decoy));
    EXPECT_EQ(ReadFileBytes(settings_), Image(record));
}

TEST_F(StartupTest, ALockedFileGivesAWarningAndDefaultsAndIsNeitherDeletedNorWritten) {
    SettingsRecord record = DefaultRecord();
    record.chipType = 4;
    WriteFileBytes(settings_, Image(record));
    HANDLE lock = CreateFileA(settings_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    app_ = Process::Start("\"" + exe_ + "\"");
    MessageBoxSeen atStart = WaitForMessageBox(app_.id(), "Error");
    ASSERT_NE(atStart.box, nullptr);
    EXPECT_EQ(atStart.text, "Could not open Settings File");
    PressButton(atStart.box, IDOK);

    HWND window = WaitForWindow(app_.id(), kCaption);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_CHIP_LIST, LB_GETCURSEL, 0, 0), 0);

    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    MessageBoxSeen atClose = WaitForMessageBox(app_.id(), "Error");
    ASSERT_NE(atClose.box, nullptr);
    EXPECT_EQ(atClose.text, "Could not open Settings File");
    PressButton(atClose.box, IDOK);
    ASSERT_TRUE(app_.Wait(10000));

    CloseHandle(lock);
    EXPECT_EQ(ReadFileBytes(settings_), Image(record));
}

TEST_F(StartupTest, ASecondInstanceSaysSoAndLeavesTheSettingsFileAlone) {
    SettingsRecord record = DefaultRecord();
    record.chipType = 6;
    WriteFileBytes(settings_, Image(record));
    HWND window = Start();
    ASSERT_NE(window, nullptr);
    auto before = ReadFileBytes(settings_);

    Process second = Process::Start("\"" + exe_ + "\"");
    MessageBoxSeen box = WaitForMessageBox(second.id(), "Initialization Error");
    ASSERT_NE(box.box, nullptr);
    EXPECT_EQ(box.text, "Application is already open");
    PressButton(box.box, IDOK);
    DWORD code = 1;
    ASSERT_TRUE(second.Wait(10000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadFileBytes(settings_), before);

    CloseAndWait(window);
}

}  // namespace
