#include "cli/unit_run.h"

#include <algorithm>
#include <cstring>

#include "cli/exit_codes.h"
#include "cli/gang_board.h"
#include "cli/serial_numbers.h"
#include "device/chip_types.h"
#include "device/log_sink.h"
#include "formats/image_formats.h"
#include "formats/text_format.h"

namespace {

constexpr std::uint32_t kBlockBytes = 256;

bool EqualsNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if ((*a | 0x20) != (*b | 0x20)) return false;
    }
    return *a == *b;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the port's driver did with the request for low latency, for --verbose; "" when the port
// was not asked.
std::string LowLatencyNote(const std::string& port, SerialLowLatency answer) {
    switch (answer) {
        case SerialLowLatency::kNotAsked: return {};
        case SerialLowLatency::kNotOffered:
            return "(" + port + " has no low-latency mode to ask for)";
        case SerialLowLatency::kAlreadyOn:
            return "(" + port + " was in low-latency mode already: replies are passed on at once)";
        case SerialLowLatency::kSwitchedOn:
            return "(" + port + " switched to low-latency mode: replies are passed on at once)";
        case SerialLowLatency::kRefused:
            return "(" + port +
                   " refused low-latency mode: an adapter's latency timer may hold "
                   "every short reply; see the README)";
    }
    return {};
}

}  // namespace

std::string ResultWord(const CliOptions& o, int code) {
    switch (code) {
        case kExitSuccess:
            switch (o.command) {
                case CliCommand::kRead: return "read";
                case CliCommand::kProgram: return o.verify ? "verified" : "programmed";
                case CliCommand::kVerify: return "matches";
                case CliCommand::kErase: return "erased";
                case CliCommand::kBlank: return "blank";
                default: return "found";
            }
        case kExitMismatch: return o.command == CliCommand::kBlank ? "not blank" : "differs";
        case kExitBadInput: return "file not written";
        case kExitNoUnit: return "no programmer";
        case kExitInterrupted: return "interrupted";
        default: return "failed";
    }
}

std::unique_ptr<SerialLink> SinglePortScan::Open(const char* name) {
    if (name == nullptr || !EqualsNoCase(name, "COM1")) return nullptr;
    return ports_.Open(device_.c_str());
}

UnitRun::UnitRun(const CliOptions& options, CliEnvironment& env, std::string port,
                 const CliJob& job, const OutputFile* output, CliConsole& console, GangSeat* seat)
    : o_(options),
      env_(env),
      port_(std::move(port)),
      job_(job),
      bytes_(&job.bytes),
      output_(output),
      console_(console),
      seat_(seat),
      scan_(env.ports, env.portDevice != nullptr ? env.portDevice(port_) : port_),
      device_(port_.empty() ? env.ports : scan_, env.clock),
      meter_(console.ErrIsTerminal() && !options.quiet, console.TerminalWidth()),
      // Among several units on a terminal the seat's row shows the progress.
      showMeter_(!options.quiet && (seat == nullptr || !seat->rows())) {
    device_.logSink = &sink_;
}

UnitRun::~UnitRun() {
    if (connected_) device_.ClosePort();
}

int UnitRun::Run() {
    if (o_.command == CliCommand::kProgram) round_ = 1;
    outcome_.code = Disconnect(Execute());
    return outcome_.code;
}

void UnitRun::ResetOutcome() {
    const std::string unit = outcome_.unit;
    const std::uint32_t flags = outcome_.hardwareFlags;
    outcome_ = {};
    outcome_.unit = unit;
    outcome_.hardwareFlags = flags;
    skipText_.clear();
}

int UnitRun::Prepare(unsigned round) {
    ResetOutcome();
    bytes_ = &job_.bytes;
    serial_.reset();
    round_ = round;
    int code = Connect();
    if (code == kExitSuccess && job_.serialOffset) code = CheckSocket();
    if (code != kExitSuccess) outcome_.code = Disconnect(code);
    return outcome_.code;
}

