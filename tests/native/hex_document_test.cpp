// The document's edit primitives as the view drives them: typing runs, delete runs, undo and
// redo with groups, extents, marks, windows of mapped files, and running out of memory.
#include "document/hex_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/hex_document_file.h"
#include "platform/virtual_memory.h"
#include "tests/native/support/hex_document_model.h"
#include "tests/native/support/scratch_files.h"

namespace {

std::string Text(HexDocument& doc) {
    std::string text(doc.length, '\0');
    if (doc.length > 0) {
        EXPECT_NE(HexDocRead(doc, text.data(), 0, doc.length), nullptr);
    }
    return text;
}

std::vector<HexPiece*> Pieces(const HexDocument& doc) {
    std::vector<HexPiece*> pieces;
    for (HexPiece* piece = doc.head; piece != nullptr; piece = piece->next) pieces.push_back(piece);
    return pieces;
}

class HexDocumentTest : public ::testing::Test {
protected:
    // Opens the document over a memory block holding text.
    void Open(const std::string& text) {
        void* block = text.empty() ? nullptr : AllocateMemory(text.size());
        if (block != nullptr) std::memcpy(block, text.data(), text.size());
        ASSERT_TRUE(HexDocOpen(doc_, kNoFile, block,
                               static_cast<std::uint32_t>(text.size()), false));
    }
    void Type(std::uint32_t at, const std::string& text) {
        for (char c : text) ASSERT_TRUE(HexDocInsert(doc_, at++, &c, 1));
    }
    std::uint32_t Records() const { return hexmodel::RecordCount(doc_.undoStack); }
    void ExpectSound() { EXPECT_EQ(hexmodel::CheckStructure(doc_), ""); }

    HexDocument doc_;
};

TEST_F(HexDocumentTest, TypingAHundredCharactersMakesOneRecordAndOnePiece) {
    Open("ABCDEFGH");
    std::string typed(100, 'x');
    for (int i = 0; i < 100; ++i) typed[i] = static_cast<char>('a' + i % 26);
    Type(4, typed);
    EXPECT_EQ(Text(doc_), "ABCD" + typed + "EFGH");
    EXPECT_EQ(Records(), 1u);
    ASSERT_EQ(Pieces(doc_).size(), 3u);  // head, the typed piece, tail
    EXPECT_EQ(Pieces(doc_)[1]->length, 100u);
    EXPECT_EQ(static_cast<std::int32_t>(Pieces(doc_)[1]->source), doc_.addSource);

    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "ABCDEFGH");
    EXPECT_EQ(doc_.undoPos, 4u);
    EXPECT_EQ(doc_.undoSpan, 0u);
    EXPECT_EQ(doc_.undoStack.count, 0u);
    ExpectSound();
}

TEST_F(HexDocumentTest, TypingIntoAnEmptyDocumentAndAtTheEndMerges) {
    Open("");
    Type(0, "hello");
    Type(5, " world");
    EXPECT_EQ(Text(doc_), "hello world");
    EXPECT_EQ(Records(), 1u);
    EXPECT_EQ(Pieces(doc_).size(), 1u);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(doc_.length, 0u);
    EXPECT_EQ(doc_.head, nullptr);
    ASSERT_TRUE(HexDocRedo(doc_));
    EXPECT_EQ(Text(doc_), "hello world");
    EXPECT_EQ(doc_.undoSpan, 11u);  // redoing an insert selects it
}

TEST_F(HexDocumentTest, ForwardDeleteRunUndoesInOneStepWithTheBytesSelected) {
    Open("0123456789");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(HexDocDelete(doc_, 3, 1));
    EXPECT_EQ(Text(doc_), "01289");
    EXPECT_EQ(Records(), 1u);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "0123456789");
    EXPECT_EQ(doc_.undoPos, 3u);
    EXPECT_EQ(doc_.undoSpan, 5u);
    ASSERT_TRUE(HexDocRedo(doc_));
    EXPECT_EQ(Text(doc_), "01289");
    EXPECT_EQ(doc_.undoSpan, 0u);  // redoing a delete leaves a bare caret
    ExpectSound();
}

