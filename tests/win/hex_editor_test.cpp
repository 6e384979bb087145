// The hex editor dialog hosted in this process over an owner window of the test: its copy of
// the buffer, status bar, menu commands, close prompt, commit, save and failure handling.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "editor/hex_editor_dialog_win.h"
#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_transfer_win.h"
#include "hexview/hexview_win.h"
#include "platform/files.h"
#include "platform/virtual_memory.h"
#include "resources/resource.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/failures.h"
#include "tests/win/support/hexview_host.h"
#include "tests/win/support/status_bar.h"
#include "tests/win/support/vorland_app.h"

namespace {

using testing_support::BoxAnswerer;
using testing_support::CountingBytes;
using testing_support::PumpMessages;
using testing_support::ReadFileBytes;
using testing_support::StatusPartEdges;
using testing_support::StatusPartText;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using Bytes = std::vector<unsigned char>;

constexpr DWORD kChipSize = 0x8000;

void SetKeys(bool shift, bool control) {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    state[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(state);
}

bool Refuse(std::size_t) {
    return false;
}

class HexEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::RegisterHexViewForTests();
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        image_ = CountingBytes(0x80000, 0x30);
    }
    void TearDown() override {
        SetCommitGate(nullptr);
        SetKeys(false, false);
        if (gHexEditorWindow != nullptr) {
            HexViewSetModified(Control(), 0);  // no prompt
            DestroyWindow(gHexEditorWindow);
        }
        DestroyWindow(owner_);
        OleSetClipboard(nullptr);
    }

