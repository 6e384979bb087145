#include "cli/serial_numbers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "formats/text_format.h"
#include "platform/files.h"

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

bool SerialPool::Take(std::size_t count, std::uint64_t max, std::vector<std::uint64_t>& out) {
    if (first_ > max) return false;
    const std::uint64_t lastIndex = (max - first_) / step_;
    std::vector<std::uint64_t> indexes;
    auto returned = returned_.begin();
    std::uint64_t fresh = high_;
    while (indexes.size() < count) {
        const std::uint64_t index = returned != returned_.end() ? *returned++ : fresh++;
        if (index > lastIndex) return false;
        indexes.push_back(index);
    }
    out.clear();
    for (std::uint64_t index : indexes) {
        returned_.erase(index);
        out.push_back(first_ + index * step_);
    }
    high_ = fresh;
    return true;
}

void SerialPool::Settle(std::uint64_t number, bool good) {
    if (good) {
        lowestGood_ = good_ == 0 || number < lowestGood_ ? number : lowestGood_;
        highestGood_ = good_ == 0 || number > highestGood_ ? number : highestGood_;
        ++good_;
        return;
    }
    returned_.insert((number - first_) / step_);
    // Numbers given back at the top were never carried by a good chip: the next run may use them.
    while (high_ > 0 && returned_.erase(high_ - 1) == 1) --high_;
}

bool ReadSerialFile(const std::string& path, std::uint64_t& next, bool* exists,
                    std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    *exists = file != nullptr;
    if (file == nullptr) {
        if (errno == ENOENT) return true;
        error = path + ": " + std::strerror(errno);
        return false;
    }
    char text[64] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
    const bool more = std::fgetc(file) != EOF;
    std::fclose(file);
    std::string_view number(text, n);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!number.empty() && blank(number.front())) number.remove_prefix(1);
    while (!number.empty() && blank(number.back())) number.remove_suffix(1);
    if (more || !ParseSerialNumber(number, next)) {
        error = path + ": does not hold a serial number (a decimal number, or hex after 0x)";
        return false;
    }
    return true;
}

bool WriteSerialFile(const std::string& path, std::uint64_t next, std::string& error) {
    const std::string text = Printf("%llu\n", static_cast<unsigned long long>(next));
    errno = 0;
    if (WriteFileReplacing(path.c_str(), text.data(), static_cast<std::uint32_t>(text.size()),
                           nullptr)) {
        return true;
    }
    error = path + ": " + (errno != 0 ? std::strerror(errno) : "the file could not be written");
    return false;
}
