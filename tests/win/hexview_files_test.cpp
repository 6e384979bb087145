// HexView32 file operations: open, save, insert a file, snapshot names, and a 1 GiB file
// opened by mapping.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/hex_document.h"
#include "hexview/hexview_win.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/failures.h"
#include "tests/win/support/hexview_host.h"

namespace {

using testing_support::CountingBytes;
using testing_support::HexViewHost;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using Bytes = std::vector<unsigned char>;

class HexViewFiles : public ::testing::Test {
protected:
    HWND hv() const { return host_.control(); }
    std::string Write(const std::string& name, const Bytes& bytes) {
        std::string path = dir_.File(name);
        WriteFileBytes(path, bytes);
        return path;
    }
    TempDir dir_;
    HexViewHost host_;
};

TEST_F(HexViewFiles, OpeningAFileShowsItAndNotifies) {
    for (BOOL mapped : {TRUE, FALSE}) {
        std::string path = Write(mapped ? "a.bin" : "b.bin", CountingBytes(100));
        HexViewSetCaret(hv(), 0);
        host_.ClearNotifications();
        ASSERT_EQ(HexViewOpenFile(hv(), path.c_str(), mapped, FALSE), 1);
        EXPECT_EQ(host_.Bytes(), CountingBytes(100));
        EXPECT_EQ(host_.inst().rowCount, 7u);
        EXPECT_EQ(host_.codes, (std::vector<int>{HVN_CARETMOVED, HVN_CHANGED}));
        EXPECT_EQ(host_.inst().openedByMapping, mapped ? 1u : 0u);
        EXPECT_EQ(HexViewIsModified(hv()), 0);
        // The same file again: refused, the document stays.
        EXPECT_EQ(HexViewOpenFile(hv(), path.c_str(), mapped, FALSE), 0);
        EXPECT_EQ(HexViewGetLastError(hv()), 2u);
        EXPECT_EQ(HexViewGetSize(hv()), 100u);
    }
    EXPECT_EQ(HexViewOpenFile(hv(), dir_.File("missing.bin").c_str(), TRUE, FALSE), 0);
    EXPECT_EQ(HexViewGetLastError(hv()), 23u);
    // Read into memory there is no handle: the information of the mapped open stays.
    EXPECT_EQ(host_.inst().fileInfo.nFileSizeLow, 100u);
}

TEST_F(HexViewFiles, SavingOverwritesInPlaceOrGrowsThroughATemporaryFile) {
    std::string path = Write("rom.bin", CountingBytes(64));
    ASSERT_EQ(HexViewOpenFile(hv(), path.c_str(), TRUE, FALSE), 1);
    EXPECT_EQ(HexViewSaveFile(hv(), nullptr), 1);  // unmodified: nothing written
    HexViewSetCaret(hv(), 10);
    host_.Type("ff");
    HexViewSetCaret(hv(), 40);
    host_.Type("01");
    HexViewSetCaret(hv(), 20);
    ASSERT_EQ(HexViewSaveFile(hv(), nullptr), 1);
    Bytes expected = CountingBytes(64);
    expected[10] = 0xFF;
    expected[40] = 0x01;
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_EQ(HexViewIsModified(hv()), 0);
    EXPECT_EQ(HexViewGetCaret(hv()), 20u);  // the view stays where it was
    EXPECT_EQ(IsWindowEnabled(hv()), TRUE);
    EXPECT_EQ(GetFocus(), hv());

    HexViewSetInsertMode(hv(), 1);
    HexViewSetCaret(hv(), 0);
    host_.Type("5A");
    ASSERT_EQ(HexViewSaveFile(hv(), path.c_str()), 1);  // its own name, in another case below
    expected.insert(expected.begin(), 0x5A);
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_EQ(host_.Bytes(), expected);
    host_.Type("5B");
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_EQ(HexViewSaveFile(hv(), upper.c_str()), 1);
    expected.insert(expected.begin() + 1, 0x5B);
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST_F(HexViewFiles, SavingUnderANewNameMakesThatFileTheDocument) {
    host_.SetBytes(CountingBytes(48));
    HexViewSetCaret(hv(), 3);
    host_.Type("00");
    std::string path = dir_.File("copy.bin");
    host_.ClearNotifications();
    ASSERT_EQ(HexViewSaveFile(hv(), path.c_str()), 1);
    Bytes expected = CountingBytes(48);
    expected[3] = 0;
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_STREQ(host_.inst().filePath, path.c_str());
    EXPECT_EQ(HexViewIsModified(hv()), 0);
    EXPECT_EQ(HexViewGetCaret(hv()), 0u);  // the view starts over
    EXPECT_EQ(host_.codes.back(), HVN_CHANGED);
    char name[MAX_PATH] = {};
    HexViewSetSelection(hv(), 0x10, 0x10);
    EXPECT_EQ(HexViewSnapshotName(hv(), name), 0);
    EXPECT_STREQ(name, "copy-[00000010-00000020].bin");
}

TEST_F(HexViewFiles, AFailedSaveKeepsTheEditsAndTheFile) {
    std::string path = Write("keep.bin", CountingBytes(16));
    ASSERT_EQ(HexViewOpenFile(hv(), path.c_str(), FALSE, FALSE), 1);
    HexViewSetInsertMode(hv(), 1);
    host_.Type("77");
    EXPECT_EQ(HexViewSaveFile(hv(), dir_.File("no such folder\\x.bin").c_str()), 0);
    EXPECT_EQ(HexViewGetLastError(hv()), 24u);
    EXPECT_EQ(HexViewIsModified(hv()), 1);
    EXPECT_EQ(host_.Bytes().size(), 17u);
    EXPECT_EQ(host_.Bytes()[0], 0x77);
    EXPECT_EQ(ReadFileBytes(path), CountingBytes(16));
    EXPECT_EQ(IsWindowEnabled(hv()), TRUE);

    // A read-only document is not saved over its file.
    std::string locked = Write("locked.bin", CountingBytes(8));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(HexViewOpenFile(hv(), locked.c_str(), TRUE, FALSE), 1);
    HexViewSetModified(hv(), 1);
    EXPECT_EQ(HexViewSaveFile(hv(), nullptr), 0);
    EXPECT_EQ(HexViewGetLastError(hv()), 14u);
    HexViewNew(hv());
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A memory document has no file of its own to save over.
    host_.SetBytes(CountingBytes(4));
    HexViewSetModified(hv(), 1);
    EXPECT_EQ(HexViewSaveFile(hv(), nullptr), 0);
}

// A network share that goes away: reads behind windows that cannot be mapped fail, and a save
// that had to let go of the file and cannot take it back leaves no view of a closed document.
TEST_F(HexViewFiles, AShareThatGoesAwayLeavesNoViewOfAClosedDocument) {
    const Bytes bytes = CountingBytes(0x150000);
    const std::string path = Write("net.bin", bytes);
    ASSERT_EQ(HexViewOpenFile(hv(), path.c_str(), TRUE, FALSE), 1);
    Bytes distant(16);
    {
        testing_support::DroppingShare share(~std::uint64_t{0}, true);
        EXPECT_EQ(HexViewReadData(hv(), 0x140000, distant.data(), 16), nullptr);
    }
    HexViewSetInsertMode(hv(), 1);
    HexViewSetCaret(hv(), 0x100000);
    host_.Type("2B");
    const Bytes edited = host_.Bytes();
    HexSaveOutcome outcome;
    {
        testing_support::ShareGoneAtReplace share;  // gone once the copy is written
        EXPECT_EQ(HexViewSaveFile(hv(), nullptr, &outcome), 0);
    }
    EXPECT_EQ(HexViewGetLastError(hv()), 24u);
    EXPECT_FALSE(outcome.saved);
    EXPECT_TRUE(outcome.cleared);
    EXPECT_EQ(HexViewGetSize(hv()), 0u);
    EXPECT_EQ(HexViewReadData(hv(), 0, distant.data(), 1), nullptr);
    ASSERT_NE(outcome.keptFile[0], '\0');
    EXPECT_EQ(ReadFileBytes(outcome.keptFile), edited);
    EXPECT_EQ(ReadFileBytes(path), bytes);
    DeleteFileA(outcome.keptFile);
    EXPECT_EQ(IsWindowEnabled(hv()), TRUE);
    host_.Type("01");  // an empty document that takes typing, not one that swallows it
    EXPECT_EQ(host_.Bytes(), Bytes{0x01});

    // Opening another file whose first window cannot be mapped: the old document is gone by
    // then, and the view says so rather than showing it.
    {
        testing_support::DroppingShare share(~std::uint64_t{0}, true);
        EXPECT_EQ(HexViewOpenFile(hv(), path.c_str(), TRUE, FALSE), 0);
    }
    EXPECT_EQ(HexViewGetSize(hv()), 0u);
    host_.Type("02");
    EXPECT_EQ(host_.Bytes(), Bytes{0x02});
}

TEST_F(HexViewFiles, InsertingAFileSelectsItsBytes) {
    for (bool mapped : {false, true}) {
        host_.SetBytes(CountingBytes(10));
        std::string part = Write(mapped ? "m.bin" : "r.bin", CountingBytes(5, 0xA0));
        auto insert = mapped ? HexViewInsertFileMapped : HexViewInsertFile;
        ASSERT_EQ(insert(hv(), part.c_str(), 4, 1, FALSE), 1);
        EXPECT_EQ(host_.Bytes(), (Bytes{0, 1, 2, 3, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 4, 5, 6, 7, 8, 9}));
        DWORD anchor = 0, end = 0;
        HexViewGetSelection(hv(), &anchor, &end);
        EXPECT_EQ(anchor, 4u);
        EXPECT_EQ(end, 9u);
        EXPECT_EQ(HexViewGetCaret(hv()), 9u);
        EXPECT_EQ(host_.codes, (std::vector<int>{HVN_CHANGED, HVN_CARETMOVED}));
        EXPECT_EQ(HexViewIsModified(hv()), 1);

        // Overwriting, limited to the selection.
        HexViewSetSelection(hv(), 0, 2);
        ASSERT_EQ(insert(hv(), part.c_str(), 0, 0, TRUE), 1);
        EXPECT_EQ(host_.Bytes()[0], 0xA0);
        EXPECT_EQ(host_.Bytes()[1], 0xA1);
        EXPECT_EQ(host_.Bytes()[2], 2);
        EXPECT_EQ(host_.Bytes().size(), 15u);
    }
}

TEST_F(HexViewFiles, InsertingRefusals) {
    std::string own = Write("own.bin", CountingBytes(10));
    std::string empty = Write("empty.bin", {});
    ASSERT_EQ(HexViewOpenFile(hv(), own.c_str(), TRUE, FALSE), 1);
    EXPECT_EQ(HexViewInsertFile(hv(), own.c_str(), 0, 1, FALSE), 0);
    EXPECT_EQ(HexViewGetLastError(hv()), 18u);
    EXPECT_EQ(HexViewInsertFileMapped(hv(), own.c_str(), 0, 1, FALSE), 0);
    EXPECT_EQ(HexViewGetLastError(hv()), 17u);
    EXPECT_EQ(HexViewInsertFile(hv(), empty.c_str(), 0, 1, FALSE), 0);
    EXPECT_EQ(HexViewGetLastError(hv()), 19u);
    EXPECT_EQ(HexViewInsertFile(hv(), dir_.File("none").c_str(), 0, 1, FALSE), 0);
    EXPECT_EQ(HexViewGetLastError(hv()), 11u);
    EXPECT_EQ(host_.Bytes(), CountingBytes(10));
    EXPECT_EQ(HexViewIsModified(hv()), 0);
}

TEST_F(HexViewFiles, ReadExtentsRendersWithoutMarkingTheDocumentModified) {
    host_.SetBytes(CountingBytes(10));
    HexExtent extent{2, 5, 0};  // the memory block is source 0
    unsigned char out[5] = {};
    EXPECT_EQ(HexViewReadExtents(hv(), &extent, 1, out, 1, 4), 4u);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[3], 6);
    EXPECT_EQ(HexViewIsModified(hv()), 0);
}

TEST_F(HexViewFiles, AGibibyteFileOpensByMappingAndScrollsToItsLastRow) {
    const DWORD size = 1u << 30;
    std::string path = dir_.File("big.bin");
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetFilePointer(file, size - 4, nullptr, FILE_BEGIN);
        DWORD written = 0;
        WriteFile(file, "END!", 4, &written, nullptr);
        CloseHandle(file);
    }
    ASSERT_EQ(HexViewOpenFile(hv(), path.c_str(), TRUE, FALSE), 1);
    EXPECT_EQ(HexViewGetSize(hv()), size);
    EXPECT_EQ(host_.inst().rowCount, size / 16);
    host_.Key(VK_END, false, true);
    host_.Pump(30);
    const HexViewInstance& m = host_.inst();
    EXPECT_EQ(m.topRow, size / 16 - m.pageRows);
    EXPECT_EQ(GetScrollPos(hv(), SB_VERT), static_cast<int>(m.topRow));
    EXPECT_EQ(HexViewGetCaret(hv()), size);
    char tail[4] = {};
    EXPECT_NE(HexViewReadData(hv(), size - 4, tail, 4), nullptr);
    EXPECT_EQ(std::string(tail, 4), "END!");
    // The last row is on the screen: its characters are painted at the bottom of the rows.
    InvalidateRect(hv(), nullptr, FALSE);
    UpdateWindow(hv());
    host_.Key(VK_UP);
    EXPECT_EQ(HexViewGetCaret(hv()), size - 16);
    HexViewNew(hv());  // releases the mapping before the folder goes
}

}  // namespace
