#include "document/hex_document_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>

#include "document/hex_document_internal.h"
#include "platform/virtual_memory.h"

using hexdoc::Fail;
using hexdoc::Succeed;

namespace {

constexpr std::uint32_t kTransferSize = 2048;     // a save copies the document in these steps
constexpr std::uint32_t kFileCopySize = 0x10000;  // copying one file to another
constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFF;
constexpr char kTempPrefix[] = "Hex";

std::uint32_t FailCount(HexDocument& doc, HexError code) {
    doc.error = code;
    return 0;
}

// Paths name the same file when they are equal without regard to case, as the system compares
// them; an empty path names none.
bool SamePath(const char* a, const char* b) {
    if (*a == '\0' || *b == '\0') return false;
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

bool CopyPath(char* out, const char* path) {
    std::size_t n = std::strlen(path);
    if (n >= kFilePathSize) return false;
    std::memcpy(out, path, n + 1);
    return true;
}

// Opens an existing file, sharing reading only, and reads its size. On failure: `unopened` when
// it cannot be opened or sized (*why says whether for sharing), 6 at 4 GiB or more.
HexError OpenWithLength(const char* path, bool write, HexError unopened, FileHandle* file,
                        std::uint32_t* length, FileError* why = nullptr) {
    *file = OpenExistingFile(path, write, kShareRead, why);
    if (*file == kNoFile) return unopened;
    std::uint64_t size = 0;
    HexError result = kHexOk;
    if (!GetFileLength(*file, &size)) {
        result = unopened;
    } else if (size > kMaxFileSize) {
        result = kHexFileTooLarge;
    }
    if (result != kHexOk) {
        CloseFile(*file);
        *file = kNoFile;
    }
    *length = static_cast<std::uint32_t>(size);
    return result;
}

// Reads the whole of a count-byte file into out.
bool ReadWhole(FileHandle file, std::uint8_t* out, std::uint32_t count) {
    std::uint32_t done = 0;
    return ReadFileBytes(file, out, count, &done) && done == count;
}

// What a save came to, and doc.error with it.
HexSaveOutcome Saved(HexDocument& doc) {
    doc.error = kHexOk;
    HexSaveOutcome outcome;
    outcome.saved = true;
    return outcome;
}

// Writes the document into file from its start, in 2048-byte steps. 23 when part of it could not
// be read, 24 (with the system's code in *system) when the file could not take it.
HexError WriteDocument(HexDocument& doc, FileHandle file, std::uint32_t* system) {
    std::uint8_t buffer[kTransferSize];
    for (std::uint32_t at = 0; at < doc.length;) {
        std::uint32_t step = std::min(kTransferSize, doc.length - at);
        if (HexDocRead(doc, buffer, at, step) == nullptr) return kHexOpenFailed;
        if (!WriteFileBytes(file, buffer, step)) {
            *system = LastFileError();
            return kHexCreateFailed;
        }
        at += step;
    }
    return kHexOk;
}

bool CopyFileBytes(FileHandle from, FileHandle to) {
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kFileCopySize]);
    if (!buffer) return false;
    for (;;) {
        std::uint32_t got = 0;
        if (!ReadFileBytes(from, buffer.get(), kFileCopySize, &got)) return false;
        if (got == 0) return true;
        if (!WriteFileBytes(to, buffer.get(), got)) return false;
    }
}

// Replaces target with source when they lie on different volumes: copies source to a new file
// beside target and moves that onto it, so that target is never half-written.
bool CopyBesideAndReplace(const char* target, const char* source) {
    auto copy = [](FileHandle to, void* context) {
        FileHandle from =
            OpenExistingFile(static_cast<const char*>(context), false, kShareRead, nullptr);
        const bool copied = from != kNoFile && CopyFileBytes(from, to);
        CloseFile(from);
        return copied;
    };
    return WriteFileReplacing(target, copy, const_cast<char*>(source), nullptr);
}

