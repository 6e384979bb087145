// Compares of two documents of many pieces, in slices of any size and with any limit on the
// list, checked against the plain compare of their flat bytes, with Next and Previous.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/native/support/hex_document_model.h"
#include "tests/native/support/naive_compare.h"
#include "tests/native/support/pieced_document.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

// A document over bytes of few distinct values (so that runs of agreement are short), edited.
bool MakeDocument(hexmodel::Input& in, HexDocument& doc) {
    std::vector<std::uint8_t> original(in.Below(500));
    for (auto& b : original) b = in.Byte() & 3;
    if (!OpenOverMemory(doc, original)) return false;
    for (std::uint32_t edits = in.Below(20); edits > 0; --edits) {
        std::uint8_t bytes[4] = {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
        for (auto& b : bytes) b &= 3;
        doc.lastOp = kHexOpNone;
        const std::uint32_t at = in.Below(doc.length + 1);
        const std::uint32_t count = 1 + in.Below(4);
        switch (in.Byte() % 3) {
            case 0: (void)HexDocInsert(doc, at, bytes, count); break;
            case 1: (void)HexDocOverwrite(doc, at, bytes, count); break;
            default: (void)HexDocDelete(doc, at, count);
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hexmodel::Input in(data, size);
    HexDocument a;
    HexDocument b;
    if (!MakeDocument(in, a) || !MakeDocument(in, b)) return 0;
    const std::vector<std::uint8_t> flatA = Contents(a);
    const std::vector<std::uint8_t> flatB = Contents(b);
    const std::size_t limit = 1 + in.Below(8);
    HexCompare compare(HexCompareSide::Document(a), HexCompareSide::Document(b), limit);
    const std::uint32_t budget = in.Below(90);
    HexScanStatus status;
    while ((status = compare.Step(budget)) == kHexScanMore) {
        Check(compare.Done() < compare.Total(), "progress passed the total");
    }
    Check(status == kHexScanDone, "the compare did not finish");

    const NaiveDiff want = NaiveCompare(flatA, flatB);
    const HexDiffList& list = compare.Differences();
    Check(list.ByteCount() == want.bytes, "the differing bytes are miscounted");
    Check(list.RangeCount() == want.ranges.size(), "the ranges are miscounted");
    // Listed: the first `limit` ranges, and the extra bytes, which are never left out.
    const bool extra = flatA.size() != flatB.size();
    std::vector<HexDiffRange> listed(want.ranges.begin(), want.ranges.end() - (extra ? 1 : 0));
    if (listed.size() > limit) listed.resize(limit);
    if (extra) listed.push_back(want.ranges.back());
    Check(ListedRanges(list) == listed, "the listed ranges differ from the plain compare's");
    Check(list.Complete() == (listed.size() == want.ranges.size()), "Complete is wrong");

    for (int probe = 0; probe < 8 && !in.Done(); ++probe) {
        const std::uint32_t from = in.Below(static_cast<std::uint32_t>(flatA.size()) + 2);
        const bool backward = in.Byte() & 1;
        HexDiffRange got{}, expected{};
        bool gotWrapped = false, expectedWrapped = false;
        const bool found = backward ? list.Previous(from, &got, &gotWrapped)
                                    : list.Next(from, &got, &gotWrapped);
        Check(found == NaiveNext(listed, from, backward, &expected, &expectedWrapped),
              "Next or Previous found a range where there is none, or none where there is one");
        Check(!found || (got == expected && gotWrapped == expectedWrapped),
              "Next or Previous chose another range");
    }
    return 0;
}
