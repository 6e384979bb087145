#include "cli/cli_runner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "cli/compare_files.h"
#include "cli/exit_codes.h"
#include "cli/gang_run.h"
#include "cli/unit_run.h"
#include "device/log_sink.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"

namespace {

// Files bigger than this are not read: the largest image is 16 MiB of data, and HEX text takes
// less than three characters per byte.
constexpr long kMaxFileBytes = 64l << 20;

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, n);
        if (bytes.size() > static_cast<std::size_t>(kMaxFileBytes)) {
            std::fclose(file);
            error = path + ": the file is larger than 64 MiB";
            return false;
        }
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) error = path + ": the file could not be read";
    return !failed;
}

// The checks of a command's ranges and image, before any unit is touched.
class Preparation {
  public:
    Preparation(const CliOptions& options, CliConsole& console) : o_(options), console_(console) {}

    int Run(CliJob& job) {
        switch (o_.command) {
            case CliCommand::kRead: return PlanFor(nullptr, job.plan);
            case CliCommand::kProgram:
            case CliCommand::kVerify: return ImageBytes(job);
            default: return kExitSuccess;
        }
    }

  private:
    int Fail(int code, const std::string& text) { return CommandFailed(console_, code, text); }
    void Note(const std::string& text) {
        if (!o_.quiet) console_.Err(text + "\n");
    }
    int PlanFor(const SparseImage* image, TransferPlan& plan);
    // Reads the image file and plans the transfer; the job's bytes: the image over the file
    // range, with room for the serial number.
    int ImageBytes(CliJob& job);
    // Makes the serial number's bytes part of image, so that they widen the range like any
    // other data.
    int PlaceSerialNumber(SparseImage& image);

    const CliOptions& o_;
    CliConsole& console_;
};

int Preparation::PlanFor(const SparseImage* image, TransferPlan& plan) {
    PlanRequest request{o_.command,   o_.chipType,  FormatHasAddresses(*o_.format),
                        o_.chipRange, o_.fileRange, image};
    PlanError error;
    if (PlanTransfer(request, plan, error)) return kExitSuccess;
    if (!error.aboutImage) return Fail(kExitBadInput, error.message);
    if (error.line == 0) return Fail(kExitBadInput, o_.file + ": " + error.message);
    return Fail(kExitBadInput,
                Printf("%s:%u: %s", o_.file.c_str(), error.line, error.message.c_str()));
}

int Preparation::PlaceSerialNumber(SparseImage& image) {
    const std::uint32_t at = *o_.serialAt;
    const std::uint32_t width = o_.serialFormat.width;
    const auto refuse = [&] {
        return Fail(kExitBadInput, Printf("the serial number cannot go to %08X", at));
    };
    if (static_cast<std::uint64_t>(at) + width > 0x100000000ull) return refuse();
    std::vector<std::uint8_t> here(width);
    // The bytes already there (or the fill) once more: they never conflict.
    const std::uint64_t taken = image.CopyOut(at, width, o_.fill, here.data());
    if (image.Add(at, here.data(), width, 0, nullptr) != SparseImage::AddResult::kAdded) {
        return refuse();
    }
    if (taken > 0) {
        Note(Printf("note: the serial number replaces %llu bytes of %s at %08X-%08X",
                    static_cast<unsigned long long>(taken), o_.file.c_str(), at, at + width - 1));
    }
    return kExitSuccess;
}

