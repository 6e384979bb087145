#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/log_pane.h"
#include "device/log_sink.h"

namespace {

std::vector<std::string>* gLines = nullptr;

void RecordLine(void*, const char* line) { gLines->push_back(line); }

class LogPrintfTest : public ::testing::Test {
protected:
    void SetUp() override {
        gLines = &lines_;
        SetLogLineWriter(&RecordLine);
    }
    void TearDown() override {
        SetLogLineWriter(nullptr);
        gLines = nullptr;
    }
    std::vector<std::string> lines_;
    int edit_ = 0;
    LogSink sink_{0, nullptr, &edit_};
};

TEST_F(LogPrintfTest, FormatsOneLinePerCall) {
    EXPECT_EQ(LogPrintf(&sink_, "KVTandrel: %s baud rate set to %i", "COM3", 115200), 1);
    EXPECT_EQ(LogPrintf(&sink_, "KVTandrel: COM Port closed."), 1);
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(lines_[0], "KVTandrel: COM3 baud rate set to 115200");
    EXPECT_EQ(lines_[1], "KVTandrel: COM Port closed.");
}

TEST_F(LogPrintfTest, NullSinkOrNullEditWritesNothing) {
    EXPECT_EQ(LogPrintf(nullptr, "x"), 0);
    LogSink noEdit{0, nullptr, nullptr};
    EXPECT_EQ(LogPrintf(&noEdit, "x"), 0);
    EXPECT_TRUE(lines_.empty());
}

TEST_F(LogPrintfTest, CutsOverLongLinesAt4095Characters) {
    std::string longText(5000, 'x');
    LogPrintf(&sink_, "%s", longText.c_str());
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0].size(), 4095u);
}

TEST_F(LogPrintfTest, ThreadsNeverShareAFormattingBuffer) {
    // Two threads logging long, distinct lines: each line must arrive whole and unmixed.
    std::mutex mutex;
    std::vector<std::string> seen;
    static std::mutex* sMutex;
    static std::vector<std::string>* sSeen;
    sMutex = &mutex;
    sSeen = &seen;
    SetLogLineWriter([](void*, const char* line) {
        std::lock_guard lock(*sMutex);
        sSeen->push_back(line);
    });
    auto worker = [this](char c) {
        std::string text(3000, c);
        for (int i = 0; i < 200; ++i) LogPrintf(&sink_, "%s", text.c_str());
    };
    std::thread a(worker, 'a');
    std::thread b(worker, 'b');
    a.join();
    b.join();
    ASSERT_EQ(seen.size(), 400u);
    for (const std::string& line : seen) {
        ASSERT_EQ(line.size(), 3000u);
        EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos);
    }
}

}  // namespace

namespace {

// Ten lines "line 000" .. "line 009" with their breaks: 98 characters, line feeds at 9, 19 ...
std::string TenLines() {
    std::string text;
    for (int i = 0; i < 10; ++i) text += (i > 0 ? "\r\nline 00" : "line 00") + std::to_string(i);
    return text;
}

TEST(LogTrimPointTest, DropsTheOldestWholeLinesDownToThreeQuartersOfTheBound) {
    const std::string text = TenLines();
    ASSERT_EQ(text.size(), 98u);
    struct Case {
        std::size_t incoming, bound, cut;
    };
    const Case cases[] = {
        {2, 100, 0},    // fits exactly
        {10, 100, 40},  // 58 kept + 10 new within 75
        {60, 100, 90},  // only the newest line stays
        {75, 100, 98},  // the new text alone takes three quarters: nothing stays
        {500, 100, 98}, {0, 0, 98},
    };
    for (const Case& c : cases) {
        std::size_t cut = LogTrimPoint(text, c.incoming, c.bound);
        EXPECT_EQ(cut, c.cut) << c.incoming << " in " << c.bound;
        if (cut > 0 && cut < text.size()) {
            EXPECT_EQ(text[cut - 1], '\n');
            EXPECT_LE(text.size() - cut + c.incoming, c.bound / 4 * 3);
        }
    }
    EXPECT_EQ(LogTrimPoint("", 10, 5), 0u);
    EXPECT_EQ(LogTrimPoint("no break at all", 90, 100), 15u);
}

}  // namespace
