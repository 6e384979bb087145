// Arbitrary text as an Intel HEX and as an S-record file: no crash, no access outside a buffer,
// a reason for every refusal; and whatever is accepted comes back unchanged through both
// writers and readers, and through its own format with its records.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "formats/image_formats.h"

namespace {

void RoundTrip(const SparseImage& image) {
    const std::uint32_t start = image.lowest();
    const auto length = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(image.highest()) - start + 1, 4096));
    std::vector<std::uint8_t> bytes(length);
    image.CopyOut(start, length, 0xA5, bytes.data());
    for (ImageFormat format : {ImageFormat::kIntelHex, ImageFormat::kSRecord}) {
        const std::string text = format == ImageFormat::kIntelHex
                                     ? WriteIntelHex(bytes.data(), length, start)
                                     : WriteSRecord(bytes.data(), length, start, "fuzz");
        SparseImage back;
        ImageError error;
        if (!ParseImage(format, text, back, error)) std::abort();
        std::vector<std::uint8_t> again(length);
        if (back.CopyOut(start, length, 0x5A, again.data()) != length || again != bytes)
            std::abort();
    }
}

// Written again in its own shape, a file gives back the same data at the same addresses, and
// the same header and start address.
void ShapeTrip(ImageFormat format, const SparseImage& image, const ImageRecords& records) {
    SparseImage back;
    ImageError error;
    ImageRecords again;
    if (!ParseImage(format, WriteImageFile(format, image, records), back, error, &again) ||
        !(again == records) || back.dataBytes() != image.dataBytes()) {
        std::abort();
    }
    for (const SparseImage::Run& run : image.Runs()) {
        std::vector<std::uint8_t> bytes(run.length);
        if (back.CopyOut(run.address, run.length, 0, bytes.data()) != run.length ||
            !std::equal(bytes.begin(), bytes.end(), run.data)) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (ImageFormat format : {ImageFormat::kIntelHex, ImageFormat::kSRecord}) {
        SparseImage image;
        ImageError error;
        ImageRecords records;
        if (!ParseImage(format, text, image, error, &records)) {
            if (error.message.empty()) std::abort();
            continue;
        }
        if (image.dataBytes() > kMaxImageBytes) std::abort();
        if (!image.empty()) RoundTrip(image);
        ShapeTrip(format, image, records);
    }
    return 0;
}
