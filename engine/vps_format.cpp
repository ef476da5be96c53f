#include "engine/vps_format.h"

#include <cstdlib>
#include <cstring>

#include "engine/crc32.h"
#include "engine/large_block.h"
#include "engine/search_table.h"

namespace {

// Walks the area by record lengths; every record must be whole and the
// lengths must add up exactly to the area's length.
Status countRecords(const uint8_t* area, uint64_t length, uint32_t& count) {
    count = 0;
    uint64_t offset = 0;
    while (offset < length) {
        VpsRecord record;
        if (!vpsRecordRead(area + offset, length - offset, record)) return kStatusVpsCorrupted;
        offset += record.length;
        if (count == UINT32_MAX) return kStatusVpsCorrupted;
        ++count;
    }
    return kStatusOk;
}

// The record area is allocated at least one byte long, so that an empty
// payload still gives a present area: a loaded database with no records.
Status adoptArea(uint8_t* area, uint64_t length, VpsDatabase& db) {
    uint32_t count = 0;
    Status status = countRecords(area, length, count);
    if (status != kStatusOk) {
        std::free(area);
        return status;
    }
    db.recordArea = area;
    db.recordAreaLength = length;
    db.recordCount = count;
    status = searchTableBuild(db);
    if (status != kStatusOk) {
        std::free(area);
        db.recordArea = nullptr;
        db.recordAreaLength = 0;
        db.recordCount = 0;
    }
    return status;
}

uint8_t* allocateArea(uint64_t length) {
    if (length >= SIZE_MAX) return nullptr;
    return static_cast<uint8_t*>(largeBlockAllocate(length == 0 ? 1 : static_cast<size_t>(length)));
}

}  // namespace

void vpsDescramble(const uint8_t* source, uint8_t* destination, uint64_t length) {
    for (uint64_t i = 0; i < length; ++i) destination[i] = source[i] ^ kVpsScrambleKey;
}

bool vpsRecordRead(const uint8_t* at, uint64_t remaining, VpsRecord& record) {
    if (remaining == 0) return false;
    const uint8_t length = at[0];
    // The smallest whole record: fixed fields, a one-byte first pattern and
    // a name that is only its zero byte.
    if (length < kVpsRecordFixedLength + 2 || length > remaining) return false;
    const uint8_t n = at[3];
    if (n == 0) return false;
    if (kVpsRecordFixedLength + n + 1u > length) return false;
    const uint8_t m = at[8 + n];
    const uint32_t nameOffset = kVpsRecordFixedLength + n + m;
    if (nameOffset + 1 > length) return false;
    if (std::memchr(at + nameOffset, 0, length - nameOffset) == nullptr) return false;

    record.length = length;
    record.flags = vpsRead16(at + 1);
    record.firstLength = n;
    record.first = at + 4;
    record.secondLength = m;
    record.secondOffset = m == 0 ? 0 : static_cast<int32_t>(vpsRead32(at + 4 + n));
    record.second = at + 9 + n;
    record.crcAreaOffset = static_cast<int32_t>(vpsRead32(at + 9 + n + m));
    record.crcAreaLength = vpsRead32(at + 13 + n + m);
    record.crcAreaValue = vpsRead32(at + 17 + n + m);
    record.name = reinterpret_cast<const char*>(at + nameOffset);
    return true;
}

Status vpsParseImage(const uint8_t* image, uint64_t size, VpsDatabase& db) {
    db.recordArea = nullptr;
    db.recordAreaLength = 0;
    db.recordCount = 0;
    db.searchTable = nullptr;
    if (image == nullptr || size == 0) return kStatusVpsCorrupted;

    const void* zero = std::memchr(image, 0, static_cast<size_t>(size));
    if (zero == nullptr) return kStatusVpsCorrupted;
    const uint64_t t = static_cast<uint64_t>(static_cast<const uint8_t*>(zero) - image);
    if (size - (t + 1) < kVpsHeaderFieldsLength) return kStatusVpsCorrupted;

    const uint8_t* fields = image + t + 1;
    db.versionMajor = vpsRead16(fields);
    db.versionMinor = vpsRead16(fields + 2);
    if (db.versionMajor != kVpsVersionMajor) return kStatusVpsCorrupted;

    // The stored CRC covers the whole file with its own four bytes zeroed;
    // chaining over the three pieces leaves the image untouched.
    const uint32_t stored = vpsRead32(fields + 4);
    static const uint8_t kZeros[4] = {0, 0, 0, 0};
    const uint64_t crcAt = t + 5;
    uint32_t crc = crc32(image, crcAt, 0);
    crc = crc32(kZeros, 4, crc);
    crc = crc32(image + crcAt + 4, size - (crcAt + 4), crc);
    if (crc != stored) return kStatusVpsCorrupted;

    const uint64_t payload = t + 9;
    const uint64_t length = size - payload;
    uint8_t* area = allocateArea(length);
    if (area == nullptr) return kStatusOutOfMemory;
    vpsDescramble(image + payload, area, length);
    return adoptArea(area, length, db);
}

Status vpsLoadRecordArea(const uint8_t* area, uint64_t length, VpsDatabase& db) {
    db.recordArea = nullptr;
    db.recordAreaLength = 0;
    db.recordCount = 0;
    db.searchTable = nullptr;
    if (area == nullptr && length != 0) return kStatusBadArgument;
    uint8_t* copy = allocateArea(length);
    if (copy == nullptr) return kStatusOutOfMemory;
    if (length != 0) std::memcpy(copy, area, static_cast<size_t>(length));
    return adoptArea(copy, length, db);
}

void vpsRelease(VpsDatabase& db) {
    searchTableFree(db);
    std::free(db.recordArea);
    db = VpsDatabase{};
}
