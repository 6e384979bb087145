// "Edit Buffer" in the real Vorland.exe against the simulated unit: the chip read into the
// buffer is edited in the hex editor, committed and programmed back; the close prompt's answers;
// the status bar as the user moves about; files opened and saved in the editor.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
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
using testing_support::WaitForDialog;
using testing_support::WaitForMessageBox;
using testing_support::WaitForWindow;
using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;

constexpr char kSucceeded[] = "PROM I/O succeeded.";
constexpr char kVerified[] = "SUCCESS: Verification Succeeded.";
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
    Bytes expected = ChipPattern();
    expected[0] = 0xDE;
    expected[1] = 0xAD;
    expected[2] = 'o';
    expected[3] = 'k';
    // The last checksum line names the bytes the buffer holds now.
    EXPECT_EQ(app_.Log().back(), FormatChecksumLine(0, kChipSize - 1, expected.data()));

    ASSERT_TRUE(Sim().Ok("fill 0xFF"));  // a blank chip: programming only clears bits
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified).back(), kVerified);  // programmed, read back
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
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kVerified).back(), kVerified);  // programmed, read back
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

// The tools on a 17 MiB file opened in the editor (mapped), by menu and by key: Go To and
// typing, Find in hex with and without ??, in text with and without case, both ways, across a
// typed byte and a 1 MiB window edge, wrapping; Fill with one undo step, undone and redone from
// the menu; checksums of known bytes; Copy as Hex; Select All. Then the first bytes go to the
// image buffer, and the user hears what does not; the file keeps its bytes when not saved.
TEST_F(HexEditorAppTest, TheToolsOnALargeFileByMenuAndByKey) {
    constexpr std::size_t kFileSize = 17u << 20;
    Bytes file(kFileSize, 0);
    std::memcpy(&file[0x10], "Katz", 4);
    std::memcpy(&file[0xFFFFE], "Kxtz", 4);  // becomes "Katz" by typing, across the edge
    std::memcpy(&file[0x200000], "KATZ", 4);
    std::memcpy(&file[0x300000], "123456789", 9);
    const std::string path = app_.dir().File("tools.bin");
    testing_support::WriteFileBytes(path, file);

    OpenEditor();
    Command(IDM_OPEN);
    ASSERT_TRUE(app_.AnswerFileDialog(path, "Select File To Open..."));
    ASSERT_NE(WaitForWindow(app_.processId(), "tools.bin - Hex Editor"), nullptr);
    EXPECT_EQ(PartBecomes(3, "17825792 bytes"), "17825792 bytes");
    SetForegroundWindow(editor_);
    PumpMessages(100);

    // Go To: 0x1234 by menu, a byte typed there; past the end is refused and changes nothing.
    Command(IDM_GOTO);
    ASSERT_TRUE(Answer(Dialog("Go To", IDC_GOTO_OFFSET), IDC_GOTO_OFFSET, "0x1234"));
    EXPECT_EQ(Part(1), "Cursor: 00001234");
    Type("5A");
    EXPECT_EQ(Part(1), "Cursor: 00001235");
    PressKeys({VK_CONTROL, 'G'});
    HWND goTo = Dialog("Go To", IDC_GOTO_OFFSET);
    EXPECT_FALSE(Answer(goTo, IDC_GOTO_OFFSET, "#17825793"));
    testing_support::MessageBoxSeen refused = WaitForMessageBox(app_.processId(), "Go To");
    EXPECT_EQ(refused.text, "The offset is past the end of the data.");
    PressButton(refused.box, IDOK);
    EXPECT_EQ(Part(1), "Cursor: 00001235");
    ASSERT_TRUE(Answer(goTo, IDC_GOTO_OFFSET, "FFFFF"));  // the same dialog, still open
    Key(VK_TAB);                                          // "a" typed in the character pane
    Type("a");
    Key(VK_TAB);

    Command(IDM_GOTO);
    ASSERT_TRUE(Answer(Dialog("Go To", IDC_GOTO_OFFSET), IDC_GOTO_OFFSET, "200"));
    Find("4B 61 74 7A", IDC_FIND_HEX, IDC_FIND_FORWARD);
    EXPECT_EQ(PartBecomes(1, "Selection: 00100002 - 000FFFFE"), "Selection: 00100002 - 000FFFFE");
    EXPECT_EQ(Part(3), "4 bytes");
    EXPECT_EQ(Part(0), "");
    PressKeys({VK_F3});  // "KATZ" is not these bytes: round to the start
    EXPECT_EQ(PartBecomes(1, "Selection: 00000014 - 00000010"), "Selection: 00000014 - 00000010");
    EXPECT_EQ(Part(0), "Passed the end, went on from the start");
    PressKeys({VK_SHIFT, VK_F3});
    EXPECT_EQ(PartBecomes(1, "Selection: 00100002 - 000FFFFE"), "Selection: 00100002 - 000FFFFE");
    EXPECT_EQ(Part(0), "Passed the start, went on from the end");
    Find("4B ?? 74 7A", IDC_FIND_HEX, IDC_FIND_BACKWARD);
    EXPECT_EQ(PartBecomes(1, "Selection: 00000014 - 00000010"), "Selection: 00000014 - 00000010");
    EXPECT_EQ(Part(0), "");

    Find("katz", IDC_FIND_TEXTMODE, IDC_FIND_FORWARD);
    testing_support::MessageBoxSeen none = WaitForMessageBox(app_.processId(), "Find");
    EXPECT_EQ(none.text, "Cannot find \"katz\".");
    PressButton(none.box, IDOK);
    Find("katz", IDC_FIND_TEXTMODE, IDC_FIND_FORWARD, true);
    EXPECT_EQ(PartBecomes(1, "Selection: 00100002 - 000FFFFE"), "Selection: 00100002 - 000FFFFE");
    PressKeys({VK_F3});
    EXPECT_EQ(PartBecomes(1, "Selection: 00200004 - 00200000"), "Selection: 00200004 - 00200000");
    PressKeys({VK_SHIFT, VK_F3});
    EXPECT_EQ(PartBecomes(1, "Selection: 00100002 - 000FFFFE"), "Selection: 00100002 - 000FFFFE");

    // Fill the match with 00: one undo step, undone and redone from the menu.
    EXPECT_EQ(CopyAsHex(), "4B 61 74 7A");
    Command(IDM_FILL);
    ASSERT_TRUE(Answer(Dialog("Fill Selection", IDC_FILL_PATTERN), IDC_FILL_PATTERN, "00"));
    EXPECT_EQ(CopyAsHex(), "00 00 00 00");
    SendMessageA(editor_, WM_COMMAND, IDM_UNDO, 0);
    EXPECT_EQ(Part(1), "Cursor: 000FFFFE");  // undoing an overwrite selects nothing
    PressKeys({VK_F3});
    EXPECT_EQ(PartBecomes(1, "Selection: 00100002 - 000FFFFE"), "Selection: 00100002 - 000FFFFE");
    EXPECT_EQ(CopyAsHex(), "4B 61 74 7A");
    SendMessageA(editor_, WM_COMMAND, IDM_REDO, 0);
    EXPECT_EQ(Part(1), "Selection: 000FFFFE - 00100002");
    EXPECT_EQ(CopyAsHex(), "00 00 00 00");

    // Checksums of "123456789", the usual check values; the dialog's text copied by its button.
    Find("123456789", IDC_FIND_TEXTMODE, IDC_FIND_FORWARD);
    EXPECT_EQ(PartBecomes(1, "Selection: 00300009 - 00300000"), "Selection: 00300009 - 00300000");
    EXPECT_EQ(CopyAsHex(), "31 32 33 34 35 36 37 38 39");
    Command(IDM_CHECKSUM);
    HWND sums = Dialog("Checksum", IDC_CHECKSUM_TEXT);
    ASSERT_NE(sums, nullptr);
    const std::string expected =
        "Byte sum (8 bit): DD\r\nByte sum (16 bit): 01DD\r\nCRC-16/CCITT-FALSE: 29B1\r\n"
        "CRC-32: CBF43926\r\n"
        "SHA-256: 15E2B0D3C33891EBB0F1EF609EC419420C20E320CE94C65FBC8C3312448EB225";
    EXPECT_EQ(testing_support::DialogItemText(sums, IDC_CHECKSUM_RANGE),
              "Selection 00300000 - 00300008, 9 bytes:");
    EXPECT_EQ(testing_support::DialogItemText(sums, IDC_CHECKSUM_TEXT), expected);
    PressButton(sums, IDC_CHECKSUM_COPY);
    PumpMessages(200);
    EXPECT_EQ(ClipboardText(), expected);
    PressButton(sums, IDCANCEL);

    // Select All: more than Copy as Hex takes.
    PressKeys({VK_CONTROL, 'A'});
    EXPECT_EQ(PartBecomes(1, "Selection: 00000000 - 01100000"), "Selection: 00000000 - 01100000");
    EXPECT_EQ(Part(3), "17825792 bytes");
    Command(IDM_COPY_HEX);
    testing_support::MessageBoxSeen tooLarge = WaitForMessageBox(app_.processId(), "Copy as Hex");
    EXPECT_EQ(tooLarge.text, "The selection is larger than 16 MiB, too large to copy as hex text.");
    PressButton(tooLarge.box, IDOK);

    // Commit takes as much as the chip holds, and says so; the edits past it (the "a" and the
    // fill) are in the file's document only: closing offers to save them there first.
    Command(IDM_COMMIT_CHANGES);
    testing_support::MessageBoxSeen cut = WaitForMessageBox(app_.processId(), "Hex Editor");
    EXPECT_EQ(cut.text,
              "The data is 17825792 bytes long; only its first 32768 bytes, as many as "
              "the chip holds, were committed.");
    PressButton(cut.box, IDOK);
    EXPECT_EQ(CloseEditor(IDCANCEL), "Save changes to tools.bin?");
    ASSERT_TRUE(IsWindow(editor_));
    EXPECT_EQ(CloseEditor(IDNO), "Save changes to tools.bin?");
    ASSERT_FALSE(IsWindow(editor_));
    EXPECT_EQ(ReadFileBytes(path), file);
    Bytes committed(file.begin(), file.begin() + kChipSize);
    committed[0x1234] = 0x5A;
    EXPECT_EQ(SavedBuffer(), committed);
}

