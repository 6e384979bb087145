// A simulated programmer unit: it consumes the bytes a host sends and produces the replies the
// real unit would, with a chip in its socket, its own EEPROM and a line rate of its own. It has
// no clock and no port: a transport feeds it (the in-process link of simulated_port.h for
// native tests, the pseudo-terminal server of vorland-sim for Vorland.exe under Wine) and
// delivers its replies, keeping the pauses it asks for.
//
// Wire protocol understood (checksum = 8-bit sum of the frame bytes before it):
//   'V' 'V'                                   -> major, minor, model letter
//   'S' code cs                               -> 'O' and a new rate (codes 0, 1, 3, 7), else '?'
//   'H' 'R' count addrHi addrLo cs            -> count EEPROM bytes + their sum
//   digit 'R' count addr(2 or 3) cs           -> count chip bytes + their sum
//   digit 'W' count addr(2 or 3) data cs      -> 'O', or 'F' for a chip that cannot be written
//   '4' 'E' sector cs                         -> 'O' when the AM29F040 sector is erased, else 'F'
//   '5' 'E' 'z'                               -> 'O' when the 27SF512 is erased, else 'F'
//   'Q' length(3) address(3)                  -> weighted 16-bit sum of the range, high byte first
// A count byte of 0 means 256. The digit names the chip family: '2' AT29C256, '4' AM29F040 (3
// address bytes), '3' 2732A, '5' 27SF512 and the 27C EPROMs; a digit that does not match the
// chip in the socket, or a bad frame checksum, is answered '?'. Bytes that start no frame are
// ignored, and a frame left incomplete for 100 ms is dropped. Bytes sent at a rate other than
// the unit's are garbage to it and ignored. The emulator models answer only 'V'.
//
// Not thread-safe: one transport drives it; a control channel must run on the same thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A part as the unit knows it (programmer_unit.cpp).
struct UnitChip;

enum class UnitModel { kTandrelSerial, kTandrelUsb, kVorland, kCalyxor1, kCalyxor2 };

// A reply byte and the pause the unit makes before sending it, on top of the byte's wire time.
struct UnitByte {
    std::uint8_t value;
    std::uint32_t pauseUs;
};

// Injected faults. "Blocks" are chip read and write frames, counted from 0 since the faults
// were last set (SetFaults) or the unit was reset; -1 switches a fault off.
struct UnitFaults {
    bool silent = false;          // answers nothing at all
    bool refuseSpeed = false;     // answers '?' to the speed command
    bool shortVersion = false;    // sends only 2 of the 3 version bytes
    bool eepromRefused = false;   // answers '?' to EEPROM reads
    bool eepromSilent = false;    // does not answer EEPROM reads
    bool eepromBadChecksum = false;  // EEPROM replies carry a checksum off by one
    bool quickShort = false;      // sends only 1 of the 2 quick-verify bytes
    std::int32_t badChecksumBlock = -1;  // this read block's checksum byte is off by one
    std::int32_t replyBlock = -1;        // this block is answered by replyByte alone
    std::uint8_t replyByte = 'F';
    std::int32_t shortBlock = -1;        // this block's reply is cut after shortBytes bytes
    std::uint32_t shortBytes = 0;
    std::int32_t stopBlock = -1;         // from this block on the unit falls silent, after
    std::uint32_t stopBytes = 0;         // stopBytes bytes of its reply, until faults change
    std::int32_t gapBlock = -1;          // this block's reply pauses gapMs before byte gapAfter
    std::uint32_t gapAfter = 0;
    std::uint32_t gapMs = 30;
    std::int32_t eraseFailSector = -1;   // this sector erase is answered eraseFailByte
    std::uint8_t eraseFailByte = '?';
    std::int32_t bulkFailByte = -1;      // the whole-chip erase is answered this byte
    std::int32_t corruptBlock = -1;      // this write block's first byte lands with bit 0 flipped
};

