// HexView32 keyboard: caret keys, editing keys, typed digits and characters, undo and redo,
// all as WM_KEYDOWN and WM_CHAR messages to a real control.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hexview/hexview_win.h"
#include "platform/virtual_memory.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/hexview_host.h"

namespace {

using testing_support::BoxAnswerer;
using testing_support::CaretPosition;
using testing_support::CountingBytes;
using testing_support::HexViewHost;
using Bytes = std::vector<unsigned char>;

class HexViewKeys : public ::testing::Test {
protected:
    void Start(const Bytes& bytes, bool insert, DWORD style = 0) {
        host_.SetBytes(bytes);
        if (style != 0) HexViewSetStyle(hv(), style, style);
        HexViewSetInsertMode(hv(), insert ? 1 : 0);
        host_.ClearNotifications();
    }
    HWND hv() const { return host_.control(); }
    HexViewInstance& m() const { return host_.inst(); }
    void CaretAt(DWORD offset) {
        HexViewSetCaret(hv(), offset);
        m().selAnchor = m().selEnd = offset;
    }
    void Select(DWORD start, DWORD length) { HexViewSetSelection(hv(), start, length); }

    HexViewHost host_;
};

TEST_F(HexViewKeys, TypingA7InInsertModeAtOffset4) {
    Start(CountingBytes(8), true);
    CaretAt(4);
    host_.Type("A");
    EXPECT_EQ(host_.Bytes(), (Bytes{0, 1, 2, 3, 0xA0, 4, 5, 6, 7}));
    EXPECT_EQ(HexViewGetCaret(hv()), 4u);
    EXPECT_EQ(m().digitIndex, 1u);
    EXPECT_EQ(CaretPosition().x, (10 + 4 * 3 + 1) * m().charWidth);  // on the second digit
    host_.Type("7");
    EXPECT_EQ(host_.Bytes(), (Bytes{0, 1, 2, 3, 0xA7, 4, 5, 6, 7}));
    EXPECT_EQ(HexViewGetCaret(hv()), 5u);
    EXPECT_EQ(m().digitIndex, 0u);
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_CHANGED, HVN_CHANGED}));
    EXPECT_EQ(host_.records.back().docSize, 9u);
    EXPECT_EQ(HexViewIsModified(hv()), 1);
}

TEST_F(HexViewKeys, OverwriteDigitsReplaceTheByteDigitByDigit) {
    Start(Bytes{0x12, 0x34, 0x56}, false);
    CaretAt(1);
    host_.Type("f");
    EXPECT_EQ(host_.Bytes(), (Bytes{0x12, 0xF4, 0x56}));
    host_.Type("g0");  // g is no digit
    EXPECT_EQ(host_.Bytes(), (Bytes{0x12, 0xF0, 0x56}));
    EXPECT_EQ(HexViewGetCaret(hv()), 2u);
    host_.Type("ab9");  // past the end the last byte appends one
    EXPECT_EQ(host_.Bytes(), (Bytes{0x12, 0xF0, 0xAB, 0x90}));
}

TEST_F(HexViewKeys, DecimalDigitsNeverPass255) {
    Start(Bytes{99, 55, 7}, false);
    HexViewSetStyle(hv(), HVS_FORMATMASK, HVS_FORMAT_DECIMAL);
    CaretAt(0);
    host_.Type("2");
    EXPECT_EQ(host_.Bytes()[0], 200);
    CaretAt(1);
    host_.Type("2");
    EXPECT_EQ(host_.Bytes()[1], 255);
    CaretAt(2);
    host_.Type("3");  // not a leading decimal digit
    EXPECT_EQ(host_.Bytes()[2], 7);
    EXPECT_EQ(m().digitIndex, 0u);
    host_.Type("16");  // 6 is refused in the middle
    EXPECT_EQ(host_.Bytes()[2], 107);
    EXPECT_EQ(m().digitIndex, 1u);
}

TEST_F(HexViewKeys, BinaryTakesEightKeystrokesPerByte) {
    Start(Bytes{0, 0}, false);
    HexViewSetStyle(hv(), HVS_FORMATMASK, HVS_FORMAT_BINARY);
    CaretAt(0);
    host_.Type("1010010");
    EXPECT_EQ(HexViewGetCaret(hv()), 0u);
    host_.Type("1");
    EXPECT_EQ(host_.Bytes()[0], 0xA5);
    EXPECT_EQ(HexViewGetCaret(hv()), 1u);
}

