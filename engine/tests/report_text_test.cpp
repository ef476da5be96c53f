// The dated lines of the report: weekday, month and ordinal suffix texts, and
// the scan time, also across midnight.
#include "engine/report_text.h"

#include <gtest/gtest.h>

namespace {

TEST(ReportTextTest, OrdinalSuffixFollowsTheLastDigitOnly) {
    // 8049 "th", 8050 "st", 8051 "nd", 8052 "rd", 8053-8058 "th".
    EXPECT_EQ(ordinalSuffixTextId(1), 8050u);
    EXPECT_EQ(ordinalSuffixTextId(2), 8051u);
    EXPECT_EQ(ordinalSuffixTextId(3), 8052u);
    EXPECT_EQ(ordinalSuffixTextId(4), 8053u);
    EXPECT_EQ(ordinalSuffixTextId(10), 8049u);
    EXPECT_EQ(ordinalSuffixTextId(11), 8050u);
    EXPECT_EQ(ordinalSuffixTextId(21), 8050u);
    EXPECT_EQ(ordinalSuffixTextId(23), 8052u);
    EXPECT_EQ(ordinalSuffixTextId(30), 8049u);
}

TEST(ReportTextTest, WeekdaysFromSundayMonthsFromJanuary) {
    EXPECT_EQ(weekdayTextId(0), 8030u);
    EXPECT_EQ(weekdayTextId(6), 8036u);
    EXPECT_EQ(monthTextId(1), 8037u);
    EXPECT_EQ(monthTextId(12), 8048u);
}

TEST(ReportTextTest, ScanTimeIsTheDifferenceOfTheTimesOfDay) {
    ScanDuration d = scanDuration(10, 59, 50, 11, 0, 15);
    EXPECT_EQ(d.hours, 0u);
    EXPECT_EQ(d.minutes, 0u);
    EXPECT_EQ(d.seconds, 25u);

    d = scanDuration(8, 0, 0, 11, 3, 27);
    EXPECT_EQ(d.hours, 3u);
    EXPECT_EQ(d.minutes, 3u);
    EXPECT_EQ(d.seconds, 27u);

    d = scanDuration(14, 5, 9, 14, 5, 9);
    EXPECT_EQ(d.hours + d.minutes + d.seconds, 0u);
}

TEST(ReportTextTest, ScanPastMidnightShowsTheTrueElapsedTime) {
    ScanDuration d = scanDuration(23, 59, 50, 0, 0, 15);
    EXPECT_EQ(d.hours, 0u);
    EXPECT_EQ(d.minutes, 0u);
    EXPECT_EQ(d.seconds, 25u);

    d = scanDuration(22, 30, 0, 1, 15, 30);
    EXPECT_EQ(d.hours, 2u);
    EXPECT_EQ(d.minutes, 45u);
    EXPECT_EQ(d.seconds, 30u);
}

}  // namespace
