#include "sim/programmer_unit.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "device/chip_types.h"
#include "formats/checksums.h"

// The parts the unit can hold, as the unit itself knows them: by part name, with facts of their
// own rather than the host's chip table, so that a wrong digit or size there is refused here.
struct UnitChip {
    const char* name;
    std::uint32_t size;
    char digit;        // family digit of its frames
    bool flash;        // can be written
    bool pageWrite;    // a write replaces the bytes (the AT29C256 erases each page it programs)
    bool sectorErase;  // takes the 64 KiB sector-erase command
    bool bulkErase;    // takes the whole-chip erase command
};

namespace {

constexpr UnitChip kChips[] = {
    {"AT29C256", 0x8000, '2', true, true, false, false},
    {"AM29F040", 0x80000, '4', true, false, true, false},
    {"27SF512", 0x10000, '5', true, false, false, true},
    {"2732A", 0x1000, '3', false, false, false, false},
    {"27C128", 0x4000, '5', false, false, false, false},
    {"27C256", 0x8000, '5', false, false, false, false},
    {"27C512", 0x10000, '5', false, false, false, false},
};
constexpr std::uint32_t kSectorSize = 0x10000;
constexpr std::uint32_t kSectors = 8;
constexpr std::size_t kEepromSize = 512;
constexpr std::uint64_t kFrameDropUs = 100000;

std::uint8_t Sum(const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint8_t>(ByteSumUpdate(0, data, size));
}

// The part of a host chip type, found by the type's short name; null when the unit has none.
const UnitChip* FindUnitChip(std::int32_t chipType) {
    const ChipType* type = FindChipType(chipType);
    if (type == nullptr) return nullptr;
    for (const UnitChip& chip : kChips) {
        if (std::strcmp(chip.name, type->shortName) == 0) return &chip;
    }
    return nullptr;
}

}  // namespace

ProgrammerUnit::ProgrammerUnit() : eeprom_(kEepromSize, 0xFF) {
    SetModel(UnitModel::kVorland);
    // The AM29F040, the type with sectors. The unit has a part for every type of the host's
    // table (a test walks them all), so this cannot fail.
    static_cast<void>(InsertChip(kSectorChipType));
}

void ProgrammerUnit::SetModel(UnitModel model) {
    model_ = model;
    // Information block: model letter, hardware revision (2 bytes), host interface, serial
    // number (3 bytes).
    char letter = 'F';
    char interface = 'S';
    switch (model) {
        case UnitModel::kTandrelSerial: SetVersion(2, 5, 'A'); letter = 'A'; break;
        case UnitModel::kTandrelUsb: SetVersion(2, 5, 'A'); letter = 'A'; interface = 'U'; break;
        case UnitModel::kVorland: SetVersion(1, 0, 'F'); interface = 'U'; break;
        case UnitModel::kCalyxor1: SetVersion(1, 2, '1'); break;
        case UnitModel::kCalyxor2: SetVersion(2, 0, '2'); break;
    }
    const std::uint8_t block[7] = {static_cast<std::uint8_t>(letter), 1, 3,
                                   static_cast<std::uint8_t>(interface), 0x12, 0x34, 0x56};
    for (std::uint16_t i = 0; i < 7; ++i) SetEeprom(static_cast<std::uint16_t>(i + 1), block[i]);
}

void ProgrammerUnit::SetVersion(std::uint8_t major, std::uint8_t minor, char letter) {
    version_[0] = major;
    version_[1] = minor;
    version_[2] = static_cast<std::uint8_t>(letter);
}

void ProgrammerUnit::SetEeprom(std::uint16_t address, std::uint8_t value) {
    eeprom_[address % kEepromSize] = value;
}

std::uint8_t ProgrammerUnit::eeprom(std::uint16_t address) const {
    return eeprom_[address % kEepromSize];
}

std::uint8_t ProgrammerUnit::EpromPattern(std::uint32_t address) {
    return static_cast<std::uint8_t>((address * 7) ^ (address >> 8) ^ 0x5A);
}

