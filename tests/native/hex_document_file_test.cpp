// The document and real files: opening by mapping and by reading, saving in place and through a
// temporary file, failed saves that must leave the original whole, and inserting files.
#include "document/hex_document_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <cerrno>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/native/support/hex_document_model.h"
#include "tests/native/support/scratch_files.h"

namespace {

std::vector<std::uint8_t> Contents(HexDocument& doc) {
    std::vector<std::uint8_t> bytes(doc.length);
    if (doc.length > 0) {
        EXPECT_NE(HexDocRead(doc, bytes.data(), 0, doc.length), nullptr);
    }
    return bytes;
}

struct stat StatOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info;
}

// Names of the files in a folder.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Every test gets its own folder, and its own temporary folder for the saves' temporary files.
class HexFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        temp_ = dir_.File("temp");
        std::filesystem::create_directory(temp_);
        const char* old = std::getenv("TMPDIR");
        oldTemp_ = old != nullptr ? old : "";
        setenv("TMPDIR", temp_.c_str(), 1);
    }
    void TearDown() override {
        if (oldTemp_.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", oldTemp_.c_str(), 1);
        }
    }
    std::string MakeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::string path = dir_.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }

    ScratchDir dir_;
    std::string temp_;
    std::string oldTemp_;
    HexDocument doc_;
};

// ---- Opening ------------------------------------------------------------------------------

TEST_F(HexFileTest, OpeningByMappingKeepsTheFileOpenAndSavableInPlace) {
    auto bytes = PatternBytes(5000);
    std::string path = MakeFile("a.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(doc_.error, kHexOk);
    EXPECT_EQ(Contents(doc_), bytes);
    EXPECT_EQ(std::string(doc_.filePath), path);
    EXPECT_EQ(doc_.inPlaceSavable, 1);
    EXPECT_NE(HexDocOriginalFileTemp(doc_), kNoFile);
    EXPECT_FALSE(HexDocOriginalReadOnly(doc_));
    // Others may read it, but not write or delete it, while it is the document.
    FileError why;
    FileHandle reader = OpenExistingFile(path.c_str(), false, kShareRead | kShareWrite, &why);
    EXPECT_NE(reader, kNoFile);
    CloseFile(reader);
    EXPECT_EQ(OpenExistingFile(path.c_str(), true, kShareRead | kShareWrite, &why), kNoFile);
    EXPECT_EQ(why, FileError::kSharingViolation);
    EXPECT_FALSE(DeleteFilePath(path.c_str()));
}

TEST_F(HexFileTest, OpeningByReadingCopiesTheFileAndLetsItGo) {
    auto bytes = PatternBytes(70000);
    std::string path = MakeFile("a.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), false, false));
    EXPECT_EQ(Contents(doc_), bytes);
    EXPECT_EQ(doc_.inPlaceSavable, 0);
    EXPECT_EQ(HexDocOriginalFileTemp(doc_), kNoFile);
    EXPECT_TRUE(DeleteFilePath(path.c_str()));
    EXPECT_EQ(Contents(doc_), bytes);
}

TEST_F(HexFileTest, AnEmptyFileOpensAsAnEmptyDocumentEitherWay) {
    std::string path = MakeFile("empty.bin", {});
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(doc_.length, 0u);
    EXPECT_NE(HexDocOriginalFileTemp(doc_), kNoFile);  // kept, without a mapping
    ASSERT_TRUE(HexDocInsert(doc_, 0, "new", 3));
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(ReadWholeFile(path), (std::vector<std::uint8_t>{'n', 'e', 'w'}));

    std::string other = MakeFile("empty2.bin", {});
    ASSERT_TRUE(HexDocOpenFile(doc_, other.c_str(), false, false));
    EXPECT_EQ(doc_.length, 0u);
    EXPECT_EQ(std::string(doc_.filePath), other);
}

TEST_F(HexFileTest, OpeningTheOpenDocumentAgainFailsWithTwo) {
    std::string path = MakeFile("Rom.bin", PatternBytes(100));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocOverwrite(doc_, 0, "x", 1));
    std::string shouted = dir_.File("ROM.BIN");
    EXPECT_FALSE(HexDocOpenFile(doc_, shouted.c_str(), true, false));
    EXPECT_EQ(doc_.error, kHexAlreadyOpen);
    EXPECT_EQ(HexDocGetByte(doc_, 0), 'x');  // unchanged, edit and all
    EXPECT_EQ(doc_.undoStack.count, 2u);
}

TEST_F(HexFileTest, AReadOnlyFileGivesAReadOnlyDocumentThatCannotBeSaved) {
    auto bytes = PatternBytes(300);
    std::string path = MakeFile("ro.bin", bytes);
    chmod(path.c_str(), 0444);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_TRUE(HexDocOriginalReadOnly(doc_));
    ASSERT_TRUE(HexDocOverwrite(doc_, 5, "x", 1));
    EXPECT_FALSE(HexDocSaveInPlace(doc_));
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_FALSE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(doc_.error, kHexReadOnly);
    EXPECT_EQ(ReadWholeFile(path), bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, "*", false, false));  // by reading, read-only too
    EXPECT_TRUE(HexDocOriginalReadOnly(doc_));
}

