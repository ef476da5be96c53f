#pragma once
// The arithmetic of the report's dated lines: which language texts name a
// weekday, a month and a day's ordinal suffix, and the scan time.
#include <cstdint>

// Text IDs of the weekday (0 = Sunday), the month (1 = January) and the
// ordinal suffix of a day of the month (by its last digit only: the 11th is
// written with the suffix of 1).
uint32_t weekdayTextId(unsigned dayOfWeek);
uint32_t monthTextId(unsigned month);
uint32_t ordinalSuffixTextId(unsigned dayOfMonth);

struct ScanDuration {
    unsigned hours = 0;
    unsigned minutes = 0;
    unsigned seconds = 0;
};

// Elapsed time between two times of day. A scan that runs past midnight ends
// at an earlier time of day than it began: a day is added, so the time shown
// is the true one (for scans shorter than a day).
ScanDuration scanDuration(unsigned startHour, unsigned startMinute, unsigned startSecond, unsigned endHour,
                          unsigned endMinute, unsigned endSecond);