TEST_F(HexViewKeys, ALaterDigitDoesNotReachABytePagedAwayFrom) {
    Start(CountingBytes(1000), false);
    CaretAt(4);
    host_.Type("A");
    host_.Key(VK_NEXT);
    host_.Pump();
    const DWORD paged = HexViewGetCaret(hv());
    ASSERT_NE(paged, 4u);
    host_.Type("7");
    Bytes bytes = host_.Bytes();
    EXPECT_EQ(bytes[4], 0xA4);                   // the first byte kept its one digit
    EXPECT_EQ(bytes[paged], 0x70 | (paged & 15));  // "7" starts the byte at the caret
}

TEST_F(HexViewKeys, EndInAFullRowThenTypingStartsTheNextRow) {
    Start(CountingBytes(48), true);
    host_.Key(VK_TAB);  // character pane
    CaretAt(18);
    host_.Key(VK_END);
    EXPECT_EQ(HexViewGetCaret(hv()), 32u);
    EXPECT_EQ(m().caretCol, 16u);
    EXPECT_EQ(m().caretRow, 1);
    EXPECT_EQ(CaretPosition().x, (59 + 16) * m().charWidth);
    EXPECT_EQ(CaretPosition().y, m().lineHeight);
    host_.Key(VK_TAB);  // the number pane draws it after the row's last digit
    EXPECT_EQ(CaretPosition().x, (10 + 16 * 3 - 1) * m().charWidth);
    host_.Key(VK_TAB);
    host_.Type("Z");
    EXPECT_EQ(host_.Bytes()[32], 'Z');
    EXPECT_EQ(HexViewGetCaret(hv()), 33u);
    EXPECT_EQ(m().caretCol, 1u);
    EXPECT_EQ(m().caretRow, 2);
}

TEST_F(HexViewKeys, EndInAShortLastRowAndHome) {
    Start(CountingBytes(20), false);
    CaretAt(17);
    host_.Key(VK_END);
    EXPECT_EQ(HexViewGetCaret(hv()), 20u);
    host_.Key(VK_HOME);
    EXPECT_EQ(HexViewGetCaret(hv()), 16u);
    host_.Key(VK_END, false, true);  // Control+End
    host_.Pump();
    EXPECT_EQ(HexViewGetCaret(hv()), 20u);
    host_.Key(VK_HOME, false, true);
    host_.Pump();
    EXPECT_EQ(HexViewGetCaret(hv()), 0u);
}

TEST_F(HexViewKeys, DownPastAShortLastRowGoesToTheEnd) {
    Start(CountingBytes(20), false);
    CaretAt(5);
    host_.ClearNotifications();
    host_.Key(VK_DOWN);
    EXPECT_EQ(HexViewGetCaret(hv()), 20u);
    EXPECT_EQ(m().caretCol, 4u);
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_CARETMOVED, HVN_SELCHANGED}));
    host_.Key(VK_DOWN);
    EXPECT_EQ(HexViewGetCaret(hv()), 20u);
    CaretAt(2);
    host_.Key(VK_DOWN);
    EXPECT_EQ(HexViewGetCaret(hv()), 18u);
    host_.Key(VK_UP);
    host_.Key(VK_UP);
    EXPECT_EQ(HexViewGetCaret(hv()), 2u);
}

TEST_F(HexViewKeys, UpAndDownScrollAtTheEdgesOfTheView) {
    Start(CountingBytes(16 * 200), false);
    const std::uint32_t rows = m().pageRows;
    ASSERT_GT(rows, 3u);
    CaretAt(16 * (rows - 1) + 3);
    host_.Key(VK_DOWN);
    host_.Pump();
    EXPECT_EQ(m().topRow, 1u);
    EXPECT_EQ(m().caretRow, static_cast<int>(rows) - 1);
    EXPECT_EQ(GetScrollPos(hv(), SB_VERT), 1);
    CaretAt(16 + 3);
    host_.Key(VK_UP);
    host_.Key(VK_UP);
    host_.Pump();
    EXPECT_EQ(HexViewGetCaret(hv()), 3u);
    EXPECT_EQ(m().topRow, 0u);
    EXPECT_EQ(m().caretRow, 0);
}

