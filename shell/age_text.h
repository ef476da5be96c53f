#pragma once
// How the main screen words the age of the last update check.
#include <cstdint>

struct CheckAgeText {
    bool hasCount = false;     // " %d %s" with count and unit, else " " and the unit text alone
    uint32_t count = 0;
    uint32_t textId = 0;       // 8107 not yet, 8113 too old, 8108-8111 units
    bool warning = false;      // drawn red instead of blue
};

// `age` as lastCheckAge gives it: 0 never, 0xFFFFFFFF another year, else seconds.
CheckAgeText describeCheckAge(uint32_t age);

// The label in front of the age: 8106, except in French when the age has no
// count (the French label ends in the word for "ago"): 8121.
uint32_t checkAgeLabelId(uint32_t primaryLanguage, const CheckAgeText& age);
