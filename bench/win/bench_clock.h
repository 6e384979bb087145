// Timing for the benchmarks run under Wine, and a check that a step they time did its work.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// A measurement of a step that failed would be a measurement of nothing: the program stops.
inline void Require(bool done, const char* what) {
    if (done) return;
    std::fprintf(stderr, "benchmark step failed: %s\n", what);
    std::exit(1);
}

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
