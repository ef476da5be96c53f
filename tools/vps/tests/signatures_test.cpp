// The signature list: parsing, errors that name their line, the 255-byte
// limit, the round trip through a database image, and samples.
#include "tools/vps/signatures.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/search.h"
#include "engine/vps_format.h"

namespace {

std::string parseError(const std::string& text) {
    SignatureList list;
    std::string error;
    EXPECT_NE(signatureListParse(text, list, error), kStatusOk) << text;
    return error;
}

TEST(SignatureListTest, ParsesEveryField) {
    const std::string text =
        "# a comment\n"
        "@version 1.42\n"
        "@header  Maker's database # not a comment\n"
        "\n"
        "Plain.One 0 4d5a\n"
        "  Anchored 0x0001 AABBcc  # trailing comment\n"
        "Two.Parts 2 01 -7:ff00 crc:-3:100:0xDEADbeef\n"
        "\"Quoted \\\"name\\\" \\x80\\\\\" 65535 7f +2147483647:01\r\n";
    SignatureList list;
    std::string error;
    ASSERT_EQ(signatureListParse(text, list, error), kStatusOk) << error;
    EXPECT_EQ(list.versionMajor, 1);
    EXPECT_EQ(list.versionMinor, 42);
    EXPECT_EQ(list.header, "Maker's database # not a comment");
    ASSERT_EQ(list.signatures.size(), 4u);
    EXPECT_EQ(list.signatures[0].name, "Plain.One");
    EXPECT_EQ(list.signatures[0].first, (std::vector<uint8_t>{0x4d, 0x5a}));
    EXPECT_TRUE(list.signatures[0].second.empty());
    EXPECT_EQ(list.signatures[1].flags, 1);
    EXPECT_EQ(list.signatures[1].first, (std::vector<uint8_t>{0xaa, 0xbb, 0xcc}));
    const Signature& two = list.signatures[2];
    EXPECT_EQ(two.flags, 2);
    EXPECT_EQ(two.secondOffset, -7);
    EXPECT_EQ(two.second, (std::vector<uint8_t>{0xff, 0x00}));
    EXPECT_EQ(two.crcAreaOffset, -3);
    EXPECT_EQ(two.crcAreaLength, 100u);
    EXPECT_EQ(two.crcAreaValue, 0xDEADBEEFu);
    EXPECT_EQ(list.signatures[3].name, "Quoted \"name\" \x80\\");
    EXPECT_EQ(list.signatures[3].flags, 65535);
    EXPECT_EQ(list.signatures[3].secondOffset, 2147483647);

    // An offset without a sign is a positive one.
    ASSERT_EQ(signatureListParse("A 0 41 5:42\n", list, error), kStatusOk) << error;
    EXPECT_EQ(list.signatures[0].secondOffset, 5);
}

TEST(SignatureListTest, BadLinesAreRefusedWithTheirNumber) {
    EXPECT_EQ(parseError("A 0 41\nB 0 4\n"), "line 2: first pattern '4' is not an even number of hex digits");
    EXPECT_NE(parseError("A 0 zz\n").find("line 1:"), std::string::npos);
    EXPECT_NE(parseError("\n\nA 65536 41\n").find("line 3: flags"), std::string::npos);
    EXPECT_NE(parseError("A -1 41\n").find("flags"), std::string::npos);
    EXPECT_NE(parseError("A 0\n").find("at least a name"), std::string::npos);
    EXPECT_NE(parseError("A 0 41 +1:42 +2:43\n").find("two second patterns"), std::string::npos);
    EXPECT_NE(parseError("A 0 41 +99999999999:42\n").find("offset"), std::string::npos);
    EXPECT_NE(parseError("A 0 41 garbage\n").find("unexpected 'garbage'"), std::string::npos);
    EXPECT_NE(parseError("A 0 41 crc:1:2\n").find("crc:OFFSET:LENGTH:VALUE"), std::string::npos);
    EXPECT_NE(parseError("\"open 0 41\n").find("not closed"), std::string::npos);
    EXPECT_NE(parseError("\"a\\x00b\" 0 41\n").find("00"), std::string::npos);
    EXPECT_NE(parseError("@version 1\n").find("line 1"), std::string::npos);
    EXPECT_NE(parseError("@version 1.2\n@version 1.3\n").find("line 2: a second @version"), std::string::npos);
    EXPECT_NE(parseError("@colour blue\n").find("unknown directive"), std::string::npos);
}

TEST(SignatureListTest, RecordsLongerThan255BytesAreRefused) {
    // 22 + first + second + name bytes: 22 + 200 + 13 + 20 = 255 fits.
    const std::string first(400, 'a'), second(26, 'b'), name(20, 'N');
    SignatureList list;
    std::string error;
    ASSERT_EQ(signatureListParse(name + " 0 " + first + " +1:" + second + "\n", list, error), kStatusOk) << error;
    EXPECT_EQ(parseError(name + "X 0 " + first + " +1:" + second + "\n"),
              "line 1: record of 256 bytes does not fit in 255 (22 + first + second + name)");
    std::vector<uint8_t> bytes;
    ASSERT_EQ(signatureEncode(list.signatures[0], bytes, error), kStatusOk);
    EXPECT_EQ(bytes.size(), 255u);
    EXPECT_EQ(bytes[0], 255);
}

TEST(SignatureListTest, ImageRoundTripsThroughTheLoaderAndTheFormatter) {
    const std::string text =
        "@version 1.7\n@header hdr\n"
        "Alpha 0 41424344\n"
        "\"Beta Two\" 1 45 -3:4647 crc:5:6:0000abcd\n"
        "Gamma 4 48494a4b4c4d4e4f +0:50\n";
    SignatureList list;
    std::string error;
    ASSERT_EQ(signatureListParse(text, list, error), kStatusOk) << error;
    std::vector<uint8_t> image;
    ASSERT_EQ(vpsImageBuild(list, image, error), kStatusOk) << error;
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), std::string("hdr\0", 4));

    VpsDatabase db;
    ASSERT_EQ(vpsParseImage(image.data(), image.size(), db), kStatusOk);
    EXPECT_EQ(db.versionMajor, 1);
    EXPECT_EQ(db.versionMinor, 7);
    EXPECT_EQ(db.recordCount, 3u);
    SignatureList back;
    back.versionMajor = db.versionMajor;
    back.versionMinor = db.versionMinor;
    back.header = "hdr";
    uint64_t offset = 0;
    VpsRecord r;
    while (offset < db.recordAreaLength && vpsRecordRead(db.recordArea + offset, db.recordAreaLength - offset, r)) {
        back.signatures.push_back(signatureFromRecord(r));
        offset += r.length;
    }
    vpsRelease(db);
    const std::string formatted = signatureListFormat(back, 3);
    EXPECT_EQ(formatted,
              "# zerbinpda.vps: version 1.7, 3 records\n@version 1.7\n@header hdr\n"
              "Alpha 0 41424344\n"
              "\"Beta Two\" 1 45 -3:4647 crc:5:6:0000abcd\n"
              "Gamma 4 48494a4b4c4d4e4f +0:50\n");
    SignatureList again;
    ASSERT_EQ(signatureListParse(formatted, again, error), kStatusOk) << error;
    std::vector<uint8_t> image2;
    ASSERT_EQ(vpsImageBuild(again, image2, error), kStatusOk);
    EXPECT_EQ(image2, image);
}

