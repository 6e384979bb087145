// The window classes RegisterControlLibrary registers: styles, extra bytes, cursor, brush.
#include <windows.h>

#include <gtest/gtest.h>

#include "controls/control_library_win.h"

namespace {

struct ClassCase {
    const char* name;
    HBRUSH background;
};

const ClassCase kClasses[] = {
    {"2DCHART", reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)},
    {"KVSCOPE", reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)},
    {"3DCHART", reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)},
    {"KVTEXTPROGRESS", nullptr},
    {"KVDIGITALGAUGEREADOUT", reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)},
};

TEST(ControlLibraryTest, RegistersEachClassWithItsStyleCursorAndBrush) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterControlLibrary(instance);
    for (const ClassCase& c : kClasses) {
        WNDCLASSEXA info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetClassInfoExA(instance, c.name, &info)) << c.name;
        EXPECT_EQ(info.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW)) << c.name;
        EXPECT_EQ(info.cbWndExtra, 4) << c.name;
        EXPECT_EQ(info.cbClsExtra, 0) << c.name;
        EXPECT_EQ(info.hCursor, LoadCursorA(nullptr, IDC_ARROW)) << c.name;
        EXPECT_EQ(info.hbrBackground, c.background) << c.name;
        EXPECT_EQ(info.hIcon, nullptr) << c.name;
        EXPECT_EQ(info.lpszMenuName, nullptr) << c.name;
    }
}

TEST(ControlLibraryTest, EveryControlIsCreatedWithItsStateAndDrawsWithoutErasing) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterControlLibrary(instance);
    for (const ClassCase& c : kClasses) {
        HWND window = CreateWindowExA(0, c.name, "", WS_POPUP, 0, 0, 200, 150, nullptr, nullptr,
                                      instance, nullptr);
        ASSERT_NE(window, nullptr) << c.name;
        EXPECT_NE(GetWindowLongPtrA(window, 0), 0) << c.name;
        HDC dc = GetDC(window);
        EXPECT_EQ(SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1)
            << c.name;
        ReleaseDC(window, dc);
        DestroyWindow(window);
    }
}

}  // namespace
