// The file layer on real files of the test device.
#include "engine/fileio.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/tests/file_holder.h"

namespace {

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override { folder_ = testFolder(L"fileio"); }
    std::wstring path(const wchar_t* name) const { return folder_ + L"\\" + name; }

    std::string contents(const std::wstring& file) {
        HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "<missing>";
        char buffer[4096];
        DWORD got = 0;
        ReadFile(h, buffer, sizeof buffer, &got, nullptr);
        CloseHandle(h);
        return std::string(buffer, got);
    }

    std::wstring folder_;
};

struct ModeCase {
    uint32_t mode;
    bool canRead;
    bool canWrite;
    bool createsMissing;
    bool truncates;
    bool startsAtEnd;
    bool othersMayRead;
    bool othersMayWrite;
};

// The mode table: access, sharing with others, existing or missing file,
// where the handle starts.
const ModeCase kModes[] = {
    {1, true, false, false, false, false, true, false},
    {2, false, true, true, true, false, false, false},
    {3, true, true, false, false, false, false, false},
    {4, true, true, true, true, false, false, false},
    {5, true, true, false, false, true, false, false},
    {6, true, false, false, false, false, true, true},
    {7, true, true, false, false, false, true, true},
    {8, true, true, true, true, false, true, true},
    {9, false, true, true, false, true, true, false},
    {10, false, true, true, false, false, true, true},
};

