// HexView32 clipboard: copy, cut and paste through the OLE clipboard between two controls and
// with another process, the selection data object's renderings, its stream and enumerator, and
// what becomes of clipboard data when its document closes.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hexview/hexview_transfer_win.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/child_test.h"
#include "tests/win/support/failures.h"
#include "tests/win/support/hexview_host.h"

namespace {

using testing_support::BoxAnswerer;
using testing_support::ChildFolder;
using testing_support::CountingBytes;
using testing_support::HexViewHost;
using testing_support::IsChildRole;
using testing_support::Process;
using testing_support::ReadFileBytes;
using testing_support::StartChildTest;
using testing_support::TempDir;
using testing_support::WaitForFile;
using testing_support::WriteFileBytes;
using Bytes = std::vector<unsigned char>;

const Bytes kWithZeros = {0x41, 0x00, 0x42, 0x00, 0x00, 0x43, 0xFF, 0x00};

FORMATETC Query(UINT format, DWORD tymed) {
    return HexFormat(format, tymed);
}

Bytes BlockBytes(HGLOBAL block) {
    GlobalLockScope locked(block);
    const auto* bytes = static_cast<const unsigned char*>(locked.data());
    return Bytes(bytes, bytes + locked.size());
}

// The bytes of a global rendering of the data object.
Bytes Rendering(IDataObject* data, UINT format) {
    HexFetchedBlock block(data, format);
    return Bytes(block.bytes(), block.bytes() + block.size());
}

Bytes ReadStream(IStream* stream) {
    Bytes bytes;
    unsigned char piece[7];  // small pieces: the position must carry across reads
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(piece, sizeof piece, &got)) && got > 0) {
        bytes.insert(bytes.end(), piece, piece + got);
    }
    return bytes;
}

// The clipboard's CF_TEXT through the classic interface, as a program without OLE reads it.
Bytes ClassicText() {
    Bytes bytes;
    if (!OpenClipboard(nullptr)) return bytes;
    HGLOBAL text = GetClipboardData(CF_TEXT);
    if (text != nullptr) bytes = BlockBytes(text);
    CloseClipboard();
    return bytes;
}

void EmptyTheClipboard() {
    OleSetClipboard(nullptr);
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

class ClipboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::RegisterHexViewForTests();
        EmptyTheClipboard();
        baseline_ = HexViewLiveComObjects();
    }
    void TearDown() override { EmptyTheClipboard(); }

    // Every COM object made by the test is gone once the clipboard lets go.
    void ExpectNoObjectsLeft(long hostsAlive) {
        EmptyTheClipboard();
        EXPECT_EQ(HexViewLiveComObjects(), baseline_ + hostsAlive);
    }

    long baseline_ = 0;
};

TEST_F(ClipboardTest, ZeroBytesArriveWholeInAnotherControl) {
    HexViewHost a;
    HexViewHost b;
    a.SetBytes(kWithZeros);
    b.SetBytes(CountingBytes(6, 0x10));
    ASSERT_TRUE(HexViewSetSelection(a.control(), 0, 8));
    ASSERT_EQ(HexViewCopy(a.control()), 1);
    EXPECT_EQ(HexViewGetLastError(a.control()), 0u);

    HexViewSetInsertMode(b.control(), 1);
    HexViewSetCaret(b.control(), 3);
    b.ClearNotifications();
    ASSERT_EQ(HexViewPaste(b.control()), 1);
    Bytes expected = {0x10, 0x11, 0x12};
    expected.insert(expected.end(), kWithZeros.begin(), kWithZeros.end());
    expected.insert(expected.end(), {0x13, 0x14, 0x15});
    EXPECT_EQ(b.Bytes(), expected);
    EXPECT_EQ(HexViewGetCaret(b.control()), 11u);
    EXPECT_TRUE(HexViewIsModified(b.control()));
    // The status bar hears where the caret went.
    ASSERT_FALSE(b.records.empty());
    EXPECT_EQ(b.records.back().caretPos, 11u);

    // A program that reads the text sees the bytes and a terminating zero: up to the first
    // zero byte as a string. Rendering it does not make the source count as changed.
    Bytes text = ClassicText();
    ASSERT_EQ(text.size(), 9u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.data())), "A");
    EXPECT_FALSE(HexViewIsModified(a.control()));
}

