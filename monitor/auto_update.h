#pragma once
// The monitor's copy of the "AutoUpdate" setting, read from the settings key.
#include <cstdint>

// Loads the flag from the registry into `flag` (lowest byte of the value); a
// key or value that cannot be read leaves it as it was.
void loadAutoUpdate(uint8_t& flag);

// Whether a monitor that has just started goes on: only with the setting
// exactly on (1).
constexpr bool monitorShouldRun(uint8_t flag) { return flag == 1; }
