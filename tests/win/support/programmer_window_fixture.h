// The programmer window of a staged Vorland.exe against the simulated unit, as the Win32 tests
// of the programmer window share it: one simulator for the test program, a fresh copy of the
// executable for each test, files loaded and saved through the real dialogs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "formats/image_formats.h"
#include "resources/resource.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/sim_unit.h"
#include "tests/win/support/vorland_app.h"

namespace testing_support {

using Lines = std::vector<std::string>;

inline constexpr char kSeparator[] = "-----------------------------------";
inline constexpr char kSucceeded[] = "PROM I/O succeeded.";
inline constexpr char kVerifying[] = "Verifying device against buffer...";
inline constexpr char kVerified[] = "SUCCESS: Verification Succeeded.";
inline constexpr char kNotMatched[] = "FAILURE: Verification Failed (not matched)";
inline constexpr char kBufferUnchanged[] = "The buffer is unchanged.";

inline std::vector<unsigned char> Pattern(std::size_t size, unsigned seed) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>((i * seed + (i >> 8) * 7) & 0xFF);
    }
    return bytes;
}

inline SettingsRecord Settings(int chipType, std::int32_t chipStart, std::int32_t chipEnd,
                               std::int32_t bufferStart, std::int32_t bufferEnd) {
    SettingsRecord record{};
    ApplyDefaultSettings(record);
    record.chipType = chipType;
    record.chipStart = chipStart;
    record.chipEnd = chipEnd;
    record.bufferStart = bufferStart;
    record.bufferEnd = bufferEnd;
    return record;
}

class ProgrammerWindowTest : public ::testing::Test {
  protected:
    // One simulator serves every test of the program.
    static SimUnit& Sim() {
        static SimUnit sim;
        return sim;
    }

    void StartUnit(std::vector<std::string> commands, int com = 1) {
        StartUnitOf(Sim(), std::move(commands), com, 8);
    }
    // A further unit, of a simulator of its own (controlCom tells them apart).
    static void StartUnitOf(SimUnit& unit, std::vector<std::string> commands, int com,
                            int controlCom) {
        SimUnit::Options options;
        options.com = com;
        options.controlCom = controlCom;
        options.commands = std::move(commands);
        ASSERT_TRUE(unit.Start(options)) << unit.error();
    }
    void TearDown() override {
        if (app_.window() != nullptr) app_.Close();
        Sim().Stop();
    }

    void StartApp() { ASSERT_TRUE(app_.Start()); }

    // Loads or saves a file through the dialog (choosing filter when not 0) and returns the
    // lines it logged.
    Lines Load(const std::string& path, int filter = 0) {
        return FileDialog(IDC_LOAD_FILE, path, filter);
    }
    Lines Save(const std::string& path, int filter = 0) {
        return FileDialog(IDC_SAVE_FILE, path, filter);
    }
    Lines FileDialog(int button, const std::string& path, int filter) {
        std::size_t before = app_.Log().size();
        app_.Press(button);
        EXPECT_TRUE(app_.AnswerFileDialog(path, "Select File...", filter));
        PumpMessages(100);
        return app_.LogSince(before);
    }

    // Buffer start and end, chip start and end, as the boxes show them.
    Lines Boxes() const {
        return {app_.Text(IDC_BUFFER_START), app_.Text(IDC_BUFFER_END), app_.Text(IDC_CHIP_START),
                app_.Text(IDC_CHIP_END)};
    }
    void WriteText(const std::string& path, const std::string& text) {
        WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
    }
    void Check(int id, bool checked) const {
        SendMessageA(app_.Item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    VorlandApp app_;
};

}  // namespace testing_support