TEST_F(ClipboardTest, PastingInOverwriteModeReplacesAndExtends) {
    HexViewHost a;
    HexViewHost b;
    a.SetBytes(CountingBytes(4, 0xA0));
    b.SetBytes(CountingBytes(6));
    HexViewSetSelection(a.control(), 0, 4);
    ASSERT_EQ(HexViewCopy(a.control()), 1);
    HexViewSetCaret(b.control(), 4);
    ASSERT_EQ(HexViewPaste(b.control()), 1);
    EXPECT_EQ(b.Bytes(), (Bytes{0, 1, 2, 3, 0xA0, 0xA1, 0xA2, 0xA3}));
    // A selection is let go, not replaced: the bytes go in at the caret.
    HexViewSetInsertMode(b.control(), 1);
    HexViewSetSelection(b.control(), 0, 2);
    ASSERT_EQ(HexViewPaste(b.control()), 1);
    EXPECT_EQ(b.Bytes(), (Bytes{0, 1, 0xA0, 0xA1, 0xA2, 0xA3, 2, 3, 0xA0, 0xA1, 0xA2, 0xA3}));
    DWORD anchor = 1;
    DWORD end = 1;
    HexViewGetSelection(b.control(), &anchor, &end);
    EXPECT_EQ(anchor, end);
}

TEST_F(ClipboardTest, AfterCuttingTheClipboardStillYieldsTheCutBytes) {
    HexViewHost a;
    HexViewHost b;
    a.SetBytes(CountingBytes(64));
    HexViewSetInsertMode(a.control(), 1);
    HexViewSetSelection(a.control(), 0x10, 0x10);
    a.ClearNotifications();
    ASSERT_EQ(HexViewCut(a.control()), 1);
    ASSERT_EQ(HexViewGetSize(a.control()), 48u);
    EXPECT_EQ(HexViewGetCaret(a.control()), 0x10u);
    EXPECT_EQ(a.Bytes()[0x10], 0x20);
    // More edits where the bytes were do not change what was cut.
    a.Type("7");
    HexViewSetCaret(a.control(), 0x10);
    a.Char('9');

    b.SetBytes({});
    ASSERT_EQ(HexViewPaste(b.control()), 1);
    EXPECT_EQ(b.Bytes(), CountingBytes(16, 0x10));
    ExpectNoObjectsLeft(2);  // the drop targets of the two hosts stay
}

// Keys as the user presses them: Control+Insert copies, Shift+Insert pastes, Control+Z undoes.
void CopyKey(HexViewHost& host) {
    host.Key(VK_INSERT, false, true);
}
void PasteKey(HexViewHost& host) {
    host.Key(VK_INSERT, true, false);
}
void UndoKey(HexViewHost& host) {
    host.Key('Z', false, true);
}

// A drop of data at a byte of the host, as OLE delivers it.
void DropAt(HexViewHost& host, IDataObject* data, std::uint32_t offset) {
    POINT cell = host.NumberCell(offset);
    ClientToScreen(host.control(), &cell);
    const POINTL at{cell.x, cell.y};
    IDropTarget* target = host.inst().dropTarget.get();
    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(data, MK_LBUTTON, at, &effect);
    target->DragOver(MK_LBUTTON, at, &effect);
    target->Drop(data, 0, at, &effect);
}

TEST_F(ClipboardTest, APasteADropAndAFillAreUndoStepsOfTheirOwn) {
    HexViewHost a;
    a.SetBytes(CountingBytes(4, 0xA0));
    HexViewSetSelection(a.control(), 0, 4);
    CopyKey(a);
    HexViewHost b;
    b.SetBytes(CountingBytes(4));
    b.Key(VK_INSERT);  // insert mode
    HexViewSetCaret(b.control(), 2);
    b.Type("EE");
    PasteKey(b);
    b.Type("11");
    EXPECT_EQ(b.Bytes(), (Bytes{0, 1, 0xEE, 0xA0, 0xA1, 0xA2, 0xA3, 0x11, 2, 3}));
    UndoKey(b);
    EXPECT_EQ(b.Bytes(), (Bytes{0, 1, 0xEE, 0xA0, 0xA1, 0xA2, 0xA3, 2, 3}));
    UndoKey(b);
    EXPECT_EQ(b.Bytes(), (Bytes{0, 1, 0xEE, 2, 3}));

    HexViewSetCaret(b.control(), 3);
    b.Type("DD");
    DropAt(b, HexViewCreateDataObject(a.inst()).get(), 4);
    EXPECT_EQ(b.Bytes(), (Bytes{0, 1, 0xEE, 0xDD, 0xA0, 0xA1, 0xA2, 0xA3, 2, 3}));
    UndoKey(b);
    EXPECT_EQ(b.Bytes(), (Bytes{0, 1, 0xEE, 0xDD, 2, 3}));

    // Overwrite mode: the selection cleared to zeros, then a digit typed just after it.
    b.Key(VK_INSERT);
    HexViewSetSelection(b.control(), 0, 2);
    b.Key(VK_DELETE);
    b.Type("5");
    EXPECT_EQ(b.Bytes(), (Bytes{0, 0, 0x5E, 0xDD, 2, 3}));
    UndoKey(b);
    EXPECT_EQ(b.Bytes(), (Bytes{0, 0, 0xEE, 0xDD, 2, 3}));
}

