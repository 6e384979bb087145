// The hex editor in the real Vorland.exe with files as users meet them: Intel HEX and S-record
// files saved back in their own shape and loaded by the programmer window where they were;
// compares with such files and with shorter ones; commits of data past the chip; files that
// another program truncates, replaces or deletes under the editor; saves that fail, and why.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formats/image_formats.h"
#include "platform/files.h"
#include "tests/win/support/hex_editor_app_fixture.h"

namespace {

using namespace testing_support;

std::string Records(std::initializer_list<const char*> records) {
    std::string text;
    for (const char* record : records) text += std::string(record) + "\r\n";
    return text;
}

// One 16-byte record (00 to 0F) at 070000 and a start address, as a HEX and an S-record file,
// and the files saved after AB was typed over the first byte.
const std::string kHex = Records({":020000040007F3", ":10000000000102030405060708090A0B0C0D0E0F78",
                                  ":0400000500070123CC", ":00000001FF"});
const std::string kHexTyped =
    Records({":020000040007F3", ":10000000AB0102030405060708090A0B0C0D0E0FCD",
             ":0400000500070123CC", ":00000001FF"});
const std::string kSRecord =
    Records({"S00600004844521B", "S214070000000102030405060708090A0B0C0D0E0F6C", "S5030001FB",
             "S804070004F0"});
const std::string kSRecordTyped =
    Records({"S00600004844521B", "S214070000AB0102030405060708090A0B0C0D0E0FC1", "S5030001FB",
             "S804070004F0"});

class HexEditorFilesTest : public HexEditorAppTest {
  protected:
    std::string File(const std::string& name, const std::string& text) {
        const std::string path = app_.dir().File(name);
        WriteFileBytes(path, Bytes(text.begin(), text.end()));
        return path;
    }
    void GoTo(const char* offset) {
        Command(IDM_GOTO);
        ASSERT_TRUE(Answer(Dialog("Go To", IDC_GOTO_OFFSET), IDC_GOTO_OFFSET, offset));
    }
    // Open after the questions before the document goes, answered with No.
    std::string OpenAnsweringNo(const std::string& path) {
        Command(IDM_OPEN);
        AnswerPrompts({IDNO, IDNO});
        EXPECT_TRUE(app_.AnswerFileDialog(path, "Select File To Open..."));
        PumpMessages(300);
        return WindowText(editor_);
    }
};

// Saved, a HEX or S-record file is the file it was with the typed byte: its gaps stay gaps, its
// header and start address stay, and the programmer window loads it where it was. Data far up
// (16 bytes at 01000000) saves back; an empty document saved as HEX opens again. A document
// with data past the chip commits nothing, as loading its file would.
TEST_F(HexEditorFilesTest, AHexOrSRecordFileKeepsItsShapeWhenSaved) {
    const std::string hex = File("fw.hex", kHex);
    const std::string srec = File("fw.s28", kSRecord);
    OpenEditor();
    struct Saved {
        std::string path;
        const char* caption;
        std::string typed;
    };
    for (const Saved& file : {Saved{hex, "fw.hex - Hex Editor", kHexTyped},
                              Saved{srec, "fw.s28 - Hex Editor", kSRecordTyped}}) {
        EXPECT_EQ(OpenAnsweringNo(file.path), file.caption);
        EXPECT_EQ(Part(3), "458768 bytes");
        GoTo("70000");
        Type("AB");
        EXPECT_EQ(OpenOrSave(IDM_SAVE_AS, file.path), file.caption);
        EXPECT_EQ(ReadFileText(file.path), file.typed);
    }

    const std::string high =
        Records({":020000040100F9", ":10000000000102030405060708090A0B0C0D0E0F78", ":00000001FF"});
    EXPECT_EQ(OpenAnsweringNo(File("high.hex", high)), "high.hex - Hex Editor");
    const std::string copy = app_.dir().File("high2.hex");
    EXPECT_EQ(OpenOrSave(IDM_SAVE_AS, copy), "high2.hex - Hex Editor");
    EXPECT_EQ(ReadFileText(copy), high);

    Command(IDM_NEW);
    AnswerPrompts({IDNO});
    const std::string empty = app_.dir().File("empty.hex");
    EXPECT_EQ(OpenOrSave(IDM_SAVE_AS, empty), "empty.hex - Hex Editor");
    EXPECT_EQ(ReadFileText(empty), ":00000001FF\r\n");
    EXPECT_EQ(OpenAnsweringNo(hex), "fw.hex - Hex Editor");
    EXPECT_EQ(OpenAnsweringNo(empty), "empty.hex - Hex Editor");
    EXPECT_EQ(PartBecomes(3, "0 bytes"), "0 bytes");

    const std::string past =
        Records({":02000004007F7B", ":10FFF000000102030405060708090A0B0C0D0E0F89", ":00000001FF"});
    EXPECT_EQ(OpenAnsweringNo(File("past.hex", past)), "past.hex - Hex Editor");
    Command(IDM_COMMIT_CHANGES);
    EXPECT_EQ(Warning(),
              "The data at 7FFFF0-7FFFFF lies past the 32768 bytes the chip holds "
              "(000000-007FFF). Nothing was committed.");
    EXPECT_EQ(CloseAnswering({IDNO}), Lines{"Commit changes to the active bin?"});
    EXPECT_EQ(SavedBuffer(), ChipPattern());

    const std::size_t before = app_.Log().size();
    app_.Press(IDC_LOAD_FILE);
    ASSERT_TRUE(app_.AnswerFileDialog(hex, "Select File..."));
    PumpMessages(300);
    const Lines loaded = app_.LogSince(before);
    EXPECT_NE(
        std::find(loaded.begin(), loaded.end(), "Intel HEX: 16 bytes (0x10) at 070000-07000F"),
        loaded.end());
}

// A HEX file compares where it gives bytes and nowhere else; a shorter binary file where both
// have bytes, the rest told apart; F6 visits the byte differences first. A save that changes no
// byte keeps the differences, and F6 goes on through them.
TEST_F(HexEditorFilesTest, ComparesCountWhatBothGiveAndASaveKeepsTheirMarks) {
    const Bytes chip = ChipPattern();
    Bytes part(chip.begin() + 0x100, chip.begin() + 0x110);
    part[5] ^= 0xFF;
    const std::string hex = File("part.hex", WriteIntelHex(part.data(), 16, 0x100));
    Bytes shorter(chip.begin(), chip.begin() + 0x4000);
    shorter[0x20] ^= 0xFF;
    const std::string bin = File("short.bin", std::string(shorter.begin(), shorter.end()));

    OpenEditor();
    Command(IDM_COMPARE_FILE);
    ASSERT_TRUE(app_.AnswerFileDialog(hex, "Select File To Compare..."));
    const std::string given = "Differences: 1 range, 1 byte; 16 bytes compared";
    EXPECT_EQ(PartBecomes(0, given), given);
    SetForegroundWindow(editor_);
    PressKeys({VK_F6});
    EXPECT_EQ(Part(1), "Selection: 00000106 - 00000105");

    Command(IDM_COMPARE_FILE);
    ASSERT_TRUE(app_.AnswerFileDialog(bin, "Select File To Compare..."));
    const std::string longer = "Differences: 1 range, 1 byte; the document is 16,384 bytes longer";
    EXPECT_EQ(PartBecomes(0, longer), longer);
    GoTo("0");
    for (const char* selection :
         {"Selection: 00000021 - 00000020", "Selection: 00008000 - 00004000",
          "Selection: 00000021 - 00000020"}) {
        PressKeys({VK_F6});
        EXPECT_EQ(Part(1), selection);
    }

    EXPECT_EQ(OpenOrSave(IDM_SAVE_AS, app_.dir().File("copy.bin")), "copy.bin - Hex Editor");
    EXPECT_EQ(PartBecomes(0, longer), longer);
    PressKeys({VK_F6});
    EXPECT_EQ(Part(1), "Selection: 00000021 - 00000020");
}

// What another program does to a file under the editor, and what a save then does.
class ChangedFileTest : public HexEditorFilesTest {
  protected:
    void SetUp() override {
        HexEditorFilesTest::SetUp();
        bytes_.resize(0x10000);
        for (std::size_t i = 0; i < bytes_.size(); ++i) {
            bytes_[i] = static_cast<unsigned char>(i * 13 + 1);
        }
        OpenEditor();
    }
    // Opens the file (name) holding bytes_ and types 5A over its first byte.
    std::string OpenEdited(const std::string& name) {
        const std::string path = File(name, std::string(bytes_.begin(), bytes_.end()));
        EXPECT_EQ(OpenAnsweringNo(path), name + " - Hex Editor");
        Type("5A");
        return path;
    }
    // What another program does to a file, by its Unix path.
    void Shell(const std::string& command) { ASSERT_TRUE(RunUnixShell(command)) << command; }
    static std::string Unix(const std::string& path) { return "'" + UnixPath(path) + "'"; }

