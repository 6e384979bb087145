#include "cli/options.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/progress_line.h"
#include "device/chip_types.h"
#include "formats/text_format.h"

namespace {

std::string Lower(std::string_view text) {
    std::string result;
    for (char c : text) result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

std::string ChipNameList() {
    std::string list;
    for (std::int32_t i = 0; i < kChipTypeCount; ++i) {
        if (i > 0) list += ", ";
        list += ChipShortName(i);
    }
    return list;
}

struct CommandName {
    const char* name;
    CliCommand command;
};
constexpr CommandName kCommands[] = {
    {"detect", CliCommand::kDetect}, {"info", CliCommand::kInfo},
    {"read", CliCommand::kRead},     {"program", CliCommand::kProgram},
    {"verify", CliCommand::kVerify}, {"erase", CliCommand::kErase},
    {"blank", CliCommand::kBlank},   {"compare", CliCommand::kCompare},
};

const char* CommandText(CliCommand command) {
    for (const CommandName& c : kCommands) {
        if (c.command == command) return c.name;
    }
    return "";
}

bool UsesFile(CliCommand c) {
    return c == CliCommand::kRead || c == CliCommand::kProgram || c == CliCommand::kVerify;
}

// The option names, what each needs, and which commands take it.
enum class Opt {
    kPort,
    kPorts,
    kAll,
    kChip,
    kChipRange,
    kFileRange,
    kFormat,
    kFill,
    kErase,
    kChangedOnly,
    kNoVerify,
    kQuick,
    kSector,
    kBaud,
    kQuiet,
    kVerbose,
    kJson,
    kSerialAt,
    kSerialStart,
    kSerialStep,
    kSerialFormat,
    kSerialFile,
    kIfBusy,
    kRepeat,
    kLog,
    kHelp,
    kVersion
};
struct OptionInfo {
    const char* name;
    char shortName;
    bool takesValue;
    Opt id;
};
constexpr OptionInfo kOptions[] = {
    {"port", 'p', true, Opt::kPort},
    {"ports", 0, true, Opt::kPorts},
    {"all", 0, false, Opt::kAll},
    {"chip", 'c', true, Opt::kChip},
    {"chip-range", 0, true, Opt::kChipRange},
    {"file-range", 0, true, Opt::kFileRange},
    {"format", 'f', true, Opt::kFormat},
    {"fill", 0, true, Opt::kFill},
    {"erase", 0, false, Opt::kErase},
    {"changed-only", 0, false, Opt::kChangedOnly},
    {"no-verify", 0, false, Opt::kNoVerify},
    {"quick", 0, false, Opt::kQuick},
    {"sector", 0, true, Opt::kSector},
    {"baud", 0, true, Opt::kBaud},
    {"quiet", 'q', false, Opt::kQuiet},
    {"verbose", 'v', false, Opt::kVerbose},
    {"json", 0, false, Opt::kJson},
    {"serial-at", 0, true, Opt::kSerialAt},
    {"serial-start", 0, true, Opt::kSerialStart},
    {"serial-step", 0, true, Opt::kSerialStep},
    {"serial-format", 0, true, Opt::kSerialFormat},
    {"serial-file", 0, true, Opt::kSerialFile},
    {"repeat", 0, false, Opt::kRepeat},
    {"if-busy", 0, true, Opt::kIfBusy},
    {"log", 0, true, Opt::kLog},
    {"help", 'h', false, Opt::kHelp},
    {"version", 0, false, Opt::kVersion},
};

const OptionInfo* FindOption(std::string_view name, char shortName) {
    for (const OptionInfo& option : kOptions) {
        if (shortName != 0 ? option.shortName == shortName : name == option.name) return &option;
    }
    return nullptr;
}

// What the parser has seen, before the checks between the options.
struct Seen {
    bool chipRange = false, fileRange = false, format = false, fill = false, erase = false;
    bool noVerify = false, quick = false, sector = false, all = false, changedOnly = false;
    const char* serialOption = nullptr;  // a --serial-* option other than --serial-at
};

void AddPort(CliOptions& o, const std::string& port) {
    for (const std::string& known : o.ports) {
        if (known == port) return;
    }
    o.ports.push_back(port);
}

bool ApplyOption(const OptionInfo& option, const std::string& value, CliOptions& o, Seen& seen,
                 std::string& error) {
    const std::string shown = std::string("--") + option.name;
    switch (option.id) {
        case Opt::kPort:
            if (value.empty()) {
                error = "--port needs a port name, such as COM3 or /dev/ttyUSB0";
                return false;
            }
            AddPort(o, value);
            o.several = o.several || value.find_first_of("*?[") != std::string::npos;
            return true;
        case Opt::kPorts: {
            o.several = true;
            std::size_t start = 0;
            for (;;) {
                const std::size_t comma = value.find(',', start);
                std::string name = value.substr(start, comma - start);
                name.erase(0, name.find_first_not_of(' '));
                name.erase(name.find_last_not_of(' ') + 1);
                if (name.empty()) {
                    error =
                        "--ports wants port names separated by commas, such as COM3,COM4, "
                        "not '" +
                        value + "'";
                    return false;
                }
                AddPort(o, name);
                if (comma == std::string::npos) return true;
                start = comma + 1;
            }
        }
        case Opt::kAll: o.all = seen.all = true; return true;
        case Opt::kChip:
            o.chipType = FindChipTypeByName(value);
            if (o.chipType < 0) {
                error = "unknown chip type '" + value + "' (one of " + ChipNameList() + ")";
                return false;
            }
            return true;
        case Opt::kChipRange:
        case Opt::kFileRange: {
            HexRange range{};
            if (!ParseHexRange(value, range)) {
                error =
                    shown + " wants START-END or START+LENGTH in hexadecimal, not '" + value + "'";
                return false;
            }
            (option.id == Opt::kChipRange ? o.chipRange : o.fileRange) = range;
            (option.id == Opt::kChipRange ? seen.chipRange : seen.fileRange) = true;
            return true;
        }
        case Opt::kFormat:
            o.format = ImageFormatFromName(value);
            if (!o.format) {
                error = "unknown image format '" + value + "' (bin, hex or srec)";
                return false;
            }
            seen.format = true;
            return true;
        case Opt::kFill: {
            std::uint32_t fill = 0;
            if (!ParseHexNumber(value, fill) || fill > 0xFF) {
                error = "--fill wants one byte in hexadecimal (00 to FF), not '" + value + "'";
                return false;
            }
            o.fill = static_cast<std::uint8_t>(fill);
            seen.fill = true;
            return true;
        }
        case Opt::kSector:
            if (value.size() != 1 || value[0] < '0' || value[0] >= '0' + kSectorChip.sectorCount) {
                error = Printf("--sector wants a sector number from 0 to %d, not '%s'",
                               kSectorChip.sectorCount - 1, value.c_str());
                return false;
            }
            o.sector = value[0] - '0';
            seen.sector = true;
            return true;
        case Opt::kBaud: {
            char* end = nullptr;
            const unsigned long baud = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' ||
                (baud != 115200 && baud != 230400 && baud != 460800 && baud != 921600)) {
                error = "--baud wants 115200, 230400, 460800 or 921600, not '" + value + "'";
                return false;
            }
            o.baud = static_cast<std::uint32_t>(baud);
            return true;
        }
        case Opt::kErase: o.erase = seen.erase = true; return true;
        case Opt::kChangedOnly: o.changedOnly = seen.changedOnly = true; return true;
        case Opt::kNoVerify:
            o.verify = false;
            seen.noVerify = true;
            return true;
        case Opt::kQuick: o.quick = seen.quick = true; return true;
        case Opt::kSerialAt:
            o.serialAt = 0;
            if (!ParseHexNumber(value, *o.serialAt)) {
                error = "--serial-at wants an image address in hexadecimal, not '" + value + "'";
                return false;
            }
            return true;
        case Opt::kSerialStart:
        case Opt::kSerialStep: {
            std::uint64_t& number = option.id == Opt::kSerialStart ? o.serialStart : o.serialStep;
            if (!ParseSerialNumber(value, number) ||
                (option.id == Opt::kSerialStep && number == 0)) {
                error = shown + " wants a number (decimal, or hex after 0x)" +
                        (option.id == Opt::kSerialStep ? " from 1 on" : "") + ", not '" + value +
                        "'";
                return false;
            }
            if (option.id == Opt::kSerialStart) o.serialStartGiven = true;
            seen.serialOption = option.name;
            return true;
        }
        case Opt::kIfBusy:
            if (value != "wait" && value != "stop") {
                error = "--if-busy wants wait or stop, not '" + value + "'";
                return false;
            }
            o.waitWhenBusy = value == "wait";
            return true;
        case Opt::kSerialFormat:
            if (!ParseSerialFormat(value, o.serialFormat)) {
                error =
                    "--serial-format wants le16, be16, le32, be32, dec:DIGITS or hex:DIGITS, "
                    "not '" +
                    value + "'";
                return false;
            }
            seen.serialOption = option.name;
            return true;
        case Opt::kSerialFile:
        case Opt::kLog:
            if (value.empty()) {
                error = shown + " needs a file name";
                return false;
            }
            (option.id == Opt::kLog ? o.logFile : o.serialFile) = value;
            if (option.id == Opt::kSerialFile) seen.serialOption = option.name;
            return true;
        case Opt::kRepeat: o.repeat = true; return true;
        case Opt::kJson: o.json = true; return true;
        case Opt::kQuiet: o.quiet = true; return true;
        case Opt::kVerbose: o.verbose = true; return true;
        case Opt::kHelp: o.command = CliCommand::kHelp; return true;
        case Opt::kVersion: o.command = CliCommand::kVersion; return true;
    }
    return false;
}

std::optional<ImageFormat> FormatOf(const CliOptions& o, const std::string& file,
                                   std::string& error) {
    std::optional<ImageFormat> format = o.format ? o.format : ImageFormatFromPath(file);
    if (!format) {
        error = "cannot tell the format of '" + file +
                "' from its name: add --format bin, hex or srec";
    }
    return format;
}

// compare works on files alone: nothing that names a unit or a chip applies.
bool CheckCompare(const CliOptions& o, std::string& error) {
    if (!o.ports.empty() || o.chipType >= 0 || o.baud != 0) {
        error = "compare works on files alone: --port, --chip and --baud do not apply";
        return false;
    }
    if (o.file.empty() || o.otherFile.empty()) {
        error = "compare needs two files: compare A B";
        return false;
    }
    return FormatOf(o, o.file, error) && FormatOf(o, o.otherFile, error);
}

// The checks between command, file and options.
bool CheckCombination(CliOptions& o, const Seen& seen, std::string& error) {
    const CliCommand c = o.command;
    const std::string name = CommandText(c);
    auto refuse = [&](bool given, const char* option, const char* commands) {
        if (given) {
            error =
                std::string(option) + " does not apply to " + name + " (only to " + commands + ")";
        }
        return !given;
    };
    const bool compare = c == CliCommand::kCompare;
    if (!UsesFile(c) && (!refuse(seen.chipRange, "--chip-range", "read, program and verify") ||
                         !refuse(seen.fileRange, "--file-range", "read, program and verify") ||
                         (!compare &&
                          !refuse(seen.format, "--format", "read, program, verify and compare")))) {
        return false;
    }
    const bool imageIn = c == CliCommand::kProgram || c == CliCommand::kVerify || compare;
    if ((!imageIn && !refuse(seen.fill, "--fill", "program, verify and compare")) ||
        (c != CliCommand::kProgram && !refuse(seen.erase, "--erase", "program")) ||
        (c != CliCommand::kProgram && !refuse(seen.changedOnly, "--changed-only", "program")) ||
        (c != CliCommand::kProgram && !refuse(seen.noVerify, "--no-verify", "program")) ||
        (c != CliCommand::kProgram && c != CliCommand::kVerify &&
         !refuse(seen.quick, "--quick", "program and verify")) ||
        (c != CliCommand::kErase && c != CliCommand::kBlank &&
         !refuse(seen.sector, "--sector", "erase and blank"))) {
        return false;
    }
    if (c != CliCommand::kDetect && !refuse(seen.all, "--all", "detect")) return false;
    const std::string serialOption =
        std::string("--") + (seen.serialOption != nullptr ? seen.serialOption : "serial-at");
    if (c != CliCommand::kProgram &&
        (!refuse(o.serialAt || seen.serialOption != nullptr, serialOption.c_str(), "program") ||
         !refuse(o.repeat, "--repeat", "program") ||
         !refuse(!o.logFile.empty(), "--log", "program"))) {
        return false;
    }
    if (seen.serialOption != nullptr && !o.serialAt) {
        error = std::string("--") + seen.serialOption +
                " needs --serial-at: the image address the number goes to";
        return false;
    }
    if (seen.erase && seen.changedOnly) {
        error =
            "--erase rewrites the whole chip, --changed-only only what differs: give one of them";
        return false;
    }
    if (seen.changedOnly && seen.noVerify) {
        // The verify is what finds the blocks whose checksums matched although their bytes did
        // not; without it --changed-only could leave such a block unwritten.
        error = "--changed-only verifies the whole range afterwards: it cannot be given with "
                "--no-verify";
        return false;
    }
    if (seen.quick && seen.noVerify) {
        error = "--quick chooses how to verify, --no-verify not to: give one of them";
        return false;
    }

    if (compare) return CheckCompare(o, error);
    const bool needsChip = c != CliCommand::kDetect && c != CliCommand::kInfo;
    if (needsChip && o.chipType < 0) {
        error = name + " needs the chip type: --chip TYPE (one of " + ChipNameList() + ")";
        return false;
    }
    const ChipType* chip = FindChipType(o.chipType);
    if (chip != nullptr && !chip->programmable() &&
        (c == CliCommand::kProgram || c == CliCommand::kErase)) {
        error = "the " + ChipShortName(o.chipType) + " is read-only: it cannot be " +
                (c == CliCommand::kProgram ? "programmed" : "erased");
        return false;
    }
    if (seen.sector && (chip == nullptr || chip->sectorCount == 0)) {
        error =
            std::string("--sector needs a chip with sectors (the ") + kSectorChip.shortName + ")";
        return false;
    }

    if (UsesFile(c)) {
        if (o.file.empty()) {
            error = name + " needs a FILE";
            return false;
        }
        o.format = FormatOf(o, o.file, error);
        if (!o.format) return false;
    }
    return true;
}

}  // namespace

