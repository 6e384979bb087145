// Label arithmetic shared by the 2-D and 3-D charts: rounding, column spacing, value texts and
// the values of the tick marks. Portable; the window classes only draw what these compute.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Rounds half up the way the charts always have: the fractional part f (with the sign of v)
// gives v + (1 - f) when f >= 0.5, else v - f; negative values therefore truncate towards zero.
[[nodiscard]] double RoundHalfUp(double v);

// Model distance between columns (or rows) when `count` of them share `axisLength` units,
// rounded half up. No columns (or a negative count) give 0 rather than a division by zero.
[[nodiscard]] int ChartSpacing(int axisLength, int count);

// Value of tick j of `divisions` along an axis of `axisLength` units: (length x j - 1) /
// divisions, truncated towards zero, so 256 units in 8 divisions read 0, 31, 63 ... 255.
// No divisions give 0.
[[nodiscard]] int ChartTickValue(int axisLength, int j, int divisions);

// The record a parent passes by address with the label-format messages of both charts.
struct ChartLabelScale {
    double offset;  // added to the converted value
    double scale;   // multiplier (mode 0) or dividend (mode 1)
    int32_t mode;   // 0: value x scale + offset; 1: scale / value + offset; 2: hexadecimal
};

struct ChartLabelFormat {
    int formatLabels = 0;      // 0: raw decimal integers; else `labelMode` applies
    double labelOffset = 0.0;  // added to the converted value
    double labelScale = 1.0;   // multiplier or dividend
    int labelMode = 0;         // as ChartLabelScale::mode
};

enum class HexStyle { Bare, Prefixed };  // "0A" (2-D chart) or "0x0A" (3-D information box)

struct LabelText {
    char text[48];
};

// The text of a value: "%i" without formatting; in modes 0 and 1 the converted value, as a
// whole number when it has no fractional part, else with two decimals; in mode 2 at least two
// upper-case hexadecimal digits. A conversion without a finite result (value 0 in mode 1)
// reads "---"; an unknown mode prints the raw value.
[[nodiscard]] LabelText FormatChartValue(const ChartLabelFormat& format, int value, HexStyle hex);

// Packed label lists ("A\0B\0...\0") hold one label per point, empty ones included: the
// label after `label`. The list has no end mark of its own (an empty label looks like one),
// so the caller's list must hold as many labels as the chart has points.
[[nodiscard]] inline const char* NextPackedLabel(const char* label) {
    return label + std::strlen(label) + 1;
}
