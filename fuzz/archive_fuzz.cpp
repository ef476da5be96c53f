// The archive reader over arbitrary bytes, taken as a file: the raw scan,
// the recognition and the walk of whatever CAB or ZIP structure the bytes
// hold, with small limits so that each input ends quickly. The search table
// and the literal search must agree on the verdict and on the member named;
// the memory held beyond the window must stay within the device's bound.
// The seeds (fuzz/archive_seeds.sh) are real cabinets from gcab and ZIPs
// from python3's zipfile, nested ones among them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/archive.h"
#include "engine/search.h"
#include "engine/vps_format.h"

namespace {

// A record with one pattern and no second one (the database's encoding).
void record(std::vector<uint8_t>& area, const std::string& pattern, const std::string& name, uint16_t flags) {
    const size_t length = 1 + 2 + 1 + pattern.size() + 4 + 1 + 12 + name.size() + 1;
    area.push_back(static_cast<uint8_t>(length));
    area.push_back(static_cast<uint8_t>(flags));
    area.push_back(static_cast<uint8_t>(flags >> 8));
    area.push_back(static_cast<uint8_t>(pattern.size()));
    area.insert(area.end(), pattern.begin(), pattern.end());
    area.insert(area.end(), 4 + 1 + 12, 0);
    area.insert(area.end(), name.begin(), name.end());
    area.push_back(0);
}

VpsDatabase* database() {
    static VpsDatabase db;
    static bool loaded = false;
    if (!loaded) {
        std::vector<uint8_t> area;
        record(area, "ALPHA-ONE", "Fuzz.Alpha", 0);
        record(area, "MZHEAD", "Fuzz.Anchored", kVpsFlagAnchored);
        record(area, "ZZ", "Fuzz.Short", 0);
        if (vpsLoadRecordArea(area.data(), area.size(), db) != kStatusOk) __builtin_trap();
        loaded = true;
    }
    return &db;
}

struct Memory {
    const uint8_t* bytes;
    size_t size;
};

Status readMemory(void* file, uint64_t offset, uint8_t* buffer, uint32_t length) {
    const Memory& m = *static_cast<Memory*>(file);
    if (offset > m.size || m.size - offset < length) __builtin_trap();  // the reader asked past the file
    std::memcpy(buffer, m.bytes + offset, length);
    return kStatusOk;
}

struct Told {
    uint32_t count = 0;
};

void told(void* context, const char* member, ArchiveProblem problem, const char* detail) {
    if (std::strlen(member) >= kArchiveNameCapacity || std::strlen(detail) >= 24) __builtin_trap();
    if (problem == ArchiveProblem::none) __builtin_trap();
    ++static_cast<Told*>(context)->count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    std::memcpy(copy, data, size);
    Memory memory{copy, size};
    ArchiveLimits limits;
    limits.memberBytes = 1 << 20;
    limits.archiveBytes = 4 << 20;
    limits.members = 64;

    std::vector<uint8_t> window(kScanWholeFileLimit);
    MatchResult results[2];
    ArchiveVerdict verdicts[2];
    const ScanMethod methods[2] = {ScanMethod::table, ScanMethod::literal};
    for (int i = 0; i < 2; ++i) {
        Told count;
        ArchiveEvents events;
        events.context = &count;
        events.notExamined = told;
        const Status status = scanWithArchives(*database(), size, WindowSource{&memory, readMemory}, window.data(),
                                               methods[i], limits, events, results[i], verdicts[i]);
        if (status != kStatusOk) __builtin_trap();
        if (count.count != verdicts[i].membersNotExamined) __builtin_trap();
        if (verdicts[i].peakMemory > 300 * 1024) __builtin_trap();
        if (std::memchr(verdicts[i].member, 0, kArchiveNameCapacity) == nullptr) __builtin_trap();
    }
    if (results[0].recordNumber != results[1].recordNumber || results[0].matchOffset != results[1].matchOffset ||
        std::strcmp(verdicts[0].member, verdicts[1].member) != 0 ||
        verdicts[0].membersExamined != verdicts[1].membersExamined) {
        __builtin_trap();
    }
    std::free(copy);
    return 0;
}
