// KVGRIDCONTROL in the shared host window, which records every WM_COMMAND notification.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/grid_control_win.h"
#include "tests/win/support/control_host.h"

namespace {

using testing_support::ClientPixels;
using testing_support::CommandRecord;
using testing_support::ControlHost;

constexpr int kHostControlId = 7;  // the id ControlHost gives its control

LPARAM Cell(int row, int column) {
    return MAKELPARAM(row, column);
}

class GridTest : public ::testing::Test {
  protected:
    void SetUp() override { Host(400, 300); }

    // A new grid of this client size in the shared host window, without the focus.
    void Host(int width, int height) {
        host_.reset();
        host_ = std::make_unique<ControlHost>(kGridControlClass, width, height);
        grid_ = host_->control();
        ASSERT_NE(grid_, nullptr);
        parent_ = GetParent(grid_);
        SetFocus(parent_);
        host_->OnCommand([this](const CommandRecord& record) {
            if (record.code != GRN_OWNERDRAW) return;
            int value = static_cast<int>(Send(GRM_GETOWNERDRAWVALUE));
            ownerDrawn_.push_back({value, *reinterpret_cast<const RECT*>(record.value)});
        });
        Pump();
        host_->ClearCommands();
    }

    static void Pump() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    const std::vector<CommandRecord>& Notes() const { return host_->commands(); }
    void ClearNotes() { host_->ClearCommands(); }
    std::vector<WORD> Codes() const {
        std::vector<WORD> codes;
        for (const CommandRecord& note : Notes()) codes.push_back(static_cast<WORD>(note.code));
        return codes;
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageA(grid_, message, wParam, lParam);
    }
    LRESULT SendRef(UINT message, GridCellRef ref, LPARAM lParam = 0) {
        return Send(message, reinterpret_cast<WPARAM>(&ref), lParam);
    }
    LRESULT SetText(int row, int column, const std::string& text) {
        return SendRef(GRM_SETCELLTEXT, {row, column}, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // The cell's text through a buffer of exactly the documented size, with guard bytes.
    std::string Text(int row, int column) {
        char buffer[kGridMaxCellText + 1 + 16];
        std::memset(buffer, 0x5A, sizeof buffer);
        LRESULT result = SendRef(GRM_GETCELLTEXT, {row, column}, reinterpret_cast<LPARAM>(buffer));
        for (std::size_t i = kGridMaxCellText + 1; i < sizeof buffer; ++i) {
            EXPECT_EQ(buffer[i], 0x5A) << "written past the buffer at " << i;
        }
        return result == 1 ? std::string(buffer) : std::string("<bad ref>");
    }
    void Key(UINT key) {
        LPARAM lParam = 1 | (static_cast<LPARAM>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16);
        Send(WM_KEYDOWN, key, lParam);
    }
    void Type(const std::string& keys) {
        for (char c : keys) Key(static_cast<UINT>(c));
    }
    void Click(int x, int y, UINT message = WM_LBUTTONDOWN) {
        Send(WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        Send(message, MK_LBUTTON, MAKELPARAM(x, y));
        Send(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    void Focus() {
        SetFocus(grid_);
        ASSERT_EQ(GetFocus(), grid_);
        ClearNotes();
    }
    // Paints the whole grid now; owner-drawn cells are recorded afresh.
    void Paint() {
        ownerDrawn_.clear();
        InvalidateRect(grid_, nullptr, FALSE);
        UpdateWindow(grid_);
    }
    COLORREF Pixel(int x, int y) { return ClientPixels(grid_).at(x, y); }
    static std::string ClipboardText() {
        std::string text;
        if (!OpenClipboard(nullptr)) return "<no clipboard>";
        if (HANDLE data = GetClipboardData(CF_TEXT)) {
            text = static_cast<const char*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    }
    static void PutClipboardText(const std::string& text) {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        SetClipboardData(CF_TEXT, memory);
        CloseClipboard();
    }

    std::unique_ptr<ControlHost> host_;
    HWND grid_ = nullptr;
    HWND parent_ = nullptr;
    std::vector<std::pair<int, RECT>> ownerDrawn_;  // value and text rectangle of each
};

using CodeList = std::vector<WORD>;

TEST_F(GridTest, ClassIsRegisteredPlainWithGrayBrushAndNoCursor) {
    WNDCLASSA cls{};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), kGridControlClass, &cls));
    EXPECT_EQ(cls.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
    EXPECT_EQ(cls.cbWndExtra, 4);
    EXPECT_EQ(cls.cbClsExtra, 0);
    EXPECT_EQ(cls.hCursor, nullptr);
    EXPECT_EQ(cls.hbrBackground, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    EXPECT_EQ(Send(WM_GETDLGCODE), 0x91);
}

TEST_F(GridTest, DefaultsAfterCreation) {
    EXPECT_EQ(Send(GRM_GETROWS), 100);
    EXPECT_EQ(Send(GRM_GETCOLS), 255);
    EXPECT_EQ(Send(GRM_GETCURROW), 1);
    EXPECT_EQ(Send(GRM_GETCURCOL), 1);
    EXPECT_EQ(Send(GRM_GETROWHEIGHT), 21);
    EXPECT_EQ(Send(GRM_GETHEADERHEIGHT), 21);
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 0), 50);
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 255), 50);
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 256), 0);  // column 256 starts hidden
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 257), 0);
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, static_cast<WPARAM>(-1)), 0);
}

