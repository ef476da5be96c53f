#pragma once
// The process's one loaded virus database, read from "zerbinpda.vps" beside
// the executable. Loaded once at start-up, read-only while loaded (the scan
// thread reads it without a lock), freed when the main window is destroyed.
#include <cstdint>

#include "base/status.h"
#include "engine/vps_format.h"

extern VpsDatabase g_vps;

// Loads "zerbinpda.vps" from the executable's folder: 0, 8 (memory), 8600
// (no such file), 8601 (corrupted), 87 (empty file), 259 (short read) or the
// platform error of the open or read. After a failure nothing is loaded.
Status vpsLoad();

// The same load from a given file (the database tool loads any file so).
Status vpsLoadFile(const wchar_t* path);

// Releases the record area and the search table; 0, also when nothing is loaded.
Status vpsFree();
