// The hex document's sources: files read through two sliding windows, memory blocks, and the
// add buffer, whose reserved address space is committed as it fills.
#include <algorithm>
#include <cstring>

#include "document/hex_document_internal.h"
#include "platform/virtual_memory.h"

namespace hexdoc {

namespace {

constexpr std::uint32_t kHalfWindow = kHexWindowSize / 2;
constexpr std::uint32_t kCommitUnit = 4096;

// Window start for position p of a file: every p from 512 KiB on lies between 256 KiB
// and 768 KiB into its window, so a copy of up to 256 KiB never leaves it.
std::uint32_t WindowStart(std::uint32_t p) {
    if (p < kHalfWindow) return 0;
    std::uint64_t start = (std::uint64_t{p} + kHexCopyStep) & ~std::uint64_t{kHalfWindow - 1};
    return static_cast<std::uint32_t>(start - kHalfWindow);
}

// The bytes a window of a file source holds when it is whole.
std::uint32_t WindowBytes(const HexSource& source, std::uint32_t windowStart) {
    return std::min(source.length - windowStart, kHexWindowSize);
}

// Reads the window at windowStart into view index's buffer. The half that the other view holds
// already is copied from there: a reader going forward reads each byte of the file once. False,
// leaving the view empty, when the file cannot give all of the window's bytes.
bool ReadWindow(HexSource& source, int index, std::uint32_t windowStart) {
    HexSourceView& view = source.views[index];
    const std::uint32_t size = WindowBytes(source, windowStart);
    std::uint8_t* buffer = view.base;
    if (!view.owned) {
        // Kept until the source goes: the window moves, its buffer stays.
        buffer = static_cast<std::uint8_t*>(AllocateMemory(std::min(source.length, kHexWindowSize)));
        if (buffer == nullptr) return false;
    }
    SetView(view, buffer, windowStart, 0);
    std::uint32_t have = 0;
    const HexSourceView& other = source.views[1 - index];
    if (other.owned && other.windowStart + kHalfWindow == windowStart &&
        other.windowSize == WindowBytes(source, other.windowStart)) {
        have = std::min(size, other.windowSize - kHalfWindow);
        std::memcpy(buffer, other.base + kHalfWindow, have);
    }
    std::uint32_t got = 0;
    if (!ReadFileAt(source.file, std::uint64_t{windowStart} + have, buffer + have, size - have,
                    &got) ||
        got != size - have) {
        return false;
    }
    view.windowSize = size;
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

void ReleaseView(HexSourceView& view) {
    if (view.owned) ReleaseMemory(view.base);
    view = HexSourceView{};
}

HexSource* NewSource(HexDocument& doc, std::int32_t* index) {
    if (doc.sourceCount >= kHexMaxSources) return nullptr;
    *index = static_cast<std::int32_t>(doc.sourceCount);
    HexSource& source = doc.sources[doc.sourceCount++];
    source = HexSource{};
    source.file = kNoFile;
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
    if (source.file != kNoFile) {
        // The file may have shrunk since (another program rewrote it): what it no longer holds
        // cannot be read, whatever a window kept of it.
        std::uint64_t now = 0;
        if (position >= source.length || !GetFileLength(source.file, &now) || position >= now) {
            return nullptr;
        }
        const std::uint32_t start = WindowStart(position);
        int found = -1;
        for (int i = 0; i < 2; ++i) {
            const HexSourceView& v = source.views[i];
            if (v.owned && v.windowStart == start && v.windowSize == WindowBytes(source, start)) {
                found = i;
            }
        }
        if (found >= 0) {
            source.lastView = static_cast<std::uint8_t>(found);
        } else if (!ReadWindow(source, 1 - source.lastView, start)) {
            return nullptr;
        }
        view = &source.views[source.lastView];
        if (now < std::uint64_t{view->windowStart} + view->windowSize) {
            *available = static_cast<std::uint32_t>(now - position);
            return reinterpret_cast<std::uint8_t*>(view->delta + position);
        }
    } else if (!view->owned ||
               (static_cast<std::int32_t>(index) != doc.addSource && position >= source.length)) {
        return nullptr;
    }
    if (position - view->windowStart >= view->windowSize) return nullptr;
    *available = view->windowSize - (position - view->windowStart);
    return reinterpret_cast<std::uint8_t*>(view->delta + position);
}

std::int32_t HexDocAddFileSource(HexDocument& doc, FileHandle file, std::uint32_t length,
                                 bool readOnly) {
    std::int32_t index = -1;
    HexSource* source = NewSource(doc, &index);
    if (source == nullptr) {
        CloseFile(file);
        return -1;
    }
    source->file = file;
    source->length = length;
    source->readOnly = readOnly;
    if (length > 0 && !ReadWindow(*source, 0, 0)) {
        HexDocDropLastSource(doc);
        return -1;
    }
    return index;
}

void HexDocDropLastSource(HexDocument& doc) {
    HexSource& source = doc.sources[--doc.sourceCount];
    for (HexSourceView& view : source.views) ReleaseView(view);
    CloseFile(source.file);
    source = HexSource{};
}

void HexDocDetachSource(HexDocument& doc, std::uint32_t index) {
    ++doc.changeCount;
    HexSource& source = doc.sources[index];
    for (HexSourceView& view : source.views) ReleaseView(view);
    CloseFile(source.file);
    source.file = kNoFile;
}
