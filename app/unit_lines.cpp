#include "app/unit_lines.h"

#include "formats/text_format.h"

std::string LookingOnPortLine(const char* port) {
    return Printf("Looking for the programmer on %s...", port);
}

std::vector<std::string> UnitSearchLines(UnitSearchWhen when, const UnitPresence& found,
                                         const TandrelFailure& failure, const char* port) {
    if (found.stopped) return {"Operation Cancelled"};
    // A speed change that failed is the one failure of a search worth telling: a unit answered.
    const std::string why =
        failure.step == TandrelStep::kLinkSpeed ? FailureReason(failure, "chip") : "";
    std::vector<std::string> lines;
    if ((found.flags & kHardwareSupportedMask) != 0) {
        lines = {Printf("HW: %s", found.name), Printf("Port: %s", found.port)};
        if (found.raiseFailed) {
            if (!why.empty()) lines.push_back(why);
            lines.emplace_back(kLinkClosedLine);
        }
        return lines;
    }
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