TEST_F(HexFileTest, AFileInUseFailsWithThreeAndAMissingOneWith23) {
    std::string path = MakeFile("busy.bin", PatternBytes(100));
    FileHandle writer = OpenExistingFile(path.c_str(), true, kShareNone, nullptr);
    ASSERT_NE(writer, kNoFile);
    EXPECT_FALSE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(doc_.error, kHexSharingViolation);
    EXPECT_FALSE(HexDocOpenFile(doc_, path.c_str(), false, true));
    EXPECT_EQ(doc_.error, kHexSharingViolation);
    CloseFile(writer);

    // A second document wanting the file that a first one has mapped for writing.
    HexDocument first;
    ASSERT_TRUE(HexDocOpenFile(first, path.c_str(), true, false));
    EXPECT_FALSE(HexDocOpenFile(doc_, path.c_str(), true, true));
    EXPECT_EQ(doc_.error, kHexSharingViolation);

    EXPECT_FALSE(HexDocOpenFile(doc_, dir_.File("missing.bin").c_str(), true, false));
    EXPECT_EQ(doc_.error, kHexOpenFailed);
}

TEST_F(HexFileTest, FilesOf4GiBAreRefusedAndOneByteLessMaps) {
    std::string path = dir_.File("huge.bin");
    WriteWholeFile(path, {});
    ASSERT_EQ(truncate(path.c_str(), 0x100000000LL), 0);  // sparse: no disk space used
    EXPECT_FALSE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(doc_.error, kHexFileTooLarge);
    EXPECT_EQ(HexDocInsertMapped(doc_, 0, path.c_str(), 10, true), 0u);
    EXPECT_EQ(doc_.error, kHexFileTooLarge);

    ASSERT_EQ(truncate(path.c_str(), 0xFFFFFFFFLL), 0);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(doc_.length, 0xFFFFFFFFu);
    EXPECT_EQ(HexDocGetByte(doc_, 0xFFFFFFFE), 0);
    EXPECT_EQ(doc_.error, kHexOk);
    // Nothing more fits.
    EXPECT_FALSE(HexDocInsert(doc_, 5, "x", 1));
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_FALSE(HexDocInsert(doc_, 0xFFFFFFFF, "x", 1));
    HexDocClose(doc_);
    std::filesystem::remove(path);
}

// ---- Saving over the document's own file --------------------------------------------------

