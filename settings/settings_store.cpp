#include "settings/settings_store.h"

#include <windows.h>
#include <oleauto.h>

#include <cmath>
#include <cstring>

#include "log/diaglog.h"
#include "settings/check_age.h"
#include "settings/registry.h"
#include "settings/settings_keys.h"

namespace {

constexpr wchar_t kCategory[] = L"Internal";

// A byte flag is stored as a 4-byte value of which only the lowest byte
// counts; a missing value leaves the flag as it was.
void queryFlag(RegistryKey& key, uint8_t& flag, const wchar_t* name) {
    uint32_t value = flag;
    if (key.QueryDword(&value, name) == kStatusOk) flag = static_cast<uint8_t>(value & 0xFF);
}

CalendarTime calendarTime(const SYSTEMTIME& time) {
    return CalendarTime{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

}  // namespace

Status regLoad(StoredSettings& settings) {
    g_log.Printf(kCategory, L"regLoad inside - key: %s", kSettingsKeyPath);
    RegistryKey key;
    Status status = key.Open(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_ALL_ACCESS);
    if (status != kStatusOk) {
        g_log.Printf(kCategory, L"regLoad failed - error: %d", static_cast<int>(status));
        return status;
    }
    key.QueryDword(&settings.s_nLanguage, kValueLanguage);
    queryFlag(key, settings.s_bStorageCard, kValueStorageCard);
    queryFlag(key, settings.s_bAutoUpdate, kValueAutoUpdate);
    key.QueryDword(&settings.s_nReportLevel, kValueReport);
    // No control sets it, so it is read here and never written.
    queryFlag(key, settings.s_bScanArchives, kValueScanArchives);
    key.Close();
    return kStatusOk;
}

Status regSave(const StoredSettings& settings) {
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_ALL_ACCESS) != kStatusOk) {
        Status created = key.Create(HKEY_CURRENT_USER, kSettingsKeyPath, nullptr, 0, KEY_ALL_ACCESS, nullptr);
        if (created != kStatusOk) return created;
    }

    uint8_t lastCheck[kUpdateLastCheckSize] = {};
    DWORD size = sizeof lastCheck;
    if (key.QueryValue(lastCheck, kValueUpdateLastCheck, &size) != kStatusOk) {
        const uint8_t never[kUpdateLastCheckSize] = {};
        RegSetValueExW(key.handle(), kValueUpdateLastCheck, 0, REG_BINARY, never, sizeof never);
    }

    // Write errors are not reported: the settings stay in memory either way.
    key.SetDword(settings.s_nLanguage, kValueLanguage);
    key.SetDword(settings.s_bStorageCard ? 1 : 0, kValueStorageCard);
    key.SetDword(settings.s_bAutoUpdate ? 1 : 0, kValueAutoUpdate);
    key.SetDword(settings.s_nReportLevel, kValueReport);
    key.Close();
    return kStatusOk;
}

uint32_t lastCheckAge() {
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_ALL_ACCESS) != kStatusOk) return kCheckAgeNever;
    uint8_t raw[kUpdateLastCheckSize] = {};
    DWORD size = sizeof raw;
    Status read = key.QueryValue(raw, kValueUpdateLastCheck, &size);
    key.Close();
    // Anything but the eight bytes of a date is no time: a shorter value would
    // read as a date near 1899 and show as "too old!".
    if (read != kStatusOk || size != sizeof raw) return kCheckAgeNever;
    double stored = 0.0;
    memcpy(&stored, raw, sizeof stored);
    if (stored == 0.0 || !std::isfinite(stored)) return kCheckAgeNever;

    SYSTEMTIME storedTime{};
    if (!VariantTimeToSystemTime(stored, &storedTime)) return kCheckAgeNever;
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return checkAgeSeconds(calendarTime(storedTime), calendarTime(now));
}
