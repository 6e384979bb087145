#include "app/unit_lines.h"

#include <cstring>

#include "formats/text_format.h"

std::string LookingOnPortLine(const char* port) {
    return Printf("Looking for the programmer on %s...", port);
}

namespace {

// Nothing runs on a unit that is not the one the work was on: the user is told what answered
// instead, and decides.
std::string OtherUnitLine(const UnitPresence& p) {
    if (std::strcmp(p.found.port, p.given.port) != 0) {
        return Printf(
            "A programmer answered on %s; the work was on %s. Press the button again to "
            "work on %s.",
            p.found.port, p.given.port, p.found.port);
    }
    return Printf(
        "Another programmer answered on %s; the work was on the %s there. Press the "
        "button again to work on this one.",
        p.found.port, p.given.name);
}

}  // namespace

namespace {

// What a search found: the unit it takes up from now on, or why there is none.
std::vector<std::string> FoundLines(UnitSearchWhen when, const UnitPresence& found,
                                    const char* port) {
    // A speed change that failed is the one failure of a search worth telling: a unit answered.
    const std::string why =
        found.failure.step == TandrelStep::kLinkSpeed ? FailureReason(found.failure, "chip") : "";
    std::vector<std::string> lines;
    if (found.found.supported()) {
        lines = {Printf("HW: %s", found.found.name), Printf("Port: %s", found.found.port)};
        if (found.found.adapter[0] != '\0') {
            lines.push_back(Printf("Adapter: %s", found.found.adapter));
        }
        if (found.raiseFailed) {
            if (!why.empty()) lines.push_back(why);
            lines.emplace_back(kLinkClosedLine);
        } else if (found.otherUnit) {
            lines.push_back(OtherUnitLine(found));
        }
        return lines;
    }
    if (found.stopped) return lines;
    if (when == UnitSearchWhen::kOnArrival) {
        return {Printf("No supported hardware answered on %s.", port)};
    }
    lines.emplace_back(kNotFoundLine);
    if (!why.empty()) lines.push_back(why);
    // At start the chip buttons wait for a unit; later one was pressed in vain.
    lines.emplace_back(when == UnitSearchWhen::kAtStart
                           ? "Attach supported hardware; the chip buttons look for it."
                           : "Attach supported hardware and try again.");
    return lines;
}

}  // namespace

std::vector<std::string> UnitSearchLines(UnitSearchWhen when, const UnitPresence& found,
                                         const char* port) {
    // A unit the search took up is named also when a cancel came after it.
    std::vector<std::string> lines;
    if (found.searched) lines = FoundLines(when, found, port);
    if (found.stopped) lines.emplace_back(kCancelledLine);
    return lines;
}
