#include "cli/serial_numbers.h"

#include <algorithm>

#include "formats/text_format.h"

namespace {

struct FormatName {
    const char* name;
    SerialFormat::Kind kind;
    std::uint32_t width;
};
constexpr FormatName kBinaryFormats[] = {
    {"le16", SerialFormat::kLe16, 2},
    {"be16", SerialFormat::kBe16, 2},
    {"le32", SerialFormat::kLe32, 4},
    {"be32", SerialFormat::kBe32, 4},
};

}  // namespace

bool ParseSerialFormat(std::string_view text, SerialFormat& format) {
    for (const FormatName& f : kBinaryFormats) {
        if (text == f.name) {
            format = {f.kind, f.width};
            return true;
        }
    }
    const bool decimal = text.starts_with("dec:");
    if (!decimal && !text.starts_with("hex:")) return false;
    std::uint64_t width = 0;
    // 19 decimal or 16 hex digits still hold every number that fits 64 bits.
    const std::string_view digits = text.substr(4);
    if (digits.find_first_not_of("0123456789") != std::string_view::npos ||
        !ParseSerialNumber(digits, width) || width < 1 || width > (decimal ? 19u : 16u)) {
        return false;
    }
    format = {decimal ? SerialFormat::kDecimal : SerialFormat::kHex,
              static_cast<std::uint32_t>(width)};
    return true;
}

std::string SerialFormatName(const SerialFormat& format) {
    for (const FormatName& f : kBinaryFormats) {
        if (format.kind == f.kind) return f.name;
    }
    return Printf("%s:%u", format.kind == SerialFormat::kDecimal ? "dec" : "hex", format.width);
}

std::uint64_t SerialFormatMax(const SerialFormat& format) {
    switch (format.kind) {
        case SerialFormat::kLe16:
        case SerialFormat::kBe16: return 0xFFFF;
        case SerialFormat::kLe32:
        case SerialFormat::kBe32: return 0xFFFFFFFF;
        case SerialFormat::kHex:
            return format.width >= 16 ? ~std::uint64_t{0}
                                      : (std::uint64_t{1} << (4 * format.width)) - 1;
        case SerialFormat::kDecimal: {
            std::uint64_t max = 9;
            for (std::uint32_t i = 1; i < format.width; ++i) max = max * 10 + 9;
            return max;
        }
    }
    return 0;
}

void WriteSerialBytes(const SerialFormat& format, std::uint64_t number, std::uint8_t* out) {
    const std::uint32_t n = format.width;
    switch (format.kind) {
        case SerialFormat::kLe16:
        case SerialFormat::kLe32:
            for (std::uint32_t i = 0; i < n; ++i)
                out[i] = static_cast<std::uint8_t>(number >> (8 * i));
            break;
        case SerialFormat::kBe16:
        case SerialFormat::kBe32:
            for (std::uint32_t i = 0; i < n; ++i) {
                out[n - 1 - i] = static_cast<std::uint8_t>(number >> (8 * i));
            }
            break;
        case SerialFormat::kDecimal:
        case SerialFormat::kHex: {
            const std::uint64_t base = format.kind == SerialFormat::kDecimal ? 10 : 16;
            for (std::uint32_t i = 0; i < n; ++i) {
                out[n - 1 - i] = static_cast<std::uint8_t>("0123456789ABCDEF"[number % base]);
                number /= base;
            }
            break;
        }
    }
}

bool ParseSerialNumber(std::string_view text, std::uint64_t& value) {
    std::uint64_t base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    std::uint64_t result = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || static_cast<std::uint64_t>(digit) >= base) return false;
        if (result > (~std::uint64_t{0} - static_cast<std::uint64_t>(digit)) / base) return false;
        result = result * base + static_cast<std::uint64_t>(digit);
    }
    value = result;
    return true;
}

bool ReadSerialBytes(const SerialFormat& format, const std::uint8_t* bytes,
                     std::uint64_t& number) {
    const std::uint32_t n = format.width;
    std::uint64_t value = 0;
    switch (format.kind) {
        case SerialFormat::kLe16:
        case SerialFormat::kLe32:
            for (std::uint32_t i = n; i-- > 0;) value = value << 8 | bytes[i];
            break;
        case SerialFormat::kBe16:
        case SerialFormat::kBe32:
            for (std::uint32_t i = 0; i < n; ++i) value = value << 8 | bytes[i];
            break;
        case SerialFormat::kDecimal:
        case SerialFormat::kHex: {
            const bool decimal = format.kind == SerialFormat::kDecimal;
            for (std::uint32_t i = 0; i < n; ++i) {
                const char c = static_cast<char>(bytes[i]);
                const int digit = HexDigitValue(c);
                // Only what WriteSerialBytes writes: digits, upper-case hex.
                if (digit < 0 || (decimal && digit > 9) || (c >= 'a' && c <= 'f')) return false;
                value = value * (decimal ? 10 : 16) + static_cast<std::uint64_t>(digit);
            }
            break;
        }
    }
    number = value;
    return true;
}

