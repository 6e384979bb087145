// A document read from an Intel HEX or S-record file, edited at random (typed, pasted, filled,
// deleted, undone), saved and read again, against a model of its cells: which hold data and
// what they hold. After every save the file must hold exactly the model's bytes at the model's
// addresses, and its records. The seed is printed; VORLAND_SEED repeats a walk.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "document/hex_document_image.h"
#include "editor/hex_editor_image.h"
#include "tests/native/support/scratch_files.h"

namespace {

struct Cell {
    std::uint8_t value;
    bool data;
    bool operator==(const Cell&) const = default;
};
using Model = std::vector<Cell>;

Model ModelOf(const SparseImage& image) {
    Model model(image.empty() ? 0 : std::size_t{image.highest()} + 1, Cell{0xFF, false});
    for (const SparseImage::Run& run : image.Runs()) {
        for (std::uint32_t i = 0; i < run.length; ++i) model[run.address + i] = {run.data[i], true};
    }
    return model;
}

// The document as cells: its bytes, and which of them its data ranges name.
Model CellsOf(HexDocument& doc) {
    Model cells(doc.length, Cell{0, false});
    std::vector<std::uint8_t> bytes(doc.length);
    if (doc.length > 0 && HexDocRead(doc, bytes.data(), 0, doc.length) == nullptr) return {};
    for (std::size_t i = 0; i < bytes.size(); ++i) cells[i].value = bytes[i];
    for (const HexDocRange& range : HexDocDataRanges(doc)) {
        for (std::uint32_t p = range.start; p < range.end; ++p) cells[p].data = true;
    }
    return cells;
}

class Walk {
  public:
    Walk(std::mt19937& random, const std::string& path, ImageFormat format)
        : random_(random), path_(path), format_(format) {}

    // A file of a few records at random addresses, with a start address, and for S-records
    // sometimes a header.
    void Start() {
        SparseImage image;
        for (int runs = 1 + Below(5); runs > 0; --runs) {
            const std::vector<std::uint8_t> bytes = Bytes(1 + Below(40));
            static_cast<void>(image.Add(Below(0x2000), bytes.data(), bytes.size(), 1, nullptr));
        }
        records_ = ImageRecords{};
        if (Below(3) != 0) {
            const bool segment = format_ == ImageFormat::kIntelHex && Below(2) == 0;
            records_.start = segment ? ImageRecords::Start::kSegment : ImageRecords::Start::kLinear;
            records_.startAddress = 1 + static_cast<std::uint32_t>(random_() % 0xFFFFFF);
        }
        if (format_ == ImageFormat::kSRecord && Below(2) == 0) {
            records_.hasHeader = true;
            records_.header = "walk";
        }
        const std::string text = WriteImageFile(format_, image, records_);
        WriteWholeFile(path_, std::vector<std::uint8_t>(text.begin(), text.end()));
        Reopen();
    }

    void Step() {
        const std::uint32_t length = doc_.length;
        const std::uint32_t at = Below(length + 1);
        const std::uint32_t room = length - at;  // bytes from at to the end
        HexDocEndRun(doc_);                      // every step one undo record of its own
        Model before = model_;
        bool edited = true;
        switch (Below(9)) {
            case 0:  // typed over, or pasted over (past the end too)
            case 1: {
                const std::vector<std::uint8_t> bytes =
                    Bytes(Below(2) ? 1 + Below(3) : 1 + Below(40));
                ASSERT_TRUE(HexDocOverwrite(doc_, at, bytes.data(), Size(bytes)));
                for (std::size_t i = 0; i < bytes.size(); ++i) {
                    if (at + i < model_.size()) {
                        model_[at + i] = {bytes[i], true};
                    } else {
                        model_.push_back({bytes[i], true});
                    }
                }
                break;
            }
            case 2:  // typed or pasted in insert mode
            case 3: {
                const std::vector<std::uint8_t> bytes = Bytes(1 + Below(24));
                ASSERT_TRUE(HexDocInsert(doc_, at, bytes.data(), Size(bytes)));
                Model cells;
                for (std::uint8_t b : bytes) cells.push_back({b, true});
                model_.insert(model_.begin() + at, cells.begin(), cells.end());
                break;
            }
            case 4: {  // a fill of a selection
                if (room == 0) return;
                const std::uint32_t count = 1 + Below(std::min(room, 64u));
                const auto value = static_cast<std::uint8_t>(random_());
                ASSERT_TRUE(HexDocFill(doc_, at, value, count));
                for (std::uint32_t i = 0; i < count; ++i) model_[at + i] = {value, true};
                break;
            }
            case 5: {  // cut or cleared
                if (room == 0) return;
                const std::uint32_t count = 1 + Below(std::min(room, 16u));
                ASSERT_TRUE(HexDocDelete(doc_, at, count));
                model_.erase(model_.begin() + at, model_.begin() + at + count);
                break;
            }
            case 6:
            case 7:
                edited = false;
                if (undo_.empty()) {
                    EXPECT_FALSE(HexDocUndo(doc_));
                } else {
                    ASSERT_TRUE(HexDocUndo(doc_));
                    model_ = undo_.back();
                    undo_.pop_back();
                }
                break;
            default:
                edited = false;
                if (Below(3) == 0) {
                    Reopen();  // what was not saved is gone
                } else {
                    Save();
                }
                return;
        }
        if (edited) undo_.push_back(std::move(before));
        ASSERT_EQ(CellsOf(doc_), model_) << "after step " << steps_++;
    }