TEST_F(GridTest, HugeWidthsAndHeightsAreCutAndNegativeOnesRefused) {
    Send(GRM_SETCOLWIDTH, 1, 1000000000);
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 1), 32767);
    Send(GRM_SETCOLWIDTH, 1, -5);
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 1), 32767);
    Send(GRM_SETCOLWIDTH, 257, 10);
    Send(GRM_SETROWHEIGHT, 2000000000);
    EXPECT_EQ(Send(GRM_GETROWHEIGHT), 32767);
    Send(GRM_SETHEADERHEIGHT, static_cast<WPARAM>(-40));
    EXPECT_EQ(Send(GRM_GETHEADERHEIGHT), 0);
    for (int column = 2; column <= 256; ++column) Send(GRM_SETCOLWIDTH, column, 1000000);
    Send(GRM_SETSIZE, 32000, 256);
    Send(GRM_SELECTCELL, 32000, 256);
    Paint();
    EXPECT_EQ(Send(GRM_GETCURROW), 32000);
    EXPECT_EQ(Send(GRM_GETCURCOL), 256);
}

TEST_F(GridTest, InvalidReferencesNotifyAndReturnTheBadRefResult) {
    struct Case {
        UINT message;
        LRESULT badRef;
    };
    char buffer[kGridMaxCellText + 1] = "untouched";
    const char* text = "x";
    for (const Case& c :
         {Case{GRM_SETCELLPROTECT, -1}, Case{GRM_SETCELLTEXT, 0}, Case{GRM_GETCELLTEXT, 0},
          Case{GRM_DELETECELL, -1}, Case{GRM_GETCELLTYPE, 0}, Case{GRM_ISCELLPROTECTED, -1}}) {
        LPARAM lParam = c.message == GRM_GETCELLTEXT   ? reinterpret_cast<LPARAM>(buffer)
                        : c.message == GRM_SETCELLTEXT ? reinterpret_cast<LPARAM>(text)
                                                       : 1;
        for (GridCellRef ref : {GridCellRef{40000, 1}, GridCellRef{32001, 0}, GridCellRef{1, 257},
                                GridCellRef{-1, 1}, GridCellRef{1, -5}}) {
            ClearNotes();
            EXPECT_EQ(SendRef(c.message, ref, lParam), c.badRef)
                << c.message << " " << ref.row << "," << ref.column;
            ASSERT_EQ(Notes().size(), 1u);
            EXPECT_EQ(Notes()[0].id, kHostControlId);
            EXPECT_EQ(Notes()[0].code, GRN_BADREF);
            EXPECT_EQ(Notes()[0].value, 0);
        }
        ClearNotes();
        EXPECT_EQ(Send(c.message, 0, lParam), c.badRef);  // a null reference
        EXPECT_EQ(Codes(), CodeList{GRN_BADREF});
    }
    EXPECT_STREQ(buffer, "untouched");
    // Nothing was stored by any of them.
    EXPECT_EQ(Send(GRM_GETROWS), 100);
    EXPECT_EQ(Text(1, 1), "");
}

TEST_F(GridTest, StoredTextsComeBackWithTheirTypes) {
    struct Case {
        const char* text;
        LRESULT type;
    };
    int row = 1;
    for (const Case& c : {Case{"true", 3}, Case{"FALSE", 4}, Case{"-1.5", 2}, Case{"1-2", 1},
                          Case{"1.2.3", 1}, Case{"~42", 5}, Case{"", 1}, Case{"hello", 1}}) {
        ClearNotes();
        EXPECT_EQ(SetText(row, 3, c.text), 1);
        ASSERT_EQ(Notes().size(), 1u);
        EXPECT_EQ(Notes()[0].code, GRN_CELLSTORED);
        EXPECT_EQ(Notes()[0].value, Cell(row, 3));
        EXPECT_EQ(Text(row, 3), c.text);
        EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {row, 3}), c.type) << c.text;
        EXPECT_EQ(SendRef(GRM_ISCELLPROTECTED, {row, 3}), 0);
        ++row;
    }
    // A missing cell: empty text, type 0, protection -1.
    EXPECT_EQ(Text(50, 50), "");
    EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {50, 50}), 0);
    EXPECT_EQ(SendRef(GRM_ISCELLPROTECTED, {50, 50}), -1);
    // Replacing a text leaves one cell.
    SetText(1, 3, "again");
    EXPECT_EQ(Text(1, 3), "again");
    EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {1, 3}), 1);
}

TEST_F(GridTest, HeaderCellsAndTheCornerAreStoredToo) {
    SetText(0, 0, "corner");
    SetText(0, 256, "last header");
    SetText(32000, 0, "last row head");
    EXPECT_EQ(Text(0, 0), "corner");
    EXPECT_EQ(Text(0, 256), "last header");
    EXPECT_EQ(Text(32000, 0), "last row head");
}

TEST_F(GridTest, LongTextsAreCutTo300CharactersAndNeverOverrunTheBuffer) {
    std::string longText(5000, 'L');
    EXPECT_EQ(SetText(2, 2, longText), 1);
    EXPECT_EQ(Text(2, 2), std::string(kGridMaxCellText, 'L'));
    std::string exact(kGridMaxCellText, 'E');
    SetText(2, 3, exact);
    EXPECT_EQ(Text(2, 3), exact);
}

