#include "controls/chart2d.h"

#include <algorithm>

int Chart2DHitTest(const ChartPoint* points, int count, int spacing, int lx, int ly) {
    if (points == nullptr) return -1;
    for (int i = 0; i < count; ++i) {
        int x = Chart2DColumnX(i, spacing);
        long long y = points[i].y;  // a caller's extreme value must not overflow the box
        if (x - 3 <= lx && lx <= x + 5 && y - 3 <= ly && ly <= y + 5) return i;
    }
    return -1;
}

int Chart2DDragValue(int ly, int yMin, int yMax) {
    return std::clamp(ly, yMin, yMax);
}

LogicalRect Chart2DPointRegion(int index, int count, int spacing, int axisLength, int extentY) {
    if (index < 0) return {0, 0, 0, 0};
    int x = Chart2DColumnX(index, spacing);
    int left = index * spacing - 5;
    int right = index == count ? axisLength + 5 : (index + 2) * spacing + 5;
    // The value label is centred on the point and can be wider than a narrow column.
    constexpr int kLabelHalfWidth = 16;
    return {std::min(left, x - kLabelHalfWidth), extentY, std::max(right, x + kLabelHalfWidth), -5};
}
