// The 2-D chart's geometry in logical units: where columns sit, which point a press hits, what
// a drag makes of a value and which area a point's change repaints. Logical (0, 0) is the
// plot origin; y grows upwards. Portable.
#pragma once

#include <cstdint>

// One point of the caller's array. Only `y` is drawn and edited; columns are equally spaced.
struct ChartPoint {
    int32_t x;
    int32_t y;
};

struct LogicalRect {
    int left, top, right, bottom;
};

// Logical x of point `index` (from 0): one column spacing per column, the first at one spacing.
[[nodiscard]] inline int Chart2DColumnX(int index, int spacing) {
    return (index + 1) * spacing;
}

// The first point whose hot box (3 units left of and below it, 5 right of and above it) holds
// the logical point (lx, ly); -1 for none or no points.
[[nodiscard]] int Chart2DHitTest(const ChartPoint* points, int count, int spacing, int lx, int ly);

// A dragged value follows the pointer between the limits.
[[nodiscard]] int Chart2DDragValue(int ly, int yMin, int yMax);

// What changes when point `index` moves: the point, its label and both line segments beside
// it. index -1 gives an empty rectangle.
[[nodiscard]] LogicalRect Chart2DPointRegion(int index, int count, int spacing, int axisLength,
                                             int extentY);
