#pragma once
// Entry points of the optional platform libraries, bound once at start-up
// (LoadLibraryW, then by name, then by ordinal) and never changed afterwards.
#include "base/platform_entries.h"

extern PlatformEntries g_api;

// Binds the edition's libraries in order. Null when every entry is bound,
// otherwise the fixed English message of the first failure.
const char* bindPlatformLibraries();
