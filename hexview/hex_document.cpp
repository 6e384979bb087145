#include "hexview/hex_document.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "platform/virtual_memory.h"

namespace {

constexpr std::uint32_t kMaxLength = 0xFFFFFFFF;
constexpr std::uint32_t kHalfWindow = kHexWindowSize / 2;
constexpr std::uint32_t kCommitUnit = 4096;

using PieceOwner = std::unique_ptr<HexPiece>;

PieceOwner MakePiece(std::uint32_t source, std::uint32_t offset, std::uint32_t length) {
    return PieceOwner(new (std::nothrow) HexPiece(source, offset, length));
}

bool Fail(HexDocument& doc, HexError code) {
    doc.error = code;
    return false;
}

bool Succeed(HexDocument& doc) {
    doc.error = kHexOk;
    return true;
}

// ---- Stacks -------------------------------------------------------------------------------

void Push(HexStack& stack, HexStackItem* item) {
    item->below = stack.top;
    stack.top = item;
    ++stack.count;
}

HexStackItem* Pop(HexStack& stack) {
    HexStackItem* item = stack.top;
    stack.top = item->below;
    item->below = nullptr;
    --stack.count;
    return item;
}

// Puts item beneath the depth topmost items.
void PushAtDepth(HexStack& stack, std::uint32_t depth, HexStackItem* item) {
    if (depth == 0) {
        Push(stack, item);
        return;
    }
    HexStackItem* above = stack.top;
    for (std::uint32_t i = 1; i < depth; ++i) above = above->below;
    item->below = above->below;
    above->below = item;
    ++stack.count;
}

void ClearStack(HexStack& stack) {
    while (stack.top != nullptr) delete Pop(stack);
}

HexUndoRecord* TopRecord(HexDocument& doc) {
    return static_cast<HexUndoRecord*>(doc.undoStack.top);
}

// A new record takes over the group mark.
void PushRecord(HexDocument& doc, HexUndoRecord* record) {
    record->group = doc.groupNext;
    doc.groupNext = 0;
    Push(doc.undoStack, record);
}

// Saves the pieces first..last, just taken out of the list, in document order, with the record
// of the edit above them.
void PushReplaced(HexDocument& doc, HexPiece* first, HexPiece* last, HexUndoRecord* record) {
    for (HexPiece* piece = first;; piece = piece->next) {
        Push(doc.undoStack, piece);  // the stack links through `below`; next stays intact
        ++record->savedCount;
        if (piece == last) break;
    }
    PushRecord(doc, record);
}

std::unique_ptr<HexUndoRecord> MakeRecord(std::uint32_t kind, std::uint32_t lengthBefore,
                                          std::uint32_t position, std::uint32_t byteCount) {
    std::unique_ptr<HexUndoRecord> record(new (std::nothrow) HexUndoRecord);
    if (record) {
        record->kind = kind;
        record->lengthBefore = lengthBefore;
        record->position = position;
        record->byteCount = byteCount;
    }
    return record;
}

// ---- The tree over the pieces ------------------------------------------------------------

std::uint64_t Total(const HexPiece* node) {
    return node != nullptr ? node->total : 0;
}

void Pull(HexPiece* node) {
    node->total = node->length + Total(node->left) + Total(node->right);
}

void PullUp(HexPiece* node) {
    for (; node != nullptr; node = node->parent) Pull(node);
}

// Changes a piece's length in place, keeping the byte counts above it right.
void Resize(HexPiece* piece, std::uint32_t length) {
    piece->length = length;
    PullUp(piece);
}

// Puts child where node hangs.
void ReplaceInParent(HexDocument& doc, HexPiece* node, HexPiece* child) {
    HexPiece* parent = node->parent;
    if (child != nullptr) child->parent = parent;
    if (parent == nullptr) {
        doc.root = child;
    } else if (parent->left == node) {
        parent->left = child;
    } else {
        parent->right = child;
    }
}

// Lifts node above its parent, keeping the document order.
void RotateUp(HexDocument& doc, HexPiece* node) {
    HexPiece* parent = node->parent;
    ReplaceInParent(doc, parent, node);
    if (parent->left == node) {
        parent->left = node->right;
        if (node->right != nullptr) node->right->parent = parent;
        node->right = parent;
    } else {
        parent->right = node->left;
        if (node->left != nullptr) node->left->parent = parent;
        node->left = parent;
    }
    parent->parent = node;
    Pull(parent);
    Pull(node);
}

std::uint32_t NextPriority(HexDocument& doc) {
    std::uint32_t x = doc.randomState;  // xorshift32
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return doc.randomState = x;
}

// Adds node to the tree right after `after` in document order (first when after is null).
void TreeInsertAfter(HexDocument& doc, HexPiece* after, HexPiece* node) {
    node->left = node->right = nullptr;
    node->priority = NextPriority(doc);
    node->total = node->length;
    HexPiece* parent = after;
    if (after == nullptr || after->right != nullptr) {
        parent = after == nullptr ? doc.root : after->right;
        if (parent == nullptr) {
            node->parent = nullptr;
            doc.root = node;
            return;
        }
        while (parent->left != nullptr) parent = parent->left;
        parent->left = node;
    } else {
        after->right = node;
    }
    node->parent = parent;
    PullUp(parent);
    while (node->parent != nullptr && node->parent->priority < node->priority) RotateUp(doc, node);
}

void TreeRemove(HexDocument& doc, HexPiece* node) {
    while (node->left != nullptr && node->right != nullptr) {
        RotateUp(doc, node->left->priority > node->right->priority ? node->left : node->right);
    }
    HexPiece* parent = node->parent;
    ReplaceInParent(doc, node, node->left != nullptr ? node->left : node->right);
    PullUp(parent);
}

// ---- The piece list -----------------------------------------------------------------------

// Links the chain first..last (already linked inside) between prev and next.
void LinkChain(HexDocument& doc, HexPiece* prev, HexPiece* first, HexPiece* last, HexPiece* next) {
    first->prev = prev;
    last->next = next;
    (prev != nullptr ? prev->next : doc.head) = first;
    (next != nullptr ? next->prev : doc.tail) = last;
    for (HexPiece* piece = first;; prev = piece, piece = piece->next) {
        TreeInsertAfter(doc, prev, piece);
        if (piece == last) break;
    }
}

// Takes first..last out of the list. Their own prev and next stay as they were, which is what
// lets undo put them back.
void UnlinkChain(HexDocument& doc, HexPiece* first, HexPiece* last) {
    for (HexPiece* piece = first;; piece = piece->next) {
        TreeRemove(doc, piece);
        if (piece == last) break;
    }
    HexPiece* prev = first->prev;
    HexPiece* next = last->next;
    (prev != nullptr ? prev->next : doc.head) = next;
    (next != nullptr ? next->prev : doc.tail) = prev;
}

void ReplaceChain(HexDocument& doc, HexPiece* oldFirst, HexPiece* oldLast, HexPiece* first,
                  HexPiece* last) {
    HexPiece* prev = oldFirst->prev;
    HexPiece* next = oldLast->next;
    UnlinkChain(doc, oldFirst, oldLast);
    LinkChain(doc, prev, first, last, next);
}

// Links the non-null pieces of list to each other in order; returns the first and last.
std::pair<HexPiece*, HexPiece*> Chain(std::initializer_list<HexPiece*> list) {
    HexPiece* first = nullptr;
    HexPiece* last = nullptr;
    for (HexPiece* piece : list) {
        if (piece == nullptr) continue;
        if (last != nullptr) {
            last->next = piece;
            piece->prev = last;
        } else {
            first = piece;
        }
        last = piece;
    }
    return {first, last};
}

void SetCache(HexDocument& doc, HexPiece* piece, std::uint32_t start) {
    doc.cachePiece = piece;
    doc.cacheStart = piece != nullptr ? start : 0;
}

// Sequential access (painting rows, typing on): position p in the cached piece or one of its
// neighbours.
bool NearCache(const HexDocument& doc, std::uint32_t p, HexPiece** found, std::uint32_t* at) {
    HexPiece* cached = doc.cachePiece;
    if (cached == nullptr) return false;
    std::uint32_t start = doc.cacheStart;
    if (p >= start) {
        if (p - start < cached->length) {
            *found = cached;
            *at = start;
            return true;
        }
        HexPiece* next = cached->next;
        start += cached->length;
        if (next != nullptr && p - start < next->length) {
            *found = next;
            *at = start;
            return true;
        }
    } else if (cached->prev != nullptr && start - p <= cached->prev->length) {
        *found = cached->prev;
        *at = start - cached->prev->length;
        return true;
    }
    return false;
}

// The piece holding position p, and the position of its first byte; for p equal to a non-zero
// length, the last piece. Null for anything else. Caches what it finds.
HexPiece* FindPiece(HexDocument& doc, std::uint32_t p, std::uint32_t* start) {
    if (doc.head == nullptr || p > doc.length) {
        SetCache(doc, nullptr, 0);
        return nullptr;
    }
    HexPiece* piece = nullptr;
    std::uint32_t at = 0;
    if (p == doc.length) {
        piece = doc.tail;
        at = doc.length - piece->length;
    } else if (!NearCache(doc, p, &piece, &at)) {
        std::uint64_t left = p;  // bytes before p inside the current subtree
        piece = doc.root;
        for (;;) {
            std::uint64_t before = Total(piece->left);
            if (left < before) {
                piece = piece->left;
            } else if (left - before < piece->length) {
                at = static_cast<std::uint32_t>(p - (left - before));
                break;
            } else {
                left -= before + piece->length;
                piece = piece->right;
            }
        }
    }
    SetCache(doc, piece, at);
    *start = at;
    return piece;
}

// ---- Sources ------------------------------------------------------------------------------

// Window start for position p of a mapped file: every p from 512 KiB on lies between 256 KiB
// and 768 KiB into its window, so a copy of up to 256 KiB never leaves it.
std::uint32_t WindowStart(std::uint32_t p) {
    if (p < kHalfWindow) return 0;
    std::uint64_t start = (std::uint64_t{p} + kHexCopyStep) & ~std::uint64_t{kHalfWindow - 1};
    return static_cast<std::uint32_t>(start - kHalfWindow);
}

void SetView(HexSourceView& view, std::uint8_t* base, std::uint32_t windowStart,
             std::uint32_t windowSize) {
    view.base = base;
    view.delta = reinterpret_cast<std::uintptr_t>(base) - windowStart;
    view.windowStart = windowStart;
    view.windowSize = windowSize;
    view.owned = base != nullptr;
}

void ReleaseView(HexSource& source, HexSourceView& view) {
    if (view.owned) {
        if (source.mapping != kNoMapping) {
            UnmapFileWindow(view.base, view.windowSize);
        } else {
            ReleaseMemory(view.base);
        }
    }
    view = HexSourceView{};
}

bool MapWindow(HexSource& source, int index, std::uint32_t windowStart) {
    HexSourceView& view = source.views[index];
    ReleaseView(source, view);
    std::uint32_t size = std::min(source.length - windowStart, kHexWindowSize);
    void* base = MapFileWindow(source.mapping, windowStart, size, !source.readOnly);
    if (base == nullptr) return false;
    SetView(view, static_cast<std::uint8_t*>(base), windowStart, size);
    source.lastView = static_cast<std::uint8_t>(index);
    return true;
}

HexSource* NewSource(HexDocument& doc, std::int32_t* index) {
    if (doc.sourceCount >= kHexMaxSources) return nullptr;
    *index = static_cast<std::int32_t>(doc.sourceCount);
    HexSource& source = doc.sources[doc.sourceCount++];
    source = HexSource{};
    source.file = kNoFile;
    source.mapping = kNoMapping;
    return &source;
}

// Whether the document may still write bytes at the end of a run piece: only while that piece
// ends where the add buffer ends and no group mark waits for a record of its own.
bool RunContinues(const HexDocument& doc, std::uint32_t addAt) {
    const HexPiece* piece = doc.lastPiece;
    return piece != nullptr && doc.groupNext == 0 &&
           piece->source == static_cast<std::uint32_t>(doc.addSource) &&
           piece->offset + piece->length == addAt;
}

// ---- The add buffer -----------------------------------------------------------------------

// Commits add-buffer memory so that count bytes fit from addUsed.
bool EnsureRoom(HexDocument& doc, std::uint32_t count) {
    if (doc.addSource < 0) return false;
    if (count > kHexAddBufferSize - doc.addUsed) return false;
    std::uint32_t needed = doc.addUsed + count;
    if (needed < doc.addCommitted) return true;
    std::uint32_t grow =
        count < kCommitUnit ? kCommitUnit : (count & ~(kCommitUnit - 1)) + kCommitUnit;
    std::uint32_t committed = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{doc.addCommitted} + grow, kHexAddBufferSize));
    if (committed == doc.addCommitted) return true;
    HexSourceView& view = doc.sources[doc.addSource].views[0];
    if (!CommitMemory(view.base + doc.addCommitted, committed - doc.addCommitted)) return false;
    doc.addCommitted = committed;
    view.windowSize = committed;
    return true;
}

