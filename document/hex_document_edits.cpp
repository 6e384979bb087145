// The hex document's edits: inserting, deleting, overwriting and filling, the merging of typing
// runs into one undo record, and undo and redo.
#include <algorithm>
#include <cstring>
#include <memory>

#include "document/hex_document_internal.h"

using namespace hexdoc;

namespace {

// Whether the document may still write bytes at the end of a run piece: only while that piece
// ends where the add buffer ends and no group mark waits for a record of its own.
bool RunContinues(const HexDocument& doc, std::uint32_t addAt) {
    const HexPiece* piece = doc.lastPiece;
    return piece != nullptr && doc.groupNext == 0 &&
           piece->source == static_cast<std::uint32_t>(doc.addSource) &&
           piece->offset + piece->length == addAt;
}

// The bytes an edit writes: appended now when data is given, else the caller's.
bool SupplyBytes(HexDocument& doc, const void* data, std::uint32_t count) {
    if (doc.addSource < 0) return false;
    return data == nullptr || AppendBytes(doc, data, count);
}

// What every new edit does to the history and the merge state before it sets its own.
void BeginEdit(HexDocument& doc) {
    ClearStack(doc.redoStack);
    doc.lastSplit = nullptr;
    doc.deleteHead = nullptr;
}

// Whether count bytes can go in at p, all of them: a caller's bytes are placed whole or not at
// all, never cut short where the length would pass 4 GiB - 1.
bool InsertFits(const HexDocument& doc, std::uint32_t p, std::uint32_t count) {
    return p <= doc.length && count <= kMaxLength - doc.length;
}
bool OverwriteFits(const HexDocument& doc, std::uint32_t p, std::uint32_t count) {
    return p <= doc.length && count <= kMaxLength - p;
}

// ---- Undo and redo ------------------------------------------------------------------------

bool Swap(HexDocument& doc, HexStack& from, HexStack& to, bool undo) {
    ++doc.changeCount;
    if (from.top == nullptr) {
        doc.error = kHexOk;
        return false;
    }
    auto* record = static_cast<HexUndoRecord*>(from.top);
    bool deletion = record->kind == kHexOpDelete;
    doc.undoSpan = (deletion == undo) ? record->byteCount : 0;
    Pop(from);
    std::swap(record->group, doc.groupNext);

    HexPiece* first;
    HexPiece* last;
    std::uint32_t saved = record->savedCount;
    if (saved > 0) {
        // They come off rightmost first; link them to each other again, keeping the outer
        // prev and next they had when they left the list.
        last = static_cast<HexPiece*>(Pop(from));
        first = last;
        for (std::uint32_t i = 1; i < saved; ++i) {
            auto* piece = static_cast<HexPiece*>(Pop(from));
            piece->next = first;
            first->prev = piece;
            first = piece;
        }
    } else {
        first = record->firstNew;
        last = record->lastNew;
    }
    // What now lies between the pieces' old neighbours (the added pieces themselves when none
    // were saved) leaves the list for the other stack, in document order.
    HexPiece* before = first->prev;
    HexPiece* after = last->next;
    HexPiece* stretch = before != nullptr ? before->next : doc.head;
    std::uint32_t moved = 0;
    if (stretch != after) {
        HexPiece* stretchLast = after != nullptr ? after->prev : doc.tail;
        UnlinkChain(doc, stretch, stretchLast);
        for (HexPiece* piece = stretch;; piece = piece->next) {
            Push(to, piece);
            ++moved;
            if (piece == stretchLast) break;
        }
    }
    if (saved > 0) LinkChain(doc, before, first, last, after);
    record->savedCount = moved;
    record->firstNew = moved == 0 ? first : nullptr;
    record->lastNew = moved == 0 ? last : nullptr;
    Push(to, record);

    std::swap(doc.length, record->lengthBefore);
    doc.undoPos = record->position;
    SetCache(doc, nullptr, 0);
    doc.lastOp = kHexOpNone;
    doc.lastPiece = nullptr;
    doc.lastSplit = nullptr;
    doc.deleteHead = nullptr;
    return Succeed(doc);
}

// ---- Deleting -----------------------------------------------------------------------------

// One more byte deleted at lastPos, after a delete or forward delete there.
bool ForwardRun(HexDocument& doc, HexPiece* piece, std::uint32_t start) {
    HexUndoRecord* record = TopRecord(doc);
    PieceOwner copy;
    if (piece != doc.lastSplit) {
        copy = MakePiece(piece->source, piece->offset, piece->length);
        if (!copy) return Fail(doc, kHexNoMemory);
    }
    BeginEdit(doc);
    if (copy) {
        // Saved above the pieces saved so far, which keeps them in document order.
        Pop(doc.undoStack);
        Push(doc.undoStack, piece);
        ++record->savedCount;
        Push(doc.undoStack, record);
        ReplaceChain(doc, piece, piece, copy.get(), copy.get());
        piece = copy.release();
    }
    if (piece->length > 1) {
        ++piece->offset;
        Resize(piece, piece->length - 1);
        doc.lastSplit = piece;
        SetCache(doc, piece, start);
    } else {
        HexPiece* next = piece->next;
        UnlinkChain(doc, piece, piece);
        delete piece;
        SetCache(doc, next, start);
    }
    ++record->byteCount;
    --doc.length;
    doc.lastOp = kHexOpForwardDeleteRun;
    return Succeed(doc);
}

// One more byte deleted just before lastPos, after a delete or backspace that ended there.
bool BackspaceRun(HexDocument& doc, HexPiece* piece, std::uint32_t start, std::uint32_t p) {
    HexUndoRecord* record = TopRecord(doc);
    // Pieces this run or its delete made are not held by the stack and may change in place;
    // any other is saved beneath the pieces saved so far, keeping them in document order.
    bool own = piece == doc.lastSplit || (doc.lastOp == kHexOpDelete && piece == doc.deleteHead);
    PieceOwner copy;
    if (!own) {
        copy = MakePiece(piece->source, piece->offset, piece->length);
        if (!copy) return Fail(doc, kHexNoMemory);
    }
    BeginEdit(doc);
    if (copy) {
        Pop(doc.undoStack);
        PushAtDepth(doc.undoStack, record->savedCount, piece);
        ++record->savedCount;
        Push(doc.undoStack, record);
        ReplaceChain(doc, piece, piece, copy.get(), copy.get());
        piece = copy.release();
    }
    if (p == start) {
        HexPiece* next = piece->next;
        UnlinkChain(doc, piece, piece);
        delete piece;
        SetCache(doc, next, p);
    } else {
        Resize(piece, piece->length - 1);
        doc.lastSplit = piece;
        SetCache(doc, piece, start);
    }
    ++record->byteCount;
    --record->position;
    --doc.length;
    doc.lastPos = p;
    doc.lastOp = kHexOpBackspaceRun;
    return Succeed(doc);
}

bool PlainDelete(HexDocument& doc, HexPiece* piece, std::uint32_t start, std::uint32_t p,
                 std::uint32_t n) {
    std::uint32_t end = p + n;
    HexPiece* last = piece;
    std::uint32_t lastStart = start;
    while (lastStart + last->length < end) {
        lastStart += last->length;
        last = last->next;
    }
    PieceOwner head, tail;
    if (p > start) head = MakePiece(piece->source, piece->offset, p - start);
    std::uint32_t lastEnd = lastStart + last->length;
    if (end < lastEnd)
        tail = MakePiece(last->source, last->offset + (end - lastStart), lastEnd - end);
    auto record = MakeRecord(kHexOpDelete, doc.length, p, n);
    if ((p > start && !head) || (end < lastEnd && !tail) || !record) {
        return Fail(doc, kHexNoMemory);
    }
    BeginEdit(doc);
    auto [first, chainLast] = Chain({head.get(), tail.get()});
    HexPiece* after = last->next;
    if (first != nullptr) {
        ReplaceChain(doc, piece, last, first, chainLast);
    } else {
        UnlinkChain(doc, piece, last);
    }
    PushReplaced(doc, piece, last, record.release());
    doc.length -= n;
    if (tail) {
        SetCache(doc, tail.get(), p);
    } else if (after != nullptr) {
        SetCache(doc, after, p);
    } else {
        SetCache(doc, nullptr, 0);
    }
    doc.lastPiece = nullptr;
    doc.lastOp = kHexOpDelete;
    doc.lastSplit = tail.release();
    doc.deleteHead = head.release();
    doc.lastPos = p;
    doc.inPlaceSavable = 0;
    return Succeed(doc);
}

// ---- Overwriting --------------------------------------------------------------------------

// Continues the previous overwrite, which ended at p, the first byte of piece.
bool OverwriteRun(HexDocument& doc, HexPiece* piece, std::uint32_t p, const void* data,
                  std::uint32_t n) {
    HexUndoRecord* record = TopRecord(doc);
    HexPiece* run = doc.lastPiece;
    if (n < piece->length && piece == doc.lastSplit) {
        if (!SupplyBytes(doc, data, n)) return Fail(doc, kHexNoMemory);
        ClearStack(doc.redoStack);
        Resize(run, run->length + n);
        piece->offset += n;
        Resize(piece, piece->length - n);
    } else {
        // Is a piece left partly covered? It is replaced by a copy trimmed at its front.
        std::uint32_t left = n;
        HexPiece* partial = piece;
        while (partial != nullptr && left >= partial->length) {
            left -= partial->length;
            partial = partial->next;
        }
        PieceOwner trimmed;
        if (partial != nullptr && left > 0) {
            trimmed = MakePiece(partial->source, partial->offset + left, partial->length - left);
            if (!trimmed) return Fail(doc, kHexNoMemory);
        }
        if (!SupplyBytes(doc, data, n)) return Fail(doc, kHexNoMemory);
        ClearStack(doc.redoStack);
        Pop(doc.undoStack);
        Resize(run, run->length + n);
        left = n;
        HexPiece* split = nullptr;
        for (HexPiece* cur = piece; cur != nullptr && left > 0;) {
            HexPiece* next = cur->next;
            if (cur->length <= left) {
                left -= cur->length;
                UnlinkChain(doc, cur, cur);
                if (cur == doc.lastSplit) {
                    delete cur;  // made by this run, never saved
                } else {
                    Push(doc.undoStack, cur);
                    ++record->savedCount;
                }
            } else {
                ReplaceChain(doc, cur, cur, trimmed.get(), trimmed.get());
                Push(doc.undoStack, cur);
                ++record->savedCount;
                split = trimmed.release();
                left = 0;
            }
            cur = next;
        }
        if (left > 0) {
            doc.length += left;
            doc.inPlaceSavable = 0;
        }
        Push(doc.undoStack, record);
        doc.lastSplit = split;
    }
    record->byteCount += n;
    SetCache(doc, run, p + n - run->length);
    doc.lastPos = p + n;
    doc.lastOp = kHexOpOverwrite;
    return Succeed(doc);
}

bool OverwriteInside(HexDocument& doc, HexPiece* piece, std::uint32_t start, std::uint32_t p,
                     const void* data, std::uint32_t n, std::uint32_t addAt) {
    std::uint64_t end = std::uint64_t{p} + n;
    HexPiece* last = piece;
    std::uint32_t lastStart = start;
    while (last->next != nullptr && lastStart + last->length < end) {
        lastStart += last->length;
        last = last->next;
    }
    std::uint32_t lastEnd = lastStart + last->length;
    PieceOwner head, tail;
    if (p > start) head = MakePiece(piece->source, piece->offset, p - start);
    PieceOwner added = MakePiece(static_cast<std::uint32_t>(doc.addSource), addAt, n);
    if (end < lastEnd) {
        auto cut = static_cast<std::uint32_t>(end - lastStart);
        tail = MakePiece(last->source, last->offset + cut, last->length - cut);
    }
    auto record = MakeRecord(kHexOpOverwrite, doc.length, p, n);
    if ((p > start && !head) || !added || (end < lastEnd && !tail) || !record) {
        return Fail(doc, kHexNoMemory);
    }
    if (!SupplyBytes(doc, data, n)) return Fail(doc, kHexNoMemory);
    BeginEdit(doc);
    auto [first, chainLast] = Chain({head.get(), added.get(), tail.get()});
    ReplaceChain(doc, piece, last, first, chainLast);
    PushReplaced(doc, piece, last, record.release());
    if (end > doc.length) {
        doc.length = static_cast<std::uint32_t>(end);
        doc.inPlaceSavable = 0;
    }
    SetCache(doc, added.get(), p);
    doc.lastPiece = added.release();
    doc.lastOp = kHexOpOverwrite;
    doc.lastPos = static_cast<std::uint32_t>(end);
    doc.lastSplit = tail.release();
    head.release();
    return Succeed(doc);
}

// A new piece over the add-buffer bytes at addAt, linked after `after` (null: at the front)
// with a record of its own; or, when merging, the run piece lengthened.
bool AddPieceAfter(HexDocument& doc, HexPiece* after, std::uint32_t p, const void* data,
                   std::uint32_t n, std::uint32_t kind, bool merge, std::uint32_t addAt) {
    if (merge) {
        if (!SupplyBytes(doc, data, n)) return Fail(doc, kHexNoMemory);
        ClearStack(doc.redoStack);
        Resize(doc.lastPiece, doc.lastPiece->length + n);
        TopRecord(doc)->byteCount += n;
    } else {
        PieceOwner piece = MakePiece(static_cast<std::uint32_t>(doc.addSource), addAt, n);
        auto record = MakeRecord(kind, doc.length, p, n);
        if (!piece || !record) return Fail(doc, kHexNoMemory);
        if (!SupplyBytes(doc, data, n)) return Fail(doc, kHexNoMemory);
        BeginEdit(doc);
        LinkChain(doc, after, piece.get(), piece.get(), after != nullptr ? after->next : doc.head);
        record->firstNew = record->lastNew = piece.get();
        PushRecord(doc, record.release());
        doc.lastPiece = piece.release();
    }
    doc.lastSplit = nullptr;
    doc.deleteHead = nullptr;
    doc.length += n;
    doc.inPlaceSavable = 0;  // every edit that lands here grows the document
    SetCache(doc, doc.lastPiece, p + n - doc.lastPiece->length);
    doc.lastOp = kind;
    return Succeed(doc);
}

bool InsertInside(HexDocument& doc, HexPiece* piece, std::uint32_t start, std::uint32_t p,
                  const void* data, std::uint32_t n, std::uint32_t addAt) {
    std::uint32_t before = p - start;
    PieceOwner head = MakePiece(piece->source, piece->offset, before);
    PieceOwner added = MakePiece(static_cast<std::uint32_t>(doc.addSource), addAt, n);
    PieceOwner tail = MakePiece(piece->source, piece->offset + before, piece->length - before);
    auto record = MakeRecord(kHexOpInsert, doc.length, p, n);
    if (!head || !added || !tail || !record) return Fail(doc, kHexNoMemory);
    if (!SupplyBytes(doc, data, n)) return Fail(doc, kHexNoMemory);
    BeginEdit(doc);
    auto [first, last] = Chain({head.release(), added.get(), tail.release()});
    ReplaceChain(doc, piece, piece, first, last);
    Push(doc.undoStack, piece);
    record->savedCount = 1;
    PushRecord(doc, record.release());
    doc.length += n;
    doc.inPlaceSavable = 0;
    SetCache(doc, added.get(), p);
    doc.lastPiece = added.release();
    doc.lastOp = kHexOpInsert;
    return Succeed(doc);
}

// Commits the room first, so that a failure changes nothing; then the edit makes its piece
// over the room, and the room is handed out.
bool Reserve(HexDocument& doc, bool insert, std::uint32_t position, std::uint32_t count,
             std::uint8_t** room) {
    HexDocEndRun(doc);  // the caller's bytes are an undo step of their own
    if (room == nullptr) return Fail(doc, kHexOutOfRange);
    *room = nullptr;
    const bool fits =
        insert ? InsertFits(doc, position, count) : OverwriteFits(doc, position, count);
    if (count == 0 || !fits) return Fail(doc, kHexOutOfRange);
    if (count > kHexAddBufferSize || !EnsureRoom(doc, count)) return Fail(doc, kHexNoMemory);
    bool done = insert ? HexDocInsert(doc, position, nullptr, count)
                       : HexDocOverwrite(doc, position, nullptr, count);
    if (!done) return false;
    *room = AddBase(doc) + doc.addUsed;
    doc.addUsed += count;
    HexDocEndRun(doc);
    return true;
}

}  // namespace