TEST_F(FileIoTest, EveryModeOpensAsItsTableSays) {
    for (const ModeCase& m : kModes) {
        SCOPED_TRACE("mode " + std::to_string(m.mode));
        const std::wstring file = path(L"mode.bin");
        writeBytes(file, "0123456789");
        HANDLE h = reinterpret_cast<HANDLE>(1);
        ASSERT_EQ(fileOpen(file.c_str(), m.mode, &h), kStatusOk);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(fileTell(h), m.truncates ? 0u : (m.startsAtEnd ? 10u : 0u));
        EXPECT_EQ(fileSize(h), m.truncates ? 0u : 10u);

        // Another open of the same file: reading, then writing.
        HANDLE other = nullptr;
        EXPECT_EQ(fileOpen(file.c_str(), kFileReadShared, &other) == kStatusOk, m.othersMayRead);
        if (other != nullptr) fileClose(other);
        other = nullptr;
        const Status writeOpen = fileOpen(file.c_str(), kFileWriteShared, &other);
        EXPECT_EQ(writeOpen == kStatusOk, m.othersMayWrite);
        if (writeOpen != kStatusOk) {
            EXPECT_EQ(writeOpen, static_cast<Status>(ERROR_SHARING_VIOLATION));
        }
        if (other != nullptr) fileClose(other);

        char byte = 0;
        uint32_t count = 0;
        fileSeek(h, 0, 0, kFileBegin);
        const Status read = fileRead(h, &byte, 1, &count);
        if (m.canRead && !m.truncates) {
            EXPECT_EQ(read, kStatusOk);
            EXPECT_EQ(byte, '0');
        } else if (!m.canRead) {
            EXPECT_EQ(read, static_cast<Status>(ERROR_ACCESS_DENIED));
        }
        const Status write = fileWrite(h, "W", 1, nullptr);
        EXPECT_EQ(write, m.canWrite ? kStatusOk : static_cast<Status>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(fileClose(h), kStatusOk);

        // A missing file: created by the creating modes, error 2 otherwise.
        const std::wstring missing = path(L"missing.bin");
        DeleteFileW(missing.c_str());
        h = reinterpret_cast<HANDLE>(1);
        const Status status = fileOpen(missing.c_str(), m.mode, &h);
        if (m.createsMissing) {
            EXPECT_EQ(status, kStatusOk);
            EXPECT_TRUE(pathExists(missing.c_str(), true));
            fileClose(h);
        } else {
            EXPECT_EQ(status, static_cast<Status>(ERROR_FILE_NOT_FOUND));
            EXPECT_EQ(h, nullptr) << "the handle is cleared first";
        }
    }
}

TEST_F(FileIoTest, ModeEightEmptiesAnExistingFile) {
    const std::wstring file = path(L"report.txt");
    writeBytes(file, "an old report");
    HANDLE h = nullptr;
    ASSERT_EQ(fileOpen(file.c_str(), kFileCreateShared, &h), kStatusOk);
    EXPECT_EQ(fileSize(h), 0u);
    EXPECT_EQ(fileWrite(h, "new", 3, nullptr), kStatusOk);
    fileClose(h);
    EXPECT_EQ(contents(file), "new");
}

TEST_F(FileIoTest, BadArgumentsAndModes) {
    const std::wstring file = path(L"args.bin");
    writeBytes(file, "data");
    HANDLE h = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(fileOpen(nullptr, kFileRead, &h), kStatusBadArgument);
    EXPECT_EQ(fileOpen(L"", kFileRead, &h), kStatusBadArgument);
    EXPECT_EQ(fileOpen(file.c_str(), kFileRead, nullptr), kStatusBadArgument);
    EXPECT_EQ(fileOpen(file.c_str(), 0, &h), kStatusBadArgument);
    EXPECT_EQ(fileOpen(file.c_str(), 0x80000000u, &h), kStatusBadArgument) << "flags without a mode";
    h = reinterpret_cast<HANDLE>(1);
    const Status unknown = fileOpen(file.c_str(), 11, &h);
    EXPECT_NE(unknown, kStatusOk) << "a mode above 10 is refused by the platform";
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(fileClose(nullptr), kStatusBadArgument);
    char buffer[4];
    EXPECT_EQ(fileRead(nullptr, buffer, 4, nullptr), kStatusBadArgument);
    EXPECT_EQ(fileWrite(nullptr, buffer, 4, nullptr), kStatusBadArgument);
    EXPECT_EQ(fileSeek(nullptr, 0, 0, kFileBegin), kStatusBadArgument);
    EXPECT_EQ(fileTell(nullptr), kFileFailed);
    EXPECT_EQ(fileSize(nullptr), kFileFailed);
    ASSERT_EQ(fileOpen(file.c_str(), kFileUpdate, &h), kStatusOk);
    EXPECT_EQ(fileRead(h, nullptr, 4, nullptr), kStatusBadArgument);
    EXPECT_EQ(fileRead(h, buffer, 0, nullptr), kStatusBadArgument);
    EXPECT_EQ(fileWrite(h, nullptr, 4, nullptr), kStatusBadArgument);
    EXPECT_EQ(fileWrite(h, buffer, 0, nullptr), kStatusBadArgument);
    EXPECT_NE(fileSeek(h, 0, 0, 7), kStatusOk) << "an unknown origin is refused by the platform";
    fileClose(h);
}

TEST_F(FileIoTest, ReadsReportShortAndEmptyReads) {
    const std::wstring file = path(L"read.bin");
    writeBytes(file, std::string(1000, 'r'));
    HANDLE h = nullptr;
    ASSERT_EQ(fileOpen(file.c_str(), kFileRead, &h), kStatusOk);
    char buffer[200];
    uint32_t count = 12345;
    ASSERT_EQ(fileSeek(h, 940, 0, kFileBegin), kStatusOk);
    EXPECT_EQ(fileRead(h, buffer, 100, &count), kStatusShortRead) << "100 bytes asked 60 before the end";
    EXPECT_EQ(count, 60u);
    EXPECT_EQ(fileRead(h, buffer, 10, &count), kStatusShortRead) << "at the end";
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(fileSeek(h, 0, 0, kFileBegin), kStatusOk);
    EXPECT_EQ(fileRead(h, buffer, 200, nullptr), kStatusOk) << "the count is optional";
    fileClose(h);

    // An empty file read whole asks for 0 bytes: 87.
    const std::wstring empty = path(L"empty.bin");
    writeBytes(empty, "");
    ASSERT_EQ(fileOpen(empty.c_str(), kFileRead, &h), kStatusOk);
    const uint64_t size = fileSize(h);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(fileRead(h, buffer, static_cast<uint32_t>(size), &count), kStatusBadArgument);
    fileClose(h);
}

TEST_F(FileIoTest, SeekTellAndSizeKeepThePosition) {
    const std::wstring file = path(L"seek.bin");
    writeBytes(file, std::string(5000, 's'));
    HANDLE h = nullptr;
    ASSERT_EQ(fileOpen(file.c_str(), kFileUpdateShared, &h), kStatusOk);
    ASSERT_EQ(fileSeek(h, 1234, 0, kFileBegin), kStatusOk);
    EXPECT_EQ(fileSize(h), 5000u);
    EXPECT_EQ(fileTell(h), 1234u) << "fileSize leaves the position where it was";
    ASSERT_EQ(fileSeek(h, 100, 0, kFileCurrent), kStatusOk);
    EXPECT_EQ(fileTell(h), 1334u);
    ASSERT_EQ(fileSeek(h, static_cast<uint32_t>(-10), 0xFFFFFFFFu, kFileEnd), kStatusOk);
    EXPECT_EQ(fileTell(h), 4990u);
    // Positions past 4 GiB use the high half; a low half of all ones is a
    // position like any other when the platform reports no error.
    ASSERT_EQ(fileSeek(h, 0xFFFFFFFFu, 0, kFileBegin), kStatusOk);
    EXPECT_EQ(fileTell(h), 0xFFFFFFFFull);
    ASSERT_EQ(fileSeek(h, 5, 1, kFileBegin), kStatusOk);
    EXPECT_EQ(fileTell(h), 0x100000005ull);
    EXPECT_EQ(fileSize(h), 5000u);
    EXPECT_EQ(fileTell(h), 0x100000005ull);
    // Before the start of the file: the platform's error.
    EXPECT_EQ(fileSeek(h, static_cast<uint32_t>(-1), 0xFFFFFFFFu, kFileBegin), static_cast<Status>(ERROR_NEGATIVE_SEEK));
    fileClose(h);
}

TEST_F(FileIoTest, HighFlagBits) {
    const std::wstring file = path(L"flags.bin");
    writeBytes(file, "12345");
    HANDLE h = nullptr;
    ASSERT_EQ(fileOpen(file.c_str(), kFileUpdate | kFileAtEnd, &h), kStatusOk);
    EXPECT_EQ(fileTell(h), 5u);
    EXPECT_EQ(fileWrite(h, "6", 1, nullptr), kStatusOk);
    fileClose(h);
    EXPECT_EQ(contents(file), "123456");

    const std::wstring temporary = path(L"temporary.bin");
    ASSERT_EQ(fileOpen(temporary.c_str(), kFileCreateUpdate | kFileDeleteOnClose, &h), kStatusOk);
    EXPECT_EQ(fileWrite(h, "gone", 4, nullptr), kStatusOk);
    EXPECT_TRUE(pathExists(temporary.c_str(), true));
    fileClose(h);
    EXPECT_FALSE(pathExists(temporary.c_str(), true)) << "deleted when its handle closed";
}

TEST_F(FileIoTest, DeleteWithAndWithoutForce) {
    const std::wstring file = path(L"readonly.bin");
    writeBytes(file, "protected");
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(fileDelete(file.c_str(), false), static_cast<Status>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(pathExists(file.c_str(), true));
    EXPECT_EQ(fileDelete(file.c_str(), true), kStatusOk);
    EXPECT_FALSE(pathExists(file.c_str(), true));
    EXPECT_EQ(fileDelete(file.c_str(), true), static_cast<Status>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(fileDelete(nullptr, true), kStatusBadArgument);
    EXPECT_EQ(fileDelete(L"", false), kStatusBadArgument);
}

TEST_F(FileIoTest, PathsAndFolders) {
    const std::wstring file = path(L"exists.bin");
    writeBytes(file, "x");
    EXPECT_TRUE(pathExists(file.c_str(), true));
    EXPECT_FALSE(pathExists(file.c_str(), false));
    EXPECT_TRUE(pathExists(folder_.c_str(), false));
    EXPECT_FALSE(pathExists(folder_.c_str(), true)) << "a directory is not a file";
    EXPECT_FALSE(pathExists(path(L"nothing").c_str(), true));
    EXPECT_FALSE(pathExists(path(L"nothing").c_str(), false));
    EXPECT_FALSE(pathExists(nullptr, true));
    EXPECT_FALSE(pathExists(L"", false));

    const std::wstring sub = path(L"sub");
    RemoveDirectoryW(sub.c_str());
    EXPECT_EQ(directoryCreate(sub.c_str()), kStatusOk);
    EXPECT_TRUE(pathExists(sub.c_str(), false));
    EXPECT_EQ(directoryCreate(sub.c_str()), static_cast<Status>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(directoryCreate((sub + L"\\no\\deeper").c_str()), static_cast<Status>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(directoryCreate(nullptr), kStatusBadArgument);
    RemoveDirectoryW(sub.c_str());

    wchar_t directory[kModuleDirectoryCapacity];
    ASSERT_EQ(moduleDirectory(directory), kStatusOk);
    EXPECT_STREQ(directory, L"C:\\tests\\test_fileio") << "the program's folder, no trailing backslash";
    EXPECT_EQ(moduleDirectory(nullptr), kStatusBadArgument);
}

TEST_F(FileIoTest, SharingHoldsAcrossProcesses) {
    const std::wstring file = path(L"shared.bin");
    for (uint32_t mode : {kFileCreateUpdate, kFileAppendUpdate}) {
        SCOPED_TRACE("held with mode " + std::to_string(mode));
        writeBytes(file, "contents");
        FileHolder holder;
        ASSERT_EQ(holder.hold(file, mode), kStatusOk);
        HANDLE h = reinterpret_cast<HANDLE>(1);
        EXPECT_EQ(fileOpen(file.c_str(), kFileRead, &h), static_cast<Status>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(h, nullptr);
        holder.release();
        EXPECT_EQ(fileOpen(file.c_str(), kFileRead, &h), kStatusOk) << "free again once the other process let go";
        fileClose(h);
    }
    // A reader that shares reading lets others read but not write.
    FileHolder reader;
    ASSERT_EQ(reader.hold(file, kFileRead), kStatusOk);
    HANDLE h = nullptr;
    EXPECT_EQ(fileOpen(file.c_str(), kFileRead, &h), kStatusOk);
    fileClose(h);
    EXPECT_EQ(fileOpen(file.c_str(), kFileUpdate, &h), static_cast<Status>(ERROR_SHARING_VIOLATION));
}

}  // namespace
