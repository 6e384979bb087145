#include "cli/cli_runner.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/progress_line.h"
#include "cli/ranges.h"
#include "device/chip_types.h"
#include "device/kvtandrel.h"
#include "device/log_sink.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"
#include "platform/files.h"

namespace {

std::atomic<int> gInterrupt{0};

// Files bigger than this are not read: the largest image is 16 MiB of data, and HEX text takes
// less than three characters per byte.
constexpr long kMaxFileBytes = 64l << 20;
constexpr std::uint32_t kBlockBytes = 256;

bool EqualsNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if ((*a | 0x20) != (*b | 0x20)) return false;
    }
    return *a == *b;
}

// DetectHardware scans COM1 to COM5, then every other COM port that exists. With a port given,
// the scan's COM1 opens that port and the other names nothing (nor exist), so the unit is
// identified there and no other port is touched; a speed change reopens "COM1" and so the same
// port. It also lets a device path longer than KVTandrel's 24-character port name be used.
class SinglePortScan final : public SerialPorts {
public:
    SinglePortScan(SerialPorts& ports, std::string device)
        : ports_(ports), device_(std::move(device)) {}
    std::unique_ptr<SerialLink> Open(const char* name) override {
        if (name == nullptr || !EqualsNoCase(name, "COM1")) return nullptr;
        return ports_.Open(device_.c_str());
    }

private:
    SerialPorts& ports_;
    std::string device_;
};

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

// The output of a read: checked for writing before the unit is touched, and written only once
// the chip has been read: to a temporary file beside it that replaces it only when complete, so
// that a failed write (a full disk) leaves the old file as it was. An empty file that the check
// made is removed again when the read fails.
class OutputFile {
public:
    explicit OutputFile(std::string path) : path_(std::move(path)) {}

    [[nodiscard]] bool Probe(std::string& error) {
        std::FILE* existing = std::fopen(path_.c_str(), "rb");
        existed_ = existing != nullptr;
        if (existing != nullptr) std::fclose(existing);
        std::FILE* file = std::fopen(path_.c_str(), "ab");  // creates, but never truncates
        if (file == nullptr) {
            error = path_ + ": " + std::strerror(errno);
            return false;
        }
        std::fclose(file);
        return true;
    }

    [[nodiscard]] bool Write(const std::string& content, std::string& error) {
        char folder[kFilePathSize];
        char temporary[kFilePathSize];
        bool made = false;
        bool written = false;
        errno = 0;
        if (path_.size() < kFilePathSize) {
            FolderOfPath(path_.c_str(), folder);
            made = MakeTempFile(folder, "vor", temporary);
            if (made) errno = 0;
            written = made && WriteTemporary(temporary, content) &&
                      ReplaceFileWith(path_.c_str(), temporary, nullptr);
        }
        if (written) return true;
        error =
            path_ + ": " + (errno != 0 ? std::strerror(errno) : "the file could not be written");
        if (made) DeleteFilePath(temporary);
        Abandon();
        return false;
    }

    void Abandon() {
        if (!existed_) std::remove(path_.c_str());
    }

private:
    [[nodiscard]] static bool WriteTemporary(const char* path, const std::string& content) {
        const FileHandle file = OpenExistingFile(path, true, kShareNone, nullptr);
        if (file == kNoFile) return false;
        // A chip image as text is a few MiB at the most.
        const bool written =
            WriteFileBytes(file, content.data(), static_cast<std::uint32_t>(content.size()));
        CloseFile(file);
        return written;
    }

    std::string path_;
    bool existed_ = false;
};

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One run of the tool. It is the progress sink of the chip operations and the receiver of the
// link's log lines.
class CliRun final : public ProgressSink {
public:
    CliRun(const CliOptions& options, CliEnvironment& env)
        : o_(options),
          env_(env),
          scan_(env.ports, env.portDevice.empty() ? options.port : env.portDevice),
          device_(options.port.empty() ? env.ports : scan_, env.clock),
          meter_(env.console.ErrIsTerminal() && !options.quiet, env.console.TerminalWidth()) {
        device_.logSink = &sink_;
        SetLogLineWriter(&CliRun::WriteLinkLine);
    }

    ~CliRun() override {
        if (connected_) device_.ClosePort();
        SetLogLineWriter(nullptr);
    }