// Puts a handle on the original file again after a replace failed; the file is still the one
// the document's pieces name.
bool ReattachOriginal(HexDocument& doc) {
    HexSource& source = doc.sources[doc.originalSource];
    FileHandle file = OpenExistingFile(doc.filePath, !source.readOnly, kShareRead, nullptr);
    std::uint64_t size = 0;
    if (file == kNoFile || !GetFileLength(file, &size) || size != source.length) {
        CloseFile(file);
        return false;
    }
    source.file = file;
    return true;
}

// Writes the document to a new file beside path, which replaces whatever path named only once
// it is complete and on the disk: a full disk or a dropped share leaves an existing file as it
// was.
HexSaveOutcome SaveToNewFile(HexDocument& doc, const char* path) {
    struct Save {
        HexDocument& doc;
        HexError failure;
        std::uint32_t system;
    } save{doc, kHexCreateFailed, 0};
    auto write = [](FileHandle file, void* context) {
        auto& s = *static_cast<Save*>(context);
        if (!SetFileLength(file, s.doc.length) || !SeekFile(file, 0)) {
            s.failure = kHexSetLengthFailed;
            s.system = LastFileError();
            return false;
        }
        s.failure = WriteDocument(s.doc, file, &s.system);
        if (s.failure != kHexOk) return false;
        s.failure = kHexCreateFailed;  // from here on the flush or the replace
        return true;
    };
    if (WriteFileReplacing(path, write, &save, nullptr)) return Saved(doc);
    // The writer knows why it stopped; a later step leaves its reason with the system; bytes the
    // document could not read are no fault of the system's.
    if (save.failure == kHexOpenFailed) return HexDocSaveFailed(doc, kHexOpenFailed);
    return HexDocSaveFailed(doc, save.failure, save.system != 0 ? save.system : LastFileError());
}

HexSaveOutcome SaveThroughTempFile(HexDocument& doc) {
    char temp[kFilePathSize];
    if (!MakeTempFile(nullptr, kTempPrefix, temp)) {
        return HexDocSaveFailed(doc, kHexCreateFailed, LastFileError());
    }
    FileHandle file = CreateFileAlways(temp, nullptr);
    std::uint32_t system = file == kNoFile ? LastFileError() : 0;
    HexError written = file == kNoFile ? kHexCreateFailed : WriteDocument(doc, file, &system);
    // On the disk before it can replace the original: after a power cut the move may be there
    // while unflushed data is not.
    if (written == kHexOk && !FlushFile(file)) {
        written = kHexCreateFailed;
        system = LastFileError();
    }
    CloseFile(file);
    if (written != kHexOk) {
        DeleteFilePath(temp);
        return HexDocSaveFailed(doc, written, system);
    }

    // The original is about to be replaced: nothing may keep extents of it, and an original
    // read in place must let go of the file, or the system refuses to replace it.
    if (doc.releaseHook != nullptr) doc.releaseHook(doc.releaseContext);
    bool held = doc.originalSource >= 0 && doc.sources[doc.originalSource].file != kNoFile;
    if (held) HexDocDetachSource(doc, static_cast<std::uint32_t>(doc.originalSource));

    if (ReplaceFileWith(doc.filePath, temp, nullptr) || CopyBesideAndReplace(doc.filePath, temp)) {
        DeleteFilePath(temp);  // still there when it was copied rather than moved
        HexDocClose(doc);
        return Saved(doc);
    }
    system = LastFileError();
    if (held && !ReattachOriginal(doc)) {
        // The original is intact but out of reach; the temporary file keeps the edits, and
        // whoever saved must be able to say where.
        HexDocClose(doc);
        HexSaveOutcome outcome = HexDocSaveFailed(doc, kHexCreateFailed, system);
        CopyPath(outcome.keptFile, temp);
        return outcome;
    }
    DeleteFilePath(temp);
    return HexDocSaveFailed(doc, kHexCreateFailed, system);
}

}  // namespace

HexSaveOutcome HexDocSaveFailed(HexDocument& doc, HexError code, std::uint32_t systemError) {
    doc.error = code;
    HexSaveOutcome outcome;
    outcome.error = code;
    outcome.systemError = systemError;
    return outcome;
}

