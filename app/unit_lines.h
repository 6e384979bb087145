// What the programmer window says about its unit: while it looks, what a search found, when the
// unit found is not the one the work was on, and when the link to it was lost. Portable.
#pragma once

#include <string>
#include <vector>

#include "device/unit_presence.h"

// When the window looked for the unit.
enum class UnitSearchWhen {
    kAtStart,          // the window opened
    kOnArrival,        // a port arrived while no unit was known
    kBeforeOperation,  // a chip button was pressed and no unit answered where it was
};

inline constexpr char kLookingLine[] = "Looking for the programmer...";
inline constexpr char kNotFoundLine[] = "Supported hardware Not Found!";
inline constexpr char kCancelledLine[] = "Operation Cancelled";
inline constexpr char kLinkClosedLine[] =
    "The link to the programmer is closed: the next operation looks for it again.";

// "Looking for the programmer on COM7..."
[[nodiscard]] std::string LookingOnPortLine(const char* port);

// The lines for what a check or a search found (found.failure tells why a unit that answered
// could not be used); port: where it looked, for a port that arrived. The unit is named by
// "HW:", "Port:" and, where the system names it, "Adapter:".
[[nodiscard]] std::vector<std::string> UnitSearchLines(UnitSearchWhen when,
                                                       const UnitPresence& found,
                                                       const char* port);
