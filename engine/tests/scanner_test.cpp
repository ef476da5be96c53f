// scanFile on real files of the test device: the windows, the anchoring
// rule, the tie-break, and the failures, through both searches.
#include "engine/scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/fileio.h"
#include "engine/tests/file_holder.h"
#include "engine/vps.h"
#include "tools/vps/signatures.h"

namespace {

Signature signature(const char* name, const char* first, uint16_t flags = 0, int32_t offset = 0,
                    const char* second = "") {
    Signature s;
    s.name = name;
    s.first.assign(first, first + std::strlen(first));
    s.flags = flags;
    s.secondOffset = offset;
    s.second.assign(second, second + std::strlen(second));
    return s;
}

enum Record : uint32_t { kPlain = 1, kOneByte, kAnchored, kTwoParts, kLate };

class ScannerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SignatureList list;
        list.signatures = {signature("Plain.Sig", "PLAIN-SIG"), signature("One.Byte", "@"),
                           signature("Anchored.Sig", "ANCHOR!!", kVpsFlagAnchored),
                           signature("Two.Parts", "HEAD", 0, 10, "TAIL"), signature("Late.Sig", "LATE-SIG")};
        std::vector<uint8_t> image;
        std::string error;
        ASSERT_EQ(vpsImageBuild(list, image, error), kStatusOk);
        wchar_t directory[kModuleDirectoryCapacity];
        ASSERT_EQ(moduleDirectory(directory), kStatusOk);
        const std::wstring database = std::wstring(directory) + L"\\zerbinpda.vps";
        writeBytes(database, std::string(image.begin(), image.end()));
        ASSERT_EQ(vpsLoad(), kStatusOk);
        ASSERT_EQ(g_vps.recordCount, 5u);
    }
    static void TearDownTestSuite() { vpsFree(); }

    void SetUp() override { folder_ = testFolder(L"scan"); }

    std::wstring file(const wchar_t* name, size_t size, std::initializer_list<std::pair<size_t, const char*>> placed) {
        std::string bytes(size, '.');
        for (const auto& [at, text] : placed) bytes.replace(at, std::strlen(text), text);
        const std::wstring path = folder_ + L"\\" + name;
        writeBytes(path, bytes);
        return path;
    }

    // Scans with both searches; they must agree. Returns the table's result.
    Status scan(const std::wstring& path, MatchResult& result) {
        MatchResult literal;
        literal.recordNumber = 77;
        result.recordNumber = 77;
        const Status status = scanFile(path.c_str(), &result);
        EXPECT_EQ(scanFileWith(path.c_str(), &literal, ScanMethod::literal), status);
        EXPECT_EQ(literal.recordNumber, result.recordNumber);
        if (result.recordNumber != 0 && literal.recordNumber == result.recordNumber) {
            EXPECT_EQ(literal.matchOffset, result.matchOffset);
            EXPECT_EQ(literal.virusName, result.virusName);
        }
        return status;
    }

    void expectDetection(const std::wstring& path, uint32_t record, uint32_t offset, const char* what) {
        SCOPED_TRACE(what);
        MatchResult result;
        ASSERT_EQ(scan(path, result), kStatusOk);
        EXPECT_EQ(result.recordNumber, record);
        if (record != 0) {
            EXPECT_EQ(result.matchOffset, offset);
        }
    }

    std::wstring folder_;
};

TEST_F(ScannerTest, SmallFiles) {
    expectDetection(file(L"seven", 7, {{6, "@"}}), 0, 0, "a 7-byte file is clean unread");
    expectDetection(file(L"eight", 8, {{7, "@"}}), kOneByte, 7, "an 8-byte file is read whole");
    expectDetection(file(L"empty", 0, {}), 0, 0, "an empty file");
    MatchResult result;
    ASSERT_EQ(scan(file(L"named", 100, {{40, "PLAIN-SIG"}}), result), kStatusOk);
    EXPECT_EQ(result.recordNumber, static_cast<uint32_t>(kPlain));
    EXPECT_EQ(result.recordFlags, 0);
    EXPECT_STREQ(result.virusName, "Plain.Sig");
}

