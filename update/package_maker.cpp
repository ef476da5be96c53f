#include "update/package_maker.h"

#include "engine/crc32.h"
#include "update/package.h"
#include "update/signature.h"

namespace {

void putU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> containerMake(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out = {'K', 'V', 'X', 'P', 0, 0, 0, 0};
    out.insert(out.end(), payload.begin(), payload.end());
    containerScramble(out.data(), static_cast<uint32_t>(out.size()));
    const uint32_t crc = crc32(out.data() + kContainerHeaderSize, out.size() - kContainerHeaderSize, 0);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return out;
}

std::vector<uint8_t> versionPayload(uint16_t version) {
    std::vector<uint8_t> out;
    putU16(out, version);
    return out;
}

std::vector<uint8_t> packagePayload(uint16_t version, const std::vector<PackageFile>& files, int entryCount) {
    std::vector<uint8_t> out;
    putU16(out, version);
    putU16(out, static_cast<uint16_t>(entryCount < 0 ? files.size() : static_cast<size_t>(entryCount)));
    for (const PackageFile& file : files) {
        putU32(out, file.flags);
        putU32(out, static_cast<uint32_t>(file.data.size()));
        out.insert(out.end(), file.name.begin(), file.name.end());
        out.push_back(0);
        out.insert(out.end(), file.data.begin(), file.data.end());
    }
    return out;
}

PackageFile packageRecordEntry(uint16_t version) { return {kPackageRecordName, versionPayload(version), 0}; }

std::vector<uint8_t> publicKeyBlobMake(const std::vector<uint8_t>& modulusBigEndian, uint32_t exponent) {
    size_t first = 0;
    while (first < modulusBigEndian.size() && modulusBigEndian[first] == 0) ++first;
    const uint32_t modulusSize = static_cast<uint32_t>(modulusBigEndian.size() - first);
    std::vector<uint8_t> out = {0x06, 0x02, 0x00, 0x00};  // PUBLICKEYBLOB, version 2
    putU32(out, kAlgorithmRsaSign);
    putU32(out, 0x31415352);  // "RSA1"
    putU32(out, modulusSize * 8);
    putU32(out, exponent);
    for (size_t i = modulusBigEndian.size(); i > first; --i) out.push_back(modulusBigEndian[i - 1]);
    return out;
}
