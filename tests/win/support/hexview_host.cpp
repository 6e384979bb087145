#include "tests/win/support/hexview_host.h"

#include <ole2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "tests/win/support/app_driver.h"

namespace testing_support {

namespace {

constexpr char kHostClass[] = "VorlandHexViewHost";
std::mutex gBoxMutex;

void SetModifier(BYTE* state, int key, bool down) { state[key] = down ? 0x80 : 0; }

void SetModifiers(bool shift, bool control) {
    BYTE state[256];
    GetKeyboardState(state);
    SetModifier(state, VK_SHIFT, shift);
    SetModifier(state, VK_CONTROL, control);
    SetKeyboardState(state);
}

}  // namespace

void RegisterHexViewForTests() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    // The clipboard and drag and drop need OLE on the test's thread, as the program has it.
    OleInitialize(nullptr);
    RegisterHexViewClass(GetModuleHandleA(nullptr));
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = HexViewHost::ParentProc;
    cls.cbWndExtra = sizeof(void*);
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kHostClass;
    RegisterClassExA(&cls);
}

HexViewHost::HexViewHost(int width, int height, DWORD style) {
    RegisterHexViewForTests();
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, WS_POPUP, FALSE, 0);
    parent_ = CreateWindowExA(WS_EX_TOPMOST, kHostClass, "HexView host", WS_POPUP | WS_VISIBLE, 0,
                              0, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(parent_, 0, reinterpret_cast<LONG_PTR>(this));
    control_ = CreateWindowExA(WS_EX_CLIENTEDGE, kHexViewClass, "",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent_, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    MoveWindow(control_, 0, 0, width, height, TRUE);
    if (style != 0) HexViewSetStyle(control_, 0xFFFFFFFF, style);
    SetForegroundWindow(parent_);
    SetFocus(control_);
    Pump(20);
    ClearNotifications();
}

HexViewHost::~HexViewHost() {
    SetModifiers(false, false);
    DestroyWindow(parent_);
}

LRESULT CALLBACK HexViewHost::ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<HexViewHost*>(GetWindowLongPtrA(window, 0));
    if (message == WM_NOTIFY && host != nullptr) {
        const auto* notify = reinterpret_cast<const HexViewNotify*>(lParam);
        host->codes.push_back(static_cast<int>(notify->header.code));
        host->records.push_back(*notify);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void HexViewHost::SetBytes(const std::vector<unsigned char>& bytes) {
    void* block = nullptr;
    if (!bytes.empty()) {
        block = VirtualAlloc(nullptr, bytes.size(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        std::memcpy(block, bytes.data(), bytes.size());
    }
    EXPECT_EQ(HexViewSetBuffer(control_, block, static_cast<DWORD>(bytes.size())), 1);
    HexViewResetView(control_);
    Pump(10);
    ClearNotifications();
}

std::vector<unsigned char> HexViewHost::Bytes() const {
    std::vector<unsigned char> bytes(HexViewGetSize(control_));
    if (!bytes.empty() &&
        HexViewReadData(control_, 0, bytes.data(), static_cast<DWORD>(bytes.size())) == nullptr) {
        ADD_FAILURE() << "the document could not be read";
    }
    return bytes;
}

void HexViewHost::Key(UINT key, bool shift, bool control) {
    SetModifiers(shift, control);
    SendMessageA(control_, WM_KEYDOWN, key, 1);
    SetModifiers(false, false);
    Pump(5);
}

void HexViewHost::Char(char c) {
    SendMessageA(control_, WM_CHAR, static_cast<unsigned char>(c), 1);
    Pump(5);
}

void HexViewHost::Type(const std::string& text) {
    for (char c : text) {
        SHORT scan = VkKeyScanA(c);
        SetModifiers((scan & 0x100) != 0, false);
        SendMessageA(control_, WM_KEYDOWN, LOBYTE(scan), 1);
        SendMessageA(control_, WM_CHAR, static_cast<unsigned char>(c), 1);
        SetModifiers(false, false);
    }
    Pump(5);
}

POINT HexViewHost::NumberCell(std::uint32_t offset) const {
    const HexViewInstance& m = inst();
    const std::uint32_t column = m.dataColumn + (offset % m.bytesPerRow) * m.cellWidth;
    const int row = static_cast<int>(offset / m.bytesPerRow) - static_cast<int>(m.topRow);
    return {HexViewColumnX(m, column) + m.charWidth / 2, row * m.lineHeight + m.lineHeight / 2};
}

POINT HexViewHost::CharCell(std::uint32_t offset) const {
    const HexViewInstance& m = inst();
    const std::uint32_t column = m.charColumn + offset % m.bytesPerRow;
    const int row = static_cast<int>(offset / m.bytesPerRow) - static_cast<int>(m.topRow);
    return {HexViewColumnX(m, column) + m.charWidth / 4, row * m.lineHeight + m.lineHeight / 2};
}

void HexViewHost::Press(POINT p, WPARAM keys) {
    SendMessageA(control_, WM_LBUTTONDOWN, keys | MK_LBUTTON, MAKELPARAM(p.x, p.y));
}

void HexViewHost::MoveTo(POINT p, WPARAM keys) {
    SendMessageA(control_, WM_MOUSEMOVE, keys, MAKELPARAM(p.x, p.y));
}

void HexViewHost::Release(POINT p, WPARAM keys) {
    SendMessageA(control_, WM_LBUTTONUP, keys, MAKELPARAM(p.x, p.y));
}

void HexViewHost::Click(POINT p, WPARAM keys) {
    Press(p, keys);
    Release(p, keys);
    Pump(5);
}

void HexViewHost::Pump(DWORD milliseconds) { PumpMessages(milliseconds); }

std::vector<unsigned char> CountingBytes(std::size_t n, unsigned char first) {
    std::vector<unsigned char> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(first + i);
    return bytes;
}

POINT CaretPosition() {
    POINT p{};
    GetCaretPos(&p);
    return p;
}

BoxAnswerer::BoxAnswerer(const char* caption, int button) : caption_(caption) {
    thread_ = std::thread([this, button] {
        while (!stop_) {
            MessageBoxSeen box = WaitForMessageBox(GetCurrentProcessId(), caption_.c_str(), 50);
            if (box.box == nullptr) continue;
            {
                std::lock_guard<std::mutex> lock(gBoxMutex);
                texts_.push_back(box.text);
            }
            PressButton(box.box, button);
            while (IsWindow(box.box) && !stop_) Sleep(5);
        }
    });
}

BoxAnswerer::~BoxAnswerer() {
    stop_ = true;
    thread_.join();
}

std::vector<std::string> BoxAnswerer::Texts() {
    std::lock_guard<std::mutex> lock(gBoxMutex);
    return texts_;
}

}  // namespace testing_support
