#pragma once
// The settings store: the four settings of the main program and the time of
// the last update check, kept in the settings key (settings/settings_keys.h).
#include <cstdint>

#include "base/status.h"

// The four settings the store keeps, as the main program holds them (its
// g_config is one of these).
struct StoredSettings {
    uint32_t s_nReportLevel;
    uint8_t s_bStorageCard;
    uint32_t s_nLanguage;
    uint8_t s_bAutoUpdate;
    uint8_t s_bScanArchives;  // "ScanArchives": read only, no control sets it
};

// Reads "Language", "StorageCard", "AutoUpdate", "Report" and "ScanArchives" into `settings`;
// a missing value keeps its field. Logs its entry, and the error when the key
// cannot be opened. Returns 0 or that error.
Status regLoad(StoredSettings& settings);

// Writes the four settings from `settings`, creating the key when needed, and
// makes sure "UpdateLastCheck" exists (eight zero bytes, "never") without
// changing one that is there. Returns 0, or the error when the key can
// neither be opened nor created.
Status regSave(const StoredSettings& settings);

// The age of the last update check (settings/check_age.h): 0 for never or
// when the time cannot be read, 0xFFFFFFFF for another calendar year, else a
// coarse number of seconds.
uint32_t lastCheckAge();