TEST(SignatureListTest, SamplesAreDetectedByTheirOwnRecord) {
    SignatureList list;
    std::string error;
    ASSERT_EQ(signatureListParse("A 0 41\n"
                                 "Back 0 5a5a5a -30:4242\n"
                                 "Fwd 1 4c4c4c4c4c4c4c4c4c +100:4d\n"
                                 "Over 0 61626364 -3:6263\n",
                                 list, error),
              kStatusOk);
    for (const Signature& s : list.signatures) {
        SCOPED_TRACE(s.name);
        const std::vector<uint8_t> sample = signatureSample(s);
        EXPECT_GE(sample.size(), 8u);
        std::vector<uint8_t> area;
        ASSERT_EQ(signatureEncode(s, area, error), kStatusOk);
        VpsDatabase db;
        ASSERT_EQ(vpsLoadRecordArea(area.data(), area.size(), db), kStatusOk);
        MatchResult result;
        searchLiteral(db, sample.data(), static_cast<uint32_t>(sample.size()), WindowPlace::startOfFile, result);
        EXPECT_EQ(result.recordNumber, 1u);
        vpsRelease(db);
    }
}


// Lists whose records a window can make slow whatever bytes they are found
// by, and lists the tool must accept without a word.
SignatureList sharedShortFirst(const std::vector<uint8_t>& first, uint32_t secondLength, uint32_t records) {
    SignatureList list;
    for (uint32_t i = 0; i < records; ++i) {
        Signature s;
        s.line = i + 1;
        s.name = "R" + std::to_string(i + 1);
        s.first = first;
        for (uint32_t k = 0; k < secondLength; ++k) s.second.push_back(static_cast<uint8_t>((i * 2654435761u) >> (8 * (k % 4)) ^ k * 37));
        s.secondOffset = static_cast<int32_t>(i % 1000);
        list.signatures.push_back(s);
    }
    return list;
}

