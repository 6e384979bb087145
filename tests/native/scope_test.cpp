// The scope's layout, value rows, buffer samples and history ring.
#include "controls/scope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(ScopeLayoutTest, FramesThePlotInsideTheClientArea) {
    ScopeLayout l = LayoutScope(260, 235);
    EXPECT_EQ(l.plotTop, 10);
    EXPECT_EQ(l.plotLeft, 50);
    EXPECT_EQ(l.plotRight, 250);
    EXPECT_EQ(l.plotBottom, 210);
    EXPECT_EQ(l.plotHeight, 200);
    EXPECT_EQ(l.plotWidth, 200);
}

TEST(ScopeLeftMarginTest, SixPixelsForEachCharacterOfTheWidestLabel) {
    EXPECT_EQ(ScopeLeftMargin(2, -10, 10), 42);  // "-10.00": one digit beyond the first
    EXPECT_EQ(ScopeLeftMargin(2, 0, 0.5), 36);   // a zero bound counts no digits
    EXPECT_EQ(ScopeLeftMargin(0, -1000, 5), 42);
    EXPECT_EQ(ScopeLeftMargin(3, 0.001, 0.002), 60);  // |log10| of small bounds counts too
    EXPECT_EQ(ScopeLeftMargin(2, NAN, INFINITY), 36);
}

// d = |(int) log10 |bound||, counted without log10: powers of ten are exactly where a label
// gains a digit, and the shipped build's log10(10) falls just short of 1.
TEST(ScopeLeftMarginTest, PowersOfTenCountTheirDigitsExactly) {
    struct Case {
        double bound;
        int digits;
    };
    const Case cases[] = {
        {1, 0},      {9.999, 0},   {10, 1},       {99.99, 1},    {100, 2},  {1000, 3},
        {999999, 5}, {1e6, 6},     {1e15, 15},    {1e22, 22},    {0.5, 0},  {0.1, 1},
        {0.0999, 1}, {0.01, 2},    {0.011, 1},    {0.001, 3},    {1e-6, 6}, {-10, 1},
        {-0.1, 1},   {3e300, 300}, {3e-300, 299}, {5e-324, 323}, {0, 0},    {1.7e308, 308},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScopeLeftMargin(0, 0, c.bound), (c.digits + 4) * 6) << c.bound;
    }
}

TEST(ScopeYTest, RowsOfAPlot200PixelsHighForTheRangeMinus10To10) {
    ScopeLayout l = LayoutScope(260, 235);
    double scale = ScopeYScale(l.plotHeight, 20.0);
    EXPECT_EQ(scale, 10.0);
    EXPECT_EQ(ScopeY(0, l.plotBottom, -10, scale), l.plotBottom - 100);
    EXPECT_EQ(ScopeY(10, l.plotBottom, -10, scale), l.plotBottom - 200);
    EXPECT_EQ(ScopeY(10, l.plotBottom, -10, scale), l.plotTop);
    EXPECT_EQ(ScopeY(15, l.plotBottom, -10, scale), l.plotBottom - 250);
    EXPECT_EQ(ScopeY(-10, l.plotBottom, -10, scale), l.plotBottom);
    EXPECT_EQ(ScopeY(0.05, l.plotBottom, -10, scale), l.plotBottom - 100);  // 100.5 truncated
}

TEST(ScopeYTest, RowsComeFromTheDoubleProductAsEveryBuildRoundsIt) {
    // Range 0 to 1 on a plot 50 pixels high: 0.3 x 50.0 is 15 as a double; kept in an 80-bit
    // register it would be 14.99999... and truncate to 14.
    EXPECT_EQ(ScopeY(0.3, 60, 0, ScopeYScale(50, 1.0)), 60 - 15);
    EXPECT_EQ(ScopeY(0.7, 60, 0, ScopeYScale(50, 0.7)), 60 - 50);
}

TEST(ScopeYTest, AnEmptyRangeAndWildValuesStayFinite) {
    EXPECT_EQ(ScopeYScale(200, 0), 0);
    EXPECT_EQ(ScopeYScale(200, INFINITY), 0);
    EXPECT_EQ(ScopeY(1e300, 210, -10, 10), 210 - 1000000);
    EXPECT_EQ(ScopeY(-1e300, 210, -10, 10), 210 + 1000000);
    EXPECT_EQ(ScopeY(NAN, 210, -10, 10), 210);
}

TEST(ScopePointCountTest, NoStepOrANarrowPlotHoldNoPoints) {
    EXPECT_EQ(ScopePointCount(200, 3), 66);
    EXPECT_EQ(ScopePointCount(200, 0), 0);
    EXPECT_EQ(ScopePointCount(200, -2), 0);
    EXPECT_EQ(ScopePointCount(2, 3), 0);
    EXPECT_EQ(ScopePointCount(-30, 3), 0);
}

TEST(ReadScopeSampleTest, SixteenBitSamplesOfATenByteBufferThenZeros) {
    const uint8_t buffer[10] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
    std::vector<uint32_t> values;
    for (int i = 0; i < 7; ++i) values.push_back(ReadScopeSample(buffer, 10, i * 2, 2).value());
    EXPECT_EQ(values, (std::vector<uint32_t>{0x0201, 0x0403, 0x0605, 0x0807, 0x0A09, 0, 0}));
}

