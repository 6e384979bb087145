// The hex document's pieces: the undo and redo stacks, the doubly linked list of pieces in
// document order, and the balanced tree (a treap) over the same pieces that finds the piece at
// a position in logarithmic time.
#include <memory>
#include <new>

#include "document/hex_document_internal.h"

namespace hexdoc {

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

}  // namespace hexdoc

const HexPiece* HexDocPieceAt(HexDocument& doc, std::uint32_t position, std::uint32_t* start) {
    *start = 0;
    return position < doc.length ? hexdoc::FindPiece(doc, position, start) : nullptr;
}
