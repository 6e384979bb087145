// The hex document over the Win32 backends (VirtualAlloc, CreateFileMapping, MapViewOfFile,
// GetTempFileName, MoveFileEx) in a 32-bit process: mapped windows, the read-only attribute,
// sharing violations, in-place and temporary-file saves, inserted files.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/hex_document_file.h"
#include "platform/virtual_memory.h"
#include "tests/native/support/hex_document_model.h"
#include "tests/native/support/pattern_bytes.h"

namespace {

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::vector<std::uint8_t> bytes(GetFileSize(file, nullptr));
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

std::vector<std::uint8_t> Contents(HexDocument& doc) {
    std::vector<std::uint8_t> bytes(doc.length);
    if (doc.length > 0) {
        EXPECT_NE(HexDocRead(doc, bytes.data(), 0, doc.length), nullptr);
    }
    return bytes;
}

// Files matching pattern (such as "Hex*.tmp") in folder.
int CountFiles(const std::string& folder, const char* pattern) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

// A private folder, which is also the temporary folder of the saves.
class HexWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "vorland-hexdoc-" + std::to_string(GetTickCount()) + "\\";
        CreateDirectoryA(folder_.c_str(), nullptr);
        GetEnvironmentVariableA("TMP", oldTmp_, MAX_PATH);
        SetEnvironmentVariableA("TMP", folder_.c_str());
        char probe[MAX_PATH];
        ASSERT_TRUE(MakeTempFile(nullptr, "Hex", probe));
        ASSERT_EQ(std::string(probe).rfind(folder_ + "Hex", 0), 0u) << probe;
        DeleteFileA(probe);
    }
    void TearDown() override {
        HexDocClose(doc_);
        SetEnvironmentVariableA("TMP", oldTmp_);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder_ + "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string path = folder_ + found.cFileName;
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder_.c_str());
    }
    std::string Make(const char* name, const std::vector<std::uint8_t>& bytes) {
        std::string path = folder_ + name;
        WriteAll(path, bytes);
        return path;
    }
    std::vector<std::uint32_t> Windows() const {
        std::vector<std::uint32_t> starts;
        for (const HexSourceView& view : doc_.sources[doc_.originalSource].views) {
            if (view.owned) starts.push_back(view.windowStart);
        }
        std::sort(starts.begin(), starts.end());
        return starts;
    }

    std::string folder_;
    char oldTmp_[MAX_PATH] = {};
    HexDocument doc_;
};

TEST_F(HexWinTest, MappedWindowsSlideByTheWindowStartRule) {
    auto bytes = PatternBytes(0x300000);
    std::string path = Make("big.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(Windows(), std::vector<std::uint32_t>{0});
    EXPECT_EQ(HexDocGetByte(doc_, 0x7FFFF), bytes[0x7FFFF]);
    EXPECT_EQ(HexDocGetByte(doc_, 0x80000), bytes[0x80000]);
    EXPECT_EQ(Windows(), std::vector<std::uint32_t>{0});
    EXPECT_EQ(HexDocGetByte(doc_, 0xC0000), bytes[0xC0000]);
    EXPECT_EQ(Windows(), (std::vector<std::uint32_t>{0, 0x80000}));
    std::vector<std::uint8_t> out(0x200);
    ASSERT_NE(HexDocRead(doc_, out.data(), 0x1FFF00, 0x200), nullptr);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + 0x1FFF00));
    EXPECT_EQ(Contents(doc_), bytes);
}

TEST_F(HexWinTest, TheReadOnlyAttributeGivesAReadOnlyDocument) {
    auto bytes = PatternBytes(5000);
    std::string path = Make("ro.bin", bytes);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_TRUE(HexDocOriginalReadOnly(doc_));
    EXPECT_EQ(Contents(doc_), bytes);
    ASSERT_TRUE(HexDocOverwrite(doc_, 0, "x", 1));
    EXPECT_FALSE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(doc_.error, kHexReadOnly);
    EXPECT_EQ(ReadAll(path), bytes);
}