bool HexDocInsert(HexDocument& doc, std::uint32_t position, const void* data, std::uint32_t count) {
    ++doc.changeCount;
    if (count == 0 || !InsertFits(doc, position, count)) return Fail(doc, kHexOutOfRange);
    const std::uint32_t n = count;
    if (doc.addSource < 0) return Fail(doc, kHexNoMemory);
    std::uint32_t addAt = doc.addUsed;
    bool run = doc.lastOp == kHexOpInsert && RunContinues(doc, addAt);
    if (doc.head == nullptr)
        return AddPieceAfter(doc, nullptr, 0, data, n, kHexOpInsert, false, addAt);
    std::uint32_t start = 0;
    HexPiece* piece = FindPiece(doc, position, &start);
    if (position == doc.length) {
        return AddPieceAfter(doc, piece, position, data, n, kHexOpInsert,
                             run && piece == doc.lastPiece, addAt);
    }
    if (position == start) {
        return AddPieceAfter(doc, piece->prev, position, data, n, kHexOpInsert,
                             run && piece->prev == doc.lastPiece, addAt);
    }
    return InsertInside(doc, piece, start, position, data, n, addAt);
}

bool HexDocDelete(HexDocument& doc, std::uint32_t position, std::uint32_t count) {
    ++doc.changeCount;
    if (position >= doc.length || count == 0 || count > doc.length - position) {
        return Fail(doc, kHexOutOfRange);
    }
    std::uint32_t start = 0;
    HexPiece* piece = FindPiece(doc, position, &start);
    bool single = count == 1 && doc.groupNext == 0;
    if (single && position == doc.lastPos && position == start &&
        (doc.lastOp == kHexOpDelete || doc.lastOp == kHexOpForwardDeleteRun)) {
        if (!ForwardRun(doc, piece, start)) return false;
    } else if (single && position + 1 == doc.lastPos && position + 1 == start + piece->length &&
               (doc.lastOp == kHexOpDelete || doc.lastOp == kHexOpBackspaceRun)) {
        if (!BackspaceRun(doc, piece, start, position)) return false;
    } else if (!PlainDelete(doc, piece, start, position, count)) {
        return false;
    }
    doc.inPlaceSavable = 0;
    return true;
}

