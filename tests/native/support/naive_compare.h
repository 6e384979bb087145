// The plain compare that the document compare must agree with: position by position over the
// flat bytes, runs of differing positions, the longer side's extra bytes one more range; and a
// check of a compare's whole result against it, look-ups from every position included.
// Header-only: the compare test and its fuzz target share it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "document/hex_compare.h"

inline std::vector<HexDiffRange> NaiveCompare(const std::vector<std::uint8_t>& a,
                                              const std::vector<std::uint8_t>& b) {
    std::vector<HexDiffRange> ranges;
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] == b[i]) continue;
        const auto at = static_cast<std::uint32_t>(i);
        if (!ranges.empty() && ranges.back().end == at) {
            ++ranges.back().end;
        } else {
            ranges.push_back({at, at + 1});
        }
    }
    const std::size_t longer = std::max(a.size(), b.size());
    if (longer > common) {
        ranges.push_back({static_cast<std::uint32_t>(common), static_cast<std::uint32_t>(longer)});
    }
    return ranges;
}

inline std::vector<HexDiffRange> ListedRanges(const HexDiffList& list) {
    std::vector<HexDiffRange> ranges;
    for (std::size_t i = 0; i < list.ListedCount(); ++i) ranges.push_back(list.Range(i));
    return ranges;
}

// How list differs from the plain compare of a and b when at most limit ranges of the positions
// both have are listed (the extra bytes always are); "" when it agrees in everything.
inline std::string Disagreement(const HexDiffList& list, const std::vector<std::uint8_t>& a,
                                const std::vector<std::uint8_t>& b,
                                std::size_t limit = kHexDiffMaxListed) {
    const std::vector<HexDiffRange> all = NaiveCompare(a, b);
    std::uint64_t bytes = 0;
    for (const HexDiffRange& r : all) bytes += r.length();
    if (list.ByteCount() != bytes) return "the differing bytes are miscounted";
    if (list.RangeCount() != all.size()) return "the ranges are miscounted";
    const std::size_t extra = a.size() != b.size() ? 1 : 0;
    std::vector<HexDiffRange> listed(all.begin(),
                                     all.begin() + std::min(all.size() - extra, limit));
    if (extra != 0) listed.push_back(all.back());
    if (ListedRanges(list) != listed) return "other ranges are listed";
    if (list.Complete() != (listed.size() == all.size())) return "Complete is wrong";

    const std::uint32_t longest = static_cast<std::uint32_t>(std::max(a.size(), b.size()));
    for (std::uint32_t from = 0; from <= longest + 1; ++from) {
        // Next: the first starting at or after from; Previous: the last starting before it.
        const auto next = std::find_if(listed.begin(), listed.end(),
                                       [from](const HexDiffRange& r) { return r.start >= from; });
        const auto previous = std::find_if(listed.rbegin(), listed.rend(),
                                           [from](const HexDiffRange& r) { return r.start < from; });
        HexDiffRange range{};
        bool wrapped = false;
        if (list.Next(from, &range, &wrapped) != !listed.empty() ||
            (!listed.empty() && (wrapped != (next == listed.end()) ||
                                 range != (wrapped ? listed.front() : *next)))) {
            return "Next from " + std::to_string(from) + " is wrong";
        }
        if (list.Previous(from, &range, &wrapped) != !listed.empty() ||
            (!listed.empty() && (wrapped != (previous == listed.rend()) ||
                                 range != (wrapped ? listed.back() : *previous)))) {
            return "Previous from " + std::to_string(from) + " is wrong";
        }
        const auto ending = std::find_if(listed.begin(), listed.end(),
                                         [from](const HexDiffRange& r) { return r.end > from; });
        if (list.FirstEndingAfter(from) != static_cast<std::size_t>(ending - listed.begin())) {
            return "FirstEndingAfter " + std::to_string(from) + " is wrong";
        }
    }
    return "";
}
