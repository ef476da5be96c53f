// The age of the last update check: coarse calendar arithmetic, the largest
// unit that differs, February always 28 days, years compared first.
#include <gtest/gtest.h>

#include "settings/check_age.h"

namespace {

CalendarTime at(uint16_t year, uint16_t month, uint16_t day, uint16_t hour = 0, uint16_t minute = 0,
                uint16_t second = 0) {
    return CalendarTime{year, month, day, hour, minute, second};
}

constexpr uint32_t kDay = 86400;

}  // namespace

TEST(CheckAge, ALaterMonthCountsDaysByTheFixedMonthTable) {
    // 28 + (1 - 28) = 1 day, though only two hours passed.
    EXPECT_EQ(checkAgeSeconds(at(2025, 2, 28, 23), at(2025, 3, 1, 1)), 1 * kDay);
    // 31 + 28 + 0.
    EXPECT_EQ(checkAgeSeconds(at(2025, 1, 15), at(2025, 3, 15)), 59 * kDay);
    EXPECT_EQ(checkAgeSeconds(at(2025, 1, 31, 12), at(2025, 2, 1, 9)), 1 * kDay);
    // The whole year: 334 days to December 1, then 30 more.
    EXPECT_EQ(checkAgeSeconds(at(2025, 1, 1), at(2025, 12, 31)), 364 * kDay);
    EXPECT_EQ(checkAgeSeconds(at(2025, 11, 30, 23, 59, 59), at(2025, 12, 1)), 1 * kDay);
}

TEST(CheckAge, FebruaryHasTwentyEightDaysEvenInALeapYear) {
    EXPECT_EQ(checkAgeSeconds(at(2024, 2, 10), at(2024, 3, 10)), 28 * kDay);
    // The coarse count puts the leap day level with March 1: no age at all.
    EXPECT_EQ(checkAgeSeconds(at(2024, 2, 29, 8), at(2024, 3, 1, 9)), 0u);
}

TEST(CheckAge, AnotherYearIsTooOld) {
    EXPECT_EQ(checkAgeSeconds(at(2025, 12, 31, 23, 59, 59), at(2026, 1, 2)), kCheckAgeTooOld);
    EXPECT_EQ(checkAgeSeconds(at(2020, 6, 1), at(2026, 6, 1)), kCheckAgeTooOld);
    // Years are compared first, whichever is later.
    EXPECT_EQ(checkAgeSeconds(at(2027, 1, 1), at(2026, 1, 1)), kCheckAgeTooOld);
}

TEST(CheckAge, TheSameMonthCountsTheLargestUnitThatDiffers) {
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 23, 59), at(2025, 5, 4, 0, 1)), 1 * kDay);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 1, 10), at(2025, 5, 31, 9)), 30 * kDay);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 8, 59, 59), at(2025, 5, 3, 10, 0, 0)), 2 * 3600u);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 10, 5, 50), at(2025, 5, 3, 10, 6, 10)), 60u);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 10, 5, 0), at(2025, 5, 3, 10, 59, 0)), 54 * 60u);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 10, 5, 5), at(2025, 5, 3, 10, 5, 35)), 30u);
}

TEST(CheckAge, ACheckWithinTheSameSecondIsOneSecondOld) {
    // 0 would read as "never checked".
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 10, 5, 5), at(2025, 5, 3, 10, 5, 5)), 1u);
}

TEST(CheckAge, AStoredTimeLaterInTheSameMonthIsACheckJustMade) {
    // The clock was set back after the check: no wrap to an age of thousands of days.
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 20), at(2025, 5, 3)), 1u);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 11), at(2025, 5, 3, 10, 30)), 1u);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 10, 31), at(2025, 5, 3, 10, 30, 59)), 1u);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 3, 10, 30, 40), at(2025, 5, 3, 10, 30, 20)), 1u);
}

TEST(CheckAge, AStoredTimeInALaterMonthGivesZero) {
    EXPECT_EQ(checkAgeSeconds(at(2025, 6, 1), at(2025, 5, 31)), 0u);
    EXPECT_EQ(checkAgeSeconds(at(2025, 12, 1), at(2025, 1, 1)), 0u);
}

TEST(CheckAge, AnImpossibleMonthIsNoTime) {
    EXPECT_EQ(checkAgeSeconds(at(2025, 0, 1), at(2025, 5, 1)), kCheckAgeNever);
    EXPECT_EQ(checkAgeSeconds(at(2025, 5, 1), at(2025, 13, 1)), kCheckAgeNever);
}
