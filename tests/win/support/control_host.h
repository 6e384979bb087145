// Hosts one control at the top left corner of a visible top-level window and records the
// command notifications the control sends it. The top-level window is made once and kept for
// the whole program, so that each test creates and destroys only a child window.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "tests/win/support/pixels.h"

namespace testing_support {

struct CommandRecord {
    int id;
    int code;
    LPARAM value;
};

class ControlHost {
  public:
    // Registers the control library, then creates a child of `className` with a client area
    // of width x height pixels (at most 800 x 600) and control identifier 7.
    ControlHost(const char* className, int width, int height, DWORD style = 0);
    ~ControlHost();
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;

    HWND control() const { return control_; }
    const std::vector<CommandRecord>& commands() const { return commands_; }
    void ClearCommands() { commands_.clear(); }

    // Called with each WM_COMMAND while it is sent, for values only valid during the call.
    void OnCommand(std::function<void(const CommandRecord&)> handler) {
        handler_ = std::move(handler);
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(control_, message, wParam, lParam);
    }

  private:
    static HWND SharedWindow();
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND control_ = nullptr;
    std::vector<CommandRecord> commands_;
    std::function<void(const CommandRecord&)> handler_;
};

// Sends a mouse message with a client position that may lie outside the window.
void SendMouse(HWND window, UINT message, int x, int y, WPARAM keys = 0);

// Pixels of exactly this colour anywhere in the client area.
int CountPixels(const ClientPixels& pixels, COLORREF color);

// The smallest rectangle holding every pixel of this colour; empty when there is none.
RECT PixelBounds(const ClientPixels& pixels, COLORREF color);

}  // namespace testing_support
