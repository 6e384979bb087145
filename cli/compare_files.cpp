#include "cli/compare_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "cli/exit_codes.h"
#include "cli/json_records.h"
#include "cli/progress_line.h"
#include "document/hex_compare_text.h"
#include "document/hex_document_file.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"

namespace {

// A HEX or S-record file bigger than this is not read: the largest image is 16 MiB of data, and
// HEX text takes less than three characters per byte.
constexpr std::uint32_t kMaxImageText = 64u << 20;
constexpr std::uint32_t kSlice = 64u << 20;  // compared between looks at the interrupt flag
constexpr std::size_t kRangesShown = 10;

// One file of the two, opened as a document (binary files are compared through it in place;
// image text is read out of it) and, for HEX and S-record, parsed.
struct CompareFile {
    std::string path;
    HexDocument doc;
    SparseImage image;
    std::optional<HexCompareSide> side;
};

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Why a document could not be opened over path, in words.
std::string OpenError(const std::string& path, std::uint32_t error) {
    if (error == kHexFileTooLarge) return path + ": the file is 4 GiB or larger";
    if (error == kHexSharingViolation) return path + ": the file is in use by another program";
    if (IsSpecialFile(path.c_str())) return path + ": not a plain file";
    // The system's own reason where it gives one (no such file, no permission).
    if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        return path + ": " + std::strerror(errno);
    }
    return path + ": the file cannot be opened or mapped";
}

class Comparison {
  public:
    Comparison(const CliOptions& options, CliEnvironment& env) : o_(options), env_(env) {}

    int Run() {
        CompareFile& a = files_[0];
        CompareFile& b = files_[1];
        a.path = o_.file;
        b.path = o_.otherFile;
        for (CompareFile& file : files_) {
            if (int code = Open(file); code != kExitSuccess) return code;
        }
        HexCompare compare(*a.side, *b.side);
        if (int code = Compare(compare); code != kExitSuccess) return code;
        const HexDiffList& list = compare.Differences();
        if (o_.json) return Json(list);
        if (list.RangeCount() == 0) {
            const std::uint32_t length = a.side->Length();
            env_.console.Out(a.path + " and " + b.path +
                             (length == 0 ? " are both empty\n"
                                          : " hold the same bytes at " +
                                                HexAddressRange(0, length - 1) + "\n"));
            return kExitSuccess;
        }
        // The names as given when their last parts are alike (two folders' fw.hex).
        const bool alike = BaseName(a.path) == BaseName(b.path);
        const std::string labelA = alike ? a.path : BaseName(a.path);
        const std::string labelB = alike ? b.path : BaseName(b.path);
        env_.console.Out(
            HexDiffReport(list, *a.side, labelA, *b.side, labelB, 0, kRangesShown));
        return kExitMismatch;
    }

  private:
    int Fail(const std::string& text) { return CommandFailed(env_.console, kExitBadInput, text); }

    // The whole comparison, then every listed range, one object per line.
    int Json(const HexDiffList& list) {
        std::string lines =
            CompareSummaryJson({o_.file, o_.otherFile, list.ByteCount(), list.RangeCount()}) +
            "\n";
        for (std::size_t i = 0; i < list.ListedCount(); ++i) {
            const HexDiffRange range = list.Range(i);
            lines += DiffRangeJson(HexAddressRange(range.start, range.end - 1), range.length()) +
                     "\n";
        }
        env_.console.Out(lines);
        return list.RangeCount() == 0 ? kExitSuccess : kExitMismatch;
    }
    std::uint32_t Now() { return env_.clock.TickCount(); }

    int Open(CompareFile& file) {
        if (!HexDocOpenFile(file.doc, file.path.c_str(), true, true)) {
            return Fail(OpenError(file.path, file.doc.error));
        }
        const ImageFormat format = o_.format ? *o_.format : *ImageFormatFromPath(file.path);
        if (format == ImageFormat::kBinary) {
            file.side = HexCompareSide::Document(file.doc);
            return kExitSuccess;
        }
        if (file.doc.length > kMaxImageText) {
            return Fail(file.path + ": the file is larger than 64 MiB");
        }
        std::string text(file.doc.length, '\0');
        if (!text.empty() && HexDocRead(file.doc, text.data(), 0, file.doc.length) == nullptr) {
            return Fail(file.path + ": the file could not be read");
        }
        ImageError report;
        if (!ParseImage(format, text, file.image, report)) {
            return Fail(report.line != 0 ? Printf("%s:%u: ", file.path.c_str(), report.line) +
                                               report.message
                                         : file.path + ": " + report.message);
        }
        if (!report.note.empty() && !o_.quiet) {
            env_.console.Err("note: " + file.path + ": " + report.note + "\n");
        }
        if (!file.image.empty() && file.image.highest() == 0xFFFFFFFF) {
            return Fail(file.path + ": data at address FFFFFFFF is past what a compare covers");
        }
        const std::uint32_t length = file.image.empty() ? 0 : file.image.highest() + 1;
        file.side = HexCompareSide::Image(file.image, length, o_.fill);
        return kExitSuccess;
    }

    int Compare(HexCompare& compare) {
        ProgressMeter meter(env_.console.ErrIsTerminal() && !o_.quiet,
                            env_.console.TerminalWidth());
        const auto show = [this](const std::string& text) {
            if (!text.empty()) env_.console.Err(text);
        };
        if (!o_.quiet) show(meter.Start("Comparing", compare.Total(), nullptr, Now()));
        HexScanStatus status;
        while ((status = compare.Step(kSlice)) == kHexScanMore) {
            if (InterruptRequested()) {
                show(meter.Finish());
                return CommandFailed(env_.console, kExitInterrupted, "compare interrupted");
            }
            if (!o_.quiet) show(meter.Update(compare.Done(), Now()));
        }
        show(meter.Finish());
        if (status != kHexScanDone) {
            return Fail(o_.file + " or " + o_.otherFile +
                        ": a part of the file could not be read (is it still there?)");
        }
        return kExitSuccess;
    }

    const CliOptions& o_;
    CliEnvironment& env_;
    CompareFile files_[2];
};

}  // namespace

int RunCompare(const CliOptions& options, CliEnvironment& env) {
    // Two documents of some 30 KiB each: not on the stack.
    auto comparison = std::make_unique<Comparison>(options, env);
    return comparison->Run();
}
