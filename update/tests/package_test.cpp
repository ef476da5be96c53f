// The container and the package, as the install and the maker's tools read them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/crc32.h"
#include "update/content_length.h"
#include "update/package.h"
#include "update/package_maker.h"
#include "update/update_config.h"

namespace {

std::vector<uint8_t> bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i * 7);
    return out;
}

// An opened package (as after containerOpen) made of these files.
std::vector<uint8_t> openedPackage(uint16_t version, const std::vector<PackageFile>& files, int count = -1) {
    std::vector<uint8_t> out = containerMake(packagePayload(version, files, count));
    EXPECT_TRUE(containerOpen(out.data(), static_cast<uint32_t>(out.size())));
    return out;
}

TEST(Container, VersionFileOf430IsValidAndAnnouncesANewPackage) {
    std::vector<uint8_t> file = versionFileMake(430);
    ASSERT_EQ(file.size(), kVersionFileSize);
    EXPECT_EQ(std::memcmp(file.data(), "KVXP", 4), 0);
    // Stored scrambled: the payload is 430 XOR the key, byte by byte.
    EXPECT_EQ(file[8], static_cast<uint8_t>(430 & 0xFF) ^ kUpdateContainerKey);
    EXPECT_EQ(file[9], static_cast<uint8_t>(430 >> 8) ^ kUpdateContainerKey);
    ASSERT_TRUE(containerOpen(file.data(), 10));
    EXPECT_EQ(containerVersion(file.data()), 430);
    EXPECT_TRUE(packageIsNewer(430));
    EXPECT_FALSE(packageIsNewer(429));
    EXPECT_FALSE(packageIsNewer(0));
}

// What a device makes of an offer, from the version its programs were built
// as, the record of its last complete install, the version file's offer and
// the package's own version: whether it fetches the package, and whether it
// installs it.
TEST(InstalledVersion, TheLargerOfBuiltInAndRecordDecidesTheOfferAndThePackage) {
    const std::vector<uint8_t> none;
    struct Case {
        const char* what;
        uint16_t builtIn;
        std::vector<uint8_t> record;
        uint16_t offered, package;
        bool fetches, installs;
    } cases[] = {
        {"never installed", 429, none, 430, 430, true, true},
        {"never installed, 429 offered", 429, none, 429, 429, false, false},
        {"430 installed, 430 offered again", 429, versionPayload(430), 430, 430, false, false},
        {"430 installed, 431 offered", 429, versionPayload(430), 431, 431, true, true},
        {"431 installed, old 430 replayed as 432", 429, versionPayload(431), 432, 430, true, false},
        {"431 installed, 431 replayed as 432", 429, versionPayload(431), 432, 431, true, false},
        {"a record below the built-in", 429, versionPayload(100), 430, 430, true, true},
        {"programs built newer than the record", 500, versionPayload(430), 431, 431, false, false},
        {"the highest version recorded", 429, versionPayload(65535), 65535, 65535, false, false},
        {"an empty record", 429, std::vector<uint8_t>{}, 430, 430, true, true},
        {"a record of one byte", 429, std::vector<uint8_t>{0xB0}, 430, 430, true, true},
        {"a record of three bytes", 429, std::vector<uint8_t>{0xB0, 0x01, 0x00}, 430, 430, true, true},
    };
    for (const Case& c : cases) {
        const uint16_t installed =
            installedPackageVersion(c.builtIn, c.record.empty() ? nullptr : c.record.data(),
                                    static_cast<uint32_t>(c.record.size()));
        const bool fetches = packageIsNewer(c.offered, installed);
        EXPECT_EQ(fetches, c.fetches) << c.what;
        EXPECT_EQ(fetches && packageIsNewer(c.package, installed), c.installs) << c.what;
    }
    // The record the maker's tools put in a package is what the device reads.
    const PackageFile record = packageRecordEntry(431);
    EXPECT_EQ(record.name, kPackageRecordName);
    EXPECT_EQ(installedPackageVersion(429, record.data.data(), static_cast<uint32_t>(record.data.size())), 431);
}

TEST(Container, ChecksumCoversThePayloadAsStored) {
    std::vector<uint8_t> file = versionFileMake(430);
    const uint32_t stored = file[4] | (file[5] << 8) | (file[6] << 16) | (static_cast<uint32_t>(file[7]) << 24);
    EXPECT_EQ(stored, crc32(file.data() + 8, 2, 0));
}

TEST(Container, AnyChangedPayloadByteFailsAndLeavesTheBufferUnchanged) {
    for (size_t at : {size_t{8}, size_t{9}}) {
        std::vector<uint8_t> file = versionFileMake(430);
        file[at] ^= 0x01;
        const std::vector<uint8_t> before = file;
        EXPECT_FALSE(containerOpen(file.data(), 10)) << at;
        EXPECT_EQ(file, before);
    }
}

