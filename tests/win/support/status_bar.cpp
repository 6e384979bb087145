#include "tests/win/support/status_bar.h"

#include <commctrl.h>

namespace testing_support {

namespace {

constexpr SIZE_T kRoom = 1024;

// Sends message to the bar with a buffer in the bar's process; the buffer's bytes afterwards.
std::vector<char> Ask(HWND statusBar, UINT message, WPARAM wParam) {
    std::vector<char> answer(kRoom, 0);
    DWORD processId = 0;
    GetWindowThreadProcessId(statusBar, &processId);
    if (processId == GetCurrentProcessId()) {
        SendMessageA(statusBar, message, wParam, reinterpret_cast<LPARAM>(answer.data()));
        return answer;
    }
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) return answer;
    void* remote = VirtualAllocEx(process, nullptr, kRoom, MEM_COMMIT, PAGE_READWRITE);
    if (remote != nullptr) {
        WriteProcessMemory(process, remote, answer.data(), kRoom, nullptr);
        SendMessageA(statusBar, message, wParam, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote, answer.data(), kRoom, nullptr);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return answer;
}

}  // namespace

std::string StatusPartText(HWND statusBar, int part) {
    std::vector<char> text = Ask(statusBar, SB_GETTEXTA, static_cast<WPARAM>(part));
    text.back() = '\0';
    return text.data();
}

std::vector<int> StatusPartEdges(HWND statusBar) {
    const int count = static_cast<int>(SendMessageA(statusBar, SB_GETPARTS, 0, 0));
    std::vector<char> bytes = Ask(statusBar, SB_GETPARTS, static_cast<WPARAM>(count));
    const int* edges = reinterpret_cast<const int*>(bytes.data());
    return std::vector<int>(edges, edges + count);
}

}  // namespace testing_support