SignatureList sampleList() {
    std::string text;
    FILE* f = std::fopen(ZB_SAMPLE_LIST, "rb");
    EXPECT_NE(f, nullptr) << ZB_SAMPLE_LIST;
    char buffer[4096];
    for (size_t n; f != nullptr && (n = std::fread(buffer, 1, sizeof buffer, f)) != 0;) text.append(buffer, n);
    if (f != nullptr) std::fclose(f);
    SignatureList list;
    std::string error;
    EXPECT_EQ(signatureListParse(text, list, error), kStatusOk) << error;
    return list;
}

TEST(SlowSignatureTest, OnlyRecordsThatNoEntryMakesCheapAreSlow) {
    struct Case {
        const char* what;
        SignatureList list;
        size_t slow;  // how many of its records
    };
    const Case cases[] = {
        {"the sample list", sampleList(), 0},
        {"\"xy\" and long second patterns", sharedShortFirst({'x', 'y'}, 6, 2000), 0},
        {"two zero bytes and long second patterns", sharedShortFirst({0, 0}, 8, 2000), 0},
        {"\"MZ\" and long second patterns", sharedShortFirst({'M', 'Z'}, 7, 2000), 0},
        {"\"A\" and long second patterns", sharedShortFirst({'A'}, 12, 2000), 0},
        {"\"A\" and two-byte second patterns", sharedShortFirst({'A'}, 2, 1000), 1000},
        {"two zero bytes and no second pattern, anchored", [] {
             SignatureList l = sharedShortFirst({0, 0}, 0, 1);
             l.signatures[0].flags = kVpsFlagAnchored;
             return l;
         }(), 1},
        {"a long first pattern alone", sharedShortFirst({1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, 1), 0},
    };
    for (const Case& c : cases) {
        std::vector<SlowSignature> slow;
        ASSERT_EQ(signaturesSlow(c.list, slow), kStatusOk) << c.what;
        EXPECT_EQ(slow.size(), c.slow) << c.what;
        for (const SlowSignature& s : slow) {
            EXPECT_GT(s.cost, kSignatureCostBound) << c.what;
            EXPECT_FALSE(s.entry.empty()) << c.what;
        }
    }
}

// The build command: warnings on standard error, a database all the same;
// --strict writes none and fails.
const std::string toolPath = ZB_VPS_TOOL;

struct ToolRun {
    int status = -1;
    std::string errors;
};

ToolRun runTool(const std::string& args) {
    const std::string errorsFile = ::testing::TempDir() + "zbvps_errors.txt";
    ToolRun run;
    const int raw = std::system((toolPath + " " + args + " >/dev/null 2>" + errorsFile).c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    FILE* f = std::fopen(errorsFile.c_str(), "rb");
    char buffer[4096];
    for (size_t n; f != nullptr && (n = std::fread(buffer, 1, sizeof buffer, f)) != 0;) run.errors.append(buffer, n);
    if (f != nullptr) std::fclose(f);
    return run;
}

TEST(SlowSignatureTest, BuildWarnsAndStrictRefuses) {
    ASSERT_FALSE(toolPath.empty());
    const std::string dir = ::testing::TempDir();
    const std::string slowList = dir + "slow-signatures.txt";
    FILE* f = std::fopen(slowList.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("# a record that every window of 78 79 slows down\nFine.Long 0 0123456789abcdef\nSlow.XY 0 7879 +3:7879\n", f);
    std::fclose(f);
    const std::string out = dir + "slow.vps";
    const std::string sampleOut = dir + "sample.vps";
    std::remove(out.c_str());

    const ToolRun warned = runTool("build " + slowList + " " + out);
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.errors.rfind("warning: line 3: Slow.XY: ", 0), 0u) << warned.errors;
    EXPECT_NE(warned.errors.find(" x an ordinary window"), std::string::npos) << warned.errors;
    EXPECT_EQ(warned.errors.find("Fine.Long"), std::string::npos) << warned.errors;
    FILE* built = std::fopen(out.c_str(), "rb");
    EXPECT_NE(built, nullptr);
    if (built != nullptr) std::fclose(built);

    std::remove(out.c_str());
    const ToolRun strict = runTool("build --strict " + slowList + " " + out);
    EXPECT_EQ(strict.status, 1);
    EXPECT_NE(strict.errors.find("warning: line 3: Slow.XY: "), std::string::npos) << strict.errors;
    EXPECT_EQ(std::fopen(out.c_str(), "rb"), nullptr);

    const ToolRun sample = runTool(std::string("build --strict ") + ZB_SAMPLE_LIST + " " + sampleOut);
    EXPECT_EQ(sample.status, 0);
    EXPECT_EQ(sample.errors, "");
}

}  // namespace