// A chip stamped with this image, whatever its number, holds the image's bytes with that number
// in its place: read the number, then compare the unit's checksums of the range with the image
// so stamped. Costs one short read and the quick verify's frames.
int UnitRun::CheckSocket() {
    const TransferPlan& plan = job_.plan;
    const std::uint32_t at = plan.chipStart + *job_.serialOffset;
    const std::uint32_t first = at & ~63u;
    const std::uint32_t end = (at + o_.serialFormat.width + 63) & ~63u;
    std::vector<std::uint8_t> held(end - first);
    const std::int32_t read = device_.ReadChip(o_.chipType, held.data(), first,
                                               static_cast<std::int32_t>(held.size()), nullptr);
    if (read != kTandrelDone) return TransferFailed("reading", read);
    std::uint64_t number = 0;
    if (!ReadSerialBytes(o_.serialFormat, held.data() + (at - first), number) ||
        number > SerialFormatMax(o_.serialFormat)) {
        return kExitSuccess;
    }
    std::vector<std::uint8_t> stamped = job_.bytes;
    WriteSerialBytes(o_.serialFormat, number, stamped.data() + *job_.serialOffset);
    const VerifyRequest request{o_.chipType, plan.chipStart, stamped.data(),
                                static_cast<std::int32_t>(plan.length), 1, nullptr};
    const std::int32_t same = device_.VerifyChip(request);
    if (same < 0) return CheckFailed("asking the checksum of");
    if (same == 0) return kExitSuccess;
    const auto n = static_cast<unsigned long long>(number);
    const auto done = std::find_if(stamped_.begin(), stamped_.end(),
                                   [&](const auto& chip) { return chip.first == number; });
    skipText_ = done != stamped_.end()
                    ? Printf("%s still holds the chip of round %u (serial %llu): insert a new chip",
                             portShown_.c_str(), done->second, n)
                    : Printf("%s holds a chip already stamped with serial %llu: insert a new chip",
                             portShown_.c_str(), n);
    return kExitSuccess;
}

int UnitRun::RunRound(const std::vector<std::uint8_t>& bytes, std::optional<std::uint64_t> serial,
                      unsigned round) {
    if (o_.command != CliCommand::kProgram) ResetOutcome();
    bytes_ = &bytes;
    serial_ = serial;
    if (o_.command == CliCommand::kProgram) round_ = round;
    int code = Execute();
    // A unit that stopped answering may be back, or another in its place, next round: it is
    // found again.
    if (code == kExitNoUnit || code == kExitLinkFailure || code == kExitInterrupted) {
        code = Disconnect(code);
    }
    outcome_.code = code;
    return code;
}

ChipRecord UnitRun::Record() const {
    ChipRecord r;
    r.time = UtcTimestamp();
    r.round = round_;
    r.port = port_.empty() ? portShown_ : port_;
    r.unit = outcome_.unit;
    if (o_.chipType >= 0) r.chip = ChipName();
    r.serial = serial_;
    // A program's record is what production scripts count: good, or not.
    r.result = o_.command == CliCommand::kProgram && outcome_.code != kExitSuccess
                   ? "failed"
                   : ResultWord(o_, outcome_.code);
    if (serial_ && outcome_.code != kExitSuccess) r.returned = outcome_.numberBack;
    if (outcome_.hardwareFlags != 0 && (outcome_.hardwareFlags & kHardwareSupportedMask) == 0) {
        r.result = "not supported";  // an emulator
    }
    r.message = outcome_.message;
    if (o_.command == CliCommand::kRead && outcome_.checked) r.file = output_->path();
    const TransferPlan& plan = job_.plan;
    const RangeSums range{plan.chipStart, plan.chipStart + plan.length - 1, 0, 0};
    if (o_.command == CliCommand::kProgram) {
        // What this chip was to hold, its number included, whether or not it took it.
        ChecksumSet sums(kChecksumSum | kChecksumCrc32);
        sums.Update(bytes_->data(), bytes_->size());
        const ChecksumResults figures = sums.Finish();
        r.sums = RangeSums{range.first, range.last, figures.sum16, figures.crc32};
    } else if (outcome_.checked) {
        r.sums =
            RangeSums{range.first, range.last, outcome_.checksums.sum16, outcome_.checksums.crc32};
    }
    r.facts = outcome_.facts;
    return r;
}

ChipRecord UnitRun::StartRecord(const std::vector<std::uint8_t>& bytes,
                                std::optional<std::uint64_t> serial, unsigned round) const {
    ChipRecord r;
    r.time = UtcTimestamp();
    r.round = round;
    r.port = port_.empty() ? portShown_ : port_;
    r.unit = outcome_.unit;
    r.chip = ChipName();
    r.serial = serial;
    r.result = "started";
    const TransferPlan& plan = job_.plan;
    ChecksumSet sums(kChecksumSum | kChecksumCrc32);
    sums.Update(bytes.data(), bytes.size());
    const ChecksumResults figures = sums.Finish();
    r.sums = RangeSums{plan.chipStart, plan.chipStart + plan.length - 1, figures.sum16,
                       figures.crc32};
    return r;
}