// Search/Compare with File against the chip's bytes: part 0 counts the differences, F6 and
// Shift+F6 select them range by range and wrap with a note; an edit ends them, and F6 then asks
// for a file again. A HEX file compares by its data from address 0, and the document's bytes
// past that are one more range.
TEST_F(HexEditorAppTest, CompareWithAFileCountsAndStepsThroughTheDifferences) {
    Bytes other = ChipPattern();
    for (auto [first, count] : {std::pair{0x40, 1}, {0x86, 16}, {0xC5, 2}}) {
        for (int at = first; at < first + count; ++at) other[at] ^= 0xFF;
    }
    const std::string path = app_.dir().File("other.bin");
    testing_support::WriteFileBytes(path, other);
    const Bytes chip = ChipPattern();
    Bytes data(chip.begin(), chip.begin() + 0x110);
    data[0x100] ^= 0xFF;
    const std::string text = WriteIntelHex(data.data(), static_cast<std::uint32_t>(data.size()), 0);
    const std::string hex = app_.dir().File("short.hex");
    testing_support::WriteFileBytes(hex, Bytes(text.begin(), text.end()));

    OpenEditor();
    Command(IDM_COMPARE_FILE);
    ASSERT_TRUE(app_.AnswerFileDialog(path, "Select File To Compare..."));
    const std::string counted = "Differences: 3 ranges, 19 bytes";
    EXPECT_EQ(PartBecomes(0, counted), counted);
    SaveScreenshot("hex-compare", editor_);
    SetForegroundWindow(editor_);
    PumpMessages(100);
    struct Step {
        bool back;
        const char* selection;
        const char* count;
        std::string note;
    };
    const Step steps[] = {
        {false, "Selection: 00000041 - 00000040", "1 bytes", counted},
        {false, "Selection: 00000096 - 00000086", "16 bytes", counted},
        {false, "Selection: 000000C7 - 000000C5", "2 bytes", counted},
        {false, "Selection: 00000041 - 00000040", "1 bytes",
         "Passed the end, went on from the start"},
        {true, "Selection: 000000C7 - 000000C5", "2 bytes",
         "Passed the start, went on from the end"},
    };
    for (const Step& step : steps) {
        if (step.back) {
            PressKeys({VK_SHIFT, VK_F6});
        } else {
            PressKeys({VK_F6});
        }
        EXPECT_EQ(Part(1), step.selection);
        EXPECT_EQ(Part(3), step.count);
        EXPECT_EQ(Part(0), step.note);
    }
    Key(VK_LEFT);  // moving on: part 0 counts again
    EXPECT_EQ(Part(0), counted);
    Type("5");
    EXPECT_EQ(Part(0), "");
    SendMessageA(editor_, WM_COMMAND, IDM_UNDO, 0);

    PressKeys({VK_F6});
    ASSERT_TRUE(app_.AnswerFileDialog(hex, "Select File To Compare..."));
    EXPECT_EQ(PartBecomes(0, "Differences: 2 ranges, 32497 bytes"),
              "Differences: 2 ranges, 32497 bytes");
    Command(IDM_GOTO);
    ASSERT_TRUE(Answer(Dialog("Go To", IDC_GOTO_OFFSET), IDC_GOTO_OFFSET, "0"));
    PressKeys({VK_F6});
    EXPECT_EQ(Part(1), "Selection: 00000101 - 00000100");
    PressKeys({VK_F6});
    EXPECT_EQ(Part(1), "Selection: 00008000 - 00000110");
}

