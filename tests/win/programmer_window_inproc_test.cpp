// The programmer window hosted in this process, for what the real program cannot be made to
// do on demand: a worker thread that cannot be created.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/operations_win.h"
#include "app/programmer_window_win.h"
#include "app/settings.h"
#include "app/startup_win.h"
#include "controls/control_library_win.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/sim_unit.h"

namespace {

using testing_support::DialogItemText;
using testing_support::PumpMessages;
using testing_support::TempDir;

bool RefuseToStart(OperationRequest*) { return false; }

class ProgrammerWindowInProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        RegisterControlLibrary(GetModuleHandleA(nullptr));
        SimUnit::Options options;
        options.commands = {"model vorland", "chip 0"};
        ASSERT_TRUE(sim_.Start(options)) << sim_.error();
        CopyText(gModuleDirectory, sizeof gModuleDirectory, dir_.path().c_str());
        ApplyDefaultSettings(gSettings);
        gSettings.chipEnd = gSettings.bufferEnd = 0x7FFF;
        dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRAMMER),
                                     nullptr, ProgrammerDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        SetOperationThreadStarter(nullptr);
        if (dialog_ != nullptr) DestroyWindow(dialog_);
        gModuleDirectory[0] = '\0';
    }

    std::string LogText() const { return DialogItemText(dialog_, IDC_LOG); }
    void Command(int id) { SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
    bool WaitForLog(const std::string& tail) {
        DWORD start = GetTickCount();
        while (LogText().size() < tail.size() ||
               LogText().compare(LogText().size() - tail.size(), tail.size(), tail) != 0) {
            if (GetTickCount() - start > 20000) return false;
            PumpMessages(10);
        }
        return true;
    }

    SimUnit sim_;
    TempDir dir_;
    HWND dialog_ = nullptr;
};

TEST_F(ProgrammerWindowInProcessTest, AThreadThatCannotBeCreatedLeavesTheWindowUsable) {
    ASSERT_TRUE(WaitForLog("Port: COM1"));
    EXPECT_EQ(LogText(), "HW: Vorland v1.0.F\r\nPort: COM1");
    SetOperationThreadStarter(&RefuseToStart);
    Command(IDC_READ_CHIP);
    Command(IDC_ERASE_CHIP);
    EXPECT_EQ(LogText(),
              "HW: Vorland v1.0.F\r\nPort: COM1\r\nReading Device into buffer...\r\n"
              "ERROR: The operation could not be started.\r\nErasing Device...\r\n"
              "ERROR: The operation could not be started.");
    for (int id : {IDC_READ_CHIP, IDC_PROGRAM_CHIP, IDC_ERASE_CHIP, IDC_VERIFY_CHIP, IDCANCEL}) {
        EXPECT_TRUE(Enabled(id)) << id;
    }

    // With threads again the next operation runs as usual.
    SetOperationThreadStarter(nullptr);
    Command(IDC_BLANK_CHECK);
    EXPECT_TRUE(WaitForLog("Checking for blank device...\r\nChip is blank."));
    EXPECT_TRUE(Enabled(IDC_BLANK_CHECK));
}

}  // namespace