// The add buffer cannot take the clipboard's bytes: nothing goes in, the user hears so, and the
// history is as it was.
TEST_F(ClipboardTest, APasteThatDoesNotFitGoesInNotAtAllAndSaysSo) {
    HexViewHost a;
    a.SetBytes(CountingBytes(0x30000));
    HexViewSetSelection(a.control(), 0, 0x30000);
    CopyKey(a);
    HexViewHost b;
    b.SetBytes(CountingBytes(4));
    b.Key(VK_INSERT);
    HexViewSetCaret(b.control(), 2);
    b.Type("EE");
    const Bytes typed = b.Bytes();
    {
        testing_support::MemoryBudget memory(0x18000);  // room for a part of the bytes
        BoxAnswerer warning;
        PasteKey(b);
        b.Pump(50);
        EXPECT_EQ(warning.Texts(),
                  (std::vector<std::string>{"Failed to paste the clipboard contents"}));
    }
    EXPECT_EQ(b.Bytes(), typed);
    UndoKey(b);
    EXPECT_EQ(b.Bytes(), CountingBytes(4));
    b.Key('Y', false, true);
    PasteKey(b);  // with the memory back, all of it
    EXPECT_EQ(b.Bytes().size(), 5u + 0x30000);
    EmptyTheClipboard();  // or closing the source would ask what to do with its 192 KiB
}

// A byte half typed when copied: finishing it afterwards does not change the copy.
TEST_F(ClipboardTest, CopiedBytesStayAsTheyWereWhenCopied) {
    HexViewHost a;
    a.SetBytes({0x12, 0x34, 0x56});
    a.Type("A");                // overwrite mode: 0xA2, the caret waits for the second digit
    a.Key(VK_END, true, true);  // Shift+Control+End selects to the end; the digit still waits
    CopyKey(a);
    a.Key(VK_HOME, false, true);
    a.Type("7");
    EXPECT_EQ(a.Bytes(), (Bytes{0xA7, 0x34, 0x56}));
    HexViewHost b;
    b.SetBytes({});
    PasteKey(b);
    EXPECT_EQ(b.Bytes(), (Bytes{0xA2, 0x34, 0x56}));
    UndoKey(a);  // the byte goes back whole, in one step
    EXPECT_EQ(a.Bytes(), (Bytes{0x12, 0x34, 0x56}));
}

TEST_F(ClipboardTest, FailuresLeaveTheirCodes) {
    HexViewHost a;
    a.SetBytes(CountingBytes(32));
    EXPECT_EQ(HexViewCopy(a.control()), 0);
    EXPECT_EQ(HexViewGetLastError(a.control()), 21u);
    HexViewSetSelection(a.control(), 2, 4);
    EXPECT_EQ(HexViewCut(a.control()), 0);  // overwrite mode
    EXPECT_EQ(HexViewGetLastError(a.control()), 22u);
    HexViewSetInsertMode(a.control(), 1);
    HexViewSetSelection(a.control(), 5, 0);
    EXPECT_EQ(HexViewCut(a.control()), 0);
    EXPECT_EQ(HexViewGetLastError(a.control()), 21u);
    EXPECT_EQ(HexViewGetSize(a.control()), 32u);

    TempDir dir;
    std::string path = dir.File("locked.bin");
    WriteFileBytes(path, CountingBytes(8));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(HexViewOpenFile(a.control(), path.c_str(), TRUE, FALSE), 1);
    ASSERT_TRUE(HexViewIsReadOnly(a.control()));
    EXPECT_EQ(HexViewPaste(a.control()), 0);
    EXPECT_EQ(HexViewGetLastError(a.control()), 14u);
    HexViewSetSelection(a.control(), 0, 4);
    EXPECT_EQ(HexViewCut(a.control()), 0);
    EXPECT_EQ(HexViewGetLastError(a.control()), 14u);
    EXPECT_EQ(HexViewCopy(a.control()), 1);  // reading is allowed
    HexViewNew(a.control());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    // Nothing pasteable is not a failure.
    EmptyTheClipboard();
    EXPECT_EQ(HexViewPaste(a.control()), 1);
    EXPECT_EQ(HexViewGetLastError(a.control()), 0u);
    EXPECT_EQ(HexViewGetSize(a.control()), 0u);
}

