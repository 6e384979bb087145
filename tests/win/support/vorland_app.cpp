#include "tests/win/support/vorland_app.h"

#include <cstring>
#include <utility>

#include "app/unit_lines.h"
#include "resources/resource.h"

namespace testing_support {

namespace {

constexpr int kFileNameBox = 1148;  // the common dialogs' file name combo box
constexpr int kFileTypeBox = 1136;  // and their list of filters

struct PromptSearch {
    DWORD processId;
    HWND dialog;
    HWND found;
};

BOOL CALLBACK MatchPrompt(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<PromptSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (owner == search->processId && window != search->dialog && IsWindowVisible(window) &&
        lstrcmpA(cls, "#32770") == 0 && GetWindow(window, GW_OWNER) == search->dialog) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A message box that the file dialog put up over itself.
HWND FindPrompt(DWORD processId, HWND dialog) {
    PromptSearch search{processId, dialog, nullptr};
    EnumWindows(&MatchPrompt, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

VorlandApp::VorlandApp() : exe_(StageVorland(dir_)) {}

VorlandApp::VorlandApp(std::string exe) : exe_(std::move(exe)) {}

VorlandApp::~VorlandApp() {
    if (process_.running() && window_ != nullptr) Close();
}

std::string VorlandApp::SettingsPath() const {
    return exe_.substr(0, exe_.rfind('\\') + 1) + kSettingsFileName;
}

void VorlandApp::WriteSettings(const SettingsRecord& record) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    WriteFileBytes(SettingsPath(), {bytes, bytes + sizeof record});
}

SettingsRecord VorlandApp::ReadSettings() const {
    SettingsRecord record{};
    std::vector<unsigned char> bytes = ReadFileBytes(SettingsPath());
    if (bytes.size() == sizeof record) std::memcpy(&record, bytes.data(), sizeof record);
    return record;
}

bool VorlandApp::Start(bool awaitUnitSearch) {
    process_ = Process::Start("\"" + exe_ + "\"", dir_.path());
    window_ = WaitForWindow(process_.id(), kProgrammerCaption, 20000);
    if (window_ == nullptr || !awaitUnitSearch) return window_ != nullptr;
    const DWORD start = GetTickCount();
    for (;;) {
        const std::vector<std::string> lines = Log();
        if (!lines.empty() && lines.front() != kLookingLine) return true;
        if (GetTickCount() - start > 30000) return false;
        PumpMessages(10);
    }
}

bool VorlandApp::Close() {
    Press(IDCANCEL);
    bool ended = process_.Wait(20000);
    window_ = nullptr;
    return ended;
}

std::vector<std::string> VorlandApp::Log() const {
    std::string text = Text(IDC_LOG);
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

bool VorlandApp::WaitForLogLines(std::size_t count, DWORD milliseconds) const {
    DWORD start = GetTickCount();
    while (Log().size() < count) {
        if (GetTickCount() - start > milliseconds) return false;
        PumpMessages(10);
    }
    return true;
}

bool VorlandApp::WaitForLogLine(const std::string& text, DWORD milliseconds) const {
    DWORD start = GetTickCount();
    for (;;) {
        for (const std::string& line : Log()) {
            if (line == text) return true;
        }
        if (GetTickCount() - start > milliseconds) return false;
        PumpMessages(10);
    }
}

std::vector<std::string> VorlandApp::LogSince(std::size_t from) const {
    std::vector<std::string> lines = Log();
    if (from >= lines.size()) return {};
    return {lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end()};
}

void VorlandApp::Press(int id) const { PostMessageA(Item(id), BM_CLICK, 0, 0); }

void VorlandApp::SendCommand(int id) const {
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(id)));
}

void VorlandApp::SetBox(int id, const std::string& text) const {
    SendMessageA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void VorlandApp::SelectChip(int type) const {
    SendMessageA(Item(IDC_CHIP_LIST), LB_SETCURSEL, type, 0);
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDC_CHIP_LIST, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Item(IDC_CHIP_LIST)));
}

bool AnswerFileDialog(DWORD processId, const char* caption, const std::string& path, int filter,
                      std::vector<std::string>* prompts) {
    MessageBoxSeen dialog{WaitForDialog(processId, caption, kFileNameBox), ""};
    if (dialog.box == nullptr) return false;
    if (path.empty()) {
        PressButton(dialog.box, IDCANCEL);
    } else {
        if (filter > 0) {
            // As a user's choice: the list's selection, then the notices of a closing list.
            HWND types = GetDlgItem(dialog.box, kFileTypeBox);
            SendMessageA(types, CB_SETCURSEL, filter - 1, 0);
            for (WORD notice : {CBN_SELCHANGE, CBN_SELENDOK}) {
                SendMessageA(dialog.box, WM_COMMAND, MAKEWPARAM(kFileTypeBox, notice),
                             reinterpret_cast<LPARAM>(types));
            }
        }
        SendMessageA(GetDlgItem(dialog.box, kFileNameBox), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(path.c_str()));
        PressButton(dialog.box, IDOK);
    }
    // The dialog takes a moment to go. Meanwhile it may ask whether to create a missing file
    // or to replace an existing one: the answer is yes. A box that only tells (OK) leaves the
    // dialog open; it is then cancelled.
    DWORD start = GetTickCount();
    bool cancel = false;
    while (IsWindow(dialog.box) && GetTickCount() - start < 10000) {
        HWND prompt = FindPrompt(processId, dialog.box);
        if (prompt != nullptr) {
            if (prompts != nullptr) prompts->push_back(DialogItemText(prompt, 0xFFFF));
            const bool question = GetDlgItem(prompt, IDYES) != nullptr;
            PressButton(prompt, question ? IDYES : IDOK);
            cancel = cancel || !question;
            while (IsWindow(prompt) && GetTickCount() - start < 10000) PumpMessages(20);
        } else if (cancel) {
            PressButton(dialog.box, IDCANCEL);
        }
        PumpMessages(20);
    }
    return !IsWindow(dialog.box);
}

bool VorlandApp::AnswerFileDialog(const std::string& path, const char* caption, int filter,
                                  std::vector<std::string>* prompts) const {
    return testing_support::AnswerFileDialog(process_.id(), caption, path, filter, prompts);
}

std::vector<std::string> VorlandApp::Run(int id, const std::string& lastLine,
                                         DWORD milliseconds) const {
    std::size_t before = Log().size();
    Press(id);
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<std::string> added = LogSince(before);
        if (!added.empty() && added.back().rfind(lastLine, 0) == 0) {
            // The last line can come a moment before the window has its controls back (a
            // worker's line is sent, its completion posted after it): wait for "Close".
            while (!Enabled(IDCANCEL) && GetTickCount() - start <= milliseconds) PumpMessages(10);
            return added;
        }
        if (GetTickCount() - start > milliseconds) return added;
        PumpMessages(10);
    }
}

}  // namespace testing_support
