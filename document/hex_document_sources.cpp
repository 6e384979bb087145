// The hex document's sources: mapped files seen through two sliding windows, memory blocks,
// and the add buffer, whose reserved address space is committed as it fills.
#include <algorithm>
#include <cstring>

#include "document/hex_document_internal.h"
#include "platform/virtual_memory.h"

namespace hexdoc {

namespace {

constexpr std::uint32_t kHalfWindow = kHexWindowSize / 2;
constexpr std::uint32_t kCommitUnit = 4096;

// Window start for position p of a mapped file: every p from 512 KiB on lies between 256 KiB
// and 768 KiB into its window, so a copy of up to 256 KiB never leaves it.
std::uint32_t WindowStart(std::uint32_t p) {
    if (p < kHalfWindow) return 0;
    std::uint64_t start = (std::uint64_t{p} + kHexCopyStep) & ~std::uint64_t{kHalfWindow - 1};
    return static_cast<std::uint32_t>(start - kHalfWindow);
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

}  // namespace

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

HexSource* NewSource(HexDocument& doc, std::int32_t* index) {
    if (doc.sourceCount >= kHexMaxSources) return nullptr;
    *index = static_cast<std::int32_t>(doc.sourceCount);
    HexSource& source = doc.sources[doc.sourceCount++];
    source = HexSource{};
    source.file = kNoFile;
    source.mapping = kNoMapping;
    return &source;
}

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
    std::uint8_t* end = AddBase(doc) + doc.addUsed;
    if (end != data) std::memcpy(end, data, count);  // else the caller filled the room
    doc.addUsed += count;
    return true;
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

}  // namespace hexdoc

using namespace hexdoc;

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

void HexDocDetachSource(HexDocument& doc, std::uint32_t index) {
    ++doc.changeCount;
    HexSource& source = doc.sources[index];
    for (HexSourceView& view : source.views) ReleaseView(source, view);
    CloseFileMapping(source.mapping);
    CloseFile(source.file);
    source.mapping = kNoMapping;
    source.file = kNoFile;
}
