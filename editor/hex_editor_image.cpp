#include "editor/hex_editor_image.h"

#include <cctype>
#include <new>

#include "formats/text_format.h"
#include "platform/files.h"

namespace {

// The whole file; false with why (which may be empty: it could not be opened) when not.
bool ReadWhole(const char* path, std::string& text, std::string& error) {
    FileError why = FileError::kNone;
    const FileHandle file = OpenExistingFile(path, false, kShareRead, &why);
    if (file == kNoFile) {
        if (why == FileError::kSharingViolation) error = "Another program is using it.";
        return false;
    }
    std::uint64_t size = 0;
    std::uint32_t done = 0;
    if (!GetFileLength(file, &size)) {
        error = "It could not be read.";
    } else if (size > kMaxImageTextSize) {
        error = "A HEX or S-record file is read up to 64 MiB, and it is larger.";
    } else {
        try {
            text.resize(static_cast<std::size_t>(size));
        } catch (const std::bad_alloc&) {
            error = "There is not enough memory to read it.";
        }
        const auto count = static_cast<std::uint32_t>(size);
        if (error.empty() && (!ReadFileBytes(file, text.data(), count, &done) || done != count)) {
            error = "It could not be read.";
        }
    }
    CloseFile(file);
    return error.empty();
}

// A message of the parser as a sentence of its own, with the line it names.
std::string Sentence(const ImageError& error) {
    if (error.line != 0) return Printf("Line %u: %s.", error.line, error.message.c_str());
    std::string text = error.message + ".";
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace

EditorTextImage ReadEditorTextImage(const char* path, ImageFormat format) {
    EditorTextImage result;
    std::string text;
    if (!ReadWhole(path, text, result.error)) return result;
    ImageError error;
    if (!ParseImage(format, text, result.image, error, &result.records)) {
        result.error = Sentence(error);
    } else if (std::uint32_t beyond = 0, line = 0;
               result.image.FindFrom(kEditorMaxImageSpan, &beyond, &line)) {
        result.error = Printf(
            "Line %u: data at %08X lies past the first 64 MiB, more than the "
            "editor holds.",
            line, beyond);
    } else {
        result.taken = true;
    }
    if (!result.taken) result.image = SparseImage();
    return result;
}

std::string EditorTextImageRefusal(ImageFormat format, std::uint64_t dataBytes) {
    if (dataBytes <= kMaxImageBytes) return "";
    return Printf(
        "An %s file holds at most 16 MiB of data, and this is %llu bytes. Save it under "
        "a binary name (.bin).",
        ImageFormatName(format), static_cast<unsigned long long>(dataBytes));
}
