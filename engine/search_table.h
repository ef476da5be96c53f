#pragma once
// The building and freeing of a database's search table (engine/search.h),
// which the loader of the database (engine/vps_format.h) calls: declared
// apart, so that the loader needs nothing else of the search.
#include <cstdint>

#include "base/status.h"

struct VpsDatabase;

// How the search table is laid out: as its size asks (what the loader
// builds), or as a grown one whatever its size, so that tests and fuzzers
// take small databases through the code of large ones.
enum class SearchTableLayout : uint8_t { bySize, grown };

// The search table: one allocation, built from a database whose records are
// already validated and that has none yet; 0 or 8. searchTableFree is safe
// to call twice.
Status searchTableBuild(VpsDatabase& db, SearchTableLayout layout = SearchTableLayout::bySize);
void searchTableFree(VpsDatabase& db);
