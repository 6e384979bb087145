// A staged copy of Vorland.exe, driven from a test as a user would: its programmer window found
// by caption, buttons pressed by control id, boxes typed into, the log pane read back, the file
// dialogs answered.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "tests/win/support/app_driver.h"

namespace testing_support {

constexpr char kProgrammerCaption[] = "Tessmark Vorland Interface Software v1.04";

// Answers a file dialog of the process with that caption: chooses filter (from 1; 0 keeps the
// one shown), types path and presses OK (or Cancel when path is empty), and yes to its questions
// (create? replace?). A box that only tells something is acknowledged and the dialog cancelled.
// The texts of the boxes go to prompts when given. False when no dialog came, or it stayed.
bool AnswerFileDialog(DWORD processId, const char* caption, const std::string& path, int filter = 0,
                      std::vector<std::string>* prompts = nullptr);

class VorlandApp {
public:
    VorlandApp();  // copies Vorland.exe into a fresh folder of its own
    // Runs the executable where it lies; the fresh folder is only its working folder.
    explicit VorlandApp(std::string exe);
    ~VorlandApp();

    const TempDir& dir() const { return dir_; }
    // The settings file beside the executable.
    std::string SettingsPath() const;
    void WriteSettings(const SettingsRecord& record);
    // The stored settings; a zeroed record when the file is missing or of another size.
    SettingsRecord ReadSettings() const;

    // Starts the program and waits for its window and, unless told not to, for the result of
    // its search for the programmer; false when either did not come.
    bool Start(bool awaitUnitSearch = true);
    // Closes the window (the Close button) and waits for the process to end.
    bool Close();
    HWND window() const { return window_; }
    DWORD processId() const { return process_.id(); }

    HWND Item(int id) const { return GetDlgItem(window_, id); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    std::string Text(int id) const { return DialogItemText(window_, id); }

    // The log pane, one entry a line.
    std::vector<std::string> Log() const;
    // Waits until the log holds at least count lines; false on timeout.
    bool WaitForLogLines(std::size_t count, DWORD milliseconds = 30000) const;
    // Waits until some line equals text; false on timeout.
    bool WaitForLogLine(const std::string& text, DWORD milliseconds = 30000) const;
    // The lines added after the first `from` lines.
    std::vector<std::string> LogSince(std::size_t from) const;

    // A click on a button (posted, like a real click).
    void Press(int id) const;
    // Sends the command of a button straight to the window, greyed or not.
    void SendCommand(int id) const;
    // Replaces the text of a box; the window hears the change as the user's typing.
    void SetBox(int id, const std::string& text) const;
    void SelectChip(int type) const;

    // Answers the open or save dialog that the last press brings up, as the function above.
    bool AnswerFileDialog(const std::string& path, const char* caption = "Select File...",
                          int filter = 0, std::vector<std::string>* prompts = nullptr) const;

    // Presses an operation button and waits until the log's last line starts with lastLine (the
    // whole line, or the start of one whose end is not known, "Checksum ") and the window has its controls back; returns the lines it added.
    std::vector<std::string> Run(int id, const std::string& lastLine,
                                 DWORD milliseconds = 60000) const;

private:
    TempDir dir_;
    std::string exe_;
    Process process_;
    HWND window_ = nullptr;
};

}  // namespace testing_support
