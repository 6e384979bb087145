// HexView32 drag and drop: the drop target's methods called with real data objects (the
// control's own, and OLE's over the classic clipboard as another program's data arrives), and
// real DoDragDrop runs steered by a timer that moves the pointer and lets the button go.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hexview/hexview_transfer_win.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/hexview_host.h"

namespace {

using testing_support::BoxAnswerer;
using testing_support::CountingBytes;
using testing_support::HexViewHost;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using Bytes = std::vector<unsigned char>;

constexpr DWORD kBoth = DROPEFFECT_COPY | DROPEFFECT_MOVE;

POINTL Screen(const HexViewHost& host, POINT client) {
    ClientToScreen(host.control(), &client);
    return POINTL{client.x, client.y};
}

void ExpectSelection(HWND control, DWORD anchor, DWORD end) {
    DWORD a = 0;
    DWORD e = 0;
    HexViewGetSelection(control, &a, &e);
    EXPECT_EQ(a, anchor);
    EXPECT_EQ(e, end);
}

bool Has(const std::vector<int>& codes, int code) {
    for (int c : codes) {
        if (c == code) return true;
    }
    return false;
}

// Another program's data: blocks put on the classic clipboard, seen through OLE's data object.
UniqueCom<IDataObject> ForeignData(UINT format, const Bytes& bytes) {
    UniqueCom<IDataObject> data;
    OleSetClipboard(nullptr);
    if (!OpenClipboard(nullptr)) return data;
    EmptyClipboard();
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
    std::memcpy(GlobalLockScope(block.get()).data(), bytes.data(), bytes.size());
    if (SetClipboardData(format, block.get()) != nullptr) block.release();  // the clipboard's
    CloseClipboard();
    OleGetClipboard(data.put());
    return data;
}

UniqueCom<IDataObject> ForeignFile(const std::string& path) {
    Bytes name(path.begin(), path.end());
    name.push_back(0);
    return ForeignData(gHexFormats.fileName, name);
}

class DragDropTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::RegisterHexViewForTests();
        baseline_ = HexViewLiveComObjects();
        host_.SetBytes(CountingBytes(0x80));
        HexViewSetInsertMode(host_.control(), 1);
        target_ = host_.inst().dropTarget.get();
        ASSERT_NE(target_, nullptr);
    }
    void TearDown() override {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
    }

    // The control's own drag of bytes from..from+length, as HexViewStartDrag starts it.
    UniqueCom<IDataObject> DragOwnSelection(std::uint32_t from, std::uint32_t length) {
        HexViewSetSelection(host_.control(), from, length);
        UniqueCom<IDataObject> data = HexViewCreateDataObject(host_.inst());
        host_.inst().outgoingDrag = data.get();
        return data;
    }
    void EndOwnDrag(UniqueCom<IDataObject>& data) {
        host_.inst().outgoingDrag = nullptr;
        data.reset();
    }

    // Enters, hovers at offset's cell and drops there with the keys; returns Drop's result.
    HRESULT DropAt(IDataObject* data, std::uint32_t offset, DWORD keys, DWORD* effect,
                   DWORD allowed = kBoth) {
        POINTL at = Screen(host_, host_.NumberCell(offset));
        *effect = allowed;
        HRESULT hr = target_->DragEnter(data, keys | MK_LBUTTON, at, effect);
        if (FAILED(hr)) return hr;
        *effect = allowed;
        target_->DragOver(keys | MK_LBUTTON, at, effect);
        *effect = allowed;
        return target_->Drop(data, keys, at, effect);
    }

    HexViewHost host_;
    IDropTarget* target_ = nullptr;  // borrowed from the control
    long baseline_ = 0;
};

Bytes Moved(Bytes bytes, std::size_t from, std::size_t length, std::size_t to) {
    Bytes part(bytes.begin() + from, bytes.begin() + from + length);
    bytes.erase(bytes.begin() + from, bytes.begin() + from + length);
    bytes.insert(bytes.begin() + to, part.begin(), part.end());
    return bytes;
}

