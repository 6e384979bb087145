// "Edit Buffer" in the real Vorland.exe against the simulated unit: the chip read into the
// buffer is edited in the hex editor, committed and programmed back; the close prompt's answers;
// the status bar as the user moves about.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "resources/resource.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/sim_unit.h"
#include "tests/win/support/status_bar.h"
#include "tests/win/support/vorland_app.h"

namespace {

using testing_support::PressButton;
using testing_support::PumpMessages;
using testing_support::ReadFileBytes;
using testing_support::SaveScreenshot;
using testing_support::StatusPartEdges;
using testing_support::StatusPartText;
using testing_support::VorlandApp;
using testing_support::WaitForMessageBox;
using testing_support::WaitForWindow;
using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;

constexpr char kSucceeded[] = "PROM I/O succeeded.";
constexpr char kSeparator[] = "-----------------------------------";
constexpr std::size_t kChipSize = 0x8000;  // chip type 0

Bytes ChipPattern() {
    Bytes bytes(kChipSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
}

void PressKeys(std::initializer_list<WORD> down) {
    std::vector<INPUT> inputs;
    for (WORD key : down) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto it = down.end(); it != down.begin();) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *--it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    PumpMessages(150);
}

class HexEditorAppTest : public ::testing::Test {
  protected:
    static SimUnit& Sim() {
        static SimUnit sim;
        return sim;
    }

    void SetUp() override {
        SimUnit::Options options;
        options.commands = {"model vorland", "chip 0"};
        ASSERT_TRUE(Sim().Start(options)) << Sim().error();
        ASSERT_TRUE(Sim().SetChipContents(ChipPattern()));
        SettingsRecord settings{};
        ApplyDefaultSettings(settings);
        settings.chipType = 0;
        settings.chipStart = settings.bufferStart = 0;
        settings.chipEnd = settings.bufferEnd = static_cast<std::int32_t>(kChipSize - 1);
        app_.WriteSettings(settings);
        ASSERT_TRUE(app_.Start());
        Lines read = app_.Run(IDC_READ_CHIP, "Checksum ");
        ASSERT_EQ(read.size(), 4u);
        ASSERT_EQ(read[2], kSucceeded);
    }
    void TearDown() override {
        if (editor_ != nullptr && IsWindow(editor_)) CloseEditor(IDNO);
        if (app_.window() != nullptr) app_.Close();
        Sim().Stop();
    }

    // Presses "Edit Buffer" and finds the editor and its parts.
    void OpenEditor() {
        app_.Press(IDC_EDIT_BUFFER);
        editor_ = WaitForWindow(app_.processId(), "Dialog");
        ASSERT_NE(editor_, nullptr);
        control_ = FindWindowExA(editor_, nullptr, "HexView32", nullptr);
        status_ = GetDlgItem(editor_, 2);
        ASSERT_NE(control_, nullptr);
        PumpMessages(100);
    }
    // Keys the control hears without the modifier keys (the program's own key state).
    void Key(UINT key) { SendMessageA(control_, WM_KEYDOWN, key, 1); }
    void Type(const char* text) {
        for (const char* c = text; *c != '\0'; ++c) {
            SendMessageA(control_, WM_CHAR, static_cast<unsigned char>(*c), 1);
        }
    }
    // A key through the program's own message loop, as a typed key goes.
    void PostKey(UINT key) {
        PostMessageA(control_, WM_KEYDOWN, key, 1);
        PumpMessages(150);
    }
    // Closes the editor; a prompt, when one comes, is answered with button. Its text, or "".
    std::string CloseEditor(int button) {
        PostMessageA(editor_, WM_COMMAND, IDCANCEL, 0);
        return AnswerPrompt(button);
    }
    // Answers the close prompt, when one comes, with button; its text, or "".
    std::string AnswerPrompt(int button) {
        testing_support::MessageBoxSeen prompt =
            WaitForMessageBox(app_.processId(), "Changes Detected", 1500);
        if (prompt.box != nullptr) PressButton(prompt.box, button);
        DWORD start = GetTickCount();
        while (IsWindow(editor_) && button != IDCANCEL && GetTickCount() - start < 5000) {
            PumpMessages(20);
        }
        PumpMessages(100);
        return prompt.text;
    }
    // The image buffer as "Save Buffer to File..." writes it.
    Bytes SavedBuffer() {
        std::string path = app_.dir().File("buffer.bin");
        DeleteFileA(path.c_str());
        app_.Press(IDC_SAVE_FILE);
        EXPECT_TRUE(app_.AnswerFileDialog(path));
        PumpMessages(200);
        return ReadFileBytes(path);
    }
    std::string Part(int part) const { return StatusPartText(status_, part); }

    VorlandApp app_;
    HWND editor_ = nullptr;
    HWND control_ = nullptr;
    HWND status_ = nullptr;
};

TEST_F(HexEditorAppTest, TypedBytesAreCommittedAndProgrammed) {
    OpenEditor();
    EXPECT_FALSE(IsWindowEnabled(app_.window()));
    EXPECT_EQ(Part(3), "32768 bytes");
    EXPECT_EQ(Part(2), "Value: 03");  // the chip's first byte, read into the buffer
    Type("DEAD");
    SendMessageA(control_, WM_KEYDOWN, VK_TAB, 1);  // then two characters in the character pane
    Type("ok");
    SendMessageA(editor_, WM_COMMAND, IDM_COMMIT_CHANGES, 0);
    EXPECT_EQ(CloseEditor(IDYES), "");  // committed: nothing left to ask about
    EXPECT_FALSE(IsWindow(editor_));
    EXPECT_TRUE(IsWindowEnabled(app_.window()));

    ASSERT_TRUE(Sim().Ok("fill 0xFF"));  // a blank chip: programming only clears bits
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kSucceeded),
              (Lines{"Programming Device from buffer...", kSeparator, kSucceeded}));
    Bytes expected = ChipPattern();
    expected[0] = 0xDE;
    expected[1] = 0xAD;
    expected[2] = 'o';
    expected[3] = 'k';
    EXPECT_EQ(Sim().ChipContents(), expected);
}