std::string ChipShortName(std::int32_t chipType) {
    const ChipType* chip = FindChipType(chipType);
    return chip != nullptr ? chip->shortName : "";
}

std::int32_t FindChipTypeByName(std::string_view name) {
    const std::string wanted = Lower(name);
    for (std::int32_t i = 0; i < kChipTypeCount; ++i) {
        if (wanted == Lower(kChipTypes[i].listText) || wanted == Lower(kChipTypes[i].shortName)) {
            return i;
        }
    }
    return -1;
}

bool ParseHexNumber(std::string_view text, std::uint32_t& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8) return false;
    std::uint32_t result = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return false;
        result = result * 16 + static_cast<std::uint32_t>(digit);
    }
    value = result;
    return true;
}

bool ParseHexRange(std::string_view text, HexRange& range) {
    const std::size_t plus = text.find('+');
    const std::size_t dash = text.find('-');
    const std::size_t split = plus != std::string_view::npos ? plus : dash;
    if (split == std::string_view::npos ||
        (plus != std::string_view::npos && dash != std::string_view::npos)) {
        return false;
    }
    std::uint32_t start = 0;
    std::uint32_t second = 0;
    if (!ParseHexNumber(text.substr(0, split), start) ||
        !ParseHexNumber(text.substr(split + 1), second)) {
        return false;
    }
    std::uint64_t end = second;
    if (plus != std::string_view::npos) {
        if (second == 0) return false;
        end = static_cast<std::uint64_t>(start) + second - 1;
    }
    if (end < start || end > 0xFFFFFFFFu) return false;
    range = {start, static_cast<std::uint32_t>(end)};
    return true;
}

