#pragma once
// A minimal Windows program image for the tests of the maker's tools: the
// headers, a section table with the names given (names over eight
// characters go to a string table, as the linker puts them), and `tag` as
// the image's only content, so that images differ.
#include <cstdint>
#include <string>
#include <vector>

inline std::vector<uint8_t> programImageMake(const std::vector<std::string>& sectionNames, const std::string& tag) {
    auto put32 = [](std::vector<uint8_t>& out, size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    const size_t pe = 0x40, table = pe + 24, content = table + 40 * sectionNames.size();
    std::vector<uint8_t> out(content, 0);
    out[0] = 'M';
    out[1] = 'Z';
    put32(out, 0x3C, pe);
    out[pe] = 'P';
    out[pe + 1] = 'E';
    out[pe + 4] = 0x64;  // x86-64
    out[pe + 5] = 0x86;
    out[pe + 6] = static_cast<uint8_t>(sectionNames.size());
    out.insert(out.end(), tag.begin(), tag.end());
    std::string strings;
    for (size_t i = 0; i < sectionNames.size(); ++i) {
        std::string name = sectionNames[i];
        if (name.size() > 8) {
            const std::string reference = "/" + std::to_string(4 + strings.size());
            strings += name + '\0';
            name = reference;
        }
        for (size_t k = 0; k < name.size(); ++k) out[table + 40 * i + k] = static_cast<uint8_t>(name[k]);
        put32(out, table + 40 * i + 16, static_cast<uint32_t>(tag.size()));
        put32(out, table + 40 * i + 20, static_cast<uint32_t>(content));
    }
    if (!strings.empty()) {
        put32(out, pe + 12, static_cast<uint32_t>(out.size()));  // the symbol table: none, then the strings
        const size_t at = out.size();
        out.resize(at + 4);
        put32(out, at, static_cast<uint32_t>(4 + strings.size()));
        out.insert(out.end(), strings.begin(), strings.end());
    }
    return out;
}
