#include <cstdio>
#include <cstring>

#include "app/programmer_window_win.h"
#include "app/startup_win.h"
#include "platform/win32_handles.h"

HINSTANCE gInstance = nullptr;
namespace {

bool ReadExactly(HANDLE file, void* buffer, DWORD size) {
    DWORD read = 0;
    return ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

int LoadSettings(HANDLE file, bool existed) {
    DWORD size = GetFileSize(file, nullptr);
    std::int32_t version = 0;
    bool versionRead = ReadExactly(file, &version, sizeof version);
    SettingsRecord loaded;
    bool valid = existed && versionRead && IsValidSettingsImage(size, version) &&
                 SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
                 ReadExactly(file, &loaded, sizeof loaded);
    if (valid) {
        gSettings = loaded;
        SanitizeSettings(gSettings);
        return 0;
    }
    ApplyDefaultSettings(gSettings);
    return static_cast<int>(kErrorFileCorrupt);
}

}  // namespace

int AccessSettingsFile(int mode) {
    char name[kPathSize * 2];
    std::snprintf(name, sizeof name, "%s%s", gModuleDirectory, kSettingsFileName);

    UniqueFile file(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!file) {
        MessageBoxA(gProgrammerWindow, "Could not open Settings File", "Error",
                    MB_ICONWARNING | MB_OK);
        // A file we could not open is never deleted: it may hold good settings that another
        // program merely holds open.
        if (mode == 0) {
            ApplyDefaultSettings(gSettings);
            return static_cast<int>(kErrorFileCorrupt);
        }
        return 0;
    }

    if (mode == 0) {
        int result = LoadSettings(file.get(), existed);
        if (result != 0) {
            // Absent, wrong size or wrong version: delete it so the next store writes afresh.
            file.reset();
            DeleteFileA(name);
        }
        return result;
    }

    DWORD written = 0;
    SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    WriteFile(file.get(), &gSettings, sizeof gSettings, &written, nullptr);
    SetEndOfFile(file.get());
    return 0;
}