TEST_F(HexViewKeys, AKeyBringsBackACaretScrolledOutOfView) {
    Start(CountingBytes(16 * 200), false);
    CaretAt(5);
    SendMessageA(hv(), WM_VSCROLL, SB_PAGEDOWN, 0);
    SendMessageA(hv(), WM_VSCROLL, SB_PAGEDOWN, 0);
    ASSERT_GT(m().topRow, 0u);
    host_.Key(VK_RIGHT);
    EXPECT_EQ(m().topRow, 0u);
    EXPECT_EQ(HexViewGetCaret(hv()), 6u);
}

TEST_F(HexViewKeys, PageDownAndUpMoveByAPage) {
    Start(CountingBytes(16 * 200), false);
    const std::uint32_t rows = m().pageRows;
    CaretAt(3);
    host_.ClearNotifications();
    host_.Key(VK_NEXT);
    host_.Pump();
    EXPECT_EQ(HexViewGetCaret(hv()), 16 * rows + 3);
    EXPECT_EQ(m().topRow, rows);
    EXPECT_EQ(m().caretRow, 0);
    EXPECT_EQ(host_.codes[0], HVN_CARETMOVED);
    host_.ClearNotifications();
    host_.Key(VK_PRIOR, true);  // Shift extends
    host_.Pump();
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_CARETMOVED, HVN_SELCHANGED}));
    EXPECT_EQ(HexViewGetCaret(hv()), 3u);
    DWORD anchor = 0, end = 0;
    HexViewGetSelection(hv(), &anchor, &end);
    EXPECT_EQ(anchor, 16 * rows + 3);
    EXPECT_EQ(end, 3u);
    host_.Key(VK_PRIOR);
    EXPECT_EQ(HexViewGetCaret(hv()), 0u);
}

TEST_F(HexViewKeys, ShiftArrowsSelectFromTheCaret) {
    Start(CountingBytes(64), false);
    CaretAt(10);
    host_.Key(VK_RIGHT);  // the empty selection follows the caret
    host_.Key(VK_RIGHT, true);
    host_.Key(VK_RIGHT, true);
    host_.Key(VK_DOWN, true);
    DWORD anchor = 0, end = 0;
    HexViewGetSelection(hv(), &anchor, &end);
    EXPECT_EQ(anchor, 11u);
    EXPECT_EQ(end, 29u);
    host_.ClearNotifications();
    host_.Key(VK_LEFT);  // a plain key collapses it
    HexViewGetSelection(hv(), &anchor, &end);
    EXPECT_EQ(anchor, end);
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_SELCHANGED, HVN_CARETMOVED, HVN_SELCHANGED}));
}

TEST_F(HexViewKeys, BackspaceDeletesBeforeTheCaretOrTheSelection) {
    Start(CountingBytes(10), true);
    CaretAt(5);
    host_.Key(VK_BACK);
    EXPECT_EQ(host_.Bytes(), (Bytes{0, 1, 2, 3, 5, 6, 7, 8, 9}));
    EXPECT_EQ(HexViewGetCaret(hv()), 4u);
    EXPECT_EQ(host_.codes,
              (std::vector<int>{HVN_CHANGED, HVN_CARETMOVED, HVN_SELCHANGED}));
    Select(1, 3);
    host_.Key(VK_BACK);  // with a selection: as Delete
    EXPECT_EQ(host_.Bytes(), (Bytes{0, 5, 6, 7, 8, 9}));
    EXPECT_EQ(HexViewGetCaret(hv()), 1u);
    CaretAt(0);
    host_.Key(VK_BACK);  // nothing before the start
    EXPECT_EQ(host_.Bytes().size(), 6u);

    HexViewSetInsertMode(hv(), 0);  // overwrite: only moves left
    CaretAt(3);
    host_.Key(VK_BACK);
    EXPECT_EQ(host_.Bytes(), (Bytes{0, 5, 6, 7, 8, 9}));
    EXPECT_EQ(HexViewGetCaret(hv()), 2u);
    Select(2, 2);
    host_.Key(VK_BACK);  // with a selection in overwrite mode: zeroed, as Delete does
    EXPECT_EQ(host_.Bytes(), (Bytes{0, 5, 0, 0, 8, 9}));
}

