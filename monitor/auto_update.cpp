#include "monitor/auto_update.h"

#include <windows.h>

#include "settings/registry.h"
#include "settings/settings_keys.h"

void loadAutoUpdate(uint8_t& flag) {
    RegistryKey settings;
    if (settings.Open(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_ALL_ACCESS) != 0) return;
    uint32_t value = flag;
    if (settings.QueryDword(&value, kValueAutoUpdate) == 0) flag = static_cast<uint8_t>(value & 0xFF);
}
