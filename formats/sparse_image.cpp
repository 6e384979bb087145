#include "formats/sparse_image.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace {
constexpr std::uint64_t kAddressSpace = 1ull << 32;
}  // namespace

SparseImage::AddResult SparseImage::Add(std::uint64_t address, const std::uint8_t* data,
                                        std::size_t size, std::uint32_t line, Conflict* conflict) {
    if (size == 0) return AddResult::kAdded;
    const std::uint64_t end = address + size;
    if (address >= kAddressSpace || end > kAddressSpace) return AddResult::kPastAddressSpace;

    // Check against the runs already there, noting the stretches that are still free.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> free;
    std::uint64_t cursor = address;
    for (auto it = FirstTouching(address); it != spans_.end() && it->first < end; ++it) {
        const std::uint64_t spanStart = it->first;
        const std::uint64_t spanEnd = spanStart + it->second.length;
        if (spanStart > cursor) free.emplace_back(cursor, spanStart);
        const std::uint64_t from = std::max(spanStart, address);
        const std::uint64_t to = std::min(spanEnd, end);
        for (std::uint64_t a = from; a < to; ++a) {
            const std::uint8_t old = pool_[it->second.offset + (a - spanStart)];
            const std::uint8_t now = data[a - address];
            if (old != now) {
                if (conflict != nullptr) {
                    *conflict = {static_cast<std::uint32_t>(a), it->second.line, old, now};
                }
                return AddResult::kConflict;
            }
        }
        cursor = std::max(cursor, to);
    }
    if (cursor < end) free.emplace_back(cursor, end);

    std::uint64_t added = 0;
    for (const auto& [from, to] : free) added += to - from;
    if (pool_.size() + added > kMaxImageBytes) return AddResult::kTooLarge;
    for (const auto& [from, to] : free) {
        Span span{static_cast<std::uint32_t>(to - from), line, pool_.size()};
        pool_.insert(pool_.end(), data + (from - address), data + (to - address));
        spans_.emplace(from, span);
    }
    return AddResult::kAdded;
}

std::uint32_t SparseImage::lowest() const {
    return spans_.empty() ? 0 : static_cast<std::uint32_t>(spans_.begin()->first);
}

std::uint32_t SparseImage::highest() const {
    if (spans_.empty()) return 0;
    const auto& last = *spans_.rbegin();
    return static_cast<std::uint32_t>(last.first + last.second.length - 1);
}

SparseImage::SpanMap::const_iterator SparseImage::FirstTouching(std::uint64_t address) const {
    auto it = spans_.upper_bound(address);
    if (it != spans_.begin()) {
        auto before = std::prev(it);
        if (before->first + before->second.length > address) it = before;
    }
    return it;
}

bool SparseImage::FindFrom(std::uint64_t from, std::uint32_t* address, std::uint32_t* line) const {
    const auto it = FirstTouching(from);
    if (it == spans_.end()) return false;
    *address = static_cast<std::uint32_t>(std::max<std::uint64_t>(it->first, from));
    *line = it->second.line;
    return true;
}

std::vector<SparseImage::Run> SparseImage::Runs() const {
    std::vector<Run> runs;
    runs.reserve(spans_.size());
    for (const auto& [address, span] : spans_) {
        runs.push_back({static_cast<std::uint32_t>(address), span.length,
                        pool_.data() + span.offset});
    }
    return runs;
}

std::uint64_t SparseImage::CopyOut(std::uint32_t start, std::uint32_t length, std::uint8_t fill,
                                   std::uint8_t* out) const {
    std::memset(out, fill, length);
    const std::uint64_t end = static_cast<std::uint64_t>(start) + length;
    std::uint64_t found = 0;
    for (auto it = FirstTouching(start); it != spans_.end() && it->first < end; ++it) {
        const std::uint64_t from = std::max<std::uint64_t>(it->first, start);
        const std::uint64_t to = std::min<std::uint64_t>(it->first + it->second.length, end);
        std::memcpy(out + (from - start), pool_.data() + it->second.offset + (from - it->first),
                    to - from);
        found += to - from;
    }
    return found;
}