TEST_F(HexWinTest, ASecondHandleWithoutSharingIsASharingViolation) {
    std::string path = Make("busy.bin", PatternBytes(100));
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(doc_.error, kHexSharingViolation);
    CloseHandle(writer);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    // Now the document holds it: readers are welcome, writers are not.
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(HexWinTest, SavingInPlaceChangesExactlyTheOverwrittenBytes) {
    auto bytes = PatternBytes(0x180000);
    std::string path = Make("rom.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocOverwrite(doc_, 0xFFFFD, "window", 6));
    ASSERT_TRUE(HexDocFill(doc_, 10, 0, 3));
    std::copy_n("window", 6, bytes.begin() + 0xFFFFD);
    std::fill_n(bytes.begin() + 10, 3, 0);
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(CountFiles(folder_, "Hex*"), 0);
    EXPECT_EQ(ReadAll(path), bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, "*", true, false));
    EXPECT_EQ(Contents(doc_), bytes);
}

TEST_F(HexWinTest, AnInsertedByteSavesThroughATemporaryFile) {
    auto bytes = PatternBytes(300000);
    std::string path = Make("grow.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocInsert(doc_, 1234, "!", 1));
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    bytes.insert(bytes.begin() + 1234, '!');
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_EQ(CountFiles(folder_, "Hex*"), 0);
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_TEMPORARY, 0u);
    ASSERT_TRUE(HexDocOpenFile(doc_, "*", true, false));
    EXPECT_EQ(doc_.length, 300001u);
}

// What the file system was asked, in order: O open, W write, R replace, M map, F flush. The
// first replaces fail as a move across volumes does, and after so many flushes the next fails.
std::string gSteps;
int gRefusedReplaces = 0;
int gFlushesLeft = -1;  // -1: every flush works
bool RecordingGate(FileOp op, std::uint64_t) {
    gSteps += "OWRMF"[static_cast<int>(op)];
    if (op == FileOp::kFlush) return gFlushesLeft < 0 || gFlushesLeft-- > 0;
    return op != FileOp::kReplace || gRefusedReplaces-- <= 0;
}

// Whichever way a save goes, its new file is on the disk before it takes the old one's place;
// a flush that fails fails the save, and the old file stays as it was.
TEST_F(HexWinTest, EveryNewFileIsFlushedBeforeItReplacesTheOld) {
    struct Route {
        const char* name;
        bool ownFile;
        int refusedReplaces;
        int flushesBeforeFailure;  // when the flush is to fail
    };
    for (const Route& route : {Route{"to another file", false, 0, 0},
                               Route{"over its own file", true, 0, 0},
                               Route{"over its own file, across volumes", true, 1, 1}}) {
        for (const bool flushFails : {false, true}) {
            SCOPED_TRACE(std::string(route.name) + (flushFails ? ", flush fails" : ""));
            const auto old = PatternBytes(5000);
            const std::string path = Make("saved.bin", old);
            const std::string other = Make("other.bin", PatternBytes(3000, 7));
            ASSERT_TRUE(HexDocOpenFile(doc_, (route.ownFile ? path : other).c_str(), true, false));
            ASSERT_TRUE(HexDocInsert(doc_, 10, "!", 1));
            const auto edited = Contents(doc_);
            gSteps.clear();
            gRefusedReplaces = route.refusedReplaces;
            gFlushesLeft = flushFails ? route.flushesBeforeFailure : -1;
            SetFileGate(&RecordingGate);
            const bool saved = HexDocSaveFile(doc_, route.ownFile ? nullptr : path.c_str()).saved;
            SetFileGate(nullptr);
            EXPECT_EQ(CountFiles(folder_, "*.tmp"), 0);
            if (flushFails) {
                EXPECT_FALSE(saved);
                EXPECT_EQ(ReadAll(path), old);
                EXPECT_EQ(Contents(doc_), edited);
            } else {
                ASSERT_TRUE(saved);
                EXPECT_EQ(ReadAll(path), edited);
                const std::size_t replaced = gSteps.rfind('R');
                EXPECT_LT(gSteps.rfind('W', replaced), gSteps.rfind('F', replaced)) << gSteps;
            }
            HexDocClose(doc_);
        }
    }
}

TEST_F(HexWinTest, AnOriginalThatCannotBeReplacedStaysWholeAndTheEditsStay) {
    auto bytes = PatternBytes(0x120000);
    std::string path = Make("held.bin", bytes);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0x100000, "ab", 2));
    auto edited = Contents(doc_);
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(doc_.error, kHexCreateFailed);
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_EQ(CountFiles(folder_, "Hex*"), 0);
    EXPECT_EQ(Contents(doc_), edited);
    CloseHandle(reader);
    ASSERT_TRUE(HexDocSaveFile(doc_, nullptr));
    EXPECT_EQ(ReadAll(path), edited);
}

