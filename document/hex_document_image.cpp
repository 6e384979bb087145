#include "document/hex_document_image.h"

#include <algorithm>
#include <new>

#include "document/hex_document_internal.h"
#include "platform/virtual_memory.h"

namespace {

constexpr std::uint32_t kReadStep = 0x10000;  // data is read into an image this much at a time

// Adds start..end to ranges, joining it to the last one when they touch.
void Append(std::vector<HexDocRange>& ranges, std::uint32_t start, std::uint32_t end) {
    if (start == end) return;
    if (!ranges.empty() && ranges.back().end == start) {
        ranges.back().end = end;
    } else {
        ranges.push_back({start, end});
    }
}

}  // namespace

bool HexDocOpenImage(HexDocument& doc, const SparseImage& image, const ImageRecords& records) {
    const std::uint64_t span = image.empty() ? 0 : std::uint64_t{image.highest()} + 1;
    void* block = nullptr;
    HexError why = span > 0xFFFFFFFF ? kHexFileTooLarge : kHexOk;
    if (why == kHexOk && span > 0) {
        block = AllocateMemory(static_cast<std::uint32_t>(span));
        if (block == nullptr) why = kHexNoMemory;
    }
    if (why != kHexOk) {
        static_cast<void>(HexDocOpen(doc, kNoFile, nullptr, 0, false));
        doc.error = why;
        return false;
    }
    image.CopyOut(0, static_cast<std::uint32_t>(span), 0xFF, static_cast<std::uint8_t*>(block));
    if (!HexDocOpen(doc, kNoFile, block, static_cast<std::uint32_t>(span), false)) return false;
    doc.addressed = true;
    doc.given = HexImageRanges(image);
    doc.records = records;
    return true;
}

std::vector<HexDocRange> HexImageRanges(const SparseImage& image) {
    std::vector<HexDocRange> ranges;
    for (const SparseImage::Run& run : image.Runs()) {
        Append(ranges, run.address, run.address + run.length);
    }
    return ranges;
}

std::vector<HexDocRange> HexDocDataRanges(HexDocument& doc) {
    std::vector<HexDocRange> ranges;
    if (!doc.addressed) {
        Append(ranges, 0, doc.length);
        return ranges;
    }
    std::uint32_t at = 0;
    for (const HexPiece* piece = doc.head; piece != nullptr;
         at += piece->length, piece = piece->next) {
        if (static_cast<std::int32_t>(piece->source) != doc.originalSource) {
            Append(ranges, at, at + piece->length);  // typed, pasted, filled or inserted
            continue;
        }
        // The original's bytes are data where the file gave them.
        const std::uint32_t first = piece->offset;
        const std::uint32_t last = piece->offset + piece->length;
        auto given = std::upper_bound(
            doc.given.begin(), doc.given.end(), first,
            [](std::uint32_t p, const HexDocRange& range) { return p < range.end; });
        for (; given != doc.given.end() && given->start < last; ++given) {
            Append(ranges, at + (std::max(given->start, first) - first),
                   at + (std::min(given->end, last) - first));
        }
    }
    return ranges;
}

std::uint64_t HexDocRangeBytes(const std::vector<HexDocRange>& ranges) {
    std::uint64_t bytes = 0;
    for (const HexDocRange& range : ranges) bytes += range.end - range.start;
    return bytes;
}

bool HexDocReadImage(HexDocument& doc, SparseImage& image) {
    const std::vector<HexDocRange> ranges = HexDocDataRanges(doc);
    if (HexDocRangeBytes(ranges) > kMaxImageBytes) return hexdoc::Fail(doc, kHexTooLarge);
    std::vector<std::uint8_t> bytes(kReadStep);
    for (const HexDocRange& range : ranges) {
        for (std::uint32_t at = range.start; at < range.end;) {
            const std::uint32_t step = std::min(range.end - at, kReadStep);
            if (HexDocRead(doc, bytes.data(), at, step) == nullptr) {
                return hexdoc::Fail(doc, kHexOpenFailed);
            }
            // Positions are distinct and the count was checked: nothing can be refused here.
            static_cast<void>(image.Add(at, bytes.data(), step, 0, nullptr));
            at += step;
        }
    }
    return hexdoc::Succeed(doc);
}

HexSaveOutcome HexDocSaveImage(HexDocument& doc, const char* path, ImageFormat format,
                               const std::string& name) {
    SparseImage image;
    std::string text;
    ImageRecords records = doc.records;
    if (!doc.addressed) {
        records.hasHeader = true;
        records.header = name.substr(0, 64);
    }
    try {
        if (HexDocReadImage(doc, image)) text = WriteImageFile(format, image, records);
    } catch (const std::bad_alloc&) {
        return HexDocSaveFailed(doc, kHexNoMemory);
    }
    if (doc.error != kHexOk) return HexDocSaveFailed(doc, static_cast<HexError>(doc.error));
    if (!WriteFileReplacing(path, text.data(), static_cast<std::uint32_t>(text.size()), nullptr)) {
        return HexDocSaveFailed(doc, kHexCreateFailed, LastFileError());
    }
    HexSaveOutcome outcome;
    outcome.saved = true;
    outcome.reopened = HexDocOpenImage(doc, image, records);
    outcome.error = static_cast<HexError>(doc.error);
    return outcome;
}