TEST_F(HexDocumentTest, BackspaceRunUndoesInOneStep) {
    Open("0123456789");
    for (std::uint32_t p = 7; p > 2; --p) ASSERT_TRUE(HexDocDelete(doc_, p - 1, 1));
    EXPECT_EQ(Text(doc_), "01789");
    EXPECT_EQ(Records(), 1u);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "0123456789");
    EXPECT_EQ(doc_.undoPos, 2u);
    EXPECT_EQ(doc_.undoSpan, 5u);
    ExpectSound();
}

TEST_F(HexDocumentTest, DeleteRunsAcrossPiecesUndoInOneStep) {
    Open("ABC");
    Type(3, "DEF");  // two pieces: ABC, DEF
    ASSERT_TRUE(HexDocOverwrite(doc_, 6, "GHI", 3));
    // Backspace from the end through all three pieces.
    for (std::uint32_t p = 9; p > 1; --p) ASSERT_TRUE(HexDocDelete(doc_, p - 1, 1));
    EXPECT_EQ(Text(doc_), "A");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "ABCDEFGHI");
    EXPECT_EQ(doc_.undoSpan, 8u);
    // Forward deletes from the front through all of them.
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(HexDocDelete(doc_, 1, 1));
    EXPECT_EQ(Text(doc_), "A");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "ABCDEFGHI");
    ExpectSound();
}

TEST_F(HexDocumentTest, BackspaceAfterADeleteAtAPieceStartRestoresThePieceBefore) {
    // A delete at the first byte of a piece, then backspaces into the piece before it: that
    // piece is not the delete's own and must be saved before it shrinks.
    Open("ABC");
    Type(3, "DEF");
    ASSERT_TRUE(HexDocDelete(doc_, 3, 1));  // D
    ASSERT_TRUE(HexDocDelete(doc_, 2, 1));  // C
    ASSERT_TRUE(HexDocDelete(doc_, 1, 1));  // B
    EXPECT_EQ(Text(doc_), "AEF");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "ABCDEF");
    EXPECT_EQ(doc_.undoPos, 1u);
    EXPECT_EQ(doc_.undoSpan, 3u);
}

TEST_F(HexDocumentTest, BackspaceThroughTheHeadADeleteLeftRestoresItOnce) {
    Open("ABCDEF");
    ASSERT_TRUE(HexDocDelete(doc_, 1, 1));  // leaves the one-byte head "A"
    ASSERT_TRUE(HexDocDelete(doc_, 0, 1));
    EXPECT_EQ(Text(doc_), "CDEF");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "ABCDEF");
    EXPECT_EQ(doc_.undoSpan, 2u);
}

TEST_F(HexDocumentTest, ABackspaceAwayFromTheLastDeleteStartsANewRecord) {
    Open("0123456789");
    ASSERT_TRUE(HexDocDelete(doc_, 6, 1));
    ASSERT_TRUE(HexDocDelete(doc_, 3, 1));  // below the last position, but not next to it
    EXPECT_EQ(Records(), 2u);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "012345789");
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "0123456789");
}

TEST_F(HexDocumentTest, InsertingIntoAPieceAndUndoingRestoresTheSamePieces) {
    Open("0123456789");
    Type(10, "abc");
    ASSERT_TRUE(HexDocOverwrite(doc_, 0, "X", 1));
    std::vector<HexPiece*> before = Pieces(doc_);
    ASSERT_TRUE(HexDocInsert(doc_, 5, "new", 3));
    EXPECT_EQ(Pieces(doc_).size(), before.size() + 2);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Pieces(doc_), before);
    ASSERT_TRUE(HexDocRedo(doc_));
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Pieces(doc_), before);
    ExpectSound();
}