void UnitRun::WriteLinkLine(void* edit, const char* line) {
    static_cast<UnitRun*>(edit)->LinkLine(line);
}

void UnitRun::LinkLine(const char* line) {
    if (o_.verbose) {
        ErrText(meter_.Finish());
        console_.Err(std::string(line) + "\n");
    }
}

void UnitRun::StepIt() {
    ++steps_;
    const std::uint64_t done = static_cast<std::uint64_t>(steps_) * stepBytes_;
    if (showMeter_) ErrText(meter_.Update(done, Now()));
    if (seat_ != nullptr) seat_->Update(done, Now());
    PassOnInterrupt();
}

void UnitRun::PassOnInterrupt() {
    if (InterruptRequested()) device_.RequestCancel();
}

void UnitRun::ErrText(const std::string& text) {
    if (!text.empty()) console_.Err(text);
}

void UnitRun::Note(const std::string& text) {
    if (o_.quiet) return;
    ErrText(meter_.Finish());
    console_.Err(text + "\n");
}

int UnitRun::Fail(int code, const std::string& text) {
    ErrText(meter_.Finish());
    // The first failure is the reason; what went wrong on the way out follows from it.
    if (outcome_.message.empty()) outcome_.message = text;
    if (seat_ == nullptr) return CommandFailed(console_, code, text);
    console_.Err("error: " + text + "\n");  // the seat puts the port first
    return code;
}

void UnitRun::Result(const std::string& text) {
    ErrText(meter_.Finish());
    // With --json stdout carries only the records; the text stays for the user.
    if (o_.json) {
        console_.Err(text + "\n");
    } else {
        console_.Out(text + "\n");
    }
}

void UnitRun::BeginProgress(const std::string& label, std::uint64_t total, const char* stepName) {
    steps_ = 0;
    stepBytes_ = stepName == nullptr ? kBlockBytes : 1;
    startMs_ = Now();
    if (showMeter_) ErrText(meter_.Start(label, total, stepName, startMs_));
    if (seat_ != nullptr) seat_->Begin(label, total, stepName, startMs_);
}

void UnitRun::Summary(const char* verb, std::uint64_t bytes) {
    ErrText(meter_.Finish());
    const std::uint32_t ms = Now() - startMs_;
    std::string text =
        Printf("%s %s in %s", verb, FormatBytes(bytes).c_str(), FormatElapsed(ms).c_str());
    if (ms > 0) text += " (" + FormatRate(static_cast<double>(bytes) * 1000.0 / ms) + ")";
    Note(text + ".");
}

const ChipType& UnitRun::Chip() const {
    return kChipTypes[o_.chipType];
}

std::string UnitRun::ChipName() const {
    return ChipShortName(o_.chipType);
}

// The chip range of plan holds bytes, as read, programmed or verified: prints the programmer
// window's checksum line of it and keeps its figures for the table of several units.
void UnitRun::Checked(const std::uint8_t* bytes) {
    const TransferPlan& plan = job_.plan;
    ChecksumSet sums(kChecksumSum | kChecksumCrc32);
    sums.Update(bytes, plan.length);
    outcome_.checksums = sums.Finish();
    outcome_.checked = true;
    Result(FormatChecksumLine(plan.chipStart, plan.chipStart + plan.length - 1, bytes));
}

