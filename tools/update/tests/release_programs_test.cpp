// The programs that go to devices, as the Windows build made them (its bin
// folder is the argument): each within its budget, carrying no debug
// information, and naming in its debug link the NAME.exe.debug beside it,
// whose checksum the link records, so that a crash address still resolves;
// and a signed database-only package with the sample database within its
// budget, as ./zb publish --database-only makes it from this build.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/crc32.h"
#include "tools/update/program_image.h"
#include "tools/update/publish.h"
#include "tools/update/signing.h"

namespace {

namespace fs = std::filesystem;

fs::path g_bin;

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<fs::path> shippedPrograms() {
    std::vector<fs::path> programs = {g_bin / "zbinstall.exe"};
    for (const char* edition : {"ppc", "wm5", "hpc", "sphone"}) {
        programs.push_back(g_bin / edition / "zerbin.exe");
        programs.push_back(g_bin / edition / "zbMonitor.exe");
    }
    return programs;
}

TEST(ReleasePrograms, EachProgramFitsItsBudgetAndCarriesNoDebugInformation) {
    for (const fs::path& program : shippedPrograms()) {
        SCOPED_TRACE(program.string());
        const std::vector<uint8_t> image = readFile(program);
        ASSERT_FALSE(image.empty());
        const uint32_t budget = programBudget(program.filename().string());
        ASSERT_NE(budget, 0u);
        EXPECT_LE(image.size(), budget) << "over its budget of " << budget / 1024 << " KB";

        std::vector<ProgramSection> sections;
        std::string error;
        ASSERT_TRUE(programSections(image, sections, error)) << error;
        EXPECT_TRUE(programDebugSections(sections).empty());

        // The debug link: the debug file's name, padding to four bytes, and
        // the CRC-32 of that file.
        const ProgramSection* link = nullptr;
        for (const ProgramSection& section : sections) {
            if (section.name == ".gnu_debuglink") link = &section;
        }
        ASSERT_NE(link, nullptr);
        ASSERT_LE(uint64_t{link->fileOffset} + link->fileSize, image.size());
        const std::string name(reinterpret_cast<const char*>(image.data() + link->fileOffset));
        EXPECT_EQ(name, program.filename().string() + ".debug");
        const size_t crcAt = link->fileOffset + ((name.size() + 1 + 3) & ~size_t{3});
        ASSERT_LE(crcAt + 4, image.size());
        const uint32_t linked = image[crcAt] | (image[crcAt + 1] << 8) | (image[crcAt + 2] << 16) |
                                (static_cast<uint32_t>(image[crcAt + 3]) << 24);
        const std::vector<uint8_t> debug = readFile(program.string() + ".debug");
        EXPECT_EQ(crc32(debug.data(), debug.size(), 0), linked);
        std::vector<ProgramSection> debugSections;
        ASSERT_TRUE(programSections(debug, debugSections, error)) << error;
        EXPECT_FALSE(programDebugSections(debugSections).empty()) << "the debug information is beside the program";
    }
}

TEST(ReleasePrograms, ASignedDatabaseOnlyPackageWithTheSampleDatabaseFitsItsBudget) {
    const fs::path work = fs::temp_directory_path() / ("zb-release-" + std::to_string(getpid()));
    fs::remove_all(work);
    std::string report, error;
    ASSERT_TRUE(signingKeyGenerate((work / "key").string(), report, error)) << error;
    PublishRequest request;
    request.version = 431;
    request.databasePath = (g_bin / "zerbinpda.vps").string();
    request.installerPath = (g_bin / "zbinstall.exe").string();
    request.outputFolder = (work / "server").string();
    request.editions.push_back({"ppc", "ppc_arm", "", ""});
    request.signingKeyPath = (work / "key" / kSigningKeyFile).string();
    request.databaseOnly = true;
    report.clear();
    ASSERT_TRUE(publishTree(request, report, error)) << error;
    const uintmax_t size = fs::file_size(work / "server/files/pda/ppc_arm/upgrade.dat");
    EXPECT_LE(size, kDatabaseOnlyPackageBudget) << report;
    std::printf("%s", report.c_str());
    fs::remove_all(work);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: test_release_programs BIN (the Windows build's bin folder)\n");
        return 2;
    }
    g_bin = argv[1];
    return RUN_ALL_TESTS();
}
