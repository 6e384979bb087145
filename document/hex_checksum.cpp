#include "document/hex_checksum.h"

#include <algorithm>
#include <cstdio>

HexChecksumRun::HexChecksumRun(HexDocument& doc, std::uint32_t position, std::uint32_t count,
                               unsigned kinds)
    : doc_(doc),
      sums_(kinds),
      changeCount_(doc.changeCount),
      first_(position),
      position_(position),
      end_(position) {
    if (position > doc.length || count > doc.length - position) {
        status_ = kHexScanBadArgument;
    } else {
        end_ = position + count;
    }
}

HexScanStatus HexChecksumRun::Step(std::uint32_t budget) {
    if (status_ != kHexScanMore) return status_;
    if (doc_.changeCount != changeCount_) return status_ = kHexScanChanged;
    std::uint32_t left = std::max<std::uint32_t>(budget, 1);
    while (position_ < end_ && left > 0) {
        HexSpan span = HexDocSpanAfter(doc_, position_, std::min(end_ - position_, left));
        if (span.bytes == nullptr) return status_ = kHexScanUnreadable;
        sums_.Update(span.bytes, span.count);
        position_ += span.count;
        left -= span.count;
    }
    if (position_ < end_) return kHexScanMore;
    results_ = sums_.Finish();
    return status_ = kHexScanDone;
}

std::string HexChecksumText(const ChecksumResults& results, unsigned kinds) {
    std::string text;
    char line[48];
    auto add = [&text](const char* part) {
        if (!text.empty()) text += "\r\n";
        text += part;
    };
    if (kinds & kChecksumSum) {
        std::snprintf(line, sizeof line, "Byte sum (8 bit): %.2X", unsigned{results.sum8});
        add(line);
        std::snprintf(line, sizeof line, "Byte sum (16 bit): %.4X", unsigned{results.sum16});
        add(line);
    }
    if (kinds & kChecksumCrc16) {
        std::snprintf(line, sizeof line, "CRC-16/CCITT-FALSE: %.4X", unsigned{results.crc16});
        add(line);
    }
    if (kinds & kChecksumCrc32) {
        std::snprintf(line, sizeof line, "CRC-32: %.8X", static_cast<unsigned>(results.crc32));
        add(line);
    }
    if (kinds & kChecksumSha256) add(("SHA-256: " + DigestHex(results.sha256)).c_str());
    return text;
}