std::string SerialNumberList(const std::set<std::uint64_t>& numbers, std::uint64_t step) {
    std::string text;
    for (auto it = numbers.begin(); it != numbers.end();) {
        const std::uint64_t first = *it;
        std::uint64_t last = first;
        for (++it; it != numbers.end() && *it == last + step; ++it) last = *it;
        text += (text.empty() ? "" : ", ") + std::to_string(first);
        if (last != first) text += " to " + std::to_string(last);
    }
    return text;
}

bool SerialState::Take(std::size_t count, std::uint64_t step, std::uint64_t max,
                       std::vector<std::uint64_t>& out, std::uint64_t* unfit) {
    std::vector<std::uint64_t> numbers;
    auto back = returned.begin();
    std::uint64_t fresh = next;
    bool past = false;  // fresh ran past 64 bits
    while (numbers.size() < count) {
        if (back != returned.end()) {
            numbers.push_back(*back++);
            continue;
        }
        if (past || fresh > max) {
            *unfit = past ? ~std::uint64_t{0} : fresh;
            return false;
        }
        numbers.push_back(fresh);
        past = fresh > ~std::uint64_t{0} - step;
        fresh += step;
    }
    for (std::uint64_t n : numbers) returned.erase(n);
    next = past ? ~std::uint64_t{0} : fresh;
    out = numbers;
    return true;
}

void SerialState::GiveBack(std::uint64_t number, std::uint64_t step) {
    Ended(number);
    returned.insert(number);
    // Numbers given back at the top were never on a chip: the next one to take again.
    while (next >= step && returned.erase(next - step) == 1) next -= step;
}

void SerialState::Ended(std::uint64_t number) {
    std::erase_if(started, [&](const SerialInFlight& s) { return s.number == number; });
}

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
    return text;
}

// The next word of text, and text past it.
std::string_view Word(std::string_view& text) {
    text = Trimmed(text);
    const std::size_t end = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

bool ParseEntry(std::string_view line, SerialState& state) {
    const std::string_view kind = Word(line);
    std::uint64_t number = 0;
    if (!ParseSerialNumber(Word(line), number)) return false;
    if (kind == "returned") {
        state.returned.insert(number);
        return Trimmed(line).empty();
    }
    if (kind != "started" || Word(line) != "run") return false;
    SerialInFlight entry{number, std::string(Word(line)), 0, ""};
    std::uint64_t round = 0;
    if (entry.run.empty() || Word(line) != "round" || !ParseSerialNumber(Word(line), round) ||
        round > 0xFFFFFFFFu || Word(line) != "port") {
        return false;
    }
    entry.round = static_cast<unsigned>(round);
    entry.port = std::string(Trimmed(line));  // a path may hold blanks
    state.started.push_back(entry);
    return !entry.port.empty();
}

}  // namespace

bool ParseSerialState(std::string_view text, SerialState& state, std::string& error) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    state = SerialState{};
    bool first = true;
    unsigned lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = Trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty()) continue;
        if (first) {
            if (!ParseSerialNumber(line, state.next)) {
                error = "does not hold a serial number (a decimal number, or hex after 0x)";
                return false;
            }
            first = false;
        } else if (!ParseEntry(line, state)) {
            error = Printf("line %u is neither \"returned N\" nor \"started N run ID round R port "
                           "PORT\"",
                           lineNumber);
            return false;
        }
    }
    if (first) {
        error = "does not hold a serial number (a decimal number, or hex after 0x)";
        return false;
    }
    return true;
}

std::string SerialStateText(const SerialState& state) {
    std::string text = std::to_string(state.next) + "\n";
    for (std::uint64_t n : state.returned) text += "returned " + std::to_string(n) + "\n";
    for (const SerialInFlight& s : state.started) {
        text += Printf("started %llu run %s round %u port %s\n",
                       static_cast<unsigned long long>(s.number), s.run.c_str(), s.round,
                       s.port.c_str());
    }
    return text;
}
