// The piece-table document behind a HexView32 control: the bytes it shows and edits, with undo
// and redo. The data it was opened over (a file read in place or a memory block) is never
// copied or changed by an edit: the document is an ordered, doubly linked list of pieces, each
// naming a stretch of one source, and edits only relink pieces and append to the add buffer.
// Replaced pieces move onto the undo stack, so undo and redo swap pieces back without copying
// data.
//
// Positions, lengths and counts are unsigned 32-bit byte counts; a document holds at most
// 4 GiB - 1 bytes. Every primitive sets doc.error (a HexError, 0 on success) and returns a
// success flag unless said otherwise. Single-threaded: only the control's thread uses a
// document. Portable; the files half is hex_document_file.h, what a HEX or S-record file gave
// it hex_document_image.h.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/image_formats.h"
#include "platform/files.h"

// Failure codes of the document, and of the control's lastError, which copies them.
enum HexError : std::uint32_t {
    kHexOk = 0,
    kHexNoMemory = 1,              // memory could not be committed (add buffer, file read)
    kHexAlreadyOpen = 2,           // the file to open is already the open document
    kHexSharingViolation = 3,      // the file is in use by another process
    kHexFileTooLarge = 6,          // the file is 4 GiB or larger
    kHexOutOfRange = 9,            // position or range outside the document
    kHexTooManySources = 10,       // the document already has 256 sources
    kHexInsertOpenFailed = 11,     // the file to insert could not be opened (or read)
    kHexReadOnly = 14,             // the document is read-only
    kHexSetLengthFailed = 15,      // the target file could not be set to the document's length
    kHexInsertOwnFileMapped = 17,  // the file to insert by mapping is the document's own file
    kHexInsertOwnFileRead = 18,    // the file to insert by reading is the document's own file
    kHexInsertEmpty = 19,          // the file to insert is empty
    kHexNoRoom = 20,               // room for the file's bytes could not be made
    kHexNothingSelected = 21,      // (control) nothing is selected
    kHexCutNeedsInsert = 22,       // (control) cut needs insert mode
    kHexOpenFailed = 23,           // the file could not be opened, or part of it read
    kHexCreateFailed = 24,         // the target or temporary file could not be created or moved
    kHexBusy = 25,                 // (control) a search or checksum runs: no edits meanwhile
    kHexNoPattern = 26,            // (control) no usable pattern to search for
    kHexTooLarge = 27,             // (control) the selection is too large for hex text
    kHexNoCompare = 28,            // (control) no compare result to step through
};

// Kinds of the previous edit, for merging runs (lastOp), and of undo records (kind).
enum HexEditKind : std::uint32_t {
    kHexOpNone = 0,
    kHexOpInsert = 1,
    kHexOpBackspaceRun = 2,
    kHexOpForwardDeleteRun = 3,
    kHexOpDelete = 4,
    kHexOpOverwrite = 5,
};

constexpr std::uint32_t kHexMaxSources = 256;
constexpr std::uint32_t kHexWindowSize = 0x100000;       // one window of a file source
constexpr std::uint32_t kHexCopyStep = 0x40000;          // most bytes moved per source access
constexpr std::uint32_t kHexAddBufferSize = 0x10000000;  // address space of the add buffer
constexpr std::uint32_t kHexNoLimit = 0xFFFFFFFF;        // a memory block's window; no maximum

// One window onto a source. A source position p lives at address p + delta.
struct HexSourceView {
    std::uint8_t* base;         // start of the window's buffer or the memory block; null when none
    std::uintptr_t delta;       // base minus windowStart
    std::uint32_t windowStart;  // source position of base
    std::uint32_t windowSize;   // bytes it holds (memory block: kHexNoLimit; add buffer: committed)
    std::uint8_t owned;         // 1 while base is allocated by this view
};

// A byte source: a file held open (the original or an inserted one), a memory block (the
// original) or the add buffer. A file is read through at most two sliding 1 MiB windows, buffers
// filled by reading it: not mapped, so that a file that shrinks or whose volume goes away under
// the document is a read that fails, never a fault.
struct HexSource {
    FileHandle file;        // owned; kNoFile for memory
    HexSourceView views[2];
    std::uint32_t length;  // file or block length; 0 for the add buffer (see addUsed)
    std::uint8_t readOnly;
    std::uint8_t lastView;  // index of the view used last
};

// What the undo and redo stacks hold. A stack owns its items and deletes them through this
// destructor when it is cleared. Intrusive: an item is on at most one stack at a time.
class HexStackItem {
public:
    virtual ~HexStackItem() = default;
    HexStackItem* below = nullptr;  // next item down the stack
};

