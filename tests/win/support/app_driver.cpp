#include "tests/win/support/app_driver.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/win32_handles.h"

namespace testing_support {

std::string WinePath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

TempDir::TempDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%svorland-test-%lu-%u\\", base, GetCurrentProcessId(),
                      ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            return;
        }
    }
}

namespace {
void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = dir + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full + "\\");
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}
}  // namespace

TempDir::~TempDir() { RemoveTree(path_); }

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

std::string ReadFileText(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes.empty()) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    CloseHandle(file);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Process::~Process() {
    if (handle_ != nullptr) {
        if (running()) TerminateProcess(handle_, 1);
        CloseHandle(handle_);
    }
}

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Process old(std::move(*this));
        handle_ = std::exchange(other.handle_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

Process Process::Start(const std::string& commandLine, const std::string& workingDir,
                       const StdHandles* handles) {
    Process process;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (handles != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = handles->input;
        startup.hStdOutput = handles->output;
        startup.hStdError = handles->error;
    }
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, handles != nullptr, 0, nullptr,
                       workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        process.handle_ = info.hProcess;
        process.id_ = info.dwProcessId;
    }
    return process;
}

bool Process::running() const {
    return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

bool Process::Wait(DWORD milliseconds, DWORD* exitCode) {
    if (handle_ == nullptr) return false;
    if (WaitForSingleObject(handle_, milliseconds) != WAIT_OBJECT_0) return false;
    if (exitCode != nullptr) GetExitCodeProcess(handle_, exitCode);
    return true;
}

std::string Quote(const std::string& text) {
    std::string quoted(1, '"');  // appended piece by piece: GCC 12 misreads "x" + s + "x"
    quoted += text;
    quoted += '"';
    return quoted;
}

ConsoleRun RunConsole(const TempDir& dir, const std::string& commandLine,
                      const std::string& inputPath) {
    ConsoleRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const std::string outPath = dir.File("stdout.txt");
    const std::string errPath = dir.File("stderr.txt");
    UniqueFile nul(CreateFileA(inputPath.empty() ? "NUL" : inputPath.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                               nullptr));
    UniqueFile out(CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, 0, nullptr));
    UniqueFile err(CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, 0, nullptr));
    const Process::StdHandles handles{nul.get(), out.get(), err.get()};
    Process program = Process::Start(commandLine, "", &handles);
    if (program.id() == 0) {
        run.err = "cannot start " + commandLine + " (error " + std::to_string(GetLastError()) + ")";
        return run;
    }
    program.Wait(60000, &run.status);  // a program still running is ended with the object
    out.reset();
    err.reset();
    run.out = ReadFileText(outPath);
    run.err = ReadFileText(errPath);
    return run;
}

std::string StageVorland(const TempDir& dir) {
    std::string target = dir.File("Vorland.exe");
    CopyFileA(WinePath(VORLAND_EXE_PATH).c_str(), target.c_str(), FALSE);
    return target;
}

namespace {
struct WindowSearch {
    DWORD processId;
    const char* caption;
    const char* className;
    int itemId;  // when not 0, a child with this id tells the window from others of its caption
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    if (search->className != nullptr) {
        char cls[64] = {};
        GetClassNameA(window, cls, sizeof cls);
        if (lstrcmpA(cls, search->className) != 0) return TRUE;
    }
    // The caption as stored, without a message: a window of a busy thread would hold us up.
    wchar_t wide[512] = {};
    InternalGetWindowText(window, wide, 512);
    char caption[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, caption, sizeof caption, nullptr, nullptr);
    if (lstrcmpA(caption, search->caption) != 0) return TRUE;
    if (search->itemId != 0 && GetDlgItem(window, search->itemId) == nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

HWND WaitForTopLevel(DWORD processId, const char* caption, const char* className, int itemId,
                     DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        WindowSearch search{processId, caption, className, itemId, nullptr};
        EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        if (GetTickCount() - start > milliseconds) return nullptr;
        PumpMessages(20);
    }
}
}  // namespace

HWND WaitForWindow(DWORD processId, const char* caption, DWORD milliseconds) {
    return WaitForTopLevel(processId, caption, nullptr, 0, milliseconds);
}

HWND WaitForDialog(DWORD processId, const char* caption, int itemId, DWORD milliseconds) {
    return WaitForTopLevel(processId, caption, "#32770", itemId, milliseconds);
}

std::string WindowText(HWND window) {
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::string text(length + 1, '\0');
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
}

bool LastLineInView(HWND edit) {
    auto lines = static_cast<int>(SendMessageA(edit, EM_GETLINECOUNT, 0, 0));
    if (lines < 2) return true;
    auto top = [edit](int line) {
        LRESULT index = SendMessageA(edit, EM_LINEINDEX, line, 0);
        return static_cast<short>(HIWORD(SendMessageA(edit, EM_POSFROMCHAR, index, 0)));
    };
    int y = top(lines - 1);
    int height = y - top(lines - 2);
    RECT client;
    GetClientRect(edit, &client);
    return y >= 0 && y + height <= client.bottom;
}

std::string DialogItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

MessageBoxSeen WaitForMessageBox(DWORD processId, const char* caption, DWORD milliseconds) {
    MessageBoxSeen seen;
    seen.box = WaitForTopLevel(processId, caption, "#32770", 0xFFFF, milliseconds);
    if (seen.box != nullptr) seen.text = DialogItemText(seen.box, 0xFFFF);
    return seen;
}

void PressButton(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PumpMessages(DWORD milliseconds) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

}  // namespace testing_support

namespace testing_support {

void SaveScreenshot(const char* name, HWND window) {
    char folder[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VORLAND_SCREENSHOT_DIR", folder, sizeof folder) == 0) return;
    PumpMessages(200);  // let pending paints land
    std::string crop;
    if (window != nullptr) {
        RECT r;
        GetWindowRect(window, &r);
        char geometry[64];
        std::snprintf(geometry, sizeof geometry, " -crop %ldx%ld+%ld+%ld +repage",
                      r.right - r.left, r.bottom - r.top, r.left, r.top);
        crop = geometry;
    }
    // ImageMagick's import reads the X display that Wine draws on.
    RunUnixShell("import -window root" + crop + " '" + std::string(folder) + "/" + name + ".png'");
}

bool RunUnixShell(const std::string& command) {
    // Wine starts Unix programs given by a Z: path, but cannot wait for them: the shell leaves
    // a mark when it is done.
    static unsigned counter = 0;
    const std::string mark = "/tmp/vorland-shell-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(counter++);
    DeleteFileA(WinePath(mark).c_str());
    Process::Start("Z:\\bin\\sh -c \"" + command + "; touch '" + mark + "'\"");
    const DWORD start = GetTickCount();
    while (!FileExists(WinePath(mark)) && GetTickCount() - start < 20000) Sleep(50);
    return DeleteFileA(WinePath(mark).c_str()) != 0;
}

std::string UnixPath(const std::string& path) {
    using ToUnix = char*(CDECL*)(const WCHAR*);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH];
    if (toUnix == nullptr ||
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0) {
        return "";
    }
    char* unix = toUnix(wide);
    if (unix == nullptr) return "";
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

}  // namespace testing_support
