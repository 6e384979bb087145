// KVTandrel: the link to the programmer unit over a serial port, and its command protocol.
//
// An object is used by one thread at a time: Vorland.exe reaches its one object only through
// the hold of a UnitLink (device/unit_presence.h), which moves from thread to thread with the
// work. Any thread may read `idle`, call RequestCancel and set stopRequested while another runs
// an operation; those three are atomic, and nothing else is shared.
//
// Results are 32-bit signed codes (kTandrel... below); the yes/no operations (EraseChip, the blank
// checks, VerifyChip) answer 1, 0 or -1. Nothing is ever retried: the first failure ends an
// operation, and LastFailure() tells what it was. Log lines go through LogPrintf to `logSink`
// when one is attached.
//
// A chip operation or a speed change that fails because the port failed or the unit stopped
// answering (LinkLost) closes the port on its way out, after trying to bring the unit back to
// 115200 baud: the link cannot be trusted any more, and the caller looks for the unit again.
//
// Buffers: every pointer argument is borrowed for the call only. An operation never reads or
// writes outside [buffer, buffer + length); a null buffer with a positive length, or a
// negative length, is refused (-18, or -1 for the yes/no operations).
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "device/log_sink.h"
#include "device/progress_sink.h"
#include "device/port_scan.h"
#include "device/tandrel_failure.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

struct ChipType;        // device/chip_types.h
struct ChangedRequest;  // device/changed_write.h
struct ChangedReport;

// Result codes shared by every operation that is not a yes/no question.
inline constexpr std::int32_t kTandrelDone = 0;
inline constexpr std::int32_t kTandrelRefused = -1;       // refused, silent, invalid reply
inline constexpr std::int32_t kTandrelNoPort = -2;        // also: any InitPort failure
inline constexpr std::int32_t kTandrelNotProgrammer = -3;
inline constexpr std::int32_t kTandrelWriteFailed = -4;
inline constexpr std::int32_t kTandrelReadFailed = -5;
inline constexpr std::int32_t kTandrelShortVersion = -7;
inline constexpr std::int32_t kTandrelEepromRefused = -8;
inline constexpr std::int32_t kTandrelChecksumMismatch = -11;
inline constexpr std::int32_t kTandrelShortData = -17;
inline constexpr std::int32_t kTandrelBadArgument = -18;
inline constexpr std::int32_t kTandrelCancelled = -19;

// Link speed codes: the rate is 921600 / (code + 1); only these four are accepted.
inline constexpr std::int32_t kSpeedCode921600 = 0;
inline constexpr std::int32_t kSpeedCode460800 = 1;
inline constexpr std::int32_t kSpeedCode230400 = 3;
inline constexpr std::int32_t kSpeedCode115200 = 7;  // ports open at this rate

// The baud rate of an accepted speed code; 0 for any other code.
[[nodiscard]] std::int32_t BaudRateOfSpeedCode(std::int32_t speedCode);

// `deviceFamily` and `capabilities` values.
inline constexpr std::int32_t kFamilyCalyxor1 = 8;  // also the value at construction
inline constexpr std::int32_t kFamilyCalyxor2 = 4;
inline constexpr std::int32_t kFamilyProgrammer = 32;
inline constexpr std::int32_t kFamilyProgrammerAlt = 16;  // also counts as a programmer family
inline constexpr std::int32_t kCapabilityEmulator = 1;
inline constexpr std::int32_t kCapabilityProgrammer = 2;

// The unit's answer to the version command, in wire order.
struct FirmwareVersion {
    std::uint8_t major;
    std::uint8_t minor;
    char modelLetter;  // '1' Calyxor I, '2' Calyxor II, 'A' Tandrel, 'F' Vorland
};
static_assert(sizeof(FirmwareVersion) == 3);

// HardwareFlags, the result of DetectHardware: one model bit, for a Tandrel maybe an interface.
inline constexpr std::uint32_t kHardwareTandrel = 0x01;
inline constexpr std::uint32_t kHardwareVorland = 0x02;
inline constexpr std::uint32_t kHardwareCalyxor2 = 0x04;
inline constexpr std::uint32_t kHardwareCalyxor1 = 0x08;
inline constexpr std::uint32_t kHardwareUsb = 0x40;
inline constexpr std::uint32_t kHardwareSerial = 0x80;
// flags & this: a supported programmer was found (the emulators are named but not supported).
inline constexpr std::uint32_t kHardwareSupportedMask = 0x03;
// flags & this: Vorland or USB Tandrel, whose link the window raises to kSpeedCode921600.
inline constexpr std::uint32_t kHardwareFastLinkMask = 0x42;