    Bytes bytes_;
};

// Another program truncates the document's file: Go To into the part that went says so, the
// program runs on with its edits, and a save says why it cannot.
TEST_F(ChangedFileTest, AFileThatShrinksIsToldAndTheEditsStay) {
    const std::string path = OpenEdited("e.bin");
    Shell("truncate -s 0 " + Unix(path));
    GoTo("8000");
    EXPECT_EQ(Warning(), "Part of the file could not be read. It may have been moved or locked.");
    ASSERT_TRUE(IsWindow(editor_));
    EXPECT_EQ(Part(1), "Cursor: 00008000");
    GoTo("0");
    EXPECT_EQ(Part(2), "Value: 5A");
    OpenOrSave(IDM_SAVE_AS, path);
    EXPECT_EQ(Warning(), "The buffer could not be saved to " + path +
                             ". Part of the file could not be read. It may have been moved or "
                             "locked.");
    EXPECT_EQ(Part(2), "Value: 5A");
}

// A file replaced or deleted under the editor gets the document, edits and all, when it is
// saved; a save that the system refuses says the system's reason.
TEST_F(ChangedFileTest, ASaveReachesTheFileAtItsPathOrSaysWhyNot) {
    Bytes edited = bytes_;
    edited[0] = 0x5A;
    for (const char* name : {"replaced.bin", "deleted.bin"}) {
        const std::string own = OpenEdited(name);
        if (own == app_.dir().File("replaced.bin")) {
            Shell("mv " + Unix(File("new.bin", "other")) + " " + Unix(own));
        } else {
            Shell("rm " + Unix(own));
        }
        EXPECT_EQ(OpenOrSave(IDM_SAVE_AS, own), std::string(name) + " - Hex Editor");
        EXPECT_EQ(ReadFileBytes(own), edited) << name;
        EXPECT_EQ(Part(3), "65536 bytes");
        GoTo("0");
        EXPECT_EQ(Part(2), "Value: 5A");
    }

    const std::string readOnly = File("ro.bin", "ro");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    OpenOrSave(IDM_SAVE_AS, readOnly);
    EXPECT_EQ(Warning(), "The buffer could not be saved to " + readOnly + ". " +
                             FileErrorText(ERROR_ACCESS_DENIED));
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
