// The Find box's parsers on any text, and searches over documents of many pieces checked
// against the plain search of their flat bytes, in both directions and in slices of any size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/hex_search.h"
#include "tests/native/support/hex_document_model.h"
#include "tests/native/support/naive_search.h"
#include "tests/native/support/pieced_document.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

// What a parse promises: a pattern within bounds whose values lie inside their masks, or an
// error with nothing in the pattern.
void CheckParsed(HexPatternError error, const HexPattern& p, std::size_t textSize,
                 std::size_t errorAt) {
    if (error != kHexPatternOk) {
        Check(p.values.empty() && p.masks.empty(), "a failed parse left bytes");
        Check(errorAt <= textSize, "the error lies outside the text");
        return;
    }
    Check(!p.values.empty() && p.values.size() <= kHexPatternMaxBytes, "pattern size");
    Check(p.values.size() == p.masks.size(), "values and masks differ in number");
    bool fixed = false;
    for (std::size_t i = 0; i < p.values.size(); ++i) {
        Check(p.masks[i] == 0 || p.masks[i] == 0xFF || p.masks[i] == 0xDF, "a strange mask");
        Check((p.values[i] & ~p.masks[i]) == 0, "a value outside its mask");
        fixed |= p.masks[i] != 0;
    }
    Check(fixed, "a pattern of wildcards only");
}

// A pattern cut from the document (so that it occurs), some bytes made wildcards.
HexPattern CutPattern(hexmodel::Input& in, const std::vector<std::uint8_t>& flat) {
    HexPattern p;
    const std::uint32_t m = 1 + in.Below(12);
    const std::uint32_t at = in.Below(static_cast<std::uint32_t>(flat.size()) + 1);
    for (std::uint32_t i = 0; i < m; ++i) {
        const bool wild = i > 0 && in.Byte() % 4 == 0;
        p.values.push_back(wild || at + i >= flat.size() ? 0 : flat[at + i]);
        p.masks.push_back(wild ? 0 : 0xFF);
    }
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hexmodel::Input in(data, size);
    const std::uint8_t mode = in.Byte();
    std::string text;
    for (std::uint32_t n = in.Below(40); n > 0; --n) text += static_cast<char>(in.Byte());
    HexPattern parsed;
    std::size_t errorAt = 0;
    HexPatternError error = mode & 1 ? HexParseTextPattern(text, mode & 2, &parsed)
                                     : HexParseHexPattern(text, &parsed, &errorAt);
    CheckParsed(error, parsed, text.size(), errorAt);

    // A document of few distinct byte values, so that partial matches abound, cut into pieces.
    std::vector<std::uint8_t> original(in.Below(600));
    const std::uint8_t spread = mode & 4 ? 0xFF : 0x03;
    for (auto& b : original) b = in.Byte() & spread;
    HexDocument doc;
    if (!OpenOverMemory(doc, original)) return 0;
    for (std::uint32_t edits = in.Below(30); edits > 0; --edits) {
        std::uint8_t bytes[4] = {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
        for (auto& b : bytes) b &= spread;
        doc.lastOp = kHexOpNone;
        const std::uint32_t at = in.Below(doc.length + 1);
        if (in.Byte() & 1) {
            HexDocInsert(doc, at, bytes, 1 + in.Below(4));
        } else {
            HexDocOverwrite(doc, at, bytes, 1 + in.Below(4));
        }
    }
    const std::vector<std::uint8_t> flat = Contents(doc);

    for (int search = 0; search < 8 && !in.Done(); ++search) {
        const HexPattern p =
            error == kHexPatternOk && in.Byte() % 4 == 0 ? parsed : CutPattern(in, flat);
        const std::uint32_t from = in.Below(doc.length + 1);
        const bool backward = in.Byte() & 1;
        const std::uint32_t budget = in.Below(70);
        HexSearch hex(doc, p, from, backward);
        HexScanStatus status;
        while ((status = hex.Step(budget)) == kHexScanMore) {
        }
        const NaiveOutcome want = NaiveSearch(flat, p, from, backward);
        const NaiveOutcome got{status, status == kHexScanFound ? hex.MatchOffset() : 0,
                               status == kHexScanFound && hex.Wrapped()};
        Check(got == want, "the search and the plain search disagree");
        Check(hex.Done() <= hex.Total(), "progress passed the total");
    }
    return 0;
}