bool HexDocOpenFile(HexDocument& doc, const char* path, bool useMapping, bool readOnly) {
    char target[kFilePathSize];
    if (std::strcmp(path, "*") == 0) {
        if (doc.filePath[0] == '\0') return Fail(doc, kHexOpenFailed);
        std::memcpy(target, doc.filePath, sizeof target);
    } else if (doc.sourceCount > 0 && SamePath(path, doc.filePath)) {
        return Fail(doc, kHexAlreadyOpen);
    } else if (!CopyPath(target, path)) {
        return Fail(doc, kHexOpenFailed);
    }

    if (FileHasReadOnlyAttribute(target)) readOnly = true;
    FileError why = FileError::kNone;
    FileHandle file = kNoFile;
    std::uint32_t length = 0;
    HexError opened = OpenWithLength(target, !readOnly, kHexOpenFailed, &file, &length, &why);
    if (opened != kHexOk) {
        return Fail(doc, why == FileError::kSharingViolation ? kHexSharingViolation : opened);
    }

    bool done;
    if (useMapping) {
        done = HexDocOpen(doc, file, nullptr, length, readOnly);
    } else {
        void* block = nullptr;
        if (length > 0) {
            block = AllocateMemory(length);
            if (block == nullptr) {
                CloseFile(file);
                return Fail(doc, kHexNoMemory);
            }
            if (!ReadWhole(file, static_cast<std::uint8_t*>(block), length)) {
                ReleaseMemory(block);
                CloseFile(file);
                return Fail(doc, kHexOpenFailed);
            }
        }
        CloseFile(file);
        done = HexDocOpen(doc, kNoFile, block, length, readOnly);
    }
    if (!done) return false;
    std::memcpy(doc.filePath, target, sizeof target);
    return Succeed(doc);
}

bool HexDocSaveInPlace(HexDocument& doc) {
    if (!doc.inPlaceSavable || doc.originalSource < 0) return Fail(doc, kHexOutOfRange);
    auto original = static_cast<std::uint32_t>(doc.originalSource);
    const HexSource& source = doc.sources[original];
    std::uint64_t now = 0;
    if (source.readOnly || source.file == kNoFile || doc.length != doc.originalLength ||
        !GetFileLength(source.file, &now) || now != source.length) {
        return Fail(doc, kHexOutOfRange);  // and a file that shrank or grew is not the original
    }
    // Every original byte must still sit where it sits in the file.
    std::uint32_t at = 0;
    for (const HexPiece* piece = doc.head; piece != nullptr;
         at += piece->length, piece = piece->next) {
        if (piece->source == original && piece->offset != at) return Fail(doc, kHexOutOfRange);
    }

    // Extents of the original are about to name new bytes.
    if (doc.releaseHook != nullptr) doc.releaseHook(doc.releaseContext);
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kHexCopyStep]);
    if (!buffer) return Fail(doc, kHexNoMemory);
    at = 0;
    for (const HexPiece* piece = doc.head; piece != nullptr;
         at += piece->length, piece = piece->next) {
        if (piece->source == original) continue;
        for (std::uint32_t done = 0; done < piece->length;) {
            const std::uint32_t step = std::min(piece->length - done, kHexCopyStep);
            if (!hexdoc::CopyFromSource(doc, piece->source, piece->offset + done, buffer.get(),
                                        step)) {
                return Fail(doc, kHexOpenFailed);
            }
            if (!WriteFileAt(source.file, std::uint64_t{at} + done, buffer.get(), step)) {
                return Fail(doc, kHexCreateFailed);
            }
            done += step;
        }
    }
    if (!FlushFile(source.file)) return Fail(doc, kHexCreateFailed);
    return Succeed(doc);
}