TEST_F(GridTest, ManyCellsAreFoundByBisection) {
    // Stored out of order; far more than the 12 strings below which the prefix search runs.
    std::vector<std::pair<int, int>> cells;
    for (int i = 0; i < 300; ++i) cells.push_back({(i * 37) % 150 + 1, (i * 11) % 20 + 1});
    for (auto [row, column] : cells) {
        SetText(row, column, std::to_string(row) + ":" + std::to_string(column));
    }
    for (auto [row, column] : cells) {
        ASSERT_EQ(Text(row, column), std::to_string(row) + ":" + std::to_string(column));
    }
    EXPECT_EQ(Text(151, 1), "");
    EXPECT_EQ(Text(1, 21), "");
    ClearNotes();
    EXPECT_EQ(SendRef(GRM_DELETECELL, {cells[5].first, cells[5].second}), 0);
    EXPECT_EQ(Codes(), CodeList{GRN_EDITEND});
    EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {cells[5].first, cells[5].second}), 0);
    EXPECT_EQ(Text(cells[6].first, cells[6].second),
              std::to_string(cells[6].first) + ":" + std::to_string(cells[6].second));
}

TEST_F(GridTest, ProtectionIsPerCellAndTextResetsItUnlessTheDefaultProtects) {
    EXPECT_EQ(SendRef(GRM_SETCELLPROTECT, {4, 4}, 1), 0);
    EXPECT_EQ(SendRef(GRM_ISCELLPROTECTED, {4, 4}), 1);
    EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {4, 4}), 1);
    EXPECT_EQ(Text(4, 4), "");
    SetText(4, 5, "12");
    SendRef(GRM_SETCELLPROTECT, {4, 5}, 1);
    EXPECT_EQ(Text(4, 5), "12");
    EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {4, 5}), 2);
    EXPECT_EQ(SendRef(GRM_ISCELLPROTECTED, {4, 5}), 1);
    SendRef(GRM_SETCELLPROTECT, {4, 5}, 0);
    EXPECT_EQ(SendRef(GRM_ISCELLPROTECTED, {4, 5}), 0);

    SendRef(GRM_SETCELLPROTECT, {4, 4}, 1);
    SetText(4, 4, "new");
    EXPECT_EQ(SendRef(GRM_ISCELLPROTECTED, {4, 4}), 0);
    Send(GRM_SETDEFAULTPROTECT, 1);
    SetText(4, 4, "guarded");
    EXPECT_EQ(SendRef(GRM_ISCELLPROTECTED, {4, 4}), 1);
}

TEST_F(GridTest, ProtectedCellsCannotBeEdited) {
    Send(GRM_ENABLEEDIT, 1);
    SetText(1, 1, "keep");
    SendRef(GRM_SETCELLPROTECT, {1, 1}, 1);
    Focus();
    Type("AB");
    Key(VK_BACK);
    EXPECT_TRUE(Notes().empty());
    Key(VK_RETURN);
    EXPECT_EQ(Text(1, 1), "keep");
    EXPECT_EQ(Codes(), (CodeList{GRN_CURMOVED, GRN_CURCHANGED}));
}

TEST_F(GridTest, AutoGrowRaisesTheRowCount) {
    SetText(150, 1, "x");
    EXPECT_EQ(Send(GRM_GETROWS), 150);
    SetText(120, 1, "lower");
    EXPECT_EQ(Send(GRM_GETROWS), 150);
    Send(GRM_SETAUTOGROW, 0);
    SetText(200, 1, "x");
    EXPECT_EQ(Send(GRM_GETROWS), 150);
}

TEST_F(GridTest, SetSizeClampsRowsAndColumns) {
    struct Case {
        int rows, columns, wantRows, wantColumns;
    };
    for (const Case& c : {Case{10, 0, 10, 1}, Case{10, 300, 10, 256}, Case{10, -4, 10, 1},
                          Case{40000, 256, 32000, 256}, Case{-5, 3, 0, 3}, Case{0, 1, 0, 1}}) {
        EXPECT_EQ(Send(GRM_SETSIZE, c.rows, c.columns), 0);
        EXPECT_EQ(Send(GRM_GETROWS), c.wantRows) << c.rows;
        EXPECT_EQ(Send(GRM_GETCOLS), c.wantColumns) << c.columns;
    }
}

TEST_F(GridTest, ShrinkingKeepsTheCurrentCellInsideTheGrid) {
    Send(GRM_SELECTCELL, 80, 40);
    EXPECT_EQ(Send(GRM_GETCURROW), 80);
    Send(GRM_SETSIZE, 10, 5);
    EXPECT_EQ(Send(GRM_GETCURROW), 10);
    EXPECT_EQ(Send(GRM_GETCURCOL), 5);
    Focus();
    Key(VK_DOWN);  // already on the last row
    EXPECT_EQ(Send(GRM_GETCURROW), 10);
    EXPECT_TRUE(Notes().empty());
}

TEST_F(GridTest, ClearAllRemovesCellsAndRows) {
    SetText(3, 3, "x");
    Send(GRM_SELECTCELL, 5, 7);
    EXPECT_EQ(Send(GRM_CLEARALL), 0);
    EXPECT_EQ(Send(GRM_GETROWS), 0);
    EXPECT_EQ(Send(GRM_GETCURROW), 1);
    EXPECT_EQ(Send(GRM_GETCURCOL), 7);
    EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {3, 3}), 0);
    SetText(2, 2, "y");
    EXPECT_EQ(Send(GRM_GETROWS), 2);
}

TEST_F(GridTest, SelectCellOnlyInsideTheGrid) {
    Send(GRM_SETSIZE, 20, 10);
    Send(GRM_SELECTCELL, 15, 9);
    EXPECT_EQ(Send(GRM_GETCURROW), 15);
    EXPECT_EQ(Send(GRM_GETCURCOL), 9);
    for (auto [row, column] : {std::pair{0, 1}, {21, 1}, {1, 0}, {1, 11}}) {
        Send(GRM_SELECTCELL, row, column);
        EXPECT_EQ(Send(GRM_GETCURROW), 15);
        EXPECT_EQ(Send(GRM_GETCURCOL), 9);
    }
    EXPECT_TRUE(Notes().empty());
    Send(GRM_NOTIFYSELECTION);
    Send(GRM_NOTIFYSELECTION2);
    EXPECT_EQ(Codes(), (CodeList{GRN_CURMOVED, GRN_CURCHANGED, GRN_CURMOVED, GRN_CURCHANGED}));
    EXPECT_EQ(Notes()[1].value, Cell(15, 9));
}

