// Reading back what a window painted, for tests that check pixels.
#pragma once

#include <windows.h>

#include <vector>

namespace testing_support {

// The client area of a visible window as it is on the screen now, after any pending paint.
class ClientPixels {
public:
    explicit ClientPixels(HWND window);
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF at(int x, int y) const;  // RGB() order; CLR_INVALID outside
    // How many pixels of the rectangle have exactly this colour.
    int Count(COLORREF color, RECT area) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<DWORD> bits_;  // top-down, 0x00RRGGBB
};

}  // namespace testing_support
