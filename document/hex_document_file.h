// Files behind a hex document: opening a file as the document (read in place, "by mapping", or
// read whole into memory), saving it (in place, through a temporary file, or to a new file), and
// inserting a file's bytes (read in place as a further source, or copied into the add buffer).
// Every function sets doc.error to a HexError. Window thread only.
//
// How the control's file operations map onto these:
//   HexViewOpenFile(path, mapping, readOnly)  -> HexDocOpenFile; then filePath, docSize, fileInfo
//                                               (from HexDocOriginalFileTemp), readOnly (from
//                                               HexDocOriginalReadOnly), modified = 0.
//   HexViewSaveFile(path)                     -> readOnly: 14; no path and not modified: done.
//                                               Otherwise disable the control, then
//                                               HexDocSaveFile(path), whose HexSaveOutcome the
//                                               control completes:
//                                               - another file: on success open it with
//                                                 HexViewOpenFile(path, openedByMapping, 0);
//                                               - own file: on success the document is closed
//                                                 and the control reopens "*" the same way;
//                                               - a failure that closed the document (keptFile):
//                                                 the control starts an empty one.
//                                               Enable the control again.
//   HexViewInsertFileMapped(path, p, mode, limit) -> readOnly: 14; HexDocInsertMapped with the
//                                               selection length as maximum when limited.
//   HexViewInsertFile(path, p, mode, limit)   -> readOnly: 14; HexDocInsertFile likewise.
// The release hook (HexDocSetReleaseHook) is where the control lets the clipboard render a
// snapshot of the document before the document's bytes go away or change.
#pragma once

#include <cstdint>

#include "document/hex_document.h"

// How a save ended. Every message about a save is built from this record, and from nothing else.
struct HexSaveOutcome {
    bool saved = false;     // the file at the path holds the document's bytes, whole and flushed
    bool reopened = false;  // (the control) and the document is that file now
    bool cleared = false;   // (the control) the document had to go: the view shows an empty one
    HexError error = kHexOk;  // why not saved (or not reopened); kHexOk when all went well
    // The system's code at the step that failed (LastFileError(), FileErrorText words it); 0
    // when the system gave none.
    std::uint32_t systemError = 0;
    // Not saved, and the document had to be closed: the temporary file that holds its bytes.
    char keptFile[kFilePathSize] = {};
    explicit operator bool() const { return saved; }
};

// A save that failed with code (left in doc.error too), with the system's code when it gave one.
[[nodiscard]] HexSaveOutcome HexDocSaveFailed(HexDocument& doc, HexError code,
                                              std::uint32_t systemError = 0);

// Opens the file at path ("*": the document's own file again) as the document. With mapping,
// the file stays open with read sharing only for the document's life and is read where it lies,
// a window at a time, and the document may be saved in place; otherwise the file is read whole
// into memory and closed (an empty file gives an empty document). A file with the read-only
// attribute opens read-only. The document is unaddressed.
// Fails, leaving the document as it was, with 2 (path is already the document's file), 3
// (sharing violation), 6 (4 GiB or larger), 1 (no memory for reading it) or 23.
[[nodiscard]] bool HexDocOpenFile(HexDocument& doc, const char* path, bool useMapping,
                                  bool readOnly);

// Writes every changed piece into the original file, at the position it has in the document,
// and flushes the file. Only while inPlaceSavable is set, the original is a writable file held
// open and it is still as long as when it was opened (else 9). A write or flush that fails
// gives 24. The document is unchanged; the caller closes and reopens it.
[[nodiscard]] bool HexDocSaveInPlace(HexDocument& doc);

// Saves the document. Every file is flushed to the disk before the save succeeds, and a new one
// before it replaces another; a failed flush fails the save. The outcome says whether it was
// saved, and when not, why (doc.error holds the same code).
// - path names another file (compared without regard to case): a new file beside it is set to
//   the document's length (15) and filled in 2048-byte steps, then replaces the file at path,
//   if there is one (24); the document stays as it is, and the caller opens the new file. On
//   failure the file at path is as it was and the new one is deleted again.
// - path is null or the document's own file: read-only documents fail with 14. When another
//   program has deleted the file the document reads, or put another in its place, the document
//   is written whole to a new file at the path as above (the edits reach the file at that path;
//   the file the document read is not the one to write). Else in place when HexDocSaveInPlace
//   can; otherwise the document is written whole to a temporary file (prefix "Hex") in the
//   system's temporary folder, which then replaces the original: moved onto it, or, across
//   volumes, copied beside it and moved onto it, so that the original is at every moment either
//   wholly old or wholly new. On success the document is closed (filePath kept) and the caller
//   reopens "*" the way it was opened. On failure (24; 23 when part of the document could not
//   be read) the original file is untouched, the temporary file deleted and the document keeps
//   every edit; only if an original read in place cannot even be opened again afterwards is the
//   document closed, and the temporary file, which holds the edits, kept and named in keptFile.
[[nodiscard]] HexSaveOutcome HexDocSaveFile(HexDocument& doc, const char* path);

// Puts the first min(file size, maximum) bytes of the file at path into the document at
// position, inserting or overwriting, as a further source read where it lies: nothing is
// copied into the document, and the file stays open with read sharing until it closes.
// Returns the bytes placed, or 0 with 17 (the document's own file), 10 (256 sources), 23, 6 or
// 19 (empty), or the code of the failed edit (9 when they would take the document past
// 4 GiB - 1: nothing is cut short). The bytes make an undo record of their own.
[[nodiscard]] std::uint32_t HexDocInsertMapped(HexDocument& doc, std::uint32_t position,
                                               const char* path, std::uint32_t maximum,
                                               bool insert);

// The same by reading the bytes into the add buffer; the file is closed afterwards. Fails with
// 18 (the document's own file), 11 (cannot be opened, or read whole), 6, 19 or 20 (no room);
// a failed read takes the reserved bytes out again.
[[nodiscard]] std::uint32_t HexDocInsertFile(HexDocument& doc, std::uint32_t position,
                                             const char* path, std::uint32_t maximum, bool insert);