TEST_F(GridTest, CopyOfA2By2GridGivesTabsAndCrLf) {
    Send(GRM_SETSIZE, 2, 2);
    SetText(1, 1, "a");
    SetText(1, 2, "b");
    SetText(2, 1, "c");
    SetText(2, 2, "d");
    SetText(0, 1, "header");   // headers are not copied
    SetText(3, 3, "outside");  // nor cells beyond the size (autoGrow makes 3 rows)
    Send(GRM_SETSIZE, 2, 2);
    EXPECT_EQ(Send(GRM_COPY), 1);
    EXPECT_EQ(ClipboardText(), "a\tb\r\nc\td\r\n");
}

TEST_F(GridTest, CopyOfABigGridIsWhole) {
    // Far beyond a 2048-byte buffer: 30 x 30 cells of 300 characters.
    Send(GRM_SETSIZE, 30, 30);
    std::string cell(kGridMaxCellText, 'w');
    for (int row = 1; row <= 30; ++row) {
        for (int column = 1; column <= 30; ++column) SetText(row, column, cell);
    }
    EXPECT_EQ(Send(GRM_COPY), 1);
    std::string text = ClipboardText();
    EXPECT_EQ(text.size(), 30u * (30u * kGridMaxCellText + 29u + 2u));
    EXPECT_EQ(text.substr(text.size() - 3), "w\r\n");
}

TEST_F(GridTest, PasteFillsCellsFromTheTopLeft) {
    Send(GRM_SETSIZE, 2, 2);
    Send(GRM_SELECTCELL, 2, 2);
    PutClipboardText("1\t2\t3\r\n4\t5\t6\r\n7\t8\t9\r\n");
    EXPECT_EQ(Send(GRM_PASTE), 0);
    EXPECT_EQ(Text(1, 1), "1");
    EXPECT_EQ(Text(1, 3), "3");
    EXPECT_EQ(Text(2, 2), "5");
    EXPECT_EQ(Text(3, 3), "9");
    EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {3, 3}), 2);
    EXPECT_EQ(Send(GRM_GETROWS), 3);
    int stored = 0;
    for (const CommandRecord& note : Notes()) stored += note.code == GRN_CELLSTORED ? 1 : 0;
    EXPECT_EQ(stored, 9);
}

TEST_F(GridTest, PasteOfOddTextStaysInsideItsCells) {
    std::string huge(1000, 'h');
    PutClipboardText(huge + "\tb\nc\n");  // long cell, LF-only lines
    Send(GRM_PASTE);
    EXPECT_EQ(Text(1, 1), std::string(kGridMaxCellText, 'h'));
    EXPECT_EQ(Text(1, 2), "b");
    EXPECT_EQ(Text(2, 1), "c");
    EXPECT_EQ(Text(2, 2), "");
}

TEST_F(GridTest, ZeroWidthColumnIsSkippedByPaintingRightAndTheScrollRange) {
    Host(120, 200);  // 50 + 50 + 50 px of columns do not fit 120
    Send(GRM_SETSIZE, 3, 3);
    Send(GRM_SETCOLWIDTH, 1, 50);
    Send(GRM_SETCOLWIDTH, 2, 0);
    Send(GRM_SETCOLWIDTH, 3, 50);
    SetText(1, 1, "~1");
    SetText(1, 2, "~2");
    SetText(1, 3, "~3");
    Paint();
    ASSERT_EQ(ownerDrawn_.size(), 2u);
    EXPECT_EQ(ownerDrawn_[0].first, 1);
    EXPECT_EQ(ownerDrawn_[1].first, 3);
    EXPECT_EQ(ownerDrawn_[1].second.left, 50 + 50 + 2);  // right after column 1

    int low = 0, high = 0;
    EXPECT_TRUE(GetWindowLongA(grid_, GWL_STYLE) & WS_HSCROLL);
    GetScrollRange(grid_, SB_HORZ, &low, &high);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 2);

    Focus();
    Key(VK_RIGHT);
    EXPECT_EQ(Send(GRM_GETCURCOL), 3);
    Key(VK_LEFT);
    EXPECT_EQ(Send(GRM_GETCURCOL), 1);
    Key(VK_LEFT);  // nothing further left: stays, but still notifies
    EXPECT_EQ(Send(GRM_GETCURCOL), 1);
    EXPECT_EQ(Codes(), (CodeList{7, 5, 7, 5, 7, 5}));
    // Scrolling one step right shows column 3 first.
    Send(WM_HSCROLL, SB_LINERIGHT);
    Paint();
    ASSERT_EQ(ownerDrawn_.size(), 1u);
    EXPECT_EQ(ownerDrawn_[0].first, 3);
    EXPECT_EQ(ownerDrawn_[0].second.left, 50 + 2);
}

TEST_F(GridTest, OwnerDrawnCellsReportTheirNumberAndTextRectangle) {
    SetText(2, 2, "~42");
    Paint();
    ASSERT_EQ(ownerDrawn_.size(), 1u);
    EXPECT_EQ(ownerDrawn_[0].first, 42);
    RECT rect = ownerDrawn_[0].second;
    EXPECT_EQ(rect.left, 100 + 2);
    EXPECT_EQ(rect.right, 150 - 2);
    EXPECT_EQ(rect.top, 21 + 21);
    EXPECT_EQ(rect.bottom, 21 + 42);
    EXPECT_EQ(Send(GRM_GETOWNERDRAWVALUE), 42);
}