// A stretch of one source, in the document's list or held by a stack (then never changed).
// A piece taken out of the list keeps its prev and next: undo links it back between them.
// Pieces in the list are also the nodes of a balanced tree in document order (a treap), whose
// subtree byte counts find the piece at a position in logarithmic time; the tree fields mean
// nothing while a piece is out of the list.
class HexPiece : public HexStackItem {
public:
    HexPiece(std::uint32_t sourceIndex, std::uint32_t sourceOffset, std::uint32_t byteLength)
        : source(sourceIndex), offset(sourceOffset), length(byteLength) {}
    std::uint32_t source;
    std::uint32_t offset;
    std::uint32_t length;  // change it only through the document, which keeps `total` right
    HexPiece* next = nullptr;
    HexPiece* prev = nullptr;

    HexPiece* parent = nullptr;
    HexPiece* left = nullptr;
    HexPiece* right = nullptr;
    std::uint64_t total = 0;     // bytes of this piece and everything beneath it in the tree
    std::uint32_t priority = 0;  // random; a parent's is never below its children's
};

// One undoable edit. On its stack it lies above the savedCount pieces it replaced (in document
// order, the rightmost nearest the record); with none, firstNew..lastNew are the pieces it
// added, which are still in the list.
class HexUndoRecord : public HexStackItem {
public:
    std::uint32_t savedCount = 0;
    std::uint32_t kind = 0;          // kHexOpInsert, kHexOpDelete or kHexOpOverwrite
    std::uint32_t group = 0;         // non-zero: undone and redone together with the one before
    std::uint32_t lengthBefore = 0;  // document length on the other side of the edit
    std::uint32_t position = 0;
    std::uint32_t byteCount = 0;
    HexPiece* firstNew = nullptr;
    HexPiece* lastNew = nullptr;
};

struct HexStack {
    HexStackItem* top = nullptr;
    std::uint32_t count = 0;  // non-zero: undo (or redo) is possible
};

// Positions start to end - 1 of a document or a source.
struct HexDocRange {
    std::uint32_t start;
    std::uint32_t end;
    bool operator==(const HexDocRange&) const = default;
};

// Called before the document closes, or changes the file behind its sources, so that anything
// holding extents of it (a clipboard snapshot) can render their bytes first.
using HexReleaseHook = void (*)(void* context);

// The document. Fields are public so that the view can read them (undoPos, undoSpan, length
// ...); only the primitives below change them, except groupNext, which the view sets to 1 to
// join the next record to the one before. A new document is closed: it holds nothing and
// refuses edits until HexDocOpen (the control opens it empty at creation).
struct HexDocument {
    HexDocument();
    ~HexDocument();  // releases everything, without calling the release hook
    HexDocument(const HexDocument&) = delete;
    HexDocument& operator=(const HexDocument&) = delete;

    char filePath[kFilePathSize];  // the file the document was opened from; empty otherwise
    std::uint32_t error;           // HexError of the last primitive
    HexPiece* head;                // first piece; null for an empty document
    std::uint32_t length;
    std::int32_t originalSource;  // -1 without original data
    std::uint32_t originalLength;
    std::int32_t addSource;
    std::uint32_t addCommitted;   // committed bytes of the add buffer
    std::uint32_t addUsed;        // bytes of the add buffer written
    std::uint8_t inPlaceSavable;  // opened in place (by mapping), and no original byte has moved
    HexSource sources[kHexMaxSources];
    std::uint32_t sourceCount;  // slots are not reused until the document closes
    HexPiece* cachePiece;       // lookup cache: a piece and its document position
    std::uint32_t cacheStart;
    std::uint32_t undoPos;   // where the last undo or redo happened
    std::uint32_t undoSpan;  // how many bytes from undoPos the view selects after it
    HexStack undoStack;
    HexStack redoStack;
    std::uint32_t lastOp;     // HexEditKind of the previous edit, for run merging
    HexPiece* lastPiece;      // the piece the previous insert or overwrite wrote
    std::uint32_t lastPos;    // where the previous delete acted / overwrite ended
    HexPiece* lastSplit;      // the piece the current run made and may change in place
    std::uint8_t spareByte;   // the zero HexDocLastAddedByte returns before any add
    std::uint32_t groupNext;  // group mark the next undo record takes over

