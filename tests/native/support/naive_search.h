// The plain search that the hex search must agree with: every start tried in order over the
// flat bytes. Header-only: the search test and its fuzz target share it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <vector>

#include "document/hex_search.h"

struct NaiveOutcome {
    HexScanStatus status;  // kHexScanFound or kHexScanNotFound
    std::uint32_t offset;  // of the match; 0 when none
    bool wrapped;          // the match lies on the far side of from
    bool operator==(const NaiveOutcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const NaiveOutcome& o) {
    return out << "{status " << o.status << ", offset " << o.offset << ", wrapped " << o.wrapped
               << "}";
}

// The reference runs over whole files for every search: it skips the sanitizers' checks on its
// own plain arrays (the search under test keeps them), which made it most of the test's time.
__attribute__((no_sanitize("address", "undefined"))) inline bool NaiveMatchesAt(
    const std::uint8_t* flat, const std::uint8_t* values, const std::uint8_t* masks,
    std::size_t m, std::size_t at) {
    for (std::size_t i = 0; i < m; ++i) {
        if ((flat[at + i] & masks[i]) != values[i]) return false;
    }
    return true;
}

__attribute__((no_sanitize("address", "undefined"))) inline NaiveOutcome NaiveSearch(
    const std::vector<std::uint8_t>& flat, const HexPattern& p, std::uint32_t from,
    bool backward) {
    const std::size_t m = p.values.size();
    const std::uint8_t* bytes = flat.data();
    const std::uint8_t* values = p.values.data();
    const std::uint8_t* masks = p.masks.data();
    const std::size_t starts = flat.size() >= m ? flat.size() - m + 1 : 0;
    const std::size_t split = std::min<std::size_t>(from, starts);
    auto found = [](std::size_t at, bool wrapped) {
        return NaiveOutcome{kHexScanFound, static_cast<std::uint32_t>(at), wrapped};
    };
    if (!backward) {
        for (std::size_t s = split; s < starts; ++s) {
            if (NaiveMatchesAt(bytes, values, masks, m, s)) return found(s, false);
        }
        for (std::size_t s = 0; s < split; ++s) {
            if (NaiveMatchesAt(bytes, values, masks, m, s)) return found(s, true);
        }
    } else {
        for (std::size_t s = split; s > 0; --s) {
            if (NaiveMatchesAt(bytes, values, masks, m, s - 1)) return found(s - 1, false);
        }
        for (std::size_t s = starts; s > split; --s) {
            if (NaiveMatchesAt(bytes, values, masks, m, s - 1)) return found(s - 1, true);
        }
    }
    return {kHexScanNotFound, 0, false};
}
