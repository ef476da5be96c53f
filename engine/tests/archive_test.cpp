// Members of archives scanned as files: one table of CABs made by gcab
// (stored and MSZIP) and ZIPs made by python3's zipfile or with zlib here,
// each with the verdict, the member named and what was not examined.
#include "engine/archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/tests/test_db.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Text that no signature below starts in.
Bytes filler(size_t size, uint32_t seed) {
    Bytes bytes(size);
    uint32_t x = seed * 2654435761u + 7;
    for (uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>('a' + (x >> 16) % 20);
    }
    return bytes;
}

Bytes plant(Bytes bytes, size_t at, const std::string& text) {
    std::memcpy(bytes.data() + at, text.data(), text.size());
    return bytes;
}

struct MemoryFile {
    const Bytes* bytes;
};

Status readMemory(void* file, uint64_t offset, uint8_t* buffer, uint32_t length) {
    const Bytes& bytes = *static_cast<MemoryFile*>(file)->bytes;
    if (offset > bytes.size() || bytes.size() - offset < length) return kStatusShortRead;
    std::memcpy(buffer, bytes.data() + offset, length);
    return kStatusOk;
}

struct Outcome {
    Status status = 0;
    MatchResult result;
    ArchiveVerdict verdict;
    std::vector<std::string> notExamined;  // "member: reason[ detail]"
};

Outcome scan(const VpsDatabase& db, const Bytes& file, ArchiveLimits limits = {},
             std::function<bool()> keepGoing = nullptr) {
    Outcome o;
    MemoryFile memory{&file};
    std::vector<uint8_t> window(kScanWholeFileLimit);
    struct Context {
        Outcome* o;
        std::function<bool()>* keepGoing;
    } context{&o, &keepGoing};
    ArchiveEvents events;
    events.context = &context;
    events.keepGoing = [](void* c) {
        auto* k = static_cast<Context*>(c)->keepGoing;
        return !*k || (*k)();
    };
    events.notExamined = [](void* c, const char* member, ArchiveProblem problem, const char* detail) {
        std::string line = std::string(member) + ": " + archiveProblemText(problem);
        if (detail[0] != 0) line += std::string(" ") + detail;
        static_cast<Context*>(c)->o->notExamined.push_back(line);
    };
    o.status = scanWithArchives(db, file.size(), WindowSource{&memory, readMemory}, window.data(), ScanMethod::table,
                                limits, events, o.result, o.verdict);
    return o;
}