// Room for every name DetectHardware composes ("Tandrel Serial v255.255.A" is the longest).
inline constexpr std::size_t kHardwareNameSize = 32;

// The hardware information block: EEPROM addresses 1 to 7, read into 8 zeroed bytes.
inline constexpr std::int32_t kHardwareInfoSize = 8;

// The argument of VerifyChip, taken by value.
struct VerifyRequest {
    std::int32_t chipType;
    std::uint32_t address;        // first chip address of the range
    const std::uint8_t* buffer;   // borrowed; buffer[0] belongs to address
    std::int32_t length;          // bytes in the range
    std::int32_t quick;           // non-zero: compare the unit's checksum instead of reading
    ProgressSink* progress;       // borrowed, may be null
    // A full verify puts the chip's bytes here (length of them, borrowed) when not null, so that
    // the caller can tell every difference without reading the chip again.
    std::uint8_t* readBack = nullptr;
};

// 8-bit sum of the bytes; 0 for a null pointer or a length of 0 or less.
[[nodiscard]] std::uint8_t Checksum8(const std::uint8_t* data, std::int32_t length);

// Sum of i * data[i] for i from 0 to n - 1, modulo 65536; 0 for a null pointer.
[[nodiscard]] std::uint32_t WeightedChecksum16(const std::uint8_t* data, std::uint32_t n);

// Writes the model name of flags over the start of nameOut (nameSize bytes, always terminated),
// then appends " v<major>.<minor>.<letter>" when version is non-null. With no model bit set,
// nameOut keeps its text and only gets the suffix.
void FormatHardwareName(std::uint32_t flags, const FirmwareVersion* version, char* nameOut,
                        std::size_t nameSize);

class KVTandrel {
public:
    // Uses the operating system's ports and clock.
    KVTandrel();
    // ports and clock are borrowed and must outlive the object.
    KVTandrel(SerialPorts& ports, Clock& clock);
    // Closes a held port without sending or logging anything.
    ~KVTandrel();
    KVTandrel(const KVTandrel&) = delete;
    KVTandrel& operator=(const KVTandrel&) = delete;

    // Port and link (window thread).

    // Opens and configures portName at baudRate; closes a held port first (bringing the unit
    // back to 115200 baud if it was raised). 0, or -2 for any failure. A name longer than 24
    // characters cannot be remembered and counts as a port that does not exist.
    [[nodiscard]] std::int32_t InitPort(const char* portName, std::int32_t baudRate);
    // Brings the unit back to speed code 7 if needed and releases the port.
    void ClosePort();
    // Sets the read total-timeout constant of the held port: 0, -1 or -2.
    [[nodiscard]] std::int32_t SetCommReadTimeout(std::int32_t milliseconds);
    // Switches unit and port to another rate: 0, -1, -4, -5, -18, or -2 when the port did not
    // reopen at the new rate (the unit took it: speedCode says so, and the port is closed).
    [[nodiscard]] std::int32_t SetLinkSpeed(std::int32_t speedCode);

    // Identification (window thread).

