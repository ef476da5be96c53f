#pragma once
// The programs a package carries, as the maker's tools check them before
// they ship: a Windows program image (PE) read far enough to list its
// sections by name, and the size budget of each program. Platform-free.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ProgramSection {
    std::string name;
    uint32_t fileOffset = 0;  // where its bytes lie in the file
    uint32_t fileSize = 0;
};

// The sections of a PE image; long names ("/4") are read from the image's
// string table. False, with a reason, for an image that is not a PE file or
// whose section table lies outside it.
bool programSections(const std::vector<uint8_t>& image, std::vector<ProgramSection>& sections, std::string& error);

// The names of the sections that hold debug information (".debug_*",
// ".zdebug_*"): what a program that ships must not carry.
std::vector<std::string> programDebugSections(const std::vector<ProgramSection>& sections);

// The most each shipped program may weigh, in bytes. A package goes to
// handhelds over slow, metered links, into a few MB of storage.
struct ProgramBudget {
    const char* name;
    uint32_t bytes;
};
constexpr ProgramBudget kProgramBudgets[] = {
    {"zerbin.exe", 320 * 1024},
    {"zbMonitor.exe", 128 * 1024},
    // Carried by every package, the database-only ones too, where it is
    // most of the download.
    {"zbinstall.exe", 48 * 1024},
};

// The most a database-only package with the sample database may weigh,
// signed: what a device pays for a daily signature update.
constexpr uint32_t kDatabaseOnlyPackageBudget = 64 * 1024;

// The budget of a program by its file name, 0 for a file that has none.
uint32_t programBudget(const std::string& name);