TEST_F(HexDocumentTest, OverwriteRunsMergeAndExtendTheDocument) {
    Open("0123456789");
    for (std::uint32_t p = 7; p < 13; ++p) ASSERT_TRUE(HexDocOverwrite(doc_, p, "z", 1));
    EXPECT_EQ(Text(doc_), "0123456zzzzzz");
    EXPECT_EQ(Records(), 1u);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "0123456789");
    EXPECT_EQ(doc_.undoSpan, 0u);
    ASSERT_TRUE(HexDocRedo(doc_));
    EXPECT_EQ(doc_.undoSpan, 6u);
}

TEST_F(HexDocumentTest, ReadMarksTypedAndFilledBytes) {
    Open("abcdefgh");
    ASSERT_TRUE(HexDocInsert(doc_, 2, "XY", 2));
    ASSERT_TRUE(HexDocFill(doc_, 6, 0xEE, 3));
    char bytes[10];
    std::uint8_t marks[10];
    ASSERT_EQ(HexDocRead(doc_, bytes, 0, 10, marks), reinterpret_cast<std::uint8_t*>(bytes));
    EXPECT_EQ(std::string(bytes, 10), "abXYcd\xEE\xEE\xEEh");
    std::vector<std::uint8_t> expected{0, 0, 1, 1, 0, 0, 1, 1, 1, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(marks, marks + 10), expected);
}

TEST_F(HexDocumentTest, ReadOutsideTheDocumentFailsWithNine) {
    Open("abc");
    char byte = 0;
    EXPECT_EQ(HexDocRead(doc_, &byte, 3, 1), nullptr);
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_EQ(HexDocGetByte(doc_, 7), 0);
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_EQ(HexDocGetByte(doc_, 2), 'c');
    EXPECT_EQ(doc_.error, kHexOk);
    // A range passing the end copies what there is and leaves the rest alone.
    char out[5] = {'-', '-', '-', '-', '-'};
    ASSERT_NE(HexDocRead(doc_, out, 1, 5), nullptr);
    EXPECT_EQ(std::string(out, 5), "bc---");
}

TEST_F(HexDocumentTest, DeleteAtOrPastTheEndFailsWithNineAndChangesNothing) {
    Open("abcdef");
    EXPECT_FALSE(HexDocDelete(doc_, 6, 1));
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_FALSE(HexDocDelete(doc_, 4, 3));  // count past the end: refused, not clamped
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_FALSE(HexDocDelete(doc_, 2, 0));
    EXPECT_FALSE(HexDocDelete(doc_, 1, 0xFFFFFFFF));
    EXPECT_EQ(Text(doc_), "abcdef");
    EXPECT_EQ(doc_.undoStack.count, 0u);
    EXPECT_TRUE(HexDocDelete(doc_, 4, 2));
    EXPECT_EQ(Text(doc_), "abcd");
}

TEST_F(HexDocumentTest, UndoOnAnEmptyStackFailsWithErrorZero) {
    Open("abc");
    char byte;
    EXPECT_EQ(HexDocRead(doc_, &byte, 9, 1), nullptr);  // leaves error 9 behind
    EXPECT_FALSE(HexDocUndo(doc_));
    EXPECT_EQ(doc_.error, kHexOk);
    EXPECT_FALSE(HexDocRedo(doc_));
    EXPECT_EQ(doc_.error, kHexOk);
}

TEST_F(HexDocumentTest, ANewEditAfterUndoEmptiesTheRedoStack) {
    Open("abc");
    Type(3, "de");
    ASSERT_TRUE(HexDocDelete(doc_, 0, 1));
    ASSERT_TRUE(HexDocUndo(doc_));
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_GT(doc_.redoStack.count, 0u);
    ASSERT_TRUE(HexDocOverwrite(doc_, 1, "Z", 1));
    EXPECT_EQ(doc_.redoStack.count, 0u);
    EXPECT_FALSE(HexDocRedo(doc_));
    EXPECT_EQ(Text(doc_), "aZc");
}