TEST(ReadScopeSampleTest, WidthsOffsetsAndBuffersOutOfTheOrdinary) {
    const uint8_t buffer[6] = {0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
    EXPECT_EQ(ReadScopeSample(buffer, 6, 2, 4), 0xAABBCCDDu);
    EXPECT_EQ(ReadScopeSample(buffer, 6, 3, 4), 0u);            // one byte short: counts 0
    EXPECT_EQ(ReadScopeSample(buffer, 6, 0, 3), std::nullopt);  // no such width
    EXPECT_EQ(ReadScopeSample(buffer, 6, -1, 1), 0u);
    EXPECT_EQ(ReadScopeSample(nullptr, 100, 0, 1), 0u);
}

std::vector<double> Replayed(const ScopeRing& ring) {
    std::vector<double> values;
    ring.Replay([&values](double v) { values.push_back(v); });
    return values;
}

std::vector<double> Range(int first, int last) {
    std::vector<double> values;
    for (int v = first; v <= last; ++v) values.push_back(v);
    return values;
}

TEST(ScopeRingTest, AFullRingReplaysAllButItsOldestSlot) {
    ScopeRing ring;
    ASSERT_TRUE(ring.Resize(100));
    for (int v = 0; v < 250; ++v) ring.Add(v);
    EXPECT_TRUE(ring.wrapped());
    EXPECT_EQ(ring.writeIndex(), 50);
    EXPECT_EQ(Replayed(ring), Range(151, 249));
}

TEST(ScopeRingTest, ARingNotYetFullReplaysEverything) {
    ScopeRing ring;
    ASSERT_TRUE(ring.Resize(100));
    EXPECT_TRUE(Replayed(ring).empty());
    for (int v = 0; v < 10; ++v) ring.Add(v);
    EXPECT_FALSE(ring.wrapped());
    EXPECT_EQ(Replayed(ring), Range(0, 9));
}

TEST(ScopeRingTest, GrowingKeepsEveryValue) {
    ScopeRing ring;
    ASSERT_TRUE(ring.Resize(10));
    for (int v = 0; v < 25; ++v) ring.Add(v);
    ASSERT_TRUE(ring.Resize(40));
    EXPECT_FALSE(ring.wrapped());
    EXPECT_EQ(ring.writeIndex(), 10);
    EXPECT_EQ(Replayed(ring), Range(15, 24));
    ring.Add(25);
    EXPECT_EQ(Replayed(ring), Range(15, 25));
}

TEST(ScopeRingTest, ShrinkingKeepsTheNewestAndLeavesAFullRing) {
    ScopeRing ring;
    ASSERT_TRUE(ring.Resize(10));
    for (int v = 0; v < 25; ++v) ring.Add(v);
    ASSERT_TRUE(ring.Resize(4));
    EXPECT_TRUE(ring.wrapped());
    EXPECT_EQ(ring.writeIndex(), 0);
    EXPECT_EQ(Replayed(ring), Range(22, 24));  // the oldest kept slot (21) is not drawn
    ring.Add(25);
    EXPECT_EQ(Replayed(ring), Range(23, 25));
}

TEST(ScopeRingTest, ShrinkingToExactlyTheStoredCountLeavesAFullRingNotAnOverrun) {
    ScopeRing ring;
    ASSERT_TRUE(ring.Resize(10));
    for (int v = 0; v < 6; ++v) ring.Add(v);
    ASSERT_TRUE(ring.Resize(6));
    EXPECT_TRUE(ring.wrapped());
    EXPECT_EQ(ring.writeIndex(), 0);
    ring.Add(6);  // would write one past the end if the ring counted as not full
    EXPECT_EQ(Replayed(ring), Range(2, 6));
}

TEST(ScopeRingTest, ShrinkingAnUnfilledRingKeepsWhatFits) {
    ScopeRing ring;
    ASSERT_TRUE(ring.Resize(10));
    for (int v = 0; v < 3; ++v) ring.Add(v);
    ASSERT_TRUE(ring.Resize(5));
    EXPECT_FALSE(ring.wrapped());
    EXPECT_EQ(Replayed(ring), Range(0, 2));
}

TEST(ScopeRingTest, ARingWithNoRoomKeepsNothing) {
    ScopeRing ring;
    ASSERT_TRUE(ring.Resize(10));
    ring.Add(1);
    ASSERT_TRUE(ring.Resize(0));
    ring.Add(2);
    EXPECT_EQ(ring.capacity(), 0);
    EXPECT_TRUE(Replayed(ring).empty());
    ASSERT_TRUE(ring.Resize(-5));
    EXPECT_EQ(ring.capacity(), 0);
}

TEST(ScopeRingTest, AOneSlotRingHasNothingToReplayOnceFull) {
    ScopeRing ring;
    ASSERT_TRUE(ring.Resize(1));
    ring.Add(1);
    ring.Add(2);
    EXPECT_TRUE(Replayed(ring).empty());
}

}  // namespace