TEST_F(HexViewKeys, DeleteRemovesTheByteAtTheCaret) {
    Start(CountingBytes(5), true);
    CaretAt(1);
    host_.Key(VK_DELETE);
    host_.Key(VK_DELETE);
    EXPECT_EQ(host_.Bytes(), (Bytes{0, 3, 4}));
    EXPECT_EQ(HexViewGetCaret(hv()), 1u);
    host_.Key('Z', false, true);  // one undo brings both back, selected
    EXPECT_EQ(host_.Bytes(), CountingBytes(5));
    DWORD anchor = 0, end = 0;
    HexViewGetSelection(hv(), &anchor, &end);
    EXPECT_EQ(anchor, 1u);
    EXPECT_EQ(end, 3u);
}

TEST_F(HexViewKeys, TypingOverATenByteSelection) {
    for (bool replaces : {true, false}) {
        Start(CountingBytes(30), true, replaces ? HVS_TYPEREPLACESSEL : 0);
        if (!replaces) HexViewSetStyle(hv(), HVS_TYPEREPLACESSEL, 0);
        host_.Key(VK_TAB);
        Select(5, 10);  // caret at 15
        host_.Type("Q");
        Bytes bytes = host_.Bytes();
        if (replaces) {
            ASSERT_EQ(bytes.size(), 21u);
            EXPECT_EQ(bytes[5], 'Q');
            EXPECT_EQ(bytes[6], 15);
            EXPECT_EQ(HexViewGetCaret(hv()), 6u);
        } else {
            ASSERT_EQ(bytes.size(), 31u);
            EXPECT_EQ(bytes[15], 'Q');
            EXPECT_EQ(bytes[14], 14);
            EXPECT_EQ(HexViewGetCaret(hv()), 16u);
        }
        host_.Key(VK_TAB);
    }
}

TEST_F(HexViewKeys, ASelectionSavedByAnEarlierKeyIsNotTypedOverLater) {
    Start(CountingBytes(30), true, HVS_TYPEREPLACESSEL);
    host_.Key(VK_TAB);
    Select(5, 10);
    host_.Key(VK_F5);  // no character follows; the selection collapses
    host_.Click(host_.CharCell(20));
    host_.Char('Q');  // a character without its key: nothing is selected now
    Bytes bytes = host_.Bytes();
    ASSERT_EQ(bytes.size(), 31u);
    EXPECT_EQ(bytes[20], 'Q');
    EXPECT_EQ(bytes[5], 5);
    Select(2, 3);
    host_.Char('R');  // without a key: the selection as it is
    EXPECT_EQ(host_.Bytes().size(), 29u);
    EXPECT_EQ(host_.Bytes()[2], 'R');
}

TEST_F(HexViewKeys, TypedOverSelectionUndoesAndRedoesAsOneStep) {
    Start(CountingBytes(30), true, HVS_TYPEREPLACESSEL);
    Select(5, 10);
    host_.Type("C3");  // the number pane: one byte 0xC3 in place of ten
    Bytes typed = host_.Bytes();
    ASSERT_EQ(typed.size(), 21u);
    EXPECT_EQ(typed[5], 0xC3);
    host_.ClearNotifications();
    host_.Key('Z', false, true);
    EXPECT_EQ(host_.Bytes(), CountingBytes(30));
    DWORD anchor = 0, end = 0;
    HexViewGetSelection(hv(), &anchor, &end);
    EXPECT_EQ(anchor, 5u);  // the restored bytes are selected
    EXPECT_EQ(end, 15u);
    EXPECT_EQ(host_.codes.back(), HVN_CHANGED);
    host_.Key('Y', false, true);
    EXPECT_EQ(host_.Bytes(), typed);
    host_.Key('Z', false, true);
    host_.Key('Z', false, true);  // nothing more to undo
    EXPECT_EQ(host_.Bytes(), CountingBytes(30));
    EXPECT_EQ(HexViewRedo(hv()), 1);
    EXPECT_EQ(host_.Bytes(), typed);
}

