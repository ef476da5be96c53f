#pragma once
// The monitor's binding of its platform libraries at its start: WinInet,
// then (every edition but the Handheld PC, whose devices have no shell
// library) AygShell, by name only. Fills g_api (base/binding.h).

// Null when every entry is bound, otherwise the fixed English message of the
// first failure.
const char* bindMonitorLibraries();