int UnitRun::Execute() {
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

int UnitRun::Connect() {
    if (ready_) return kExitSuccess;
    connected_ = true;  // DetectHardware may leave a port open even when it finds nothing
    if (seat_ != nullptr) seat_->Begin("Detecting", 0, nullptr, Now());
    const std::uint32_t flags = device_.DetectHardware(unitName_, sizeof unitName_, &version_);
    outcome_.hardwareFlags = flags;
    if (flags != 0) outcome_.unit = unitName_;
    portShown_ = port_.empty() ? device_.portName : port_;
    if ((flags & kHardwareSupportedMask) == 0) {
        if (flags != 0) {
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
        if (port_.empty()) {
            return Fail(kExitNoUnit,
                        "no programmer answered on any COM port (name its port "
                        "with --port)");
        }
        // The scan tried the one port first: did it open?
        const bool opened = device_.LastFailure().step != TandrelStep::kOpenPort;
        return Fail(kExitNoUnit, opened ? "no programmer answered on " + port_
                                        : "cannot open " + port_ +
                                              ": it does not exist, or another program holds it");
    }
    if (o_.verbose && !port_.empty()) {
        Note("(the link's messages call " + port_ + " COM1)");
    }
    if (InterruptRequested()) return Interrupted("while looking for the programmer");

    const std::uint32_t fastest = (flags & kHardwareFastLinkMask) != 0 ? 921600 : 115200;
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
    if (o_.verbose && device_.hPort != nullptr) {
        const std::string note = LowLatencyNote(portShown_, device_.hPort->LowLatency());
        if (!note.empty()) Note(note);
    }
    ready_ = true;
    // detect and info print the unit as their result.
    if (o_.command != CliCommand::kDetect && o_.command != CliCommand::kInfo) {
        Note(Printf("%s on %s at %d baud", unitName_, portShown_.c_str(),
                    BaudRateOfSpeedCode(device_.speedCode)));
    }
    return kExitSuccess;
}

int UnitRun::Disconnect(int code) {
    if (!connected_) return code;
    device_.ClosePort();  // brings a raised unit back to 115200 baud first
    connected_ = ready_ = false;
    if (device_.speedCode == kSpeedCode115200) return code;
    return Fail(code == kExitSuccess ? kExitLinkFailure : code,
                Printf("the unit could not be returned to 115200 baud and is left at %d baud: "
                       "power it off and on before its next use",
                       BaudRateOfSpeedCode(device_.speedCode)));
}

int UnitRun::Interrupted(const std::string& what) {
    return Fail(kExitInterrupted, "interrupted " + what);
}

std::string UnitRun::LinkDetail() const {
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
std::string UnitRun::Where() const {
    const TandrelFailure& failure = device_.LastFailure();
    return failure.atBlock() ? Printf(" at address %.6X", failure.address) : "";
}

int UnitRun::TransferFailed(const char* doing, std::int32_t code) {
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
    if (!failure.atBlock() || failure.address == job_.plan.chipStart) {
        text += Printf("; is a %s in the socket?", ChipName().c_str());
    }
    return Fail(kExitLinkFailure, text);
}

// A yes/no operation answered -1.
int UnitRun::CheckFailed(const char* doing) {
    if (InterruptRequested()) return Interrupted(std::string("while ") + doing + Where());
    return Fail(kExitLinkFailure,
                Printf("%s the %s failed%s: the unit did not answer, or the port "
                       "failed%s",
                       doing, ChipName().c_str(), Where().c_str(), LinkDetail().c_str()));
}

int UnitRun::Detect() {
    if (int code = Connect(); code != kExitSuccess) return code;
    Result(Printf("%s on %s", unitName_, portShown_.c_str()));
    return kExitSuccess;
}

int UnitRun::Info() {
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
    UnitFacts facts{Printf("%u.%u", version_.major, version_.minor), version_.modelLetter, "",
                    BaudRateOfSpeedCode(device_.speedCode)};
    for (int i = 0; i < kHardwareInfoSize - 1; ++i) {
        facts.hardware += Printf(i == 0 ? "%02X" : " %02X", block[i]);
    }
    outcome_.facts = facts;
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
    console_.Out(text);  // among several units, through the unit's seat
    return kExitSuccess;
}

int UnitRun::Read() {
    const TransferPlan& plan = job_.plan;
    if (int code = Connect(); code != kExitSuccess) return code;
    if (InterruptRequested()) return Interrupted("before reading");

    std::vector<std::uint8_t> bytes(plan.length);
    BeginProgress("Reading", plan.length);
    const std::int32_t result = device_.ReadChip(o_.chipType, bytes.data(), plan.chipStart,
                                                 static_cast<std::int32_t>(plan.length), this);
    if (result != kTandrelDone) return TransferFailed("reading", result);
    Summary("Read", plan.length);

    const std::string& path = output_->path();
    const std::string content =
        WriteImage(*o_.format, bytes.data(), plan.length, plan.fileStart, BaseName(path));
    std::string error;
    if (!output_->Write(content, error)) return Fail(kExitBadInput, error);
    Result(Printf("read %06X-%06X of the %s into %s (%s)", plan.chipStart,
                  plan.chipStart + plan.length - 1, ChipName().c_str(), path.c_str(),
                  ImageFormatName(*o_.format)));
    Checked(bytes.data());
    if (seat_ != nullptr) outcome_.read = std::move(bytes);
    return kExitSuccess;
}

int UnitRun::EraseWholeChip() {
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

int UnitRun::Erase() {
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

std::string UnitRun::SectorText() const {
    const std::int32_t size = Chip().sectorSize;
    return Printf("sector %d (%06X-%06X)", o_.sector, o_.sector * size, (o_.sector + 1) * size - 1);
}

int UnitRun::Blank() {
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