TEST_F(HexDocumentTest, GroupedRecordsUndoAndRedoTogether) {
    Open("0123456789");
    // What typing over a selection does: delete it, mark the group, insert.
    ASSERT_TRUE(HexDocDelete(doc_, 2, 4));
    doc_.groupNext = 1;
    ASSERT_TRUE(HexDocInsert(doc_, 2, "x", 1));
    EXPECT_EQ(doc_.groupNext, 0u);
    Type(3, "y");  // typing on merges as usual
    EXPECT_EQ(Text(doc_), "01xy6789");
    int steps = 0;
    do {
        ASSERT_TRUE(HexDocUndo(doc_));
        ++steps;
    } while (doc_.groupNext != 0);
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(Text(doc_), "0123456789");
    EXPECT_EQ(doc_.undoPos, 2u);
    EXPECT_EQ(doc_.undoSpan, 4u);
    steps = 0;
    do {
        ASSERT_TRUE(HexDocRedo(doc_));
        ++steps;
    } while (doc_.groupNext != 0);
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(Text(doc_), "01xy6789");
    EXPECT_EQ(doc_.groupNext, 0u);
}

TEST_F(HexDocumentTest, AGroupMarkStopsARunFromMerging) {
    Open("0123");
    Type(4, "ab");
    doc_.groupNext = 1;
    Type(6, "c");  // its own record, grouped with the typing before
    EXPECT_EQ(Records(), 2u);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(doc_.groupNext, 1u);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "0123");
}

TEST_F(HexDocumentTest, ExtentsNameTheSelectionAndOutliveEdits) {
    Open("0123456789");
    Type(5, "ab");
    EXPECT_EQ(Text(doc_), "01234ab56789");
    EXPECT_EQ(HexDocCountExtents(doc_, 3, 6), 3u);
    EXPECT_EQ(HexDocCountExtents(doc_, 12, 1), 0u);
    HexExtent extents[3];
    ASSERT_TRUE(HexDocListExtents(doc_, extents, 3, 3, 6));
    EXPECT_EQ(doc_.lastOp, kHexOpNone);
    EXPECT_EQ(extents[0].offset, 3u);
    EXPECT_EQ(extents[0].length, 2u);
    EXPECT_EQ(extents[1].length, 2u);
    EXPECT_EQ(static_cast<std::int32_t>(extents[1].source), doc_.addSource);
    EXPECT_EQ(extents[2].offset, 5u);
    EXPECT_EQ(extents[2].length, 2u);
    // Cut: the bytes leave the document, the extents still read them.
    ASSERT_TRUE(HexDocDelete(doc_, 3, 6));
    char out[6] = {};
    EXPECT_EQ(HexDocReadExtents(doc_, extents, 3, out, 0, 6), 6u);
    EXPECT_EQ(std::string(out, 6), "34ab56");
    EXPECT_EQ(HexDocReadExtents(doc_, extents, 3, out, 3, 6), 3u);
    EXPECT_EQ(std::string(out, 3), "b56");
    EXPECT_EQ(HexDocReadExtents(doc_, extents, 3, out, 2, 2), 2u);
    EXPECT_EQ(std::string(out, 2), "ab");
    EXPECT_FALSE(HexDocListExtents(doc_, extents, 3, 6, 1));
    EXPECT_EQ(doc_.error, kHexOutOfRange);
}

TEST_F(HexDocumentTest, ReadingExtentsThatNameNothingStops) {
    Open("0123456789");
    HexExtent bad[] = {{2, 3, 0}, {8, 5, 0}, {0, 1, 0}};
    char out[9] = {};
    EXPECT_EQ(HexDocReadExtents(doc_, bad, 3, out, 0, 9), 3u);
    HexExtent noSource[] = {{0, 1, 200}};
    EXPECT_EQ(HexDocReadExtents(doc_, noSource, 1, out, 0, 1), 0u);
    HexExtent unwritten[] = {{0, 16, 1}};  // add-buffer bytes nobody wrote
    EXPECT_EQ(HexDocReadExtents(doc_, unwritten, 1, out, 0, 9), 0u);
}