TEST_F(HexFileTest, SavingInPlaceChangesExactlyTheOverwrittenBytes) {
    auto bytes = PatternBytes(0x240000);  // past two window borders
    std::string path = MakeFile("rom.bin", bytes);
    auto inode = StatOf(path).st_ino;
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    std::vector<std::uint8_t> expected = bytes;
    auto overwrite = [&](std::uint32_t at, const std::string& text) {
        ASSERT_TRUE(
            HexDocOverwrite(doc_, at, text.data(), static_cast<std::uint32_t>(text.size())));
        std::copy(text.begin(), text.end(), expected.begin() + at);
    };
    overwrite(0, "AB");
    overwrite(0xFFFFE, "border");  // across the 1 MiB border
    overwrite(0x180000, "xyz");
    ASSERT_TRUE(HexDocFill(doc_, 0x200000, 0x5A, 0x30000));
    std::fill(expected.begin() + 0x200000, expected.begin() + 0x230000, 0x5A);
    HexByteRef(0x23FFFF, doc_) = 0x11;
    expected[0x23FFFF] = 0x11;
    ASSERT_TRUE(HexDocOverwrite(doc_, 10, "gone", 4));
    ASSERT_TRUE(HexDocUndo(doc_));  // an undone overwrite is not saved

    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(doc_.sourceCount, 0u);  // closed, to be reopened
    EXPECT_EQ(std::string(doc_.filePath), path);
    EXPECT_EQ(StatOf(path).st_ino, inode);  // the same file, written in place
    EXPECT_EQ(ReadWholeFile(path), expected);
    EXPECT_TRUE(FilesIn(temp_).empty());
    ASSERT_TRUE(HexDocOpenFile(doc_, "*", true, false));
    EXPECT_EQ(Contents(doc_), expected);
    EXPECT_EQ(doc_.undoStack.count, 0u);
}

TEST_F(HexFileTest, SavingAnUnmodifiedDocumentWritesNothing) {
    auto bytes = PatternBytes(4096);
    std::string path = MakeFile("same.bin", bytes);
    timespec stamp{1000000000, 0};
    timespec times[2] = {stamp, stamp};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(StatOf(path).st_mtim.tv_sec, stamp.tv_sec);
    EXPECT_EQ(ReadWholeFile(path), bytes);
}

TEST_F(HexFileTest, OneInsertedByteSavesThroughATemporaryFile) {
    auto bytes = PatternBytes(0x180000);
    std::string path = MakeFile("grow.bin", bytes);
    chmod(path.c_str(), 0640);
    auto inode = StatOf(path).st_ino;
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0x100000, "+", 1));
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    bytes.insert(bytes.begin() + 0x100000, '+');
    EXPECT_EQ(ReadWholeFile(path), bytes);
    EXPECT_NE(StatOf(path).st_ino, inode);          // replaced by the temporary file
    EXPECT_EQ(StatOf(path).st_mode & 0777, 0640u);  // with the old file's permissions
    EXPECT_TRUE(FilesIn(temp_).empty());
    EXPECT_EQ(FilesIn(dir_.File("")).size(), 2u);  // grow.bin and the temp folder
    ASSERT_TRUE(HexDocOpenFile(doc_, "*", true, false));
    EXPECT_EQ(Contents(doc_), bytes);
}

TEST_F(HexFileTest, ADocumentReadIntoMemorySavesThroughATemporaryFile) {
    std::string path = MakeFile("mem.bin", PatternBytes(1000));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), false, false));
    ASSERT_TRUE(HexDocOverwrite(doc_, 3, "abc", 3));
    auto expected = Contents(doc_);
    ASSERT_TRUE(HexDocSaveFile(doc_, path.c_str()));
    EXPECT_EQ(ReadWholeFile(path), expected);
    EXPECT_TRUE(FilesIn(temp_).empty());
}

