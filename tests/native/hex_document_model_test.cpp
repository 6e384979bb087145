// Thousands of random operation sequences (inserts, deletes, overwrites, fills, reserves, undo
// and redo, with runs that merge) against a plain byte-vector model with its own history.
#include <gtest/gtest.h>

#include <random>

#include "document/hex_document_file.h"
#include "platform/virtual_memory.h"
#include "tests/native/support/hex_document_model.h"
#include "tests/native/support/scratch_files.h"

namespace {

std::vector<std::uint8_t> RandomInput(std::mt19937& random, std::size_t size) {
    std::vector<std::uint8_t> input(size);
    for (auto& b : input) b = static_cast<std::uint8_t>(random());
    return input;
}

// Opens doc over a fresh memory block holding original (or empty).
void OpenOverMemory(HexDocument& doc, const std::vector<std::uint8_t>& original) {
    void* block = original.empty() ? nullptr : AllocateMemory(original.size());
    if (block != nullptr) std::memcpy(block, original.data(), original.size());
    ASSERT_TRUE(HexDocOpen(doc, kNoFile, block,
                           static_cast<std::uint32_t>(original.size()), false));
}

TEST(HexDocumentModel, RandomSequencesOverMemoryAgreeWithTheModel) {
    std::mt19937 random(20240607);
    for (int sequence = 0; sequence < 2000; ++sequence) {
        std::vector<std::uint8_t> original = PatternBytes(random() % 3 == 0 ? 0 : random() % 300,
                                                          static_cast<std::uint32_t>(sequence));
        HexDocument doc;
        OpenOverMemory(doc, original);
        hexmodel::Model model = hexmodel::ModelOver(original, false);
        std::vector<std::uint8_t> input = RandomInput(random, 1000);
        hexmodel::Input in(input.data(), input.size());
        for (int step = 0; !in.Done(); ++step) {
            std::string failure = hexmodel::Step(doc, model, in, hexmodel::Limits{});
            ASSERT_EQ(failure, "") << "sequence " << sequence << ", step " << step;
        }
    }
}

TEST(HexDocumentModel, TypingHeavySequencesAgreeWithTheModel) {
    // Mostly single bytes at the natural next position, so that long runs form and break.
    std::mt19937 random(77);
    hexmodel::Limits limits;
    limits.maxCount = 3;
    limits.bigCount = 8;
    for (int sequence = 0; sequence < 1000; ++sequence) {
        std::vector<std::uint8_t> original = PatternBytes(random() % 64, sequence + 5);
        HexDocument doc;
        OpenOverMemory(doc, original);
        hexmodel::Model model = hexmodel::ModelOver(original, false);
        std::vector<std::uint8_t> input = RandomInput(random, 2000);
        hexmodel::Input in(input.data(), input.size());
        for (int step = 0; !in.Done(); ++step) {
            std::string failure = hexmodel::Step(doc, model, in, limits);
            ASSERT_EQ(failure, "") << "sequence " << sequence << ", step " << step;
        }
    }
}

TEST(HexDocumentModel, RandomSequencesOverAMappedFileWithSlidingWindows) {
    ScratchDir dir;
    std::mt19937 random(4242);
    hexmodel::Limits limits;
    limits.bigCount = 700000;  // edits and reads that span windows
    limits.maxRead = 1500000;
    for (int sequence = 0; sequence < 8; ++sequence) {
        std::vector<std::uint8_t> original = PatternBytes(0x280000 + random() % 0x1000, sequence);
        std::string path = dir.File("mapped" + std::to_string(sequence) + ".bin");
        WriteWholeFile(path, original);
        HexDocument doc;
        ASSERT_TRUE(HexDocOpenFile(doc, path.c_str(), true, false));
        hexmodel::Model model = hexmodel::ModelOver(original, true);
        std::vector<std::uint8_t> input = RandomInput(random, 4000);
        hexmodel::Input in(input.data(), input.size());
        for (int step = 0; !in.Done(); ++step) {
            std::string failure = hexmodel::Step(doc, model, in, limits, step % 16 == 0);
            ASSERT_EQ(failure, "") << "sequence " << sequence << ", step " << step;
        }
        ASSERT_EQ(hexmodel::Compare(doc, model, "end", true), "");
        HexDocClose(doc);
        // The file itself is never touched by editing.
        EXPECT_EQ(ReadWholeFile(path), original);
    }
}

}  // namespace