// Edits to a document with a file of its own are offered for saving there before the document
// goes, also when they were committed and after a Save As; then the buffer is asked about. After
// New the window names no file.
TEST_F(HexEditorAppTest, EditsAreOfferedForSavingToTheDocumentsFileBeforeItGoes) {
    const std::string path = app_.dir().File("data.bin");
    const Bytes data(64, 0x5A);
    testing_support::WriteFileBytes(path, data);
    OpenEditor();
    EXPECT_EQ(OpenOrSave(IDM_OPEN, path), "data.bin - Hex Editor");
    Type("AB");
    Command(IDM_COMMIT_CHANGES);
    EXPECT_EQ(CloseEditor(IDCANCEL), "Save changes to data.bin?");
    ASSERT_TRUE(IsWindow(editor_));
    EXPECT_EQ(CloseAnswering({IDYES, IDNO}), Lines{"Save changes to data.bin?"});
    ASSERT_FALSE(IsWindow(editor_));
    Bytes saved = data;
    saved[0] = 0xAB;
    EXPECT_EQ(ReadFileBytes(path), saved);

    OpenEditor();
    const std::string copy = app_.dir().File("copy.bin");
    EXPECT_EQ(OpenOrSave(IDM_SAVE_AS, copy), "copy.bin - Hex Editor");
    Type("CD");
    Command(IDM_NEW);
    EXPECT_EQ(AnswerPrompts({IDNO, IDNO}),
              (Lines{"Save changes to copy.bin?", "Commit changes to the active bin?"}));
    EXPECT_EQ(testing_support::WindowText(editor_), "Hex Editor");
    EXPECT_EQ(PartBecomes(3, "0 bytes"), "0 bytes");
    EXPECT_EQ(ReadFileBytes(copy)[0], 0xAB);
}

