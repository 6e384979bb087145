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
    if (r.round) object["round"] = *r.round;
    object["port"] = r.port;
    object["unit"] = r.unit.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.unit);
    if (!r.chip.empty()) object["chip"] = r.chip;
    if (r.serial) object["serial"] = *r.serial;
    object["result"] = r.result;
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