TEST_F(ClipboardTest, TheDataObjectOffersItsFormatsInOrder) {
    HexViewHost a;
    a.SetBytes(CountingBytes(40));
    HexViewSetSelection(a.control(), 0x20, 0x08);
    ASSERT_EQ(HexViewCopy(a.control()), 1);
    UniqueCom<IDataObject> data;
    ASSERT_EQ(OleGetClipboard(data.put()), S_OK);

    UniqueCom<IEnumFORMATETC> formats;
    ASSERT_EQ(gHexClipboardObject->EnumFormatEtc(DATADIR_GET, formats.put()), S_OK);
    FORMATETC all[10];
    ULONG fetched = 0;
    EXPECT_EQ(formats->Next(10, all, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 7u);
    const struct {
        UINT format;
        DWORD tymed;
    } expected[] = {{gHexFormats.byteCount, TYMED_HGLOBAL},
                    {CF_TEXT, TYMED_HGLOBAL},
                    {gHexFormats.fileGroupDescriptor, TYMED_HGLOBAL},
                    {gHexFormats.fileContents, TYMED_ISTREAM},
                    {gHexFormats.snapshot, TYMED_HGLOBAL},
                    {CF_TEXT, TYMED_ISTREAM},
                    {gHexFormats.sourceWindow, TYMED_HGLOBAL}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(all[i].cfFormat, expected[i].format) << i;
        EXPECT_EQ(all[i].tymed, expected[i].tymed) << i;
        EXPECT_EQ(all[i].lindex, -1);
    }
    // Next with a null count asks for exactly one; Skip, Reset and Clone keep their places.
    EXPECT_EQ(formats->Next(2, all, nullptr), S_FALSE);
    formats->Reset();
    EXPECT_EQ(formats->Skip(5), S_OK);
    UniqueCom<IEnumFORMATETC> clone;
    ASSERT_EQ(formats->Clone(clone.put()), S_OK);
    EXPECT_EQ(formats->Skip(3), S_FALSE);
    EXPECT_EQ(clone->Next(1, all, nullptr), S_OK);
    EXPECT_EQ(all[0].cfFormat, CF_TEXT);
    EXPECT_EQ(all[0].tymed, static_cast<DWORD>(TYMED_ISTREAM));
    EXPECT_EQ(formats->Clone(nullptr), E_INVALIDARG);
    clone.reset();

    EXPECT_EQ(gHexClipboardObject->EnumFormatEtc(DATADIR_SET, formats.put()), E_NOTIMPL);
    FORMATETC stream = Query(CF_TEXT, TYMED_ISTREAM);
    EXPECT_EQ(data->QueryGetData(&stream), S_OK);
    FORMATETC icon = Query(CF_TEXT, TYMED_HGLOBAL);
    icon.dwAspect = DVASPECT_ICON;
    EXPECT_EQ(gHexClipboardObject->QueryGetData(&icon), DV_E_DVASPECT);
    FORMATETC file = Query(gHexFormats.fileContents, TYMED_HGLOBAL);
    EXPECT_EQ(gHexClipboardObject->QueryGetData(&file), DV_E_TYMED);

    DWORD count = 0;
    Bytes rendering = Rendering(data.get(), gHexFormats.byteCount);
    ASSERT_EQ(rendering.size(), 4u);
    std::memcpy(&count, rendering.data(), 4);
    EXPECT_EQ(count, 8u);
    rendering = Rendering(data.get(), gHexFormats.sourceWindow);
    ASSERT_EQ(rendering.size(), 4u);
    EXPECT_EQ(*reinterpret_cast<const DWORD*>(rendering.data()),
              static_cast<DWORD>(reinterpret_cast<UINT_PTR>(a.control())));
    // The snapshot: the source window, one extent of the original block at 0x20.
    rendering = Rendering(data.get(), gHexFormats.snapshot);
    ASSERT_EQ(rendering.size(), 20u);
    const auto* words = reinterpret_cast<const DWORD*>(rendering.data());
    EXPECT_EQ(words[0], static_cast<DWORD>(reinterpret_cast<UINT_PTR>(a.control())));
    EXPECT_EQ(words[1], 1u);
    EXPECT_EQ(words[2], 0x20u);
    EXPECT_EQ(words[3], 8u);
    // Text as a block, and as a stream when a stream is acceptable.
    Bytes text = CountingBytes(8, 0x20);
    text.push_back(0);
    EXPECT_EQ(Rendering(data.get(), CF_TEXT), text);
    FORMATETC either = Query(CF_TEXT, TYMED_HGLOBAL | TYMED_ISTREAM);
    UniqueMedium medium;
    ASSERT_EQ(gHexClipboardObject->GetData(&either, medium.put()), S_OK);
    ASSERT_EQ(medium.get().tymed, static_cast<DWORD>(TYMED_ISTREAM));
    EXPECT_EQ(ReadStream(medium.get().pstm), CountingBytes(8, 0x20));
    medium.reset();
    data.reset();
    ExpectNoObjectsLeft(1);
}

TEST_F(ClipboardTest, TheSelectionIsAVirtualFileNamedAfterTheDocument) {
    TempDir dir;
    std::string path = dir.File("data.bin");
    WriteFileBytes(path, CountingBytes(0x40));
    HexViewHost a;
    ASSERT_EQ(HexViewOpenFile(a.control(), path.c_str(), TRUE, FALSE), 1);
    HexViewSetSelection(a.control(), 0x10, 0x10);
    ASSERT_EQ(HexViewCopy(a.control()), 1);
    // What the name says is the selection of the copy, not of later moments.
    HexViewSetSelection(a.control(), 0, 1);

    Bytes group = Rendering(gHexClipboardObject, gHexFormats.fileGroupDescriptor);
    ASSERT_EQ(group.size(), 668u);
    const auto* descriptor = reinterpret_cast<const FILEGROUPDESCRIPTORA*>(group.data());
    EXPECT_EQ(descriptor->cItems, 1u);
    EXPECT_EQ(descriptor->fgd[0].dwFlags, 0x44u);
    EXPECT_EQ(descriptor->fgd[0].dwFileAttributes, 0x80u);
    EXPECT_EQ(descriptor->fgd[0].nFileSizeHigh, 0u);
    EXPECT_EQ(descriptor->fgd[0].nFileSizeLow, 16u);
    EXPECT_STREQ(descriptor->fgd[0].cFileName, "data-[00000010-00000020].bin");

    FORMATETC contents = Query(gHexFormats.fileContents, TYMED_ISTREAM);
    contents.lindex = 0;  // the shell asks for file 0
    UniqueMedium medium;
    ASSERT_EQ(gHexClipboardObject->GetData(&contents, medium.put()), S_OK);
    EXPECT_EQ(ReadStream(medium.get().pstm), CountingBytes(16, 0x10));
    medium.reset();

    // A document without a file still exports a file with a name.
    HexViewHost b;
    b.SetBytes(CountingBytes(4));
    HexViewSetSelection(b.control(), 1, 2);
    ASSERT_EQ(HexViewCopy(b.control()), 1);
    group = Rendering(gHexClipboardObject, gHexFormats.fileGroupDescriptor);
    ASSERT_EQ(group.size(), 668u);
    EXPECT_STREQ(reinterpret_cast<const FILEGROUPDESCRIPTORA*>(group.data())->fgd[0].cFileName,
                 "HexData-[00000001-00000003].bin");
}

TEST_F(ClipboardTest, TheStreamReadsSeeksAndCopiesButIsNotWritten) {
    HexViewHost a;
    a.SetBytes(CountingBytes(100));
    HexViewSetInsertMode(a.control(), 1);
    HexViewSetCaret(a.control(), 50);
    a.Char('A');  // a typed byte: a second piece inside the selection
    HexViewSetSelection(a.control(), 40, 20);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(a.inst());
    ASSERT_NE(data.get(), nullptr);
    FORMATETC contents = Query(gHexFormats.fileContents, TYMED_ISTREAM);
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&contents, &medium), S_OK);
    data.reset();  // the stream lives on without its data object
    UniqueCom<IStream> stream(medium.pstm);
    Bytes expected = a.Bytes();
    expected = Bytes(expected.begin() + 40, expected.begin() + 60);
    EXPECT_EQ(ReadStream(stream.get()), expected);

    ULONG got = 7;
    unsigned char byte = 0;
    EXPECT_EQ(stream->Read(&byte, 1, &got), S_FALSE);  // at the end
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(stream->Read(nullptr, 1, &got), STG_E_INVALIDPOINTER);
    LARGE_INTEGER move{};
    ULARGE_INTEGER at{};
    move.QuadPart = -3;
    ASSERT_EQ(stream->Seek(move, STREAM_SEEK_END, &at), S_OK);
    EXPECT_EQ(at.QuadPart, 17u);
    ASSERT_EQ(stream->Read(&byte, 1, &got), S_OK);
    EXPECT_EQ(byte, expected[17]);
    move.QuadPart = -100;
    EXPECT_EQ(stream->Seek(move, STREAM_SEEK_CUR, &at), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->Write(&byte, 1, &got), STG_E_ACCESSDENIED);
    EXPECT_EQ(got, 0u);

    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(stat.cbSize.QuadPart, 20u);
    ASSERT_NE(stat.pwcsName, nullptr);
    EXPECT_EQ(std::wstring(stat.pwcsName).size(), 5u);
    CoTaskMemFree(stat.pwcsName);
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.pwcsName, nullptr);
    EXPECT_EQ(stream->Stat(&stat, 7), STG_E_INVALIDFLAG);

    // CopyTo with and without its totals (OLE's own clipboard code passes none), and a clone
    // that keeps its own position.
    UniqueCom<IStream> target;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, target.put()), S_OK);
    move.QuadPart = 0;
    stream->Seek(move, STREAM_SEEK_SET, nullptr);
    ULARGE_INTEGER all;
    all.QuadPart = ~0ULL;
    ULARGE_INTEGER read{};
    ULARGE_INTEGER written{};
    ASSERT_EQ(stream->CopyTo(target.get(), all, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 20u);
    EXPECT_EQ(written.QuadPart, 20u);
    move.QuadPart = 5;
    stream->Seek(move, STREAM_SEEK_SET, nullptr);
    UniqueCom<IStream> clone;
    ASSERT_EQ(stream->Clone(clone.put()), S_OK);
    ULARGE_INTEGER four;
    four.QuadPart = 4;
    ASSERT_EQ(clone->CopyTo(target.get(), four, nullptr, nullptr), S_OK);
    EXPECT_EQ(ReadStream(stream.get()), Bytes(expected.begin() + 5, expected.end()));
    HGLOBAL copiedTemp = nullptr;  // the stream's own block
    GetHGlobalFromStream(target.get(), &copiedTemp);
    Bytes both = BlockBytes(copiedTemp);
    both.resize(24);
    Bytes twice = expected;
    twice.insert(twice.end(), expected.begin() + 5, expected.begin() + 9);
    EXPECT_EQ(both, twice);
    target.reset();
    clone.reset();
    stream.reset();
    EXPECT_EQ(HexViewLiveComObjects(), baseline_ + 1);  // the host's drop target
}

