// A HexView32 control in a test window that records every notification it sends, with helpers
// that drive it the way a user would: keys and characters as WM_KEYDOWN and WM_CHAR messages
// (with the modifier keys set in the thread's keyboard state), mouse messages at byte cells,
// and the warning boxes it shows answered from another thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_win.h"

namespace testing_support {

class HexViewHost {
public:
    // A visible parent of the given client size at the top left of the screen, with the control
    // filling it (client edge and both scroll bars, as the editor creates it) and focused.
    explicit HexViewHost(int width = 700, int height = 300, DWORD style = 0);
    ~HexViewHost();
    HexViewHost(const HexViewHost&) = delete;
    HexViewHost& operator=(const HexViewHost&) = delete;

    HWND control() const { return control_; }
    HWND parent() const { return parent_; }
    HexViewInstance& inst() const { return *HexViewFromWindow(control_); }

    // Hands the control a copy of bytes as its document and resets the view.
    void SetBytes(const std::vector<unsigned char>& bytes);
    std::vector<unsigned char> Bytes() const;

    // The notification codes since the last Clear, in order, and the last record of each.
    std::vector<int> codes;
    std::vector<HexViewNotify> records;
    void ClearNotifications() {
        codes.clear();
        records.clear();
    }

    // Keys: modifiers are "shift", "control" or both, held while the key goes down.
    void Key(UINT key, bool shift = false, bool control = false);
    void Char(char c);
    void Type(const std::string& text);  // WM_KEYDOWN of the character's key, then WM_CHAR

    // Client coordinates of the middle of a byte's cell in the number or character pane.
    POINT NumberCell(std::uint32_t offset) const;
    POINT CharCell(std::uint32_t offset) const;
    void Click(POINT point, WPARAM keys = 0);
    void Press(POINT point, WPARAM keys = 0);
    void MoveTo(POINT point, WPARAM keys = MK_LBUTTON);
    void Release(POINT point, WPARAM keys = 0);

    // Posted messages (scrolls) and timers run.
    void Pump(DWORD milliseconds = 30);

    static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    HWND parent_ = nullptr;
    HWND control_ = nullptr;
};

// Presses a button (OK unless told otherwise) on every message box with the caption (the
// control's "HexView32" unless told otherwise) that this process shows, from a thread of its
// own, and keeps their texts.
class BoxAnswerer {
public:
    explicit BoxAnswerer(const char* caption = "HexView32", int button = IDOK);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    // The texts of the boxes seen so far.
    std::vector<std::string> Texts();

private:
    std::atomic<bool> stop_{false};
    std::string caption_;
    std::vector<std::string> texts_;
    std::atomic<int> seen_{0};
    std::thread thread_;
};

// Registers HexView32 once for the test program, after initialising OLE on its thread.
void RegisterHexViewForTests();

// n bytes counting up from first (wrapping at 256).
std::vector<unsigned char> CountingBytes(std::size_t n, unsigned char first = 0);

// Where the system caret is, in client coordinates of its window.
POINT CaretPosition();

}  // namespace testing_support
