// The log routines against a real multi-line edit control.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/log_win.h"

namespace {

class LogPaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        edit_ = CreateWindowExA(0, "EDIT", "", WS_POPUP | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL,
                                0, 0, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
        ASSERT_NE(edit_, nullptr);
        // Far more room than the default limit, for the long-line case.
        SendMessageA(edit_, EM_LIMITTEXT, 0x100000, 0);
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
