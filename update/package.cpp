#include "update/package.h"

#include <cstdio>
#include <cwchar>

#include "engine/crc32.h"
#include "update/update_config.h"

namespace {

uint16_t readU16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

uint32_t readU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

template <typename Char>
bool nameIsSafe(const Char* name, size_t length) {
    if (name == nullptr || length == 0) return false;
    if (length == 1 && name[0] == '.') return false;
    if (length == 2 && name[0] == '.' && name[1] == '.') return false;
    for (size_t i = 0; i < length; ++i) {
        const Char c = name[i];
        if (c == '\\' || c == '/' || c == ':' || c == 0) return false;
    }
    return true;
}

}  // namespace

bool containerIsValid(const uint8_t* buffer, uint32_t size) {
    if (buffer == nullptr || size < kContainerMinimumSize) return false;
    if (buffer[0] != 'K' || buffer[1] != 'V' || buffer[2] != 'X' || buffer[3] != 'P') return false;
    return crc32(buffer + kContainerHeaderSize, size - kContainerHeaderSize, 0) == readU32(buffer + 4);
}

void containerScramble(uint8_t* buffer, uint32_t size) {
    for (uint32_t i = kContainerHeaderSize; i < size; ++i) buffer[i] ^= kUpdateContainerKey;
}

bool containerOpen(uint8_t* buffer, uint32_t size) {
    if (!containerIsValid(buffer, size)) return false;
    containerScramble(buffer, size);
    return true;
}

uint16_t containerVersion(const uint8_t* buffer) { return readU16(buffer + 8); }

bool packageIsNewer(uint16_t version, uint16_t installed) { return version > installed; }

uint16_t installedPackageVersion(uint16_t builtIn, const uint8_t* record, uint32_t recordSize) {
    if (record == nullptr || recordSize != kPackageRecordSize) return builtIn;
    const uint16_t recorded = readU16(record);
    return recorded > builtIn ? recorded : builtIn;
}

uint16_t packageEntryCount(const uint8_t* package) { return readU16(package + 10); }

PackageWalk packageWalkBegin(const uint8_t* package, uint32_t size) {
    PackageWalk walk;
    walk.package = package;
    walk.size = size;
    walk.next = kPackageHeaderSize;
    return walk;
}

EntryStatus packageWalkNext(PackageWalk& walk, PackageEntry& entry) {
    const uint64_t size = walk.size;
    const uint64_t at = walk.next;
    if (at >= size || size - at < kEntryHeaderSize) return EntryStatus::outside;
    const uint8_t* header = walk.package + at;
    const uint32_t flags = readU32(header);
    const uint32_t dataLength = readU32(header + 4);
    const uint64_t nameAt = at + kEntryHeaderSize;
    uint64_t nul = nameAt;
    while (nul < size && walk.package[nul] != 0) ++nul;
    if (nul >= size) return EntryStatus::outside;  // the name's NUL is not inside the package
    const uint64_t dataAt = nul + 1;
    if (dataLength > size - dataAt) return EntryStatus::outside;

    const char* name = reinterpret_cast<const char*>(walk.package + nameAt);
    const uint32_t nameLength = static_cast<uint32_t>(nul - nameAt);
    if (!entryNameIsSafe(name, nameLength)) return EntryStatus::unsafeName;

    entry.offset = static_cast<uint32_t>(at);
    entry.flags = flags;
    entry.dataLength = dataLength;
    entry.name = name;
    entry.nameLength = nameLength;
    entry.data = walk.package + dataAt;
    walk.next = dataAt + dataLength;
    return EntryStatus::ok;
}

bool entryNameIsSafe(const char* name, size_t length) { return nameIsSafe(name, length); }
bool entryNameIsSafe(const wchar_t* name, size_t length) { return nameIsSafe(name, length); }

bool installerCommandLine(wchar_t* out, size_t capacity, uint32_t processId, const wchar_t* folder,
                          uint32_t mode) {
    if (out == nullptr || capacity == 0 || folder == nullptr) return false;
    const int written = std::swprintf(out, capacity, (mode & modeInteractive) ? L"@%u %ls" : L"%u %ls",
                                      static_cast<unsigned>(processId), folder);
    if (written < 0 || static_cast<size_t>(written) >= capacity) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool packageSummarize(const uint8_t* package, uint32_t size, PackageSummary& summary) {
    summary = PackageSummary{};
    if (package == nullptr || size < kPackageMinimumSize) return false;
    summary.version = containerVersion(package);
    summary.entryCount = packageEntryCount(package);
    PackageWalk walk = packageWalkBegin(package, size);
    for (uint32_t i = 0; i < summary.entryCount; ++i) {
        PackageEntry entry;
        const EntryStatus status = packageWalkNext(walk, entry);
        if (status != EntryStatus::ok) {
            summary.firstFailure = status;
            return false;
        }
        if (entry.flags & kEntryFlagInstaller) summary.installerEntry = static_cast<int32_t>(i);
        ++summary.entriesRead;
    }
    summary.trailingBytes = size - walk.next;
    return summary.entryCount > 0;
}