TEST(Container, WrongMagicShortOrMissingBufferFails) {
    std::vector<uint8_t> file = versionFileMake(430);
    std::vector<uint8_t> magic = file;
    magic[3] = 'Q';
    EXPECT_FALSE(containerIsValid(magic.data(), 10));
    EXPECT_FALSE(containerIsValid(nullptr, 10));
    // 8 bytes: a header with no payload is no container, even with CRC 0 of nothing.
    const uint8_t header[8] = {'K', 'V', 'X', 'P', 0, 0, 0, 0};
    EXPECT_FALSE(containerIsValid(header, 8));
    // The smallest valid container has one payload byte.
    std::vector<uint8_t> nine = containerMake({0x42});
    ASSERT_EQ(nine.size(), 9u);
    EXPECT_TRUE(containerOpen(nine.data(), 9));
    EXPECT_EQ(nine[8], 0x42);
}

TEST(Container, UnscramblingTwiceGivesBackTheScrambledBytes) {
    std::vector<uint8_t> file = containerMake(bytes(40, 3));
    const std::vector<uint8_t> scrambled = file;
    containerScramble(file.data(), static_cast<uint32_t>(file.size()));
    EXPECT_NE(file, scrambled);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 8, file.end()), bytes(40, 3));
    containerScramble(file.data(), static_cast<uint32_t>(file.size()));
    EXPECT_EQ(file, scrambled);
}

TEST(Package, OneInstallerEntryOf130Bytes) {
    const std::vector<PackageFile> files = {{"setup.exe", bytes(100, 1), 1}};
    std::vector<uint8_t> package = openedPackage(430, files);
    ASSERT_EQ(package.size(), 130u);  // 12 + 8 + 10 + 100
    PackageSummary summary;
    ASSERT_TRUE(packageSummarize(package.data(), 130, summary));
    EXPECT_EQ(summary.version, 430);
    EXPECT_EQ(summary.entryCount, 1);
    EXPECT_EQ(summary.installerEntry, 0);
    EXPECT_EQ(summary.trailingBytes, 0u);

    PackageWalk walk = packageWalkBegin(package.data(), 130);
    PackageEntry entry;
    ASSERT_EQ(packageWalkNext(walk, entry), EntryStatus::ok);
    EXPECT_EQ(std::string(entry.name, entry.nameLength), "setup.exe");
    EXPECT_EQ(entry.dataLength, 100u);
    EXPECT_EQ(entry.offset, 12u);
    EXPECT_EQ(std::vector<uint8_t>(entry.data, entry.data + 100), bytes(100, 1));
    EXPECT_EQ(packageWalkNext(walk, entry), EntryStatus::outside);  // starts at the end
}

TEST(Package, TheLastFlaggedEntryIsTheInstallerAndOtherFlagBitsAreIgnored) {
    const std::vector<PackageFile> files = {
        {"a.exe", bytes(3, 1), 1}, {"b.vps", bytes(4, 2), 0xFFFFFFFE}, {"c.exe", bytes(5, 3), 0x80000001}};
    std::vector<uint8_t> package = openedPackage(431, files);
    PackageSummary summary;
    ASSERT_TRUE(packageSummarize(package.data(), static_cast<uint32_t>(package.size()), summary));
    EXPECT_EQ(summary.entriesRead, 3);
    EXPECT_EQ(summary.installerEntry, 2);

    const std::vector<PackageFile> none = {{"zerbinpda.vps", bytes(9, 1), 0}};
    std::vector<uint8_t> noInstaller = openedPackage(431, none);
    ASSERT_TRUE(packageSummarize(noInstaller.data(), static_cast<uint32_t>(noInstaller.size()), summary));
    EXPECT_EQ(summary.installerEntry, -1);
}

TEST(Package, CountBeyondTheEntriesFailsAfterTheFirst) {
    const std::vector<PackageFile> files = {{"setup.exe", bytes(100, 1), 1}};
    std::vector<uint8_t> package = openedPackage(430, files, 2);
    PackageSummary summary;
    EXPECT_FALSE(packageSummarize(package.data(), static_cast<uint32_t>(package.size()), summary));
    EXPECT_EQ(summary.entriesRead, 1);
    EXPECT_EQ(summary.firstFailure, EntryStatus::outside);
}