TEST_F(GridTest, TypingAndEnterCommitsAndMovesDown) {
    Send(GRM_ENABLEEDIT, 1);
    Focus();
    Type("HI");
    Key(VK_RETURN);
    EXPECT_EQ(Codes(),
              (CodeList{GRN_EDITBEGIN, GRN_CELLSTORED, GRN_EDITEND, GRN_CURMOVED, GRN_CURCHANGED}));
    EXPECT_EQ(Notes()[0].value, Cell(1, 1));
    EXPECT_EQ(Notes()[2].value, Cell(1, 1));
    EXPECT_EQ(Notes()[4].value, Cell(2, 1));
    EXPECT_EQ(Text(1, 1), "hi");
    EXPECT_EQ(Send(GRM_GETCURROW), 2);
}

TEST_F(GridTest, EditingKeys) {
    Send(GRM_ENABLEEDIT, 1);
    SetText(1, 1, "old");
    Focus();
    Type("12");
    Key(VK_ESCAPE);
    EXPECT_EQ(Codes(), (CodeList{GRN_EDITBEGIN, GRN_EDITEND}));
    EXPECT_EQ(Text(1, 1), "old");

    ClearNotes();
    Key(VK_BACK);  // opens an edit, removes nothing
    Type("123");
    Key(VK_BACK);
    Key(VK_DOWN);
    EXPECT_EQ(Text(1, 1), "12");
    EXPECT_EQ(SendRef(GRM_GETCELLTYPE, {1, 1}), 2);
    EXPECT_EQ(Codes(), (CodeList{8, 32, 10, 7, 5}));

    // Typing beyond 300 characters only beeps.
    Send(GRM_SELECTCELL, 3, 1);
    Type(std::string(305, 'Z'));
    Key(VK_UP);
    EXPECT_EQ(Text(3, 1), std::string(kGridMaxCellText, 'z'));

    // With editing disabled typing does nothing.
    Send(GRM_ENABLEEDIT, 0);
    ClearNotes();
    Type("Q");
    EXPECT_TRUE(Notes().empty());
}

TEST_F(GridTest, AnOpenEditStaysWithItsCellWhenTheOwnerMovesOrClears) {
    Send(GRM_ENABLEEDIT, 1);
    Focus();
    Type("X");
    Send(GRM_SELECTCELL, 5, 2);  // committed to (1, 1) first, not later to (5, 2)
    EXPECT_EQ(Text(1, 1), "x");
    EXPECT_EQ(Text(5, 2), "");
    EXPECT_EQ(Codes(), (CodeList{GRN_EDITBEGIN, GRN_CELLSTORED, GRN_EDITEND}));

    Type("Y");
    ClearNotes();
    Send(GRM_CLEARALL);  // the edit is dropped with the cells; the current cell goes to row 1
    EXPECT_EQ(Codes(), (CodeList{GRN_EDITEND, GRN_CURMOVED, GRN_CURCHANGED}));
    EXPECT_EQ(Notes()[0].value, Cell(5, 2));
    EXPECT_EQ(Notes()[2].value, Cell(1, 2));
    Key(VK_RETURN);
    EXPECT_EQ(Send(GRM_GETROWS), 0);
    EXPECT_EQ(Text(5, 2), "");
}

TEST_F(GridTest, DialogCodeHandlesEnterAndEscape) {
    Send(GRM_ENABLEEDIT, 1);
    Focus();
    Type("A");
    MSG enter{grid_, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_EQ(Send(WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)), 0x91);
    EXPECT_EQ(Text(1, 1), "a");
    EXPECT_EQ(Send(GRM_GETCURROW), 2);

    Type("B");
    MSG escape{grid_, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    // While an edit is open the control keeps Escape from the dialog.
    EXPECT_EQ(Send(WM_GETDLGCODE, VK_ESCAPE, reinterpret_cast<LPARAM>(&escape)),
              0x91 | DLGC_WANTMESSAGE);
    EXPECT_EQ(Text(2, 1), "");
    EXPECT_EQ(Send(WM_GETDLGCODE, VK_ESCAPE, reinterpret_cast<LPARAM>(&escape)), 0x91);
}

TEST_F(GridTest, NavigationKeysAndTheirNotifications) {
    Send(GRM_SETSIZE, 30, 5);
    Focus();
    Key(VK_UP);  // already on row 1
    EXPECT_TRUE(Notes().empty());
    Key(VK_NEXT);
    EXPECT_EQ(Send(GRM_GETCURROW), 1 + 13);  // 279 px of data area: 13 whole rows
    Key(VK_NEXT);
    Key(VK_NEXT);
    EXPECT_EQ(Send(GRM_GETCURROW), 30);
    Key(VK_PRIOR);
    EXPECT_EQ(Send(GRM_GETCURROW), 17);
    EXPECT_EQ(Codes(), (CodeList{7, 5, 7, 5, 7, 5, 7, 5}));

    ClearNotes();
    Key(VK_DELETE);
    Key(VK_F1);
    Key(VK_F12);
    EXPECT_EQ(Codes(), (CodeList{GRN_DELETEKEY, 11, 22}));
    EXPECT_EQ(Notes()[0].value, Cell(17, 1));

    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), parent_);
}

