#include "controls/scope.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>

ScopeLayout LayoutScope(int clientWidth, int clientHeight) {
    ScopeLayout layout{};
    layout.clientWidth = clientWidth;
    layout.clientHeight = clientHeight;
    layout.plotTop = 10;
    layout.plotLeft = 50;
    layout.plotRight = clientWidth - 10;
    layout.plotBottom = clientHeight - 25;
    layout.plotHeight = clientHeight - 35;
    layout.plotWidth = clientWidth - 60;
    return layout;
}

namespace {

// Powers of ten as the compiler rounds their literals, so that a bound typed as 10 or 0.01 is
// one of them. Up to 1e22 they are exact.
constexpr double kPowers[] = {1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr double kFractions[] = {1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,  1e-8,
                                 1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15, 1e-16,
                                 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};
constexpr int kTableDigits = static_cast<int>(std::size(kPowers));
constexpr double kLargestPower = kPowers[kTableDigits - 1];

// |(int) log10 |bound||, counted by comparison: log10 of a power of ten can fall just short of
// the whole number (the i686 build's log10(10) truncates to 0).
int WholeDigitsBeyondFirst(double bound) {
    double magnitude = std::fabs(bound);
    if (magnitude == 0 || !std::isfinite(magnitude)) return 0;
    int digits = 0;
    if (magnitude >= 1) {
        for (; magnitude >= kLargestPower; magnitude /= kLargestPower) {
            digits += kTableDigits;
        }
        return digits + static_cast<int>(
                            std::upper_bound(std::begin(kPowers), std::end(kPowers), magnitude) -
                            std::begin(kPowers));
    }
    for (; magnitude <= kFractions[kTableDigits - 1]; magnitude *= kLargestPower) {
        digits += kTableDigits;
    }
    return digits +
           static_cast<int>(std::count_if(std::begin(kFractions), std::end(kFractions),
                                          [magnitude](double f) { return magnitude <= f; }));
}

}  // namespace

int ScopeLeftMargin(int decimals, double yMin, double yMax) {
    int d = std::max(WholeDigitsBeyondFirst(yMin), WholeDigitsBeyondFirst(yMax));
    return (decimals + d + 4) * 6;
}

double ScopeYScale(int plotHeight, double ySpan) {
    if (ySpan == 0 || !std::isfinite(ySpan)) return 0;
    return plotHeight / ySpan;
}

int ScopeY(double v, int plotBottom, double yMin, double yScale) {
    double offset = (v - yMin) * yScale;
    if (std::isnan(offset)) offset = 0;
    offset = std::clamp(offset, -1e6, 1e6);
    return plotBottom - static_cast<int>(offset);
}

int ScopePointCount(int plotWidth, int step) {
    if (step <= 0 || plotWidth <= 0) return 0;
    return plotWidth / step;
}

std::optional<uint32_t> ReadScopeSample(const uint8_t* buffer, int64_t length, int64_t offset,
                                        int width) {
    if (width != 1 && width != 2 && width != 4) return std::nullopt;
    if (buffer == nullptr || offset < 0 || offset + width > length) return 0;
    uint32_t sample = 0;
    for (int i = width - 1; i >= 0; --i) sample = sample << 8 | buffer[offset + i];
    return sample;
}

void ScopeRing::Add(double v) {
    if (capacity_ <= 0) return;
    values_[writeIndex_] = v;
    writeIndex_ = (writeIndex_ + 1) % capacity_;
    if (writeIndex_ == 0) wrapped_ = true;
}

bool ScopeRing::Resize(int capacity) {
    capacity = std::max(capacity, 0);
    if (capacity == capacity_) return true;
    std::unique_ptr<double[]> values;
    if (capacity > 0) {
        values.reset(new (std::nothrow) double[capacity]());
        if (!values) return false;
    }
    int stored = wrapped_ ? capacity_ : writeIndex_;
    int kept = std::min(stored, capacity);
    for (int i = 0; i < kept; ++i) {
        int from = ((writeIndex_ - 1 - i) % capacity_ + capacity_) % capacity_;
        values[kept - 1 - i] = values_[from];
    }
    values_ = std::move(values);
    capacity_ = capacity;
    // A ring that the kept values fill is full: the next value overwrites the oldest.
    wrapped_ = capacity > 0 && kept == capacity;
    writeIndex_ = wrapped_ ? 0 : kept;
    return true;
}