TEST_F(HexFileTest, ATemporaryFolderOnAnotherVolumeIsCopiedBesideAndMoved) {
    if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
    char pattern[] = "/dev/shm/vorland-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    setenv("TMPDIR", pattern, 1);
    auto bytes = PatternBytes(20000);
    std::string path = MakeFile("far.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0, "head", 4));
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    bytes.insert(bytes.begin(), {'h', 'e', 'a', 'd'});
    EXPECT_EQ(ReadWholeFile(path), bytes);
    EXPECT_TRUE(FilesIn(pattern).empty());
    EXPECT_EQ(FilesIn(dir_.File("")).size(), 2u);  // nothing left beside it either
    std::filesystem::remove_all(pattern);
}

// ---- Saves that fail must lose nothing ----------------------------------------------------

// Once `gGateBytes` bytes have been written and flushed, the file system refuses everything, as
// a network share that drops would; before that it refuses only mapping windows when
// gRefuseMaps is set.
std::uint64_t gGateBytes = 0;
bool gRefuseMaps = false;
bool gShareGone = false;
bool DroppingShare(FileOp op, std::uint64_t bytes) {
    if (gShareGone) return false;
    if (op == FileOp::kWrite) gGateBytes -= std::min(gGateBytes, bytes);
    gShareGone = op == FileOp::kFlush && gGateBytes == 0;
    return !(op == FileOp::kRead && gRefuseMaps);
}

class DroppingShareTest : public HexFileTest {
  protected:
    void Drop(std::uint64_t afterBytes, bool refuseMaps) {
        gGateBytes = afterBytes;
        gShareGone = false;
        gRefuseMaps = refuseMaps;
        SetFileGate(&DroppingShare);
    }
    void TearDown() override {
        SetFileGate(nullptr);
        HexFileTest::TearDown();
    }
};

TEST_F(DroppingShareTest, AnOriginalThatCannotBeReplacedStaysWholeAndTheEditsAreKept) {
    auto bytes = PatternBytes(0x150000);
    std::string path = MakeFile("held.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0x120000, "++", 2));
    auto edited = Contents(doc_);
    // Another program reads the file and does not let it be replaced.
    FileHandle reader = OpenExistingFile(path.c_str(), false, kShareRead | kShareWrite, nullptr);
    ASSERT_NE(reader, kNoFile);
    EXPECT_FALSE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(doc_.error, kHexCreateFailed);
    EXPECT_EQ(ReadWholeFile(path), bytes);
    EXPECT_TRUE(FilesIn(temp_).empty());
    EXPECT_EQ(FilesIn(dir_.File("")).size(), 2u);
    // The document reads its original through new windows and still has its history.
    EXPECT_EQ(Contents(doc_), edited);
    EXPECT_EQ(hexmodel::CheckStructure(doc_), "");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Contents(doc_), bytes);
    ASSERT_TRUE(HexDocRedo(doc_));
    CloseFile(reader);

    // A share that goes away once the temporary copy is written: the original is out of reach
    // and the document closes, but the copy with the edits stays and is named.
    ASSERT_TRUE(HexDocInsert(doc_, 0, "+", 1));
    edited = Contents(doc_);
    Drop(edited.size(), false);
    const HexSaveOutcome lost = HexDocSaveFile(doc_, nullptr);
    SetFileGate(nullptr);
    EXPECT_FALSE(lost.saved);
    EXPECT_EQ(lost.error, kHexCreateFailed);
    EXPECT_EQ(doc_.sourceCount, 0u);
    ASSERT_NE(lost.keptFile[0], '\0');
    EXPECT_EQ(ReadWholeFile(lost.keptFile), edited);
    EXPECT_EQ(ReadWholeFile(path), bytes);
}

class FileSizeLimit : public HexFileTest {
protected:
    void Limit(rlim_t bytes) {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing us
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    void TearDown() override {
        if (saved_.rlim_max != 0) setrlimit(RLIMIT_FSIZE, &saved_);
        HexFileTest::TearDown();
    }
    rlimit saved_{};
};

TEST_F(FileSizeLimit, AFullDiskDuringTheTemporaryCopyLeavesTheOriginalAlone) {
    auto bytes = PatternBytes(200000);
    std::string path = MakeFile("full.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocInsert(doc_, 100, "x", 1));
    auto edited = Contents(doc_);
    Limit(100000);
    EXPECT_FALSE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(doc_.error, kHexCreateFailed);
    EXPECT_EQ(ReadWholeFile(path), bytes);
    EXPECT_TRUE(FilesIn(temp_).empty());
    EXPECT_EQ(Contents(doc_), edited);
    setrlimit(RLIMIT_FSIZE, &saved_);
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(ReadWholeFile(path), edited);
}

TEST_F(FileSizeLimit, AnotherFileThatCannotTakeTheDocumentIsLeftAsItWas) {
    std::string path = MakeFile("src.bin", PatternBytes(200000));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), false, false));
    Limit(100000);
    std::string target = dir_.File("copy.bin");
    EXPECT_FALSE(HexDocSaveFile(doc_, target.c_str()));
    EXPECT_EQ(doc_.error, kHexSetLengthFailed);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(doc_.length, 200000u);

    auto old = PatternBytes(5000, 3);
    std::string existing = MakeFile("old.bin", old);
    EXPECT_FALSE(HexDocSaveFile(doc_, existing.c_str()));
    EXPECT_EQ(ReadWholeFile(existing), old);
    EXPECT_EQ(FilesIn(dir_.File("")).size(), 3u);  // src.bin, old.bin and the temp folder
}

