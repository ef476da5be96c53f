#include "tools/update/program_image.h"

namespace {

uint32_t readU16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }

uint32_t readU32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSymbolSize = 18;

}  // namespace

bool programSections(const std::vector<uint8_t>& image, std::vector<ProgramSection>& sections, std::string& error) {
    sections.clear();
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        error = "not a Windows program (no MZ header)";
        return false;
    }
    const size_t pe = readU32(image, 0x3C);
    if (pe > image.size() || image.size() - pe < 4 + kCoffHeaderSize || image[pe] != 'P' || image[pe + 1] != 'E' ||
        image[pe + 2] != 0 || image[pe + 3] != 0) {
        error = "not a Windows program (no PE header)";
        return false;
    }
    const size_t coff = pe + 4;
    const size_t sectionCount = readU16(image, coff + 2);
    const uint64_t symbolTable = readU32(image, coff + 8);
    const uint64_t symbolCount = readU32(image, coff + 12);
    const size_t optionalSize = readU16(image, coff + 16);
    const uint64_t table = coff + kCoffHeaderSize + optionalSize;
    if (table + sectionCount * kSectionHeaderSize > image.size()) {
        error = "its section table reaches past the end of the file";
        return false;
    }
    // Names longer than eight characters live in the string table after the
    // symbols; a stripped program keeps neither, and its long names read as
    // they are stored ("/4").
    const uint64_t strings = symbolTable + symbolCount * kSymbolSize;
    const bool haveStrings = symbolTable != 0 && strings + 4 <= image.size();
    for (size_t i = 0; i < sectionCount; ++i) {
        const size_t at = static_cast<size_t>(table) + i * kSectionHeaderSize;
        std::string name;
        for (size_t k = 0; k < 8 && image[at + k] != 0; ++k) name += static_cast<char>(image[at + k]);
        if (haveStrings && name.size() > 1 && name[0] == '/' && name.find_first_not_of("0123456789", 1) == std::string::npos) {
            const uint64_t offset = strings + std::stoull(name.substr(1));
            if (offset < image.size()) {
                name.clear();
                for (uint64_t k = offset; k < image.size() && image[k] != 0; ++k) name += static_cast<char>(image[k]);
            }
        }
        sections.push_back({name, readU32(image, at + 20), readU32(image, at + 16)});
    }
    return true;
}

std::vector<std::string> programDebugSections(const std::vector<ProgramSection>& sections) {
    std::vector<std::string> debug;
    for (const ProgramSection& section : sections) {
        const std::string& name = section.name;
        if (name.rfind(".debug", 0) == 0 || name.rfind(".zdebug", 0) == 0) debug.push_back(name);
    }
    return debug;
}

uint32_t programBudget(const std::string& name) {
    for (const ProgramBudget& budget : kProgramBudgets) {
        if (name == budget.name) return budget.bytes;
    }
    return 0;
}