TEST(Package, EntriesReachingPastTheEndAreOutside) {
    const std::vector<PackageFile> files = {{"setup.exe", bytes(100, 1), 1}};
    const std::vector<uint8_t> whole = openedPackage(430, files);
    PackageEntry entry;
    // Data one byte short, the name's NUL missing, the header cut.
    for (uint32_t size : {129u, 29u, 25u, 19u, 13u, 12u}) {
        PackageWalk walk = packageWalkBegin(whole.data(), size);
        EXPECT_EQ(packageWalkNext(walk, entry), EntryStatus::outside) << size;
        EXPECT_EQ(walk.next, 12u);
    }
    // A data length near 4 GiB must not wrap around the bounds check.
    std::vector<uint8_t> huge = whole;
    huge[16] = huge[17] = huge[18] = huge[19] = 0xFF;
    PackageWalk walk = packageWalkBegin(huge.data(), static_cast<uint32_t>(huge.size()));
    EXPECT_EQ(packageWalkNext(walk, entry), EntryStatus::outside);
}

TEST(Package, ShortPackagesAndZeroEntriesAreRefused) {
    PackageSummary summary;
    std::vector<uint8_t> zero = openedPackage(430, {{"x", bytes(8, 1), 1}}, 0);
    ASSERT_GE(zero.size(), kPackageMinimumSize);
    EXPECT_FALSE(packageSummarize(zero.data(), static_cast<uint32_t>(zero.size()), summary));
    std::vector<uint8_t> small = openedPackage(430, {{"x", bytes(7, 1), 1}});
    ASSERT_EQ(small.size(), 29u);
    EXPECT_TRUE(packageSummarize(small.data(), 29, summary));
    EXPECT_FALSE(packageSummarize(small.data(), 20, summary));
}

TEST(Package, UnsafeNamesFailTheWalk) {
    for (const char* name : {"", ".", "..", "..\\zerbin.exe", "\\windows\\x.exe", "a/b", "../x", "C:x", "x:",
                             "sub\\file"}) {
        std::vector<uint8_t> package = openedPackage(430, {{name, bytes(4, 1), 1}});
        PackageWalk walk = packageWalkBegin(package.data(), static_cast<uint32_t>(package.size()));
        PackageEntry entry;
        EXPECT_EQ(packageWalkNext(walk, entry), EntryStatus::unsafeName) << '"' << name << '"';
        PackageSummary summary;
        EXPECT_FALSE(packageSummarize(package.data(), static_cast<uint32_t>(package.size()), summary));
        EXPECT_EQ(summary.firstFailure, EntryStatus::unsafeName);
    }
    for (const char* name : {"...", "a..b", ".hidden", "zerbinpda.vps", "a b.txt"}) {
        EXPECT_TRUE(entryNameIsSafe(name, std::strlen(name))) << name;
    }
    EXPECT_FALSE(entryNameIsSafe(L"..", 2));
    EXPECT_FALSE(entryNameIsSafe(L"a\\b", 3));
    EXPECT_FALSE(entryNameIsSafe(L"a\0b", 3));
    EXPECT_TRUE(entryNameIsSafe(L"setup.exe", 9));
}

TEST(CommandLine, InteractiveBeginsWithAtAndUnattendedDoesNot) {
    wchar_t line[600];
    ASSERT_TRUE(installerCommandLine(line, 600, 1234, L"\\Program Files\\zerbin\\temp\\", modeInteractive));
    EXPECT_STREQ(line, L"@1234 \\Program Files\\zerbin\\temp\\");
    ASSERT_TRUE(installerCommandLine(line, 600, 1234, L"\\Program Files\\zerbin\\temp\\", modeUnattended));
    EXPECT_STREQ(line, L"1234 \\Program Files\\zerbin\\temp\\");
    ASSERT_TRUE(installerCommandLine(line, 600, 4294967295u, L"C:\\t\\", modeInteractive | modeUnattended));
    EXPECT_STREQ(line, L"@4294967295 C:\\t\\");
    EXPECT_FALSE(installerCommandLine(line, 8, 1234, L"C:\\temp\\", modeInteractive));
}

}  // namespace

namespace {

TEST(ContentLength, OnlyAPlainDecimalWithin32BitsIsASize) {
    EXPECT_EQ(contentLengthValue(L"130"), 130u);
    EXPECT_EQ(contentLengthValue(L"4294967295"), 4294967295u);
    EXPECT_EQ(contentLengthValue(L"0007"), 7u);
    for (const wchar_t* text : {L"", L"0", L"abc", L"12abc", L"-5", L"+5", L" 5", L"5 ", L"4294967296",
                                L"99999999999999999999999", L"0x10", L"1.5"}) {
        EXPECT_EQ(contentLengthValue(text), 0u) << text;
    }
    EXPECT_EQ(contentLengthValue(nullptr), 0u);
}

}  // namespace