TEST_F(HexDocumentTest, ATypedByteIsCompletedInPlaceUnlessACopyHoldsIt) {
    Open("0123");
    std::uint8_t* spare = HexDocLastAddedByte(doc_);
    EXPECT_EQ(*spare, 0);
    *spare = 7;  // a careless caller
    EXPECT_EQ(*HexDocLastAddedByte(doc_), 0);
    std::uint8_t high = 0x40;
    ASSERT_TRUE(HexDocInsert(doc_, 2, &high, 1));
    EXPECT_EQ(*HexDocLastAddedByte(doc_), 0x40);
    ASSERT_TRUE(HexDocChangeLastAdded(doc_, 2, 0x4F));  // the second digit
    EXPECT_EQ(HexDocGetByte(doc_, 2), 0x4F);
    EXPECT_EQ(Records(), 1u);

    // Once extents name the byte, it keeps the value they saw; the new one undoes with it.
    ASSERT_TRUE(HexDocOverwrite(doc_, 0, "\xA2", 1));
    HexExtent copied{};
    ASSERT_TRUE(HexDocListExtents(doc_, &copied, 1, 0, 1));
    ASSERT_TRUE(HexDocChangeLastAdded(doc_, 0, 0xA7));
    EXPECT_EQ(HexDocGetByte(doc_, 0), 0xA7);
    std::uint8_t seen = 0;
    ASSERT_EQ(HexDocReadExtents(doc_, &copied, 1, &seen, 0, 1), 1u);
    EXPECT_EQ(seen, 0xA2);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_NE(doc_.groupNext, 0u);  // the view goes on to the record before
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "01O23");  // 0x4F
    ExpectSound();
}

TEST_F(HexDocumentTest, RoomFilledBeforeAnEditIsTakenWithoutACopyAndEndsNoRun) {
    Open("0123");
    Type(1, "ab");
    std::uint8_t* room = HexDocAddRoom(doc_, 3);
    ASSERT_NE(room, nullptr);
    EXPECT_EQ(Text(doc_), "0ab123");  // nothing changed yet
    std::memcpy(room, "XYZ", 3);
    HexDocEndRun(doc_);
    ASSERT_TRUE(HexDocInsert(doc_, 3, room, 3));
    HexDocEndRun(doc_);
    Type(6, "c");
    EXPECT_EQ(Text(doc_), "0abXYZc123");
    EXPECT_EQ(Records(), 3u);  // typing, the pasted bytes, typing
    ExpectSound();
    SetCommitGate([](std::size_t) { return false; });
    EXPECT_EQ(HexDocAddRoom(doc_, 0x10000), nullptr);
    EXPECT_EQ(doc_.error, kHexNoMemory);
    SetCommitGate(nullptr);
    EXPECT_EQ(Text(doc_), "0abXYZc123");
}

TEST_F(HexDocumentTest, ByteRefReadsAndOverwritesOneByte) {
    Open("abc");
    HexByteRef ref(1, doc_);
    EXPECT_EQ(static_cast<std::uint8_t>(ref), 'b');
    ref = 'Q';
    EXPECT_EQ(Text(doc_), "aQc");
    EXPECT_EQ(Records(), 1u);
    HexByteRef end(3, doc_);
    end = '!';  // past the end it appends
    EXPECT_EQ(Text(doc_), "aQc!");
}

TEST_F(HexDocumentTest, ReserveHandsOutCommittedRoomInTheAddBuffer) {
    Open("0123");
    std::uint8_t* room = nullptr;
    ASSERT_TRUE(HexDocReserveInsert(doc_, 2, 3, &room));
    std::memcpy(room, "abc", 3);
    EXPECT_EQ(Text(doc_), "01abc23");
    ASSERT_TRUE(HexDocReserveOverwrite(doc_, 6, 4, &room));
    std::memcpy(room, "WXYZ", 4);
    EXPECT_EQ(Text(doc_), "01abc2WXYZ");
    EXPECT_FALSE(HexDocReserveInsert(doc_, 2, 3, nullptr));
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    EXPECT_FALSE(HexDocReserveInsert(doc_, 11, 3, &room));
    EXPECT_EQ(doc_.error, kHexOutOfRange);
    // A count that would have to be cut short is refused: the caller writes count bytes.
    EXPECT_FALSE(HexDocReserveOverwrite(doc_, 0xFFFFFFF0, 0x20, &room));
    EXPECT_FALSE(HexDocReserveInsert(doc_, 10, kHexAddBufferSize + 1, &room));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    EXPECT_EQ(Text(doc_), "01abc2WXYZ");
}

