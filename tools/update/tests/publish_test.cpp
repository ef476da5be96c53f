// The published server tree, read back with the device's own container and
// package rules; the programs' check; signed packages.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/update/publish.h"
#include "tools/update/signing.h"
#include "tools/update/tests/program_maker.h"
#include "tools/vps/signatures.h"
#include "update/package.h"
#include "update/package_maker.h"
#include "update/update_config.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// A program as the release build makes it: code, data, resources and the
// debug link, no debug information.
std::vector<uint8_t> programOf(const std::string& tag) {
    return programImageMake({".text", ".data", ".rsrc", ".gnu_debuglink"}, tag);
}

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> sampleDatabase(uint16_t minor) {
    SignatureList list;
    list.versionMinor = minor;
    Signature s;
    s.name = "Test.One";
    s.first = {1, 2, 3, 4, 5, 6, 7, 8};
    list.signatures.push_back(s);
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_EQ(vpsImageBuild(list, image, error), 0u) << error;
    return image;
}

class PublishTest : public testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("zb-publish-" + std::to_string(::getpid()) + "-" +
                                             testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        writeFile(root_ / "in/db.vps", sampleDatabase(2));
        writeFile(root_ / "in/zbinstall.exe", programOf("installer program"));
        request_.version = 430;
        request_.databasePath = (root_ / "in/db.vps").string();
        request_.installerPath = (root_ / "in/zbinstall.exe").string();
        request_.outputFolder = (root_ / "server").string();
        for (const EditionDirectory& e : kEditionDirectories) {
            const fs::path zerbin = root_ / "in" / e.edition / "zerbin.exe";
            const fs::path monitor = root_ / "in" / e.edition / "zbMonitor.exe";
            writeFile(zerbin, programOf(std::string("zerbin of ") + e.edition));
            writeFile(monitor, programOf(std::string("monitor of ") + e.edition));
            request_.editions.push_back({e.edition, e.directory, zerbin.string(), monitor.string()});
        }
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
    PublishRequest request_;
};

TEST_F(PublishTest, EveryEditionGetsItsOwnPackageAndVersionFile) {
    std::string report, error;
    ASSERT_TRUE(publishTree(request_, report, error)) << error;
    EXPECT_NE(report.find("release 1.2, 1 records"), std::string::npos) << report;
    const std::vector<uint8_t> database = readFile(root_ / "in/db.vps");

    for (const EditionDirectory& e : kEditionDirectories) {
        const fs::path folder = root_ / "server/files/pda" / e.directory;
        std::vector<uint8_t> version = readFile(folder / "version.dat");
        ASSERT_EQ(version.size(), kVersionFileSize);
        ASSERT_TRUE(containerOpen(version.data(), static_cast<uint32_t>(version.size())));
        EXPECT_EQ(containerVersion(version.data()), 430);

        std::vector<uint8_t> package = readFile(folder / "upgrade.dat");
        const uint32_t size = static_cast<uint32_t>(package.size());
        ASSERT_TRUE(containerOpen(package.data(), size));
        PackageSummary summary;
        ASSERT_TRUE(packageSummarize(package.data(), size, summary));
        EXPECT_EQ(summary.version, 430);
        ASSERT_EQ(summary.entryCount, 5);
        EXPECT_EQ(summary.installerEntry, 4);
        EXPECT_EQ(summary.trailingBytes, 0u);

        PackageWalk walk = packageWalkBegin(package.data(), size);
        std::vector<std::pair<std::string, std::vector<uint8_t>>> entries;
        PackageEntry entry;
        while (entries.size() < 5 && packageWalkNext(walk, entry) == EntryStatus::ok) {
            entries.emplace_back(std::string(entry.name, entry.nameLength),
                                 std::vector<uint8_t>(entry.data, entry.data + entry.dataLength));
            EXPECT_EQ(entry.flags, entries.size() == 5 ? kEntryFlagInstaller : 0u);
        }
        ASSERT_EQ(entries.size(), 5u);
        EXPECT_EQ(entries[0].first, "zerbinpda.vps");
        EXPECT_EQ(entries[0].second, database);
        EXPECT_EQ(entries[1].first, "zerbin.exe");
        EXPECT_EQ(entries[1].second, programOf(std::string("zerbin of ") + e.edition));
        EXPECT_EQ(entries[2].first, "zbMonitor.exe");
        EXPECT_EQ(entries[2].second, programOf(std::string("monitor of ") + e.edition));
        // The record that the installer leaves on the device after a complete install.
        EXPECT_EQ(entries[3].first, kPackageRecordName);
        EXPECT_EQ(entries[3].second, versionPayload(430));
        EXPECT_EQ(entries[4].first, "zbinstall.exe");
        EXPECT_EQ(entries[4].second, programOf("installer program"));
        EXPECT_FALSE(fs::exists(folder / "upgrade.dat.new"));
        EXPECT_FALSE(fs::exists(folder / "upgrade.sig"));
    }
    // Each entry's size, and a program's budget.
    const std::string zerbinLine = report.substr(report.find("zerbin.exe"), report.find('\n', report.find("zerbin.exe")));
    EXPECT_NE(zerbinLine.find(" " + std::to_string(programOf("zerbin of ppc").size()) + " bytes (budget 320 KB)\n"),
              std::string::npos)
        << report;
}