bool HexDocOverwrite(HexDocument& doc, std::uint32_t position, const void* data,
                     std::uint32_t count) {
    ++doc.changeCount;
    if (count == 0 || !OverwriteFits(doc, position, count)) return Fail(doc, kHexOutOfRange);
    const std::uint32_t n = count;
    if (doc.addSource < 0) return Fail(doc, kHexNoMemory);
    std::uint32_t addAt = doc.addUsed;
    bool run = doc.lastOp == kHexOpOverwrite && RunContinues(doc, addAt);
    if (doc.head == nullptr) {
        if (!AddPieceAfter(doc, nullptr, 0, data, n, kHexOpOverwrite, false, addAt)) return false;
    } else if (position == doc.length) {
        if (!AddPieceAfter(doc, doc.tail, position, data, n, kHexOpOverwrite,
                           run && doc.tail == doc.lastPiece, addAt)) {
            return false;
        }
    } else {
        std::uint32_t start = 0;
        HexPiece* piece = FindPiece(doc, position, &start);
        if (run && position == start && piece->prev == doc.lastPiece) {
            return OverwriteRun(doc, piece, position, data, n);
        }
        return OverwriteInside(doc, piece, start, position, data, n, addAt);
    }
    doc.lastPos = position + n;
    return true;
}