    HexPiece* tail;             // last piece
    HexPiece* root;             // root of the tree over the pieces
    std::uint32_t randomState;  // priorities of new tree nodes
    HexPiece* deleteHead;       // head piece the last plain delete made (backspace may trim it)
    std::uint32_t addListed;    // add-buffer bytes below this were listed as extents: a snapshot
                                // may hold them, so they never change again
    HexReleaseHook releaseHook;
    void* releaseContext;
    // Raised by every primitive that may change the bytes or the sources (edits, undo, redo,
    // open, close, HexDocLastAddedByte); a long reader that works in slices compares it to see
    // whether the document changed under it.
    std::uint32_t changeCount;
    // What the file the original came from looked like when it gave addresses (Intel HEX,
    // S-record; hex_document_image.h): which positions of the original hold data, and its header
    // and start address. An unaddressed document (every other) holds data at every position.
    bool addressed;
    std::vector<HexDocRange> given;  // sorted, apart, in original positions
    ImageRecords records;
};

// Names one byte: reading it is HexDocGetByte, assigning a one-byte HexDocOverwrite.
class HexByteRef {
public:
    HexByteRef(std::uint32_t position, HexDocument& document)
        : position_(position), document_(&document) {}
    operator std::uint8_t() const;
    HexByteRef& operator=(std::uint8_t value);

private:
    std::uint32_t position_;
    HexDocument* document_;
};

// 12 bytes, stored in clipboard snapshots: part of a selection, named without copying it.
struct HexExtent {
    std::uint32_t offset;  // in the source
    std::uint32_t length;
    std::uint32_t source;  // source index
};
static_assert(sizeof(HexExtent) == 12);

void HexDocSetReleaseHook(HexDocument& doc, HexReleaseHook hook, void* context);

// Closes the document and starts it over the given data, taking ownership of it whatever the
// result: a file of length bytes becomes an original read in place that may be saved in place;
// else a memory block from AllocateMemory of length bytes (released with ReleaseMemory at
// close); else nothing, an empty document. The document is unaddressed. Reserves the 256 MiB
// add buffer. False (error 1 or 23) leaves the document empty and closed.
[[nodiscard]] bool HexDocOpen(HexDocument& doc, FileHandle file, void* block,
                              std::uint32_t length, bool readOnly);

// Calls the release hook, then destroys every piece and record, releases every source and closes
// its file. filePath stays (it names the file to reopen as "*").
void HexDocClose(HexDocument& doc);

// Copies count bytes from position into destination and, when marks is given, one mark per
// byte: 1 for bytes from the add buffer (typed, pasted, filled), 0 otherwise. A range passing
// the end copies what exists. Returns destination, or null with error 9 when position is not
// inside the document, or with error 23 when some of the bytes lie in a part of a file that can
// no longer be read: it shrank, its volume went away (those bytes are then zero in destination,
// and must not be taken for the document's).
[[nodiscard]] std::uint8_t* HexDocRead(HexDocument& doc, void* destination, std::uint32_t position,
                                       std::uint32_t count, std::uint8_t* marks = nullptr);

// The byte at position; 0 with error 9 outside the document.
[[nodiscard]] std::uint8_t HexDocGetByte(HexDocument& doc, std::uint32_t position);

// Inserts count bytes at position (0 to length). Null data makes the piece over the next count
// add-buffer bytes without writing them; the caller supplies or retargets them; data that is
// the room HexDocAddRoom handed out is taken where it lies. Inserts that follow each other at
// one place merge into one piece and one undo record (typing), until HexDocEndRun. All count
// bytes or none: a count that would take the length past 4 GiB - 1 fails with 9.
[[nodiscard]] bool HexDocInsert(HexDocument& doc, std::uint32_t position, const void* data,
                                std::uint32_t count);

// Deletes count bytes at position. The range must lie inside the document; one that passes the
// end is refused with error 9 and changes nothing. Runs of single-byte forward deletes at one
// position, and of backspaces, merge into one undo record.
[[nodiscard]] bool HexDocDelete(HexDocument& doc, std::uint32_t position, std::uint32_t count);

// Overwrites count bytes at position (0 to length); bytes past the end extend the document.
// Data as for HexDocInsert. Overwrites that continue each other merge, until HexDocEndRun.
// All count bytes or none, as for HexDocInsert.
[[nodiscard]] bool HexDocOverwrite(HexDocument& doc, std::uint32_t position, const void* data,
                                   std::uint32_t count);

// Ends the current run of typing: the next edit makes an undo record of its own. Edits that are
// one user action each (a paste, a drop) call it before and after themselves.
void HexDocEndRun(HexDocument& doc);

// Commits add-buffer room for count more bytes and returns where they go, changing nothing
// else; null (error 1) when the add buffer cannot take them. The document writes nothing there
// until the next edit, so a caller may fill the room and then insert or overwrite with it as
// the data, which costs no copy.
[[nodiscard]] std::uint8_t* HexDocAddRoom(HexDocument& doc, std::uint32_t count);