bool ParseArguments(int argc, const char* const* argv, CliOptions& options, std::string& error) {
    CliOptions o;
    Seen seen;
    std::vector<std::string> words;
    // A word right after a port's name and in the same folder is most likely a further match
    // of a pattern the shell expanded (--ports /dev/ttyUSB*); errors about the words say so.
    std::string strayPort;
    std::string portFolder;
    const auto folderOf = [](const std::string& path) {
        const std::size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    };
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (!portFolder.empty() && folderOf(arg) == portFolder && strayPort.empty()) {
                strayPort = arg;
            }
            portFolder.clear();
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const bool isLong = arg[1] == '-';
        std::string name;
        std::string value;
        bool inlineValue = false;
        const OptionInfo* option;
        if (isLong) {
            const std::size_t equals = arg.find('=');
            name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                inlineValue = true;
            }
            option = FindOption(name, 0);
        } else {
            name = arg.substr(1, 1);
            if (arg.size() > 2) {
                value = arg.substr(2);
                inlineValue = true;
            }
            option = FindOption({}, arg[1]);
        }
        const std::string shown = (isLong ? "--" : "-") + name;
        if (option == nullptr) {
            error = "unknown option '" + shown + "'";
            return false;
        }
        if (option->takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                error = shown + " needs a value";
                return false;
            }
            value = argv[++i];
        } else if (!option->takesValue && inlineValue) {
            error = shown + " takes no value";
            return false;
        }
        if (!ApplyOption(*option, value, o, seen, error)) return false;
        const bool portOption = option->id == Opt::kPort || option->id == Opt::kPorts;
        portFolder = portOption ? folderOf(value.substr(value.rfind(',') + 1)) : std::string();
    }
    const auto wordError = [&](std::string text) {
        error = std::move(text);
        if (!strayPort.empty()) {
            error += "; '" + strayPort +
                     "' follows a port: quote a port pattern (--ports '/dev/ttyUSB*') or join "
                     "ports with commas";
        }
        return false;
    };

    if (o.command == CliCommand::kHelp || o.command == CliCommand::kVersion) {
        options = o;
        return true;
    }
    if (words.empty()) {
        error =
            "no command given (detect, info, read, program, verify, erase, blank or compare)";
        return false;
    }
    for (const CommandName& c : kCommands) {
        if (words[0] == c.name) o.command = c.command;
    }
    if (o.command == CliCommand::kNone) {
        return wordError("unknown command '" + words[0] + "'");
    }
    const std::size_t files = o.command == CliCommand::kCompare ? 2 : 1;
    if (words.size() > files + 1) {
        return wordError("too many arguments: '" + words[files + 1] + "'");
    }
    if (words.size() >= 2) o.file = words[1];
    if (words.size() >= 3) o.otherFile = words[2];
    if (!UsesFile(o.command) && o.command != CliCommand::kCompare && !o.file.empty()) {
        return wordError(std::string(CommandText(o.command)) + " takes no file ('" + o.file + "')");
    }
    if (!CheckCombination(o, seen, error)) return o.file == strayPort ? wordError(error) : false;
    options = o;
    return true;
}
