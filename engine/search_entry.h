#pragma once
// Which bytes of each record the search table indexes: its entry. A record
// is found through its entry, and only a window position whose bytes equal
// an entry is ever compared with a record, so the entry decides how many
// positions of a window cost a comparison. Platform-free: the table build
// (engine/search.cpp) and the database tool (its warnings) choose alike.
//
// The rule. A record's entry is either its whole first pattern (its first
// bytes as the literal search reads them) or eight bytes (the whole pattern
// when it is shorter) from anywhere in its first or its second pattern.
// Each candidate is weighed by how often its sampled 4-byte grams (its
// bytes, when shorter) are expected in ordinary files (zeros, 0xFF, text
// and runs are common), plus how many records of the database share its
// first gram past a few. The whole first pattern is kept while it is cheap
// (a gram in 100 KB); otherwise the cheapest candidate wins when it is at
// least four times cheaper (earlier candidates on a tie: first pattern
// before second, lower offset first). A candidate shorter than the first
// pattern's first eight bytes is taken only when the first pattern is
// hopeless (shared by a hundred records or made of common bytes): a
// shorter entry is sampled more densely, by every window.
#include <cstdint>

#include "base/status.h"

enum class SearchPart : uint8_t { first, second };

struct SearchEntryChoice {
    SearchPart part = SearchPart::first;
    uint8_t offset = 0;  // where the entry starts in its pattern
    uint8_t length = 0;  // entry bytes (the whole first pattern: its length)
};

// True for the whole first pattern, the entry the table keeps in the
// literal order of first patterns.
inline bool searchEntryIsWholeFirst(const SearchEntryChoice& c) { return c.part == SearchPart::first && c.offset == 0; }

// The bytes of a candidate entry at most this long; longer patterns give
// entries of this length.
constexpr uint32_t kSearchEntryPartLength = 8;

// One choice for each record of the validated record area, in database
// order, into `choices` (recordCount of them). 0, or 8 when its working
// table cannot be allocated.
Status searchChooseEntries(const uint8_t* area, uint64_t areaLength, uint32_t recordCount, SearchEntryChoice* choices);

// The entry's first byte in the record at `record` (an offset in the area).
const uint8_t* searchEntryBytes(const uint8_t* area, uint32_t record, const SearchEntryChoice& choice);

// How far the entry starts after the record's first pattern, in a window
// where both patterns match (negative when it lies before).
int64_t searchEntryDistance(const uint8_t* area, uint32_t record, const SearchEntryChoice& choice);

// The smallest period of the entry's bytes: in a window made of them an
// entry occurs at every period-th byte.
uint32_t searchEntryPeriod(const uint8_t* bytes, uint32_t length);
