// Hosts one control at the top left corner of a visible top-level window, records the command
// notifications the control sends it, and reads back the control's pixels. The top-level
// window is made once and kept for the whole program: without a window manager, Wine waits
// two seconds for every top-level window it unmaps.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

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

// The client area of a window as painted on the screen, read after it has painted.
class ClientPixels {
  public:
    explicit ClientPixels(HWND window);
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF at(int x, int y) const;  // CLR_INVALID outside
    // Pixels of exactly this colour.
    int Count(COLORREF color) const;
    // The smallest rectangle holding every pixel of this colour; empty when there is none.
    RECT Bounds(COLORREF color) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<COLORREF> pixels_;
};

// Sends a mouse message with a client position that may lie outside the window.
void SendMouse(HWND window, UINT message, int x, int y, WPARAM keys = 0);