    CliRun(const CliRun&) = delete;
    CliRun& operator=(const CliRun&) = delete;

    // Runs the command, then closes the port: the exit status.
    int Run() { return Disconnect(Execute()); }

    // ProgressSink: the device reports each block; the interrupt is passed on from here, on
    // this thread, so that no other thread ever touches the device.
    void SetRange(std::int32_t, std::int32_t) override {}
    void SetStep(std::int32_t) override {}
    void SetPos(std::int32_t) override {}
    void StepIt() override {
        ++steps_;
        ErrText(meter_.Update(static_cast<std::uint64_t>(steps_) * stepBytes_, Now()));
        PassOnInterrupt();
    }
    void SetText(const char*) override { PassOnInterrupt(); }

private:
    static void WriteLinkLine(void* edit, const char* line) {
        static_cast<CliRun*>(edit)->LinkLine(line);
    }
    void LinkLine(const char* line) {
        if (o_.verbose) {
            ErrText(meter_.Finish());
            env_.console.Err(std::string(line) + "\n");
        }
    }

    std::uint32_t Now() { return env_.clock.TickCount(); }
    void PassOnInterrupt() {
        if (gInterrupt.load() != 0) device_.RequestCancel();
    }
    void ErrText(const std::string& text) {
        if (!text.empty()) env_.console.Err(text);
    }
    void Note(const std::string& text) {
        if (o_.quiet) return;
        ErrText(meter_.Finish());
        env_.console.Err(text + "\n");
    }
    int Fail(int code, const std::string& text) {
        ErrText(meter_.Finish());
        env_.console.Err("vorland-cli: " + text + "\n");
        return code;
    }
    void Result(const std::string& text) {
        ErrText(meter_.Finish());
        env_.console.Out(text + "\n");
    }

    // Progress of one operation: total bytes, one step a block; or total steps named stepName.
    void BeginProgress(const std::string& label, std::uint64_t total,
                       const char* stepName = nullptr) {
        steps_ = 0;
        stepBytes_ = stepName == nullptr ? kBlockBytes : 1;
        startMs_ = Now();
        if (!o_.quiet) ErrText(meter_.Start(label, total, stepName, startMs_));
    }
    // "Read 512 KiB in 6.1 s (86.1 KiB/s)."
    void Summary(const char* verb, std::uint64_t bytes) {
        ErrText(meter_.Finish());
        const std::uint32_t ms = Now() - startMs_;
        std::string text =
            Printf("%s %s in %s", verb, FormatBytes(bytes).c_str(), FormatElapsed(ms).c_str());
        if (ms > 0) text += " (" + FormatRate(static_cast<double>(bytes) * 1000.0 / ms) + ")";
        Note(text + ".");
    }

    int Execute();
    int Connect();
    int Disconnect(int code);
    int PlanFor(const SparseImage* image, TransferPlan& plan);
    // Reads the image file and plans the transfer; bytes: the image over the file range.
    int ImageBytes(TransferPlan& plan, std::vector<std::uint8_t>& bytes);

    int Detect();
    int Info();
    int Read();
    int Program();
    int Verify();
    int Erase();
    int Blank();
    int EraseWholeChip();
    int VerifyRange(const TransferPlan& plan, const std::vector<std::uint8_t>& bytes, bool asPart);

    int Interrupted(const std::string& what);
    int TransferFailed(const char* doing, std::int32_t code, const TransferPlan& plan);
    int CheckFailed(const char* doing);
    std::string LinkDetail() const;
    // The chip type of a command that needs one (the options make sure it is given).
    const ChipType& Chip() const { return kChipTypes[o_.chipType]; }
    std::string ChipName() const { return ChipShortName(o_.chipType); }
    // "sector 3 (030000-03FFFF)".
    std::string SectorText() const;
    std::string Where() const;

    const CliOptions& o_;
    CliEnvironment& env_;
    SinglePortScan scan_;
    KVTandrel device_;
    LogSink sink_{0, nullptr, this};
    ProgressMeter meter_;
    std::int32_t steps_ = 0;
    std::uint32_t stepBytes_ = kBlockBytes;
    std::uint32_t startMs_ = 0;
    bool connected_ = false;
    std::uint32_t hardwareFlags_ = 0;
    FirmwareVersion version_{};
    char unitName_[kHardwareNameSize] = {};
    std::string portShown_;
};

