#pragma once
// The age of the last update check, as the main screen shows it: coarse
// calendar arithmetic on two UTC times, not the exact elapsed time.
#include <cstdint>

struct CalendarTime {
    uint16_t year;
    uint16_t month;  // 1-12
    uint16_t day;    // 1-31
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
};

constexpr uint32_t kCheckAgeNever = 0;               // never checked, or the time cannot be read
constexpr uint32_t kCheckAgeTooOld = 0xFFFFFFFF;     // checked in another calendar year

// The difference in the largest calendar unit that differs, in seconds:
// - another year: kCheckAgeTooOld;
// - a later month: whole days by the fixed month table (February 28 days)
//   plus the difference of the days of the month, times 86400;
// - an earlier month: 0;
// - the same month: the difference of the days, else of the hours, else of
//   the minutes, in seconds, else of the seconds, at least 1.
// A stored time later than now within the same month (the clock was set
// back) counts as a check made just now: 1.
// A month outside 1-12 in either time gives kCheckAgeNever.
uint32_t checkAgeSeconds(const CalendarTime& stored, const CalendarTime& now);
