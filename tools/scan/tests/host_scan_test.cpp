// The host scan over a real folder tree: the detections are exactly those
// its planted files call for, the same at every thread count and with the
// literal search; entries that cannot be scanned are reported and skipped.
#include "tools/scan/host_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/tests/test_db.h"

namespace {

struct Output {
    int exitStatus = -1;
    std::string out;
    std::string err;
    HostScanTotals totals;
};

std::string readAll(FILE* f) {
    std::string text;
    std::rewind(f);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
    return text;
}

Output run(const VpsDatabase& db, const std::vector<std::string>& paths, unsigned threads,
           ScanMethod method = ScanMethod::table, bool archives = true) {
    HostScanOptions options;
    options.paths = paths;
    options.threads = threads;
    options.method = method;
    options.archives = archives;
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    Output o;
    o.exitStatus = hostScan(db, options, out, err, o.totals);
    o.out = readAll(out);
    o.err = readAll(err);
    return o;
}

void write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good()) << path;
}

std::vector<uint8_t> filler(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>('a' + (x >> 16) % 20);  // lower-case text: no pattern below starts so
    }
    return bytes;
}

std::vector<uint8_t> with(std::vector<uint8_t> bytes, size_t at, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) bytes[at + i] = static_cast<uint8_t>(text[i]);
    return bytes;
}

class HostScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zb-host-scan-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        std::vector<Signature> sigs = {sig("Test.Alpha", "ALPHA-ONE"), sig("Test.Anchored", "MZHEAD", kVpsFlagAnchored),
                                       sig("Test.Tail", "TAIL-MARK-7"), sig("Test.Alpha.Twin", "ALPHA-ONE")};
        Signature two = sig("Test.Two", "FIRST-PART");
        two.secondOffset = -20;
        two.second = bytesOf("SECOND");
        sigs.push_back(two);
        loadSignatures(db_, sigs);
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

    std::string root_;
    TestDb db_;
};