// Archives made by the real tools in a folder of the test's own.
class Maker {
public:
    Maker() {
        char pattern[] = "/tmp/zb-archive-XXXXXX";
        EXPECT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    ~Maker() { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string put(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_ + "/in/" + name;
        std::system(("mkdir -p \"$(dirname '" + path + "')\"").c_str());
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // gcab from the input folder, so the names are the members' own.
    Bytes cab(const std::vector<std::pair<std::string, Bytes>>& members, bool mszip) {
        std::string names;
        for (const auto& [name, bytes] : members) {
            put(name, bytes);
            names += " '" + name + "'";
        }
        const std::string out = dir_ + "/out" + std::to_string(++made_) + ".cab";
        EXPECT_EQ(run("cd '" + dir_ + "/in' && gcab -c " + (mszip ? "-z " : "") + "'" + out + "'" + names), 0);
        clearInput();
        return read(out);
    }

    // python3's zipfile; method "stored", "deflated", "bzip2", or
    // "deflated-stream" (written to a pipe, so the sizes follow the data).
    Bytes zip(const std::vector<std::pair<std::string, Bytes>>& members, const std::string& method,
              const Bytes& prefix = {}) {
        std::string script = "import zipfile,sys,io\n";
        const std::string out = dir_ + "/out" + std::to_string(++made_) + ".zip";
        put("prefix", prefix);
        const bool stream = method == "deflated-stream";
        const std::string type = stream ? "ZIP_DEFLATED" : method == "stored" ? "ZIP_STORED"
                                                        : method == "bzip2"  ? "ZIP_BZIP2"
                                                                             : "ZIP_DEFLATED";
        script += "f=" + std::string(stream ? "sys.stdout.buffer" : "open('" + out + "','wb')") + "\n";
        if (!stream) script += "f.write(open('" + dir_ + "/in/prefix','rb').read())\n";
        script += "z=zipfile.ZipFile(f,'w',zipfile." + type + ")\n";
        for (const auto& [name, bytes] : members) {
            put(name, bytes);
            script += "z.write('" + dir_ + "/in/" + name + "','" + name + "')\n";
        }
        script += "z.close()\n";
        std::ofstream(dir_ + "/make.py") << script;
        EXPECT_EQ(run("python3 '" + dir_ + "/make.py'" + (stream ? " > '" + out + "'" : std::string())), 0);
        clearInput();
        return read(out);
    }

private:
    static int run(const std::string& command) { return std::system(command.c_str()); }
    void clearInput() { run("rm -rf '" + dir_ + "/in'"); }
    static Bytes read(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    std::string dir_;
    int made_ = 0;
};

void putLe32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
uint32_t le32at(const Bytes& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}
void putLe16(Bytes& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// A ZIP of one deflated member of `size` zero bytes, compressed with zlib's
// run-length strategy (2 GiB become about 2 MB), then stored members.
Bytes zeroBomb(uint64_t size, const std::string& name, const std::vector<std::pair<std::string, Bytes>>& after) {
    Bytes out;
    auto header = [&](const std::string& n, uint16_t method, uint32_t packed, uint32_t unpacked) {
        const size_t at = out.size();
        out.resize(at + 30);
        putLe32(out, at, 0x04034b50);
        putLe16(out, at + 4, 20);
        putLe16(out, at + 8, method);
        putLe32(out, at + 18, packed);
        putLe32(out, at + 22, unpacked);
        putLe16(out, at + 26, static_cast<uint16_t>(n.size()));
        out.insert(out.end(), n.begin(), n.end());
        return at;
    };
    const size_t first = header(name, 8, 0, static_cast<uint32_t>(size));
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_RLE), Z_OK);
    std::vector<uint8_t> zeros(1 << 20), chunk(1 << 20);
    uint64_t left = size;
    const size_t dataStart = out.size();
    do {
        const uint32_t n = static_cast<uint32_t>(left < zeros.size() ? left : zeros.size());
        left -= n;
        z.next_in = zeros.data();
        z.avail_in = n;
        do {
            z.next_out = chunk.data();
            z.avail_out = static_cast<uInt>(chunk.size());
            deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
            out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - z.avail_out));
        } while (z.avail_out == 0);
    } while (left != 0);
    deflateEnd(&z);
    putLe32(out, first + 18, static_cast<uint32_t>(out.size() - dataStart));
    for (const auto& [afterName, bytes] : after) {
        header(afterName, 0, static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(bytes.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    const size_t directory = out.size();
    out.resize(directory + 22);
    putLe32(out, directory, 0x06054b50);
    putLe32(out, directory + 16, static_cast<uint32_t>(directory));
    return out;
}

size_t find(const Bytes& bytes, const std::string& text, size_t from = 0) {
    for (size_t i = from; i + text.size() <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, text.data(), text.size()) == 0) return i;
    }
    ADD_FAILURE() << "no " << text;
    return 0;
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        loadSignatures(db_, {sig("Test.Alpha", "ALPHA-ONE"), sig("Test.Anchored", "MZHEAD", kVpsFlagAnchored),
                             sig("Test.Raw", "RAW-IN-FILE")});
    }
    TestDb db_;
    Maker make_;
};

constexpr uint32_t kAnyOffset = ~0u;

struct Case {
    const char* what;
    std::function<Bytes(Maker&)> archive;
    const char* virus;   // nullptr: clean
    const char* member;  // the infected member ("" for the file's own bytes)
    uint32_t offset;     // of the detection within its window
    std::vector<std::string> notExamined;
    ArchiveLimits limits = {};
};

TEST_F(ArchiveTest, TableOfArchives) {
    const Bytes small = filler(3000, 1);
    const Bytes big = filler(300000, 2);
    const std::vector<Case> cases = {
        {"stored cab, a member at its head between the file's windows", [&](Maker& m) {
             return m.cab({{"a.bin", big}, {"sub/eicar.com", plant(small, 40, "ALPHA-ONE")}, {"z.bin", big}}, false);
         }, "Test.Alpha", "sub\\eicar.com", 40, {}},
        {"MSZIP cab, at the tail of a large member", [&](Maker& m) {
             return m.cab({{"big.bin", plant(big, 290000, "ALPHA-ONE")}}, true);
         }, "Test.Alpha", "big.bin", 290000 - (300000 - kScanWindowLength), {}},
        {"MSZIP cab, in the middle of a large member: not searched", [&](Maker& m) {
             return m.cab({{"big.bin", plant(big, 150000, "ALPHA-ONE")}}, true);
         }, nullptr, "", 0, {}},
        {"MSZIP cab, the third of three members, across the folder's blocks", [&](Maker& m) {
             return m.cab({{"a", big}, {"b", filler(70000, 5)}, {"c", plant(small, 2990, "ALPHA-ONE")}}, true);
         }, "Test.Alpha", "c", 2990, {}},
        {"deflated zip, head of a large member", [&](Maker& m) {
             return m.zip({{"x.bin", plant(big, 20, "ALPHA-ONE")}}, "deflated");
         }, "Test.Alpha", "x.bin", 20, {}},
        {"deflated zip, middle of a large member: not searched", [&](Maker& m) {
             return m.zip({{"x.bin", plant(big, 150000, "ALPHA-ONE")}}, "deflated");
         }, nullptr, "", 0, {}},
        {"stored zip, anchored at the member's start", [&](Maker& m) {
             return m.zip({{"a.txt", small}, {"prog.exe", plant(small, 0, "MZHEAD")}}, "stored");
         }, "Test.Anchored", "prog.exe", 0, {}},
        {"stored zip, anchored record away from the member's start", [&](Maker& m) {
             return m.zip({{"prog.exe", plant(small, 10, "MZHEAD")}}, "stored");
         }, nullptr, "", 0, {}},
        {"the raw scan comes first: a stored member's bytes are the file's", [&](Maker& m) {
             return m.zip({{"a.txt", small}, {"b.txt", plant(small, 5, "RAW-IN-FILE")}}, "stored");
         }, "Test.Raw", "", kAnyOffset, {}},
        {"zip whose sizes follow the data", [&](Maker& m) {
             return m.zip({{"a.txt", big}, {"b.txt", plant(small, 7, "ALPHA-ONE")}}, "deflated-stream");
         }, "Test.Alpha", "b.txt", 7, {}},
        {"zip behind a program, found by its end record", [&](Maker& m) {
             return m.zip({{"b.txt", plant(small, 9, "ALPHA-ONE")}}, "deflated", filler(5000, 9));
         }, "Test.Alpha", "b.txt", 9, {}},
        {"nested: a zip in an MSZIP cab in a zip", [&](Maker& m) {
             const Bytes inner = m.zip({{"deep/virus.txt", plant(small, 11, "ALPHA-ONE")}}, "deflated");
             const Bytes cab = m.cab({{"readme", small}, {"inner.zip", inner}}, true);
             return m.zip({{"setup.cab", cab}}, "deflated");
         }, "Test.Alpha", "setup.cab/inner.zip/deep/virus.txt", 11, {}},
        {"nested four levels: the fourth is not opened", [&](Maker& m) {
             Bytes level = m.zip({{"v.txt", plant(small, 11, "ALPHA-ONE")}}, "deflated");
             for (int i = 0; i < 3; ++i) level = m.zip({{"l" + std::to_string(i) + ".zip", level}}, "deflated");
             return level;
         }, nullptr, "", 0, {"l2.zip/l1.zip/l0.zip: limit depth"}},
        {"bzip2 members are told, one by one", [&](Maker& m) {
             return m.zip({{"a.bz", small}, {"b.txt", small}, {"c.txt", plant(small, 3, "ALPHA-ONE")}}, "bzip2");
         }, nullptr, "", 0, {"a.bz: compression bzip2", "b.txt: compression bzip2", "c.txt: compression bzip2"}},
        {"encrypted member", [&](Maker& m) {
             Bytes z = m.zip({{"a.txt", plant(small, 3, "ALPHA-ONE")}, {"b.txt", plant(small, 3, "ALPHA-ONE")}}, "deflated");
             z[6] |= 1;  // the first local header's flags
             return z;
         }, "Test.Alpha", "b.txt", 3, {"a.txt: encrypted"}},
        {"LZX folder and a file continued in the next cabinet", [&](Maker& m) {
             Bytes c = m.cab({{"a.txt", plant(small, 3, "ALPHA-ONE")}, {"b.txt", small}}, true);
             putLe16(c, 36 + 6, 3);  // the folder's compression
             return c;
         }, nullptr, "", 0, {"a.txt: compression LZX", "b.txt: compression LZX"}},
        {"continued in another cabinet", [&](Maker& m) {
             Bytes c = m.cab({{"a.txt", plant(small, 3, "ALPHA-ONE")}}, true);
             putLe16(c, le32at(c, 16) + 8, 0xFFFE);  // the first file's folder
             return c;
         }, nullptr, "", 0, {"a.txt: continued"}},
        {"damaged deflate stream: that member is told, the next examined", [&](Maker& m) {
             Bytes z = m.zip({{"a.txt", big}, {"b.txt", plant(small, 3, "ALPHA-ONE")}}, "deflated");
             for (size_t i = 200; i < 260; ++i) z[i] ^= 0x5A;
             return z;
         }, "Test.Alpha", "b.txt", 3, {"a.txt: damaged"}},
        {"damaged MSZIP block", [&](Maker& m) {
             Bytes c = m.cab({{"a.bin", big}}, true);
             for (size_t i = 300; i < 340; ++i) c[i] ^= 0x5A;
             return c;
         }, nullptr, "", 0, {"a.bin: damaged"}},
        {"cut zip: the first member is examined, the cut one told", [&](Maker& m) {
             Bytes z = m.zip({{"a.txt", small}, {"b.bin", plant(big, 290000, "ALPHA-ONE")}}, "stored");
             z.resize(find(z, "ALPHA-ONE") - 100);
             return z;
         }, nullptr, "", 0, {"b.bin: damaged"}},
        {"cut cab", [&](Maker& m) {
             Bytes c = m.cab({{"a.bin", plant(big, 290000, "ALPHA-ONE")}}, true);
             c.resize(c.size() / 2);
             return c;
         }, nullptr, "", 0, {"a.bin: damaged"}},
        {"a member over the member limit: its head is searched, the rest told", [&](Maker& m) {
             return m.cab({{"a.bin", plant(big, 290000, "ALPHA-ONE")}, {"b.txt", plant(small, 1, "ALPHA-ONE")}}, true);
         }, "Test.Alpha", "b.txt", 1, {"a.bin: limit member size"}, ArchiveLimits{200000, 64u << 20, 1024, 3}},
        {"the archive limit ends the walk", [&](Maker& m) {
             return m.zip({{"a.bin", big}, {"b.txt", plant(small, 1, "ALPHA-ONE")}}, "deflated");
         }, nullptr, "", 0, {"a.bin: limit archive size"}, ArchiveLimits{1u << 20, 200000, 1024, 3}},
        {"the member count ends the walk", [&](Maker& m) {
             return m.zip({{"a", small}, {"b", small}, {"c", plant(small, 1, "ALPHA-ONE")}}, "deflated");
         }, nullptr, "", 0, {"c: limit members"}, ArchiveLimits{1u << 20, 64u << 20, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes archive = c.archive(make_);
        const Outcome o = scan(db_.db, archive, c.limits);
        EXPECT_EQ(o.status, kStatusOk);
        if (c.virus == nullptr) {
            EXPECT_EQ(o.result.recordNumber, 0u) << o.result.virusName;
        } else {
            ASSERT_NE(o.result.recordNumber, 0u);
            EXPECT_STREQ(o.result.virusName, c.virus);
            EXPECT_STREQ(o.verdict.member, c.member);
            if (c.offset != kAnyOffset) EXPECT_EQ(o.result.matchOffset, c.offset);
        }
        EXPECT_EQ(o.notExamined, c.notExamined);
        EXPECT_EQ(o.verdict.membersNotExamined, c.notExamined.size());
    }
}

// The bomb: 2 GiB of zeros in about 2 MB. Its head is searched, the rest is
// not inflated, and the member behind it is still examined.
TEST_F(ArchiveTest, ZeroBombEndsQuicklyAndTheNextMemberIsExamined) {
    // The last member keeps the infected one out of the file's tail window.
    const Bytes bomb = zeroBomb(2ull << 30, "zeros.bin",
                                {{"after.txt", plant(filler(3000, 3), 100, "ALPHA-ONE")}, {"pad.txt", filler(60000, 4)}});
    EXPECT_LT(bomb.size(), 8u << 20);
    const Outcome o = scan(db_.db, bomb);
    ASSERT_NE(o.result.recordNumber, 0u);
    EXPECT_STREQ(o.verdict.member, "after.txt");
    EXPECT_EQ(o.notExamined, std::vector<std::string>{"zeros.bin: limit member size"});
    EXPECT_LT(o.verdict.bytesProduced, 1u << 20);
}

// A scan stopped in the middle of a large member stops there.
TEST_F(ArchiveTest, StopInTheMiddleOfAMember) {
    const Bytes archive = make_.zip({{"a.bin", filler(3000000, 4)}, {"b.txt", plant(filler(100, 1), 0, "ALPHA-ONE")}},
                                    "deflated");
    int polls = 0;
    const Outcome o = scan(db_.db, archive, {}, [&] { return ++polls < 3; });
    EXPECT_EQ(o.result.recordNumber, 0u);
    EXPECT_EQ(o.notExamined, std::vector<std::string>{"a.bin: stopped"});
    EXPECT_LT(o.verdict.bytesProduced, 1000000u);
}

// Files that are no archives are not opened, whatever their first bytes
// promise, and a file of a few bytes is none.
TEST_F(ArchiveTest, RecognitionByContent) {
    struct Shape {
        const char* what;
        Bytes bytes;
        ArchiveKind kind;
    };
    Bytes cabHeader = make_.cab({{"a", filler(100, 1)}}, false);
    Bytes badVersion = cabHeader;
    badVersion[25] = 2;
    Bytes zipEnd(22, 0);
    putLe32(zipEnd, 0, 0x06054b50);
    const std::vector<Shape> shapes = {
        {"a cabinet", cabHeader, ArchiveKind::cab},
        {"MSCF of another version", badVersion, ArchiveKind::none},
        {"MSCF and nothing more", bytesOf("MSCF-and-text-after-it-for-forty-bytes..."), ArchiveKind::none},
        {"a local header at 0", make_.zip({{"a", filler(10, 1)}}, "stored"), ArchiveKind::zip},
        {"only an end record", zipEnd, ArchiveKind::zip},
        {"text", filler(5000, 2), ArchiveKind::none},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.what);
        FileEnds ends;
        ends.headLength = static_cast<uint32_t>(s.bytes.size() < kFileHeadBytes ? s.bytes.size() : kFileHeadBytes);
        std::memcpy(ends.head, s.bytes.data(), ends.headLength);
        ends.tail = s.bytes.data();
        ends.tailLength = static_cast<uint32_t>(s.bytes.size());
        ends.size = s.bytes.size();
        EXPECT_EQ(archiveRecognize(ends).kind, s.kind);
    }
}

}  // namespace
