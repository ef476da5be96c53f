#pragma once
// Size control of the diagnostic log. A log that has reached kLogTrimThreshold
// bytes is cut at open to its recent part: the whole blocks (one per program
// start) that follow the first "Stopped:" banner found in its last
// kLogTrimWindow bytes. The log is UTF-16LE, so everything here works on
// 16-bit character boundaries counted from the start of the file.
#include <cstddef>
#include <cstdint>

constexpr uint64_t kLogTrimThreshold = 1048576;  // a log this large or larger is cut
constexpr uint64_t kLogTrimWindow = 524287;      // how far before the end the search starts

// True when a log of `fileSize` bytes is to be cut.
bool logNeedsTrim(uint64_t fileSize);

// Where reading the recent part starts in a log of `fileSize` bytes: the first
// even offset at most kLogTrimWindow bytes before the end (0 for a short file).
uint64_t logTrimReadOffset(uint64_t fileSize);

// `tail` holds the `size` bytes of the log from an even offset to its end.
// Returns the offset in `tail` where the part to keep begins:
// - after the first line that contains "Stopped:", together with the empty
//   lines that end that block (the banner's own "\r\n\r\n");
// - failing that, at the first whole line that contains "Started:" (a run of
//   starts that never reached their "Stopped:" banner);
// - failing that, at the first whole line.
// The first line of `tail` may be the end of a longer one; only the first rule
// may pick it. Returns `size` when nothing is to be kept. Always even unless
// `size` is odd and nothing is kept.
size_t logTrimKeepFrom(const uint8_t* tail, size_t size);