TEST_F(HostScanTest, DetectionsAreThoseOfThePlantedFilesInWalkOrderAtEveryThreadCount) {
    const std::string r = root_;
    ASSERT_EQ(mkdir((r + "/b").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((r + "/b/inner").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((r + "/a").c_str(), 0777), 0);
    write(r + "/z-top.bin", with(filler(5000, 1), 1000, "ALPHA-ONE"));          // record 1, not its twin
    write(r + "/a/anchored-at-0", with(filler(300, 2), 0, "MZHEAD"));             // counts at 0
    write(r + "/a/anchored-later", with(filler(300, 3), 40, "MZHEAD"));           // does not count
    write(r + "/a/clean", filler(20000, 4));
    write(r + "/a/tiny", bytesOf("ALPHA"));                                        // under 8 bytes: unread
    write(r + "/b/inner/tail", with(filler(300000, 5), 300000 - 100, "TAIL-MARK-7"));  // the tail window
    write(r + "/b/inner/middle", with(filler(300000, 6), 150000, "TAIL-MARK-7"));      // in neither window
    write(r + "/b/two", with(with(filler(4000, 7), 120, "SECOND"), 130, "FIRST-PART"));  // second 20 before the first's end
    write(r + "/b/two-too-far", with(with(filler(4000, 8), 120, "SECOND"), 131, "FIRST-PART"));
    // Many clean files, so that threads overtake each other.
    for (int i = 0; i < 60; ++i) write(r + "/b/inner/c" + std::to_string(100 + i), filler(1000 + 97 * i, static_cast<uint8_t>(i)));
    write(r + "/b/inner/last", with(filler(70000, 9), 69000, "ALPHA-ONE"));

    const std::string expected =
        "status=0 record=1 offset=1000 flags=0 name=Test.Alpha path=" + r + "/z-top.bin\n"
        "status=0 record=2 offset=0 flags=1 name=Test.Anchored path=" + r + "/a/anchored-at-0\n"
        "status=0 record=5 offset=130 flags=0 name=Test.Two path=" + r + "/b/two\n"
        "status=0 record=1 offset=69000 flags=0 name=Test.Alpha path=" + r + "/b/inner/last\n"
        "status=0 record=3 offset=49900 flags=0 name=Test.Tail path=" + r + "/b/inner/tail\n";
    // The paths in the order given; a folder's files before its subfolders.
    const std::vector<std::string> paths = {r + "/z-top.bin", r + "/a", r + "/b"};
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        const Output o = run(db_.db, paths, threads);
        EXPECT_EQ(o.out, expected) << threads << " threads";
        EXPECT_EQ(o.err, "") << threads << " threads";
        EXPECT_EQ(o.exitStatus, 1);
        EXPECT_EQ(o.totals.files, 70u);
        EXPECT_EQ(o.totals.detections, 5u);
        EXPECT_EQ(o.totals.errors, 0u);
    }
    const Output literal = run(db_.db, paths, 3, ScanMethod::literal);
    EXPECT_EQ(literal.out, expected);
    // --portable: the table through its portable kernel, as on the device.
    const SearchKernel kernel = searchTableKernel(db_.db);
    ASSERT_TRUE(searchTableSetKernel(db_.db, SearchKernel::portable));
    EXPECT_EQ(run(db_.db, paths, 3).out, expected);
    searchTableSetKernel(db_.db, kernel);

    // The whole root: its own file z-top.bin comes before a/ and b/.
    const Output whole = run(db_.db, {r}, 2);
    EXPECT_EQ(whole.out.substr(0, whole.out.find('\n') + 1),
              "status=0 record=1 offset=1000 flags=0 name=Test.Alpha path=" + r + "/z-top.bin\n");
    EXPECT_EQ(whole.out.substr(whole.out.rfind("status=")),
              "status=0 record=3 offset=49900 flags=0 name=Test.Tail path=" + r + "/b/inner/tail\n");
}

TEST_F(HostScanTest, CleanTreeExitsZeroAndCountsWindowBytes) {
    write(root_ + "/one", filler(1000, 1));
    write(root_ + "/big", filler(250000, 2));  // head and tail windows
    write(root_ + "/small", bytesOf("1234567"));
    for (unsigned threads : {1u, 4u}) {
        const Output o = run(db_.db, {root_}, threads);
        EXPECT_EQ(o.exitStatus, 0);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.totals.files, 3u);
        EXPECT_EQ(o.totals.bytes, 1000u + 2 * 50000u);
    }
}

TEST_F(HostScanTest, LoopsSpecialFilesAndMissingEntriesAreReportedAndSkipped) {
    const std::string r = root_;
    ASSERT_EQ(mkdir((r + "/d").c_str(), 0777), 0);
    write(r + "/d/found", with(filler(500, 1), 10, "ALPHA-ONE"));
    ASSERT_EQ(symlink("..", (r + "/d/up").c_str()), 0);                // back to an open folder
    ASSERT_EQ(symlink("self", (r + "/d/self").c_str()), 0);            // a link to itself
    ASSERT_EQ(symlink("nowhere", (r + "/d/dangling").c_str()), 0);     // a vanished target
    ASSERT_EQ(mkfifo((r + "/d/pipe").c_str(), 0666), 0);               // opening it would block
    ASSERT_EQ(symlink("found", (r + "/d/link-to-found").c_str()), 0);  // links to files are followed

    for (unsigned threads : {1u, 3u}) {
        const Output o = run(db_.db, {r, r + "/missing"}, threads);
        EXPECT_EQ(o.out,
                  "status=0 record=1 offset=10 flags=0 name=Test.Alpha path=" + r + "/d/found\n"
                  "status=0 record=1 offset=10 flags=0 name=Test.Alpha path=" + r + "/d/link-to-found\n");
        EXPECT_EQ(o.err, "zb scan: " + r + "/d/dangling: No such file or directory\n"
                         "zb scan: " + r + "/d/pipe: not a regular file, skipped\n"
                         "zb scan: " + r + "/d/self: symbolic link loop, skipped\n"
                         "zb scan: " + r + "/d/up: symbolic link loop, skipped\n"
                         "zb scan: " + r + "/missing: No such file or directory\n");
        EXPECT_EQ(o.totals.errors, 2u);
        EXPECT_EQ(o.totals.skipped, 3u);
        EXPECT_EQ(o.exitStatus, 1);  // a detection outranks the errors
    }
    const Output errorsOnly = run(db_.db, {r + "/d/dangling"}, 1);
    EXPECT_EQ(errorsOnly.exitStatus, 2);
}