TEST_F(DragDropTest, MovingBytesInsideTheControlIsOneUndoStep) {
    const Bytes before = host_.Bytes();
    UniqueCom<IDataObject> data = DragOwnSelection(0x10, 0x10);
    host_.ClearNotifications();
    DWORD effect = 0;
    ASSERT_EQ(DropAt(data.get(), 0x40, 0, &effect), S_OK);
    EndOwnDrag(data);
    // Moved here: the source is told nothing was moved, so it deletes nothing more.
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(host_.Bytes(), Moved(before, 0x10, 0x10, 0x30));
    ExpectSelection(host_.control(), 0x30u, 0x40u);
    EXPECT_EQ(HexViewGetCaret(host_.control()), 0x40u);
    EXPECT_TRUE(Has(host_.codes, HVN_DRAGENTER));
    EXPECT_TRUE(Has(host_.codes, HVN_DROPMOVED));
    EXPECT_EQ(host_.codes.back(), HVN_SELCHANGED);
    EXPECT_EQ(host_.inst().dropActive, 0u);

    ASSERT_EQ(HexViewUndo(host_.control()), 1);
    EXPECT_EQ(host_.Bytes(), before);
    ASSERT_EQ(HexViewRedo(host_.control()), 1);
    EXPECT_EQ(host_.Bytes(), Moved(before, 0x10, 0x10, 0x30));
    EXPECT_EQ(HexViewLiveComObjects(), baseline_);
}

TEST_F(DragDropTest, TheControlKeyCopies) {
    const Bytes before = host_.Bytes();
    UniqueCom<IDataObject> data = DragOwnSelection(0x10, 0x10);
    DWORD effect = 0;
    ASSERT_EQ(DropAt(data.get(), 0x40, MK_CONTROL, &effect), S_OK);
    EndOwnDrag(data);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    Bytes expected = before;
    expected.insert(expected.begin() + 0x40, before.begin() + 0x10, before.begin() + 0x20);
    EXPECT_EQ(host_.Bytes(), expected);
    ExpectSelection(host_.control(), 0x40u, 0x50u);
}

TEST_F(DragDropTest, ADropOntoTheSelectionItselfChangesNothing) {
    const Bytes before = host_.Bytes();
    UniqueCom<IDataObject> data = DragOwnSelection(0x10, 0x10);
    DWORD effect = 0;
    EXPECT_EQ(DropAt(data.get(), 0x15, 0, &effect), E_FAIL);
    EndOwnDrag(data);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(host_.Bytes(), before);
    EXPECT_FALSE(HexViewIsModified(host_.control()));
    EXPECT_EQ(host_.inst().dropActive, 0u);  // the hover is over all the same
}

TEST_F(DragDropTest, InOverwriteModeDroppedBytesOverwriteAndExtend) {
    HexViewSetInsertMode(host_.control(), 0);
    HexViewHost source;
    source.SetBytes(CountingBytes(16, 0xA0));
    HexViewSetSelection(source.control(), 0, 16);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(source.inst());
    DWORD effect = 0;
    ASSERT_EQ(DropAt(data.get(), 0x7C, 0, &effect, DROPEFFECT_COPY), S_OK);
    data.reset();
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    Bytes expected = CountingBytes(0x7C);
    Bytes dropped = CountingBytes(16, 0xA0);
    expected.insert(expected.end(), dropped.begin(), dropped.end());
    EXPECT_EQ(host_.Bytes(), expected);
}

// A move from another control takes the bytes from there; the selection here is not touched.
TEST_F(DragDropTest, AMoveFromElsewhereLeavesThisSelectionAlone) {
    const Bytes before = host_.Bytes();
    HexViewSetSelection(host_.control(), 0x50, 0x08);
    HexViewHost source;
    source.SetBytes(CountingBytes(4, 0xE0));
    HexViewSetSelection(source.control(), 0, 4);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(source.inst());
    POINTL at = Screen(host_, host_.NumberCell(0x20));
    DWORD effect = kBoth;
    ASSERT_EQ(target_->DragEnter(data.get(), MK_LBUTTON, at, &effect), S_OK);
    target_->DragOver(MK_LBUTTON, at, &effect);
    effect = kBoth;
    ASSERT_EQ(target_->Drop(data.get(), 0, at, &effect), S_OK);
    data.reset();
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));  // the source deletes its bytes
    Bytes expected = before;
    expected.insert(expected.begin() + 0x20, {0xE0, 0xE1, 0xE2, 0xE3});
    EXPECT_EQ(host_.Bytes(), expected);
}