TEST_F(HexWinTest, SavingUnderANewNameAndInsertingFiles) {
    std::string path = Make("doc.bin", PatternBytes(1000));
    std::string part = Make("part.bin", {'P', 'Q', 'R'});
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), false, false));
    EXPECT_EQ(HexDocInsertMapped(doc_, 10, part.c_str(), kHexNoLimit, true), 3u);
    EXPECT_EQ(HexDocInsertFile(doc_, 0, part.c_str(), 2, true), 2u);
    EXPECT_EQ(HexDocInsertMapped(doc_, 0, path.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexInsertOwnFileMapped);
    EXPECT_EQ(HexDocInsertFile(doc_, 0, path.c_str(), kHexNoLimit, true), 0u);
    EXPECT_EQ(doc_.error, kHexInsertOwnFileRead);
    auto edited = Contents(doc_);
    EXPECT_EQ(edited[0], 'P');
    EXPECT_EQ(edited[12], 'P');
    // The mapped part cannot be replaced while the document holds it.
    EXPECT_FALSE(HexDocSaveFile(doc_, part.c_str()));
    EXPECT_EQ(doc_.error, kHexCreateFailed);
    EXPECT_EQ(ReadAll(part).size(), 3u);
    std::string copy = folder_ + "copy.bin";
    ASSERT_TRUE(HexDocSaveFile(doc_, copy.c_str()));
    EXPECT_EQ(ReadAll(copy), edited);
    ASSERT_TRUE(HexDocOpenFile(doc_, copy.c_str(), false, false));
    EXPECT_EQ(Contents(doc_), edited);
}

TEST_F(HexWinTest, Files4GiBAndLargerAreRefused) {
    std::string path = folder_ + "huge.bin";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 0x100000000LL;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_FALSE(HexDocOpenFile(doc_, path.c_str(), true, false));
    EXPECT_EQ(doc_.error, kHexFileTooLarge);
    // One byte less is a document, seen through windows even in a 32-bit process.
    file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    size.QuadPart = 0xFFFFFFFFLL;
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(HexDocOpenFile(doc_, path.c_str(), true, true));
    EXPECT_EQ(doc_.length, 0xFFFFFFFFu);
    EXPECT_EQ(HexDocGetByte(doc_, 0xFFFFFFFE), 0);
    EXPECT_EQ(doc_.error, kHexOk);
    HexDocClose(doc_);
    DeleteFileA(path.c_str());
}

bool RefuseCommits(std::size_t) {
    return false;
}

TEST_F(HexWinTest, AFailedCommitChangesNothing) {
    ASSERT_TRUE(HexDocOpen(doc_, kNoFile, nullptr, 0, false));
    ASSERT_TRUE(HexDocInsert(doc_, 0, "abc", 3));
    SetCommitGate(&RefuseCommits);
    EXPECT_FALSE(HexDocFill(doc_, 1, 0, 10000));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    SetCommitGate(nullptr);
    EXPECT_EQ(Contents(doc_), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(hexmodel::RecordCount(doc_.undoStack), 1u);
}

TEST_F(HexWinTest, RandomSequencesAgreeWithTheModel) {
    std::uint32_t seed = 99;
    for (int sequence = 0; sequence < 200; ++sequence) {
        std::vector<std::uint8_t> input(800);
        for (auto& b : input) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
        auto original = PatternBytes(sequence % 5 == 0 ? 0 : 100 + sequence, sequence);
        void* block = original.empty() ? nullptr : AllocateMemory(original.size());
        if (block != nullptr) std::memcpy(block, original.data(), original.size());
        HexDocument doc;
        ASSERT_TRUE(HexDocOpen(doc, kNoFile, block,
                               static_cast<std::uint32_t>(original.size()), false));
        hexmodel::Model model = hexmodel::ModelOver(original, false);
        hexmodel::Input in(input.data(), input.size());
        for (int step = 0; !in.Done(); ++step) {
            ASSERT_EQ(hexmodel::Step(doc, model, in, hexmodel::Limits{}), "")
                << "sequence " << sequence << ", step " << step;
        }
    }
}

}  // namespace
