#include "sim/unit_commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "device/chip_types.h"

namespace {

struct ModelName {
    UnitModel model;
    const char* name;
};

constexpr ModelName kModels[] = {
    {UnitModel::kTandrelSerial, "tandrel-serial"}, {UnitModel::kTandrelUsb, "tandrel-usb"},
    {UnitModel::kVorland, "vorland"},              {UnitModel::kCalyxor1, "calyxor1"},
    {UnitModel::kCalyxor2, "calyxor2"},
};

bool ParseNumber(const std::string& text, long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long result = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return false;
    *value = result;
    return true;
}

bool ParseByte(const std::string& text, std::uint8_t* value) {
    if (text.size() == 1 && std::isdigit(static_cast<unsigned char>(text[0])) == 0) {
        *value = static_cast<std::uint8_t>(text[0]);
        return true;
    }
    long number;
    if (!ParseNumber(text, &number) || number < 0 || number > 255) return false;
    *value = static_cast<std::uint8_t>(number);
    return true;
}

bool ParseIndex(const std::string& text, std::int32_t* value) {
    long number;
    if (!ParseNumber(text, &number) || number < 0 || number > 0x7FFFFFFF) return false;
    *value = static_cast<std::int32_t>(number);
    return true;
}

std::string Status(const ProgrammerUnit& unit) {
    const UnitCounters& c = unit.counters();
    std::ostringstream out;
    out << "ok model=" << UnitModelName(unit.model()) << " chip=" << unit.chipType()
        << " speed=" << unit.speedCode() << " baud=" << unit.baudRate() << " frames=" << c.frames
        << " blocks=" << c.blocks << " sector-erases=" << c.sectorErases
        << " bulk-erases=" << c.bulkErases << " speed-changes=" << c.speedChanges
        << " garbled=" << c.garbledBytes << " ignored=" << c.ignoredBytes << " bad=" << c.badFrames;
    return out.str();
}

std::string AddFault(ProgrammerUnit& unit, const std::vector<std::string>& args) {
    UnitFaults f = unit.faults();
    const std::string& name = args.size() > 1 ? args[1] : std::string();
    auto index = [&](std::size_t i, std::int32_t* out) { return i < args.size() && ParseIndex(args[i], out); };
    auto byte = [&](std::size_t i, std::uint8_t* out) { return i < args.size() && ParseByte(args[i], out); };
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::uint8_t value = 0;
    bool ok = true;
    if (name == "clear") {
        f = UnitFaults{};
    } else if (name == "silent") {
        f.silent = true;
    } else if (name == "refuse-speed") {
        f.refuseSpeed = true;
    } else if (name == "short-version") {
        f.shortVersion = true;
    } else if (name == "eeprom-refused") {
        f.eepromRefused = true;
    } else if (name == "eeprom-silent") {
        f.eepromSilent = true;
    } else if (name == "eeprom-bad-checksum") {
        f.eepromBadChecksum = true;
    } else if (name == "quick-short") {
        f.quickShort = true;
    } else if (name == "bad-checksum" && (ok = index(2, &a))) {
        f.badChecksumBlock = a;
    } else if (name == "reply" && (ok = index(2, &a) && byte(3, &value))) {
        f.replyBlock = a;
        f.replyByte = value;
    } else if (name == "short" && (ok = index(2, &a) && index(3, &b))) {
        f.shortBlock = a;
        f.shortBytes = static_cast<std::uint32_t>(b);
    } else if (name == "stop" && (ok = index(2, &a) && (args.size() < 4 || index(3, &b)))) {
        f.stopBlock = a;
        f.stopBytes = static_cast<std::uint32_t>(b);
    } else if (name == "gap" && (ok = index(2, &a) && index(3, &b))) {
        std::int32_t ms = 0;
        if (!index(4, &ms)) return "error gap needs BLOCK AFTER MS";
        f.gapBlock = a;
        f.gapAfter = static_cast<std::uint32_t>(b);
        f.gapMs = static_cast<std::uint32_t>(ms);
    } else if (name == "erase-fail" && (ok = index(2, &a) && byte(3, &value))) {
        f.eraseFailSector = a;
        f.eraseFailByte = value;
    } else if (name == "corrupt" && (ok = index(2, &a))) {
        f.corruptBlock = a;
    } else if (name == "bulk-fail" && (ok = byte(2, &value))) {
        f.bulkFailByte = value;
    } else if (ok) {
        return "error unknown fault '" + name + "'";
    }
    if (!ok) return "error bad arguments for fault " + name;
    unit.SetFaults(f);
    return "ok";
}

std::string LoadChip(ProgrammerUnit& unit, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "error cannot open " + path;
    std::vector<std::uint8_t>& chip = unit.chip();
    std::size_t read = std::fread(chip.data(), 1, chip.size(), file);
    std::fclose(file);
    return "ok " + std::to_string(read);
}

std::string DumpChip(const ProgrammerUnit& unit, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return "error cannot create " + path;
    const std::vector<std::uint8_t>& chip = unit.chip();
    std::size_t written = std::fwrite(chip.data(), 1, chip.size(), file);
    bool closed = std::fclose(file) == 0;
    if (written != chip.size() || !closed) return "error cannot write " + path;
    return "ok " + std::to_string(written);
}

}  // namespace