TEST_F(DroppingShareTest, AWindowThatCannotBeMappedFailsTheRead) {
    auto bytes = PatternBytes(0x300000);
    std::string path = MakeFile("big.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    Drop(~std::uint64_t{0}, true);
    std::vector<std::uint8_t> out(16, 0xEE);
    EXPECT_EQ(HexDocRead(doc_, out.data(), 16, 16), out.data());  // the first window is there
    EXPECT_EQ(HexDocRead(doc_, out.data(), 0x280000, 16), nullptr);
    EXPECT_EQ(doc_.error, kHexOpenFailed);
    SetFileGate(nullptr);
    ASSERT_EQ(HexDocRead(doc_, out.data(), 0x280000, 16), out.data());
    EXPECT_EQ(out, std::vector<std::uint8_t>(bytes.begin() + 0x280000, bytes.begin() + 0x280010));
}

// ---- A file that another program changes underneath ------------------------------------------

// A build that rewrites the image truncates it first: the part that went cannot be read (no
// fault), the typed bytes stay, and a save says it could not read the rest.
TEST_F(HexFileTest, AFileThatShrinksIsReportedUnreadableAndTheEditsStay) {
    std::string path = MakeFile("shrinks.bin", PatternBytes(0x10000));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocOverwrite(doc_, 0x10, "Z", 1));
    ASSERT_EQ(truncate(path.c_str(), 0), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(HexDocRead(doc_, &byte, 0x8000, 1), nullptr);
    EXPECT_EQ(doc_.error, kHexOpenFailed);
    EXPECT_EQ(HexDocGetByte(doc_, 0x10), 'Z');
    const HexSaveOutcome outcome = HexDocSaveFile(doc_, nullptr);
    EXPECT_FALSE(outcome.saved);
    EXPECT_EQ(outcome.error, kHexOpenFailed);
    EXPECT_EQ(doc_.length, 0x10000u);
    EXPECT_EQ(HexDocGetByte(doc_, 0x10), 'Z');
}

// Another program moved a new file onto the document's name, or deleted it: the save writes the
// document, edits and all, to the file at that path, not into the file it read.
TEST_F(HexFileTest, ASaveAfterTheFileWasReplacedOrDeletedWritesTheDocumentToItsPath) {
    for (const bool replaced : {true, false}) {
        std::string path = MakeFile("e2.bin", PatternBytes(0x30000));
        ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
        ASSERT_TRUE(HexDocOverwrite(doc_, 0x20000, "edit", 4));
        const auto edited = Contents(doc_);
        if (replaced) {
            ASSERT_EQ(rename(MakeFile("new.bin", PatternBytes(100, 5)).c_str(), path.c_str()), 0);
        } else {
            ASSERT_EQ(unlink(path.c_str()), 0);
        }
        EXPECT_TRUE(HexDocSaveFile(doc_, nullptr)) << replaced;
        EXPECT_EQ(ReadWholeFile(path), edited) << replaced;
        ASSERT_TRUE(HexDocOpenFile(doc_, "*", true, false));
        EXPECT_EQ(Contents(doc_), edited);
        HexDocClose(doc_);
    }
}

// An in-place save is flushed before it succeeds; a flush that fails fails the save, with the
// system's reason, and the document keeps its edits.
std::vector<FileOp> gSteps;
bool gNoRoom = false;
bool NoteSteps(FileOp op, std::uint64_t) {
    gSteps.push_back(op);
    if (!(gNoRoom && op == FileOp::kFlush)) return true;
    SetLastFileError(ENOSPC);
    return false;
}

TEST_F(HexFileTest, AnInPlaceSaveIsFlushedBeforeItSucceedsAndAFailedOneSaysWhy) {
    std::string path = MakeFile("flush.bin", PatternBytes(4096));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocOverwrite(doc_, 10, "ab", 2));
    const auto edited = Contents(doc_);
    gNoRoom = true;
    SetFileGate(&NoteSteps);
    const HexSaveOutcome full = HexDocSaveFile(doc_, nullptr);
    gNoRoom = false;
    gSteps.clear();
    EXPECT_FALSE(full.saved);
    EXPECT_EQ(full.systemError, static_cast<std::uint32_t>(ENOSPC));
    EXPECT_EQ(Contents(doc_), edited);
    EXPECT_TRUE(HexDocSaveFile(doc_, nullptr));
    SetFileGate(nullptr);
    EXPECT_EQ(gSteps, (std::vector<FileOp>{FileOp::kWrite, FileOp::kFlush}));
    EXPECT_EQ(ReadWholeFile(path), edited);
}