TEST_F(GridTest, FocusNotificationsAndLosingFocusCommits) {
    Send(GRM_ENABLEEDIT, 1);
    Focus();
    Type("W");
    SetFocus(parent_);
    EXPECT_EQ(Codes(), (CodeList{GRN_EDITBEGIN, GRN_KILLFOCUS, GRN_CELLSTORED, GRN_EDITEND}));
    EXPECT_EQ(Text(1, 1), "w");
    ClearNotes();
    SetFocus(grid_);
    EXPECT_EQ(Codes(), CodeList{GRN_SETFOCUS});
}

TEST_F(GridTest, ClicksSelectDataCellsOnly) {
    Send(GRM_SETSIZE, 20, 5);
    Click(120, 60);  // the first click only takes the focus
    EXPECT_EQ(GetFocus(), grid_);
    EXPECT_EQ(Send(GRM_GETCURROW), 1);
    ClearNotes();
    Click(120, 60);  // row 2, column 2
    EXPECT_EQ(Send(GRM_GETCURROW), 2);
    EXPECT_EQ(Send(GRM_GETCURCOL), 2);
    EXPECT_EQ(Codes(), (CodeList{GRN_CLICK, GRN_CURMOVED, GRN_CURCHANGED}));
    EXPECT_EQ(Notes()[0].value, Cell(2, 2));
    ClearNotes();
    Click(120, 60);  // the same cell again
    EXPECT_EQ(Codes(), CodeList{GRN_CLICK});
    ClearNotes();
    Click(120, 10);  // header row
    Click(20, 60);   // header column
    EXPECT_TRUE(Notes().empty());
    EXPECT_EQ(Send(GRM_GETCURROW), 2);
}

// Three ways a user's cell text was lost: a grid that shrank under an open edit, a double
// click looked at and left, and a pasted last line without a line feed.
TEST_F(GridTest, NoEditSizeOrPasteLosesACell) {
    // An edit whose cell leaves the grid is dropped, and the current cell's move is announced.
    struct Shrink {
        int editRow, editCol, rows, columns, keptRow, keptCol;
    };
    for (const Shrink& c :
         {Shrink{10, 3, 5, 5, 5, 3}, Shrink{3, 4, 20, 2, 3, 2}, Shrink{1, 2, 0, 5, 1, 2}}) {
        SCOPED_TRACE(testing::Message() << "shrink to " << c.rows << "x" << c.columns);
        Host(400, 300);
        Send(GRM_ENABLEEDIT, 1);
        Send(GRM_SETSIZE, 20, 5);
        SetText(c.keptRow, c.keptCol, "keep me");
        Send(GRM_SELECTCELL, c.editRow, c.editCol);
        Focus();
        Type("XY");
        Send(GRM_SETSIZE, c.rows, c.columns);
        std::vector<std::pair<WORD, LPARAM>> notes;
        for (const CommandRecord& note : Notes()) notes.push_back({note.code, note.value});
        LPARAM edited = Cell(c.editRow, c.editCol);
        LPARAM kept = Cell(c.keptRow, c.keptCol);
        decltype(notes) want{{8, edited}, {10, edited}};
        if (kept != edited) want.insert(want.end(), {{7, kept}, {5, kept}});
        EXPECT_EQ(notes, want);
        EXPECT_EQ(Send(GRM_GETCURROW), c.keptRow);
        EXPECT_EQ(Send(GRM_GETCURCOL), c.keptCol);
        Key(VK_RETURN);
        EXPECT_EQ(Text(c.keptRow, c.keptCol), "keep me");
        for (const CommandRecord& note : Notes()) EXPECT_NE(note.code, GRN_CELLSTORED);
    }

    // A double click opens an empty edit: left without a key it stores nothing.
    struct Leave {
        std::function<void()> leave;
        const char* text;
        CodeList codes;
    };
    std::vector<Leave> leaves{
        {[this] { Click(120, 81); }, "was", {8, 10, GRN_CLICK, 7, 5}},
        {[this] { SetFocus(parent_); }, "was", {8, GRN_KILLFOCUS, 10}},
        {[this] { Key(VK_RETURN); }, "was", {8, 10, 7, 5}},
        {[this] { Type("N\r"); }, "n", {8, GRN_CELLSTORED, 10, 7, 5}},  // \r is Enter
    };
    for (const Leave& c : leaves) {
        Host(400, 300);
        Send(GRM_ENABLEEDIT, 1);
        SetText(2, 2, "was");
        Focus();
        Click(120, 60);
        ClearNotes();
        Click(120, 60, WM_LBUTTONDBLCLK);
        c.leave();
        EXPECT_EQ(Text(2, 2), c.text);
        EXPECT_EQ(Codes(), c.codes);
    }

    // A last line without a line feed is a row too; what was pasted copies back whole.
    Send(GRM_SETSIZE, 0, 2);
    for (auto [pasted, copied] : {std::pair{"p\tq\r\nr\ts", "p\tq\r\nr\ts\r\n"},
                                  {"one\trow", "one\trow\r\n"},
                                  {"a\tb\r", "a\tb\r\n"},
                                  {"p\tq\r\nr\ts\r\n", "p\tq\r\nr\ts\r\n"}}) {
        Send(GRM_CLEARALL);
        PutClipboardText(pasted);
        Send(GRM_PASTE);
        ASSERT_EQ(Send(GRM_COPY), 1);
        EXPECT_EQ(ClipboardText(), copied) << pasted;
    }
}

