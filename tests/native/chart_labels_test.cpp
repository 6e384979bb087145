// Rounding, spacing, tick values and label texts shared by the 2-D and 3-D charts.
#include "controls/chart_labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(RoundHalfUpTest, RoundsHalvesUpAndTruncatesNegativesTowardsZero) {
    EXPECT_EQ(RoundHalfUp(51.2), 51);
    EXPECT_EQ(RoundHalfUp(85.3333), 85);
    EXPECT_EQ(RoundHalfUp(2.5), 3);
    EXPECT_EQ(RoundHalfUp(38.4), 38);
    EXPECT_EQ(RoundHalfUp(64.0), 64);
    EXPECT_EQ(RoundHalfUp(-2.7), -2);  // the remainder keeps the sign, so never >= 0.5
}

TEST(ChartSpacingTest, SpreadsColumnsOverTheAxisRoundedHalfUp) {
    struct Case {
        int axis, count, spacing;
    };
    const Case cases[] = {
        {256, 4, 64},  {256, 5, 51},   {256, 3, 85}, {256, 1, 256},  // 2-D chart
        {192, 8, 24},  {192, 5, 38},   {192, 3, 64}, {192, 6, 32},   // 3-D chart
        {256, 512, 1}, {256, 1000, 0},                               // denser than a unit
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChartSpacing(c.axis, c.count), c.spacing) << c.axis << " / " << c.count;
    }
}

TEST(ChartSpacingTest, NoColumnsGiveNoSpacingInsteadOfADivisionByZero) {
    EXPECT_EQ(ChartSpacing(256, 0), 0);
    EXPECT_EQ(ChartSpacing(192, -3), 0);
}

TEST(ChartTickValueTest, EightDivisionsOf256ReadAsTheByteScale) {
    std::vector<int> ticks;
    for (int j = 0; j <= 8; ++j) ticks.push_back(ChartTickValue(256, j, 8));
    EXPECT_EQ(ticks, (std::vector<int>{0, 31, 63, 95, 127, 159, 191, 223, 255}));
    EXPECT_EQ(ChartTickValue(256, 3, 0), 0);
}

std::string Label(int formatLabels, double scale, double offset, int mode, int value,
                  HexStyle hex = HexStyle::Bare) {
    ChartLabelFormat format{formatLabels, offset, scale, mode};
    return FormatChartValue(format, value, hex).text;
}

TEST(FormatChartValueTest, WithoutFormattingPrintsTheRawValue) {
    EXPECT_EQ(Label(0, 0.5, 0, 0, 3), "3");
    EXPECT_EQ(Label(0, 1, 0, 2, 10), "10");  // the mode only counts with formatting on
    EXPECT_EQ(Label(0, 1, 0, 0, -17), "-17");
}

TEST(FormatChartValueTest, ModeZeroScalesAndShowsDecimalsOnlyWhenThereAreAny) {
    EXPECT_EQ(Label(1, 0.5, 0, 0, 3), "1.50");
    EXPECT_EQ(Label(1, 0.5, 0, 0, 4), "2");
    EXPECT_EQ(Label(1, 1, 0.25, 0, 10), "10.25");
    EXPECT_EQ(Label(1, 0.02, 0, 0, 128), "2.56");
    EXPECT_EQ(Label(1, -1, 0, 0, 5), "-5");
    // A result that is whole as a double is whole in every build.
    EXPECT_EQ(Label(1, 0.1, 0, 0, 10), "1");
    EXPECT_EQ(Label(1, 0.1, 0.7, 0, 3), "1");
    EXPECT_EQ(Label(1, 0.1, 0, 0, 3), "0.30");
}

TEST(FormatChartValueTest, ModeOneDividesTheScaleByTheValue) {
    EXPECT_EQ(Label(1, 100, 0, 1, 4), "25");
    EXPECT_EQ(Label(1, 100, 0, 1, 3), "33.33");
    EXPECT_EQ(Label(1, 100, 1, 1, -4), "-24");
}

TEST(FormatChartValueTest, ModeOneOfZeroHasNoReciprocalAndSaysSo) {
    EXPECT_EQ(Label(1, 100, 0, 1, 0), "---");
    EXPECT_EQ(Label(1, 0, 5, 1, 0), "---");
}

TEST(FormatChartValueTest, ModeTwoIsHexadecimalBareOrPrefixed) {
    EXPECT_EQ(Label(1, 1, 0, 2, 10), "0A");
    EXPECT_EQ(Label(1, 1, 0, 2, 10, HexStyle::Prefixed), "0x0A");
    EXPECT_EQ(Label(1, 1, 0, 2, 255), "FF");
    EXPECT_EQ(Label(1, 1, 0, 2, 4096), "1000");
}

TEST(FormatChartValueTest, AnUnknownModePrintsTheRawValue) {
    EXPECT_EQ(Label(1, 0.5, 0, 7, 3), "3");
    EXPECT_EQ(Label(1, 0.5, 0, -1, 3), "3");
}

TEST(FormatChartValueTest, ResultsBeyondAnIntAreWrittenOutNotOverflowed) {
    EXPECT_EQ(Label(1, 1e10, 0, 0, 3), "30000000000");
    EXPECT_EQ(Label(1, 1e300, 0, 0, 3), "3e+300");
    EXPECT_EQ(Label(1, 1e308, 0, 0, 100), "---");  // infinite
}

// The labels of `count` points.
std::vector<std::string> Walk(const char* list, int count) {
    std::vector<std::string> labels;
    for (const char* l = list; count-- > 0; l = NextPackedLabel(l)) labels.push_back(l);
    return labels;
}

TEST(PackedLabelTest, EveryPointHasItsLabelEmptyOnesIncluded) {
    EXPECT_EQ(Walk("Jan\0Feb\0Mar\0", 3), (std::vector<std::string>{"Jan", "Feb", "Mar"}));
    EXPECT_EQ(Walk("A\0\0C", 3), (std::vector<std::string>{"A", "", "C"}));
    EXPECT_EQ(Walk("\0\0", 2), (std::vector<std::string>{"", ""}));
}

TEST(PackedLabelTest, LabelsOfAnyLengthComeWhole) {
    std::string list(5000, 'x');
    list += '\0';
    list += "short";
    std::vector<std::string> labels = Walk(list.c_str(), 2);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0].size(), 5000u);
    EXPECT_EQ(labels[1], "short");
}

}  // namespace