// An Intel HEX file opens as the image it describes, from address 0 with the gaps FF, and is
// committed at its records' addresses; a malformed one is refused by its line and changes
// nothing. Saved under an S-record name it is written as records, under another name as bytes.
TEST_F(HexEditorAppTest, AHexFileOpensAtItsAddressesAndSavesByTheNameItIsGiven) {
    Bytes record(40);
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<unsigned char>(0xA0 + i);
    Bytes image(0x100 + record.size(), 0xFF);
    std::copy(record.begin(), record.end(), image.begin() + 0x100);
    const std::string text = WriteIntelHex(record.data(), 40, 0x100);
    const std::string hex = app_.dir().File("firmware.hex");
    testing_support::WriteFileBytes(hex, Bytes(text.begin(), text.end()));
    std::string bad = text;
    const std::size_t secondEnd = bad.find("\r\n", bad.find("\r\n") + 2);
    bad[secondEnd - 1] = bad[secondEnd - 1] == '0' ? '1' : '0';  // line 2's checksum
    const std::string badPath = app_.dir().File("bad.hex");
    testing_support::WriteFileBytes(badPath, Bytes(bad.begin(), bad.end()));

    OpenEditor();
    EXPECT_EQ(OpenOrSave(IDM_OPEN, hex), "firmware.hex - Hex Editor");
    EXPECT_EQ(Part(3), "296 bytes");
    SaveScreenshot("hex-editor-hex-file", editor_);
    Command(IDM_OPEN);
    EXPECT_EQ(AnswerPrompts({IDYES}), Lines{"Commit changes to the active bin?"});
    ASSERT_TRUE(app_.AnswerFileDialog(badPath, "Select File To Open..."));
    const std::string refusal = Warning();
    const std::string opening =
        "The file " + badPath + " could not be opened. Line 2: bad checksum";
    EXPECT_EQ(refusal.substr(0, opening.size()), opening) << refusal;
    EXPECT_EQ(testing_support::WindowText(editor_), "firmware.hex - Hex Editor");
    EXPECT_EQ(Part(3), "296 bytes");

    const std::string srec = app_.dir().File("out.s19");
    EXPECT_EQ(OpenOrSave(IDM_SAVE_AS, srec), "out.s19 - Hex Editor");
    SparseImage written;
    ImageError error;
    ASSERT_TRUE(ParseSRecord(testing_support::ReadFileText(srec), written, error)) << error.message;
    Bytes records(image.size());
    EXPECT_EQ(written.CopyOut(0, static_cast<std::uint32_t>(image.size()), 0, records.data()),
              image.size());
    EXPECT_EQ(records, image);
    const std::string bin = app_.dir().File("out.bin");
    EXPECT_EQ(OpenOrSave(IDM_SAVE_AS, bin), "out.bin - Hex Editor");
    EXPECT_EQ(ReadFileBytes(bin), image);
    EXPECT_EQ(CloseEditor(IDNO), "");  // saved, and committed before

    Bytes buffer = ChipPattern();
    std::copy(image.begin(), image.end(), buffer.begin());
    EXPECT_EQ(SavedBuffer(), buffer);
}