// The owner may protect the cell being edited: the edit is dropped then, as Escape would drop
// it, and the cell keeps its text.
TEST_F(GridTest, ProtectingTheEditedCellDropsTheEdit) {
    Send(GRM_ENABLEEDIT, 1);
    SetText(1, 1, "keep");
    Focus();
    Type("AB");
    SendRef(GRM_SETCELLPROTECT, {1, 1}, 1);
    EXPECT_EQ(Codes(), (CodeList{GRN_EDITBEGIN, GRN_EDITEND}));
    Type("C");
    Key(VK_RETURN);
    EXPECT_EQ(Text(1, 1), "keep");
    EXPECT_EQ(Codes(), (CodeList{GRN_EDITBEGIN, GRN_EDITEND, GRN_CURMOVED, GRN_CURCHANGED}));
}

TEST_F(GridTest, ColumnBordersCanBeDragged) {
    Send(GRM_ENABLECOLRESIZE, 1);
    Focus();
    // Column 1 ends at x = 100; near it on the header row the pointer offers a resize.
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(97, 10));
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(97, 10));
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(127, 10));
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 1), 80);
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 10));
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 1), 0);
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(137, 10));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(137, 10));
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 1), 90);
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(160, 10));
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 1), 90);

    // Without colResizeEnabled nothing is dragged.
    Send(GRM_ENABLECOLRESIZE, 0);
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(137, 10));
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(137, 10));
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(180, 10));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(180, 10));
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 1), 90);
}

TEST_F(GridTest, FitHeightTrimsTheWindowToWholeRows) {
    Send(GRM_SETSIZE, 100, 2);  // no horizontal bar: 150 px of columns
    Send(GRM_SETFITHEIGHT, 1);
    SetWindowPos(grid_, nullptr, 0, 0, 400, 200, SWP_NOMOVE | SWP_NOZORDER);
    RECT frame;
    GetWindowRect(grid_, &frame);
    EXPECT_EQ(frame.bottom - frame.top, 193);
    EXPECT_EQ(frame.right - frame.left, 400);
    // A new row height trims again from the size the parent asked for.
    Send(GRM_SETROWHEIGHT, 30);
    GetWindowRect(grid_, &frame);
    EXPECT_EQ(frame.bottom - frame.top, 21 + 30 * 5 + 4);  // 179 px hold 5 rows of 30
    Send(GRM_SETFITHEIGHT, 0);
    SetWindowPos(grid_, nullptr, 0, 0, 400, 200, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(grid_, &frame);
    EXPECT_EQ(frame.bottom - frame.top, 200);
}

// Column 256 starts hidden: a grid of 256 columns scrolls over 255, and Right stops at 255.
TEST_F(GridTest, AGridOf256ColumnsShows255) {
    Send(GRM_SETSIZE, 100, 256);
    SCROLLINFO info{sizeof info, SIF_RANGE, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(grid_, SB_HORZ, &info));
    EXPECT_EQ(info.nMax, 255);
    Focus();
    Send(GRM_SELECTCELL, 1, 255);
    Key(VK_RIGHT);
    EXPECT_EQ(Send(GRM_GETCURCOL), 255);
}

// The trim to whole rows keeps the width the parent gave: the client width it starts from
// grows by the vertical bar and the border, as far as the parent has room.
TEST_F(GridTest, FitHeightKeepsTheWidthTheParentGave) {
    struct Case {
        DWORD style;
        int width;
    };
    for (const Case& c : {Case{WS_BORDER, 400}, Case{0, 800}, Case{WS_BORDER, 800}}) {
        host_.reset();
        host_ = std::make_unique<ControlHost>(kGridControlClass, 300, 300, c.style);
        grid_ = host_->control();
        Send(GRM_SETFITHEIGHT, 1);
        SetWindowPos(grid_, nullptr, 0, 0, c.width, 200, SWP_NOMOVE | SWP_NOZORDER);
        RECT frame;
        GetWindowRect(grid_, &frame);
        EXPECT_EQ(frame.right - frame.left, c.width) << c.style;
        RECT client;
        GetClientRect(grid_, &client);
        EXPECT_EQ((client.bottom - 21 - 4) % 21, 0) << c.style;
    }
}

TEST_F(GridTest, TitleHeightIsOnePointTwoLinesOfTheTitleFont) {
    HFONT font =
        CreateFontA(14, 0, 0, 0, 600, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, PROOF_QUALITY, VARIABLE_PITCH | FF_MODERN, "Arial");
    HDC dc = GetDC(grid_);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, "Two", 3, &size);
    SelectObject(dc, old);
    ReleaseDC(grid_, dc);
    DeleteObject(font);

    SetText(1, 1, "~1");
    SetWindowTextA(grid_, "Two\nlines");
    Paint();
    ASSERT_EQ(ownerDrawn_.size(), 1u);
    EXPECT_EQ(ownerDrawn_[0].second.top, static_cast<int>(size.cy * 1.2 * 2) + 21);

    SetWindowTextA(grid_, "");
    Paint();
    ASSERT_EQ(ownerDrawn_.size(), 1u);
    EXPECT_EQ(ownerDrawn_[0].second.top, 21);

    char title[64];
    SetWindowTextA(grid_, std::string(301, 't').c_str());
    GetWindowTextA(grid_, title, sizeof title);
    EXPECT_STREQ(title, "Title too long (300 chars max)");
    SetWindowTextA(grid_, std::string(300, 't').c_str());
    EXPECT_EQ(GetWindowTextLengthA(grid_), 300);
}