HexSaveOutcome HexDocSaveFile(HexDocument& doc, const char* path) {
    if (path != nullptr && !SamePath(path, doc.filePath)) return SaveToNewFile(doc, path);
    if (doc.filePath[0] == '\0') return HexDocSaveFailed(doc, kHexCreateFailed);
    if (HexDocOriginalReadOnly(doc)) return HexDocSaveFailed(doc, kHexReadOnly);
    // Another program may have deleted the file the document reads, or moved a new one onto its
    // name: neither is written in place, and the document, which can still read the old file,
    // goes whole to the path.
    const FileHandle held = HexDocOriginalFileTemp(doc);
    if (held != kNoFile && FileAtPathOf(held, doc.filePath) != FileAtPath::kSame) {
        HexSaveOutcome outcome = SaveToNewFile(doc, doc.filePath);
        if (outcome.saved) HexDocClose(doc);
        return outcome;
    }
    if (HexDocSaveInPlace(doc)) {
        HexDocClose(doc);
        return Saved(doc);
    }
    return SaveThroughTempFile(doc);
}

std::uint32_t HexDocInsertMapped(HexDocument& doc, std::uint32_t position, const char* path,
                                 std::uint32_t maximum, bool insert) {
    if (doc.sourceCount >= kHexMaxSources) return FailCount(doc, kHexTooManySources);
    if (SamePath(path, doc.filePath)) return FailCount(doc, kHexInsertOwnFileMapped);
    if (position > doc.length) return FailCount(doc, kHexOutOfRange);
    FileHandle file = kNoFile;
    std::uint32_t size = 0;
    HexError opened = OpenWithLength(path, false, kHexOpenFailed, &file, &size);
    if (opened != kHexOk) return FailCount(doc, opened);
    // All of the file (up to maximum) or nothing: the insert below refuses what would pass
    // 4 GiB - 1 with 9.
    std::uint32_t n = std::min(size, maximum);
    if (n == 0) {
        CloseFile(file);
        return FailCount(doc, kHexInsertEmpty);
    }
    // The source first: if its window cannot be read, nothing has changed yet.
    std::int32_t index = HexDocAddFileSource(doc, file, n, true);
    if (index < 0) return FailCount(doc, kHexOpenFailed);

    // A piece over add-buffer bytes that are never written, retargeted at the file at once.
    doc.lastOp = kHexOpNone;
    bool placed = insert ? HexDocInsert(doc, position, nullptr, n)
                         : HexDocOverwrite(doc, position, nullptr, n);
    if (!placed) {
        HexError why = static_cast<HexError>(doc.error);
        HexDocDropLastSource(doc);
        return FailCount(doc, why);
    }
    HexPiece* piece = doc.lastPiece;
    piece->source = static_cast<std::uint32_t>(index);
    piece->offset = 0;
    // Typing after it must not lengthen a piece that no longer names the add buffer.
    doc.lastOp = kHexOpNone;
    doc.lastPiece = nullptr;
    doc.error = kHexOk;
    return piece->length;
}

std::uint32_t HexDocInsertFile(HexDocument& doc, std::uint32_t position, const char* path,
                               std::uint32_t maximum, bool insert) {
    if (SamePath(path, doc.filePath)) return FailCount(doc, kHexInsertOwnFileRead);
    FileHandle file = kNoFile;
    std::uint32_t size = 0;
    HexError opened = OpenWithLength(path, false, kHexInsertOpenFailed, &file, &size);
    if (opened != kHexOk) return FailCount(doc, opened);
    if (size == 0) {
        CloseFile(file);
        return FailCount(doc, kHexInsertEmpty);
    }
    std::uint32_t n = std::min(size, maximum);
    std::uint8_t* room = nullptr;
    bool reserved = insert ? HexDocReserveInsert(doc, position, n, &room)
                           : HexDocReserveOverwrite(doc, position, n, &room);
    if (!reserved) {
        CloseFile(file);
        return FailCount(doc, kHexNoRoom);
    }
    bool read = ReadWhole(file, room, n);
    CloseFile(file);
    if (!read) {
        // Take the half-filled bytes out again (their record is the one on top); the redo stack
        // held nothing before them.
        static_cast<void>(HexDocUndo(doc));
        HexDocClearRedo(doc);
        return FailCount(doc, kHexInsertOpenFailed);
    }
    doc.error = kHexOk;
    return n;
}
