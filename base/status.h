#pragma once
// Status codes: every operation returns an unsigned 32-bit status, 0 for
// success, otherwise a platform error number passed on unchanged or one of the
// program's own codes below. Codes 8600-8620 are at once language string IDs.
#include <cstdint>

using Status = uint32_t;

constexpr Status kStatusOk = 0;
constexpr Status kStatusOutOfMemory = 8;      // an allocation failed
constexpr Status kStatusShortWrite = 29;      // a write wrote fewer bytes than asked
constexpr Status kStatusBadArgument = 87;     // an argument is missing
constexpr Status kStatusShortRead = 259;      // a read delivered fewer bytes than asked
constexpr Status kStatusVpsNotFound = 8600;   // virus database not found
constexpr Status kStatusVpsCorrupted = 8601;  // virus database corrupted
