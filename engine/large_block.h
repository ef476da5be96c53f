#pragma once
// Blocks of many megabytes: the record area and the search table of a large
// database. On Linux hosts they are asked for on huge pages where the system
// offers them, because there the load of a million-record database
// otherwise spends most of its time taking page faults (one per 4 KB, some
// 25,000 of them for 100 MB). Elsewhere, and for smaller blocks, they are
// plain heap blocks. Either way std::free releases them.
#include <cstddef>

void* largeBlockAllocate(size_t bytes);
