// The scope strip chart's arithmetic: plot layout, the left margin that fits the y labels, the
// value-to-row mapping, buffer samples, and the history ring that lets the trace be drawn
// again after a range change or a resize. Portable.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

// Plot frame in client pixels. Rows grow downwards; the plot runs from plotTop to plotBottom.
struct ScopeLayout {
    int clientWidth, clientHeight;
    int plotLeft, plotTop, plotRight, plotBottom;
    int plotWidth, plotHeight;
};

// The frame for a client area of this size, before the margin is fitted to the labels.
[[nodiscard]] ScopeLayout LayoutScope(int clientWidth, int clientHeight);

// Pixels left of the plot: six per character of the widest y label, (decimals + d + 4) x 6,
// where d counts the whole digits of the larger bound beyond the first (0 for a zero bound).
[[nodiscard]] int ScopeLeftMargin(int decimals, double yMin, double yMax);

// Pixels per value unit; 0 when the range is empty or not finite, so nothing divides by zero.
[[nodiscard]] double ScopeYScale(int plotHeight, double ySpan);

// Row of value v: plotBottom - (int)((v - yMin) x yScale), truncated towards zero. Values far
// outside the range are held a million pixels beyond the plot, and NaN sits on the bottom row.
[[nodiscard]] int ScopeY(double v, int plotBottom, double yMin, double yScale);

// Points a plot of this width holds at this step; 0 when the step is not positive or the plot
// is narrower than one step.
[[nodiscard]] int ScopePointCount(int plotWidth, int step);

// The unsigned little-endian sample of `width` bytes at byte `offset`; none for a width other
// than 1, 2 or 4. A sample not wholly inside the buffer, or any sample of a null buffer, reads 0.
[[nodiscard]] std::optional<uint32_t> ReadScopeSample(const uint8_t* buffer, int64_t length,
                                                      int64_t offset, int width);

// The strip chart's history: the newest `capacity` values in a ring.
class ScopeRing {
  public:
    int capacity() const { return capacity_; }
    int writeIndex() const { return writeIndex_; }
    bool wrapped() const { return wrapped_; }

    // Stores v in the next slot; with capacity 0 the value is not kept.
    void Add(double v);

    // Gives the ring a new capacity and keeps as many of the newest values as fit. Returns
    // false (and keeps the old ring) when the memory cannot be had.
    [[nodiscard]] bool Resize(int capacity);

    // Calls draw(v) for the values a range change draws again, oldest first. Of a full ring
    // the oldest slot is left out; the first value drawn also serves as the starting point of
    // the first segment.
    template <typename Draw>
    void Replay(Draw&& draw) const {
        if (wrapped_) {
            for (int slot = (writeIndex_ + 1) % capacity_; slot != writeIndex_;
                 slot = (slot + 1) % capacity_) {
                draw(values_[slot]);
            }
        } else {
            for (int slot = 0; slot < writeIndex_; ++slot) draw(values_[slot]);
        }
    }

  private:
    std::unique_ptr<double[]> values_;
    int capacity_ = 0;
    int writeIndex_ = 0;    // next slot to write
    bool wrapped_ = false;  // the ring has filled at least once
};
