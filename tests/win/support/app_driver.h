// Driving real programs and windows from a Win32 test: temporary folders, starting a copy of
// Vorland.exe, finding its windows, answering message boxes, reading controls.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// A Unix path as Wine sees it (Z: is the root folder).
std::string WinePath(const std::string& unixPath);

// A fresh folder under the temporary folder, removed with everything in it when it goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }  // with a trailing backslash
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

std::vector<unsigned char> ReadFileBytes(const std::string& path);  // empty when absent
std::string ReadFileText(const std::string& path);                  // empty when absent
void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
bool FileExists(const std::string& path);

// text in double quotes, as one argument of a command line
std::string Quote(const std::string& text);

// A running program; terminated if still alive when it goes.
class Process {
public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Standard handles a started program inherits instead of the test's own.
    struct StdHandles {
        HANDLE input, output, error;  // inheritable
    };

    // Starts commandLine with workingDir as its current folder (empty: the test's own). The
    // result's id() is 0 when it could not start (GetLastError() says why).
    static Process Start(const std::string& commandLine, const std::string& workingDir = "",
                         const StdHandles* handles = nullptr);

    bool running() const;
    DWORD id() const { return id_; }
    // Waits for the end; returns false on timeout. exitCode receives the process's code.
    bool Wait(DWORD milliseconds, DWORD* exitCode = nullptr);

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// A console program that has ended: its exit code and what it wrote.
struct ConsoleRun {
    DWORD status = 0xFFFFFFFF;  // 0xFFFFFFFF when it did not end within a minute
    std::string out;
    std::string err;
};
// Runs commandLine with its output in files of dir, and the file inputPath (none: no input) as
// its input; ends it after a minute.
ConsoleRun RunConsole(const TempDir& dir, const std::string& commandLine,
                      const std::string& inputPath = "");

// Copies the built Vorland.exe into dir and returns the copy's path.
std::string StageVorland(const TempDir& dir);

// A top-level window of the process whose caption is exactly caption; null after the timeout.
HWND WaitForWindow(DWORD processId, const char* caption, DWORD milliseconds = 10000);
// A dialog of the process with that caption and a control with that id (a message box of the
// same caption has none); null after the timeout.
HWND WaitForDialog(DWORD processId, const char* caption, int itemId, DWORD milliseconds = 10000);

// The text of a window (marshalled WM_GETTEXT, so it works across processes).
std::string WindowText(HWND window);
std::string DialogItemText(HWND dialog, int id);

// Whether the last line of a multi-line edit control shows whole in its client area (asked
// with messages that carry no pointers, so the edit may belong to another process).
bool LastLineInView(HWND edit);

// A message box of the process with that caption (a dialog with a text item 0xFFFF): its text,
// and a press of button id.
struct MessageBoxSeen {
    HWND box = nullptr;
    std::string text;
};
MessageBoxSeen WaitForMessageBox(DWORD processId, const char* caption, DWORD milliseconds = 10000);
void PressButton(HWND dialog, int id);

// Processes messages of this thread for a while (windows of the test itself keep working).
void PumpMessages(DWORD milliseconds);

}  // namespace testing_support

namespace testing_support {

// When VORLAND_SCREENSHOT_DIR names a folder (a Unix path), saves the whole virtual screen there
// as name.png, cropped to window when one is given; otherwise does nothing. Used to refresh
// the screenshots in docs/ from the tests that bring the windows into those states.
void SaveScreenshot(const char* name, HWND window = nullptr);

// Runs a shell command line as another program of the machine would (a build that rewrites a
// file, say: Wine's sharing rules do not hold for it) and waits until it is done; false when it
// did not end within 20 seconds.
bool RunUnixShell(const std::string& command);
// The Unix path of a file of the test, for such a command.
std::string UnixPath(const std::string& path);

}  // namespace testing_support
