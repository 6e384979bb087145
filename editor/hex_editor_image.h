// Intel HEX and S-record files in the hex editor, by their names as the programmer window reads
// them (formats/image_formats): the document such a file gives, its bytes from address 0 to the
// last data byte with the gaps FF, so that committing puts every byte at its record's address;
// and the file a document gives, records for all of it from address 0. Portable; the caller
// makes the document and says what went wrong.
#pragma once

#include <cstdint>
#include <string>

#include "formats/image_formats.h"
#include "formats/sparse_image.h"

// The document's size is limited as the file's is: data past this address is refused.
inline constexpr std::uint32_t kEditorMaxImageSpan = static_cast<std::uint32_t>(kMaxImageTextSize);

struct EditorTextImage {
    bool taken = false;
    SparseImage image;
    std::uint32_t span = 0;  // the document's size: the last data address + 1
    // Why the file is refused, as a sentence (naming the file's line where there is one); empty
    // when it could not even be opened.
    std::string error;
};

// Reads the whole file at path (at most kMaxImageTextSize bytes) and parses it as format.
EditorTextImage ReadEditorTextImage(const char* path, ImageFormat format);

// Why a document of size bytes cannot be saved as a file of format (one that could be read again
// holds at most kMaxImageBytes of data), as a sentence; nothing when it can.
std::string EditorTextImageRefusal(ImageFormat format, std::uint32_t size);

// Writes size bytes at data, from address 0, as a file of format at path (name: the S-record
// header), replacing the file there only once the new one is complete and flushed. Returns why
// it could not, as a sentence, or nothing.
std::string WriteEditorTextImage(const char* path, ImageFormat format, const std::uint8_t* data,
                                 std::uint32_t size, const std::string& name);