TEST_F(ScannerTest, WholeFileAndWindowLimits) {
    expectDetection(file(L"100000", 100000, {{99991, "PLAIN-SIG"}}), kPlain, 99991,
                    "a 100000-byte file is one window to its last byte");
    expectDetection(file(L"100001a", 100001, {{49991, "PLAIN-SIG"}}), kPlain, 49991, "ending at byte 49999");
    expectDetection(file(L"100001b", 100001, {{49992, "PLAIN-SIG"}}), 0, 0, "crossing the head window's end");
    expectDetection(file(L"100001c", 100001, {{50000, "@"}}), 0, 0, "byte 50000 lies in neither window");
    expectDetection(file(L"100001d", 100001, {{50001, "@"}}), kOneByte, 0, "byte 50001 starts the tail window");
    expectDetection(file(L"100001e", 100001, {{99992, "PLAIN-SIG"}}), kPlain, 49991, "ending at the last byte");
    expectDetection(file(L"200000a", 200000, {{60000, "PLAIN-SIG"}}), 0, 0, "between the windows");
    expectDetection(file(L"200000b", 200000, {{170000, "PLAIN-SIG"}}), kPlain, 20000, "tail offset");
    expectDetection(file(L"200000c", 200000, {{100, "LATE-SIG"}, {150010, "PLAIN-SIG"}, {190000, "@"}}), kLate, 100,
                    "a head detection ends the scan");
    expectDetection(file(L"200000d", 200000, {{160000, "LATE-SIG"}, {170000, "PLAIN-SIG"}}), kLate, 10000,
                    "lowest position in the tail");
    expectDetection(file(L"2parts-in", 100001, {{49980, "HEAD"}, {49994, "TAIL"}}), kTwoParts, 49980,
                    "second pattern ending inside the head window");
    expectDetection(file(L"2parts-out", 100001, {{49985, "HEAD"}, {49999, "TAIL"}}), 0, 0,
                    "second pattern crossing the head window's end");
}

TEST_F(ScannerTest, AnchoredRecords) {
    MatchResult result;
    ASSERT_EQ(scan(file(L"anchored0", 500, {{0, "ANCHOR!!"}}), result), kStatusOk);
    EXPECT_EQ(result.recordNumber, static_cast<uint32_t>(kAnchored));
    EXPECT_EQ(result.matchOffset, 0u);
    EXPECT_EQ(result.recordFlags, kVpsFlagAnchored);
    expectDetection(file(L"anchored10", 500, {{10, "ANCHOR!!"}}), 0, 0, "anchored away from the start");
    expectDetection(file(L"masking", 500, {{10, "ANCHOR!!"}, {20, "PLAIN-SIG"}}), kPlain, 20,
                    "an anchored match at 10 does not hide the virus at 20");
    expectDetection(file(L"masking-big", 200000, {{10, "ANCHOR!!"}, {30000, "PLAIN-SIG"}, {170000, "LATE-SIG"}}),
                    kPlain, 30000, "the head window is searched on");
    expectDetection(file(L"anchored-tail", 200000, {{10, "ANCHOR!!"}, {160000, "ANCHOR!!"}}), kAnchored, 10000,
                    "in the tail window any match counts");
}

