// The file name under which a selection of a HexView32 document is exported (dragged out as a
// virtual file): the document's name with the selection's ends in brackets. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes "name-[anchor-end].ext" for the file name part fileName ("rom.bin" with anchor 0x10
// and end 0x20 gives "rom-[00000010-00000020].bin"; without an extension the bracket part ends
// the name) into out, cut to size bytes with its terminator. The anchor comes first whichever
// end is larger.
void HexViewFormatSnapshotName(const char* fileName, std::uint32_t anchor, std::uint32_t end,
                               char* out, std::size_t size);

// The file name part of a path: what follows its last backslash, slash or drive colon.
const char* HexViewFileNamePart(const char* path);
