#include "document/hex_text.h"

#include "document/hex_document_spans.h"

std::uint64_t HexTextLength(std::uint32_t count) {
    if (count == 0) return 0;
    const std::uint64_t lines = (std::uint64_t{count} + 15) / 16;
    return 3 * std::uint64_t{count} + lines - 2;
}

bool HexDocHexText(HexDocument& doc, std::uint32_t position, std::uint32_t count, char* out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (position > doc.length || count > doc.length - position) {
        doc.error = kHexOutOfRange;
        return false;
    }
    std::uint32_t column = 0;
    for (std::uint32_t done = 0; done < count;) {
        const HexSpan span = HexDocSpanAfter(doc, position + done, count - done);
        if (span.bytes == nullptr) {
            doc.error = kHexOpenFailed;
            return false;
        }
        for (std::uint32_t i = 0; i < span.count; ++i) {
            if (column == 16) {
                *out++ = '\r';
                *out++ = '\n';
                column = 0;
            } else if (column > 0) {
                *out++ = ' ';
            }
            *out++ = kDigits[span.bytes[i] >> 4];
            *out++ = kDigits[span.bytes[i] & 15];
            ++column;
        }
        done += span.count;
    }
    *out = '\0';
    doc.error = kHexOk;
    return true;
}