// Another program's data object that announces more bytes than it delivers.
class LyingData final : public IDataObject {
  public:
    LyingData(DWORD announced, Bytes text, bool asStream)
        : announced_(announced), text_(std::move(text)), asStream_(asStream) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IDataObject || iid == IID_IUnknown) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        *medium = STGMEDIUM{};
        if (format->cfFormat == gHexFormats.byteCount && (format->tymed & TYMED_HGLOBAL)) {
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = GlobalAlloc(GMEM_FIXED, 4);
            std::memcpy(medium->hGlobal, &announced_, 4);
            return S_OK;
        }
        if (format->cfFormat != CF_TEXT) return DV_E_FORMATETC;
        HGLOBAL block = GlobalAlloc(GMEM_FIXED, text_.size());
        std::memcpy(block, text_.data(), text_.size());
        if (asStream_ && (format->tymed & TYMED_ISTREAM)) {
            medium->tymed = TYMED_ISTREAM;
            return CreateStreamOnHGlobal(block, TRUE, &medium->pstm);
        }
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format->cfFormat == CF_TEXT || format->cfFormat == gHexFormats.byteCount
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
        static FORMATETC formats[2];
        formats[0] = Query(gHexFormats.byteCount, TYMED_HGLOBAL);
        formats[1] = Query(CF_TEXT, asStream_ ? TYMED_ISTREAM : TYMED_HGLOBAL);
        return SHCreateStdEnumFmtEtc(2, formats, out);
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  private:
    ULONG refs_ = 1;
    DWORD announced_;
    Bytes text_;
    bool asStream_;
};