const char* UnitModelName(UnitModel model) {
    for (const ModelName& entry : kModels) {
        if (entry.model == model) return entry.name;
    }
    return "";
}

std::string ExecuteUnitCommand(ProgrammerUnit& unit, const std::string& line,
                               UnitCommandEffects* effects) {
    std::istringstream in(line);
    std::vector<std::string> args;
    for (std::string word; in >> word;) args.push_back(word);
    if (args.empty()) return "error empty command";
    const std::string& command = args[0];

    if (command == "ping") return "ok";
    if (command == "status") return Status(unit);
    if (command == "model" && args.size() == 2) {
        for (const ModelName& entry : kModels) {
            if (args[1] == entry.name) {
                unit.SetModel(entry.model);
                return "ok";
            }
        }
        return "error unknown model '" + args[1] + "'";
    }
    if (command == "version" && args.size() == 4) {
        std::int32_t major;
        std::int32_t minor;
        std::uint8_t letter;
        if (!ParseIndex(args[1], &major) || !ParseIndex(args[2], &minor) || major > 255 ||
            minor > 255 || !ParseByte(args[3], &letter)) {
            return "error needs MAJOR MINOR LETTER";
        }
        unit.SetVersion(static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor),
                        static_cast<char>(letter));
        return "ok";
    }
    if (command == "eeprom") {
        std::int32_t address;
        if (args.size() < 3 || !ParseIndex(args[1], &address)) return "error needs ADDRESS BYTE...";
        for (std::size_t i = 2; i < args.size(); ++i) {
            std::uint8_t value;
            if (!ParseByte(args[i], &value)) return "error bad byte '" + args[i] + "'";
            unit.SetEeprom(static_cast<std::uint16_t>(address + i - 2), value);
        }
        return "ok";
    }
    if (command == "chip" && args.size() == 2) {
        std::int32_t type = -1;
        if (!ParseIndex(args[1], &type)) {
            for (std::int32_t t = 0; t < kChipTypeCount; ++t) {
                if (args[1] == kChipTypes[t].shortName) type = t;
            }
        }
        return unit.InsertChip(type) ? "ok" : "error unknown chip '" + args[1] + "'";
    }
    if (command == "insert" && args.size() <= 2) {
        std::uint8_t value = 0;
        if (args.size() == 2 && !ParseByte(args[1], &value)) return "error bad byte '" + args[1] + "'";
        if (!unit.InsertChip(unit.chipType())) return "error no chip type in the socket";
        if (args.size() == 2) std::fill(unit.chip().begin(), unit.chip().end(), value);
        return "ok";
    }
    if (command == "fill" && args.size() == 2) {
        std::uint8_t value;
        if (!ParseByte(args[1], &value)) return "error bad byte '" + args[1] + "'";
        std::fill(unit.chip().begin(), unit.chip().end(), value);
        return "ok";
    }
    if (command == "poke") {
        std::int32_t address;
        if (args.size() < 3 || !ParseIndex(args[1], &address)) return "error needs ADDRESS BYTE...";
        std::vector<std::uint8_t>& chip = unit.chip();
        for (std::size_t i = 2; i < args.size(); ++i) {
            std::uint8_t value;
            if (!ParseByte(args[i], &value)) return "error bad byte '" + args[i] + "'";
            chip[(static_cast<std::size_t>(address) + i - 2) % chip.size()] = value;
        }
        return "ok";
    }
    if (command == "load" && args.size() == 2) return LoadChip(unit, args[1]);
    if (command == "dump" && args.size() == 2) return DumpChip(unit, args[1]);
    if (command == "fault") return AddFault(unit, args);
    if (command == "writes" && args.size() == 1) {
        std::string reply = "ok";
        char range[32];
        for (const ProgrammerUnit::WrittenRange& w : unit.writes()) {
            std::snprintf(range, sizeof range, " %06X-%06X", w.first, w.last);
            reply += range;
        }
        return reply;
    }
    if (command == "timing" && args.size() == 3) {
        std::int32_t turnaround;
        std::int32_t erase;
        if (!ParseIndex(args[1], &turnaround) || !ParseIndex(args[2], &erase)) {
            return "error needs TURNAROUND_US ERASE_MS";
        }
        unit.SetTimings(static_cast<std::uint32_t>(turnaround), static_cast<std::uint32_t>(erase));
        return "ok";
    }
    if (command == "rate" && args.size() == 2) {
        long baud;
        if (!ParseNumber(args[1], &baud) || !unit.SetBaudRate(static_cast<std::uint32_t>(baud))) {
            return "error rate wants 115200, 230400, 460800 or 921600";
        }
        return "ok";
    }
    if (command == "reset") {
        unit.Reset();
        return "ok";
    }
    if (command == "restart") {
        unit = ProgrammerUnit();
        return "ok";
    }
    if (command == "link" && args.size() == 2) {
        if (effects != nullptr) effects->link = args[1];
        return "ok";
    }
    if (command == "unlink") {
        if (effects != nullptr) effects->unlink = true;
        return "ok";
    }
    if (command == "pace" && args.size() == 2 && (args[1] == "on" || args[1] == "off")) {
        if (effects != nullptr) effects->pacing = args[1] == "on" ? 1 : 0;
        return "ok";
    }
    if (command == "quit") {
        if (effects != nullptr) effects->quit = true;
        return "ok";
    }
    return "error unknown command '" + line + "'";
}