// ---- Memory that cannot be committed ------------------------------------------------------

bool RefuseEveryCommit(std::size_t) {
    return false;
}

class CommitFailureTest : public HexDocumentTest {
protected:
    void TearDown() override { SetCommitGate(nullptr); }
};

TEST_F(CommitFailureTest, EditsThatNeedMemoryFailWithOneAndChangeNothing) {
    Open("0123456789");
    Type(10, "ab");  // commits the first page
    std::vector<HexPiece*> pieces = Pieces(doc_);
    std::uint32_t records = Records();
    SetCommitGate(&RefuseEveryCommit);
    std::vector<std::uint8_t> page(5000, 'q');  // more than is committed
    EXPECT_FALSE(HexDocInsert(doc_, 3, page.data(), 5000));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    EXPECT_FALSE(HexDocOverwrite(doc_, 3, page.data(), 5000));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    // Fill and reserve commit before they replace anything: no zero-length piece, no record.
    EXPECT_FALSE(HexDocFill(doc_, 2, 0, 5000));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    std::uint8_t* room = nullptr;
    EXPECT_FALSE(HexDocReserveInsert(doc_, 4, 5000, &room));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    EXPECT_FALSE(HexDocReserveOverwrite(doc_, 4, 5000, &room));
    EXPECT_EQ(room, nullptr);
    EXPECT_EQ(Pieces(doc_), pieces);
    EXPECT_EQ(Records(), records);
    EXPECT_EQ(Text(doc_), "0123456789ab");
    ExpectSound();
    // What fits in the committed page still works, and so does everything once memory returns.
    EXPECT_TRUE(HexDocInsert(doc_, 0, "<", 1));
    SetCommitGate(nullptr);
    EXPECT_TRUE(HexDocFill(doc_, 2, 'F', 5000));
    EXPECT_EQ(doc_.length, 5002u);
    ASSERT_TRUE(HexDocUndo(doc_));
    EXPECT_EQ(Text(doc_), "<0123456789ab");
}

TEST_F(CommitFailureTest, TheAddBufferStopsAt256MiB) {
    Open("x");
    std::uint8_t* room = nullptr;
    ASSERT_TRUE(HexDocReserveInsert(doc_, 1, kHexAddBufferSize - 16, &room));
    room[20] = 1;  // document position 21
    room[kHexAddBufferSize - 17] = 2;
    EXPECT_FALSE(HexDocFill(doc_, 0, 0, 17));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    EXPECT_FALSE(HexDocInsert(doc_, 0, "0123456789abcdefg", 17));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    EXPECT_TRUE(HexDocFill(doc_, 0, 9, 16));
    EXPECT_EQ(doc_.addUsed, kHexAddBufferSize);
    EXPECT_EQ(HexDocGetByte(doc_, 15), 9);
    EXPECT_EQ(HexDocGetByte(doc_, 21), 1);
    EXPECT_EQ(HexDocGetByte(doc_, kHexAddBufferSize - 16), 2);
    EXPECT_EQ(*HexDocLastAddedByte(doc_), 9);
}

TEST_F(CommitFailureTest, OpeningFailsCleanlyWithoutAddressSpace) {
    // The open closes the old document first; without an add buffer every edit is refused.
    Open("abc");
    HexDocClose(doc_);
    EXPECT_FALSE(HexDocInsert(doc_, 0, "x", 1));
    EXPECT_EQ(doc_.error, kHexNoMemory);
    EXPECT_FALSE(HexDocOverwrite(doc_, 0, "x", 1));
    EXPECT_EQ(doc_.length, 0u);
}

// ---- Windows of a mapped file -------------------------------------------------------------

class MappedWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        bytes_ = PatternBytes(0x300000 + 123);
        path_ = dir_.File("big.bin");
        WriteWholeFile(path_, bytes_);
        ASSERT_TRUE(HexDocOpenFile(doc_, path_.c_str(), true, false));
    }
    std::vector<std::uint32_t> Windows() const {
        std::vector<std::uint32_t> starts;
        for (const HexSourceView& view : doc_.sources[doc_.originalSource].views) {
            if (view.owned) starts.push_back(view.windowStart);
        }
        std::sort(starts.begin(), starts.end());
        return starts;
    }
    ScratchDir dir_;
    std::string path_;
    std::vector<std::uint8_t> bytes_;
    HexDocument doc_;
};

TEST_F(MappedWindowTest, OpeningMapsOnlyTheFirstWindow) {
    EXPECT_EQ(Windows(), std::vector<std::uint32_t>{0});
    EXPECT_EQ(doc_.sources[doc_.originalSource].views[0].windowSize, kHexWindowSize);
    EXPECT_EQ(doc_.inPlaceSavable, 1);
}

TEST_F(MappedWindowTest, TheWindowStartRule) {
    EXPECT_EQ(HexDocGetByte(doc_, 0x7FFFF), bytes_[0x7FFFF]);
    EXPECT_EQ(HexDocGetByte(doc_, 0x80000), bytes_[0x80000]);
    EXPECT_EQ(Windows(), std::vector<std::uint32_t>{0});  // no new window
    EXPECT_EQ(HexDocGetByte(doc_, 0xC0000), bytes_[0xC0000]);
    EXPECT_EQ(Windows(), (std::vector<std::uint32_t>{0, 0x80000}));
    EXPECT_EQ(HexDocGetByte(doc_, 0x200000), bytes_[0x200000]);
    // The view used least recently made room.
    EXPECT_EQ(Windows(), (std::vector<std::uint32_t>{0x80000, 0x180000}));
    // The last window is cut at the end of the file.
    EXPECT_EQ(HexDocGetByte(doc_, 0x300000 + 122), bytes_.back());
    for (const HexSourceView& view : doc_.sources[doc_.originalSource].views) {
        if (view.owned && view.windowStart == 0x280000) {
            EXPECT_EQ(view.windowSize, 0x80000u + 123);
        }
    }
}

TEST_F(MappedWindowTest, ReadsAcrossWindowBordersReturnTheRightBytes) {
    for (std::uint32_t at : {0xFFF00u, 0x17FF00u, 0x7FF00u, 0x2FFF00u}) {
        std::vector<std::uint8_t> out(0x300);
        ASSERT_NE(HexDocRead(doc_, out.data(), at, 0x300), nullptr);
        std::uint32_t n =
            std::min<std::uint32_t>(0x300, static_cast<std::uint32_t>(bytes_.size()) - at);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + n, bytes_.begin() + at)) << at;
    }
    // One read of everything, in steps that each stay inside a window.
    std::vector<std::uint8_t> all(bytes_.size());
    ASSERT_NE(HexDocRead(doc_, all.data(), 0, static_cast<std::uint32_t>(all.size())), nullptr);
    EXPECT_EQ(all, bytes_);
}

TEST_F(MappedWindowTest, OverwritingInsideKeepsInPlaceSavingAndPastTheEndClearsIt) {
    ASSERT_TRUE(HexDocOverwrite(doc_, 1000, "abcd", 4));
    EXPECT_EQ(doc_.inPlaceSavable, 1);
    ASSERT_TRUE(HexDocUndo(doc_));
    ASSERT_TRUE(HexDocRedo(doc_));
    EXPECT_EQ(doc_.inPlaceSavable, 1);
    std::uint32_t length = doc_.length;
    ASSERT_TRUE(HexDocOverwrite(doc_, length - 2, "wxyz", 4));
    EXPECT_EQ(doc_.length, length + 2);
    EXPECT_EQ(doc_.inPlaceSavable, 0);
}

}  // namespace
