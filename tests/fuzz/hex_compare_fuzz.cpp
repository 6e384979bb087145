// Compares of two documents of many pieces, in slices of any size and with any limit on the
// list, checked against the plain compare of their flat bytes, look-ups included.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
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

    const std::string wrong = Disagreement(compare.Differences(), flatA, flatB, limit);
    Check(wrong.empty(), wrong.c_str());
    return 0;
}
