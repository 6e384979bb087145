// Shared by the source files of the hex document (hex_document*.cpp) and nothing else: the
// stacks, the tree and list of pieces, the sources and the add buffer, which the primitives of
// hex_document.h are built from. Portable.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>

#include "document/hex_document.h"

namespace hexdoc {

constexpr std::uint32_t kMaxLength = 0xFFFFFFFF;

using PieceOwner = std::unique_ptr<HexPiece>;
[[nodiscard]] PieceOwner MakePiece(std::uint32_t source, std::uint32_t offset,
                                   std::uint32_t length);

// Set doc.error and say so: Fail returns false, Succeed true (error 0).
bool Fail(HexDocument& doc, HexError code);
bool Succeed(HexDocument& doc);

// ---- Stacks (hex_document_pieces.cpp) ------------------------------------------------------

void Push(HexStack& stack, HexStackItem* item);
HexStackItem* Pop(HexStack& stack);
// Puts item beneath the depth topmost items.
void PushAtDepth(HexStack& stack, std::uint32_t depth, HexStackItem* item);
void ClearStack(HexStack& stack);  // deletes what it holds
HexUndoRecord* TopRecord(HexDocument& doc);
// A new record takes over the group mark.
void PushRecord(HexDocument& doc, HexUndoRecord* record);
// Saves the pieces first..last, just taken out of the list, in document order, with the record
// of the edit above them.
void PushReplaced(HexDocument& doc, HexPiece* first, HexPiece* last, HexUndoRecord* record);
std::unique_ptr<HexUndoRecord> MakeRecord(std::uint32_t kind, std::uint32_t lengthBefore,
                                          std::uint32_t position, std::uint32_t byteCount);

// ---- The list of pieces and the tree over it (hex_document_pieces.cpp) ---------------------

// Changes a piece's length in place, keeping the byte counts above it right.
void Resize(HexPiece* piece, std::uint32_t length);
// Links the chain first..last (already linked inside) between prev and next.
void LinkChain(HexDocument& doc, HexPiece* prev, HexPiece* first, HexPiece* last, HexPiece* next);
// Takes first..last out of the list. Their own prev and next stay as they were, which is what
// lets undo put them back.
void UnlinkChain(HexDocument& doc, HexPiece* first, HexPiece* last);
void ReplaceChain(HexDocument& doc, HexPiece* oldFirst, HexPiece* oldLast, HexPiece* first,
                  HexPiece* last);
// Links the non-null pieces of list to each other in order; returns the first and last.
std::pair<HexPiece*, HexPiece*> Chain(std::initializer_list<HexPiece*> list);
void SetCache(HexDocument& doc, HexPiece* piece, std::uint32_t start);
// The piece holding position p, and the position of its first byte; for p equal to a non-zero
// length, the last piece. Null for anything else. Caches what it finds.
[[nodiscard]] HexPiece* FindPiece(HexDocument& doc, std::uint32_t p, std::uint32_t* start);

// ---- Sources and the add buffer (hex_document_sources.cpp) ---------------------------------

void SetView(HexSourceView& view, std::uint8_t* base, std::uint32_t windowStart,
             std::uint32_t windowSize);
void ReleaseView(HexSourceView& view);
// The next free source slot, emptied, and its index; null when 256 sources exist.
HexSource* NewSource(HexDocument& doc, std::int32_t* index);
// Commits add-buffer memory so that count bytes fit from addUsed.
[[nodiscard]] bool EnsureRoom(HexDocument& doc, std::uint32_t count);
std::uint8_t* AddBase(HexDocument& doc);
// Writes count bytes of data at the end of the add buffer, committing memory as needed.
[[nodiscard]] bool AppendBytes(HexDocument& doc, const void* data, std::uint32_t count);
// Copies count bytes of a source from offset, in steps that stay inside one window. Bytes that
// cannot be reached read as zero, and the result is false.
[[nodiscard]] bool CopyFromSource(HexDocument& doc, std::uint32_t source, std::uint32_t offset,
                                  std::uint8_t* out, std::uint32_t count);
// The bytes of a source that an extent may name.
std::uint32_t SourceLimit(const HexDocument& doc, std::uint32_t source);

}  // namespace hexdoc