TEST_F(ClipboardTest, APasteTakesNoMoreThanArrivesWhateverTheCountSays) {
    for (bool asStream : {false, true}) {
        LyingData lying(1000, {'a', 0, 'b', 'c'}, asStream);
        ASSERT_EQ(OleSetClipboard(&lying), S_OK);
        HexViewHost b;
        b.SetBytes({1, 2});
        HexViewSetInsertMode(b.control(), 1);
        ASSERT_EQ(HexViewPaste(b.control()), 1);
        EXPECT_EQ(b.Bytes(), (Bytes{'a', 0, 'b', 'c', 1, 2})) << asStream;
        EXPECT_EQ(HexViewGetCaret(b.control()), 4u);
        EmptyTheClipboard();
    }
}

TEST_F(ClipboardTest, AGetDataHereBlockMustHoldTheRendering) {
    HexViewHost a;
    a.SetBytes(CountingBytes(32));
    HexViewSetSelection(a.control(), 4, 16);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(a.inst());
    ASSERT_NE(data.get(), nullptr);
    HexViewSetCaret(a.control(), 6);
    a.Char('F');  // the document changes after the copy; the snapshot does not
    ASSERT_EQ(a.Bytes()[6], 0xF6);
    // Renders into a caller's fixed block of size bytes; the result, and the block's bytes.
    auto renderInto = [&](UINT format, SIZE_T size, Bytes* bytes) {
        FORMATETC query = Query(format, TYMED_HGLOBAL);
        UniqueGlobal block(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size));
        STGMEDIUM medium{TYMED_HGLOBAL};
        medium.hGlobal = block.get();
        const HRESULT hr = data->GetDataHere(&query, &medium);
        *bytes = BlockBytes(block.get());
        return hr;
    };
    Bytes bytes;
    EXPECT_EQ(renderInto(CF_TEXT, 8, &bytes), STG_E_MEDIUMFULL);
    ASSERT_EQ(renderInto(CF_TEXT, 17, &bytes), S_OK);
    Bytes expected = CountingBytes(16, 4);
    expected.push_back(0);
    EXPECT_EQ(bytes, expected);
    // The count format gets its count, not bytes of the selection.
    ASSERT_EQ(renderInto(gHexFormats.byteCount, 4, &bytes), S_OK);
    EXPECT_EQ(bytes, (Bytes{16, 0, 0, 0}));
    // Into a stream of the caller's (how OLE renders a stream format for other programs).
    FORMATETC contents = Query(gHexFormats.fileContents, TYMED_ISTREAM);
    UniqueCom<IStream> target;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, target.put()), S_OK);
    STGMEDIUM stream{TYMED_ISTREAM};
    stream.pstm = target.get();  // borrowed: the caller's stream stays the caller's
    ASSERT_EQ(data->GetDataHere(&contents, &stream), S_OK);
    HGLOBAL writtenTemp = nullptr;  // the stream's own block
    GetHGlobalFromStream(target.get(), &writtenTemp);
    bytes = BlockBytes(writtenTemp);
    bytes.resize(16);
    EXPECT_EQ(bytes, CountingBytes(16, 4));
    FORMATETC text = Query(CF_TEXT, TYMED_HGLOBAL);
    STGMEDIUM file{TYMED_FILE};
    EXPECT_EQ(data->GetDataHere(&text, &file), DV_E_TYMED);
}