    // 0, -2, -4, -5 or -7; versionOut may be null.
    [[nodiscard]] std::int32_t GetFirmwareVersion(FirmwareVersion* versionOut);
    // Reads count (1 to 256) bytes of the unit's own EEPROM into dest, which is written only
    // when the result is 0: 0, -2, -4, -5, -8, -11, -17, or -18 for a null dest or a bad count.
    [[nodiscard]] std::int32_t ReadEEPROM(std::uint8_t* dest, std::uint16_t address,
                                          std::int32_t count);
    // Reads the hardware information block into infoOut[0..6] (failed bytes keep their value):
    // 0, or -18 for a null infoOut.
    [[nodiscard]] std::int32_t GetHardwareVersion(std::uint8_t* infoOut);
    // Looks for the unit on the ports of ScanPorts (device/port_scan.h: COM1 to COM5, then
    // lastPort, then every other port that exists; or lastPort first), identifies it and names
    // it into nameOut (nameSize bytes; may be null). Returns the HardwareFlags; 0 when nothing
    // was found, versionOut is null, or stopRequested ended the scan (before a port or between
    // the exchanges that identify a unit: the port is then given up, the unit at 115200 baud).
    // `portName` then names the port that answered; a failed scan holds no port. A port silent
    // at 115200 baud is asked at the unit's faster rates too (a host that ended without setting
    // it back leaves it there); a unit found so is set back to 115200 baud first, and when that
    // fails the port is closed and the scan goes on. A port that exists but stays silent costs
    // at most 270 ms.
    [[nodiscard]] std::uint32_t DetectHardware(char* nameOut, std::size_t nameSize,
                                               FirmwareVersion* versionOut,
                                               const char* lastPort = nullptr,
                                               ScanStart start = ScanStart::kUsualOrder);
    // The same on one port only.
    [[nodiscard]] std::uint32_t DetectHardwareAt(const char* port, char* nameOut,
                                                 std::size_t nameSize, FirmwareVersion* versionOut);

    // Chip operations (worker thread). progress may be null.

    // A transfer, a quick verify's checksum frames and a sector-by-sector chip erase stop at
    // their next step when RequestCancel or stopRequested asks them to (-19, or the yes/no
    // operations' failure, with a kCancelled failure record).

    // Programs src[0..length) at chip address: 0, -1, -2, -3, -18 or -19.
    [[nodiscard]] std::int32_t WriteChip(std::int32_t chipType, const std::uint8_t* src,
                                         std::uint32_t address, std::int32_t length,
                                         ProgressSink* progress);
    // Reads chip address onwards into dest[0..length): 0, -1, -2, -3, -11, -17, -18 or -19.
    [[nodiscard]] std::int32_t ReadChip(std::int32_t chipType, std::uint8_t* dest,
                                        std::uint32_t address, std::int32_t length,
                                        ProgressSink* progress);
    // Erases 64 KiB sector 0..7 of an AM29F040: 0, -1, -2 (sector out of range) or -3.
    [[nodiscard]] std::int32_t EraseSector(std::int32_t sector);
    // Erases a 27SF512 with the whole-chip command: 0, -1 or -3.
    [[nodiscard]] std::int32_t BulkErase();
    // 1 erased (or nothing to do for a read-only type), 0 refused or a sector erase failed,
    // -1 the fill-write or the whole-chip erase failed.
    [[nodiscard]] std::int32_t EraseChip(std::int32_t chipType, ProgressSink* progress);
    // 1 all 0xFF, 0 not blank, -1 could not be checked. readBack, when given (borrowed), gets
    // the bytes read, the sector's or the chip type's size of them, so that the caller can tell
    // where the chip is not blank without reading it again.
    [[nodiscard]] std::int32_t BlankCheckSector(std::int32_t sector, ProgressSink* progress,
                                                std::uint8_t* readBack = nullptr);
    [[nodiscard]] std::int32_t BlankCheckChip(std::int32_t chipType, ProgressSink* progress,
                                              std::uint8_t* readBack = nullptr);
    // 1 the range matches, 0 it differs, -1 could not be checked. A full verify of a range
    // longer than the chip type's size is refused with -1. A quick verify compares two of the
    // unit's checksums (the range, and the range less its first byte) and reads the first block,
    // so that any single differing byte is seen; differences that cancel out in both sums can
    // still pass.
    [[nodiscard]] std::int32_t VerifyChip(VerifyRequest request);
    // Programs only the blocks of a range that the chip does not hold yet, erasing a sector
    // first where a byte needs a bit set and the whole sector is in the range
    // (device/changed_write.h): 0, -1, -2, -3, -11, -17, -18 or -19. report, when not null,
    // gets what was done, also on failure.
    [[nodiscard]] std::int32_t ProgramChanged(const ChangedRequest& request,
                                              ChangedReport* report);

    // The "Cancel Operation" button (window thread): asks a running transfer to stop at its
    // next block boundary. Does nothing while no exchange runs; a cancel that no block boundary
    // met (an erase has none) is dropped when the exchange ends.
    void RequestCancel();