// A program that still carries its debug information, or that is no
// program at all, is refused before anything is written.
TEST_F(PublishTest, RefusesProgramsThatAreNotTheReleaseBuild) {
    const fs::path debugBuild = root_ / "in/debug/zerbin.exe";
    writeFile(debugBuild, programImageMake({".text", ".debug_info", ".debug_line"}, "with symbols"));
    PublishRequest bad = request_;
    bad.editions[1].zerbinPath = debugBuild.string();
    std::string report, error;
    EXPECT_FALSE(publishTree(bad, report, error));
    EXPECT_NE(error.find("carries debug information (.debug_info, ...)"), std::string::npos) << error;
    EXPECT_NE(error.find("zerbin.exe.debug"), std::string::npos) << error;

    writeFile(root_ / "in/text.exe", bytesOf("not a program"));
    bad = request_;
    bad.installerPath = (root_ / "in/text.exe").string();
    EXPECT_FALSE(publishTree(bad, report, error));
    EXPECT_NE(error.find("no program for the device"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(root_ / "server"));
}

// With the maker's key, each package carries the public key and gets a
// signature beside it that OpenSSL accepts; publishing unsigned again takes
// the old signature away.
TEST_F(PublishTest, ASignedPackageCarriesTheKeyAndItsSignature) {
    std::string report, error;
    ASSERT_TRUE(signingKeyGenerate((root_ / "keys").string(), report, error)) << error;
    const fs::path pem = root_ / "keys" / kSigningKeyFile;
    EXPECT_EQ(fs::status(pem).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // A second key would lock out every device that holds the first.
    EXPECT_FALSE(signingKeyGenerate((root_ / "keys").string(), report, error));
    EXPECT_NE(error.find("exists already"), std::string::npos) << error;

    request_.signingKeyPath = pem.string();
    report.clear();
    ASSERT_TRUE(publishTree(request_, report, error)) << error;
    SigningKey key;
    ASSERT_TRUE(signingKeyLoad(pem.string(), key, error)) << error;
    const std::vector<uint8_t> publicKey = readFile(root_ / "keys" / kPublicKeyFile);
    for (const EditionDirectory& e : kEditionDirectories) {
        const fs::path folder = root_ / "server/files/pda" / e.directory;
        std::vector<uint8_t> package = readFile(folder / "upgrade.dat");
        EXPECT_TRUE(signingVerify(key, package, readFile(folder / "upgrade.sig"))) << e.edition;
        EXPECT_EQ(readFile(folder / "upgrade.sig").size(), 384u);
        ASSERT_TRUE(containerOpen(package.data(), static_cast<uint32_t>(package.size())));
        PackageWalk walk = packageWalkBegin(package.data(), static_cast<uint32_t>(package.size()));
        PackageEntry entry;
        std::vector<std::string> names;
        while (packageWalkNext(walk, entry) == EntryStatus::ok) {
            names.emplace_back(entry.name, entry.nameLength);
            if (names.back() == "update.key") {
                EXPECT_EQ(std::vector<uint8_t>(entry.data, entry.data + entry.dataLength), publicKey);
            }
            if (names.size() == packageEntryCount(package.data())) break;
        }
        EXPECT_EQ(names, (std::vector<std::string>{"zerbinpda.vps", "zerbin.exe", "zbMonitor.exe", "update.key",
                                                   kPackageRecordName, "zbinstall.exe"}));
    }
    EXPECT_NE(report.find("signed (upgrade.sig)"), std::string::npos) << report;

    // A key devices cannot check is refused before anything is written.
    PublishRequest bad = request_;
    bad.outputFolder = (root_ / "other").string();
    bad.signingKeyPath = (root_ / "keys" / kPublicKeyFile).string();
    EXPECT_FALSE(publishTree(bad, report, error));
    EXPECT_FALSE(fs::exists(root_ / "other"));

    // Rotation: signed with the key devices hold, carrying the next key.
    ASSERT_TRUE(signingKeyGenerate((root_ / "next").string(), report, error)) << error;
    request_.newKeyPath = (root_ / "next" / kPublicKeyFile).string();
    ASSERT_TRUE(publishTree(request_, report, error)) << error;
    std::vector<uint8_t> rotating = readFile(root_ / "server/files/pda/ppc_arm/upgrade.dat");
    EXPECT_TRUE(signingVerify(key, rotating, readFile(root_ / "server/files/pda/ppc_arm/upgrade.sig")));
    ASSERT_TRUE(containerOpen(rotating.data(), static_cast<uint32_t>(rotating.size())));
    const std::vector<uint8_t> nextKey = readFile(root_ / "next" / kPublicKeyFile);
    EXPECT_NE(std::search(rotating.begin(), rotating.end(), nextKey.begin(), nextKey.end()), rotating.end());
    request_.newKeyPath = (root_ / "in/db.vps").string();
    EXPECT_FALSE(publishTree(request_, report, error));
    EXPECT_NE(error.find("no key file"), std::string::npos) << error;

    request_.newKeyPath.clear();
    request_.signingKeyPath.clear();
    ASSERT_TRUE(publishTree(request_, report, error)) << error;
    EXPECT_FALSE(fs::exists(root_ / "server/files/pda/ppc_arm/upgrade.sig"));
}

TEST_F(PublishTest, RefusesInputsThatWouldBreakDevicesAndWritesNothing) {
    std::string report, error;
    std::vector<uint8_t> broken = readFile(root_ / "in/db.vps");
    broken.back() ^= 0xFF;  // the database's CRC no longer matches
    writeFile(root_ / "in/broken.vps", broken);
    PublishRequest bad = request_;
    bad.databasePath = (root_ / "in/broken.vps").string();
    EXPECT_FALSE(publishTree(bad, report, error));
    EXPECT_NE(error.find("no database the program loads"), std::string::npos) << error;

    bad = request_;
    bad.editions[2].zerbinPath = (root_ / "in/missing.exe").string();
    EXPECT_FALSE(publishTree(bad, report, error));
    EXPECT_NE(error.find("missing.exe"), std::string::npos) << error;

    bad = request_;
    bad.version = 0;
    EXPECT_FALSE(publishTree(bad, report, error));

    bad = request_;
    bad.installerPath = (root_ / "in/none.exe").string();
    EXPECT_FALSE(publishTree(bad, report, error));
    EXPECT_FALSE(fs::exists(root_ / "server"));
}

// A database-only package: the database, the record and the installer (and
// the key when signed); the programs are not even read.
TEST_F(PublishTest, ADatabaseOnlyPackageLeavesTheProgramsOut) {
    request_.version = 431;
    request_.databaseOnly = true;
    for (PublishEdition& e : request_.editions) e.zerbinPath = e.monitorPath = (root_ / "in/missing.exe").string();
    std::string report, error;
    ASSERT_TRUE(signingKeyGenerate((root_ / "keys").string(), report, error)) << error;
    request_.signingKeyPath = (root_ / "keys" / kSigningKeyFile).string();
    report.clear();
    ASSERT_TRUE(publishTree(request_, report, error)) << error;
    for (const EditionDirectory& e : kEditionDirectories) {
        std::vector<uint8_t> package = readFile(root_ / "server/files/pda" / e.directory / "upgrade.dat");
        ASSERT_TRUE(containerOpen(package.data(), static_cast<uint32_t>(package.size())));
        PackageSummary summary;
        ASSERT_TRUE(packageSummarize(package.data(), static_cast<uint32_t>(package.size()), summary));
        EXPECT_EQ(summary.version, 431);
        std::vector<std::string> names;
        PackageWalk walk = packageWalkBegin(package.data(), static_cast<uint32_t>(package.size()));
        PackageEntry entry;
        while (names.size() < summary.entryCount && packageWalkNext(walk, entry) == EntryStatus::ok) {
            names.emplace_back(entry.name, entry.nameLength);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"zerbinpda.vps", "update.key", kPackageRecordName,
                                                   "zbinstall.exe"}));
        EXPECT_EQ(summary.installerEntry, 3);
    }
    EXPECT_NE(report.find("package 431 (database only), 4 files"), std::string::npos) << report;
}

TEST_F(PublishTest, ANewVersionReplacesTheOldOne) {
    std::string report, error;
    ASSERT_TRUE(publishTree(request_, report, error)) << error;
    request_.version = 431;
    ASSERT_TRUE(publishTree(request_, report, error)) << error;
    std::vector<uint8_t> version = readFile(root_ / "server/files/pda/ppc_arm/version.dat");
    ASSERT_TRUE(containerOpen(version.data(), static_cast<uint32_t>(version.size())));
    EXPECT_EQ(containerVersion(version.data()), 431);
}

}  // namespace