// ---- Saving to another file ---------------------------------------------------------------

TEST_F(HexFileTest, SavingUnderANewNameWritesTheFileAndLeavesTheDocument) {
    std::string path = MakeFile("old.bin", PatternBytes(5000));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocInsert(doc_, 4000, "inserted", 8));
    ASSERT_TRUE(HexDocDelete(doc_, 10, 100));
    auto edited = Contents(doc_);
    std::string target = MakeFile("new.bin", PatternBytes(99999, 7));  // replaced whole
    ASSERT_TRUE(HexDocSaveFile(doc_, target.c_str()));
    EXPECT_EQ(ReadWholeFile(target), edited);
    EXPECT_EQ(std::string(doc_.filePath), path);
    EXPECT_EQ(Contents(doc_), edited);
    ASSERT_TRUE(HexDocOpenFile(doc_, target.c_str(), true, false));
    EXPECT_EQ(Contents(doc_), edited);
    EXPECT_EQ(ReadWholeFile(path), PatternBytes(5000));

    EXPECT_FALSE(HexDocSaveFile(doc_, dir_.File("no/such/folder.bin").c_str()));
    EXPECT_EQ(doc_.error, kHexCreateFailed);
}

TEST_F(HexFileTest, SavingOverAFileInUseFailsWithoutTruncatingIt) {
    auto busyBytes = PatternBytes(3000, 9);
    std::string busy = MakeFile("busy.bin", busyBytes);
    std::string path = MakeFile("doc.bin", PatternBytes(100));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_EQ(HexDocInsertMapped(doc_, 0, busy.c_str(), kHexNoLimit, true), 3000u);
    EXPECT_FALSE(HexDocSaveFile(doc_, busy.c_str()));  // the document itself holds it
    EXPECT_EQ(doc_.error, kHexCreateFailed);
    EXPECT_EQ(ReadWholeFile(busy), busyBytes);
}

TEST_F(HexFileTest, SavingANewDocumentWithoutAPathFails) {
    ASSERT_TRUE(HexDocOpen(doc_, kNoFile, nullptr, 0, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0, "abc", 3));
    EXPECT_FALSE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(doc_.error, kHexCreateFailed);
    EXPECT_EQ(doc_.length, 3u);
}

// ---- What the clipboard sees --------------------------------------------------------------

struct HookProbe {
    HexDocument* doc;
    HexExtent extent;
    std::string seen;
    int calls = 0;
};

// Like the clipboard: renders the snapshot the first time, then holds nothing of the document.
void RenderSnapshot(void* context) {
    auto* probe = static_cast<HookProbe*>(context);
    if (probe->calls++ > 0) return;
    char bytes[4] = {};
    EXPECT_EQ(HexDocReadExtents(*probe->doc, &probe->extent, 1, bytes, 0, 4), 4u);
    probe->seen = std::string(bytes, 4);
}