// What the unit has seen, for tests and the control channel.
struct UnitCounters {
    std::uint32_t frames = 0;          // complete frames handled
    std::uint32_t blocks = 0;          // chip read and write frames since the faults were set
    std::uint32_t badFrames = 0;       // checksum or family errors answered '?'
    std::uint32_t garbledBytes = 0;    // bytes received at the wrong rate
    std::uint32_t ignoredBytes = 0;    // bytes that started no frame, or dropped partial frames
    std::uint32_t sectorErases = 0;
    std::uint32_t bulkErases = 0;
    std::uint32_t speedChanges = 0;
};

class ProgrammerUnit {
public:
    // A Vorland with an erased AM29F040 in its socket, listening at 115200 baud.
    ProgrammerUnit();

    // Identity: the version reply and the hardware information block (EEPROM 1..7) of a model.
    void SetModel(UnitModel model);
    UnitModel model() const { return model_; }
    void SetVersion(std::uint8_t major, std::uint8_t minor, char letter);
    void SetEeprom(std::uint16_t address, std::uint8_t value);
    std::uint8_t eeprom(std::uint16_t address) const;

    // Puts a chip of a type of the host's chip table in the socket: flash chips erased (0xFF),
    // EPROMs with their preset content. False for a type the unit knows no part for.
    [[nodiscard]] bool InsertChip(std::int32_t chipType);
    std::int32_t chipType() const { return chipType_; }
    // The chip's bytes; its size is the chip type's size. Writable for tests and the control
    // channel (what a programmer would have burned before).
    std::vector<std::uint8_t>& chip() { return chip_; }
    const std::vector<std::uint8_t>& chip() const { return chip_; }
    // The preset content of the read-only types: a pattern that is neither blank nor constant.
    static std::uint8_t EpromPattern(std::uint32_t address);

    void SetFaults(const UnitFaults& faults);  // also restarts the block count and the writes
    const UnitFaults& faults() const { return faults_; }
    const UnitCounters& counters() const { return counters_; }
    // The chip addresses written since the faults were set or the unit was reset, in the order
    // written: a write frame that continues the range before it extends it.
    struct WrittenRange {
        std::uint32_t first;
        std::uint32_t last;
    };
    const std::vector<WrittenRange>& writes() const { return writes_; }

    // Pause before each reply (the unit's turnaround) and the time an erase takes.
    void SetTimings(std::uint32_t turnaroundUs, std::uint32_t eraseMs);

    // Power cycle: 115200 baud, no partial frame, no faults, counters cleared. Model, chip
    // and contents stay.
    void Reset();

    std::uint32_t baudRate() const { return baudRate_; }
    // Puts the unit at one of its four rates, as a speed command would; false for any other.
    [[nodiscard]] bool SetBaudRate(std::uint32_t baudRate);
    std::int32_t speedCode() const;

    // Feeds one byte that reached the unit at timeUs, sent at hostBaud. Replies it completes
    // are appended to the output.
    void Receive(std::uint8_t byte, std::uint64_t timeUs, std::uint32_t hostBaud);
    // Hands over the reply bytes produced since the last call.
    [[nodiscard]] std::vector<UnitByte> TakeOutput();

private:
    void HandleFrame();
    void HandleChipFrame(bool write);
    void HandleEraseSector();
    void HandleBulkErase();
    void HandleQuickVerify();
    void HandleSpeed();
    void HandleEepromRead();
    void Reply(std::vector<std::uint8_t> bytes, std::uint32_t firstPauseUs = 0);
    std::size_t ExpectedFrameSize() const;
    bool IsProgrammer() const;
    char FamilyDigit() const;

    UnitModel model_ = UnitModel::kVorland;
    std::uint8_t version_[3] = {1, 0, 'F'};
    std::vector<std::uint8_t> eeprom_;
    std::int32_t chipType_ = -1;
    const UnitChip* part_ = nullptr;  // the part in the socket; set by the constructor
    std::vector<std::uint8_t> chip_;
    UnitFaults faults_;
    UnitCounters counters_;
    bool stopped_ = false;  // the stop fault has struck
    std::uint32_t turnaroundUs_ = 0;
    std::uint32_t eraseMs_ = 0;
    std::uint32_t baudRate_ = 115200;
    std::vector<std::uint8_t> frame_;  // the frame being received
    std::uint64_t lastByteUs_ = 0;
    std::vector<UnitByte> output_;
    std::vector<WrittenRange> writes_;
};