  private:
    std::uint32_t Below(std::uint32_t n) { return n == 0 ? 0 : random_() % n; }
    static std::uint32_t Size(const std::vector<std::uint8_t>& bytes) {
        return static_cast<std::uint32_t>(bytes.size());
    }
    std::vector<std::uint8_t> Bytes(std::uint32_t n) {
        std::vector<std::uint8_t> bytes(n);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random_());
        return bytes;
    }

    void Reopen() {
        const EditorTextImage file = ReadEditorTextImage(path_.c_str(), format_);
        ASSERT_TRUE(file.taken) << file.error;
        ASSERT_TRUE(HexDocOpenImage(doc_, file.image, file.records));
        model_ = ModelOf(file.image);
        undo_.clear();
        ASSERT_EQ(CellsOf(doc_), model_);
    }

    // The file holds the data cells, at their positions, and nothing else; then the document is
    // the file, without the gaps that trailed the last data.
    void Save() {
        const HexSaveOutcome outcome = HexDocSaveImage(doc_, path_.c_str(), format_, "walk");
        ASSERT_TRUE(outcome.saved && outcome.reopened) << outcome.error;
        const std::string text = ReadFileText();
        SparseImage saved;
        ImageError error;
        ImageRecords records;
        ASSERT_TRUE(ParseImage(format_, text, saved, error, &records)) << error.message;
        while (!model_.empty() && !model_.back().data) model_.pop_back();
        ASSERT_EQ(ModelOf(saved), model_) << "the file after step " << steps_;
        EXPECT_EQ(records, records_);
        undo_.clear();
        ASSERT_EQ(CellsOf(doc_), model_);
    }

    std::string ReadFileText() {
        const std::vector<std::uint8_t> bytes = ReadWholeFile(path_);
        return std::string(bytes.begin(), bytes.end());
    }

    std::mt19937& random_;
    std::string path_;
    ImageFormat format_;
    ImageRecords records_;
    HexDocument doc_;
    Model model_;
    std::vector<Model> undo_;
    int steps_ = 0;
};

TEST(HexDocumentImage, ARandomWalkSavesExactlyTheModelsBytesAtTheModelsAddresses) {
    const char* given = std::getenv("VORLAND_SEED");
    const unsigned seed = given != nullptr ? static_cast<unsigned>(std::strtoul(given, nullptr, 10))
                                           : std::random_device{}();
    std::printf("HexDocumentImage seed %u (VORLAND_SEED=%u repeats it)\n", seed, seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    ScratchDir dir;
    for (int walk = 0; walk < 8; ++walk) {
        const bool srec = walk % 2 == 1;
        Walk steps(random, dir.File(srec ? "walk.s19" : "walk.hex"),
                   srec ? ImageFormat::kSRecord : ImageFormat::kIntelHex);
        ASSERT_NO_FATAL_FAILURE(steps.Start());
        for (int i = 0; i < 150; ++i) ASSERT_NO_FATAL_FAILURE(steps.Step()) << "walk " << walk;
    }
}

}  // namespace
