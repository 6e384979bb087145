#include "document/hex_compare_text.h"

#include <algorithm>
#include <vector>

#include "formats/text_format.h"

namespace {

constexpr std::uint32_t kBytesShown = 8;

const char* Plural(std::uint64_t n, const char* one, const char* more) {
    return n == 1 ? one : more;
}

int Digits(std::uint64_t highest) {
    return highest > 0xFFFFFF ? 8 : 6;
}

std::string RangeText(HexDiffRange range, std::uint32_t base, int digits) {
    return Printf("%0*X-%0*X", digits, base + range.start, digits, base + range.end - 1);
}

// Up to kBytesShown bytes of side from the range's start.
std::string BytesText(const HexCompareSide& side, HexDiffRange range) {
    if (range.start >= side.Length()) return "(past its end)";
    std::uint8_t bytes[kBytesShown];
    const std::uint32_t n = side.Copy(range.start, bytes, std::min(range.length(), kBytesShown));
    if (n == 0) return "(unreadable)";
    std::string text;
    for (std::uint32_t i = 0; i < n; ++i) text += Printf(i == 0 ? "%02X" : " %02X", bytes[i]);
    if (range.length() > kBytesShown) text += " ...";
    return text;
}

std::string CountText(const HexDiffList& list) {
    const std::uint64_t bytes = list.ByteCount();
    const std::uint64_t ranges = list.RangeCount();
    return Printf("%llu %s in %llu %s", static_cast<unsigned long long>(bytes),
                  Plural(bytes, "byte differs", "bytes differ"),
                  static_cast<unsigned long long>(ranges), Plural(ranges, "range", "ranges"));
}

}  // namespace

std::string HexAddressRange(std::uint32_t first, std::uint32_t last) {
    return RangeText({first, last + 1}, 0, Digits(last));
}

std::string HexDiffSummaryLine(const char* what, const HexDiffList& list, std::uint32_t base) {
    if (list.ListedCount() == 0) return "";
    const HexDiffRange first = list.Range(0);
    const HexDiffRange last = list.Range(list.ListedCount() - 1);
    const std::uint64_t bytes = list.ByteCount();
    const std::uint64_t ranges = list.RangeCount();
    return Printf("%s: %llu %s in %llu %s, first %s", what,
                  static_cast<unsigned long long>(bytes), Plural(bytes, "byte", "bytes"),
                  static_cast<unsigned long long>(ranges), Plural(ranges, "range", "ranges"),
                  RangeText(first, base, Digits(std::uint64_t{base} + last.end - 1)).c_str());
}

std::string HexDiffReport(const HexDiffList& list, const HexCompareSide& a,
                          const std::string& labelA, const HexCompareSide& b,
                          const std::string& labelB, std::uint32_t base, std::size_t maxRanges) {
    const std::size_t count = std::min(list.ListedCount(), maxRanges);
    const int digits =
        Digits(std::uint64_t{base} + std::max(a.Length(), b.Length()) - 1);
    std::vector<std::string> firsts;
    std::size_t width = 0;
    for (std::size_t i = 0; i < count; ++i) {
        firsts.push_back(labelA + " " + BytesText(a, list.Range(i)));
        width = std::max(width, firsts.back().size());
    }
    std::string text = CountText(list) + "\n";
    for (std::size_t i = 0; i < count; ++i) {
        const HexDiffRange range = list.Range(i);
        firsts[i].resize(width, ' ');
        text += RangeText(range, base, digits) + "  " + firsts[i] + "  " + labelB + " " +
                BytesText(b, range) + "\n";
    }
    return text;
}
