#include "engine/report_text.h"

uint32_t weekdayTextId(unsigned dayOfWeek) { return 8030 + dayOfWeek % 7; }

uint32_t monthTextId(unsigned month) { return 8036 + (month >= 1 && month <= 12 ? month : 1); }

uint32_t ordinalSuffixTextId(unsigned dayOfMonth) { return 8049 + dayOfMonth % 10; }

ScanDuration scanDuration(unsigned startHour, unsigned startMinute, unsigned startSecond, unsigned endHour,
                          unsigned endMinute, unsigned endSecond) {
    long start = long(startHour) * 3600 + long(startMinute) * 60 + long(startSecond);
    long end = long(endHour) * 3600 + long(endMinute) * 60 + long(endSecond);
    long seconds = end - start;
    if (seconds < 0) seconds += 24 * 3600;
    ScanDuration d;
    d.hours = unsigned(seconds / 3600);
    d.minutes = unsigned(seconds % 3600 / 60);
    d.seconds = unsigned(seconds % 60);
    return d;
}