    // What made the last operation fail: the first step that went wrong in it, so that a later
    // step of its way out (restoring the read timeout) cannot hide it. Cleared when an operation
    // starts; a verify also records the first difference it found. Steps whose failure an
    // operation passes over (a timeout change around a transfer, an EEPROM byte of the
    // information block, a port of the scan before the one that answered) are not recorded.
    // Read it on the thread that ran the operation, or once its completion was handed over.
    const TandrelFailure& LastFailure() const { return failure_; }

    // Fields. Only `idle` and `cancelRequested` may be touched while another thread runs an
    // operation; the rest belong to whichever thread is running one.
    std::int32_t portOpen = 0;             // 1 after InitPort succeeded
    std::unique_ptr<SerialLink> hPort;     // the open port; null when none is held
    std::int32_t deviceFamily = kFamilyCalyxor1;
    std::int32_t capabilities = kCapabilityEmulator;
    std::atomic<std::int32_t> idle{1};     // 0 while an exchange with the unit runs
    LogSink* logSink = nullptr;            // borrowed; null drops this object's log lines
    std::atomic<std::int32_t> cancelRequested{0};
    char portName[25] = {};                // the port last opened successfully
    std::int32_t speedCode = kSpeedCode115200;
    // Set (by any thread) to end the caller's whole job at its next step: a scan before its next
    // port or exchange, a transfer before its next block, a quick verify before its next frame.
    // Unlike cancelRequested, no exchange clears it: it stays set until the caller does.
    std::atomic<std::int32_t> stopRequested{0};

  private:
    // Marks a public operation while it runs. The outermost one starts with an empty failure
    // record; an operation inside another (the ReadChip of a blank check) adds to its caller's.
    // A chip operation or a speed change closes a link it found lost (see the top).
    class Operation {
    public:
      enum Kind { kKeepsPort, kClosesLostLink };
      explicit Operation(KVTandrel& device, Kind kind = kKeepsPort) : device_(device), kind_(kind) {
          if (device_.depth_++ == 0) device_.failure_ = {};
      }
      ~Operation() {
          if (--device_.depth_ == 0 && kind_ == kClosesLostLink) device_.DropLostLink();
      }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        KVTandrel& device_;
        Kind kind_;
    };
    // Keeps the failure record as it was across a step whose failure the operation passes over.
    class PassOver {
    public:
        explicit PassOver(KVTandrel& device) : device_(device), saved_(device.failure_) {}
        ~PassOver() { device_.failure_ = saved_; }
        PassOver(const PassOver&) = delete;
        PassOver& operator=(const PassOver&) = delete;

    private:
        KVTandrel& device_;
        TandrelFailure saved_;
    };