int CliRun::Execute() {
    switch (o_.command) {
        case CliCommand::kDetect: return Detect();
        case CliCommand::kInfo: return Info();
        case CliCommand::kRead: return Read();
        case CliCommand::kProgram: return Program();
        case CliCommand::kVerify: return Verify();
        case CliCommand::kErase: return Erase();
        case CliCommand::kBlank: return Blank();
        default: return Fail(kExitBadInput, "no command");
    }
}

int CliRun::Connect() {
    connected_ = true;  // DetectHardware may leave a port open even when it finds nothing
    hardwareFlags_ = device_.DetectHardware(unitName_, sizeof unitName_, &version_);
    portShown_ = o_.port.empty() ? device_.portName : o_.port;
    if ((hardwareFlags_ & kHardwareSupportedMask) == 0) {
        if (hardwareFlags_ != 0) {
            return Fail(kExitNoUnit, Printf("found %s on %s, an emulator: only the Vorland and "
                                            "Tandrel programmers are supported",
                                            unitName_, portShown_.c_str()));
        }
        if (version_.modelLetter != 0) {
            return Fail(kExitNoUnit, Printf("the unit on %s answered with the unknown model "
                                            "letter 0x%02X",
                                            portShown_.c_str(),
                                            static_cast<unsigned char>(version_.modelLetter)));
        }
        if (o_.port.empty()) {
            return Fail(kExitNoUnit,
                        "no programmer answered on any COM port (name its port "
                        "with --port)");
        }
        // The scan tried the one port first: did it open?
        const bool opened = device_.LastFailure().step != TandrelStep::kOpenPort;
        return Fail(kExitNoUnit, opened ? "no programmer answered on " + o_.port
                                        : "cannot open " + o_.port +
                                              ": it does not exist, or another program holds it");
    }
    if (o_.verbose && !o_.port.empty()) {
        Note("(the link's messages call " + o_.port + " COM1)");
    }
    if (InterruptRequested()) return Interrupted("while looking for the programmer");

    const std::uint32_t fastest = (hardwareFlags_ & kHardwareFastLinkMask) != 0 ? 921600 : 115200;
    std::uint32_t rate = o_.baud != 0 ? o_.baud : fastest;
    if (rate > fastest) {
        Note(Printf("note: the %s stays at 115200 baud", unitName_));
        rate = fastest;
    }
    if (rate != 115200) {
        const auto code = static_cast<std::int32_t>(921600 / rate - 1);
        if (device_.SetLinkSpeed(code) != kTandrelDone) {
            Note(Printf("note: the unit did not take %u baud; staying at 115200", rate));
        }
    }
    // detect and info print the unit as their result.
    if (o_.command != CliCommand::kDetect && o_.command != CliCommand::kInfo) {
        Note(Printf("%s on %s at %d baud", unitName_, portShown_.c_str(),
                    BaudRateOfSpeedCode(device_.speedCode)));
    }
    return kExitSuccess;
}

int CliRun::Disconnect(int code) {
    if (!connected_) return code;
    device_.ClosePort();  // brings a raised unit back to 115200 baud first
    connected_ = false;
    if (device_.speedCode == kSpeedCode115200) return code;
    return Fail(code == kExitSuccess ? kExitLinkFailure : code,
                Printf("the unit could not be returned to 115200 baud and is left at %d baud: "
                       "power it off and on before its next use",
                       BaudRateOfSpeedCode(device_.speedCode)));
}

int CliRun::Interrupted(const std::string& what) {
    return Fail(kExitInterrupted, "interrupted " + what);
}

