#include "cli/json_records.h"

#include <chrono>

#include <nlohmann/json.hpp>

#include "formats/text_format.h"

namespace {

std::string Line(const nlohmann::ordered_json& object) {
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::string RecordJson(const ChipRecord& r) {
    // In the order the fields were set, so that every line reads alike.
    nlohmann::ordered_json object;
    object["time"] = r.time;
    if (!r.run.empty()) object["run"] = r.run;
    if (!r.version.empty()) object["version"] = r.version;
    if (r.round) object["round"] = *r.round;
    object["port"] = r.port;
    object["unit"] = r.unit.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.unit);
    if (!r.chip.empty()) object["chip"] = r.chip;
    if (!r.image.empty()) object["image"] = r.image;
    if (r.imageCrc32) object["image_crc32"] = Printf("%08X", *r.imageCrc32);
    if (r.serial) object["serial"] = *r.serial;
    object["result"] = r.result;
    if (r.returned) object["returned"] = *r.returned;
    if (!r.verify.empty()) object["verify"] = r.verify;
    if (!r.message.empty()) object["message"] = r.message;
    if (!r.file.empty()) object["file"] = r.file;
    if (r.sums) {
        object["range"] = Printf("%06X-%06X", r.sums->first, r.sums->last);
        object["sum"] = Printf("%04X", r.sums->sum16);
        object["crc32"] = Printf("%08X", r.sums->crc32);
    }
    if (r.facts) {
        object["firmware"] = r.facts->firmware;
        object["model"] = std::string(1, r.facts->model);
        object["hardware"] = r.facts->hardware;
        object["baud"] = r.facts->baud;
    }
    return Line(object);
}

bool ParseRecordJson(const std::string& line, ChipRecord& r) {
    const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (!object.is_object() || !object.contains("result") || !object["result"].is_string()) {
        return false;
    }
    r = ChipRecord{};
    const auto text = [&](const char* name, std::string& out) {
        if (object.contains(name) && object[name].is_string()) out = object[name];
    };
    const auto hex = [&](const char* name) -> std::optional<std::uint32_t> {
        std::string value;
        text(name, value);
        std::uint32_t number = 0;
        for (char c : value) number = number * 16 + static_cast<std::uint32_t>(HexDigitValue(c));
        if (value.empty()) return std::nullopt;
        return number;
    };
    text("time", r.time);
    text("run", r.run);
    text("version", r.version);
    if (object.contains("round") && object["round"].is_number_unsigned()) r.round = object["round"];
    text("port", r.port);
    text("unit", r.unit);
    text("chip", r.chip);
    text("image", r.image);
    r.imageCrc32 = hex("image_crc32");
    if (object.contains("serial") && object["serial"].is_number_unsigned()) {
        r.serial = object["serial"].get<std::uint64_t>();
    }
    text("result", r.result);
    if (object.contains("returned") && object["returned"].is_boolean()) r.returned = object["returned"];
    text("verify", r.verify);
    text("message", r.message);
    text("file", r.file);
    std::string range;
    text("range", range);
    const std::optional<std::uint32_t> crc = hex("crc32");
    if (range.size() == 13 && crc) {
        RangeSums sums;
        for (char c : range.substr(0, 6)) sums.first = sums.first * 16 + HexDigitValue(c);
        for (char c : range.substr(7)) sums.last = sums.last * 16 + HexDigitValue(c);
        sums.sum16 = static_cast<std::uint16_t>(hex("sum").value_or(0));
        sums.crc32 = *crc;
        r.sums = sums;
    }
    return true;
}

std::string CompareSummaryJson(const CompareSummary& s) {
    nlohmann::ordered_json object;
    object["time"] = UtcTimestamp();
    object["file"] = s.fileA;
    object["other"] = s.fileB;
    object["result"] = s.ranges == 0 ? "same" : "differs";
    object["bytes"] = s.bytes;
    object["ranges"] = s.ranges;
    return Line(object);
}

std::string DiffRangeJson(const std::string& range, std::uint32_t bytes) {
    nlohmann::ordered_json object;
    object["range"] = range;
    object["bytes"] = bytes;
    return Line(object);
}

std::string UtcTimestamp() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    return Printf("%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()))
        .insert(19, Printf(".%03d", static_cast<int>(time.subseconds().count())));
}