bool ProgrammerUnit::InsertChip(std::int32_t chipType) {
    const UnitChip* chip = FindUnitChip(chipType);
    if (chip == nullptr) return false;
    chipType_ = chipType;
    part_ = chip;
    chip_.assign(chip->size, 0xFF);
    if (!chip->flash) {
        for (std::uint32_t i = 0; i < chip->size; ++i) chip_[i] = EpromPattern(i);
    }
    return true;
}

void ProgrammerUnit::SetFaults(const UnitFaults& faults) {
    faults_ = faults;
    counters_.blocks = 0;
    writes_.clear();
    stopped_ = false;
}

void ProgrammerUnit::SetTimings(std::uint32_t turnaroundUs, std::uint32_t eraseMs) {
    turnaroundUs_ = turnaroundUs;
    eraseMs_ = eraseMs;
}

void ProgrammerUnit::Reset() {
    baudRate_ = 115200;
    frame_.clear();
    output_.clear();
    faults_ = UnitFaults{};
    counters_ = UnitCounters{};
    writes_.clear();
    stopped_ = false;
}

bool ProgrammerUnit::SetBaudRate(std::uint32_t baudRate) {
    if (baudRate != 115200 && baudRate != 230400 && baudRate != 460800 && baudRate != 921600) {
        return false;
    }
    baudRate_ = baudRate;
    frame_.clear();
    return true;
}

std::int32_t ProgrammerUnit::speedCode() const {
    return static_cast<std::int32_t>(921600 / baudRate_) - 1;
}

bool ProgrammerUnit::IsProgrammer() const {
    return model_ != UnitModel::kCalyxor1 && model_ != UnitModel::kCalyxor2;
}

char ProgrammerUnit::FamilyDigit() const {
    return part_->digit;
}

std::vector<UnitByte> ProgrammerUnit::TakeOutput() { return std::exchange(output_, {}); }

void ProgrammerUnit::Reply(std::vector<std::uint8_t> bytes, std::uint32_t firstPauseUs) {
    if (faults_.silent || stopped_) return;
    std::uint32_t pause = turnaroundUs_ + firstPauseUs;
    for (std::uint8_t b : bytes) {
        output_.push_back(UnitByte{b, pause});
        pause = 0;
    }
}

// 0 while the frame's length is not known yet.
std::size_t ProgrammerUnit::ExpectedFrameSize() const {
    const std::uint8_t first = frame_[0];
    switch (first) {
        case 'V': return 2;
        case 'S': return 3;
        case 'H': return 6;
        case 'Q': return 7;
        default: break;
    }
    if (frame_.size() < 2) return 0;
    const std::uint8_t command = frame_[1];
    const std::size_t header = first == '4' ? 6 : 5;  // digit, command, count, address
    if (command == 'R') return header + 1;
    if (command == 'E') return first == '4' ? 4 : 3;
    if (command == 'W') {
        if (frame_.size() < 3) return 0;
        std::size_t count = frame_[2] == 0 ? 256 : frame_[2];
        return header + count + 1;
    }
    return 0;
}

namespace {

bool StartsFrame(std::uint8_t byte) {
    switch (byte) {
        case 'V': case 'S': case 'H': case 'Q': case '2': case '3': case '4': case '5': return true;
        default: return false;
    }
}

// Whether the second byte can follow the first in a frame.
bool ValidSecond(std::uint8_t first, std::uint8_t second) {
    switch (first) {
        case 'V': return second == 'V';
        case 'H': return second == 'R';
        case 'S': case 'Q': return true;
        case '4': return second == 'R' || second == 'W' || second == 'E';
        case '5': return second == 'R' || second == 'W' || second == 'E';
        default: return second == 'R' || second == 'W';
    }
}

}  // namespace

