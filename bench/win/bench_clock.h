// Timing for the benchmarks run under Wine.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

inline double NowSeconds() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double NowMs() { return NowSeconds() * 1000.0; }

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