std::string CliRun::LinkDetail() const {
    const std::string text = FailureLogLine(device_.LastFailure());
    if (text.empty()) return "";
    // Multi-line messages become one line.
    std::string line;
    for (char c : text) {
        const bool blank = c == '\r' || c == '\n' || c == '\t' || c == ' ';
        if (!blank)
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    return " (" + line + ")";
}

// " at address 012300": the block where the operation stopped.
std::string CliRun::Where() const {
    const TandrelFailure& failure = device_.LastFailure();
    return failure.atBlock() ? Printf(" at address %.6X", failure.address) : "";
}

int CliRun::TransferFailed(const char* doing, std::int32_t code, const TransferPlan& plan) {
    if (code == kTandrelCancelled || InterruptRequested()) {
        return Interrupted(std::string("while ") + doing + Where());
    }
    std::string reason;
    switch (code) {
        case kTandrelRefused:
            reason = std::strcmp(doing, "programming") == 0
                         ? "the unit did not accept a block"
                         : "the unit did not answer, or the port failed";
            break;
        case kTandrelNoPort: reason = "the port is not open"; break;
        case kTandrelNotProgrammer: reason = "the unit is not a programmer"; break;
        case kTandrelChecksumMismatch:
            reason = "a block arrived damaged (checksum mismatch)";
            break;
        case kTandrelShortData: reason = "the unit stopped answering"; break;
        default: reason = Printf("result %d", static_cast<int>(code)); break;
    }
    std::string text = Printf("%s the %s failed%s: %s%s", doing, ChipName().c_str(),
                              Where().c_str(), reason.c_str(), LinkDetail().c_str());
    // A failure at the very first block is most often the wrong chip type.
    const TandrelFailure& failure = device_.LastFailure();
    if (!failure.atBlock() || failure.address == plan.chipStart) {
        text += Printf("; is a %s in the socket?", ChipName().c_str());
    }
    return Fail(kExitLinkFailure, text);
}

// A yes/no operation answered -1.
int CliRun::CheckFailed(const char* doing) {
    if (InterruptRequested()) return Interrupted(std::string("while ") + doing + Where());
    return Fail(kExitLinkFailure,
                Printf("%s the %s failed%s: the unit did not answer, or the port "
                       "failed%s",
                       doing, ChipName().c_str(), Where().c_str(), LinkDetail().c_str()));
}

int CliRun::PlanFor(const SparseImage* image, TransferPlan& plan) {
    PlanRequest request{o_.command,   o_.chipType,  FormatHasAddresses(*o_.format),
                        o_.chipRange, o_.fileRange, image};
    PlanError error;
    if (PlanTransfer(request, plan, error)) return kExitSuccess;
    if (!error.aboutImage) return Fail(kExitBadInput, error.message);
    if (error.line == 0) return Fail(kExitBadInput, o_.file + ": " + error.message);
    return Fail(kExitBadInput,
                Printf("%s:%u: %s", o_.file.c_str(), error.line, error.message.c_str()));
}

int CliRun::ImageBytes(TransferPlan& plan, std::vector<std::uint8_t>& bytes) {
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
    if (int code = PlanFor(&image, plan); code != kExitSuccess) return code;

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

int CliRun::Detect() {
    if (int code = Connect(); code != kExitSuccess) return code;
    Result(Printf("%s on %s", unitName_, portShown_.c_str()));
    return kExitSuccess;
}

int CliRun::Info() {
    if (int code = Connect(); code != kExitSuccess) return code;
    std::uint8_t block[kHardwareInfoSize] = {};
    static_cast<void>(device_.GetHardwareVersion(block));  // unread bytes show as 00
    std::string text = Printf("Programmer:  %s\nPort:        %s\n", unitName_, portShown_.c_str());
    text += Printf("Firmware:    %u.%u, model letter %c\n", version_.major, version_.minor,
                   version_.modelLetter);
    text += "Hardware:   ";
    for (int i = 0; i < kHardwareInfoSize - 1; ++i) text += Printf(" %02X", block[i]);
    text += "  (information block, EEPROM 1 to 7)\n";
    text += Printf("Link:        %d baud\n", BaudRateOfSpeedCode(device_.speedCode));
    if (const ChipType* chip = FindChipType(o_.chipType)) {
        text += Printf("Chip:        %s, %s (000000-%06X)", ChipName().c_str(),
                       FormatBytes(static_cast<std::uint64_t>(chip->size)).c_str(), chip->size - 1);
        if (chip->sectorCount > 0) {
            text += Printf(", %d sectors of %s", chip->sectorCount,
                           FormatBytes(static_cast<std::uint64_t>(chip->sectorSize)).c_str());
        }
        text += chip->programmable() ? ", program and erase" : ", read-only";
        text += "\n";
    }
    env_.console.Out(text);
    return kExitSuccess;
}

int CliRun::Read() {
    TransferPlan plan{};
    if (int code = PlanFor(nullptr, plan); code != kExitSuccess) return code;
    OutputFile output(o_.file);
    std::string error;
    if (!output.Probe(error)) return Fail(kExitBadInput, error);
    if (int code = Connect(); code != kExitSuccess) {
        output.Abandon();
        return code;
    }
    if (InterruptRequested()) {
        output.Abandon();
        return Interrupted("before reading");
    }

    std::vector<std::uint8_t> bytes(plan.length);
    BeginProgress("Reading", plan.length);
    const std::int32_t result = device_.ReadChip(o_.chipType, bytes.data(), plan.chipStart,
                                                 static_cast<std::int32_t>(plan.length), this);
    if (result != kTandrelDone) {
        output.Abandon();
        return TransferFailed("reading", result, plan);
    }
    Summary("Read", plan.length);

    const std::string content =
        WriteImage(*o_.format, bytes.data(), plan.length, plan.fileStart, BaseName(o_.file));
    if (!output.Write(content, error)) return Fail(kExitBadInput, error);
    Result(Printf("read %06X-%06X of the %s into %s (%s)", plan.chipStart,
                  plan.chipStart + plan.length - 1, ChipName().c_str(), o_.file.c_str(),
                  ImageFormatName(*o_.format)));
    return kExitSuccess;
}

int CliRun::EraseWholeChip() {
    switch (Chip().erase) {
        case EraseMethod::kFillWrite:
            BeginProgress("Erasing", static_cast<std::uint64_t>(Chip().size));
            break;
        case EraseMethod::kSectors:
            BeginProgress("Erasing", static_cast<std::uint64_t>(Chip().sectorCount), "sectors");
            break;
        default: BeginProgress("Erasing", 1, "chip"); break;
    }
    if (device_.EraseChip(o_.chipType, this) != 1) {
        if (InterruptRequested()) return Interrupted("while erasing" + Where());
        return Fail(kExitLinkFailure, Printf("erasing the %s failed: the unit refused or did not "
                                             "answer%s",
                                             ChipName().c_str(), LinkDetail().c_str()));
    }
    Note(Printf("Erased the %s in %s.", ChipName().c_str(),
                FormatElapsed(Now() - startMs_).c_str()));
    return kExitSuccess;
}

// Verifies plan's chip range against bytes: the whole verify command, or the last step of
// program (asPart: a mismatch is then an error of programming).
int CliRun::VerifyRange(const TransferPlan& plan, const std::vector<std::uint8_t>& bytes,
                        bool asPart) {
    if (InterruptRequested()) return Interrupted("before verifying");
    if (!o_.quick) BeginProgress("Verifying", plan.length);
    const VerifyRequest request{o_.chipType,      plan.chipStart,
                                bytes.data(),     static_cast<std::int32_t>(plan.length),
                                o_.quick ? 1 : 0, o_.quick ? nullptr : this};
    const std::int32_t result = device_.VerifyChip(request);
    if (result < 0) return CheckFailed(o_.quick ? "asking the checksum of" : "reading back");
    const std::string range = Printf("%06X-%06X", plan.chipStart, plan.chipStart + plan.length - 1);
    if (result == 1) {
        if (!o_.quick) Summary("Verified", plan.length);
        if (!asPart) {
            Result(Printf("the %s matches %s at %s%s", ChipName().c_str(), o_.file.c_str(),
                          range.c_str(), o_.quick ? " (by checksum)" : ""));
        }
        return kExitSuccess;
    }

    std::string difference = "the chip differs from " + o_.file;
    const TandrelFailure& f = device_.LastFailure();
    if (f.problem == TandrelProblem::kMismatch && f.step == TandrelStep::kVerify) {
        difference = Printf(
            "the chip differs from %s first at chip address %06X (file address %08X): the file "
            "has %02X, the chip %02X",
            o_.file.c_str(), plan.chipStart + f.address, plan.fileStart + f.address, f.expected,
            f.found);
    } else if (f.problem == TandrelProblem::kMismatch) {
        difference = Printf("the checksums of %s differ: %04X for the file, %04X for the chip",
                            range.c_str(), f.expected, f.found);
    }
    if (asPart) return Fail(kExitMismatch, "programming did not take: " + difference);
    Result(difference);
    return kExitMismatch;
}

int CliRun::Program() {
    TransferPlan plan{};
    std::vector<std::uint8_t> bytes;
    if (int code = ImageBytes(plan, bytes); code != kExitSuccess) return code;
    if (int code = Connect(); code != kExitSuccess) return code;

    if (o_.erase) {
        if (InterruptRequested()) return Interrupted("before erasing");
        if (int code = EraseWholeChip(); code != kExitSuccess) return code;
    }
    if (InterruptRequested()) return Interrupted("before programming");
    BeginProgress("Programming", plan.length);
    const std::int32_t result = device_.WriteChip(o_.chipType, bytes.data(), plan.chipStart,
                                                  static_cast<std::int32_t>(plan.length), this);
    if (result != kTandrelDone) return TransferFailed("programming", result, plan);
    Summary("Programmed", plan.length);

    const std::string range = Printf("%06X-%06X", plan.chipStart, plan.chipStart + plan.length - 1);
    if (!o_.verify) {
        Result(Printf("programmed %s of the %s from %s (not verified)", range.c_str(),
                      ChipName().c_str(), o_.file.c_str()));
        return kExitSuccess;
    }
    if (int code = VerifyRange(plan, bytes, true); code != kExitSuccess) return code;
    Result(Printf("programmed and verified %s of the %s from %s%s", range.c_str(),
                  ChipName().c_str(), o_.file.c_str(), o_.quick ? " (by checksum)" : ""));
    return kExitSuccess;
}

int CliRun::Verify() {
    TransferPlan plan{};
    std::vector<std::uint8_t> bytes;
    if (int code = ImageBytes(plan, bytes); code != kExitSuccess) return code;
    if (int code = Connect(); code != kExitSuccess) return code;
    return VerifyRange(plan, bytes, false);
}

int CliRun::Erase() {
    if (int code = Connect(); code != kExitSuccess) return code;
    if (InterruptRequested()) return Interrupted("before erasing");
    if (o_.sector < 0) {
        if (int code = EraseWholeChip(); code != kExitSuccess) return code;
        Result("erased the " + ChipName());
        return kExitSuccess;
    }
    if (device_.EraseSector(o_.sector) != kTandrelDone) {
        return Fail(kExitLinkFailure, Printf("erasing sector %d of the %s failed: the unit refused "
                                             "or did not answer",
                                             o_.sector, ChipName().c_str()));
    }
    Result("erased " + SectorText() + " of the " + ChipName());
    return kExitSuccess;
}

std::string CliRun::SectorText() const {
    const std::int32_t size = Chip().sectorSize;
    return Printf("sector %d (%06X-%06X)", o_.sector, o_.sector * size, (o_.sector + 1) * size - 1);
}

int CliRun::Blank() {
    if (int code = Connect(); code != kExitSuccess) return code;
    if (InterruptRequested()) return Interrupted("before the blank check");
    std::string what = "the " + ChipName();
    std::int32_t result;
    if (o_.sector < 0) {
        BeginProgress("Checking", static_cast<std::uint64_t>(Chip().size));
        result = device_.BlankCheckChip(o_.chipType, this);
    } else {
        what = SectorText() + " of the " + ChipName();
        BeginProgress("Checking", static_cast<std::uint64_t>(Chip().sectorSize));
        result = device_.BlankCheckSector(o_.sector, this);
    }
    if (result < 0) return CheckFailed("blank checking");
    Result(what + (result == 1 ? " is blank" : " is not blank"));
    return result == 1 ? kExitSuccess : kExitMismatch;
}

}  // namespace

void RequestInterrupt() {
    gInterrupt.store(1);
}
bool InterruptRequested() {
    return gInterrupt.load() != 0;
}
void ResetInterrupt() {
    gInterrupt.store(0);
}

int RunCli(const CliOptions& options, CliEnvironment& env) {
    if (options.command == CliCommand::kHelp) {
        env.console.Out(HelpText());
        return kExitSuccess;
    }
    if (options.command == CliCommand::kVersion) {
        env.console.Out(std::string(VersionText()) + "\n");
        return kExitSuccess;
    }
    CliRun run(options, env);
    return run.Run();
}
