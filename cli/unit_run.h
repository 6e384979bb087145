// One unit's part of a vorland-cli command: find the unit on its port, raise the link, run the
// operation with its progress, and close the port, which brings a raised unit back to 115200
// baud. The arguments and files were checked before (CliJob), so that a bad image or range is
// refused before any unit is touched. Portable.
//
// Threading: a UnitRun belongs to the thread that runs it; several may run at once, one per
// unit, each with its own KVTandrel. They share only the options, the job, the environment's
// ports and clock (the system's are thread-safe) and the console (through a GangSeat when
// several run), all read-only or locked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_environment.h"
#include "cli/json_records.h"
#include "cli/output_file.h"
#include "cli/progress_line.h"
#include "cli/ranges.h"
#include "device/kvtandrel.h"
#include "formats/checksums.h"

class GangSeat;

// What a command needs before a unit is touched, shared read-only by every unit's run.
struct CliJob {
    TransferPlan plan{};              // read, program, verify
    std::vector<std::uint8_t> bytes;  // program, verify: the image over the file range
    // program with --serial-at: where each chip's number goes in bytes.
    std::optional<std::uint32_t> serialOffset;
};

// How a unit's run ended, for the table of several units.
struct UnitOutcome {
    int code = 0;                     // the unit's exit status (CliExit)
    std::uint32_t hardwareFlags = 0;  // what DetectHardware found
    std::string unit;                 // its name; "" when nothing answered
    bool checked = false;             // the chip holds what was read, programmed or verified
    ChecksumResults checksums;        // of those bytes, over the job's chip range
    std::vector<std::uint8_t> read;   // read: the bytes read
    std::string message;              // why it failed, as the terminal shows it
    std::optional<UnitFacts> facts;   // info
    // program with a serial number that failed: whether the chip surely does not carry the
    // number (nothing of it was written, or the verify read a difference), so that it may be
    // given again.
    bool numberBack = false;
};

// The word for how a unit's run ended: "verified", "differs", "no programmer", ...
[[nodiscard]] std::string ResultWord(const CliOptions& o, int code);

// DetectHardware scans COM1 to COM5, then every other COM port that exists. With a port given,
// the scan's COM1 opens that port and the other names nothing (nor exist), so the unit is
// identified there and no other port is touched; a speed change reopens "COM1" and so the same port. It also lets a device path
// longer than KVTandrel's 24-character port name be used.
class SinglePortScan final : public SerialPorts {
  public:
    SinglePortScan(SerialPorts& ports, std::string device)
        : ports_(ports), device_(std::move(device)) {}
    std::unique_ptr<SerialLink> Open(const char* name) override;

  private:
    SerialPorts& ports_;
    std::string device_;
};

class UnitRun final : public ProgressSink {
  public:
    // port: "" for the scan of the COM ports; output: read's file (borrowed, probed); console:
    // where its text goes (the environment's, or the seat's); seat: its place among several
    // units, null when it runs alone.
    UnitRun(const CliOptions& options, CliEnvironment& env, std::string port, const CliJob& job,
            const OutputFile* output, CliConsole& console, GangSeat* seat);
    ~UnitRun() override;
    UnitRun(const UnitRun&) = delete;
    UnitRun& operator=(const UnitRun&) = delete;

    // Runs the command, then closes the port: the exit status.
    int Run();
    // The first step of a production round: finds the unit (unless still found) and, when the
    // chips are stamped, looks whether the socket still holds a chip stamped with this image;
    // then skipText() says so and the unit sits the round out. The exit status: 0 when the
    // unit is there.
    int Prepare(unsigned round);
    // "COM3 still holds the chip of round 2 (serial 1005): insert a new chip"; "" when the
    // socket holds a chip to program.
    const std::string& skipText() const { return skipText_; }
    // Programs one chip of a production run: bytes (the image with its number, when serial is
    // set) instead of the job's. The unit stays found and raised for the next round unless the
    // link failed. Finish closes the port at the end: the exit status of that.
    int RunRound(const std::vector<std::uint8_t>& bytes, std::optional<std::uint64_t> serial,
                 unsigned round);
    int Finish() {
        outcome_.code = Disconnect(outcome_.code);
        return outcome_.code;
    }
    const UnitOutcome& outcome() const { return outcome_; }
    // The result as json_records.h writes it.
    ChipRecord Record() const;
    // The record written before the chip is programmed with bytes (result "started").
    ChipRecord StartRecord(const std::vector<std::uint8_t>& bytes,
                           std::optional<std::uint64_t> serial, unsigned round) const;

