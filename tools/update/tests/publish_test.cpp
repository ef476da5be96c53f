// The published server tree, read back with the device's own container and
// package rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/update/publish.h"
#include "tools/vps/signatures.h"
#include "update/package.h"
#include "update/package_maker.h"
#include "update/update_config.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

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
        writeFile(root_ / "in/zbinstall.exe", bytesOf("installer program"));
        request_.version = 430;
        request_.databasePath = (root_ / "in/db.vps").string();
        request_.installerPath = (root_ / "in/zbinstall.exe").string();
        request_.outputFolder = (root_ / "server").string();
        for (const EditionDirectory& e : kEditionDirectories) {
            const fs::path zerbin = root_ / "in" / e.edition / "zerbin.exe";
            const fs::path monitor = root_ / "in" / e.edition / "zbMonitor.exe";
            writeFile(zerbin, bytesOf(std::string("zerbin of ") + e.edition));
            writeFile(monitor, bytesOf(std::string("monitor of ") + e.edition));
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
        ASSERT_EQ(summary.entryCount, 4);
        EXPECT_EQ(summary.installerEntry, 3);
        EXPECT_EQ(summary.trailingBytes, 0u);

        PackageWalk walk = packageWalkBegin(package.data(), size);
        std::vector<std::pair<std::string, std::vector<uint8_t>>> entries;
        PackageEntry entry;
        while (entries.size() < 4 && packageWalkNext(walk, entry) == EntryStatus::ok) {
            entries.emplace_back(std::string(entry.name, entry.nameLength),
                                 std::vector<uint8_t>(entry.data, entry.data + entry.dataLength));
            EXPECT_EQ(entry.flags, entries.size() == 4 ? kEntryFlagInstaller : 0u);
        }
        ASSERT_EQ(entries.size(), 4u);
        EXPECT_EQ(entries[0].first, "zerbinpda.vps");
        EXPECT_EQ(entries[0].second, database);
        EXPECT_EQ(entries[1].first, "zerbin.exe");
        EXPECT_EQ(entries[1].second, bytesOf(std::string("zerbin of ") + e.edition));
        EXPECT_EQ(entries[2].first, "zbMonitor.exe");
        EXPECT_EQ(entries[2].second, bytesOf(std::string("monitor of ") + e.edition));
        EXPECT_EQ(entries[3].first, "zbinstall.exe");
        EXPECT_EQ(entries[3].second, bytesOf("installer program"));
        EXPECT_FALSE(fs::exists(folder / "upgrade.dat.new"));
    }
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
