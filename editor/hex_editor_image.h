// Intel HEX and S-record files in the hex editor, by their names as the programmer window reads
// them (formats/image_formats): reading one for the document (hex_document_image.h keeps what it
// gave: its addresses and records) or for a compare, and what may be saved as one. Portable;
// the caller makes the document and says what went wrong.
#pragma once

#include <cstdint>
#include <string>

#include "formats/image_formats.h"
#include "formats/sparse_image.h"

// The document's size is limited as the file's is: data past this address is refused.
inline constexpr std::uint32_t kEditorMaxImageSpan = static_cast<std::uint32_t>(kMaxImageTextSize);

struct EditorTextImage {
    bool taken = false;
    SparseImage image;  // empty for a file with no data records, which is an empty document
    ImageRecords records;
    // Why the file is refused, as a sentence (naming the file's line where there is one); empty
    // when it could not even be opened.
    std::string error;
};

// Reads the whole file at path (at most kMaxImageTextSize bytes) and parses it as format.
EditorTextImage ReadEditorTextImage(const char* path, ImageFormat format);

// Why a document with dataBytes bytes of data cannot be saved as a file of format (one that
// could be read again holds at most kMaxImageBytes of data), as a sentence; nothing when it can.
std::string EditorTextImageRefusal(ImageFormat format, std::uint64_t dataBytes);