void ProgrammerUnit::Receive(std::uint8_t byte, std::uint64_t timeUs, std::uint32_t hostBaud) {
    if (hostBaud != baudRate_) {
        // Noise at this rate; it also spoils whatever frame was coming in.
        ++counters_.garbledBytes;
        counters_.ignoredBytes += static_cast<std::uint32_t>(frame_.size());
        frame_.clear();
        return;
    }
    if (!frame_.empty() && timeUs - lastByteUs_ > kFrameDropUs) {
        counters_.ignoredBytes += static_cast<std::uint32_t>(frame_.size());
        frame_.clear();
    }
    lastByteUs_ = timeUs;
    if (frame_.empty()) {
        if (!StartsFrame(byte)) {
            ++counters_.ignoredBytes;
            return;
        }
    } else if (frame_.size() == 1 && !ValidSecond(frame_[0], byte)) {
        ++counters_.ignoredBytes;
        frame_.clear();
        if (StartsFrame(byte)) frame_.push_back(byte);
        return;
    }
    frame_.push_back(byte);
    std::size_t expected = ExpectedFrameSize();
    if (expected != 0 && frame_.size() >= expected) {
        ++counters_.frames;
        HandleFrame();
        frame_.clear();
    }
}

void ProgrammerUnit::HandleFrame() {
    const std::uint8_t first = frame_[0];
    if (first == 'V') {
        std::vector<std::uint8_t> reply(version_, version_ + 3);
        if (faults_.shortVersion) reply.pop_back();
        Reply(std::move(reply));
        return;
    }
    if (!IsProgrammer()) return;  // the emulators speak another protocol
    switch (first) {
        case 'S': HandleSpeed(); return;
        case 'H': HandleEepromRead(); return;
        case 'Q': HandleQuickVerify(); return;
        default: break;
    }
    switch (frame_[1]) {
        case 'R': HandleChipFrame(false); return;
        case 'W': HandleChipFrame(true); return;
        default: break;
    }
    if (first == '4') {
        HandleEraseSector();
    } else if (first == '5' && frame_[2] == 'z') {
        HandleBulkErase();
    } else {
        ++counters_.badFrames;
        Reply({'?'});
    }
}

void ProgrammerUnit::HandleSpeed() {
    const std::uint8_t code = frame_[1];
    bool known = code == 0 || code == 1 || code == 3 || code == 7;
    if (!known || frame_[2] != Sum(frame_.data(), 2) || faults_.refuseSpeed) {
        ++counters_.badFrames;
        Reply({'?'});
        return;
    }
    Reply({'O'});
    // The acknowledgement still goes out at the old rate; the transport sends bytes produced
    // before this point at the rate they were produced at.
    baudRate_ = 921600 / (code + 1u);
    ++counters_.speedChanges;
}

void ProgrammerUnit::HandleEepromRead() {
    if (frame_[5] != Sum(frame_.data(), 5)) {
        ++counters_.badFrames;
        Reply({'?'});
        return;
    }
    if (faults_.eepromSilent) return;
    if (faults_.eepromRefused) {
        Reply({'?'});
        return;
    }
    std::size_t count = frame_[2] == 0 ? 256 : frame_[2];
    auto address = static_cast<std::uint16_t>(frame_[3] << 8 | frame_[4]);
    std::vector<std::uint8_t> reply;
    for (std::size_t i = 0; i < count; ++i) {
        reply.push_back(eeprom(static_cast<std::uint16_t>(address + i)));
    }
    std::uint8_t sum = Sum(reply.data(), count);
    reply.push_back(faults_.eepromBadChecksum ? static_cast<std::uint8_t>(sum + 1) : sum);
    Reply(std::move(reply));
}

