#include "settings/check_age.h"

namespace {

// February always counts 28 days: the age is coarse by design.
constexpr uint32_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr uint32_t kDay = 86400;
constexpr uint32_t kHour = 3600;
constexpr uint32_t kMinute = 60;
constexpr uint32_t kJustNow = 1;

bool validMonth(uint16_t month) { return month >= 1 && month <= 12; }

// `later` - `earlier` in `unit`s; a negative difference means the clock
// went back after the check.
uint32_t unitsBetween(uint16_t earlier, uint16_t later, uint32_t unit) {
    if (later < earlier) return kJustNow;
    return static_cast<uint32_t>(later - earlier) * unit;
}

}  // namespace

uint32_t checkAgeSeconds(const CalendarTime& stored, const CalendarTime& now) {
    if (!validMonth(stored.month) || !validMonth(now.month)) return kCheckAgeNever;
    if (stored.year != now.year) return kCheckAgeTooOld;

    if (now.month > stored.month) {
        int64_t days = 0;
        for (uint16_t month = stored.month; month < now.month; ++month) days += kMonthDays[month - 1];
        days += static_cast<int64_t>(now.day) - static_cast<int64_t>(stored.day);
        // Days of the month are at most 31, so this stays far from overflow;
        // a negative count cannot arise from real dates but must not wrap.
        return days > 0 ? static_cast<uint32_t>(days) * kDay : 0;
    }
    if (now.month < stored.month) return 0;

    if (now.day != stored.day) return unitsBetween(stored.day, now.day, kDay);
    if (now.hour != stored.hour) return unitsBetween(stored.hour, now.hour, kHour);
    if (now.minute != stored.minute) return unitsBetween(stored.minute, now.minute, kMinute);
    if (now.second > stored.second) return static_cast<uint32_t>(now.second - stored.second);
    return kJustNow;
}