TEST_F(ScannerTest, FailuresLeaveNoDetection) {
    MatchResult result;
    result.recordNumber = 77;
    EXPECT_EQ(scanFile((folder_ + L"\\missing").c_str(), &result), static_cast<Status>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(result.recordNumber, 0u);
    result.recordNumber = 77;
    EXPECT_EQ(scanFile(L"C:\\no such folder\\file", &result), static_cast<Status>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(result.recordNumber, 0u);
    EXPECT_EQ(scanFile(nullptr, &result), kStatusBadArgument);
    EXPECT_EQ(scanFile(L"", &result), kStatusBadArgument);
    EXPECT_EQ(scanFile(L"C:\\x", nullptr), kStatusBadArgument);
    result.recordNumber = 77;
    EXPECT_EQ(scanFile(folder_.c_str(), &result), static_cast<Status>(ERROR_ACCESS_DENIED)) << "a folder";
    EXPECT_EQ(result.recordNumber, 0u);

    const std::wstring locked = file(L"locked", 1000, {{0, "PLAIN-SIG"}});
    FileHolder holder;
    ASSERT_EQ(holder.hold(locked, kFileAppendUpdate), kStatusOk);
    result.recordNumber = 77;
    EXPECT_EQ(scanFile(locked.c_str(), &result), static_cast<Status>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(result.recordNumber, 0u);
    holder.release();
    EXPECT_EQ(scanFile(locked.c_str(), &result), kStatusOk);
    EXPECT_EQ(result.recordNumber, static_cast<uint32_t>(kPlain));
}

TEST_F(ScannerTest, ScanBufferIsTheLiteralSearchWithoutAnchoring) {
    const std::string window = "..ANCHOR!!..PLAIN-SIG";
    MatchResult result;
    result.matchOffset = 555;
    EXPECT_EQ(scanBuffer(reinterpret_cast<const uint8_t*>("........"), 8, &result), kStatusOk);
    EXPECT_EQ(result.recordNumber, 0u);
    EXPECT_EQ(result.matchOffset, 555u) << "untouched when nothing matches";
    EXPECT_EQ(scanBuffer(reinterpret_cast<const uint8_t*>(window.data()), static_cast<uint32_t>(window.size()), &result),
              kStatusOk);
    EXPECT_EQ(result.recordNumber, static_cast<uint32_t>(kAnchored));
    EXPECT_EQ(result.matchOffset, 2u);
    EXPECT_EQ(scanBuffer(reinterpret_cast<const uint8_t*>(window.data()), 0, &result), kStatusOk);
}

// A stored ZIP whose second member lies between the file's two windows:
// only the walk of its members reaches it, reading the file where the raw
// scan left it (after the tail window) from its start again.
TEST_F(ScannerTest, AMemberBetweenTheFilesWindowsIsFoundThroughTheArchive) {
    auto member = [](std::string& zip, const std::string& name, const std::string& bytes) {
        std::string header(30, '\0');
        const uint32_t fields[][2] = {{0, 0x04034b50}, {18, uint32_t(bytes.size())}, {22, uint32_t(bytes.size())}};
        for (const auto& [at, value] : fields) std::memcpy(&header[at], &value, 4);
        const uint16_t nameLength = uint16_t(name.size());
        std::memcpy(&header[26], &nameLength, 2);
        zip += header + name + bytes;
    };
    std::string zip;
    member(zip, "first.bin", std::string(120000, 'a'));
    member(zip, "dir/second.bin", std::string(20, 'b') + "PLAIN-SIG" + std::string(3000, 'c'));
    member(zip, "third.bin", std::string(120000, 'd'));
    zip += std::string("PK\5\6") + std::string(18, '\0');
    const std::wstring path = folder_ + L"\\archive.bin";
    writeBytes(path, zip);

    MatchResult result;
    ASSERT_EQ(scan(path, result), kStatusOk);
    EXPECT_EQ(result.recordNumber, 0u) << "the file's own windows hold nothing";
    ArchiveVerdict verdict;
    ASSERT_EQ(scanFileWithArchives(path.c_str(), &result, ArchiveEvents{}, verdict), kStatusOk);
    EXPECT_EQ(result.recordNumber, static_cast<uint32_t>(kPlain));
    EXPECT_EQ(result.matchOffset, 20u);
    EXPECT_STREQ(verdict.member, "dir/second.bin");
    EXPECT_EQ(verdict.membersExamined, 2u);
}

TEST(ScannerWithoutDatabaseTest, NothingLoadedMeansClean) {
    vpsFree();
    const std::wstring folder = testFolder(L"nodb");
    writeBytes(folder + L"\\f", "PLAIN-SIG and more");
    MatchResult result;
    EXPECT_EQ(scanFile((folder + L"\\f").c_str(), &result), kStatusOk);
    EXPECT_EQ(result.recordNumber, 0u);
}

}  // namespace