// Near the limits nothing is cut short: at the end of a document 16 bytes short of 4 GiB a paste
// of 32 bytes is refused whole, with the message of a failed paste, and one of 15 goes in; a
// fill of more than 256 MiB says that a fill is limited to that.
TEST_F(HexEditorAppTest, NearTheLimitsNothingIsCutShortAndTheMessagesSayWhy) {
    const std::string path = app_.dir().File("huge.bin");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = 0xFFFFFFF0;
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    auto putOnClipboard = [](const std::string& text) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
        GlobalUnlock(block);
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        SetClipboardData(CF_TEXT, block);
        CloseClipboard();
    };

    OpenEditor();
    EXPECT_EQ(OpenOrSave(IDM_OPEN, path), "huge.bin - Hex Editor");
    EXPECT_EQ(Part(3), "4294967280 bytes");
    Command(IDM_SELECT_ALL);
    Command(IDM_FILL);
    EXPECT_EQ(Warning("Fill Selection"),
              "A fill is limited to 256 MiB of new bytes, and the selection holds 4294967280 "
              "bytes.");

    Command(IDM_GOTO);
    ASSERT_TRUE(Answer(Dialog("Go To", IDC_GOTO_OFFSET), IDC_GOTO_OFFSET, "FFFFFFF0"));
    Key(VK_INSERT);
    EXPECT_EQ(Part(4), "INS");
    putOnClipboard(std::string(32, 'x'));
    Command(IDM_PASTE);
    EXPECT_EQ(Warning("HexView32"), "Failed to paste the clipboard contents");
    EXPECT_EQ(Part(3), "4294967280 bytes");
    putOnClipboard("0123456789ABCDE");
    Command(IDM_PASTE);
    EXPECT_EQ(PartBecomes(3, "4294967295 bytes"), "4294967295 bytes");
}

}  // namespace