void HexDocEndRun(HexDocument& doc) {
    doc.lastOp = kHexOpNone;
    doc.lastPiece = nullptr;
}

std::uint8_t* HexDocAddRoom(HexDocument& doc, std::uint32_t count) {
    if (!EnsureRoom(doc, count)) {
        Fail(doc, kHexNoMemory);
        return nullptr;
    }
    doc.error = kHexOk;
    return AddBase(doc) + doc.addUsed;
}

bool HexDocFill(HexDocument& doc, std::uint32_t position, std::uint8_t value, std::uint32_t count) {
    std::uint32_t n = position <= doc.length ? std::min(count, kMaxLength - position) : count;
    std::uint8_t* room = nullptr;
    if (!HexDocReserveOverwrite(doc, position, n, &room)) return false;
    std::memset(room, value, n);
    return true;
}

bool HexDocReserveInsert(HexDocument& doc, std::uint32_t position, std::uint32_t count,
                         std::uint8_t** room) {
    ++doc.changeCount;
    return Reserve(doc, true, position, count, room);
}

bool HexDocReserveOverwrite(HexDocument& doc, std::uint32_t position, std::uint32_t count,
                            std::uint8_t** room) {
    ++doc.changeCount;
    return Reserve(doc, false, position, count, room);
}

bool HexDocUndo(HexDocument& doc) {
    return Swap(doc, doc.undoStack, doc.redoStack, true);
}

bool HexDocRedo(HexDocument& doc) {
    return Swap(doc, doc.redoStack, doc.undoStack, false);
}

bool HexDocChangeLastAdded(HexDocument& doc, std::uint32_t position, std::uint8_t value) {
    ++doc.changeCount;
    if (doc.addUsed > doc.addListed) {
        *HexDocLastAddedByte(doc) = value;
        return Succeed(doc);
    }
    doc.groupNext = 1;
    if (HexDocOverwrite(doc, position, &value, 1)) return true;
    doc.groupNext = 0;
    return false;
}

void HexDocClearRedo(HexDocument& doc) {
    ClearStack(doc.redoStack);
}