    HWND Open() {
        HWND editor = OpenHexEditor(owner_, HexEditorRequest{image_.data(), kChipSize});
        PumpMessages(20);
        return editor;
    }
    HWND Control() const { return FindWindowExA(gHexEditorWindow, nullptr, "HexView32", nullptr); }
    HWND Status() const { return GetDlgItem(gHexEditorWindow, 2); }
    std::string Part(int part) const { return StatusPartText(Status(), part); }
    void Command(int id) { SendMessageA(gHexEditorWindow, WM_COMMAND, id, 0); }
    void Key(UINT key, bool shift = false, bool control = false) {
        SetKeys(shift, control);
        SendMessageA(Control(), WM_KEYDOWN, key, 1);
        SetKeys(false, false);
    }
    void Type(const char* text) {
        for (const char* c = text; *c != '\0'; ++c) {
            SendMessageA(Control(), WM_CHAR, static_cast<unsigned char>(*c), 1);
        }
    }
    Bytes Document() const {
        Bytes bytes(HexViewGetSize(Control()));
        if (!bytes.empty()) {
            EXPECT_NE(HexViewReadData(Control(), 0, bytes.data(), static_cast<DWORD>(bytes.size())),
                      nullptr);
        }
        return bytes;
    }
    bool MenuChecked(int id) const {
        return (GetMenuState(GetMenu(gHexEditorWindow), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
    // Asks to close and answers the prompt that comes (if any) with button; the prompt's text.
    std::string CloseAnswering(int button) {
        BoxAnswerer prompt("Changes Detected", button);
        Command(IDCANCEL);
        PumpMessages(20);
        return prompt.Texts().empty() ? "" : prompt.Texts()[0];
    }
    // Runs a command, answering the boxes with that caption it shows with button; their texts.
    std::vector<std::string> CommandAnswering(int id, const char* caption, int button = IDOK) {
        BoxAnswerer boxes(caption, button);
        Command(id);
        return boxes.Texts();
    }
    // A command whose file dialog is answered with path.
    void FileCommand(int id, const char* caption, const std::string& path) {
        std::thread answer([&] {
            testing_support::AnswerFileDialog(GetCurrentProcessId(), caption, path);
        });
        Command(id);
        answer.join();
        PumpMessages(50);
    }
    // "Save As..." answered with path; the warnings it gave.
    std::vector<std::string> SaveAs(const std::string& path) {
        BoxAnswerer warnings("Hex Editor");
        FileCommand(IDM_SAVE_AS, "Select File To Save...", path);
        return warnings.Texts();
    }
    void OpenFile(const std::string& path) {
        FileCommand(IDM_OPEN, "Select File To Open...", path);
    }
    std::string Caption() const { return testing_support::WindowText(gHexEditorWindow); }

    // Runs a command that opens a dialog, at once or when a run ends, while answer works the
    // dialog from another thread; answer must close it.
    void WithDialog(int command, const char* caption, int item,
                    const std::function<void(HWND)>& answer) {
        std::atomic<bool> done{false};
        std::thread helper([&] {
            HWND dialog =
                testing_support::WaitForDialog(GetCurrentProcessId(), caption, item, 5000);
            if (dialog != nullptr) answer(dialog);
            done = true;
        });
        Command(command);
        while (!done) PumpMessages(10);
        helper.join();
    }
    // Whether the menu bar greys the item when its popup opens.
    bool Greyed(int id) const {
        HMENU bar = GetMenu(gHexEditorWindow);
        for (int i = 0; i < GetMenuItemCount(bar); ++i) {
            HMENU popup = GetSubMenu(bar, i);
            if (GetMenuState(popup, id, MF_BYCOMMAND) == static_cast<UINT>(-1)) continue;
            SendMessageA(gHexEditorWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), i);
            return (GetMenuState(popup, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
        }
        ADD_FAILURE() << "no item " << id;
        return false;
    }

    HWND owner_ = nullptr;
    Bytes image_;
};

// From the dialog's thread's point of view: types into a box and presses OK.
void Submit(HWND dialog, int box, const char* text) {
    SendMessageA(GetDlgItem(dialog, box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    testing_support::PressButton(dialog, IDOK);
}

// The text of the warning box with that caption, answered.
std::string Refusal(const char* caption) {
    testing_support::MessageBoxSeen box =
        testing_support::WaitForMessageBox(GetCurrentProcessId(), caption, 5000);
    if (box.box != nullptr) testing_support::PressButton(box.box, IDOK);
    return box.text;
}

void WaitGone(HWND window) {
    for (int i = 0; i < 200 && IsWindow(window); ++i) Sleep(10);
}

TEST_F(HexEditorTest, OpensOnAPrivateCopyWithTheOwnerDisabled) {
    HWND editor = Open();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(gHexEditorWindow, editor);
    EXPECT_FALSE(IsWindowEnabled(owner_));
    EXPECT_EQ(testing_support::WindowText(editor), "Dialog");
    EXPECT_EQ(SendMessageA(editor, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(Document(), Bytes(image_.begin(), image_.begin() + kChipSize));
    EXPECT_EQ(GetFocus(), Control());

    // The control fills the client area above the status bar.
    RECT client;
    GetClientRect(editor, &client);
    RECT control;
    GetWindowRect(Control(), &control);
    RECT bar;
    GetWindowRect(Status(), &bar);
    EXPECT_EQ(control.right - control.left, client.right);
    EXPECT_EQ((control.bottom - control.top) + (bar.bottom - bar.top), client.bottom);
    EXPECT_EQ(GetWindowLongA(Status(), GWL_STYLE), 0x5600014A);

    EXPECT_EQ(Part(0), "");
    EXPECT_EQ(Part(1), "Cursor: 00000000");
    EXPECT_EQ(Part(2), "Value: 30");
    EXPECT_EQ(Part(3), "32768 bytes");
    EXPECT_EQ(Part(4), "OVR");
    const DWORD style = HexViewGetStyle(Control());
    EXPECT_EQ(style & 0x3800, 0x1000u);
    EXPECT_EQ(style & 0x1F, 0x04u);
    EXPECT_NE(style & HVS_TYPEREPLACESSEL, 0u);
    EXPECT_NE(style & HVS_MARKCHANGES, 0u);
    EXPECT_EQ(HexViewGetBytesPerRow(Control()), 16);
    EXPECT_FALSE(HexViewIsModified(Control()));

    // Typing changes the copy only.
    Type("AB");
    EXPECT_EQ(Document()[0], 0xAB);
    EXPECT_EQ(image_[0], 0x30);
    EXPECT_EQ(Part(1), "Cursor: 00000001");
    EXPECT_EQ(Part(2), "Value: 31");
    Key(VK_INSERT);
    EXPECT_EQ(Part(4), "INS");
}

TEST_F(HexEditorTest, TheStatusBarFollowsSelectionCaretAndWidth) {
    ASSERT_NE(Open(), nullptr);
    // From 0x20 back to 0x10.
    Key(VK_DOWN);
    Key(VK_DOWN);
    Key(VK_UP, true);
    EXPECT_EQ(Part(1), "Selection: 00000020 - 00000010");
    EXPECT_EQ(Part(3), "16 bytes");
    EXPECT_EQ(Part(2), "");
    // The value shown is always the byte under the caret, also after typing over it in place.
    Key(VK_RIGHT);
    EXPECT_EQ(Part(1), "Cursor: 00000011");
    EXPECT_EQ(Part(2), "Value: 41");
    Type("7");
    EXPECT_EQ(Part(2), "Value: 71");
    Key(VK_RIGHT, true);
    Key(VK_DOWN, true);
    // The whole window on the screen for the picture.
    SetWindowPos(gHexEditorWindow, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    testing_support::SaveScreenshot("hexview", gHexEditorWindow);
    Key(VK_END, false, true);
    EXPECT_EQ(Part(1), "Cursor: 00008000");
    EXPECT_EQ(Part(2), "");
    EXPECT_EQ(Part(3), "32768 bytes");

    RECT frame{0, 0, 300, 200};
    AdjustWindowRectEx(&frame, GetWindowLongA(gHexEditorWindow, GWL_STYLE), TRUE,
                       GetWindowLongA(gHexEditorWindow, GWL_EXSTYLE));
    SetWindowPos(gHexEditorWindow, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(gHexEditorWindow, &client);
    ASSERT_EQ(client.right, 300);
    EXPECT_EQ(StatusPartEdges(Status()), (std::vector<int>{10, 190, 250, 350, 300}));
}

TEST_F(HexEditorTest, ClosingAsksOnlyWhenModifiedAndCancelKeepsItOpen) {
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(CloseAnswering(IDCANCEL), "");  // not modified: no question
    EXPECT_EQ(gHexEditorWindow, nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner_));

    ASSERT_NE(Open(), nullptr);
    Type("FF");
    EXPECT_EQ(CloseAnswering(IDCANCEL), "Commit changes to the active bin?");
    ASSERT_NE(gHexEditorWindow, nullptr);
    EXPECT_EQ(Document()[0], 0xFF);
    EXPECT_FALSE(IsWindowEnabled(owner_));

    EXPECT_EQ(CloseAnswering(IDNO), "Commit changes to the active bin?");
    EXPECT_EQ(gHexEditorWindow, nullptr);
    EXPECT_EQ(image_[0], 0x30);
    EXPECT_TRUE(IsWindowEnabled(owner_));

    ASSERT_NE(Open(), nullptr);
    Type("EE");
    EXPECT_EQ(CloseAnswering(IDYES), "Commit changes to the active bin?");
    EXPECT_EQ(gHexEditorWindow, nullptr);
    EXPECT_EQ(image_[0], 0xEE);
    EXPECT_EQ(image_[1], 0x31);
}

TEST_F(HexEditorTest, CommitCopiesWhatTheDocumentHoldsUpToTheChipSize) {
    ASSERT_NE(Open(), nullptr);
    Type("12");
    Command(IDM_COMMIT_CHANGES);
    EXPECT_EQ(image_[0], 0x12);

    // Longer: bytes inserted at the start push the last ones out of the chip's range.
    Key(VK_INSERT);
    Key(VK_HOME, false, true);
    Type("AABB");
    ASSERT_EQ(HexViewGetSize(Control()), kChipSize + 2);
    const Bytes document = Document();
    EXPECT_EQ(CommandAnswering(IDM_COMMIT_CHANGES, "Hex Editor"),
              (std::vector<std::string>{"The data is 32770 bytes long; only its first 32768 "
                                        "bytes, as many as the chip holds, were committed."}));
    EXPECT_EQ(Bytes(image_.begin(), image_.begin() + kChipSize),
              Bytes(document.begin(), document.begin() + kChipSize));
    EXPECT_EQ(image_[kChipSize], static_cast<unsigned char>(0x30 + kChipSize));  // untouched

    // The two bytes past the chip are in no file either: New asks before they go.
    const std::string lost =
        "The data is 32770 bytes long and the buffer takes only its first 32768. Any changes past "
        "them are not saved to a file and will be lost.";
    EXPECT_EQ(CommandAnswering(IDM_NEW, "Changes Detected", IDCANCEL),
              std::vector<std::string>{lost});
    EXPECT_EQ(Document(), document);

    // Shorter: a new document with three bytes changes three bytes.
    const Bytes before = image_;
    EXPECT_EQ(CommandAnswering(IDM_NEW, "Changes Detected"), std::vector<std::string>{lost});
    EXPECT_EQ(Part(3), "0 bytes");
    Command(IDM_COMMIT_CHANGES);  // empty: nothing
    EXPECT_EQ(image_, before);
    Key(VK_TAB);  // the character pane
    Type("xyz");
    Command(IDM_COMMIT_CHANGES);
    Bytes expected = before;
    expected[0] = 'x';
    expected[1] = 'y';
    expected[2] = 'z';
    EXPECT_EQ(image_, expected);
}

TEST_F(HexEditorTest, SaveAsNamesTheWindowAfterTheFile) {
    TempDir dir;
    ASSERT_NE(Open(), nullptr);
    Type("5A");
    const std::string path = dir.File("data.bin");
    std::thread answer([&] {
        testing_support::AnswerFileDialog(GetCurrentProcessId(), "Select File To Save...", path);
    });
    Command(IDM_SAVE_AS);
    answer.join();
    EXPECT_EQ(testing_support::WindowText(gHexEditorWindow), "data.bin - Hex Editor");
    Bytes saved = ReadFileBytes(path);
    ASSERT_EQ(saved.size(), kChipSize);
    EXPECT_EQ(saved[0], 0x5A);
    EXPECT_EQ(saved[1], 0x31);
    EXPECT_FALSE(HexViewIsModified(Control()));
    EXPECT_EQ(image_[0], 0x30);  // saving is not committing

    // A save that fails says so and changes nothing: here the file is in use.
    const std::string locked = dir.File("locked.bin");
    WriteFileBytes(locked, {1});
    HANDLE inUse = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
    Type("66");
    BoxAnswerer warning("Hex Editor");
    std::thread again([&] {
        testing_support::AnswerFileDialog(GetCurrentProcessId(), "Select File To Save...", locked);
    });
    Command(IDM_SAVE_AS);
    again.join();
    PumpMessages(50);
    // With the system's reason: under Wine another program's open shows as access denied.
    EXPECT_EQ(warning.Texts(), (std::vector<std::string>{"The buffer could not be saved to " +
                                                         locked + ". " +
                                                         FileErrorText(ERROR_ACCESS_DENIED)}));
    EXPECT_EQ(testing_support::WindowText(gHexEditorWindow), "data.bin - Hex Editor");
    EXPECT_TRUE(HexViewIsModified(Control()));
    CloseHandle(inUse);
    EXPECT_EQ(ReadFileBytes(locked), Bytes{1});
}

// Committing and saving are two things: what was saved but not committed is still asked
// about, and a save after a commit still writes.
TEST_F(HexEditorTest, SavingAndCommittingAreKeptApart) {
    TempDir dir;
    const std::string path = dir.File("data.bin");
    ASSERT_NE(Open(), nullptr);
    Type("5A");
    EXPECT_TRUE(SaveAs(path).empty());
    EXPECT_EQ(ReadFileBytes(path)[0], 0x5A);
    EXPECT_EQ(CloseAnswering(IDCANCEL), "Commit changes to the active bin?");
    ASSERT_NE(gHexEditorWindow, nullptr);

    Command(IDM_COMMIT_CHANGES);
    HexViewSetCaret(Control(), 1);  // the saved file came back with the view at its start
    Type("6B");
    Command(IDM_COMMIT_CHANGES);
    EXPECT_TRUE(SaveAs(path).empty());  // onto the document's own file
    Bytes saved = ReadFileBytes(path);
    ASSERT_EQ(saved.size(), kChipSize);
    EXPECT_EQ(saved[1], 0x6B);
    EXPECT_EQ(image_[1], 0x6B);
    EXPECT_EQ(CloseAnswering(IDCANCEL), "");  // the buffer has it all
    EXPECT_EQ(gHexEditorWindow, nullptr);

    // New asks too before it lets go of edits the buffer lacks.
    ASSERT_NE(Open(), nullptr);
    Type("77");
    BoxAnswerer no("Changes Detected", IDNO);
    Command(IDM_NEW);
    PumpMessages(20);
    EXPECT_EQ(no.Texts(), (std::vector<std::string>{"Commit changes to the active bin?"}));
    EXPECT_EQ(HexViewGetSize(Control()), 0u);
    EXPECT_EQ(image_[0], 0x5A);
}

// A full disk while "Save As" writes over another file: the file stays as it was, and no
// half-written copy is left beside it.
TEST_F(HexEditorTest, ASaveAsOverAnotherFileThatFailsLeavesItWhole) {
    TempDir dir;
    const std::string other = dir.File("other.bin");
    const Bytes old = CountingBytes(100, 0x80);
    WriteFileBytes(other, old);
    ASSERT_NE(Open(), nullptr);
    Type("11");
    {
        testing_support::DroppingShare disk(kChipSize + 1000);  // room for a third of the bytes
        EXPECT_EQ(SaveAs(other),
                  (std::vector<std::string>{"The buffer could not be saved to " + other + "."}));
    }
    EXPECT_EQ(ReadFileBytes(other), old);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir.path() + "*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    EXPECT_EQ(testing_support::WindowText(gHexEditorWindow), "Dialog");
    EXPECT_TRUE(SaveAs(other).empty());
    EXPECT_EQ(ReadFileBytes(other)[0], 0x11);
}

// A document whose bytes cannot be read (a file window that cannot be mapped) is not committed
// as zeros.
TEST_F(HexEditorTest, ACommitThatCannotReadTheDocumentChangesNothingAndSaysSo) {
    TempDir dir;
    const std::string path = dir.File("big.bin");
    WriteFileBytes(path, CountingBytes(0x300000, 0x40));
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(HexViewOpenFile(Control(), path.c_str(), TRUE, FALSE), 1);
    // Reading far into the file moves both windows away from its start.
    Bytes distant(16);
    ASSERT_NE(HexViewReadData(Control(), 0x180000, distant.data(), 16), nullptr);
    ASSERT_NE(HexViewReadData(Control(), 0x280000, distant.data(), 16), nullptr);
    const Bytes before = image_;
    testing_support::DroppingShare share(~std::uint64_t{0}, true);
    BoxAnswerer warning("Hex Editor");
    Command(IDM_COMMIT_CHANGES);
    PumpMessages(50);
    EXPECT_EQ(
        warning.Texts(),
        (std::vector<std::string>{"The edited data could not be read. Nothing was committed."}));
    EXPECT_EQ(image_, before);
}

TEST_F(HexEditorTest, ViewCommandsSetTheStyleAndTheirCheckMarks) {
    ASSERT_NE(Open(), nullptr);
    EXPECT_TRUE(MenuChecked(IDM_FORMAT_HEX));
    const struct {
        int id;
        DWORD format;
    } formats[] = {{IDM_FORMAT_DECIMAL, 0x20},
                   {IDM_FORMAT_OCTAL, 0x40},
                   {IDM_FORMAT_BINARY, 0x80},
                   {IDM_FORMAT_HEX, 0x00}};
    for (const auto& f : formats) {
        Command(f.id);
        EXPECT_EQ(HexViewGetStyle(Control()) & 0xE0, f.format) << f.id;
        for (int id : {IDM_FORMAT_HEX, IDM_FORMAT_DECIMAL, IDM_FORMAT_OCTAL, IDM_FORMAT_BINARY}) {
            EXPECT_EQ(MenuChecked(id), id == f.id) << f.id << " " << id;
        }
    }
    Command(IDM_DECIMAL_OFFSET);
    EXPECT_NE(HexViewGetStyle(Control()) & HVS_DECIMALOFFSET, 0u);
    EXPECT_TRUE(MenuChecked(IDM_DECIMAL_OFFSET));
    Command(IDM_DECIMAL_OFFSET);
    EXPECT_EQ(HexViewGetStyle(Control()) & HVS_DECIMALOFFSET, 0u);
    EXPECT_FALSE(MenuChecked(IDM_DECIMAL_OFFSET));
    Command(IDM_FIT_TO_WINDOW);
    EXPECT_NE(HexViewGetStyle(Control()) & HVS_FITTOWINDOW, 0u);
    EXPECT_TRUE(MenuChecked(IDM_FIT_TO_WINDOW));
}

TEST_F(HexEditorTest, EditCommandsAndTheirKeys) {
    ASSERT_NE(Open(), nullptr);
    Key(VK_INSERT);  // insert mode
    HexViewSetSelection(Control(), 4, 4);
    Command(IDM_CUT);
    EXPECT_EQ(HexViewGetSize(Control()), kChipSize - 4);
    Key(VK_HOME, false, true);
    Command(IDM_PASTE);
    Bytes document = Document();
    EXPECT_EQ(Bytes(document.begin(), document.begin() + 4), CountingBytes(4, 0x34));
    HexViewSetSelection(Control(), 0, 2);
    Command(IDM_CLEAR);
    EXPECT_EQ(HexViewGetSize(Control()), kChipSize - 2);

    // Ctrl+C through the dialog loop's message filter, as the owner's loop runs it.
    HexViewSetSelection(Control(), 0, 3);
    SetKeys(false, true);
    MSG key{Control(), WM_KEYDOWN, 'C', 1};
    EXPECT_TRUE(CallMsgFilterA(&key, MSGF_DIALOGBOX));
    SetKeys(false, false);
    HexViewSetCaret(Control(), 0);
    HexViewSetSelection(Control(), 0, 0);
    SetKeys(false, true);
    MSG paste{Control(), WM_KEYDOWN, 'V', 1};
    EXPECT_TRUE(HexEditorTranslateAccelerator(&paste));
    SetKeys(false, false);
    document = Document();
    EXPECT_EQ(Bytes(document.begin(), document.begin() + 6),
              (Bytes{0x36, 0x37, 0x30, 0x36, 0x37, 0x30}));
    MSG plain{Control(), WM_KEYDOWN, 'C', 1};
    EXPECT_FALSE(HexEditorTranslateAccelerator(&plain));

    // Failing commands say so in the control's words.
    HexViewSetSelection(Control(), 0, 0);
    BoxAnswerer boxes;
    Command(IDM_COPY);
    Key(VK_INSERT);
    HexViewSetSelection(Control(), 0, 2);
    Command(IDM_CUT);
    PumpMessages(50);
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{"Failed to copy the selected data to the clipboard",
                                        "Failed to cut the selected data to the clipboard"}));
}

BOOL CALLBACK MatchMenu(HWND window, LPARAM parameter) {
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (lstrcmpA(cls, "#32768") != 0 || !IsWindowVisible(window) ||
        process != GetCurrentProcessId()) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(parameter) = window;
    return FALSE;
}

// A popup menu of this process, once it shows.
HWND WaitForMenu() {
    HWND found = nullptr;
    for (int i = 0; i < 200 && found == nullptr; ++i) {
        EnumWindows(&MatchMenu, reinterpret_cast<LPARAM>(&found));
        Sleep(20);
    }
    return found;
}

TEST_F(HexEditorTest, TheContextMenuRunsItsCommandAndOpensAtTheCaretFromTheKeyboard) {
    ASSERT_NE(Open(), nullptr);
    SetWindowPos(gHexEditorWindow, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Key(VK_INSERT);
    HexViewSetSelection(Control(), 0, 4);
    POINT caret{};
    GetCaretPos(&caret);
    ClientToScreen(Control(), &caret);
    RECT menu{};
    std::thread chooser([&] {
        HWND popup = WaitForMenu();
        if (popup == nullptr) return;
        GetWindowRect(popup, &menu);
        PostMessageA(gHexEditorWindow, WM_CHAR, 'u', 0);  // "C&ut"
    });
    // The menu key gives no pointer position.
    SendMessageA(gHexEditorWindow, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Control()), -1);
    chooser.join();
    PumpMessages(50);
    EXPECT_EQ(HexViewGetSize(Control()), kChipSize - 4);
    EXPECT_EQ(menu.left, caret.x);
    EXPECT_EQ(menu.top, caret.y);
    // Another window's menu request is not the editor's to answer.
    SendMessageA(gHexEditorWindow, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Status()), -1);
}

TEST_F(HexEditorTest, DragNotificationsShowInTheStatusBar) {
    ASSERT_NE(Open(), nullptr);
    HexViewSetSelection(Control(), 0x10, 0x10);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(*HexViewFromWindow(Control()));
    IDropTarget* target = HexViewFromWindow(Control())->dropTarget.get();
    ASSERT_NE(target, nullptr);
    // The middle of byte 0x45's cell.
    const HexViewInstance& m = *HexViewFromWindow(Control());
    POINT cell{(static_cast<LONG>(m.dataColumn + 5 * m.cellWidth) - static_cast<LONG>(m.leftCol)) *
                       m.charWidth +
                   m.charWidth / 2,
               4 * m.lineHeight + m.lineHeight / 2};
    ClientToScreen(Control(), &cell);
    POINTL at{cell.x, cell.y};
    DWORD effect = DROPEFFECT_COPY;
    ASSERT_EQ(target->DragEnter(data.get(), MK_LBUTTON, at, &effect), S_OK);
    EXPECT_EQ(Part(3), "16 bytes *");
    EXPECT_EQ(Part(1), "Cursor: 00000020");
    target->DragOver(MK_LBUTTON, at, &effect);
    EXPECT_EQ(Part(1), "Cursor: 00000045");
    EXPECT_EQ(Part(2), "");
    target->DragLeave();
}

TEST_F(HexEditorTest, WithoutMemoryForTheCopyTheEditorSaysSoAndNothingChanges) {
    SetCommitGate(&Refuse);
    BoxAnswerer boxes("Hex Editor");
    EXPECT_EQ(Open(), nullptr);
    PumpMessages(50);
    EXPECT_EQ(
        boxes.Texts(),
        (std::vector<std::string>{"There is not enough memory to open the buffer in the editor."}));
    EXPECT_EQ(gHexEditorWindow, nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner_));
    SetCommitGate(nullptr);
    EXPECT_EQ(image_, CountingBytes(0x80000, 0x30));
    ASSERT_NE(Open(), nullptr);  // and it opens once there is memory
}

// What the user types in the tool dialogs is checked there: an unusable entry is refused with a
// word on why, and the dialog stays with the entry as typed. A fill with no room for its bytes
// changes nothing and says so.
TEST_F(HexEditorTest, TheToolDialogsRefuseWhatTheyCannotUseAndKeepIt) {
    ASSERT_NE(Open(), nullptr);
    SetWindowPos(gHexEditorWindow, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    std::string refused;
    std::string kept;
    WithDialog(IDM_GOTO, "Go To", IDC_GOTO_OFFSET, [&](HWND dialog) {
        Submit(dialog, IDC_GOTO_OFFSET, "12345678");
        refused = Refusal("Go To");
        kept = testing_support::DialogItemText(dialog, IDC_GOTO_OFFSET);
        testing_support::SaveScreenshot("hex-goto", dialog);
        Submit(dialog, IDC_GOTO_OFFSET, "+#16");
        WaitGone(dialog);
    });
    EXPECT_EQ(refused, "The offset is past the end of the data.");
    EXPECT_EQ(kept, "12345678");
    EXPECT_EQ(Part(1), "Cursor: 00000010");

    WithDialog(IDM_FIND, "Find", IDC_FIND_TEXT, [&](HWND dialog) {
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_FIND_IGNORECASE)));  // hex
        SetDlgItemTextA(dialog, IDC_FIND_TEXT, "4B 61 ?? 7A");
        testing_support::SaveScreenshot("hex-find", dialog);
        Submit(dialog, IDC_FIND_TEXT, "4B 61 7?");
        refused = Refusal("Find");
        testing_support::PressButton(dialog, IDCANCEL);
        WaitGone(dialog);
    });
    EXPECT_EQ(refused, "A wildcard is written ?? and stands for a whole byte.");

    HexViewSetSelection(Control(), 0x10, 0x10);
    WithDialog(IDM_FILL, "Fill Selection", IDC_FILL_PATTERN, [&](HWND dialog) {
        kept = testing_support::DialogItemText(dialog, IDC_FILL_PATTERN);
        Submit(dialog, IDC_FILL_PATTERN, "DE ??");
        refused = Refusal("Fill Selection");
        testing_support::SaveScreenshot("hex-fill", dialog);
        Submit(dialog, IDC_FILL_PATTERN, "DE AD BE");
        WaitGone(dialog);
    });
    EXPECT_EQ(kept, "FF");
    EXPECT_EQ(refused, "A fill pattern cannot contain ??.");
    Bytes document = Document();
    EXPECT_EQ(Bytes(document.begin() + 0x0F, document.begin() + 0x22),
              (Bytes{0x3F, 0xDE, 0xAD, 0xBE, 0xDE, 0xAD, 0xBE, 0xDE, 0xAD, 0xBE, 0xDE, 0xAD, 0xBE,
                     0xDE, 0xAD, 0xBE, 0xDE, 0x50, 0x51}));

    // All of it again, with no memory for the bytes: refused whole.
    SetCommitGate(&Refuse);
    BoxAnswerer memory;
    Command(IDM_SELECT_ALL);
    WithDialog(IDM_FILL, "Fill Selection", IDC_FILL_PATTERN, [&](HWND dialog) {
        Submit(dialog, IDC_FILL_PATTERN, "00");
        WaitGone(dialog);
    });
    PumpMessages(50);
    SetCommitGate(nullptr);
    EXPECT_EQ(memory.Texts(),
              (std::vector<std::string>{"Not enough memory to complete this operation"}));
    EXPECT_EQ(Document(), document);

    std::string sums;
    WithDialog(IDM_CHECKSUM, "Checksum", IDC_CHECKSUM_TEXT, [&](HWND dialog) {
        kept = testing_support::DialogItemText(dialog, IDC_CHECKSUM_RANGE);
        sums = testing_support::DialogItemText(dialog, IDC_CHECKSUM_TEXT);
        testing_support::SaveScreenshot("hex-checksum", dialog);
        testing_support::PressButton(dialog, IDCANCEL);
        WaitGone(dialog);
    });
    EXPECT_EQ(kept, "Whole document, 32768 bytes:");
    EXPECT_EQ(sums.substr(0, 18), "Byte sum (8 bit): ");  // the values: hex_checksum_test
}

// While a search or checksum run goes on, no path edits the document: keys, the clipboard, a
// drop, menu commands (greyed as well) and the host's functions are all refused. Escape stops
// the run, and only when none runs closes the editor.
TEST_F(HexEditorTest, WhileARunGoesOnNothingEditsAndEscapeStopsIt) {
    TempDir dir;
    ASSERT_NE(Open(), nullptr);
    Key(VK_INSERT);  // insert mode: Delete and Backspace would delete
    Type("11");
    HexViewSetSelection(Control(), 4, 4);
    ASSERT_EQ(HexViewCopy(Control()), 1);
    const Bytes before = Document();
    EXPECT_FALSE(Greyed(IDM_UNDO));

    Command(IDM_CHECKSUM);  // it runs once messages flow: none do until the end
    ASSERT_EQ(HexViewIsScanning(Control()), 1);
    EXPECT_EQ(Part(0), "Checksum... 0% (Esc stops)");
    Type("22");
    Key(VK_DELETE);
    Key(VK_BACK);
    Key('Z', false, true);
    Key(VK_INSERT, true);  // Shift+Insert pastes
    SendMessageA(Control(), WM_PASTE, 0, 0);
    for (int id : {IDM_PASTE, IDM_CLEAR, IDM_CUT, IDM_UNDO}) Command(id);
    const BYTE zero = 0;
    EXPECT_EQ(HexViewFill(Control(), &zero, 1), 0);
    EXPECT_EQ(HexViewGetLastError(Control()), 25u);
    EXPECT_EQ(HexViewClear(Control()), 0);
    EXPECT_EQ(HexViewUndo(Control()), 0);
    EXPECT_EQ(HexViewSaveFile(Control(), dir.File("saved.bin").c_str()), 0);
    EXPECT_EQ(HexViewGetLastError(Control()), 25u);
    EXPECT_EQ(HexViewFind(Control(), "11", 0), 0);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(*HexViewFromWindow(Control()));
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(HexViewFromWindow(Control())->dropTarget->DragEnter(data.get(), MK_LBUTTON,
                                                                  POINTL{0, 0}, &effect),
              E_UNEXPECTED);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    for (int id : {IDM_UNDO, IDM_CUT, IDM_PASTE, IDM_CLEAR, IDM_FILL, IDM_FIND, IDM_FIND_NEXT,
                   IDM_CHECKSUM, IDM_OPEN, IDM_NEW, IDM_SAVE_AS, IDM_GOTO}) {
        EXPECT_TRUE(Greyed(id)) << id;
    }
    for (int id : {IDM_COPY, IDM_COPY_HEX, IDM_SELECT_ALL, IDM_COMMIT_CHANGES}) {
        EXPECT_FALSE(Greyed(id)) << id;
    }
    EXPECT_EQ(Document(), before);
    EXPECT_EQ(HexViewIsScanning(Control()), 1);

    MSG escape{Control(), WM_KEYDOWN, VK_ESCAPE, 1};
    EXPECT_TRUE(HexEditorTranslateAccelerator(&escape));
    EXPECT_EQ(HexViewIsScanning(Control()), 0);
    EXPECT_EQ(Part(0), "Checksum stopped");
    EXPECT_NE(gHexEditorWindow, nullptr);
    PumpMessages(50);  // the stopped run's slice comes to nothing
    EXPECT_FALSE(Greyed(IDM_PASTE));
    Type("33");
    EXPECT_EQ(Document()[4], 0x33);

    BoxAnswerer prompt("Changes Detected", IDCANCEL);
    EXPECT_TRUE(HexEditorTranslateAccelerator(&escape));
    PumpMessages(20);
    EXPECT_EQ(prompt.Texts(), (std::vector<std::string>{"Commit changes to the active bin?"}));
}

// Menu items are greyed by what can be done: Fill and Copy as Hex need a selection, Undo and
// Redo something to undo or redo, edits an editable document.
TEST_F(HexEditorTest, MenusGreyWhatCannotBeDoneNow) {
    TempDir dir;
    ASSERT_NE(Open(), nullptr);
    for (int id : {IDM_UNDO, IDM_REDO, IDM_FILL, IDM_COPY_HEX}) EXPECT_TRUE(Greyed(id)) << id;
    for (int id : {IDM_PASTE, IDM_FIND, IDM_GOTO, IDM_CHECKSUM}) EXPECT_FALSE(Greyed(id)) << id;
    Type("11");
    HexViewSetSelection(Control(), 0, 2);
    for (int id : {IDM_UNDO, IDM_FILL, IDM_COPY_HEX}) EXPECT_FALSE(Greyed(id)) << id;
    EXPECT_TRUE(Greyed(IDM_REDO));
    Command(IDM_UNDO);
    EXPECT_EQ(Document()[0], 0x30);
    EXPECT_FALSE(Greyed(IDM_REDO));
    Command(IDM_REDO);
    EXPECT_EQ(Document()[0], 0x11);

    const std::string path = dir.File("read-only.bin");
    WriteFileBytes(path, CountingBytes(64));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(HexViewOpenFile(Control(), path.c_str(), TRUE, FALSE), 1);
    HexViewSetSelection(Control(), 0, 2);
    for (int id : {IDM_CUT, IDM_PASTE, IDM_CLEAR, IDM_FILL, IDM_UNDO})
        EXPECT_TRUE(Greyed(id)) << id;
    for (int id : {IDM_COPY, IDM_COPY_HEX, IDM_FIND}) EXPECT_FALSE(Greyed(id)) << id;
    HexViewNew(Control());  // lets go of the file
}

// Go To and Find bring the row of their target into view whole, also when the view is an exact
// number of rows high and the target lies on the row just below the last.
TEST_F(HexEditorTest, GoToAndFindShowTheRowOfTheirTargetWhole) {
    ASSERT_NE(Open(), nullptr);
    const HexViewInstance& inst = *HexViewFromWindow(Control());
    RECT client;
    RECT frame;
    GetClientRect(Control(), &client);
    GetWindowRect(gHexEditorWindow, &frame);
    SetWindowPos(gHexEditorWindow, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + 10 * inst.lineHeight - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(Control(), &client);
    ASSERT_EQ(client.bottom, 10 * inst.lineHeight);
    auto shown = [&](std::uint32_t offset) {
        return inst.topRow <= offset / 16 && offset / 16 < inst.topRow + inst.pageRows;
    };
    auto goTo = [&](const char* offset) {
        WithDialog(IDM_GOTO, "Go To", IDC_GOTO_OFFSET, [&](HWND dialog) {
            Submit(dialog, IDC_GOTO_OFFSET, offset);
            WaitGone(dialog);
        });
    };
    goTo("A0");
    EXPECT_EQ(HexViewGetCaret(Control()), 0xA0u);
    EXPECT_TRUE(shown(0xA0)) << inst.topRow;
    goTo("0");
    ASSERT_EQ(inst.topRow, 0u);
    // The counting bytes first hold D0 D1 D2 D3 at A0.
    WithDialog(IDM_FIND, "Find", IDC_FIND_TEXT, [&](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, IDC_FIND_HEX), BM_CLICK, 0, 0);
        SendMessageA(GetDlgItem(dialog, IDC_FIND_FORWARD), BM_CLICK, 0, 0);
        Submit(dialog, IDC_FIND_TEXT, "D0 D1 D2 D3");
        WaitGone(dialog);
    });
    for (int i = 0; i < 100 && HexViewIsScanning(Control()); ++i) PumpMessages(20);
    EXPECT_EQ(Part(1), "Selection: 000000A4 - 000000A0");
    EXPECT_TRUE(shown(0xA0) && shown(0xA3)) << inst.topRow;
}

// Go To waits for a run (its offsets may be relative to a caret the run moves), and a run that
// ends while another dialog of the editor is open shows its result only once that one is gone.
TEST_F(HexEditorTest, ARunsResultWaitsForTheDialogOnTopAndGoToForTheRun) {
    ASSERT_NE(Open(), nullptr);
    Command(IDM_CHECKSUM);
    EXPECT_TRUE(Greyed(IDM_GOTO));
    std::atomic<bool> done{false};
    std::atomic<bool> resultOnTop{false};
    std::atomic<bool> resultAfter{false};
    std::thread helper([&] {
        const DWORD self = GetCurrentProcessId();
        testing_support::MessageBoxSeen box =
            testing_support::WaitForMessageBox(self, "HexView32", 5000);
        // The run ends meanwhile, in the box's message loop.
        for (int i = 0; i < 200 && HexViewIsScanning(Control()); ++i) Sleep(10);
        resultOnTop = testing_support::WaitForDialog(self, "Checksum", IDC_CHECKSUM_TEXT, 300);
        if (box.box != nullptr) testing_support::PressButton(box.box, IDOK);
        HWND result = testing_support::WaitForDialog(self, "Checksum", IDC_CHECKSUM_TEXT, 5000);
        resultAfter = result != nullptr;
        if (result != nullptr) testing_support::PressButton(result, IDCANCEL);
        done = true;
    });
    Command(IDM_COPY);  // nothing is selected: a warning, over the running checksum
    while (!done) PumpMessages(10);
    helper.join();
    EXPECT_FALSE(resultOnTop);
    EXPECT_TRUE(resultAfter);
}

// A save that wrote its file but could not open it again says that the data is saved, and why
// it is not shown; the editor goes on with the document it had.
std::string gTakenPath;
HANDLE gTaken = INVALID_HANDLE_VALUE;
bool gReplaced = false;
bool TakenOnceInPlace(FileOp op, std::uint64_t) {
    if (op == FileOp::kReplace) gReplaced = true;
    if (op == FileOp::kOpen && gReplaced && gTaken == INVALID_HANDLE_VALUE) {
        gTaken =
            CreateFileA(gTakenPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    return true;
}

TEST_F(HexEditorTest, ASavedFileThatCannotBeOpenedAgainIsReportedAsSaved) {
    TempDir dir;
    gTakenPath = dir.File("taken.bin");
    ASSERT_NE(Open(), nullptr);
    Type("5A");
    const Bytes edited = Document();
    SetFileGate(&TakenOnceInPlace);
    const std::vector<std::string> warnings = SaveAs(gTakenPath);
    SetFileGate(nullptr);
    ASSERT_NE(gTaken, INVALID_HANDLE_VALUE);
    CloseHandle(gTaken);
    EXPECT_EQ(warnings, std::vector<std::string>{"The data is saved to " + gTakenPath +
                                                 ", but the editor could not open it again: "
                                                 "another program is using it."});
    EXPECT_EQ(ReadFileBytes(gTakenPath), edited);
    EXPECT_EQ(Document(), edited);
    EXPECT_EQ(Caption(), "Dialog");
}

// An Open that fails after the old document had to go leaves the window naming no file.
TEST_F(HexEditorTest, AnOpenThatLostTheDocumentLeavesTheCaptionWithoutAFile) {
    TempDir dir;
    const std::string first = dir.File("first.bin");
    const std::string second = dir.File("second.bin");
    WriteFileBytes(first, CountingBytes(0x10000));
    WriteFileBytes(second, CountingBytes(0x10000));
    ASSERT_NE(Open(), nullptr);
    OpenFile(first);
    EXPECT_EQ(Caption(), "first.bin - Hex Editor");
    BoxAnswerer no("Changes Detected", IDNO);
    BoxAnswerer warning("Hex Editor");
    {
        testing_support::DroppingShare share(~std::uint64_t{0}, true);  // no window maps
        OpenFile(second);
    }
    EXPECT_EQ(warning.Texts(),
              std::vector<std::string>{"The file " + second + " could not be opened."});
    EXPECT_EQ(HexViewGetSize(Control()), 0u);
    EXPECT_EQ(Caption(), "Hex Editor");
}

}  // namespace
