// A plain byte-vector model of the hex document, with its own undo history, and a driver that
// applies one stream of random operations to a real document and to the model, checking after
// every step that both agree. Header-only: the model test and the fuzz target share it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "document/hex_document.h"

namespace hexmodel {

struct Byte {
    std::uint8_t value;
    std::uint8_t mark;  // 1 for bytes the edits wrote
    bool operator==(const Byte&) const = default;
};
using Bytes = std::vector<Byte>;

// One undoable edit as a splice: at pos, removed (before) was replaced by added (after).
struct Record {
    std::uint32_t kind;
    std::uint32_t pos;
    Bytes removed;
    Bytes added;
    std::uint32_t group;
    std::uint32_t ByteCount() const {
        return static_cast<std::uint32_t>(kind == kHexOpDelete ? removed.size() : added.size());
    }
};

// The document's rules restated over positions: runs merge when an edit continues the previous
// one exactly where it stopped.
class Model {
public:
    Bytes content;
    std::vector<Record> undo, redo;
    std::uint32_t lastOp = kHexOpNone;
    std::uint32_t lastPos = 0;    // delete: where it acted; overwrite: where it ended
    std::uint32_t insertEnd = 0;  // insert: where it ended
    std::uint32_t groupNext = 0;
    std::uint32_t undoPos = 0, undoSpan = 0;
    bool inPlaceSavable = false;
    std::uint32_t error = 0;

    std::uint32_t Length() const { return static_cast<std::uint32_t>(content.size()); }

    bool Insert(std::uint32_t p, const Bytes& data) {
        std::uint32_t n = static_cast<std::uint32_t>(data.size());
        if (p > Length() || n == 0) return Fail(kHexOutOfRange);
        bool merge = lastOp == kHexOpInsert && groupNext == 0 && p == insertEnd && !undo.empty();
        if (merge) {
            Record& top = undo.back();
            top.added.insert(top.added.begin() + (p - top.pos), data.begin(), data.end());
        } else {
            NewRecord({kHexOpInsert, p, {}, data, 0});
        }
        content.insert(content.begin() + p, data.begin(), data.end());
        redo.clear();
        lastOp = kHexOpInsert;
        insertEnd = p + n;
        inPlaceSavable = false;
        return Ok();
    }

    bool Delete(std::uint32_t p, std::uint32_t n) {
        if (p >= Length() || n == 0 || n > Length() - p) return Fail(kHexOutOfRange);
        bool single = n == 1 && groupNext == 0 && !undo.empty();
        if (single && p == lastPos &&
            (lastOp == kHexOpDelete || lastOp == kHexOpForwardDeleteRun)) {
            undo.back().removed.push_back(content[p]);
            lastOp = kHexOpForwardDeleteRun;
        } else if (single && p + 1 == lastPos &&
                   (lastOp == kHexOpDelete || lastOp == kHexOpBackspaceRun)) {
            Record& top = undo.back();
            top.removed.insert(top.removed.begin(), content[p]);
            top.pos = p;
            lastOp = kHexOpBackspaceRun;
            lastPos = p;
        } else {
            NewRecord(
                {kHexOpDelete, p, Bytes(content.begin() + p, content.begin() + p + n), {}, 0});
            lastOp = kHexOpDelete;
            lastPos = p;
        }
        content.erase(content.begin() + p, content.begin() + p + n);
        redo.clear();
        inPlaceSavable = false;
        return Ok();
    }

    bool Overwrite(std::uint32_t p, const Bytes& data) {
        std::uint32_t n = static_cast<std::uint32_t>(data.size());
        if (p > Length() || n == 0) return Fail(kHexOutOfRange);
        std::uint32_t covered = std::min(n, Length() - p);
        Bytes old(content.begin() + p, content.begin() + p + covered);
        if (lastOp == kHexOpOverwrite && groupNext == 0 && p == lastPos && !undo.empty()) {
            Record& top = undo.back();
            top.removed.insert(top.removed.end(), old.begin(), old.end());
            top.added.insert(top.added.end(), data.begin(), data.end());
        } else {
            NewRecord({kHexOpOverwrite, p, old, data, 0});
        }
        if (p + n > Length()) {
            content.resize(p + n);
            inPlaceSavable = false;
        }
        std::copy(data.begin(), data.end(), content.begin() + p);
        redo.clear();
        lastOp = kHexOpOverwrite;
        lastPos = p + n;
        return Ok();
    }

    // Bytes placed as an undo step of their own (a fill, a reserve, a mapped file): no merging
    // before or after.
    bool Place(std::uint32_t p, const Bytes& data, bool insert) {
        lastOp = kHexOpNone;
        bool done = insert ? Insert(p, data) : Overwrite(p, data);
        if (done) lastOp = kHexOpNone;
        return done;
    }