TEST_F(DragDropTest, TextFromAnotherProgramStopsAtItsFirstZero) {
    UniqueCom<IDataObject> data = ForeignData(CF_TEXT, {'a', 'b', 0, 'c', 0});
    ASSERT_NE(data.get(), nullptr);
    host_.ClearNotifications();
    DWORD effect = 0;
    ASSERT_EQ(DropAt(data.get(), 2, 0, &effect), S_OK);
    data.reset();
    Bytes expected = CountingBytes(0x80);
    expected.insert(expected.begin() + 2, {'a', 'b'});
    EXPECT_EQ(host_.Bytes(), expected);
    // The parent heard of an incoming drag of unknown size.
    for (std::size_t i = 0; i < host_.codes.size(); ++i) {
        if (host_.codes[i] == HVN_DRAGENTER) {
            EXPECT_EQ(host_.records[i].selLength, 0u);
        }
    }
}

TEST_F(DragDropTest, ADroppedFileIsInsertedMappedAndOnlyCopied) {
    TempDir dir;
    std::string path = dir.File("dropped.bin");
    WriteFileBytes(path, CountingBytes(12, 0xC0));
    UniqueCom<IDataObject> data = ForeignFile(path);
    ASSERT_NE(data.get(), nullptr);
    const std::uint32_t sources = host_.inst().document.sourceCount;
    DWORD effect = 0;
    ASSERT_EQ(DropAt(data.get(), 0x08, 0, &effect), S_OK);
    data.reset();
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));  // never move: the file stays
    Bytes expected = CountingBytes(0x80);
    Bytes file = CountingBytes(12, 0xC0);
    expected.insert(expected.begin() + 8, file.begin(), file.end());
    EXPECT_EQ(host_.Bytes(), expected);
    ExpectSelection(host_.control(), 8u, 20u);
    // Mapped: the file became a source of the document and is held open for reading only.
    EXPECT_EQ(host_.inst().document.sourceCount, sources + 1);
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    HexViewNew(host_.control());
}

