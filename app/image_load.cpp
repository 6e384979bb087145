#include "app/image_load.h"

#include "app/address_rules.h"
#include "formats/checksums.h"
#include "formats/sparse_image.h"
#include "formats/text_format.h"

namespace {

constexpr std::uint32_t kBlockAlign = 64;  // the ranges a transfer accepts

}  // namespace

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FitWarningLine(std::uint32_t highest, std::int32_t chipSize) {
    return Printf(
        "WARNING: Data up to %.6X does not fit the selected chip (000000-%.6X): it cannot be "
        "programmed there.",
        highest, chipSize - 1);
}

AddressedLoad LoadAddressedImage(ImageFormat format, std::string_view text, const std::string& path,
                                 std::int32_t chipSize, std::uint8_t* image) {
    AddressedLoad load;
    const std::string name = FileNameOf(path);
    SparseImage parsed;
    ImageError error;
    if (!ParseImage(format, text, parsed, error)) {
        load.lines.push_back(
            error.line != 0
                ? Printf("ERROR: Line %u of %s: %s. Load Failed.", error.line, name.c_str(),
                         error.message.c_str())
                : Printf("ERROR: %s: %s. Load Failed.", name.c_str(), error.message.c_str()));
        return load;
    }
    if (parsed.empty()) {
        load.lines.push_back(
            Printf("ERROR: %s holds no data records. Nothing was loaded.", name.c_str()));
        return load;
    }
    std::uint32_t beyond = 0;
    std::uint32_t line = 0;
    if (parsed.FindFrom(kImageBufferSize, &beyond, &line)) {
        load.lines.push_back(
            Printf("ERROR: Line %u of %s: data at %.6X lies beyond the 512 KiB "
                   "buffer. Load Failed.",
                   line, name.c_str(), beyond));
        return load;
    }

    parsed.CopyOut(0, kImageBufferSize, 0xFF, image);
    load.placed = true;
    load.start = static_cast<std::int32_t>(parsed.lowest() / kBlockAlign * kBlockAlign);
    load.end = static_cast<std::int32_t>(parsed.highest() | (kBlockAlign - 1));

    load.lines.push_back("File Loaded: " + path);
    load.lines.push_back(Printf(
        "%s: %llu bytes (0x%llX) at %.6X-%.6X", ImageFormatName(format),
        static_cast<unsigned long long>(parsed.dataBytes()),
        static_cast<unsigned long long>(parsed.dataBytes()), parsed.lowest(), parsed.highest()));
    if (!error.note.empty()) load.lines.push_back("Note: " + name + ": " + error.note);
    if (load.end >= chipSize) load.lines.push_back(FitWarningLine(parsed.highest(), chipSize));
    load.lines.push_back(FormatChecksumLine(static_cast<std::uint32_t>(load.start),
                                            static_cast<std::uint32_t>(load.end),
                                            image + load.start));
    return load;
}
