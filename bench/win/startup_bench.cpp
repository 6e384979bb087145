// Times Vorland.exe from process start to a usable programmer window, and from the close
// command to the end of the process, under Wine. Prints the median of several runs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kCaption[] = "Tessmark Vorland Interface Software v1.04";

std::string WinePath(const char* unixPath) {
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

HWND FindProgrammer(DWORD processId) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, nullptr, kCaption)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        // Usable: visible and answering messages.
        if (owner == processId && IsWindowVisible(window) &&
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr)) {
            return window;
        }
    }
    return nullptr;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    std::string exe = WinePath(VORLAND_EXE_PATH);
    std::vector<double> open, close;
    for (int i = 0; i < runs; ++i) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::string line = "\"" + exe + "\"";
        double start = Now();
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
            std::printf("cannot start %s\n", exe.c_str());
            return 1;
        }
        HWND window = nullptr;
        while ((window = FindProgrammer(info.dwProcessId)) == nullptr) Sleep(2);
        double shown = Now();
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        WaitForSingleObject(info.hProcess, INFINITE);
        double ended = Now();
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        open.push_back(shown - start);
        close.push_back(ended - shown);
    }
    std::printf("start to usable window: median %.0f ms over %d runs\n", Median(open), runs);
    std::printf("close command to process end: median %.0f ms\n", Median(close));
    return 0;
}