TEST_F(HexFileTest, ASnapshotIsRenderedBeforeAnInPlaceSaveChangesItsBytes) {
    std::string path = MakeFile("snap.bin", {'a', 'b', 'c', 'd', 'e', 'f'});
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    HookProbe probe{&doc_, {}, {}};
    ASSERT_TRUE(HexDocListExtents(doc_, &probe.extent, 1, 1, 4));  // copy "bcde"
    HexDocSetReleaseHook(doc_, &RenderSnapshot, &probe);
    ASSERT_TRUE(HexDocOverwrite(doc_, 2, "XY", 2));
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(probe.seen, "bcde");  // the bytes that were copied, not the saved ones
    EXPECT_GE(probe.calls, 1);
    EXPECT_EQ(ReadWholeFile(path), (std::vector<std::uint8_t>{'a', 'b', 'X', 'Y', 'e', 'f'}));
}

// ---- Inserting files ----------------------------------------------------------------------

TEST_F(HexFileTest, InsertingByMappingAddsASourceAndCopiesNothing) {
    ASSERT_TRUE(HexDocOpen(doc_, kNoFile, nullptr, 0, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0, "0123456789", 10));
    std::string part = MakeFile("part.bin", {'X', 'Y', 'Z'});
    EXPECT_EQ(HexDocInsertMapped(doc_, 4, part.c_str(), kHexNoLimit, true), 3u);
    EXPECT_EQ(doc_.sourceCount, 2u);
    std::uint32_t used = doc_.addUsed;
    // Typing right after the inserted file is a record of its own and does not touch it.
    ASSERT_TRUE(HexDocInsert(doc_, 7, "q", 1));
    ASSERT_TRUE(HexDocInsert(doc_, 8, "r", 1));
    char text[15] = {};
    std::uint8_t marks[15];
    ASSERT_NE(HexDocRead(doc_, text, 0, 15, marks), nullptr);
    EXPECT_EQ(std::string(text, 15), "0123XYZqr456789");
    EXPECT_EQ(marks[4], 0);  // from a file, not typed
    EXPECT_EQ(marks[7], 1);
    EXPECT_EQ(doc_.addUsed, used + 2);
    ASSERT_TRUE(HexDocUndo(doc_));
    ASSERT_TRUE(HexDocUndo(doc_));
    char back[10];
    ASSERT_NE(HexDocRead(doc_, back, 0, 10), nullptr);
    EXPECT_EQ(std::string(back, 10), "0123456789");
    EXPECT_FALSE(DeleteFilePath(part.c_str()));  // held until the document closes
    HexDocClose(doc_);
    EXPECT_TRUE(DeleteFilePath(part.c_str()));
}

TEST_F(HexFileTest, InsertingByMappingOverwritesUpToTheMaximum) {
    std::string path = MakeFile("doc.bin", PatternBytes(100));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    std::string part = MakeFile("part.bin", PatternBytes(50, 3));
    EXPECT_EQ(HexDocInsertMapped(doc_, 10, part.c_str(), 20, false), 20u);
    EXPECT_EQ(doc_.length, 100u);
    EXPECT_EQ(doc_.inPlaceSavable, 1);
    auto expected = PatternBytes(100);
    auto partBytes = PatternBytes(50, 3);
    std::copy(partBytes.begin(), partBytes.begin() + 20, expected.begin() + 10);
    EXPECT_EQ(Contents(doc_), expected);
    // Saved in place from the other file's window.
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(ReadWholeFile(path), expected);
}

