#include "shell/age_text.h"

CheckAgeText describeCheckAge(uint32_t age) {
    CheckAgeText t;
    if (age == 0) {
        t.textId = 8107;
    } else if (age == 0xFFFFFFFFu) {
        t.textId = 8113;
        t.warning = true;
    } else if (age < 60) {
        t = {true, age, 8108, false};
    } else if (age < 3600) {
        t = {true, age / 60, 8109, false};
    } else if (age < 86400) {
        t = {true, age / 3600, 8110, false};
    } else {
        t = {true, age / 86400, 8111, false};
    }
    return t;
}

uint32_t checkAgeLabelId(uint32_t primaryLanguage, const CheckAgeText& age) {
    constexpr uint32_t kFrench = 12;
    return (primaryLanguage == kFrench && !age.hasCount) ? 8121 : 8106;
}