// Overwrites count bytes at position with value, as an undo step of its own.
[[nodiscard]] bool HexDocFill(HexDocument& doc, std::uint32_t position, std::uint8_t value,
                              std::uint32_t count);

// Insert or overwrite count bytes at position and hand back, in *room, where the caller must
// write them (inside the add buffer, committed), as an undo step of its own. A count that does
// not fit below 4 GiB or in the add buffer is refused (9, 1) and changes nothing.
[[nodiscard]] bool HexDocReserveInsert(HexDocument& doc, std::uint32_t position,
                                       std::uint32_t count, std::uint8_t** room);
[[nodiscard]] bool HexDocReserveOverwrite(HexDocument& doc, std::uint32_t position,
                                          std::uint32_t count, std::uint8_t** room);

// Undo or redo one record; false (error 0) when the stack is empty. Afterwards undoPos and
// undoSpan say what the view selects, and groupNext is non-zero when the record belongs with
// the next one on the same stack: the view repeats the step while it is.
[[nodiscard]] bool HexDocUndo(HexDocument& doc);
[[nodiscard]] bool HexDocRedo(HexDocument& doc);

// The number of pieces the range touches (0 when position is outside the document).
[[nodiscard]] std::uint32_t HexDocCountExtents(HexDocument& doc, std::uint32_t position,
                                               std::uint32_t count);

// Fills one extent per piece the range touches, at most capacity. Position must be inside the
// document (error 9). Sets lastOp to none; what the add buffer holds so far never changes
// again (HexDocChangeLastAdded), since the extents may be kept as a snapshot.
[[nodiscard]] bool HexDocListExtents(HexDocument& doc, HexExtent* extents, std::uint32_t capacity,
                                     std::uint32_t position, std::uint32_t count);

// Copies up to count bytes of the listed extents into destination, after skipping skip bytes.
// Stops at an extent that names no valid part of a source. Returns the bytes copied. Extents
// stay valid until the document closes, whatever was edited since.
[[nodiscard]] std::uint32_t HexDocReadExtents(HexDocument& doc, const HexExtent* extents,
                                              std::uint32_t extentCount, void* destination,
                                              std::uint32_t skip, std::uint32_t count);

// The last byte written to the add buffer, or a spare zero byte while the add buffer is empty.
// The view tells by it whether the byte at the caret is still the one it has just typed.
[[nodiscard]] std::uint8_t* HexDocLastAddedByte(HexDocument& doc);

// Gives the byte the last edit wrote at position (the view completes a byte typed digit by
// digit) the value: in place, or, once extents have named it (a copy holds it as it was), by a
// one-byte overwrite that undoes together with the edit before it.
[[nodiscard]] bool HexDocChangeLastAdded(HexDocument& doc, std::uint32_t position,
                                         std::uint8_t value);

[[nodiscard]] std::uint32_t HexDocLength(const HexDocument& doc);
// The original source's file handle (borrowed), or kNoFile; its read-only flag, or false.
[[nodiscard]] FileHandle HexDocOriginalFileTemp(const HexDocument& doc);
[[nodiscard]] bool HexDocOriginalReadOnly(const HexDocument& doc);

// The piece holding position (below length), with the position of its first byte in *start;
// null outside the document. Moves the lookup cache there and changes nothing else. Borrowed:
// valid until the next edit.
const HexPiece* HexDocPieceAt(HexDocument& doc, std::uint32_t position, std::uint32_t* start);

// For the files half: the address of source position p and how many bytes follow it there
// contiguously, reading a window when needed. Null when it cannot be reached: for a file, also
// when the file no longer reaches p (it shrank) or cannot be read there.
[[nodiscard]] std::uint8_t* HexDocSourceBytes(HexDocument& doc, std::uint32_t source,
                                              std::uint32_t position, std::uint32_t* available);

// Adds a source over the first length bytes of file (taken over), reading its first window; its
// index, or -1 (file closed) when 256 sources exist or the window cannot be read.
[[nodiscard]] std::int32_t HexDocAddFileSource(HexDocument& doc, FileHandle file,
                                               std::uint32_t length, bool readOnly);

// Removes the source added last, before any piece refers to it.
void HexDocDropLastSource(HexDocument& doc);

// Deletes what the redo stack holds.
void HexDocClearRedo(HexDocument& doc);

// Lets go of a file source's windows and closes its file, keeping the slot; pieces over it must
// not be read until the caller puts a new handle in (windows are read again on demand).
void HexDocDetachSource(HexDocument& doc, std::uint32_t index);
