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

inline bool NaiveMatchesAt(const std::vector<std::uint8_t>& flat, const HexPattern& p,
                           std::size_t at) {
    for (std::size_t i = 0; i < p.values.size(); ++i) {
        if ((flat[at + i] & p.masks[i]) != p.values[i]) return false;
    }
    return true;
}

inline NaiveOutcome NaiveSearch(const std::vector<std::uint8_t>& flat, const HexPattern& p,
                                std::uint32_t from, bool backward) {
    const std::size_t m = p.values.size();
    const std::size_t starts = flat.size() >= m ? flat.size() - m + 1 : 0;
    const std::size_t split = std::min<std::size_t>(from, starts);
    auto found = [](std::size_t at, bool wrapped) {
        return NaiveOutcome{kHexScanFound, static_cast<std::uint32_t>(at), wrapped};
    };
    if (!backward) {
        for (std::size_t s = split; s < starts; ++s) {
            if (NaiveMatchesAt(flat, p, s)) return found(s, false);
        }
        for (std::size_t s = 0; s < split; ++s) {
            if (NaiveMatchesAt(flat, p, s)) return found(s, true);
        }
    } else {
        for (std::size_t s = split; s > 0; --s) {
            if (NaiveMatchesAt(flat, p, s - 1)) return found(s - 1, false);
        }
        for (std::size_t s = starts; s > split; --s) {
            if (NaiveMatchesAt(flat, p, s - 1)) return found(s - 1, true);
        }
    }
    return {kHexScanNotFound, 0, false};
}