int Preparation::ImageBytes(CliJob& job) {
    TransferPlan& plan = job.plan;
    std::vector<std::uint8_t>& bytes = job.bytes;
    std::string text;
    std::string error;
    if (!ReadWholeFile(o_.file, text, error)) return Fail(kExitBadInput, error);
    SparseImage image;
    ImageError report;
    if (!ParseImage(*o_.format, text, image, report)) {
        return Fail(kExitBadInput, report.line != 0 ? Printf("%s:%u: %s", o_.file.c_str(),
                                                             report.line, report.message.c_str())
                                                    : o_.file + ": " + report.message);
    }
    if (!report.note.empty()) Note("note: " + o_.file + ": " + report.note);
    // The range the image alone would have: to tell a number that does not fit, or that
    // widens the range, from an image that does not fit.
    std::optional<TransferPlan> alone;
    if (o_.serialAt) {
        PlanRequest request{o_.command,   o_.chipType,  FormatHasAddresses(*o_.format),
                            o_.chipRange, o_.fileRange, &image};
        PlanError ignored;
        if (PlanTransfer(request, alone.emplace(), ignored) == false) alone.reset();
        if (int code = PlaceSerialNumber(image); code != kExitSuccess) return code;
        PlanError error;
        request.image = &image;
        if (alone && !PlanTransfer(request, plan, error)) {
            const std::uint32_t at = *o_.serialAt;
            return Fail(kExitBadInput,
                        Printf("the serial number at %08X-%08X (%s) does not fit the %s: it lies "
                               "outside the chip range that the image fits (%06X-%06X)",
                               at, at + o_.serialFormat.width - 1,
                               SerialFormatName(o_.serialFormat).c_str(),
                               ChipShortName(o_.chipType).c_str(), alone->chipStart,
                               alone->chipStart + alone->length - 1));
        }
    }
    if (int code = PlanFor(&image, plan); code != kExitSuccess) return code;
    if (alone && alone->length < plan.length) {
        Note(Printf("note: the serial number at %08X widens the range programmed from %06X-%06X "
                    "(the image, %s) to %06X-%06X (%s)",
                    *o_.serialAt, alone->chipStart, alone->chipStart + alone->length - 1,
                    FormatBytes(alone->length).c_str(), plan.chipStart,
                    plan.chipStart + plan.length - 1, FormatBytes(plan.length).c_str()));
    }
    if (o_.serialAt) {
        const std::uint64_t at = *o_.serialAt;
        if (at < plan.fileStart ||
            at + o_.serialFormat.width > static_cast<std::uint64_t>(plan.fileStart) + plan.length) {
            return Fail(kExitBadInput,
                        Printf("the serial number at %08llX-%08llX lies outside the file range "
                               "%08X-%08X",
                               static_cast<unsigned long long>(at),
                               static_cast<unsigned long long>(at + o_.serialFormat.width - 1),
                               plan.fileStart, plan.fileStart + plan.length - 1));
        }
        job.serialOffset = static_cast<std::uint32_t>(at - plan.fileStart);
    }

    bytes.resize(plan.length);
    const std::uint64_t inside = image.CopyOut(plan.fileStart, plan.length, o_.fill, bytes.data());
    if (inside == 0) {
        return Fail(kExitBadInput,
                    Printf("%s: the file range %08X-%08X holds none of its data", o_.file.c_str(),
                           plan.fileStart, plan.fileStart + plan.length - 1));
    }
    if (inside < image.dataBytes()) {
        Note(Printf("note: %llu bytes of %s lie outside the file range %08X-%08X and are left out",
                    static_cast<unsigned long long>(image.dataBytes() - inside), o_.file.c_str(),
                    plan.fileStart, plan.fileStart + plan.length - 1));
    }
    return kExitSuccess;
}

int RunAlone(const CliOptions& options, CliEnvironment& env, const CliJob& job) {
    OutputFile output(options.file);
    std::string error;
    if (options.command == CliCommand::kRead && !output.Probe(error)) {
        return CommandFailed(env.console, kExitBadInput, error);
    }
    UnitRun run(options, env, options.ports.empty() ? "" : options.ports[0], job, &output,
                env.console, nullptr);
    const int code = run.Run();
    // detect: an object per unit found, and none when nothing answered.
    if (options.json && (options.command != CliCommand::kDetect || run.outcome().hardwareFlags)) {
        env.console.Out(RecordJson(run.Record()) + "\n");
    }
    return code;
}

}  // namespace

int RunCli(const CliOptions& options, CliEnvironment& env) {
    if (options.command == CliCommand::kHelp) {
        env.console.Out(HelpText());
        return kExitSuccess;
    }
    if (options.command == CliCommand::kVersion) {
        env.console.Out(std::string(VersionText()) + "\n");
        return kExitSuccess;
    }
    if (options.command == CliCommand::kCompare) return RunCompare(options, env);
    CliJob job;
    if (int code = Preparation(options, env.console).Run(job); code != kExitSuccess) return code;
    // Each UnitRun's sink names the run its link's lines go to.
    SetLogLineWriter(&UnitRun::WriteLinkLine);
    // Production runs (rounds, serial numbers, the log) go the way of several units too.
    const bool gang = options.ports.size() > 1 || options.several || options.all ||
                      options.repeat || options.serialAt || !options.logFile.empty();
    const int code = gang ? RunGang(options, env, job) : RunAlone(options, env, job);
    SetLogLineWriter(nullptr);
    return code;
}
