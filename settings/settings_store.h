#pragma once
// The settings store: the four settings of g_config and the time of the last
// update check, kept in the settings key (settings/settings_keys.h).
#include <cstdint>

#include "base/status.h"

// Reads "Language", "StorageCard", "AutoUpdate" and "Report" into g_config; a
// missing value keeps its field. Logs its entry, and the error when the key
// cannot be opened. Returns 0 or that error.
Status regLoad();

// Writes the four settings from g_config, creating the key when needed, and
// makes sure "UpdateLastCheck" exists (eight zero bytes, "never") without
// changing one that is there. Returns 0, or the error when the key can
// neither be opened nor created.
Status regSave();

// The age of the last update check (settings/check_age.h): 0 for never or
// when the time cannot be read, 0xFFFFFFFF for another calendar year, else a
// coarse number of seconds.
uint32_t lastCheckAge();
