// What an Intel HEX or S-record file gave a document: the document knows which of its positions
// hold data (the addresses the file gave, and every byte typed, pasted, filled or inserted since,
// wherever edits moved them) and the file's header and start address. Saving, comparing and
// committing read the data from here, so that a file saved again keeps its shape: its gaps stay
// gaps and its records stay. A document opened any other way is unaddressed: all of it is data.
// Portable; the control's thread only, like the document.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document/hex_document_file.h"
#include "formats/image_formats.h"
#include "formats/sparse_image.h"

// Opens the document over an image read from a HEX or S-record file: in memory, its bytes from
// address 0 to the last data byte with the gaps FF (so that its positions are the addresses),
// addressed, with records. An empty image gives an empty document. Fails with 1 (no memory) or
// 6 (data at the last address of all, past what a document holds); the document is then empty.
[[nodiscard]] bool HexDocOpenImage(HexDocument& doc, const SparseImage& image,
                                   const ImageRecords& records);

// The addresses an image holds data at, in order, touching runs joined.
[[nodiscard]] std::vector<HexDocRange> HexImageRanges(const SparseImage& image);

// The positions that hold data, in order, touching ones joined: the whole document when it is
// unaddressed.
[[nodiscard]] std::vector<HexDocRange> HexDocDataRanges(HexDocument& doc);
[[nodiscard]] std::uint64_t HexDocRangeBytes(const std::vector<HexDocRange>& ranges);

// The document's data as an image, its positions as addresses. False with 23 (part of it could
// not be read) or 27 (more data than an image holds, kMaxImageBytes).
[[nodiscard]] bool HexDocReadImage(HexDocument& doc, SparseImage& image);

// Saves the document's data as an Intel HEX or S-record file (format) at path, replacing a file
// there only once the new one is written whole and flushed: the records of an addressed
// document's file, or for an unaddressed one an S-record header holding name. Then the document
// is opened again over what was written, as opening the file would give it (reopened; a
// document that could not be reopened for want of memory is empty). Fails, changing nothing,
// with 27 (too much data), 23 (part of it could not be read), 1 (no memory) or 24 (the file
// could not be written, with the system's reason).
[[nodiscard]] HexSaveOutcome HexDocSaveImage(HexDocument& doc, const char* path, ImageFormat format,
                                             const std::string& name);