TEST_F(ClipboardTest, StoredFormatsAreKeptReplacedAndLimited) {
    HexViewHost a;
    a.SetBytes(CountingBytes(8));
    HexViewSetSelection(a.control(), 0, 8);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(a.inst());
    ASSERT_NE(data.get(), nullptr);
    // Stores a block of the format holding value; the data object keeps it on success.
    auto store = [&](UINT format, DWORD value, BOOL release) {
        FORMATETC query = Query(format, TYMED_HGLOBAL);
        UniqueGlobal block(GlobalAlloc(GMEM_FIXED, 4));
        std::memcpy(block.get(), &value, 4);
        STGMEDIUM medium{TYMED_HGLOBAL};
        medium.hGlobal = block.get();
        const HRESULT hr = data->SetData(&query, &medium, release);
        if (SUCCEEDED(hr)) block.release();
        return hr;
    };
    const UINT effect = RegisterClipboardFormatA("Performed DropEffect");
    EXPECT_EQ(store(effect, 1, FALSE), E_FAIL);
    EXPECT_EQ(store(effect, 1, TRUE), S_OK);
    EXPECT_EQ(store(effect, 2, TRUE), S_OK);  // replaces the first
    EXPECT_EQ(Rendering(data.get(), effect), (Bytes{2, 0, 0, 0}));
    // The table holds ten entries: seven of its own and three stored.
    for (UINT i = 0; i < 2; ++i) {
        const UINT extra = RegisterClipboardFormatA(("Extra " + std::to_string(i)).c_str());
        EXPECT_EQ(store(extra, i, TRUE), S_OK);
    }
    EXPECT_EQ(store(RegisterClipboardFormatA("Extra full"), 0, TRUE), E_FAIL);
    data.reset();
    EXPECT_EQ(HexViewLiveComObjects(), baseline_ + 1);
}

// Closing a document asks about its clipboard data from 64 KiB on.
TEST_F(ClipboardTest, ClosingTheDocumentAsksAboutLargeClipboardData) {
    HexViewHost a;
    a.SetBytes(CountingBytes(100000));
    HexViewSetSelection(a.control(), 0, 100000);
    ASSERT_EQ(HexViewCopy(a.control()), 1);
    {
        BoxAnswerer no("HexView32", IDNO);
        HexViewNew(a.control());
        ASSERT_EQ(no.Texts().size(), 1u);
        EXPECT_EQ(no.Texts()[0],
                  "There is 97 Kb of data currently in the Clipboard.\nWould you like to leave "
                  "this data for other applications?");
    }
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_EQ(gHexClipboardObject, nullptr);

    a.SetBytes(CountingBytes(100000));
    HexViewSetSelection(a.control(), 0, 100000);
    ASSERT_EQ(HexViewCopy(a.control()), 1);
    {
        BoxAnswerer yes("HexView32", IDYES);
        HexViewNew(a.control());
        EXPECT_EQ(yes.Texts().size(), 1u);
    }
    Bytes text = ClassicText();
    ASSERT_EQ(text.size(), 100001u);
    EXPECT_EQ(Bytes(text.begin(), text.end() - 1), CountingBytes(100000));
    // The exact count stays too, so a control pastes the zero bytes as well.
    HexViewHost b;
    HexViewSetInsertMode(b.control(), 1);
    ASSERT_EQ(HexViewPaste(b.control()), 1);
    EXPECT_EQ(HexViewGetSize(b.control()), 100000u);
    EXPECT_EQ(HexViewLiveComObjects(), baseline_ + 2);
}

TEST_F(ClipboardTest, SmallDataIsKeptWithoutAQuestionWhenTheControlGoes) {
    BoxAnswerer boxes;
    {
        HexViewHost a;
        a.SetBytes(CountingBytes(65535));
        HexViewSetSelection(a.control(), 0, 65535);
        ASSERT_EQ(HexViewCopy(a.control()), 1);
    }
    EXPECT_TRUE(boxes.Texts().empty());
    Bytes text = ClassicText();
    ASSERT_EQ(text.size(), 65536u);
    EXPECT_EQ(Bytes(text.begin(), text.end() - 1), CountingBytes(65535));
    EXPECT_EQ(HexViewLiveComObjects(), baseline_);
}