TEST_F(HexEditorAppTest, CancelKeepsTheEditorNoLeavesTheBufferYesCommits) {
    OpenEditor();
    // While the editor is open the programmer window neither closes nor opens a second editor.
    app_.SendCommand(IDCANCEL);
    app_.SendCommand(IDC_EDIT_BUFFER);
    PumpMessages(200);
    EXPECT_TRUE(IsWindow(app_.window()));
    EXPECT_EQ(FindWindowExA(nullptr, editor_, nullptr, "Dialog"), nullptr);
    Type("00112233");
    EXPECT_EQ(CloseEditor(IDCANCEL), "Commit changes to the active bin?");
    ASSERT_TRUE(IsWindow(editor_));
    EXPECT_FALSE(IsWindowEnabled(app_.window()));
    EXPECT_EQ(CloseEditor(IDNO), "Commit changes to the active bin?");
    EXPECT_FALSE(IsWindow(editor_));
    EXPECT_TRUE(IsWindowEnabled(app_.window()));
    EXPECT_EQ(SavedBuffer(), ChipPattern());

    OpenEditor();
    Type("4455");
    EXPECT_EQ(CloseEditor(IDYES), "Commit changes to the active bin?");
    EXPECT_FALSE(IsWindow(editor_));
    Bytes expected = ChipPattern();
    expected[0] = 0x44;
    expected[1] = 0x55;
    EXPECT_EQ(SavedBuffer(), expected);
}

// Keys that are commands type nothing into the bytes: Escape closes (asking first), a Control
// shortcut nobody takes is dropped; Enter types a line break. Edits saved to a file are still
// edits the buffer lacks: Escape asks about them, and Yes puts them on the chip.
TEST_F(HexEditorAppTest, CommandKeysTypeNothingAndSavedEditsStillAskToBeCommitted) {
    OpenEditor();
    SetForegroundWindow(editor_);
    PumpMessages(100);
    Key(VK_TAB);  // the character pane
    Type("ok");
    PostKey(VK_RETURN);
    PressKeys({VK_CONTROL, 'Q'});
    PostKey(VK_ESCAPE);
    ASSERT_EQ(AnswerPrompt(IDCANCEL), "Commit changes to the active bin?");
    ASSERT_TRUE(IsWindow(editor_));

    const std::string path = app_.dir().File("edited.bin");
    PostMessageA(editor_, WM_COMMAND, IDM_SAVE_AS, 0);
    ASSERT_TRUE(app_.AnswerFileDialog(path, "Select File To Save..."));
    EXPECT_NE(WaitForWindow(app_.processId(), "edited.bin - Hex Editor"), nullptr);
    Bytes expected = ChipPattern();
    std::memcpy(expected.data(), "ok\r\n", 4);
    EXPECT_EQ(ReadFileBytes(path), expected);

    PostKey(VK_ESCAPE);
    ASSERT_EQ(AnswerPrompt(IDYES), "Commit changes to the active bin?");
    ASSERT_FALSE(IsWindow(editor_));
    ASSERT_TRUE(Sim().Ok("fill 0xFF"));
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kSucceeded),
              (Lines{"Programming Device from buffer...", kSeparator, kSucceeded}));
    EXPECT_EQ(Sim().ChipContents(), expected);
}

TEST_F(HexEditorAppTest, TheStatusBarAsTheUserMovesAbout) {
    OpenEditor();
    SetForegroundWindow(editor_);
    PumpMessages(100);
    // A few edited bytes in row 4, drawn in the changed-byte colour.
    for (int i = 0; i < 4; ++i) Key(VK_DOWN);
    Type("C0FFEE");
    Key(VK_HOME);
    Key(VK_UP);
    Key(VK_UP);
    EXPECT_EQ(Part(1), "Cursor: 00000020");
    PressKeys({VK_SHIFT, VK_UP});
    EXPECT_EQ(Part(1), "Selection: 00000020 - 00000010");
    EXPECT_EQ(Part(3), "16 bytes");
    EXPECT_EQ(Part(2), "");
    SaveScreenshot("hex-editor", editor_);

    PressKeys({VK_CONTROL, VK_END});
    EXPECT_EQ(Part(1), "Cursor: 00008000");
    EXPECT_EQ(Part(2), "");
    EXPECT_EQ(Part(3), "32768 bytes");
    Key(VK_INSERT);
    EXPECT_EQ(Part(4), "INS");

    RECT frame{0, 0, 300, 200};
    AdjustWindowRectEx(&frame, GetWindowLongA(editor_, GWL_STYLE), TRUE,
                       GetWindowLongA(editor_, GWL_EXSTYLE));
    SetWindowPos(editor_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages(100);
    RECT client;
    GetClientRect(editor_, &client);
    ASSERT_EQ(client.right, 300);
    EXPECT_EQ(StatusPartEdges(status_), (std::vector<int>{10, 190, 250, 350, 300}));
    EXPECT_EQ(CloseEditor(IDNO), "Commit changes to the active bin?");
    EXPECT_EQ(SavedBuffer(), ChipPattern());
}

}  // namespace