    // Writes the failure's log line, records it unless the operation already failed, and
    // returns its code.
    std::int32_t Failed(TandrelFailure failure);
    [[nodiscard]] std::int32_t OpenPort(const char* name, std::int32_t baudRate, bool restoreSpeed);
    // Releases the port without a word to the unit.
    void ReleasePort();
    // ClosePort when the failure of the operation that just ended says the link is lost; the
    // failure record stays.
    void DropLostLink();
    // What a port of the scan held. scan: the first reply that named no programmer, and the
    // failed speed reset of a raised unit, for when no programmer answers anywhere.
    struct ScanNotes {
        std::string other;
        FirmwareVersion otherVersion{};
        TandrelFailure setBack;
    };
    [[nodiscard]] bool TryScanPort(const char* name, FirmwareVersion* versionOut, ScanNotes& notes);
    // The end of a scan: identifies the unit on `found` ("" none) and names it.
    [[nodiscard]] std::uint32_t ConcludeScan(const std::string& found, const ScanNotes& notes,
                                             char* nameOut, std::size_t nameSize,
                                             FirmwareVersion* versionOut);
    // The end of a scan that found nothing, or was stopped: no port, no name, a zero version.
    [[nodiscard]] std::uint32_t ScanFoundNothing(char* nameOut, std::size_t nameSize,
                                                 FirmwareVersion* versionOut);
    // The version frame under a read timeout of timeoutMs.
    [[nodiscard]] std::int32_t AskVersion(FirmwareVersion* versionOut, std::int32_t timeoutMs);
    // After silence at 115200 baud: asks at the faster rates, changing the open port's rate;
    // true (speedCode set to the rate) when the unit answered.
    [[nodiscard]] bool FindRaisedUnit(FirmwareVersion* versionOut);
    bool IsProgrammerFamily() const;
    bool HasProgrammerCapability() const;
    void Purge();
    // Whether RequestCancel or stopRequested asks the running operation to stop.
    bool Stopping() const { return cancelRequested.load() != 0 || stopRequested.load() != 0; }
    // The end of every exchange: `idle` back to 1 and any cancel request dropped.
    void EndExchange();
    // Writes a whole frame; false when the write failed or went out only in part.
    [[nodiscard]] bool Send(const std::uint8_t* frame, std::uint32_t size);
    // One read under the timeouts in force; false when the read call failed.
    [[nodiscard]] bool Receive(std::uint8_t* data, std::uint32_t size, std::uint32_t* received);
    // Sends an erase command (the 6000 ms timeout set first) and reads its one-byte status
    // reply: 0 done, -1 refused or silent. what: the sector, for the failure record.
    [[nodiscard]] std::int32_t EraseCommand(TandrelStep step, const std::uint8_t* frame,
                                            std::uint32_t size, std::uint32_t what);
    // The sector-erase and whole-chip erase commands, inside an exchange already running.
    [[nodiscard]] std::int32_t SectorEraseCommand(std::int32_t sector);
    [[nodiscard]] std::int32_t ChipEraseCommand();
    // Why a blank check or verify refuses to start: not a programmer, no port, or else its
    // arguments.
    [[nodiscard]] TandrelProblem WhyRefused() const;
    // The start of WriteChip and ProgramChanged: refusals (not a programmer, no port) before
    // anything is sent, then the progress, the exchange, the transfer timeout and the purge,
    // then a type that cannot be written or a bad buffer. The chip's row, or null with the
    // failure's code in *result.
    [[nodiscard]] const ChipType* StartWrite(std::int32_t chipType, const std::uint8_t* src,
                                             std::int32_t length, ProgressSink* progress,
                                             std::int32_t* result);
    [[nodiscard]] std::int32_t WriteBlocks(const ChipType& chip, const std::uint8_t* src,
                                           std::uint32_t address, std::int32_t length,
                                           ProgressSink* progress);
    [[nodiscard]] std::int32_t ReadBlocks(const ChipType& chip, std::uint8_t* dest,
                                          std::uint32_t address, std::int32_t length,
                                          ProgressSink* progress);
    [[nodiscard]] std::int32_t QuickVerify(const VerifyRequest& request);
    // One 'Q' frame over the request's range from offset on, against the buffer's sum: 1, 0
    // (a mismatch, recorded with offset as its address and the frame's length as its count), -1.
    [[nodiscard]] std::int32_t CompareChipSum(const VerifyRequest& request, std::int32_t offset);
    // Asks the unit's weighted sum of length bytes from address (a 'Q' frame): 1 with *sum set,
    // or -1 (recorded as a quick verify's frame, offset as its address in the range).
    [[nodiscard]] std::int32_t AskChipSum(std::uint32_t address, std::uint32_t length,
                                          std::uint32_t offset, std::uint32_t* sum);
    friend class ChangedWriter;  // the steps of ProgramChanged (changed_write.cpp)
    // Reads length bytes of the request's range from offset on into working and compares them
    // with the buffer: 1, 0 (the first difference recorded by its offset in the range), -1.
    [[nodiscard]] std::int32_t ReadAndCompare(const VerifyRequest& request, std::int32_t offset,
                                              std::int32_t length, std::uint8_t* working);
    void StartProgress(ProgressSink* progress, std::int32_t length);
    // The common end of WriteChip and ReadChip: progress reset, 300 ms, idle, cancel cleared.
    void EndTransfer(ProgressSink* progress);
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    SerialPorts& ports_;
    Clock& clock_;
    std::mutex cancelLock_;  // makes RequestCancel's test and store one step against EndExchange
    TandrelFailure failure_;
    int depth_ = 0;  // public operations running, nested ones included
};
