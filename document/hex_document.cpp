// The hex document's life and its reading: opening over a file, a memory block or nothing,
// closing, reading bytes, and the extents that name a selection without copying it.
#include "document/hex_document.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "document/hex_document_internal.h"
#include "platform/virtual_memory.h"

using namespace hexdoc;

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
      addListed(0),
      releaseHook(nullptr),
      releaseContext(nullptr),
      changeCount(0),
      addressed(false) {}

HexDocument::~HexDocument() {
    releaseHook = nullptr;
    HexDocClose(*this);
}

HexByteRef::operator std::uint8_t() const {
    return HexDocGetByte(*document_, position_);
}

HexByteRef& HexByteRef::operator=(std::uint8_t value) {
    // An assignment has no result: a refused overwrite leaves its code in the document's error.
    static_cast<void>(HexDocOverwrite(*document_, position_, &value, 1));
    return *this;
}

void HexDocSetReleaseHook(HexDocument& doc, HexReleaseHook hook, void* context) {
    doc.releaseHook = hook;
    doc.releaseContext = context;
}

bool HexDocOpen(HexDocument& doc, FileHandle file, void* block, std::uint32_t length,
                bool readOnly) {
    HexDocClose(doc);
    doc.filePath[0] = '\0';
    void* addBuffer = ReserveMemory(kHexAddBufferSize);
    if (addBuffer == nullptr) {
        CloseFile(file);
        ReleaseMemory(block);
        return Fail(doc, kHexNoMemory);
    }
    std::int32_t original = -1;
    if (file != kNoFile) {
        original = HexDocAddFileSource(doc, file, length, readOnly);
        if (original < 0) {
            ReleaseMemory(addBuffer);
            return Fail(doc, kHexOpenFailed);
        }
        doc.inPlaceSavable = 1;
    } else {
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
    doc.addListed = 0;
    while (doc.sourceCount > 0) HexDocDropLastSource(doc);
    doc.inPlaceSavable = 0;
    doc.addressed = false;
    doc.given.clear();
    doc.records = ImageRecords{};
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
    if (!reached) {
        Fail(doc, kHexOpenFailed);
        return nullptr;
    }
    doc.error = kHexOk;
    return static_cast<std::uint8_t*>(destination);
}

std::uint8_t HexDocGetByte(HexDocument& doc, std::uint32_t position) {
    std::uint8_t value = 0;  // stays 0 when the byte cannot be read; error says why
    static_cast<void>(HexDocRead(doc, &value, position, 1));
    return value;
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
    doc.addListed = doc.addUsed;
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

FileHandle HexDocOriginalFileTemp(const HexDocument& doc) {
    return doc.originalSource >= 0 ? doc.sources[doc.originalSource].file : kNoFile;
}

bool HexDocOriginalReadOnly(const HexDocument& doc) {
    return doc.originalSource >= 0 && doc.sources[doc.originalSource].readOnly != 0;
}
