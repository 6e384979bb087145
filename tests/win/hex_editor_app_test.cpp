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

#include "formats/checksums.h"
#include "formats/image_formats.h"
#include "tests/win/support/hex_editor_app_fixture.h"

namespace {

using namespace testing_support;

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
    // Programmed, and read back.
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kEditorVerified).back(), kEditorVerified);
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
    // Programmed, and read back.
    EXPECT_EQ(app_.Run(IDC_PROGRAM_CHIP, kEditorVerified).back(), kEditorVerified);
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
// for a file again (hex_editor_files_test: HEX files and shorter ones).
TEST_F(HexEditorAppTest, CompareWithAFileCountsAndStepsThroughTheDifferences) {
    Bytes other = ChipPattern();
    for (auto [first, count] : {std::pair{0x40, 1}, {0x86, 16}, {0xC5, 2}}) {
        for (int at = first; at < first + count; ++at) other[at] ^= 0xFF;
    }
    const std::string path = app_.dir().File("other.bin");
    testing_support::WriteFileBytes(path, other);

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
    PressKeys({VK_F6});
    EXPECT_TRUE(app_.AnswerFileDialog("", "Select File To Compare..."));
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
// nothing. Saved under an S-record name it is written as records of its data, under another
// name as bytes.
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
    EXPECT_EQ(written.lowest(), 0x100u);
    EXPECT_EQ(written.dataBytes(), record.size());
    Bytes records(record.size());
    written.CopyOut(0x100, static_cast<std::uint32_t>(record.size()), 0, records.data());
    EXPECT_EQ(records, record);
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