TEST_F(HexViewKeys, EnterTypesALineBreakInTheCharacterPaneOnly) {
    Start(Bytes{1, 2}, true);
    CaretAt(1);
    host_.Char('\r');
    host_.Pump();
    EXPECT_EQ(host_.Bytes(), (Bytes{1, 2}));  // the number pane takes no Enter
    host_.Key(VK_TAB);
    host_.Key(VK_RETURN);
    host_.Char('\r');
    host_.Pump();
    EXPECT_EQ(host_.Bytes(), (Bytes{1, 0x0D, 0x0A, 2}));
    EXPECT_EQ(HexViewGetCaret(hv()), 3u);
}

TEST_F(HexViewKeys, CharactersInTheCharacterPane) {
    Start(Bytes{}, true);
    host_.Key(VK_TAB);
    host_.Type("it's");
    EXPECT_EQ(host_.Bytes(), (Bytes{'i', 't', '\'', 's'}));
    host_.Char('\t');  // Tab and Backspace characters type nothing
    host_.Char('\b');
    EXPECT_EQ(host_.Bytes().size(), 4u);
    HexViewSetInsertMode(hv(), 0);
    CaretAt(1);
    host_.Type("XYZW");
    EXPECT_EQ(host_.Bytes(), (Bytes{'i', 'X', 'Y', 'Z', 'W'}));
}

TEST_F(HexViewKeys, InsertTogglesTheModeAndTabThePane) {
    Start(CountingBytes(4), false);
    host_.Key(VK_INSERT);
    EXPECT_EQ(HexViewGetInsertMode(hv()), 1);
    EXPECT_EQ(host_.codes, std::vector<int>{HVN_MODECHANGED});
    host_.Key(VK_INSERT);
    EXPECT_EQ(HexViewGetInsertMode(hv()), 0);
    host_.Key(VK_TAB);
    EXPECT_EQ(m().inTextPane, 1u);
    host_.Key(VK_TAB);
    EXPECT_EQ(m().inTextPane, 0u);
}

TEST_F(HexViewKeys, ClipboardKeysWarnWhenTheyFail) {
    Start(CountingBytes(4), false);
    BoxAnswerer boxes;
    host_.Key(VK_INSERT, false, true);  // copy with nothing selected
    host_.Key(VK_DELETE, true);         // cut in overwrite mode
    EXPECT_EQ(HexViewGetLastError(hv()), 22u);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{
                                 "Failed to copy the selected data to the clipboard",
                                 "Failed to cut the selected data to the clipboard"}));
}

TEST_F(HexViewKeys, PastingIntoAReadOnlyDocumentWarns) {
    testing_support::TempDir dir;
    std::string path = dir.File("locked.bin");
    testing_support::WriteFileBytes(path, CountingBytes(8));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(HexViewOpenFile(hv(), path.c_str(), TRUE, FALSE), 1);
    {
        BoxAnswerer boxes;
        host_.Key(VK_INSERT, true);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Failed to paste the clipboard contents"});
    }
    EXPECT_EQ(HexViewGetLastError(hv()), 14u);
    HexViewNew(hv());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(HexViewKeys, DeleteWarnsWhenMemoryRunsOut) {
    Start(CountingBytes(8), false);
    Select(2, 4);
    SetCommitGate([](std::size_t) { return false; });
    {
        BoxAnswerer boxes;
        host_.Key(VK_DELETE);  // zeroing needs room in the add buffer
        SetCommitGate(nullptr);
        EXPECT_EQ(boxes.Texts(),
                  std::vector<std::string>{"Not enough memory to complete this operation"});
    }
    EXPECT_EQ(host_.Bytes(), CountingBytes(8));
}

TEST_F(HexViewKeys, ControlArrowsScrollWithoutMovingTheCaret) {
    Start(CountingBytes(16 * 100), false);
    CaretAt(40);
    host_.Key(VK_DOWN, false, true);
    host_.Key(VK_DOWN, false, true);
    host_.Pump();
    EXPECT_EQ(m().topRow, 2u);
    EXPECT_EQ(HexViewGetCaret(hv()), 40u);
    MoveWindow(hv(), 0, 0, 200, 300, TRUE);
    host_.Key(VK_RIGHT, false, true);
    host_.Pump();
    EXPECT_EQ(m().leftCol, 1u);
}

}  // namespace
