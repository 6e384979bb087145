#include "app/image_files_win.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "app/address_rules.h"
#include "app/image_load.h"
#include "app/programmer_window_win.h"
#include "app/settings.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/win32_handles.h"
#include "resources/resource.h"
#include "win32ui/window_helpers_win.h"

namespace {

// Binary, Intel HEX, S-record, all files: the order of FilterIndexOf.
constexpr char kImageFileFilter[] =
    "Binary (*.bin;*.rom;*.raw)\0*.bin;*.rom;*.raw\0"
    "Intel HEX (*.hex;*.ihx;*.ihex)\0*.hex;*.ihx;*.ihex\0"
    "S-record (*.s19;*.s28;*.s37;*.srec;*.mot)\0*.s19;*.s28;*.s37;*.srec;*.mot\0"
    "All Files (*.*)\0*.*\0";

// The filter that shows the last file again: its format's, or all files.
DWORD FilterIndexOf(const char* path) {
    const std::optional<ImageFormat> format = ImageFormatFromPath(path);
    if (!format) return 4;
    switch (*format) {
        case ImageFormat::kBinary: return 1;
        case ImageFormat::kIntelHex: return 2;
        case ImageFormat::kSRecord: return 3;
    }
    return 4;
}

// The format of a file: its extension's, or else the chosen filter's (all files: raw binary).
ImageFormat FormatOf(const char* path, DWORD filterIndex) {
    if (const std::optional<ImageFormat> format = ImageFormatFromPath(path)) return *format;
    switch (filterIndex) {
        case 2: return ImageFormat::kIntelHex;
        case 3: return ImageFormat::kSRecord;
        default: return ImageFormat::kBinary;
    }
}

enum class FileRead { kDone, kCannotOpen, kTooLarge, kCannotRead };

// Reads the whole file at path into bytes, when it holds at most limit bytes.
FileRead ReadWholeFile(const char* path, std::int64_t limit, std::string& bytes) {
    UniqueFile file(
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return FileRead::kCannotOpen;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > limit) return FileRead::kTooLarge;
    const auto count = static_cast<DWORD>(size.QuadPart);
    DWORD read = 0;
    try {
        bytes.resize(count);
    } catch (const std::bad_alloc&) {
        return FileRead::kCannotRead;
    }
    if (!ReadFile(file.get(), bytes.data(), count, &read, nullptr) || read != count) {
        return FileRead::kCannotRead;
    }
    return FileRead::kDone;
}

template <typename... Args>
void LogFormat(HWND dialog, const char* format, Args... args) {
    char line[kPathSize + 64];
    std::snprintf(line, sizeof line, format, args...);
    LogToPane(dialog, line);
}

}  // namespace

LoadedRange LoadFileToBuffer(HWND dialog, unsigned char* image, std::int32_t chipSize) {
    const char* path = gSettings.loadFilePath;
    DWORD filter = 0;
    if (!RunFileDialog(dialog, 0, gSettings.loadFilePath, nullptr, "Select File...",
                       FilterIndexOf(path), kImageFileFilter, &filter)) {
        return {};
    }
    const ImageFormat format = FormatOf(path, filter);
    const bool addressed = FormatHasAddresses(format);

    // Read first, so a failed read leaves the buffer as it was.
    std::string bytes;
    const std::int64_t limit = addressed ? static_cast<std::int64_t>(kMaxImageTextSize) : chipSize;
    switch (ReadWholeFile(path, limit, bytes)) {
        case FileRead::kDone: break;
        case FileRead::kCannotOpen:
            LogToPane(dialog, "ERROR: File could not be opened. Load Failed");
            return {};
        case FileRead::kTooLarge:
            LogToPane(dialog, addressed ? "ERROR: File larger than 64 MiB. Load Failed."
                                        : "ERROR: File larger than selected chip. Load Failed.");
            return {};
        case FileRead::kCannotRead:
            LogToPane(dialog, "ERROR: File could not be read. Load Failed.");
            return {};
    }

    if (addressed) {
        AddressedLoad load = LoadAddressedImage(format, bytes, path, chipSize, image);
        for (const std::string& line : load.lines) LogToPane(dialog, line.c_str());
        return {load.placed, true, load.start, load.end};
    }

    const auto count = static_cast<std::int32_t>(bytes.size());
    std::memset(image, 0, static_cast<std::size_t>(chipSize));
    std::memcpy(image, bytes.data(), bytes.size());
    LogFormat(dialog, "File Loaded: %s", path);
    LogFormat(dialog, "File Size in bytes (Integer/Hex): %i/0x%X", static_cast<int>(count),
              static_cast<unsigned>(count));
    if (count > 0) {
        LogToPane(dialog,
                  FormatChecksumLine(0, static_cast<std::uint32_t>(count) - 1, image).c_str());
    }
    return {true, false, 0, count - 1};
}

void SaveBufferToFile(HWND dialog, const unsigned char* image) {
    DWORD filter = 0;
    if (!RunFileDialog(dialog, 1, gSettings.saveFilePath, nullptr, "Select File...",
                       FilterIndexOf(gSettings.saveFilePath), kImageFileFilter, &filter)) {
        return;
    }

    gSettings.bufferStart = ReadBoxAddress(dialog, IDC_BUFFER_START);
    gSettings.bufferEnd = ReadBoxAddress(dialog, IDC_BUFFER_END);
    RangeMessages refused = ValidateSaveRange(gSettings);
    if (!refused.empty()) {
        for (const char* line : refused) LogToPane(dialog, line);
        return;
    }

    const std::int32_t start = gSettings.bufferStart;
    const std::int32_t length = RangeLength(start, gSettings.bufferEnd);
    const ImageFormat format = FormatOf(gSettings.saveFilePath, filter);
    const std::string content =
        WriteImage(format, image + start, static_cast<std::uint32_t>(length),
                   static_cast<std::uint32_t>(start), FileNameOf(gSettings.saveFilePath));
    // Never over a read-only file (it was made so to keep it), never a part-written one.
    FileOp failed = FileOp::kOpen;
    if (!WriteFileReplacing(gSettings.saveFilePath, content.data(),
                            static_cast<std::uint32_t>(content.size()), &failed)) {
        LogToPane(dialog, failed == FileOp::kWrite ? "ERROR: File could not be written to."
                                                   : "ERROR: File could not be created");
    } else if (format == ImageFormat::kBinary) {
        LogFormat(dialog, "Bytes Written to file: %i", static_cast<int>(length));
    } else {
        LogFormat(dialog, "Bytes Written to file: %i (%s, records at %.6X-%.6X)",
                  static_cast<int>(length), ImageFormatName(format), static_cast<unsigned>(start),
                  static_cast<unsigned>(gSettings.bufferEnd));
    }
}
