// The file operations the hex document needs, with the Win32 semantics it relies on: an open
// names the access it wants and the access it lets others have at the same time (sharing), and
// a file with the read-only attribute cannot be opened for writing, replaced or deleted.
// Portable interface; backends files_win.cpp (kernel32) and files_posix.cpp.
//
// The POSIX backend emulates those semantics between the opens made through it, in this and in
// other processes: each open marks its access and the sharing it denies with open-file-
// description locks on four bytes far past any real data (2^62 on), and an open, replace or
// delete that the marks of another open forbid fails with kSharingViolation. Programs that do
// not use these locks are not stopped. A file counts as read-only when it has no write
// permission bit at all or when access() denies writing; opening one for writing, creating
// over it, replacing it or deleting it fails with kAccessDenied, even for root.
//
// Paths are NUL-terminated ANSI text of at most kFilePathSize - 1 characters. Any thread;
// a handle is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t kFilePathSize = 260;  // every path buffer, terminator included

// A file handle: a HANDLE on Windows, a descriptor elsewhere. kNoFile when absent.
using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

enum class FileError { kNone, kNotFound, kSharingViolation, kAccessDenied, kOther };

// What others may do with a file while it is open.
enum FileShare : unsigned { kShareNone = 0, kShareRead = 1, kShareWrite = 2 };

// Opens an existing file for reading, or reading and writing. kNoFile on failure, with the
// reason in *error when error is not null. The caller closes the handle with CloseFile.
[[nodiscard]] FileHandle OpenExistingFile(const char* path, bool write, unsigned share,
                                          FileError* error);

// Creates the file, or empties an existing one, for writing with no sharing (Win32
// CREATE_ALWAYS), with normal attributes: a file that is to replace another must reach the
// disk like any other.
[[nodiscard]] FileHandle CreateFileAlways(const char* path, FileError* error);

void CloseFile(FileHandle file);

[[nodiscard]] bool FileHasReadOnlyAttribute(const char* path);

// Whether path names something other than a plain file: a folder, a device, a pipe. Writing
// through a temporary file would put a plain file in its place.
[[nodiscard]] bool IsSpecialFile(const char* path);
[[nodiscard]] bool GetFileLength(FileHandle file, std::uint64_t* length);

// Reads up to count bytes at the file pointer; *done receives how many arrived (0 at the end).
[[nodiscard]] bool ReadFileBytes(FileHandle file, void* buffer, std::uint32_t count,
                                 std::uint32_t* done);

// Reads up to count bytes from offset, wherever the file pointer is (it may move); *done
// receives how many arrived, fewer when the file ends sooner. False when the system refused.
[[nodiscard]] bool ReadFileAt(FileHandle file, std::uint64_t offset, void* buffer,
                              std::uint32_t count, std::uint32_t* done);

// Writes all count bytes at the file pointer; false when fewer could be written.
[[nodiscard]] bool WriteFileBytes(FileHandle file, const void* buffer, std::uint32_t count);

// Writes all count bytes at offset (the file pointer may move); false when fewer could be.
[[nodiscard]] bool WriteFileAt(FileHandle file, std::uint64_t offset, const void* buffer,
                               std::uint32_t count);

// Waits until what was written to the file is on the disk.
[[nodiscard]] bool FlushFile(FileHandle file);

[[nodiscard]] bool SeekFile(FileHandle file, std::uint64_t position);

// Makes the file length bytes long (growing it with zeros); the file pointer is left at length.
[[nodiscard]] bool SetFileLength(FileHandle file, std::uint64_t length);

// Finds a unique name in folder (the system's temporary folder when folder is null) that starts
// with prefix, creates the empty file so that nobody else takes the name, and writes its full
// path to out (kFilePathSize bytes). The caller deletes the file when done with it.
[[nodiscard]] bool MakeTempFile(const char* folder, const char* prefix, char* out);

// Moves source onto target, replacing it, on one volume and without copying, so that target is
// either wholly the old file or wholly the new one. The new file takes over target's attributes
// (permissions elsewhere). Fails when target is read-only or open, or the two are on different
// volumes.
[[nodiscard]] bool ReplaceFileWith(const char* target, const char* source, FileError* error);

// Deletes a file; fails when it is read-only or open.
bool DeleteFilePath(const char* path);

// What path names now, compared with the file that file is open on: that very file, another
// one that took its name (a program wrote a new file and moved it there), or nothing (it was
// deleted). When the system cannot tell, kSame.
enum class FileAtPath { kSame, kOther, kNone };
[[nodiscard]] FileAtPath FileAtPathOf(FileHandle file, const char* path);

// Why the last file operation of this thread failed, as the system's code (errno elsewhere,
// GetLastError() on Windows); 0 when it gave none (a test gate refused). A caller that cleans up
// after a failure keeps the code first and sets it again with SetLastFileError.
[[nodiscard]] std::uint32_t LastFileError();
void SetLastFileError(std::uint32_t code);
// The system's words for a code, as a sentence ("Access is denied."); empty for 0.
[[nodiscard]] std::string FileErrorText(std::uint32_t code);

// The file that writing to path reaches, into out (kFilePathSize bytes): path itself, or for a
// symbolic link (or a chain of them) the file it finally names, which need not exist yet. A
// replace through the link then changes that file and keeps the link. False when the links
// loop or the name would not fit. Windows: path itself.
[[nodiscard]] bool ResolveFileLinks(const char* path, char* out);

// Copies the folder part of path, with its trailing separator, to out (kFilePathSize bytes);
// "." and a separator when path names no folder.
void FolderOfPath(const char* path, char* out);

// Tests make file operations fail with this, as a full disk or a dropped network share would:
// while a gate is set, the operations ask it first (opens and creates, MakeTempFile among them,
// as kOpen; writes and length changes as kWrite with their byte count; FlushFile as kFlush;
// ReplaceFileWith as kReplace; ReadFileAt as kRead with its count) and fail without touching
// anything when it returns false; a gate may set the system's code (SetLastFileError) to say
// why. A gate that lets everything through also learns the order of the steps. Null removes it.
enum class FileOp { kOpen, kWrite, kReplace, kRead, kFlush };
using FileGate = bool (*)(FileOp op, std::uint64_t bytes);
void SetFileGate(FileGate gate);

// Whether the gate lets the operation through; for the backends.
[[nodiscard]] bool FileOpAllowed(FileOp op, std::uint64_t bytes);

// Makes count bytes the new contents of path so that path is always wholly the old file or
// wholly the new one: they go to a temporary file beside it (MakeTempFile), which takes its
// place (ReplaceFileWith) only once written whole and flushed. A symbolic link stays: the file
// it names is the one replaced (ResolveFileLinks). On failure the temporary file is
// gone, *failed (when not null) names the step (kOpen: the temporary file could not be made;
// kWrite; kReplace) and LastFileError() is that of the failing call.
[[nodiscard]] bool WriteFileReplacing(const char* path, const void* data, std::uint32_t count,
                                      FileOp* failed);

// The same for contents that write puts into the open temporary file, from its start; it
// returns false when it could not write them all (the step is then kWrite).
using FileContentWriter = bool (*)(FileHandle file, void* context);
[[nodiscard]] bool WriteFileReplacing(const char* path, FileContentWriter write, void* context,
                                      FileOp* failed);
