#pragma once
// The virus database "zerbinpda.vps": its file image, its records and the
// loaded database. Platform-free: the loader, the database tool, the tests,
// the fuzzers and the benchmarks all parse images with this code.
//
// File image (little-endian): a text header ended by the first zero byte,
// then versionMajor (2), versionMinor (2), the CRC-32 of the whole file with
// these four bytes zeroed (4), then the payload: the record area, each byte
// XOR-ed with kVpsScrambleKey.
#include <cstdint>

#include "base/status.h"

// The one-byte key of the payload. Every database producer uses the same
// value; it is not the key of the update container.
constexpr uint8_t kVpsScrambleKey = 0xA7;

constexpr uint16_t kVpsVersionMajor = 1;          // the only major version this program reads
constexpr uint32_t kVpsHeaderFieldsLength = 8;    // versions and CRC after the header's zero byte
constexpr uint32_t kVpsRecordFixedLength = 21;    // a record's bytes besides its patterns and name
constexpr uint32_t kVpsRecordMaxLength = 255;     // the length byte bounds a record
constexpr uint16_t kVpsFlagAnchored = 0x0001;     // counts only at offset 0 of a file

struct SearchTable;  // engine/search.h

// The loaded database. Unloaded: no record area, recordCount 0.
struct VpsDatabase {
    uint16_t versionMajor = 0;
    uint16_t versionMinor = 0;
    uint8_t* recordArea = nullptr;   // the descrambled payload, one heap block
    uint64_t recordAreaLength = 0;   // exactly the payload's length
    uint32_t recordCount = 0;
    SearchTable* searchTable = nullptr;  // built once at load, see engine/search.h
};

// One record of the record area, its fields decoded (pointers into the area).
struct VpsRecord {
    uint8_t length = 0;
    uint16_t flags = 0;
    uint8_t firstLength = 0;
    const uint8_t* first = nullptr;
    int32_t secondOffset = 0;  // 0 when there is no second pattern
    uint8_t secondLength = 0;
    const uint8_t* second = nullptr;
    int32_t crcAreaOffset = 0;
    uint32_t crcAreaLength = 0;
    uint32_t crcAreaValue = 0;
    const char* name = nullptr;  // zero-terminated inside the record
};

// Destination byte i = source byte i XOR kVpsScrambleKey. The operation is its
// own inverse, so producers scramble with it too.
void vpsDescramble(const uint8_t* source, uint8_t* destination, uint64_t length);

// Decodes the record at `at`, of which `remaining` bytes are left in the area.
// False when the record is not whole: a length of 0, a record running past the
// area, too short for its own fields, an empty first pattern, or a name whose
// zero byte is not inside the record.
bool vpsRecordRead(const uint8_t* at, uint64_t remaining, VpsRecord& record);

// Parses a whole file image into `db` (which must be unloaded): header,
// versions (kept even when the image then proves corrupted), CRC, payload,
// the record walk with every record validated, and the search table.
// 0, 8601 for a corrupted image, 8 when memory runs out. On failure `db`
// holds no record area.
Status vpsParseImage(const uint8_t* image, uint64_t size, VpsDatabase& db);

// Loads an already descrambled record area (tests, fuzzers, benchmarks):
// copies it, validates and counts its records and builds the search table.
Status vpsLoadRecordArea(const uint8_t* area, uint64_t length, VpsDatabase& db);

// Frees the record area and the search table; the database is unloaded
// afterwards (versions back to 0). Safe on an unloaded database.
void vpsRelease(VpsDatabase& db);

// Reads little-endian numbers byte by byte.
inline uint16_t vpsRead16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t vpsRead32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
