#include "device/cellcore/connmgr_mode.h"

namespace {

bool equalsIgnoringCase(const char16_t* text, size_t length, const char* name) {
    size_t i = 0;
    for (; i < length && name[i]; ++i) {
        char16_t c = text[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != static_cast<char16_t>(name[i])) return false;
    }
    return i == length && name[i] == 0;
}

// A real connection takes a moment to come up; callers must wait for it.
constexpr uint32_t kChangeDelayMs = 100;

constexpr ConnMgrStep kConnectedPlan[] = {{kChangeDelayMs, 0x10}};
constexpr ConnMgrStep kDisconnectedPlan[] = {{kChangeDelayMs, 0x20}};
constexpr ConnMgrStep kStatusFailedPlan[] = {{kChangeDelayMs, 0x21}};

}  // namespace

bool connMgrModeFromText(const char16_t* text, size_t length, ConnMgrMode& mode) {
    if (!text || length == 0 || equalsIgnoringCase(text, length, "connected")) {
        mode = ConnMgrMode::connected;
    } else if (equalsIgnoringCase(text, length, "disconnected")) {
        mode = ConnMgrMode::disconnected;
    } else if (equalsIgnoringCase(text, length, "establish-fails")) {
        mode = ConnMgrMode::establishFails;
    } else if (equalsIgnoringCase(text, length, "status-failed")) {
        mode = ConnMgrMode::statusFailed;
    } else {
        return false;
    }
    return true;
}

const ConnMgrStep* connMgrPlan(ConnMgrMode mode, size_t& count) {
    switch (mode) {
    case ConnMgrMode::connected:
        count = 1;
        return kConnectedPlan;
    case ConnMgrMode::disconnected:
        count = 1;
        return kDisconnectedPlan;
    case ConnMgrMode::statusFailed:
        count = 1;
        return kStatusFailedPlan;
    case ConnMgrMode::establishFails:
        break;
    }
    count = 0;
    return nullptr;
}