TEST_F(HexFileTest, InsertingByMappingRefusesWhatItCannotUse) {
    std::string path = MakeFile("doc.bin", PatternBytes(100));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(HexDocInsertMapped(doc_, 0, path.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexInsertOwnFileMapped);
    std::string empty = MakeFile("empty.bin", {});
    EXPECT_EQ(HexDocInsertMapped(doc_, 0, empty.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexInsertEmpty);
    EXPECT_EQ(HexDocInsertMapped(doc_, 0, dir_.File("none").c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexOpenFailed);
    std::string part = MakeFile("part.bin", {1, 2});
    EXPECT_EQ(HexDocInsertMapped(doc_, 101, part.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_EQ(doc_.sourceCount, 2u);
    EXPECT_EQ(Contents(doc_), PatternBytes(100));
}

TEST_F(HexFileTest, A255thSourceIsRefusedWithTen) {
    ASSERT_TRUE(HexDocOpen(doc_, kNoFile, nullptr, 0, false));  // add buffer only
    std::string part = MakeFile("part.bin", {'p'});
    for (std::uint32_t i = 1; i < kHexMaxSources; ++i) {
        ASSERT_EQ(HexDocInsertMapped(doc_, 0, part.c_str(), kHexNoLimit, true), 1u) << i;
    }
    EXPECT_EQ(doc_.sourceCount, kHexMaxSources);
    EXPECT_EQ(HexDocInsertMapped(doc_, 0, part.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexTooManySources);
    EXPECT_EQ(doc_.length, kHexMaxSources - 1);
    EXPECT_EQ(HexDocGetByte(doc_, 200), 'p');
}

TEST_F(HexFileTest, InsertingByReadingCopiesIntoTheAddBuffer) {
    ASSERT_TRUE(HexDocOpen(doc_, kNoFile, nullptr, 0, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0, "ab", 2));
    std::string part = MakeFile("part.bin", {'1', '2', '3', '4'});
    EXPECT_EQ(HexDocInsertFile(doc_, 1, part.c_str(), kHexNoLimit, true), 4u);
    EXPECT_EQ(HexDocInsertFile(doc_, 0, part.c_str(), 2, false), 2u);
    char text[6];
    std::uint8_t marks[6];
    ASSERT_NE(HexDocRead(doc_, text, 0, 6, marks), nullptr);
    EXPECT_EQ(std::string(text, 6), "12234b");
    EXPECT_EQ(marks[2], 1);
    EXPECT_TRUE(DeleteFilePath(part.c_str()));  // closed again
    // Three records: typing, the insert and the overwrite, each undone on its own.
    ASSERT_TRUE(HexDocUndo(doc_));
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(doc_.length, 2u);
}

TEST_F(HexFileTest, InsertingByReadingRefusesWhatItCannotUse) {
    std::string path = MakeFile("doc.bin", PatternBytes(100));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), false, false));
    EXPECT_EQ(HexDocInsertFile(doc_, 0, path.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexInsertOwnFileRead);
    EXPECT_EQ(HexDocInsertFile(doc_, 0, dir_.File("none").c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexInsertOpenFailed);
    std::string empty = MakeFile("empty.bin", {});
    EXPECT_EQ(HexDocInsertFile(doc_, 0, empty.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexInsertEmpty);
    std::string part = MakeFile("part.bin", {1});
    EXPECT_EQ(HexDocInsertFile(doc_, 500, part.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexNoRoom);
    EXPECT_EQ(Contents(doc_), PatternBytes(100));
}

TEST_F(HexFileTest, AFileThatReadsShortIsTakenOutAgain) {
    // sysfs reports 4096 bytes for files that hold a few dozen.
    const char* shortFile = "/sys/kernel/mm/transparent_hugepage/enabled";
    if (!std::filesystem::exists(shortFile)) GTEST_SKIP() << "no sysfs";
    ASSERT_TRUE(HexDocOpen(doc_, kNoFile, nullptr, 0, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0, "keep", 4));
    EXPECT_EQ(HexDocInsertFile(doc_, 2, shortFile, kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexInsertOpenFailed);
    char text[4];
    ASSERT_NE(HexDocRead(doc_, text, 0, 4), nullptr);
    EXPECT_EQ(std::string(text, 4), "keep");
    EXPECT_EQ(doc_.length, 4u);
    EXPECT_EQ(doc_.redoStack.count, 0u);
    EXPECT_EQ(hexmodel::RecordCount(doc_.undoStack), 1u);
}

}  // namespace
