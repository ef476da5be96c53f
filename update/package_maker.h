#pragma once
// Making containers and packages: the maker's publish tool, the update
// server's tests and the device tests all build them with these.
#include <cstdint>
#include <string>
#include <vector>

struct PackageFile {
    std::string name;           // 8-bit text, as the device's code page reads it
    std::vector<uint8_t> data;
    uint32_t flags = 0;         // kEntryFlagInstaller for the installer
};

// A whole container around `payload` (the bytes from offset 8 on, not yet
// scrambled): magic, checksum of the scrambled payload, scrambled payload.
std::vector<uint8_t> containerMake(const std::vector<uint8_t>& payload);

// The payload of a version file: the package version.
std::vector<uint8_t> versionPayload(uint16_t version);

// The payload of a package: version, entry count (the number of files
// unless `entryCount` overrides it), then the entries in order.
std::vector<uint8_t> packagePayload(uint16_t version, const std::vector<PackageFile>& files, int entryCount = -1);

// The two files the server offers: version.dat and upgrade.dat.
inline std::vector<uint8_t> versionFileMake(uint16_t version) { return containerMake(versionPayload(version)); }
inline std::vector<uint8_t> packageFileMake(uint16_t version, const std::vector<PackageFile>& files) {
    return containerMake(packagePayload(version, files));
}

// The entry that records the package on a device once it is wholly
// installed (kPackageRecordName, its version in two bytes).
PackageFile packageRecordEntry(uint16_t version);

// A key file (update.key) for an RSA public key, as a device reads it: the
// modulus given most significant byte first, as OpenSSL gives it (leading
// zero bytes are dropped), and the public exponent.
std::vector<uint8_t> publicKeyBlobMake(const std::vector<uint8_t>& modulusBigEndian, uint32_t exponent);