TEST_F(ClipboardTest, ClosingAnotherDocumentLeavesTheClipboardAlone) {
    BoxAnswerer boxes("HexView32", IDNO);  // outlives the hosts
    HexViewHost a;
    HexViewHost b;
    a.SetBytes(kWithZeros);
    b.SetBytes(CountingBytes(70000));
    HexViewSetSelection(b.control(), 0, 70000);
    ASSERT_EQ(HexViewCopy(b.control()), 1);
    IDataObject* onClipboard = gHexClipboardObject;  // borrowed
    HexViewNew(a.control());
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(OleIsCurrentClipboard(onClipboard), S_OK);
    HexViewNew(b.control());
    EXPECT_EQ(boxes.Texts().size(), 1u);
}

// Data objects and streams that outlive their document render nothing rather than whatever
// the extents would name in a later document.
TEST_F(ClipboardTest, ASnapshotOutlivingItsDocumentRendersNothing) {
    HexViewHost a;
    a.SetBytes(CountingBytes(16));
    HexViewSetSelection(a.control(), 0, 16);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(a.inst());
    ASSERT_NE(data.get(), nullptr);
    FORMATETC stream = Query(CF_TEXT, TYMED_ISTREAM);
    UniqueMedium medium;
    ASSERT_EQ(data->GetData(&stream, medium.put()), S_OK);
    a.SetBytes(CountingBytes(16, 0x80));  // the old document closes
    EXPECT_TRUE(Rendering(data.get(), CF_TEXT).empty());
    unsigned char byte = 0;
    ULONG got = 1;
    EXPECT_EQ(medium.get().pstm->Read(&byte, 1, &got), STG_E_REVERTED);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(data->GetData(&stream, medium.put()), E_FAIL);
    data.reset();
    EXPECT_EQ(HexViewLiveComObjects(), baseline_ + 1);
}

// The other process's parts ----------------------------------------------------------------

TEST(ClipboardChild, ReadText) {
    if (!IsChildRole("read-text")) GTEST_SKIP() << "the second process of a clipboard test";
    Bytes text = ClassicText();
    Bytes length(4);
    const DWORD stringLength =
        text.empty() ? 0 : static_cast<DWORD>(lstrlenA(reinterpret_cast<const char*>(text.data())));
    std::memcpy(length.data(), &stringLength, 4);
    WriteFileBytes(ChildFolder() + "text.bin", text);
    WriteFileBytes(ChildFolder() + "length.bin", length);
}

TEST(ClipboardChild, CopyFromAControl) {
    if (!IsChildRole("copy")) GTEST_SKIP() << "the second process of a clipboard test";
    testing_support::RegisterHexViewForTests();
    HexViewHost a;
    a.SetBytes(kWithZeros);
    HexViewSetSelection(a.control(), 0, static_cast<DWORD>(kWithZeros.size()));
    ASSERT_EQ(HexViewCopy(a.control()), 1);
    WriteFileBytes(ChildFolder() + "copied", {});
    // The clipboard renders through this process: keep it answering until the parent is done.
    WaitForFile(ChildFolder() + "done", 30000);
}

TEST_F(ClipboardTest, AnotherProgramReadsTheTextUpToItsFirstZero) {
    HexViewHost a;
    a.SetBytes(kWithZeros);
    HexViewSetSelection(a.control(), 0, 8);
    ASSERT_EQ(HexViewCopy(a.control()), 1);
    TempDir dir;
    Process child = StartChildTest("ClipboardChild.ReadText", "read-text", dir.path());
    ASSERT_TRUE(WaitForFile(dir.File("length.bin")));
    ASSERT_TRUE(child.Wait(20000));
    Bytes text = ReadFileBytes(dir.File("text.bin"));
    Bytes expected = kWithZeros;
    expected.push_back(0);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(ReadFileBytes(dir.File("length.bin")), (Bytes{1, 0, 0, 0}));
    EXPECT_FALSE(HexViewIsModified(a.control()));
}

TEST_F(ClipboardTest, AControlInAnotherProcessPastesEveryByte) {
    TempDir dir;
    Process child = StartChildTest("ClipboardChild.CopyFromAControl", "copy", dir.path());
    ASSERT_TRUE(WaitForFile(dir.File("copied")));
    HexViewHost b;
    HexViewSetInsertMode(b.control(), 1);
    ASSERT_EQ(HexViewPaste(b.control()), 1);
    WriteFileBytes(dir.File("done"), {});
    EXPECT_EQ(b.Bytes(), kWithZeros);
    EXPECT_TRUE(child.Wait(20000));
}

}  // namespace
