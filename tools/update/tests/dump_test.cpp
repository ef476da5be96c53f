// What `./zb update dump` shows and what it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/update/dump.h"
#include "update/package.h"
#include "update/package_maker.h"

namespace {

std::vector<uint8_t> text(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

int dump(const std::vector<uint8_t>& file, std::string& out, std::string& error) {
    out.clear();
    error.clear();
    return dumpUpdateFile(file, out, error);
}

TEST(UpdateDump, ShowsAVersionFile) {
    std::string out, error;
    EXPECT_EQ(dump(versionFileMake(430), out, error), 0);
    EXPECT_NE(out.find("version file: package version 430 (newer than the installed 429)"), std::string::npos) << out;
    EXPECT_EQ(dump(versionFileMake(429), out, error), 0);
    EXPECT_NE(out.find("429 (not newer than the installed 429)"), std::string::npos) << out;
}

TEST(UpdateDump, ShowsAPackageEntryByEntry) {
    std::string out, error;
    const std::vector<PackageFile> files = {{"zerbinpda.vps", text("database"), 0},
                                            {"setup.exe", std::vector<uint8_t>(100, 7), kEntryFlagInstaller}};
    ASSERT_EQ(dump(packageFileMake(430, files), out, error), 0) << error;
    EXPECT_NE(out.find("package: version 430 (newer than the installed 429), 2 entries"), std::string::npos) << out;
    EXPECT_NE(out.find("0x00000000  8           zerbinpda.vps\n"), std::string::npos) << out;
    EXPECT_NE(out.find("0x00000001  100         setup.exe  [installer]"), std::string::npos) << out;
    EXPECT_NE(out.find("installer: entry 1, setup.exe"), std::string::npos) << out;
}

TEST(UpdateDump, RefusesMalformedFilesWithTheReason) {
    std::string out, error;
    std::vector<uint8_t> badCrc = versionFileMake(430);
    badCrc[9] ^= 1;
    std::vector<uint8_t> badMagic = versionFileMake(430);
    badMagic[0] = 'X';
    struct Case {
        std::vector<uint8_t> file;
        const char* reason;
    } cases[] = {
        {{'K', 'V', 'X', 'P'}, "too short"},
        {badMagic, "does not begin with \"KVXP\""},
        {badCrc, "checksum mismatch"},
        {containerMake(std::vector<uint8_t>(5, 1)), "neither a version file"},
        {containerMake(packagePayload(430, {{"a.txt", text("a"), 1}}, 2)), "entry 1 (at offset"},
        {containerMake(packagePayload(430, {{"a.txt", text("a"), 1}}, 0)), "no entries"},
        {packageFileMake(430, {{"..\\zerbin.exe", text("a"), 1}}), "unsafe name \"..\\x5Czerbin.exe\""},
        {packageFileMake(430, {{"zerbinpda.vps", text("db"), 0}}), "no entry is flagged as the installer"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dump(c.file, out, error), 1) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

}  // namespace
