// The hex editor inside a staged Vorland.exe against the simulated unit, as the Win32 tests of
// the editor share it: the chip read into the buffer, "Edit Buffer" pressed, and the editor's
// commands, keys, dialogs, questions and status bar driven as a user would.
#pragma once

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

namespace testing_support {

using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;

inline constexpr char kEditorReadDone[] = "PROM I/O succeeded.";
inline constexpr char kEditorVerified[] = "SUCCESS: Verification Succeeded.";
inline constexpr std::size_t kChipSize = 0x8000;  // chip type 0

inline Bytes ChipPattern() {
    Bytes bytes(kChipSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
}

inline void PressKeys(std::initializer_list<WORD> down) {
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
        ASSERT_EQ(read[2], kEditorReadDone);
    }
    void TearDown() override {
        if (editor_ != nullptr && IsWindow(editor_)) CloseAnswering({IDNO, IDNO});
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
    Lines CloseAnswering(std::initializer_list<int> buttons) {
        PostMessageA(editor_, WM_COMMAND, IDCANCEL, 0);
        return AnswerClose(buttons);
    }
    // Answers the close prompt, when one comes, with button; its text, or "".
    std::string AnswerPrompt(int button) {
        const Lines texts = AnswerClose({button});
        return texts.empty() ? "" : texts[0];
    }
    // Answers the questions of a close, one button each, and waits until the editor has gone
    // (unless the last answer was Cancel); their texts.
    Lines AnswerClose(std::initializer_list<int> buttons) {
        const Lines texts = AnswerPrompts(buttons);
        const bool stays = !texts.empty() && buttons.begin()[texts.size() - 1] == IDCANCEL;
        for (DWORD start = GetTickCount();
             !stays && IsWindow(editor_) && GetTickCount() - start < 5000;) {
            PumpMessages(20);
        }
        PumpMessages(100);
        return texts;
    }
    // Answers the questions before a document goes, as long as they come, one button each;
    // their texts.
    Lines AnswerPrompts(std::initializer_list<int> buttons) {
        Lines texts;
        for (int button : buttons) {
            testing_support::MessageBoxSeen prompt =
                WaitForMessageBox(app_.processId(), "Changes Detected", 1500);
            if (prompt.box == nullptr) break;
            texts.push_back(prompt.text);
            PressButton(prompt.box, button);
            for (DWORD start = GetTickCount();
                 IsWindow(prompt.box) && GetTickCount() - start < 2000;) {
                PumpMessages(20);
            }
            if (button == IDCANCEL) break;
        }
        return texts;
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
    // Action/Open or Save As with path, and the caption the editor then shows.
    std::string OpenOrSave(int command, const std::string& path) {
        Command(command);
        EXPECT_TRUE(app_.AnswerFileDialog(
            path, command == IDM_OPEN ? "Select File To Open..." : "Select File To Save..."));
        PumpMessages(300);
        return testing_support::WindowText(editor_);
    }
    // The warning with that caption the editor shows, answered.
    std::string Warning(const char* caption = "Hex Editor") {
        testing_support::MessageBoxSeen box = WaitForMessageBox(app_.processId(), caption, 3000);
        if (box.box != nullptr) PressButton(box.box, IDOK);
        return box.text;
    }
    std::string Part(int part) const { return StatusPartText(status_, part); }
    // The part's text once it reads text (a search ends a moment after its key); what it reads
    // after five seconds otherwise.
    std::string PartBecomes(int part, const std::string& text) const {
        const DWORD start = GetTickCount();
        while (Part(part) != text && GetTickCount() - start < 5000) PumpMessages(20);
        return Part(part);
    }
    void Command(int id) { PostMessageA(editor_, WM_COMMAND, id, 0); }
    // The tool dialog a command or key opened, found by one of its controls.
    HWND Dialog(const char* caption, int item) {
        return WaitForDialog(app_.processId(), caption, item);
    }
    // Types text into a dialog's box and presses OK; false when the dialog stays (refused).
    bool Answer(HWND dialog, int box, const std::string& text) {
        SendMessageA(GetDlgItem(dialog, box), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(text.c_str()));
        PressButton(dialog, IDOK);
        const DWORD start = GetTickCount();
        while (IsWindow(dialog) && GetTickCount() - start < 2000) PumpMessages(20);
        return !IsWindow(dialog);
    }
    // Find with the dialog's choices.
    void Find(const char* text, int mode, int direction, bool ignoreCase = false) {
        Command(IDM_FIND);
        HWND find = Dialog("Find", IDC_FIND_TEXT);
        ASSERT_NE(find, nullptr);
        PostMessageA(GetDlgItem(find, mode), BM_CLICK, 0, 0);
        PostMessageA(GetDlgItem(find, direction), BM_CLICK, 0, 0);
        SendMessageA(GetDlgItem(find, IDC_FIND_IGNORECASE), BM_SETCHECK,
                     ignoreCase ? BST_CHECKED : BST_UNCHECKED, 0);
        EXPECT_TRUE(Answer(find, IDC_FIND_TEXT, text));
    }
    // Copy as Hex, and what the clipboard then holds as text.
    std::string CopyAsHex() {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
        SendMessageA(editor_, WM_COMMAND, IDM_COPY_HEX, 0);
        return ClipboardText();
    }
    static std::string ClipboardText() {
        std::string text;
        if (!OpenClipboard(nullptr)) return text;
        HANDLE block = GetClipboardData(CF_TEXT);
        if (const char* chars =
                block != nullptr ? static_cast<const char*>(GlobalLock(block)) : nullptr) {
            text = chars;
            GlobalUnlock(block);
        }
        CloseClipboard();
        return text;
    }

    VorlandApp app_;
    HWND editor_ = nullptr;
    HWND control_ = nullptr;
    HWND status_ = nullptr;
};

}  // namespace testing_support