TEST_F(GridTest, CreationTextIsTheTitleAndBandHeightsMoveTheCells) {
    HWND created = CreateWindowExA(0, kGridControlClass, "Created", WS_CHILD, 0, 0, 100, 100,
                                   parent_, nullptr, GetModuleHandleA(nullptr), nullptr);
    char title[32];
    GetWindowTextA(created, title, sizeof title);
    EXPECT_STREQ(title, "Created");
    DestroyWindow(created);
    SetText(1, 1, "~1");
    Send(GRM_SETTITLEHEIGHT, 30);
    Send(GRM_SETHEADERHEIGHT, 25);
    Paint();
    ASSERT_EQ(ownerDrawn_.size(), 1u);
    EXPECT_EQ(ownerDrawn_[0].second.top, 30 + 25);
    EXPECT_EQ(Send(GRM_GETHEADERHEIGHT), 25);
    Send(GRM_SETROWHEIGHT, 0);  // taken as 1
    EXPECT_EQ(Send(GRM_GETROWHEIGHT), 1);
}

TEST_F(GridTest, AutoSizeGrowsRowsAndShownColumnsToFitTheText) {
    Send(GRM_SETAUTOSIZE, 1);
    SetText(1, 1, "short");
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 1), 50);
    EXPECT_EQ(Send(GRM_GETROWHEIGHT), 21);
    SetText(1, 2, std::string(60, 'W'));
    EXPECT_GT(Send(GRM_GETCOLWIDTH, 2), 300);
    EXPECT_EQ(Send(GRM_GETROWHEIGHT), 21);  // one line in a single-line grid
    SetText(0, 3, "two\nlines");
    EXPECT_GT(Send(GRM_GETHEADERHEIGHT), 21 + 5);
    Send(GRM_SETSINGLELINE, 0);
    SetText(2, 3, "a\nb\nc\nd");
    EXPECT_GT(Send(GRM_GETROWHEIGHT), 4 * 12);
    Send(GRM_SETCOLWIDTH, 4, 0);
    SetText(1, 4, std::string(60, 'W'));
    EXPECT_EQ(Send(GRM_GETCOLWIDTH, 4), 0);  // a hidden column stays hidden
}

TEST_F(GridTest, MouseWheelScrollsThreeRowsANotch) {
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)));
    EXPECT_EQ(GetScrollPos(grid_, SB_VERT), 4);
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(2 * WHEEL_DELTA)));
    EXPECT_EQ(GetScrollPos(grid_, SB_VERT), 1);
}

TEST_F(GridTest, ScrollBarsMoveTheFirstRow) {
    Send(GRM_SETSIZE, 100, 3);
    SetText(5, 1, "~5");
    Paint();
    EXPECT_TRUE(GetWindowLongA(grid_, GWL_STYLE) & WS_VSCROLL);
    int low = 0, high = 0;
    GetScrollRange(grid_, SB_VERT, &low, &high);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 100 - 13 + 1);
    Send(WM_VSCROLL, SB_LINEDOWN);
    Send(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(GetScrollPos(grid_, SB_VERT), 3);
    Paint();
    ASSERT_EQ(ownerDrawn_.size(), 1u);
    EXPECT_EQ(ownerDrawn_[0].second.top, 21 + 2 * 21);  // row 5 is the third row shown
    Send(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(GetScrollPos(grid_, SB_VERT), 16);
    for (int i = 0; i < 10; ++i) Send(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(GetScrollPos(grid_, SB_VERT), high);
    Send(WM_VSCROLL, SB_PAGEUP);
    EXPECT_EQ(GetScrollPos(grid_, SB_VERT), high - 13);
    // Few rows need no bar.
    Send(GRM_SETSIZE, 5, 3);
    Paint();
    EXPECT_FALSE(GetWindowLongA(grid_, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(GridTest, CurrentCellFrameIsXoredAndSurvivesPartialRepaints) {
    Send(GRM_SETSIZE, 10, 3);
    Send(GRM_SETHIGHLIGHTROW, 0);
    Paint();
    // The frame of cell (1, 1) lies on its grid lines, y = 21 and y = 42: light gray XOR white.
    const COLORREF line = RGB(220, 220, 220);
    const COLORREF framed = RGB(35, 35, 35);
    EXPECT_EQ(Pixel(75, 21), framed);
    EXPECT_EQ(Pixel(75, 42), framed);
    EXPECT_EQ(Pixel(75, 30), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(75, 63), line);
    Send(GRM_TOGGLECURSOR);
    EXPECT_EQ(Pixel(75, 21), line);
    EXPECT_EQ(Pixel(75, 42), line);
    Send(GRM_TOGGLECURSOR);
    EXPECT_EQ(Pixel(75, 21), framed);

    // Storing another cell repaints part of the window; the frame is still drawn once.
    SetText(5, 3, "elsewhere");
    UpdateWindow(grid_);
    EXPECT_EQ(Pixel(75, 21), framed);

    Focus();  // 3 px wide now: one more pixel on each side of the line
    UpdateWindow(grid_);
    EXPECT_EQ(Pixel(75, 21), framed);
    EXPECT_EQ(Pixel(75, 22), RGB(0, 0, 0));
    Key(VK_DOWN);
    UpdateWindow(grid_);
    EXPECT_EQ(Pixel(75, 21), line);
    EXPECT_EQ(Pixel(75, 42), framed);
    EXPECT_EQ(Pixel(75, 63), framed);
}

TEST_F(GridTest, FontsFromWmSetFontStayTheSenders) {
    HFONT font =
        CreateFontA(16, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, "Arial");
    Send(WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
    EXPECT_EQ(reinterpret_cast<HFONT>(Send(WM_GETFONT)), font);
    Send(WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 1);
    host_.reset();
    LOGFONTA description{};
    EXPECT_EQ(GetObjectA(font, sizeof description, &description),
              static_cast<int>(sizeof description));
    DeleteObject(font);
}

}  // namespace