    bool Undo() { return Step(undo, redo, true); }
    bool Redo() { return Step(redo, undo, false); }

    Bytes Read(std::uint32_t p, std::uint32_t n) const {
        n = std::min(n, Length() - p);
        return Bytes(content.begin() + p, content.begin() + p + n);
    }

private:
    void NewRecord(Record record) {
        record.group = groupNext;
        groupNext = 0;
        undo.push_back(std::move(record));
    }

    bool Step(std::vector<Record>& from, std::vector<Record>& to, bool undoing) {
        if (from.empty()) return Fail(kHexOk);
        Record record = std::move(from.back());
        from.pop_back();
        bool deletion = record.kind == kHexOpDelete;
        undoSpan = deletion == undoing ? record.ByteCount() : 0;
        std::swap(record.group, groupNext);
        const Bytes& out = undoing ? record.added : record.removed;
        const Bytes& in = undoing ? record.removed : record.added;
        content.erase(content.begin() + record.pos, content.begin() + record.pos + out.size());
        content.insert(content.begin() + record.pos, in.begin(), in.end());
        undoPos = record.pos;
        to.push_back(std::move(record));
        lastOp = kHexOpNone;
        return Ok();
    }

    bool Fail(std::uint32_t code) {
        error = code;
        return false;
    }
    bool Ok() {
        error = 0;
        return true;
    }
};

// Reads little pieces of a fuzzer's input; zeros once it is used up.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t Word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
        return value;
    }
    // A number below limit (0 for limit 0).
    std::uint32_t Below(std::uint32_t limit) { return limit == 0 ? 0 : Word() % limit; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The tree over the pieces: the list's order, right byte counts, parents and priorities.
inline std::string CheckTree(const HexDocument& doc) {
    if (doc.root != nullptr && doc.root->parent != nullptr) return "the root has a parent";
    const HexPiece* expected = doc.head;
    std::vector<const HexPiece*> path;
    const HexPiece* node = doc.root;
    while (node != nullptr || !path.empty()) {
        while (node != nullptr) {
            path.push_back(node);
            node = node->left;
        }
        node = path.back();
        path.pop_back();
        if (node != expected) return "the tree's order is not the list's";
        std::uint64_t total = node->length;
        for (const HexPiece* child : {node->left, node->right}) {
            if (child == nullptr) continue;
            if (child->parent != node) return "a tree node's parent is wrong";
            if (child->priority > node->priority) return "a tree node outranks its parent";
            total += child->total;
        }
        if (total != node->total) return "a tree node's byte count is wrong";
        expected = expected->next;
        node = node->right;
    }
    if (expected != nullptr) return "the tree misses pieces of the list";
    return {};
}

// Structural checks of the piece list, the tree, the stacks and the cache. Empty when sound.
inline std::string CheckStructure(const HexDocument& doc) {
    std::uint64_t sum = 0;
    const HexPiece* prev = nullptr;
    bool cacheSeen = doc.cachePiece == nullptr;
    for (const HexPiece* piece = doc.head; piece != nullptr; piece = piece->next) {
        if (piece->prev != prev) return "a piece's prev does not name the piece before it";
        if (piece->length == 0) return "a piece of length 0";
        if (piece->source >= doc.sourceCount) return "a piece names no source";
        std::uint64_t limit = static_cast<std::int32_t>(piece->source) == doc.addSource
                                  ? doc.addUsed
                                  : doc.sources[piece->source].length;
        if (std::uint64_t{piece->offset} + piece->length > limit)
            return "a piece passes its source";
        if (piece == doc.cachePiece) {
            if (doc.cacheStart != sum) return "the cache start is wrong";
            cacheSeen = true;
        }
        sum += piece->length;
        prev = piece;
    }
    if (doc.tail != prev) return "tail is not the last piece";
    std::string tree = CheckTree(doc);
    if (!tree.empty()) return tree;
    if (sum != doc.length) return "piece lengths do not sum to length";
    if (!cacheSeen) return "the cached piece is not in the list";
    for (const HexStack* stack : {&doc.undoStack, &doc.redoStack}) {
        std::uint32_t count = 0;
        for (const HexStackItem* item = stack->top; item != nullptr; item = item->below) ++count;
        if (count != stack->count) return "a stack's count is wrong";
    }
    return {};
}

// Undo records on a stack (pieces beneath them not counted).
inline std::uint32_t RecordCount(const HexStack& stack) {
    std::uint32_t records = 0;
    for (const HexStackItem* item = stack.top; item != nullptr;) {
        auto* record = static_cast<const HexUndoRecord*>(item);
        ++records;
        item = item->below;
        for (std::uint32_t i = 0; i < record->savedCount; ++i) item = item->below;
    }
    return records;
}

// "bytes differ" or "marks differ" when what the document read is not the model's content, else
// null. This loop over the test's own vectors runs after every step over megabytes: without the
// sanitizers' checks on each access it costs a tenth (the document's code stays checked).
__attribute__((no_sanitize("address", "undefined"))) inline const char* DiffersFromModel(
    const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& marks,
    const Model& model) {
    // Plain pointers: the compiler does not inline the vectors' checked accessors into here.
    const std::size_t n = bytes.size();
    const std::uint8_t* got = bytes.data();
    const std::uint8_t* gotMarks = marks.data();
    const Byte* want = model.content.data();
    for (std::size_t i = 0; i < n; ++i) {
        if (got[i] != want[i].value) return "bytes differ";
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (gotMarks[i] != want[i].mark) return "marks differ";
    }
    return nullptr;
}

// Compares everything but the bytes, and the bytes too when full is set.
inline std::string Compare(HexDocument& doc, const Model& model, const char* op, bool full) {
    auto fail = [op](const std::string& what) { return std::string(op) + ": " + what; };
    std::string structure = CheckStructure(doc);
    if (!structure.empty()) return fail(structure);
    if (doc.length != model.Length()) return fail("length differs");
    if ((doc.inPlaceSavable != 0) != model.inPlaceSavable) return fail("inPlaceSavable differs");
    if (RecordCount(doc.undoStack) != model.undo.size()) return fail("undo records differ");
    if (RecordCount(doc.redoStack) != model.redo.size()) return fail("redo records differ");
    if (doc.groupNext != model.groupNext) return fail("groupNext differs");
    if (doc.lastOp != model.lastOp) return fail("lastOp differs");
    for (std::uint32_t s = 0; s < doc.sourceCount; ++s) {
        for (const HexSourceView& view : doc.sources[s].views) {
            if (doc.sources[s].file != kNoFile && view.owned &&
                (view.windowStart % (kHexWindowSize / 2) != 0 ||
                 view.windowSize > kHexWindowSize)) {
                return fail("a window breaks the window rule");
            }
        }
    }
    if (doc.length == 0 || !full) return {};
    std::vector<std::uint8_t> bytes(doc.length), marks(doc.length);
    if (HexDocRead(doc, bytes.data(), 0, doc.length, marks.data()) != bytes.data()) {
        return fail("reading the document failed");
    }
    if (const char* differs = DiffersFromModel(bytes, marks, model)) return fail(differs);
    return {};
}

inline Bytes MakeBytes(Input& in, std::uint32_t n) {
    Bytes bytes(n);
    std::uint8_t seed = in.Byte();
    for (std::uint32_t i = 0; i < n; ++i)
        bytes[i] = Byte{static_cast<std::uint8_t>(seed + i * 7), 1};
    return bytes;
}

inline std::vector<std::uint8_t> Values(const Bytes& bytes) {
    std::vector<std::uint8_t> values(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) values[i] = bytes[i].value;
    return values;
}

struct Limits {
    std::uint32_t maxCount = 64;    // usual count of an edit
    std::uint32_t bigCount = 4096;  // occasional large count
    std::uint32_t maxRead = 256;    // reads checked besides the whole comparison
};

// Picks a position: often where the previous edit stopped, so that runs form; sometimes just
// outside the document, to test the refusals.
inline std::uint32_t Position(Input& in, const Model& model, int kind) {
    std::uint8_t how = in.Byte() % 8;
    std::uint32_t length = model.Length();
    if (how < 3) {
        if (kind == 0) return model.insertEnd;
        if (kind == 1) return how != 1 && model.lastPos > 0 ? model.lastPos - 1 : model.lastPos;
        return model.lastPos;
    }
    if (how == 3) return length + in.Below(3);
    return in.Below(length + 1);
}

inline std::uint32_t Count(Input& in, const Limits& limits) {
    std::uint8_t how = in.Byte() % 16;
    if (how < 9) return 1;
    if (how < 15) return 1 + in.Below(limits.maxCount);
    return in.Below(limits.bigCount + 1);
}

// Applies one operation to both; returns a description of the first disagreement, or empty.
inline std::string Step(HexDocument& doc, Model& model, Input& in, const Limits& limits,
                        bool full = true) {
    std::uint8_t op = in.Byte() % 14;
    bool got = false, want = false;
    const char* name = "";
    switch (op) {
        case 0:
        case 1: {  // insert
            name = "insert";
            std::uint32_t p = Position(in, model, 0);
            Bytes data = MakeBytes(in, Count(in, limits));
            auto values = Values(data);
            got = HexDocInsert(doc, p, values.data(), static_cast<std::uint32_t>(values.size()));
            want = model.Insert(p, data);
            break;
        }
        case 2:
        case 3: {  // delete
            name = "delete";
            std::uint32_t p = Position(in, model, 1);
            std::uint32_t n = in.Byte() % 4 == 0 ? Count(in, limits) + in.Below(3) : 1;
            got = HexDocDelete(doc, p, n);
            want = model.Delete(p, n);
            break;
        }
        case 4:
        case 5: {  // overwrite
            name = "overwrite";
            std::uint32_t p = Position(in, model, 2);
            Bytes data = MakeBytes(in, Count(in, limits));
            auto values = Values(data);
            got = HexDocOverwrite(doc, p, values.data(), static_cast<std::uint32_t>(values.size()));
            want = model.Overwrite(p, data);
            break;
        }
        case 6: {  // fill
            name = "fill";
            std::uint32_t p = Position(in, model, 2);
            std::uint32_t n = Count(in, limits);
            std::uint8_t value = in.Byte();
            got = HexDocFill(doc, p, value, n);
            want = model.Place(p, Bytes(n, Byte{value, 1}), false);
            break;
        }
        case 7: {  // reserve, then write the room
            name = "reserve";
            bool insert = in.Byte() & 1;
            std::uint32_t p = Position(in, model, insert ? 0 : 2);
            Bytes data = MakeBytes(in, Count(in, limits));
            auto n = static_cast<std::uint32_t>(data.size());
            std::uint8_t* room = nullptr;
            got = insert ? HexDocReserveInsert(doc, p, n, &room)
                         : HexDocReserveOverwrite(doc, p, n, &room);
            if (got) {
                auto values = Values(data);
                std::memcpy(room, values.data(), n);
            }
            want = model.Place(p, data, insert);
            break;
        }
        case 8:
        case 9:
            name = "undo";
            got = HexDocUndo(doc);
            want = model.Undo();
            if (got && (doc.undoPos != model.undoPos || doc.undoSpan != model.undoSpan)) {
                return "undo: undoPos or undoSpan differs";
            }
            break;
        case 10:
            name = "redo";
            got = HexDocRedo(doc);
            want = model.Redo();
            if (got && (doc.undoPos != model.undoPos || doc.undoSpan != model.undoSpan)) {
                return "redo: undoPos or undoSpan differs";
            }
            break;
        case 11: {  // group the next record with the one before, as the view does
            name = "group";
            doc.groupNext = model.groupNext = 1;
            got = want = true;
            break;
        }
        case 12: {  // extents of a range, read back through them
            name = "extents";
            std::uint32_t p = in.Below(model.Length() + 1);
            std::uint32_t n = 1 + in.Below(limits.maxRead);
            std::uint32_t count = HexDocCountExtents(doc, p, n);
            std::vector<HexExtent> extents(count);
            got = HexDocListExtents(doc, extents.data(), count, p, n);
            want = p < model.Length();
            if (want) model.lastOp = kHexOpNone;
            if (got) {
                std::uint32_t skip = in.Below(n);
                std::vector<std::uint8_t> out(n);
                std::uint32_t copied =
                    HexDocReadExtents(doc, extents.data(), count, out.data(), skip, n);
                Bytes expect = model.Read(p, n);
                std::uint32_t expectCount =
                    skip < expect.size() ? static_cast<std::uint32_t>(expect.size()) - skip : 0;
                if (copied != expectCount) return "extents: wrong number of bytes copied";
                for (std::uint32_t i = 0; i < copied; ++i) {
                    if (out[i] != expect[skip + i].value) return "extents: wrong byte";
                }
            }
            break;
        }
        default: {  // a read somewhere, crossing pieces and windows
            name = "read";
            std::uint32_t p = in.Below(model.Length() + 2);
            std::uint32_t n = 1 + in.Below(limits.maxRead);
            std::vector<std::uint8_t> out(n);
            got = HexDocRead(doc, out.data(), p, n) != nullptr;
            want = p < model.Length();
            if (got) {
                Bytes expect = model.Read(p, n);
                for (std::size_t i = 0; i < expect.size(); ++i) {
                    if (out[i] != expect[i].value) return "read: wrong byte";
                }
            }
            if (got && p < model.Length() && HexDocGetByte(doc, p) != model.content[p].value) {
                return "get byte: wrong byte";
            }
            model.error = want ? 0u : std::uint32_t{kHexOutOfRange};
            break;
        }
    }
    if (got != want) return std::string(name) + ": document and model disagree on success";
    if (op <= 10 && doc.error != model.error) return std::string(name) + ": error codes differ";
    return Compare(doc, model, name, full);
}

// The model of a document opened over content (original bytes, marks 0).
inline Model ModelOver(const std::vector<std::uint8_t>& original, bool mapped) {
    Model model;
    for (std::uint8_t value : original) model.content.push_back(Byte{value, 0});
    model.inPlaceSavable = mapped;
    return model;
}

}  // namespace hexmodel
