#include "controls/chart_labels.h"

#include <climits>
#include <cmath>
#include <cstdio>

double RoundHalfUp(double v) {
    double f = std::fmod(v, 1.0);
    return f >= 0.5 ? v + (1.0 - f) : v - f;
}

int ChartSpacing(int axisLength, int count) {
    if (count <= 0) return 0;
    return static_cast<int>(RoundHalfUp(static_cast<double>(axisLength) / count));
}

int ChartTickValue(int axisLength, int j, int divisions) {
    if (divisions <= 0) return 0;
    long long numerator = static_cast<long long>(axisLength) * j - 1;
    return static_cast<int>(numerator / divisions);
}

namespace {

void FormatConverted(double w, LabelText& out) {
    if (!std::isfinite(w)) {
        std::snprintf(out.text, sizeof out.text, "---");
    } else if (w != std::trunc(w)) {
        std::snprintf(out.text, sizeof out.text, "%.2f", w);
    } else if (w >= INT_MIN && w <= INT_MAX) {
        std::snprintf(out.text, sizeof out.text, "%i", static_cast<int>(w));
    } else {
        // Whole, but beyond an int: the same digits without the overflowing conversion.
        std::snprintf(out.text, sizeof out.text, std::fabs(w) < 1e15 ? "%.0f" : "%.6g", w);
    }
}

}  // namespace

LabelText FormatChartValue(const ChartLabelFormat& format, int value, HexStyle hex) {
    LabelText out{};
    if (format.formatLabels == 0 || format.labelMode < 0 || format.labelMode > 2) {
        std::snprintf(out.text, sizeof out.text, "%i", value);
    } else if (format.labelMode == 2) {
        std::snprintf(out.text, sizeof out.text, hex == HexStyle::Prefixed ? "0x%.2X" : "%.2X",
                      static_cast<unsigned>(value));
    } else if (format.labelMode == 0) {
        FormatConverted(value * format.labelScale + format.labelOffset, out);
    } else {
        // Value 0 has no reciprocal; the division is never made.
        FormatConverted(value == 0 ? NAN : format.labelScale / value + format.labelOffset, out);
    }
    return out;
}