TEST_F(HostScanTest, UnreadableFileIsAnErrorAndTheWalkGoesOn) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    write(root_ + "/a-locked", with(filler(500, 1), 10, "ALPHA-ONE"));
    write(root_ + "/b-open", with(filler(500, 1), 10, "ALPHA-ONE"));
    ASSERT_EQ(chmod((root_ + "/a-locked").c_str(), 0), 0);
    const Output o = run(db_.db, {root_}, 2);
    EXPECT_EQ(o.err, "zb scan: " + root_ + "/a-locked: Permission denied\n");
    EXPECT_EQ(o.out, "status=0 record=1 offset=10 flags=0 name=Test.Alpha path=" + root_ + "/b-open\n");
}

// Archives in a tree: a detection inside names its member, a renamed
// archive is one by its content, a damaged one is told per member, and
// --no-archives scans them as plain files.
TEST_F(HostScanTest, ArchivesAreExaminedAndNamedTheirMembers) {
    const std::string r = root_;
    ASSERT_EQ(mkdir((r + "/in").c_str(), 0777), 0);
    write(r + "/in/virus.txt", with(filler(3000, 1), 50, "ALPHA-ONE"));
    write(r + "/in/clean.txt", filler(3000, 2));
    ASSERT_EQ(std::system(("cd '" + r + "/in' && gcab -c -z ../setup.cab clean.txt virus.txt && "
                           "python3 -c \"import zipfile; z = zipfile.ZipFile('../inner.zip', 'w', zipfile.ZIP_DEFLATED); "
                           "z.write('virus.txt', 'docs/virus.txt'); z.close()\" && "
                           "gcab -c -z -n ../outer.cab ../inner.zip clean.txt && cp ../setup.cab ../readme.txt && "
                           "head -c 300 ../setup.cab > ../cut.cab && rm -r '" + r + "/in'").c_str()),
              0);
    const std::string expected =
        "status=0 record=1 offset=50 flags=0 name=Test.Alpha member=docs/virus.txt path=" + r + "/inner.zip\n"
        "status=0 record=1 offset=50 flags=0 name=Test.Alpha member=inner.zip/docs/virus.txt path=" + r + "/outer.cab\n"
        "status=0 record=1 offset=50 flags=0 name=Test.Alpha member=virus.txt path=" + r + "/readme.txt\n"
        "status=0 record=1 offset=50 flags=0 name=Test.Alpha member=virus.txt path=" + r + "/setup.cab\n";
    for (unsigned threads : {1u, 3u}) {
        const Output o = run(db_.db, {r}, threads);
        EXPECT_EQ(o.out, expected);
        EXPECT_EQ(o.err, "zb scan: " + r + "/cut.cab: member clean.txt not examined: damaged\n"
                         "zb scan: " + r + "/cut.cab: member virus.txt not examined: damaged\n");
        EXPECT_EQ(o.exitStatus, 1);
        EXPECT_EQ(o.totals.archives, 6u);  // cut, inner, outer, readme, setup, and the zip inside outer
        EXPECT_EQ(o.totals.membersExamined, 1u + 2u + 2u + 2u);  // outer.cab's last member is not reached
        EXPECT_EQ(o.totals.membersNotExamined, 2u);
    }
    const Output plain = run(db_.db, {r}, 2, ScanMethod::table, false);
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(plain.totals.archives, 0u);
}

}  // namespace