    // The LogLineWriter that hands the link's lines to the UnitRun whose sink they name; the
    // caller installs it for as long as any UnitRun lives.
    static void WriteLinkLine(void* edit, const char* line);

    // ProgressSink: the device reports each block; the interrupt is passed on from here, on
    // this thread, so that no other thread ever touches the device.
    void SetRange(std::int32_t, std::int32_t) override {}
    void SetStep(std::int32_t) override {}
    void SetPos(std::int32_t) override {}
    void StepIt() override;
    void SetText(const char*) override { PassOnInterrupt(); }

  private:
    void LinkLine(const char* line);
    std::uint32_t Now() { return env_.clock.TickCount(); }
    void PassOnInterrupt();
    void ErrText(const std::string& text);
    void Note(const std::string& text);
    int Fail(int code, const std::string& text);
    void Result(const std::string& text);

    // Progress of one operation: total bytes, one step a block; or total steps named stepName.
    void BeginProgress(const std::string& label, std::uint64_t total,
                       const char* stepName = nullptr);
    // "Read 512 KiB in 6.1 s (86.1 KiB/s)."
    void Summary(const char* verb, std::uint64_t bytes);

    void ResetOutcome();
    int CheckSocket();
    void Programmed(int code);
    int ProgramChip();
    int Execute();
    int Connect();
    int Disconnect(int code);

    int Detect();
    int Info();
    int Read();
    int Program();
    int Verify();
    int Erase();
    int Blank();
    int EraseWholeChip();
    int VerifyRange(bool asPart, bool changed = false);
    int WriteWhatDiffers(bool* whole);
    std::string DifferenceReport(const std::vector<std::uint8_t>& chip) const;
    void Checked(const std::uint8_t* bytes);

    int Interrupted(const std::string& what);
    int TransferFailed(const char* doing, std::int32_t code);
    int CheckFailed(const char* doing);
    std::string LinkDetail() const;
    // The chip type of a command that needs one (the options make sure it is given).
    const ChipType& Chip() const;
    std::string ChipName() const;
    // "sector 3 (030000-03FFFF)".
    std::string SectorText() const;
    std::string Where() const;

    const CliOptions& o_;
    CliEnvironment& env_;
    std::string port_;
    const CliJob& job_;
    const std::vector<std::uint8_t>* bytes_;  // program, verify: the job's, or a round's
    std::optional<std::uint64_t> serial_;     // the number in them
    std::optional<unsigned> round_;
    const OutputFile* output_;
    CliConsole& console_;
    GangSeat* seat_;
    SinglePortScan scan_;
    KVTandrel device_;
    LogSink sink_{0, nullptr, this};
    ProgressMeter meter_;
    bool showMeter_;
    std::int32_t steps_ = 0;
    std::uint32_t stepBytes_ = 256;
    std::uint32_t startMs_ = 0;
    bool connected_ = false;  // the port may be open
    bool ready_ = false;      // the unit was found and its link raised
    FirmwareVersion version_{};
    char unitName_[kHardwareNameSize] = {};
    std::string portShown_;
    UnitOutcome outcome_;
    std::string skipText_;
    bool programmingStarted_ = false;  // the round's first block was sent
    std::vector<std::pair<std::uint64_t, unsigned>> stamped_;  // numbers this unit programmed,
                                                               // with their rounds
};