std::uint8_t* AddBase(HexDocument& doc) {
    return doc.sources[doc.addSource].views[0].base;
}

// Writes count bytes of data at the end of the add buffer, committing memory as needed.
bool AppendBytes(HexDocument& doc, const void* data, std::uint32_t count) {
    if (!EnsureRoom(doc, count)) return false;
    std::memcpy(AddBase(doc) + doc.addUsed, data, count);
    doc.addUsed += count;
    return true;
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

// Checks an insert of count bytes at p, clamping the count so that neither the position nor
// the length passes 4 GiB - 1 at the end. 0 when the insert is impossible.
std::uint32_t InsertCount(const HexDocument& doc, std::uint32_t p, std::uint32_t count) {
    if (p > doc.length) return 0;
    count = std::min(count, kMaxLength - p);
    if (p == doc.length) return std::min(count, kMaxLength - doc.length);
    return count > kMaxLength - doc.length ? 0 : count;
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

// Copies count bytes of a source from offset, in steps that stay inside one window. Bytes that
// cannot be reached read as zero.
bool CopyFromSource(HexDocument& doc, std::uint32_t source, std::uint32_t offset, std::uint8_t* out,
                    std::uint32_t count) {
    while (count > 0) {
        std::uint32_t available = 0;
        const std::uint8_t* from = HexDocSourceBytes(doc, source, offset, &available);
        if (from == nullptr) {
            std::memset(out, 0, count);
            return false;
        }
        std::uint32_t step = std::min({count, kHexCopyStep, available});
        std::memcpy(out, from, step);
        out += step;
        offset += step;
        count -= step;
    }
    return true;
}

// The bytes of a source that an extent may name.
std::uint32_t SourceLimit(const HexDocument& doc, std::uint32_t source) {
    if (static_cast<std::int32_t>(source) == doc.addSource) return doc.addUsed;
    return doc.sources[source].length;
}

}  // namespace

// ---- The document -------------------------------------------------------------------------

HexDocument::HexDocument()
    : filePath{},
      error(0),
      head(nullptr),
      length(0),
      originalSource(-1),
      originalLength(0),
      addSource(-1),
      addCommitted(0),
      addUsed(0),
      inPlaceSavable(0),
      sources{},
      sourceCount(0),
      cachePiece(nullptr),
      cacheStart(0),
      undoPos(0),
      undoSpan(0),
      undoStack{},
      redoStack{},
      lastOp(0),
      lastPiece(nullptr),
      lastPos(0),
      lastSplit(nullptr),
      spareByte(0),
      groupNext(0),
      tail(nullptr),
      root(nullptr),
      randomState(0x9E3779B9),
      deleteHead(nullptr),
      releaseHook(nullptr),
      releaseContext(nullptr),
      changeCount(0) {}

HexDocument::~HexDocument() {
    releaseHook = nullptr;
    HexDocClose(*this);
}

HexByteRef::operator std::uint8_t() const {
    return HexDocGetByte(*document_, position_);
}

HexByteRef& HexByteRef::operator=(std::uint8_t value) {
    HexDocOverwrite(*document_, position_, &value, 1);
    return *this;
}

void HexDocSetReleaseHook(HexDocument& doc, HexReleaseHook hook, void* context) {
    doc.releaseHook = hook;
    doc.releaseContext = context;
}

const HexPiece* HexDocPieceAt(HexDocument& doc, std::uint32_t position, std::uint32_t* start) {
    *start = 0;
    return position < doc.length ? FindPiece(doc, position, start) : nullptr;
}

std::uint8_t* HexDocSourceBytes(HexDocument& doc, std::uint32_t index, std::uint32_t position,
                                std::uint32_t* available) {
    *available = 0;
    if (index >= doc.sourceCount) return nullptr;
    HexSource& source = doc.sources[index];
    HexSourceView* view = &source.views[0];
    if (source.mapping != kNoMapping) {
        if (position >= source.length) return nullptr;
        std::uint32_t start = WindowStart(position);
        int found = -1;
        for (int i = 0; i < 2; ++i) {
            if (source.views[i].owned && source.views[i].windowStart == start) found = i;
        }
        if (found >= 0) {
            source.lastView = static_cast<std::uint8_t>(found);
        } else if (!MapWindow(source, 1 - source.lastView, start)) {
            return nullptr;
        }
        view = &source.views[source.lastView];
    } else if (!view->owned ||
               (static_cast<std::int32_t>(index) != doc.addSource && position >= source.length)) {
        return nullptr;
    }
    if (position - view->windowStart >= view->windowSize) return nullptr;
    *available = view->windowSize - (position - view->windowStart);
    return reinterpret_cast<std::uint8_t*>(view->delta + position);
}

std::int32_t HexDocAddMappedSource(HexDocument& doc, FileHandle file, MappingHandle mapping,
                                   std::uint32_t length, bool readOnly) {
    std::int32_t index = -1;
    HexSource* source = NewSource(doc, &index);
    if (source == nullptr) return -1;
    source->file = file;
    source->mapping = mapping;
    source->length = length;
    source->readOnly = readOnly;
    if (mapping != kNoMapping && length > 0 && !MapWindow(*source, 0, 0)) {
        HexDocDropLastSource(doc);
        return -1;
    }
    return index;
}

void HexDocDropLastSource(HexDocument& doc) {
    HexSource& source = doc.sources[--doc.sourceCount];
    for (HexSourceView& view : source.views) ReleaseView(source, view);
    CloseFileMapping(source.mapping);
    CloseFile(source.file);
    source = HexSource{};
}

void HexDocClearRedo(HexDocument& doc) {
    ClearStack(doc.redoStack);
}

void HexDocDetachSource(HexDocument& doc, std::uint32_t index) {
    ++doc.changeCount;
    HexSource& source = doc.sources[index];
    for (HexSourceView& view : source.views) ReleaseView(source, view);
    CloseFileMapping(source.mapping);
    CloseFile(source.file);
    source.mapping = kNoMapping;
    source.file = kNoFile;
}

bool HexDocOpen(HexDocument& doc, FileHandle file, MappingHandle mapping, void* block,
                std::uint32_t length, bool readOnly) {
    HexDocClose(doc);
    doc.filePath[0] = '\0';
    void* addBuffer = ReserveMemory(kHexAddBufferSize);
    if (addBuffer == nullptr) {
        CloseFileMapping(mapping);
        CloseFile(file);
        ReleaseMemory(block);
        return Fail(doc, kHexNoMemory);
    }
    std::int32_t original = -1;
    if (file != kNoFile) {
        original = HexDocAddMappedSource(doc, file, mapping, length, readOnly);
        if (original < 0) {
            ReleaseMemory(addBuffer);
            return Fail(doc, kHexOpenFailed);
        }
        doc.inPlaceSavable = 1;
    } else {
        CloseFileMapping(mapping);
        if (block != nullptr && length > 0) {
            HexSource* source = NewSource(doc, &original);
            SetView(source->views[0], static_cast<std::uint8_t*>(block), 0, kHexNoLimit);
            source->length = length;
            source->readOnly = readOnly;
        } else {
            ReleaseMemory(block);
            length = 0;
        }
    }
    doc.originalSource = original;
    doc.originalLength = original >= 0 ? length : 0;
    doc.length = original >= 0 ? length : 0;
    if (doc.length > 0) {
        HexPiece* piece =
            new (std::nothrow) HexPiece(static_cast<std::uint32_t>(original), 0, doc.length);
        if (piece == nullptr) {
            ReleaseMemory(addBuffer);
            HexDocClose(doc);
            return Fail(doc, kHexNoMemory);
        }
        LinkChain(doc, nullptr, piece, piece, nullptr);
    }
    HexSource* add = NewSource(doc, &doc.addSource);
    SetView(add->views[0], static_cast<std::uint8_t*>(addBuffer), 0, 0);
    SetCache(doc, doc.head, 0);
    return Succeed(doc);
}

void HexDocClose(HexDocument& doc) {
    ++doc.changeCount;
    if (doc.releaseHook != nullptr && doc.sourceCount > 0) doc.releaseHook(doc.releaseContext);
    for (HexPiece* piece = doc.head; piece != nullptr;) {
        HexPiece* next = piece->next;
        delete piece;
        piece = next;
    }
    ClearStack(doc.undoStack);
    ClearStack(doc.redoStack);
    doc.head = doc.tail = doc.root = nullptr;
    doc.length = 0;
    SetCache(doc, nullptr, 0);
    doc.originalSource = -1;
    doc.originalLength = 0;
    doc.addSource = -1;
    doc.addCommitted = doc.addUsed = 0;
    doc.lastOp = kHexOpNone;
    doc.lastPiece = doc.lastSplit = doc.deleteHead = nullptr;
    doc.lastPos = 0;
    doc.groupNext = 0;
    doc.undoPos = doc.undoSpan = 0;
    while (doc.sourceCount > 0) HexDocDropLastSource(doc);
    doc.inPlaceSavable = 0;
}

std::uint8_t* HexDocRead(HexDocument& doc, void* destination, std::uint32_t position,
                         std::uint32_t count, std::uint8_t* marks) {
    std::uint32_t start = 0;
    HexPiece* piece = position < doc.length ? FindPiece(doc, position, &start) : nullptr;
    if (piece == nullptr) {
        Fail(doc, kHexOutOfRange);
        return nullptr;
    }
    count = std::min(count, doc.length - position);
    auto* out = static_cast<std::uint8_t*>(destination);
    std::uint32_t into = position - start;
    bool reached = true;
    while (count > 0) {
        std::uint32_t take = std::min(piece->length - into, count);
        if (marks != nullptr) {
            std::memset(marks, static_cast<std::int32_t>(piece->source) == doc.addSource, take);
            marks += take;
        }
        reached &= CopyFromSource(doc, piece->source, piece->offset + into, out, take);
        out += take;
        count -= take;
        into = 0;
        // Leave the cache on the piece reached, so that reading on costs no walk.
        if (count > 0) {
            start += piece->length;
            piece = piece->next;
        }
    }
    SetCache(doc, piece, start);
    doc.error = reached ? kHexOk : kHexOpenFailed;
    return static_cast<std::uint8_t*>(destination);
}

std::uint8_t HexDocGetByte(HexDocument& doc, std::uint32_t position) {
    std::uint8_t value = 0;
    HexDocRead(doc, &value, position, 1);
    return value;
}

bool HexDocInsert(HexDocument& doc, std::uint32_t position, const void* data, std::uint32_t count) {
    ++doc.changeCount;
    std::uint32_t n = InsertCount(doc, position, count);
    if (n == 0) return Fail(doc, kHexOutOfRange);
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
    std::uint32_t n = std::min(count, kMaxLength - position);
    if (position > doc.length || n == 0) return Fail(doc, kHexOutOfRange);
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

bool HexDocFill(HexDocument& doc, std::uint32_t position, std::uint8_t value, std::uint32_t count) {
    doc.lastOp = kHexOpNone;
    std::uint32_t n = position <= doc.length ? std::min(count, kMaxLength - position) : count;
    std::uint8_t* room = nullptr;
    if (!HexDocReserveOverwrite(doc, position, n, &room)) return false;
    std::memset(room, value, n);
    return true;
}

namespace {

// Commits the room first, so that a failure changes nothing; then the edit makes its piece
// over the room, and the room is handed out.
bool Reserve(HexDocument& doc, bool insert, std::uint32_t position, std::uint32_t count,
             std::uint8_t** room) {
    if (room == nullptr) return Fail(doc, kHexOutOfRange);
    *room = nullptr;
    std::uint32_t fits =
        insert ? InsertCount(doc, position, count) : std::min(count, kMaxLength - position);
    if (count == 0 || fits != count || position > doc.length) return Fail(doc, kHexOutOfRange);
    if (count > kHexAddBufferSize || !EnsureRoom(doc, count)) return Fail(doc, kHexNoMemory);
    bool done = insert ? HexDocInsert(doc, position, nullptr, count)
                       : HexDocOverwrite(doc, position, nullptr, count);
    if (!done) return false;
    *room = AddBase(doc) + doc.addUsed;
    doc.addUsed += count;
    return true;
}

}  // namespace

bool HexDocReserveInsert(HexDocument& doc, std::uint32_t position, std::uint32_t count,
                         std::uint8_t** room) {
    return Reserve(doc, true, position, count, room);
}

bool HexDocReserveOverwrite(HexDocument& doc, std::uint32_t position, std::uint32_t count,
                            std::uint8_t** room) {
    return Reserve(doc, false, position, count, room);
}

bool HexDocUndo(HexDocument& doc) {
    return Swap(doc, doc.undoStack, doc.redoStack, true);
}

bool HexDocRedo(HexDocument& doc) {
    return Swap(doc, doc.redoStack, doc.undoStack, false);
}

std::uint32_t HexDocCountExtents(HexDocument& doc, std::uint32_t position, std::uint32_t count) {
    if (position >= doc.length || count == 0) return 0;
    std::uint32_t start = 0;
    HexPiece* piece = FindPiece(doc, position, &start);
    std::uint32_t left = std::min(count, doc.length - position);
    std::uint32_t into = position - start;
    std::uint32_t extents = 0;
    for (; piece != nullptr && left > 0; piece = piece->next, into = 0) {
        left -= std::min(piece->length - into, left);
        ++extents;
    }
    return extents;
}

bool HexDocListExtents(HexDocument& doc, HexExtent* extents, std::uint32_t capacity,
                       std::uint32_t position, std::uint32_t count) {
    if (position >= doc.length) return Fail(doc, kHexOutOfRange);
    doc.lastOp = kHexOpNone;
    std::uint32_t start = 0;
    HexPiece* piece = FindPiece(doc, position, &start);
    std::uint32_t left = std::min(count, doc.length - position);
    std::uint32_t into = position - start;
    for (std::uint32_t i = 0; i < capacity && piece != nullptr && left > 0;
         ++i, piece = piece->next, into = 0) {
        std::uint32_t take = std::min(piece->length - into, left);
        extents[i] = HexExtent{piece->offset + into, take, piece->source};
        left -= take;
    }
    return Succeed(doc);
}

std::uint32_t HexDocReadExtents(HexDocument& doc, const HexExtent* extents,
                                std::uint32_t extentCount, void* destination, std::uint32_t skip,
                                std::uint32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::uint32_t copied = 0;
    std::uint32_t i = 0;
    for (; i < extentCount && extents[i].length <= skip; ++i) skip -= extents[i].length;
    for (; i < extentCount && copied < count; ++i, skip = 0) {
        const HexExtent& extent = extents[i];
        if (extent.source >= doc.sourceCount || extent.length > SourceLimit(doc, extent.source) ||
            extent.offset > SourceLimit(doc, extent.source) - extent.length) {
            break;  // names nothing of this document
        }
        std::uint32_t take = std::min(extent.length - skip, count - copied);
        if (!CopyFromSource(doc, extent.source, extent.offset + skip, out + copied, take)) break;
        copied += take;
    }
    return copied;
}

std::uint8_t* HexDocLastAddedByte(HexDocument& doc) {
    ++doc.changeCount;  // the caller writes through the address
    if (doc.addSource < 0 || doc.addUsed == 0) {
        doc.spareByte = 0;
        return &doc.spareByte;
    }
    return AddBase(doc) + doc.addUsed - 1;
}

std::uint32_t HexDocLength(const HexDocument& doc) {
    return doc.length;
}

FileHandle HexDocOriginalFile(const HexDocument& doc) {
    return doc.originalSource >= 0 ? doc.sources[doc.originalSource].file : kNoFile;
}

bool HexDocOriginalReadOnly(const HexDocument& doc) {
    return doc.originalSource >= 0 && doc.sources[doc.originalSource].readOnly != 0;
}
