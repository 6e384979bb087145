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
#include "vorland_version.h"

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

const char* VersionText() {
    return "vorland-cli " VORLAND_VERSION;
}

std::string HelpText() {
    std::string text =
        "usage: vorland-cli COMMAND [FILE] [options]\n"
        "       vorland-cli compare A B [options]\n"
        "Drives a Vorland or Tandrel EPROM and flash programmer on a serial port.\n"
        "\n"
        "Commands:\n"
        "  detect          find the programmer; print its name and port\n"
        "  info            print the programmer's details (and the chip type's, with --chip)\n"
        "  read FILE       read the chip into FILE\n"
        "  program FILE    program FILE into the chip, then verify the chip against it\n"
        "  verify FILE     compare the chip with FILE, byte by byte (or --quick)\n"
        "  erase           erase the whole chip, or one --sector\n"
        "  blank           check that the whole chip, or one --sector, is blank (all FF)\n"
        "  compare A B     compare two image files byte by byte (no programmer needed)\n"
        "\n"
        "Options:\n"
        "  -p, --port NAME       the programmer's port: COM3, /dev/ttyUSB0, ...\n"
        "                        (default: on Linux the USB adapters first, then try COM1\n"
        "                        to COM5 and every other COM port);\n"
        "                        give it again for each further unit to work on (see\n"
        "                        Several units)\n"
        "      --ports LIST      several ports at once: COM3,COM4,COM7; on Linux also\n"
        "                        patterns such as /dev/ttyUSB* (quoted)\n"
        "      --all             detect: list every unit on every port tried\n"
        "  -c, --chip TYPE       the chip in the socket, one of\n"
        "                        ";
    std::string writable;
    std::string readOnly;
    std::string clearing;  // writes only clear bits
    for (std::int32_t i = 0; i < kChipTypeCount; ++i) {
        std::string& list = kChipTypes[i].programmable() ? writable : readOnly;
        list += (list.empty() ? "" : ", ") + ChipShortName(i);
        if (kChipTypes[i].writeClearsBits()) {
            clearing += (clearing.empty() ? "" : ", ") + ChipShortName(i);
        }
    }
    text += writable + " and the read-only\n                        " + readOnly;
    text +=
        "\n"
        "      --chip-range R    the chip addresses to work on (default: see Ranges)\n"
        "      --file-range R    the image addresses (HEX, S-record) or offsets (binary)\n"
        "                        that go with them\n"
        "  -f, --format FMT      bin, hex or srec (default: from the file name: .bin .rom\n"
        "                        .raw; .hex .ihx .ihex; .srec .s19 .s28 .s37 .mot)\n"
        "      --fill XX         the byte for gaps in an image (default FF)\n"
        "      --erase           program: erase the whole chip first\n"
        "      --changed-only    program: write only the blocks that differ from the\n"
        "                        chip (see Programming only what differs)\n"
        "      --no-verify       program: do not verify afterwards\n"
        "      --quick           verify by the unit's checksum instead of reading back\n"
        "      --serial-at ADDR  program: stamp each chip with its own serial number at\n"
        "                        image address ADDR (hex; see Production runs)\n"
        "      --serial-start N  the first number (default 1; decimal, or hex after 0x)\n"
        "      --serial-step N   from one number to the next (default 1)\n"
        "      --serial-format F le16, be16, le32 (default), be32, dec:DIGITS or\n"
        "                        hex:DIGITS (ASCII, zero-padded)\n"
        "      --serial-file F   the one counter of every run that names it: the next\n"
        "                        number and those given back, kept in F (locked through\n"
        "                        F.lock while a round takes its numbers)\n"
        "      --if-busy WHAT    wait (default) or stop when another run holds the\n"
        "                        serial file or the log for more than 3 seconds\n"
        "      --repeat          program: round after round, Enter between them\n"
        "      --log FILE        program: append JSON lines to FILE: each chip's\n"
        "                        \"started\" record before it is programmed, its result\n"
        "                        after\n";
    text +=
        Printf("      --sector N        erase, blank: only sector N (0-%d, %s each) of the %s\n",
               kSectorChip.sectorCount - 1, FormatBytes(kSectorChip.sectorSize).c_str(),
               kSectorChip.shortName);
    text +=
        "      --baud RATE       link rate once the programmer is found: 115200, 230400,\n"
        "                        460800 or 921600 (default: 921600 for a Vorland or a USB\n"
        "                        Tandrel, else 115200); the unit is always left at 115200\n"
        "      --json            results as JSON Lines on stdout, an object per unit (and\n"
        "                        chip), for compare one for the files and one per range\n"
        "                        that differs; the text goes to stderr\n"
        "  -q, --quiet           no progress and no notes, only results and errors\n"
        "  -v, --verbose         also show the programmer link's own messages\n"
        "  -h, --help            show this text\n"
        "      --version         show the version\n"
        "\n"
        "Ranges are hexadecimal, START-END (end included) or START+LENGTH, e.g. 8000-FFFF.\n"
        "HEX and S-record images place their bytes at the addresses of their records;\n"
        "a binary image starts at offset 0. Byte (file range start + n) goes to chip\n"
        "address (chip range start + n); both ranges have one length.\n"
        "  read:    the whole chip by default. Without --file-range, HEX and S-record\n"
        "           files get the chip addresses, binary files start at offset 0.\n"
        "  program, verify: without ranges, the span of the image's data at the same\n"
        "           chip addresses, widened to multiples of 64 bytes (for verify, of a\n"
        "           HEX or S-record image); it must fit the chip. With only --chip-range,\n"
        "           the file range starts at the same address (HEX, S-record) or at 0\n"
        "           (binary); with only --file-range, the chip range starts at 0. Gaps\n"
        "           are programmed and compared as --fill.\n"
        "  read and program need a chip start and a length that are multiples of 64.\n"
        "read, program and verify end with the programmer window's checksum line of the\n"
        "chip range: Checksum 004000-0043FF: sum 1A2B, CRC-32 89ABCDEF.\n"
        "\n"
        "compare A B: the two files address by address. A binary file holds its bytes\n"
        "from address 0 (any size below 4 GiB, read in place); a HEX or S-record file\n"
        "holds address 0 to its last data byte, what it does not give as --fill, as it\n"
        "loads into the programmer's buffer. Prints how many bytes differ in how many\n"
        "ranges, then the first ten ranges with up to 8 bytes of each file; where one\n"
        "file is longer, its extra bytes are one more range.\n"
        "\n"
        "Programming only what differs (--changed-only): two checksums of the unit\n"
        "for each region of the range tell which 256-byte blocks hold the image\n"
        "already; only the others are written (\"Programmed 1 KiB of 512 KiB; 511 KiB\n"
        "already matched.\"), then the whole range is verified as usual. Blocks whose\n"
        "checksums matched although their bytes did not are programmed then, and the\n"
        "range verified once more. Where a flash chip that can only clear bits by a\n"
        "write (";
    text += clearing;
    text +=
        ") needs a bit set, the blocks that differ are read, and\n"
        "the sector (without sectors: the chip) is erased first when it lies wholly in\n"
        "the range; otherwise the whole range is programmed as usual, which needs the\n"
        "chip erased, and no byte outside the range is touched.\n"
        "\n"
        "Several units: with more than one port, --ports or a port pattern the command\n"
        "runs on every unit at once, each on its own; a unit that fails does not stop\n"
        "the others. The image is read and checked once, before any unit is touched.\n"
        "read FILE writes one file per unit with the port's name before the extension\n"
        "(dump.COM3.hex). At the end a table gives each port's unit, result, time, and\n"
        "the range and checksums of what was read, programmed or verified, and names\n"
        "the ports that failed.\n"
        "\n"
        "Production runs: with --serial-at every chip gets the image with its own number\n"
        "patched in (the number's bytes must lie in the range programmed), and the\n"
        "verify compares against that. Each round, each unit that answers and whose\n"
        "socket does not still hold a chip stamped with this image (skipped: \"insert a\n"
        "new chip\") takes, in the order of the ports, the lowest number given back,\n"
        "else the next new one, under the serial file's lock, before its first block.\n"
        "A failed chip gives its number back only if it surely does not carry it;\n"
        "numbers given back stay in the serial file for the next run. Chips a stopped\n"
        "run left started without a result are reported by the next run with the same\n"
        "log or serial file (\"interrupted\"), and their numbers are never reused.\n"
        "Records carry run, version, image, image_crc32 and verify (full, quick or\n"
        "none). With --repeat a prompt follows each round; at a terminal only a line\n"
        "typed after it starts the next; q, the end of input or Ctrl+C ends the run.\n"
        "\n"
        "Exit status:\n"
        "    0  success\n"
        "    1  verify mismatch, the chip is not blank, or compare found differences\n"
        "    2  bad arguments, ranges or files (an unreadable, malformed or too large\n"
        "       image, or an output file that cannot be written)\n"
        "    3  no supported programmer found\n"
        "    4  communication failure: the unit stopped answering, answered wrongly or\n"
        "       refused an operation\n"
        "  130  interrupted (Ctrl+C); the unit is still returned to 115200 baud\n"
        "  With several units: the worst of the units' results, 4 over 3 over 1 over 0;\n"
        "  a unit's file that cannot be written gives 2, Ctrl+C 130; over all rounds.\n";
    return text;
}
