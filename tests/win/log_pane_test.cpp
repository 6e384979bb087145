// The log routines against a real multi-line edit control.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/log_win.h"
#include "tests/win/support/app_driver.h"

namespace {

class LogPaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        edit_ = CreateWindowExA(0, "EDIT", "", WS_POPUP | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL,
                                0, 0, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
        ASSERT_NE(edit_, nullptr);
    }
    void TearDown() override {
        SetLogLineWriter(nullptr);
        DestroyWindow(edit_);
    }
    std::string Text() const {
        std::string text(GetWindowTextLengthA(edit_) + 1, '\0');
        text.resize(GetWindowTextA(edit_, text.data(), static_cast<int>(text.size())));
        return text;
    }
    std::pair<DWORD, DWORD> Selection() const {
        DWORD start = 0, end = 0;
        SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }
    HWND edit_ = nullptr;
};

TEST_F(LogPaneTest, LinesAreSeparatedByOneBreakAndTheTextNeverEndsWithOne) {
    AppendLogLine(edit_, "A", 1, 0);
    AppendLogLine(edit_, "B", 1, 0);
    EXPECT_EQ(Text(), "A\r\nB");
}

TEST_F(LogPaneTest, LineBreaksCountOnlyWhenThePaneHoldsText) {
    AppendLogLine(edit_, "first", 3, 0);
    AppendLogLine(edit_, "second", 2, 0);
    EXPECT_EQ(Text(), "first\r\n\r\nsecond");
}

TEST_F(LogPaneTest, ClearFirstLeavesOnlyTheNewLine) {
    AppendLogLine(edit_, "old", 1, 0);
    AppendLogLine(edit_, "new", 1, 1);
    EXPECT_EQ(Text(), "new");
}

TEST_F(LogPaneTest, AppendingIsNotUndoable) {
    AppendLogLine(edit_, "A", 1, 0);
    AppendLogLine(edit_, "B", 1, 0);
    EXPECT_FALSE(SendMessageA(edit_, EM_CANUNDO, 0, 0));
}

TEST_F(LogPaneTest, LogPrintfAppendsThroughTheEditWriter) {
    InstallEditLogWriter();
    LogSink sink{0, nullptr, edit_};
    AppendLogLine(edit_, "HW: Vorland v1.0.F", 1, 1);
    EXPECT_EQ(LogPrintf(&sink, "KVTandrel: Comm Read Timeout Set To %i ms", 110), 1);
    EXPECT_EQ(Text(), "HW: Vorland v1.0.F\r\nKVTandrel: Comm Read Timeout Set To 110 ms");
}

TEST_F(LogPaneTest, LogPrintfCutsAt4095AndANullSinkWritesNothing) {
    InstallEditLogWriter();
    LogSink sink{0, nullptr, edit_};
    std::string longText(6000, 'z');
    LogPrintf(&sink, "%s", longText.c_str());
    EXPECT_EQ(Text().size(), 4095u);
    LogSink noEdit{0, nullptr, nullptr};
    EXPECT_EQ(LogPrintf(&noEdit, "lost"), 0);
    EXPECT_EQ(LogPrintf(nullptr, "lost"), 0);
    EXPECT_EQ(Text().size(), 4095u);
}

// A long session, at the control's default limit of 30,000 characters: the pane already
// holds nearly as much as it keeps (text set directly is not held to the limit), and more
// lines come. Each arrives whole, last and in view; the oldest whole lines make room.
TEST_F(LogPaneTest, ALongSessionKeepsTheNewestLineWholeAndInView) {
    std::string session;
    while (session.size() < kLogPaneBound - 4000) session += "Earlier result line.\r\n";
    session += "Earlier result line.";
    SetWindowTextA(edit_, session.c_str());

    char line[128];
    std::size_t shortest = kLogPaneBound;
    for (int i = 0; i < 100; ++i) {
        std::snprintf(line, sizeof line, "Operation %03d: FAILURE: Verification Failed", i);
        AppendLogLine(edit_, line, 1, 0);
        std::string text = Text();
        shortest = std::min(shortest, text.size());
        ASSERT_LE(text.size(), kLogPaneBound);
        ASSERT_EQ(text.substr(text.size() - std::strlen(line) - 2), std::string("\r\n") + line);
        ASSERT_EQ(text.compare(0, 20, "Earlier result line."), 0) << "a cut line at " << i;
        ASSERT_TRUE(testing_support::LastLineInView(edit_)) << i;
    }
    EXPECT_LE(shortest, kLogPaneBound * 3 / 4);  // trimmed once, to three quarters
}

TEST_F(LogPaneTest, SetLogCaretMovesToTheEndOrSelectsAll) {
    AppendLogLine(edit_, "abc", 1, 0);
    AppendLogLine(edit_, "de", 1, 0);
    SendMessageA(edit_, EM_SETSEL, 1, 3);
    SetLogCaret(edit_, 0);
    EXPECT_EQ(Selection(), std::make_pair(DWORD{7}, DWORD{7}));
    SetLogCaret(edit_, 1);
    EXPECT_EQ(Selection(), std::make_pair(DWORD{0}, DWORD{7}));
}

}  // namespace
