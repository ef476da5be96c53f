// vpsLoad from beside the program, on the test device: every outcome of the
// load and what stays loaded.
#include "engine/vps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/fileio.h"
#include "engine/tests/file_holder.h"
#include "tools/vps/signatures.h"

namespace {

std::string sampleImage(uint16_t minor, size_t records) {
    SignatureList list;
    list.versionMinor = minor;
    for (size_t i = 0; i < records; ++i) {
        Signature s;
        s.name = "Sample." + std::to_string(i);
        s.first = {0x10, static_cast<uint8_t>(i), 0x20};
        list.signatures.push_back(s);
    }
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_EQ(vpsImageBuild(list, image, error), kStatusOk) << error;
    return std::string(image.begin(), image.end());
}

class VpsLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t directory[kModuleDirectoryCapacity];
        ASSERT_EQ(moduleDirectory(directory), kStatusOk);
        database_ = std::wstring(directory) + L"\\zerbinpda.vps";
        SetFileAttributesW(database_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(database_.c_str());
    }
    void TearDown() override {
        vpsFree();
        DeleteFileW(database_.c_str());
    }
    void expectUnloaded() {
        EXPECT_EQ(g_vps.recordArea, nullptr);
        EXPECT_EQ(g_vps.recordCount, 0u);
        EXPECT_EQ(g_vps.searchTable, nullptr);
    }
    std::wstring database_;
};

TEST_F(VpsLoadTest, LoadsTheDatabaseBesideTheProgram) {
    writeBytes(database_, sampleImage(42, 3));
    ASSERT_EQ(vpsLoad(), kStatusOk);
    EXPECT_EQ(g_vps.versionMajor, 1);
    EXPECT_EQ(g_vps.versionMinor, 42);
    EXPECT_EQ(g_vps.recordCount, 3u);
    ASSERT_NE(g_vps.recordArea, nullptr);
    EXPECT_NE(g_vps.searchTable, nullptr);
    EXPECT_EQ(g_vps.recordArea[3], 3) << "the area holds the descrambled records";

    // The file is closed after the load: it can be replaced at once.
    HANDLE h = nullptr;
    EXPECT_EQ(fileOpen(database_.c_str(), kFileCreateUpdate, &h), kStatusOk);
    fileClose(h);

    EXPECT_EQ(vpsFree(), kStatusOk);
    expectUnloaded();
    EXPECT_EQ(vpsFree(), kStatusOk) << "a second free is harmless";
}

TEST_F(VpsLoadTest, ASecondLoadReplacesTheFirst) {
    writeBytes(database_, sampleImage(1, 5));
    ASSERT_EQ(vpsLoad(), kStatusOk);
    writeBytes(database_, sampleImage(2, 7));
    ASSERT_EQ(vpsLoad(), kStatusOk);
    EXPECT_EQ(g_vps.versionMinor, 2);
    EXPECT_EQ(g_vps.recordCount, 7u);
}

TEST_F(VpsLoadTest, FailuresLeaveNothingLoaded) {
    writeBytes(database_, sampleImage(9, 2));
    ASSERT_EQ(vpsLoad(), kStatusOk);
    DeleteFileW(database_.c_str());
    EXPECT_EQ(vpsLoad(), kStatusVpsNotFound);
    expectUnloaded();

    writeBytes(database_, "");
    EXPECT_EQ(vpsLoad(), kStatusBadArgument) << "an empty file";
    expectUnloaded();

    std::string corrupted = sampleImage(9, 2);
    corrupted[corrupted.size() - 5] ^= 0x40;
    writeBytes(database_, corrupted);
    EXPECT_EQ(vpsLoad(), kStatusVpsCorrupted);
    EXPECT_EQ(g_vps.versionMinor, 9) << "the versions are kept from the refused file";
    expectUnloaded();

    std::string major2 = sampleImage(9, 2);
    writeBytes(database_, major2.replace(major2.find('\0') + 1, 1, 1, '\x02'));
    EXPECT_EQ(vpsLoad(), kStatusVpsCorrupted);
    EXPECT_EQ(g_vps.versionMajor, 2);
    expectUnloaded();

    writeBytes(database_, "no zero byte at all");
    EXPECT_EQ(vpsLoad(), kStatusVpsCorrupted);
    expectUnloaded();

    EXPECT_EQ(vpsLoadFile(L"C:\\no such folder\\zerbinpda.vps"), static_cast<Status>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(vpsLoadFile(nullptr), kStatusBadArgument);
    expectUnloaded();
}

TEST_F(VpsLoadTest, ADatabaseLockedByAnotherProcess) {
    writeBytes(database_, sampleImage(3, 4));
    FileHolder holder;
    ASSERT_EQ(holder.hold(database_, kFileCreateUpdate), kStatusOk);
    EXPECT_EQ(vpsLoad(), static_cast<Status>(ERROR_SHARING_VIOLATION));
    expectUnloaded();
}

}  // namespace
