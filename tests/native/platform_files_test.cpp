// The POSIX backends of files and virtual memory, held to the Win32 rules that the
// hex document relies on: sharing between opens, the read-only attribute, replacing files.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/virtual_memory.h"
#include "tests/native/support/scratch_files.h"

namespace {

struct Open {
    bool write;
    unsigned share;
};

struct SharingCase {
    Open first;
    Open second;
    bool allowed;
};

constexpr unsigned kRW = kShareRead | kShareWrite;

// Win32 sharing: a second open succeeds when each open's sharing allows the other's access.
const SharingCase kSharingCases[] = {
    {{false, kShareRead}, {false, kShareRead}, true},
    {{false, kShareRead}, {true, kShareRead}, false},  // the first shares no writing
    {{false, kRW}, {true, kShareRead}, true},
    {{false, kRW}, {true, kRW}, true},
    {{true, kShareRead},
     {false, kShareRead},
     false},                                   // the second shares no writing with the writer
    {{true, kShareRead}, {false, kRW}, true},  // what a reader of a mapped document does
    {{true, kShareRead}, {true, kRW}, false},
    {{false, kShareNone}, {false, kRW}, false},
    {{true, kRW}, {true, kRW}, true},
    {{true, kRW}, {false, kShareNone}, false},
};

TEST(PlatformFiles, SharingFollowsTheWin32Rules) {
    ScratchDir dir;
    std::string path = dir.File("shared.bin");
    WriteWholeFile(path, {1, 2, 3});
    int index = 0;
    for (const SharingCase& c : kSharingCases) {
        FileHandle first = OpenExistingFile(path.c_str(), c.first.write, c.first.share, nullptr);
        ASSERT_NE(first, kNoFile) << index;
        FileError why = FileError::kNone;
        FileHandle second = OpenExistingFile(path.c_str(), c.second.write, c.second.share, &why);
        EXPECT_EQ(second != kNoFile, c.allowed) << "case " << index;
        if (!c.allowed) {
            EXPECT_EQ(why, FileError::kSharingViolation) << "case " << index;
        }
        CloseFile(second);
        CloseFile(first);
        ++index;
    }
    // Closing the first open lifts its marks.
    FileHandle only = OpenExistingFile(path.c_str(), true, kShareNone, nullptr);
    EXPECT_NE(only, kNoFile);
    CloseFile(only);
}

// Reads and writes at an offset touch only their bytes, and a read past the end comes back short.
// What the path of a file held open names is told apart as another program leaves it: the same
// file, another one moved onto its name, nothing once deleted.
TEST(PlatformFiles, PositionedReadsAndWritesAndWhatThePathOfAnOpenFileNames) {
    ScratchDir dir;
    const std::string path = dir.File("held.bin");
    std::vector<std::uint8_t> bytes = PatternBytes(1000);
    WriteWholeFile(path, bytes);
    FileHandle file = OpenExistingFile(path.c_str(), true, kShareRead, nullptr);
    ASSERT_NE(file, kNoFile);
    ASSERT_TRUE(WriteFileAt(file, 500, "ab", 2));
    bytes[500] = 'a';
    bytes[501] = 'b';
    std::uint8_t tail[8] = {};
    std::uint32_t got = 0;
    ASSERT_TRUE(ReadFileAt(file, 996, tail, 8, &got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(tail, tail + 4),
              std::vector<std::uint8_t>(bytes.begin() + 996, bytes.end()));
    EXPECT_EQ(ReadWholeFile(path), bytes);

    EXPECT_EQ(FileAtPathOf(file, path.c_str()), FileAtPath::kSame);
    const std::string other = dir.File("other.bin");
    WriteWholeFile(other, {1, 2, 3});
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    EXPECT_EQ(FileAtPathOf(file, path.c_str()), FileAtPath::kOther);
    ASSERT_EQ(std::remove(path.c_str()), 0);
    EXPECT_EQ(FileAtPathOf(file, path.c_str()), FileAtPath::kNone);
    got = 0;
    ASSERT_TRUE(ReadFileAt(file, 500, tail, 2, &got));  // still the file it was
    EXPECT_EQ(std::string(reinterpret_cast<char*>(tail), got), "ab");
    CloseFile(file);
}

TEST(PlatformFiles, CreatingOverAFileInUseFailsWithoutEmptyingIt) {
    ScratchDir dir;
    std::string path = dir.File("busy.bin");
    WriteWholeFile(path, {1, 2, 3});
    FileHandle reader = OpenExistingFile(path.c_str(), false, kShareRead, nullptr);
    FileError why;
    EXPECT_EQ(CreateFileAlways(path.c_str(), &why), kNoFile);
    EXPECT_EQ(why, FileError::kSharingViolation);
    EXPECT_EQ(ReadWholeFile(path).size(), 3u);
    CloseFile(reader);
    FileHandle created = CreateFileAlways(path.c_str(), &why);
    ASSERT_NE(created, kNoFile);
    EXPECT_TRUE(ReadWholeFile(path).empty());
    EXPECT_TRUE(SetFileLength(created, 10));
    EXPECT_TRUE(SeekFile(created, 2));
    EXPECT_TRUE(WriteFileBytes(created, "ab", 2));
    std::uint64_t length = 0;
    EXPECT_TRUE(GetFileLength(created, &length));
    EXPECT_EQ(length, 10u);
    CloseFile(created);
    EXPECT_EQ(ReadWholeFile(path), (std::vector<std::uint8_t>{0, 0, 'a', 'b', 0, 0, 0, 0, 0, 0}));
}

TEST(PlatformFiles, AFileWithoutWritePermissionIsReadOnlyEvenForRoot) {
    ScratchDir dir;
    std::string path = dir.File("ro.bin");
    WriteWholeFile(path, {7});
    EXPECT_FALSE(FileHasReadOnlyAttribute(path.c_str()));
    chmod(path.c_str(), 0444);
    EXPECT_TRUE(FileHasReadOnlyAttribute(path.c_str()));
    FileError why;
    EXPECT_EQ(OpenExistingFile(path.c_str(), true, kShareRead, &why), kNoFile);
    EXPECT_EQ(why, FileError::kAccessDenied);
    FileHandle reader = OpenExistingFile(path.c_str(), false, kShareRead, &why);
    EXPECT_NE(reader, kNoFile);
    CloseFile(reader);
    EXPECT_EQ(CreateFileAlways(path.c_str(), &why), kNoFile);
    EXPECT_EQ(why, FileError::kAccessDenied);
    std::string other = dir.File("other.bin");
    WriteWholeFile(other, {8});
    EXPECT_FALSE(ReplaceFileWith(path.c_str(), other.c_str(), &why));
    EXPECT_EQ(why, FileError::kAccessDenied);
    EXPECT_FALSE(DeleteFilePath(path.c_str()));
    EXPECT_EQ(ReadWholeFile(path), std::vector<std::uint8_t>{7});
    EXPECT_FALSE(FileHasReadOnlyAttribute(dir.File("missing").c_str()));
}

TEST(PlatformFiles, TemporaryFilesAreUniqueAndStartWithThePrefix) {
    ScratchDir dir;
    std::string folder = dir.File("");
    char first[kFilePathSize];
    char second[kFilePathSize];
    ASSERT_TRUE(MakeTempFile(folder.c_str(), "Hex", first));
    ASSERT_TRUE(MakeTempFile(folder.c_str(), "Hex", second));
    EXPECT_STRNE(first, second);
    EXPECT_EQ(std::string(first).rfind(folder + "Hex", 0), 0u) << first;
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_EQ(std::filesystem::file_size(first), 0u);
    char inTemp[kFilePathSize];
    ASSERT_TRUE(MakeTempFile(nullptr, "Hex", inTemp));
    EXPECT_EQ(std::filesystem::path(inTemp).filename().string().rfind("Hex", 0), 0u);
    EXPECT_TRUE(DeleteFilePath(inTemp));
}

TEST(PlatformFiles, ReplacingKeepsTheOldPermissionsAndWaitsForOpens) {
    ScratchDir dir;
    std::string target = dir.File("target.bin");
    std::string source = dir.File("source.bin");
    WriteWholeFile(target, {1});
    WriteWholeFile(source, {2, 2});
    chmod(target.c_str(), 0604);
    FileHandle reader = OpenExistingFile(target.c_str(), false, kRW, nullptr);
    FileError why;
    EXPECT_FALSE(ReplaceFileWith(target.c_str(), source.c_str(), &why));
    EXPECT_EQ(why, FileError::kSharingViolation);
    EXPECT_FALSE(DeleteFilePath(target.c_str()));
    CloseFile(reader);
    ASSERT_TRUE(ReplaceFileWith(target.c_str(), source.c_str(), &why));
    EXPECT_EQ(ReadWholeFile(target), (std::vector<std::uint8_t>{2, 2}));
    struct stat info {};
    stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0604u);
    EXPECT_FALSE(std::filesystem::exists(source));
}

TEST(PlatformFiles, OnlyPlainFilesAreReplaced) {
    ScratchDir dir;
    const std::string pipe = dir.File("pipe");
    const std::string source = dir.File("source.bin");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    WriteWholeFile(source, {2});
    EXPECT_TRUE(IsSpecialFile(pipe.c_str()));
    EXPECT_TRUE(IsSpecialFile(dir.File("").c_str()));
    EXPECT_FALSE(IsSpecialFile(source.c_str()));
    EXPECT_FALSE(IsSpecialFile(dir.File("absent").c_str()));
    FileError why;
    EXPECT_FALSE(ReplaceFileWith(pipe.c_str(), source.c_str(), &why));
    EXPECT_EQ(why, FileError::kAccessDenied);
    struct stat info {};
    ASSERT_EQ(lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(PlatformFiles, FolderOfPath) {
    char folder[kFilePathSize];
    FolderOfPath("/a/b/c.bin", folder);
    EXPECT_STREQ(folder, "/a/b/");
    FolderOfPath("c.bin", folder);
    EXPECT_STREQ(folder, "./");
}

TEST(PlatformMemory, ReservedMemoryCommitsOnDemandAndReleasesWhole) {
    auto* base = static_cast<std::uint8_t*>(ReserveMemory(1 << 24));
    ASSERT_NE(base, nullptr);
    ASSERT_TRUE(CommitMemory(base, 4096));
    ASSERT_TRUE(CommitMemory(base + 4096, 100));  // rounds up to whole pages
    base[0] = 1;
    base[8191] = 2;
    EXPECT_EQ(base[5000], 0);
    ReleaseMemory(base);
    ReleaseMemory(nullptr);
    int onStack = 0;
    ReleaseMemory(&onStack);  // not ours: ignored
    auto* block = static_cast<std::uint8_t*>(AllocateMemory(10000));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[9999], 0);
    ReleaseMemory(block);
    EXPECT_EQ(AllocateMemory(0), nullptr);
}

TEST(PlatformMemory, TheCommitGateRefusesCommits) {
    SetCommitGate([](std::size_t size) { return size < 8192; });
    void* base = ReserveMemory(1 << 20);
    EXPECT_TRUE(CommitMemory(base, 4096));
    EXPECT_FALSE(CommitMemory(base, 8192));
    EXPECT_EQ(AllocateMemory(8192), nullptr);
    SetCommitGate(nullptr);
    EXPECT_TRUE(CommitMemory(base, 8192));
    ReleaseMemory(base);
}

}  // namespace
