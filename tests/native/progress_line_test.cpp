// The progress display's arithmetic and text: sizes, rates, time left, the bar at several
// widths, and when the meter redraws or writes a plain line.
#include <gtest/gtest.h>

#include "cli/progress_line.h"

namespace {

TEST(ProgressText, SizesRatesAndDurations) {
    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(999), "999 B");
    EXPECT_EQ(FormatBytes(1000), "1.0 KiB");
    EXPECT_EQ(FormatBytes(1024), "1 KiB");
    EXPECT_EQ(FormatBytes(1536), "1.5 KiB");
    EXPECT_EQ(FormatBytes(0x80000), "512 KiB");
    EXPECT_EQ(FormatBytes(1000 * 1024), "1.0 MiB");
    EXPECT_EQ(FormatBytes(16u << 20), "16 MiB");
    EXPECT_EQ(FormatRate(500), "500 B/s");
    EXPECT_EQ(FormatRate(88166), "86.1 KiB/s");
    EXPECT_EQ(FormatRate(1000 * 1024), "1.0 MiB/s");
    EXPECT_EQ(FormatDuration(7), "0:07");
    EXPECT_EQ(FormatDuration(754), "12:34");
    EXPECT_EQ(FormatDuration(3723), "1:02:03");
    EXPECT_EQ(FormatElapsed(45), "45 ms");
    EXPECT_EQ(FormatElapsed(6149), "6.1 s");
}

TEST(ProgressText, PercentNeverPassesOneHundred) {
    EXPECT_EQ(ProgressPercent({0, 8, 0, true, nullptr}), 0);
    EXPECT_EQ(ProgressPercent({3, 8, 0, true, nullptr}), 37);
    // A range with a final short block steps once past its full blocks.
    EXPECT_EQ(ProgressPercent({320 + 192, 320, 0, true, nullptr}), 100);
}

TEST(ProgressText, TheBarFillsTheWidth) {
    const ProgressFigures half{0x40000, 0x80000, 3000, true, nullptr};
    const std::string line = ProgressBarLine("Reading", half, 80);
    EXPECT_EQ(line,
              "Reading     [#########..........]   50%  256 KiB/512 KiB  85.3 KiB/s  0:03 left");
    EXPECT_EQ(line.size(), 79u) << "one column spare, so the cursor never wraps";
    EXPECT_EQ(ProgressBarLine("Reading", half, 120).size(), 119u);
    // Too narrow for a bar: the figures alone, as many as fit.
    EXPECT_EQ(ProgressBarLine("Reading", half, 40), "Reading   50%  256 KiB/512 KiB");
    EXPECT_EQ(ProgressBarLine("Reading", half, 12), "Reading");
    EXPECT_EQ(ProgressBarLine("Erasing", {3, 8, 900, false, "sectors"}, 60),
              "Erasing     [#########.................]   37%  3/8 sectors");
    // No rate before any time has passed, no time left before 200 ms.
    EXPECT_EQ(ProgressBarLine("Verifying", {0, 0x100, 0, true, nullptr}, 60),
              "Verifying   [............................]    0%  0 B/256 B");
    EXPECT_EQ(ProgressPlainLine("Reading", {0x10000, 0x80000, 150, true, nullptr}),
              "Reading: 12% (64 KiB of 512 KiB, 426.7 KiB/s)");
    EXPECT_EQ(ProgressPlainLine("Reading", {0x40000, 0x80000, 3000, true, nullptr}),
              "Reading: 50% (256 KiB of 512 KiB, 85.3 KiB/s, 0:03 left)");
    EXPECT_EQ(ProgressPlainLine("Erasing", {3, 8, 0, false, "sectors"}), "Erasing: 3 of 8 sectors");
}

TEST(ProgressMeterTerminal, RedrawsInPlaceAtMostEveryTenthOfASecond) {
    ProgressMeter meter(true, 60);
    const std::string first = meter.Start("Reading", 1000, nullptr, 5000);
    EXPECT_EQ(first.substr(0, 9), "\rReading ");
    EXPECT_EQ(meter.Update(100, 5050), "") << "too soon";
    const std::string second = meter.Update(200, 5100);
    EXPECT_EQ(second[0], '\r');
    EXPECT_NE(second.find(" 20%"), std::string::npos) << second;
    EXPECT_EQ(meter.Update(1000, 5110).find("100%") != std::string::npos, true)
        << "the end is always drawn";
    const std::string wipe = meter.Finish();
    EXPECT_EQ(wipe, "\r" + std::string(59, ' ') + "\r");
    EXPECT_EQ(meter.Finish(), "");
    EXPECT_EQ(meter.Update(500, 9000), "") << "nothing after the end";
}

TEST(ProgressMeterTerminal, AShorterLineBlanksTheRestOfTheLongerOne) {
    ProgressMeter meter(true, 200);
    EXPECT_NE(meter.Start("Reading", 0x80000, nullptr, 0), "");
    const std::string wide = meter.Update(0x40000, 3000);  // with rate and time left
    const std::string narrow = meter.Update(0x80000, 3100);
    EXPECT_EQ(narrow.size(), wide.size());
}

TEST(ProgressMeterPlain, ALineForEachTenthButNotMoreOftenThanEveryTwoSeconds) {
    ProgressMeter meter(false, 80);
    EXPECT_EQ(meter.Start("Reading", 100, nullptr, 0), "");
    EXPECT_EQ(meter.Update(15, 1000), "") << "a tenth, but within two seconds";
    EXPECT_EQ(meter.Update(25, 2000), "Reading: 25% (25 B of 100 B, 12 B/s, 0:06 left)\n");
    EXPECT_EQ(meter.Update(29, 4500), "") << "the same tenth";
    EXPECT_EQ(meter.Update(35, 3900), "") << "a new tenth, but within two seconds";
    EXPECT_NE(meter.Update(41, 4100), "");
    EXPECT_EQ(meter.Update(100, 9000), "") << "the summary reports the end";
    EXPECT_EQ(meter.Finish(), "");
}

}  // namespace