TEST_F(DragDropTest, WithoutMappingADroppedFileIsReadAndLetGo) {
    HexViewSetStyle(host_.control(), HVS_DROPMAPPED, 0);
    TempDir dir;
    std::string path = dir.File("read.bin");
    WriteFileBytes(path, {1, 2, 3});
    UniqueCom<IDataObject> data = ForeignFile(path);
    const std::uint32_t sources = host_.inst().document.sourceCount;
    DWORD effect = 0;
    ASSERT_EQ(DropAt(data.get(), 0x80, 0, &effect), S_OK);
    data.reset();
    EXPECT_EQ(HexViewGetSize(host_.control()), 0x83u);
    EXPECT_EQ(host_.inst().document.sourceCount, sources);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(DragDropTest, DataWithoutTextOrFileEndsTheHoverAndChangesNothing) {
    UniqueCom<IDataObject> data =
        ForeignData(RegisterClipboardFormatA("Vorland test format"), {1, 2});
    ASSERT_NE(data.get(), nullptr);
    DWORD effect = 0;
    EXPECT_EQ(DropAt(data.get(), 0x08, 0, &effect), E_FAIL);
    data.reset();
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(host_.inst().dropActive, 0u);
    EXPECT_EQ(host_.Bytes(), CountingBytes(0x80));
}

TEST_F(DragDropTest, AFileThatVanishedIsReportedAndNothingChanges) {
    TempDir dir;
    UniqueCom<IDataObject> data = ForeignFile(dir.File("gone.bin"));
    BoxAnswerer boxes;
    DWORD effect = 0;
    ASSERT_EQ(DropAt(data.get(), 0x08, 0, &effect), S_OK);
    data.reset();
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Failed to insert the dropped file"}));
    EXPECT_EQ(host_.Bytes(), CountingBytes(0x80));
}

TEST_F(DragDropTest, AReadOnlyDocumentRefusesDrags) {
    TempDir dir;
    std::string path = dir.File("locked.bin");
    WriteFileBytes(path, CountingBytes(8));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(HexViewOpenFile(host_.control(), path.c_str(), TRUE, FALSE), 1);
    HexViewHost source;
    source.SetBytes(CountingBytes(4));
    HexViewSetSelection(source.control(), 0, 4);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(source.inst());
    DWORD effect = kBoth;
    EXPECT_EQ(target_->DragEnter(data.get(), MK_LBUTTON, Screen(host_, {5, 5}), &effect),
              E_UNEXPECTED);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    data.reset();
    HexViewNew(host_.control());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(DragDropTest, HoveringShowsWhereTheBytesWouldGoAndLeavingEndsIt) {
    HexViewHost source;
    source.SetBytes(CountingBytes(16));
    HexViewSetSelection(source.control(), 0, 16);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(source.inst());
    HexViewSetSelection(host_.control(), 0x60, 4);
    host_.ClearNotifications();
    DWORD effect = kBoth;
    ASSERT_EQ(
        target_->DragEnter(data.get(), MK_LBUTTON, Screen(host_, host_.NumberCell(0x33)), &effect),
        S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    // The parent heard the count as a selection from 0; the real selection is back.
    ASSERT_EQ(host_.codes.front(), HVN_DRAGENTER);
    EXPECT_EQ(host_.records.front().selAnchor, 0u);
    EXPECT_EQ(host_.records.front().selEnd, 16u);
    EXPECT_EQ(host_.records.front().selLength, 16u);
    ExpectSelection(host_.control(), 0x60u, 0x64u);
    EXPECT_EQ(host_.inst().dropActive, 1u);
    EXPECT_EQ(host_.records.back().dropActive, 1u);

    effect = kBoth;
    target_->DragOver(MK_LBUTTON | MK_CONTROL, Screen(host_, host_.NumberCell(0x33)), &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(HexViewGetCaret(host_.control()), 0x33u);
    EXPECT_EQ(host_.records.back().caretPos, 0x33u);
    // Past the last row the caret goes to the end.
    target_->DragOver(MK_LBUTTON, Screen(host_, {host_.NumberCell(0).x, 250}), &effect);
    EXPECT_EQ(HexViewGetCaret(host_.control()), 0x80u);

    ASSERT_EQ(target_->DragLeave(), S_OK);
    EXPECT_EQ(host_.inst().dropActive, 0u);
    EXPECT_EQ(host_.records.back().dropActive, 0u);
    EXPECT_TRUE(host_.inst().caretOwned);  // the control kept the focus: its caret is back
    EXPECT_EQ(host_.Bytes(), CountingBytes(0x80));
    data.reset();
    EXPECT_EQ(HexViewLiveComObjects(), baseline_ + 1);  // the source host's drop target
}

TEST_F(DragDropTest, HoveringNearTheTopOrBottomScrolls) {
    host_.SetBytes(CountingBytes(0x1000));
    SendMessageA(host_.control(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0);
    for (int i = 0; i < 10; ++i) SendMessageA(host_.control(), WM_VSCROLL, SB_LINEDOWN, 0);
    ASSERT_EQ(host_.inst().topRow, 10u);
    HexViewHost source;
    source.SetBytes(CountingBytes(4));
    HexViewSetSelection(source.control(), 0, 4);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(source.inst());
    DWORD effect = kBoth;
    const LONG x = host_.NumberCell(3).x;
    ASSERT_EQ(target_->DragEnter(data.get(), MK_LBUTTON, Screen(host_, {x, 100}), &effect), S_OK);
    target_->DragOver(MK_LBUTTON, Screen(host_, {x, 5}), &effect);
    EXPECT_EQ(host_.inst().topRow, 9u);
    target_->DragOver(MK_LBUTTON, Screen(host_, {x, 5}), &effect);
    EXPECT_EQ(host_.inst().topRow, 8u);
    target_->DragOver(MK_LBUTTON, Screen(host_, {x, host_.inst().clientHeight - 5}), &effect);
    EXPECT_EQ(host_.inst().topRow, 9u);
    target_->DragOver(MK_LBUTTON, Screen(host_, {x, 100}), &effect);
    EXPECT_EQ(host_.inst().topRow, 9u);
    target_->DragLeave();
    data.reset();
}

void PressKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

TEST_F(DragDropTest, TheInsertKeySwitchesTheModeWhileSomethingHovers) {
    HexViewHost source;
    source.SetBytes(CountingBytes(4));
    HexViewSetSelection(source.control(), 0, 4);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(source.inst());
    DWORD effect = kBoth;
    // Entering brings the control's window forward with the focus, so the keys come here.
    ASSERT_EQ(target_->DragEnter(data.get(), MK_LBUTTON, Screen(host_, {40, 40}), &effect), S_OK);
    EXPECT_EQ(GetFocus(), host_.control());
    host_.ClearNotifications();
    PressKey(VK_INSERT);
    host_.Pump(100);
    // Once: the key went to the hook and no further (the control would toggle it back).
    EXPECT_EQ(HexViewGetInsertMode(host_.control()), 0);
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_MODECHANGED}));
    PressKey(VK_INSERT);
    host_.Pump(100);
    EXPECT_EQ(HexViewGetInsertMode(host_.control()), 1);

    target_->DragLeave();
    host_.ClearNotifications();
    PressKey(VK_INSERT);  // without a hover the key reaches the control as usual
    host_.Pump(100);
    EXPECT_EQ(HexViewGetInsertMode(host_.control()), 0);
    EXPECT_TRUE(Has(host_.codes, HVN_MODECHANGED));
    data.reset();
}

// Real drags: DoDragDrop runs inside the control's WM_MOUSEMOVE; a timer moves the pointer to
// the drop position and lets the button go once the target shows the caret there, as a user
// would.
struct DragScript {
    POINT dropAt{};
    HWND target = nullptr;
    std::uint32_t offset = 0;
    int ticks = 0;
};
DragScript gScript;

void SetKey(int key, bool down) {
    BYTE state[256];
    GetKeyboardState(state);
    state[key] = down ? 0x80 : 0;
    SetKeyboardState(state);
}

void CALLBACK StepDrag(HWND, UINT, UINT_PTR, DWORD) {
    if (++gScript.ticks < 2) return;
    SetCursorPos(gScript.dropAt.x, gScript.dropAt.y);
    const HexViewInstance* target = HexViewFromWindow(gScript.target);
    const bool there =
        target != nullptr && target->dropActive != 0 && target->caretPos == gScript.offset;
    if (there || gScript.ticks > 200) SetKey(VK_LBUTTON, false);
}

// Presses on offset's cell of the source's selection and drags to the target's cell.
void Drag(HexViewHost& source, std::uint32_t offset, const HexViewHost& target,
          std::uint32_t dropOffset) {
    POINT drop = target.NumberCell(dropOffset);
    ClientToScreen(target.control(), &drop);
    gScript = DragScript{drop, target.control(), dropOffset, 0};
    SetKey(VK_LBUTTON, true);
    POINT start = source.NumberCell(offset);
    POINT startScreen = start;
    ClientToScreen(source.control(), &startScreen);
    SetCursorPos(startScreen.x, startScreen.y);
    UINT_PTR timer = SetTimer(nullptr, 0, 30, StepDrag);
    source.Press(start);
    source.MoveTo({start.x + 3, start.y});
    KillTimer(nullptr, timer);
    SetKey(VK_LBUTTON, false);
    source.Pump(20);
}

TEST_F(DragDropTest, ARealDragMovesBytesInsideTheControl) {
    const Bytes before = host_.Bytes();
    HexViewSetSelection(host_.control(), 0x10, 0x10);
    Drag(host_, 0x14, host_, 0x40);
    EXPECT_EQ(host_.Bytes(), Moved(before, 0x10, 0x10, 0x30));
    ExpectSelection(host_.control(), 0x30u, 0x40u);
    EXPECT_EQ(host_.inst().mouseDown, 0u);
    ASSERT_EQ(HexViewUndo(host_.control()), 1);
    EXPECT_EQ(host_.Bytes(), before);
    EXPECT_EQ(HexViewLiveComObjects(), baseline_);
}

TEST_F(DragDropTest, ARealDragToAnotherControlMovesTheBytesThere) {
    HexViewHost other(400, 200);
    MoveWindow(other.parent(), 0, 330, 400, 200, TRUE);
    other.SetBytes(CountingBytes(8, 0x90));
    HexViewSetInsertMode(other.control(), 1);
    HexViewSetSelection(host_.control(), 0x10, 0x04);
    Drag(host_, 0x11, other, 2);
    EXPECT_EQ(other.Bytes(),
              (Bytes{0x90, 0x91, 0x10, 0x11, 0x12, 0x13, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97}));
    Bytes expected = CountingBytes(0x80);
    expected.erase(expected.begin() + 0x10, expected.begin() + 0x14);
    EXPECT_EQ(host_.Bytes(), expected);
    EXPECT_EQ(HexViewGetCaret(host_.control()), 0x10u);
    EXPECT_EQ(HexViewLiveComObjects(), baseline_ + 1);
}

TEST_F(DragDropTest, ARealDragThatIsLetGoOnItselfClearsTheSelection) {
    HexViewSetSelection(host_.control(), 0x10, 0x10);
    Drag(host_, 0x14, host_, 0x18);
    EXPECT_EQ(host_.Bytes(), CountingBytes(0x80));
    DWORD anchor = 1;
    DWORD end = 2;
    HexViewGetSelection(host_.control(), &anchor, &end);
    EXPECT_EQ(anchor, end);
}

}  // namespace
