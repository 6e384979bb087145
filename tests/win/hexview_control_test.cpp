// HexView32's control functions, styles, notifications and life, on a real control.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hexview/hexview_win.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/hexview_host.h"

namespace {

using testing_support::HexViewHost;
using testing_support::TempDir;

std::vector<unsigned char> Counting(std::size_t n) { return testing_support::CountingBytes(n, 1); }

TEST(HexViewControl, FunctionsOnAWindowThatIsNotAHexViewDoNothing) {
    testing_support::RegisterHexViewForTests();
    // A dialog keeps its own data in the first extra word; it must not be taken for ours.
    HWND dialog = CreateWindowExA(0, "#32770", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0x1234);
    HWND button = CreateWindowExA(0, "BUTTON", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    for (HWND window : {dialog, button, static_cast<HWND>(nullptr)}) {
        unsigned char byte = 0;
        char name[MAX_PATH] = "unchanged";
        DWORD anchor = 7, end = 7;
        EXPECT_EQ(HexViewSetBuffer(window, nullptr, 0), 0);
        EXPECT_EQ(HexViewNew(window), 0);
        EXPECT_EQ(HexViewResetView(window), 0);
        EXPECT_EQ(HexViewReadData(window, 0, &byte, 1), nullptr);
        EXPECT_EQ(HexViewIsModified(window), 0);
        EXPECT_EQ(HexViewSetModified(window, 1), 0);
        EXPECT_EQ(HexViewIsReadOnly(window), 1);
        EXPECT_EQ(HexViewSetInsertMode(window, 1), 0);
        EXPECT_EQ(HexViewGetInsertMode(window), 0);
        EXPECT_EQ(HexViewSetBytesPerRow(window, 8, TRUE), 0);
        EXPECT_EQ(HexViewSetStyle(window, 0xFF, 0x80), 0u);
        EXPECT_EQ(HexViewGetStyle(window), 0u);
        EXPECT_EQ(HexViewClear(window), 0);
        EXPECT_EQ(HexViewCut(window), 0);
        EXPECT_EQ(HexViewCopy(window), 0);
        EXPECT_EQ(HexViewPaste(window), 0);
        EXPECT_EQ(HexViewSaveFile(window, nullptr), 0);
        EXPECT_EQ(HexViewOpenFile(window, "x", TRUE, FALSE), 0);
        EXPECT_EQ(HexViewInsertFile(window, "x", 0, 1, FALSE), 0);
        EXPECT_EQ(HexViewInsertFileMapped(window, "x", 0, 1, FALSE), 0);
        EXPECT_EQ(HexViewSnapshotName(window, name), 0);
        EXPECT_STREQ(name, "unchanged");
        EXPECT_EQ(HexViewGetSelection(window, &anchor, &end), 0);
        EXPECT_EQ(HexViewUndo(window), 0);
        HexViewScanInfo scan{};
        scan.kind = 7;
        EXPECT_EQ(HexViewGoTo(window, 0), 0);
        EXPECT_EQ(HexViewSelectAll(window), 0);
        EXPECT_EQ(HexViewCanUndo(window), 0);
        EXPECT_EQ(HexViewFill(window, &byte, 1), 0);
        EXPECT_EQ(HexViewCopyHex(window), 0);
        EXPECT_EQ(HexViewFind(window, "00", 0), 0);
        EXPECT_EQ(HexViewFindNext(window, FALSE), 0);
        EXPECT_EQ(HexViewChecksum(window, kChecksumAll), 0);
        EXPECT_EQ(HexViewCancelScan(window), 0);
        EXPECT_EQ(HexViewGetScan(window, &scan), 0);
        EXPECT_EQ(scan.kind, 7u);
        EXPECT_EQ(HexViewCompareFile(window, "x"), 0);
        EXPECT_EQ(HexViewCompareData(window, &byte, 1), 0);
        HexDiffCounts counts;
        EXPECT_EQ(HexViewGetDifferences(window, &counts), 0);
        EXPECT_EQ(HexViewNextDifference(window, FALSE, nullptr), 0);
    }
    EXPECT_EQ(GetWindowLongPtrA(dialog, DWLP_MSGRESULT), 0x1234);
    DestroyWindow(button);
    DestroyWindow(dialog);
}

TEST(HexViewControl, NewControlDefaults) {
    HexViewHost host;
    EXPECT_EQ(HexViewGetStyle(host.control()), 0x00D40000u);
    EXPECT_EQ(HexViewGetBytesPerRow(host.control()), 16);
    EXPECT_EQ(HexViewGetInsertMode(host.control()), 0);
    EXPECT_EQ(HexViewIsReadOnly(host.control()), 0);
    EXPECT_EQ(HexViewGetSize(host.control()), 0u);
    EXPECT_EQ(host.inst().addressWidth, 8u);
    EXPECT_EQ(host.inst().cellWidth, 3u);
    EXPECT_EQ(host.inst().dataColumn, 10u);
    EXPECT_EQ(host.inst().charColumn, 59u);
    EXPECT_EQ(host.inst().lineWidth, 75u);
    EXPECT_GT(host.inst().charWidth, 0);
    EXPECT_GT(host.inst().lineHeight, 0);
}

TEST(HexViewControl, BytesPerRowAreClampedTo1Through20) {
    HexViewHost host;
    host.SetBytes(Counting(100));
    struct {
        int asked;
        int shown;
    } cases[] = {{0, 1}, {-5, 1}, {1, 1}, {8, 8}, {20, 20}, {25, 20}, {1000, 20}};
    for (const auto& c : cases) {
        EXPECT_EQ(HexViewSetBytesPerRow(host.control(), c.asked, TRUE), 1);
        EXPECT_EQ(HexViewGetBytesPerRow(host.control()), c.shown) << c.asked;
        EXPECT_EQ(host.inst().rowCount, (100u + c.shown - 1) / c.shown);
    }
    host.inst().rowGranularity = 4;
    HexViewSetBytesPerRow(host.control(), 11, FALSE);
    EXPECT_EQ(HexViewGetBytesPerRow(host.control()), 8);
    HexViewSetBytesPerRow(host.control(), 3, FALSE);
    EXPECT_EQ(HexViewGetBytesPerRow(host.control()), 4);
}

TEST(HexViewControl, StylesSetCellAndAddressWidths) {
    HexViewHost host;
    HWND hv = host.control();
    host.SetBytes(Counting(64));
    EXPECT_EQ(HexViewSetStyle(hv, HVS_FORMATMASK, HVS_FORMAT_BINARY), 0x00D40000u);
    EXPECT_EQ(host.inst().cellWidth, 9u);
    EXPECT_EQ(host.inst().charColumn, 10u + 9 * 16 + 2 - 1);
    // The same call again changes nothing and repaints nothing.
    host.Pump(20);
    ValidateRect(hv, nullptr);
    HexViewSetStyle(hv, HVS_FORMATMASK, HVS_FORMAT_BINARY);
    EXPECT_FALSE(GetUpdateRect(hv, nullptr, FALSE));

    HexViewSetStyle(hv, HVS_ADDRESSBITS, HVS_ADDRCOLON);
    EXPECT_EQ(host.inst().addressWidth, 9u);
    HexViewSetStyle(hv, HVS_ADDRESSBITS, HVS_ADDRCOLON | HVS_DECIMALOFFSET);
    EXPECT_EQ(host.inst().addressWidth, 11u);
    HexViewSetStyle(hv, HVS_ADDRESSBITS, HVS_SEGOFFSET);
    EXPECT_EQ(host.inst().addressWidth, 9u);
    HexViewSetStyle(hv, HVS_ADDRESSBITS, HVS_NOADDRESS | HVS_ADDRCOLON);
    EXPECT_EQ(host.inst().addressWidth, 0u);
    EXPECT_EQ(host.inst().dataColumn, 2u);
    HexViewSetStyle(hv, HVS_FORMATMASK, HVS_FORMAT_DECIMAL);
    EXPECT_EQ(host.inst().cellWidth, 4u);
    HexViewSetStyle(hv, HVS_FORMATMASK, 0x60);  // no such format: the cells stay
    EXPECT_EQ(host.inst().cellWidth, 4u);

    // Value bits outside the mask are set as well; unknown bits are carried.
    DWORD before = HexViewGetStyle(hv);
    HexViewSetStyle(hv, 0, 0x40000000);
    EXPECT_EQ(HexViewGetStyle(hv), before | 0x40000000);
}

TEST(HexViewControl, FitToWindowFollowsTheWidthBeyondTwentyBytes) {
    HexViewHost host(1000, 200);
    host.SetBytes(Counting(5000));
    HexViewSetStyle(host.control(), HVS_FITTOWINDOW, HVS_FITTOWINDOW);
    const HexViewInstance& m = host.inst();
    EXPECT_EQ(m.bytesPerRow, HexViewFitBytesPerRow(m));
    EXPECT_GT(m.bytesPerRow, 20u);
    // Binary cells in a wide window: the rows outgrow any fixed buffer and still paint.
    HexViewSetStyle(host.control(), HVS_FORMATMASK | HVS_ADDRESSBITS,
                    HVS_FORMAT_BINARY | HVS_DECIMALOFFSET | HVS_ADDRCOLON);
    MoveWindow(host.control(), 0, 0, 3000, 200, TRUE);
    host.Pump(20);
    EXPECT_EQ(m.bytesPerRow, HexViewFitBytesPerRow(m));
    EXPECT_GT(m.lineWidth, 256u);
    InvalidateRect(host.control(), nullptr, FALSE);
    UpdateWindow(host.control());
    MoveWindow(host.control(), 0, 0, 30, 200, TRUE);
    host.Pump(20);
    EXPECT_EQ(m.bytesPerRow, 1u);
}

TEST(HexViewControl, ClearInOverwriteModeZeroesTheSelectionAndKeepsTheLength) {
    HexViewHost host;
    host.SetBytes(Counting(10));
    HexViewSetSelection(host.control(), 2, 3);
    host.ClearNotifications();
    EXPECT_EQ(HexViewClear(host.control()), 1);
    EXPECT_EQ(host.Bytes(), (std::vector<unsigned char>{1, 2, 0, 0, 0, 6, 7, 8, 9, 10}));
    EXPECT_EQ(HexViewIsModified(host.control()), 1);
    EXPECT_EQ(host.codes, std::vector<int>{HVN_CHANGED});

    HexViewSetSelection(host.control(), 4, 0);  // nothing selected: nothing happens
    host.ClearNotifications();
    EXPECT_EQ(HexViewClear(host.control()), 1);
    EXPECT_EQ(host.Bytes().size(), 10u);
    EXPECT_TRUE(host.codes.empty());
}

TEST(HexViewControl, ClearInInsertModeDeletesTheSelectionOrTheByteAtTheCaret) {
    HexViewHost host;
    host.SetBytes(Counting(10));
    HexViewSetInsertMode(host.control(), 1);
    HexViewSetSelection(host.control(), 6, 0);
    HexViewSetSelection(host.control(), 7, static_cast<DWORD>(-4) + 4);  // refused: stays 6..6
    // A backward selection: anchor 7, end 3.
    host.inst().selAnchor = 7;
    host.inst().selEnd = 3;
    host.inst().caretPos = 3;
    host.ClearNotifications();
    EXPECT_EQ(HexViewClear(host.control()), 1);
    EXPECT_EQ(host.Bytes(), (std::vector<unsigned char>{1, 2, 3, 8, 9, 10}));
    EXPECT_EQ(host.codes, (std::vector<int>{HVN_CARETMOVED, HVN_SELCHANGED, HVN_CHANGED}));
    EXPECT_EQ(host.records.back().caretPos, 3u);
    EXPECT_EQ(host.records.back().selLength, 0u);
    EXPECT_EQ(host.records.back().docSize, 6u);

    EXPECT_EQ(HexViewClear(host.control()), 1);  // the byte at the caret
    EXPECT_EQ(host.Bytes(), (std::vector<unsigned char>{1, 2, 3, 9, 10}));

    // At the end nothing is deleted, but the document counts as modified.
    HexViewSetModified(host.control(), 0);
    HexViewSetCaret(host.control(), 5);
    EXPECT_EQ(HexViewClear(host.control()), 1);
    EXPECT_EQ(host.Bytes().size(), 5u);
    EXPECT_EQ(HexViewIsModified(host.control()), 1);
}

TEST(HexViewControl, ReadOnlyDocumentsRefuseClearAndInsertMode) {
    TempDir dir;
    std::string path = dir.File("locked.bin");
    testing_support::WriteFileBytes(path, Counting(40));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    HexViewHost host;
    ASSERT_EQ(HexViewOpenFile(host.control(), path.c_str(), TRUE, FALSE), 1);
    EXPECT_EQ(HexViewIsReadOnly(host.control()), 1);
    EXPECT_EQ(HexViewSetInsertMode(host.control(), 1), 0);
    EXPECT_EQ(HexViewGetInsertMode(host.control()), 0);
    HexViewSetSelection(host.control(), 0, 4);
    EXPECT_EQ(HexViewClear(host.control()), 0);
    EXPECT_EQ(HexViewGetLastError(host.control()), 14u);
    host.Type("A");
    host.Key(VK_INSERT);
    EXPECT_EQ(HexViewGetInsertMode(host.control()), 0);
    EXPECT_EQ(host.Bytes(), Counting(40));
    HexViewNew(host.control());  // releases the file
    EXPECT_EQ(HexViewIsReadOnly(host.control()), 0);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(HexViewControl, NotificationsCarryTheStateAndTheSelectionLengthEitherWay) {
    HexViewHost host;
    SetWindowLongPtrA(host.control(), GWLP_ID, 77);
    host.SetBytes(Counting(64));
    host.Press(host.NumberCell(20));
    host.MoveTo(host.NumberCell(12));
    host.Release(host.NumberCell(12));
    ASSERT_FALSE(host.records.empty());
    const HexViewNotify& back = host.records.back();
    EXPECT_EQ(back.header.hwndFrom, host.control());
    EXPECT_EQ(back.header.idFrom, 77u);
    EXPECT_EQ(back.selAnchor, 20u);
    EXPECT_EQ(back.selEnd, 12u);
    EXPECT_EQ(back.selLength, 8u);
    EXPECT_EQ(back.caretPos, 12u);
    EXPECT_EQ(back.docSize, 64u);
    host.Key(VK_RIGHT, true);
    host.Key(VK_RIGHT, true);
    EXPECT_EQ(host.records.back().selLength, 6u);
}

TEST(HexViewControl, NewResetAndSetBufferNotifyAndClearState) {
    HexViewHost host;
    host.SetBytes(Counting(300));
    host.Key(VK_NEXT);
    host.Pump();
    HexViewSetModified(host.control(), 1);
    host.ClearNotifications();
    EXPECT_EQ(HexViewNew(host.control()), 1);
    EXPECT_EQ(host.codes, std::vector<int>{HVN_CHANGED});
    EXPECT_EQ(HexViewGetSize(host.control()), 0u);
    EXPECT_EQ(HexViewIsModified(host.control()), 0);
    EXPECT_EQ(host.inst().topRow, 0u);

    HexViewSetStyle(host.control(), HVS_INSERTDEFAULT, HVS_INSERTDEFAULT);
    HexViewNew(host.control());
    EXPECT_EQ(HexViewGetInsertMode(host.control()), 1);

    host.SetBytes(Counting(300));
    EXPECT_EQ(HexViewGetSize(host.control()), 300u);
    EXPECT_EQ(host.inst().rowCount, 19u);
    EXPECT_EQ(HexViewIsModified(host.control()), 0);
    HexViewSetCaret(host.control(), 290);
    host.ClearNotifications();
    EXPECT_EQ(HexViewResetView(host.control()), 1);
    EXPECT_EQ(host.codes, std::vector<int>{HVN_CARETMOVED});
    EXPECT_EQ(HexViewGetCaret(host.control()), 0u);

    unsigned char bytes[4] = {};
    EXPECT_EQ(HexViewReadData(host.control(), 298, bytes, 4), bytes);
    EXPECT_EQ(bytes[0], 299 & 0xFF);
    EXPECT_EQ(HexViewReadData(host.control(), 300, bytes, 1), nullptr);
}

TEST(HexViewControl, TheFontGoesWithTheControl) {
    HFONT font;
    {
        HexViewHost host;
        font = reinterpret_cast<HFONT>(SendMessageA(host.control(), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
        LOGFONTA description{};
        GetObjectA(font, sizeof description, &description);
        EXPECT_STREQ(description.lfFaceName, "Courier");
        EXPECT_EQ(description.lfHeight, 12);
    }
    EXPECT_EQ(GetObjectType(font), 0u);
}

// A host that is not the editor: a search starts at once and runs from the control's queue,
// ends with the match selected (caret at its start) and then HVN_SCANDONE; Escape in the
// control stops a run and leaves the view as it was; checksums are of the selection.
TEST(HexViewControl, SearchesAndChecksumsRunFromTheQueueAndEscapeStopsThem) {
    HexViewHost host;
    std::vector<unsigned char> bytes(0x30000, 0x11);
    std::memcpy(&bytes[0x23456], "123456789", 9);
    host.SetBytes(bytes);
    HWND control = host.control();
    HexViewScanInfo scan{};

    ASSERT_EQ(HexViewFind(control, "34 ?? 36", 0), 1);
    EXPECT_EQ(host.codes, (std::vector<int>{HVN_SCANPROGRESS}));
    EXPECT_EQ(HexViewIsScanning(control), 1);
    host.Pump();
    EXPECT_EQ(host.codes,
              (std::vector<int>{HVN_SCANPROGRESS, HVN_CARETMOVED, HVN_SELCHANGED, HVN_SCANDONE}));
    ASSERT_EQ(HexViewGetScan(control, &scan), 1);
    EXPECT_EQ(scan.outcome, HVSO_FOUND);
    EXPECT_EQ(scan.position, 0x23459u);
    EXPECT_EQ(scan.length, 3u);
    EXPECT_EQ(host.inst().selAnchor, 0x2345Cu);
    EXPECT_EQ(host.inst().selEnd, 0x23459u);
    EXPECT_EQ(HexViewGetCaret(control), 0x23459u);

    host.ClearNotifications();
    ASSERT_EQ(HexViewFindNext(control, TRUE), 1);
    host.Key(VK_ESCAPE);
    host.Pump();
    EXPECT_EQ(host.codes, (std::vector<int>{HVN_SCANPROGRESS, HVN_SCANDONE}));
    HexViewGetScan(control, &scan);
    EXPECT_EQ(scan.outcome, HVSO_CANCELLED);
    EXPECT_EQ(HexViewIsScanning(control), 0);
    EXPECT_EQ(host.inst().selAnchor, 0x2345Cu);

    EXPECT_EQ(HexViewFind(control, "4", 0), 0);
    EXPECT_EQ(HexViewGetLastError(control), 26u);

    ASSERT_EQ(HexViewSetSelection(control, 0x23456, 9), 1);
    ASSERT_EQ(HexViewChecksum(control, kChecksumCrc32), 1);
    host.Pump();
    HexViewGetScan(control, &scan);
    EXPECT_EQ(scan.outcome, HVSO_DONE);
    EXPECT_EQ(scan.checksums.crc32, 0xCBF43926u);
}

// A compare runs as a search does: nothing typed goes in meanwhile and Escape stops it, leaving
// nothing to step through. Done, its ranges are stepped through from the caret both ways and wrap;
// the longer side's extra bytes are the last range and put the caret at the document's end.
TEST(HexViewControl, ACompareRunsFromTheQueueAndItsRangesAreSteppedThrough) {
    HexViewHost host;
    const std::vector<unsigned char> bytes(0x30000, 0x11);
    std::vector<unsigned char> other(0x30004, 0x11);
    other[0x10] = other[0x20000] = other[0x20001] = 0;
    host.SetBytes(bytes);
    HWND control = host.control();
    EXPECT_EQ(HexViewNextDifference(control, FALSE, nullptr), 0);
    EXPECT_EQ(HexViewGetLastError(control), 28u);

    ASSERT_EQ(HexViewCompareData(control, other.data(), static_cast<DWORD>(other.size())), 1);
    SendMessageA(control, WM_CHAR, '5', 1);  // before any slice ran
    host.Key(VK_ESCAPE);
    host.Pump();
    HexViewScanInfo scan{};
    HexViewGetScan(control, &scan);
    EXPECT_EQ(scan.kind, HVSCAN_COMPARE);
    EXPECT_EQ(scan.outcome, HVSO_CANCELLED);
    EXPECT_EQ(host.Bytes(), bytes);
    HexDiffCounts counts;
    EXPECT_EQ(HexViewGetDifferences(control, &counts), 0);

    ASSERT_EQ(HexViewCompareData(control, other.data(), static_cast<DWORD>(other.size())), 1);
    host.Pump();
    ASSERT_EQ(HexViewGetDifferences(control, &counts), 1);
    EXPECT_EQ(counts.bytes, 3u);  // the other side's 4 extra bytes are counted apart
    EXPECT_EQ(counts.ranges, 2u);
    EXPECT_EQ(counts.compared, 0x30000u);
    EXPECT_EQ(counts.extra, 4u);
    EXPECT_FALSE(counts.firstLonger);
    struct Step {
        BOOL backward;
        HexViewDifference found;
        DWORD anchor;  // the caret stands at the range's start, within the document
    };
    const Step steps[] = {
        {FALSE, {0x10, 0x11, 0}, 0x11},          {FALSE, {0x20000, 0x20002, 0}, 0x20002},
        {FALSE, {0x30000, 0x30004, 0}, 0x30000}, {FALSE, {0x10, 0x11, 1}, 0x11},
        {TRUE, {0x30000, 0x30004, 1}, 0x30000},  {TRUE, {0x20000, 0x20002, 0}, 0x20002},
    };
    for (const Step& step : steps) {
        HexViewDifference found{};
        ASSERT_EQ(HexViewNextDifference(control, step.backward, &found), 1);
        EXPECT_EQ(found.start, step.found.start);
        EXPECT_EQ(found.end, step.found.end);
        EXPECT_EQ(found.wrapped, step.found.wrapped) << found.start;
        EXPECT_EQ(HexViewGetCaret(control), step.found.start);
        EXPECT_EQ(host.inst().selAnchor, step.anchor);
    }
}

}  // namespace
