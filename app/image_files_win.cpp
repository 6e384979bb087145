#include "app/image_files_win.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/address_rules.h"
#include "app/programmer_window_win.h"
#include "app/settings.h"
#include "platform/text.h"
#include "platform/win32_handles.h"
#include "resources/resource.h"
#include "win32ui/window_helpers_win.h"

namespace {

template <typename... Args>
void LogFormat(HWND dialog, const char* format, Args... args) {
    char line[kPathSize + 64];
    std::snprintf(line, sizeof line, format, args...);
    LogToPane(dialog, line);
}

// Writes all of data to a new file at path, replacing what was there only once every byte is
// on disk. Returns 0, or the step that failed: 1 creating, 2 writing.
int WriteWholeFile(const char* path, const unsigned char* data, DWORD size) {
    char folder[kPathSize];
    CopyText(folder, sizeof folder, path);
    char* slash = std::strrchr(folder, '\\');
    if (slash != nullptr) {
        slash[1] = '\0';
    } else {
        std::strcpy(folder, ".");
    }
    char temporary[MAX_PATH];
    if (GetTempFileNameA(folder, "Vor", 0, temporary) == 0) return 1;

    bool written = false;
    {
        UniqueFile file(CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            DeleteFileA(temporary);
            return 1;
        }
        DWORD count = 0;
        written = WriteFile(file.get(), data, size, &count, nullptr) && count == size &&
                  FlushFileBuffers(file.get());
    }
    if (!written) {
        DeleteFileA(temporary);
        return 2;
    }
    if (!MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        DeleteFileA(temporary);
        return 1;
    }
    return 0;
}

}  // namespace

void LoadFileToBuffer(HWND dialog, unsigned char* image, std::int32_t chipSize) {
    if (!RunFileDialog(dialog, 0, gSettings.loadFilePath, nullptr, "Select File...", 0)) return;

    UniqueFile file(CreateFileA(gSettings.loadFilePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LogToPane(dialog, "ERROR: File could not be opened. Load Failed");
        return;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > chipSize) {
        LogToPane(dialog, "ERROR: File larger than selected chip. Load Failed.");
        return;
    }
    DWORD count = static_cast<DWORD>(size.QuadPart);

    // Read first, so a failed read leaves the buffer as it was.
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[count + 1]);
    DWORD read = 0;
    if (bytes == nullptr || !ReadFile(file.get(), bytes.get(), count, &read, nullptr) ||
        read != count) {
        LogToPane(dialog, "ERROR: File could not be read. Load Failed.");
        return;
    }
    std::memset(image, 0, static_cast<std::size_t>(chipSize));
    std::memcpy(image, bytes.get(), count);

    LogFormat(dialog, "File Loaded: %s", gSettings.loadFilePath);
    LogFormat(dialog, "File Size in bytes (Integer/Hex): %i/0x%X", static_cast<int>(count),
              static_cast<unsigned>(count));
    SetBoxAddress(dialog, IDC_BUFFER_START, 0);
    SetBoxAddress(dialog, IDC_BUFFER_END, static_cast<std::int32_t>(count) - 1);
}

void SaveBufferToFile(HWND dialog, const unsigned char* image) {
    if (!RunFileDialog(dialog, 1, gSettings.saveFilePath, nullptr, "Select File...", 0)) return;

    gSettings.bufferStart = ReadBoxAddress(dialog, IDC_BUFFER_START);
    gSettings.bufferEnd = ReadBoxAddress(dialog, IDC_BUFFER_END);
    RangeMessages refused = ValidateSaveRange(gSettings);
    if (!refused.empty()) {
        for (const char* line : refused) LogToPane(dialog, line);
        return;
    }

    std::int32_t length = RangeLength(gSettings.bufferStart, gSettings.bufferEnd);
    switch (WriteWholeFile(gSettings.saveFilePath, image + gSettings.bufferStart,
                           static_cast<DWORD>(length))) {
        case 0: LogFormat(dialog, "Bytes Written to file: %i", static_cast<int>(length)); break;
        case 1: LogToPane(dialog, "ERROR: File could not be created"); break;
        default: LogToPane(dialog, "ERROR: File could not be written to."); break;
    }
}