void ProgrammerUnit::HandleChipFrame(bool write) {
    const bool wide = frame_[0] == '4';
    const std::size_t header = wide ? 6 : 5;
    const std::size_t size = frame_.size();
    if (frame_[size - 1] != Sum(frame_.data(), size - 1) || frame_[0] != FamilyDigit()) {
        ++counters_.badFrames;
        Reply({'?'});
        return;
    }
    const std::int32_t block = static_cast<std::int32_t>(counters_.blocks++);
    const std::uint32_t count = frame_[2] == 0 ? 256 : frame_[2];
    std::uint32_t address = wide ? (frame_[3] << 16 | frame_[4] << 8 | frame_[5])
                                 : (frame_[3] << 8 | frame_[4]);
    const UnitChip& chip = *part_;
    const std::uint32_t mask = chip.size - 1;  // address lines beyond the chip are not wired

    std::vector<std::uint8_t> reply;
    if (write) {
        if (!chip.flash) {
            reply.push_back('F');
        } else {
            for (std::uint32_t i = 0; i < count; ++i) {
                std::uint8_t& cell = chip_[(address + i) & mask];
                std::uint8_t value = frame_[header + i];
                // Programming can only clear bits; only the page-write chip replaces them.
                cell = chip.pageWrite ? value : static_cast<std::uint8_t>(cell & value);
            }
            if (block == faults_.corruptBlock) chip_[address & mask] ^= 0x01;
            const std::uint32_t last = address + count - 1;
            if (!writes_.empty() && writes_.back().last + 1 == address) {
                writes_.back().last = last;
            } else {
                writes_.push_back({address, last});
            }
            reply.push_back('O');
        }
    } else {
        for (std::uint32_t i = 0; i < count; ++i) reply.push_back(chip_[(address + i) & mask]);
        std::uint8_t sum = Sum(reply.data(), count);
        if (block == faults_.badChecksumBlock) ++sum;
        reply.push_back(sum);
    }

    if (block == faults_.replyBlock) reply.assign(1, faults_.replyByte);
    if (block == faults_.shortBlock) reply.resize(std::min<std::size_t>(reply.size(), faults_.shortBytes));
    bool stopping = faults_.stopBlock >= 0 && block >= faults_.stopBlock;
    if (stopping) reply.resize(std::min<std::size_t>(reply.size(), faults_.stopBytes));
    const std::size_t before = output_.size();
    Reply(std::move(reply));
    if (block == faults_.gapBlock && before + faults_.gapAfter < output_.size()) {
        output_[before + faults_.gapAfter].pauseUs += faults_.gapMs * 1000;
    }
    if (stopping) stopped_ = true;
}

void ProgrammerUnit::HandleEraseSector() {
    if (frame_[3] != Sum(frame_.data(), 3)) {
        ++counters_.badFrames;
        Reply({'?'});
        return;
    }
    const std::int32_t sector = frame_[2];
    if (sector == faults_.eraseFailSector) {
        Reply({faults_.eraseFailByte});
        return;
    }
    if (!part_->sectorErase || sector >= static_cast<std::int32_t>(kSectors)) {
        Reply({'F'});
        return;
    }
    std::fill_n(chip_.begin() + sector * kSectorSize, kSectorSize, 0xFF);
    ++counters_.sectorErases;
    Reply({'O'}, eraseMs_ * 1000);
}

void ProgrammerUnit::HandleBulkErase() {
    if (faults_.bulkFailByte >= 0) {
        Reply({static_cast<std::uint8_t>(faults_.bulkFailByte)});
        return;
    }
    if (!part_->bulkErase) {
        Reply({'F'});
        return;
    }
    std::fill(chip_.begin(), chip_.end(), 0xFF);
    ++counters_.bulkErases;
    Reply({'O'}, eraseMs_ * 1000);
}

void ProgrammerUnit::HandleQuickVerify() {
    const std::uint32_t length = frame_[1] << 16 | frame_[2] << 8 | frame_[3];
    const std::uint32_t address = frame_[4] << 16 | frame_[5] << 8 | frame_[6];
    const std::uint32_t mask = static_cast<std::uint32_t>(chip_.size()) - 1;
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < length; ++i) sum += i * chip_[(address + i) & mask];
    std::vector<std::uint8_t> reply = {static_cast<std::uint8_t>(sum >> 8),
                                       static_cast<std::uint8_t>(sum)};
    if (faults_.quickShort) reply.pop_back();
    Reply(std::move(reply));
}
