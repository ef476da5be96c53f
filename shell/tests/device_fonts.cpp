#include "shell/tests/device_fonts.h"

#include <cstdlib>
#include <sstream>

const char* const kDeviceFontNames[kDeviceFontCount] = {"interface", "normal10", "bold10", "bold8", "light8"};

namespace {

int fontIndex(const std::string& name) {
    for (int i = 0; i < kDeviceFontCount; ++i) {
        if (name == kDeviceFontNames[i]) return i;
    }
    return -1;
}

}  // namespace

bool DeviceFontTable::parse(std::string_view text, std::string& error) {
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    bool seen[kDeviceFontCount] = {};
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::string first;
        if (!(fields >> first)) continue;
        if (first == "font") {
            std::string name;
            DeviceFontMetrics m;
            if (!(fields >> name >> m.height >> m.leading >> m.average)) {
                return fail("a font needs a name and three numbers");
            }
            int index = fontIndex(name);
            if (index < 0) return fail("unknown font " + name);
            metrics_[index] = m;
            seen[index] = true;
            continue;
        }
        char* end = nullptr;
        unsigned long code = std::strtoul(first.c_str(), &end, 16);
        if (*end != 0 || code > 0xFFFF) return fail("not a character code: " + first);
        std::vector<int> widths;
        for (int w; fields >> w;) widths.push_back(w);
        if (widths.size() != size_t(kDeviceFontCount)) return fail("a character needs one width per font");
        for (int i = 0; i < kDeviceFontCount; ++i) {
            if (widths[i] > widest_[i]) widest_[i] = widths[i];
        }
        advances_[char16_t(code)] = widths;
    }
    for (int i = 0; i < kDeviceFontCount; ++i) {
        if (!seen[i]) return fail(std::string("no font ") + kDeviceFontNames[i]);
    }
    return true;
}

std::vector<char16_t> DeviceFontTable::characters() const {
    std::vector<char16_t> out;
    for (const auto& [c, widths] : advances_) out.push_back(c);
    return out;
}

int DeviceFontTable::advance(DeviceFont font, char16_t c) const {
    auto found = advances_.find(c);
    return found == advances_.end() ? -1 : found->second[int(font)];
}

int DeviceFontTable::width(DeviceFont font, std::u16string_view text, bool* missing) const {
    int sum = 0;
    for (char16_t c : text) {
        int w = advance(font, c);
        if (w < 0) {
            if (missing) *missing = true;
            w = widest_[int(font)];
        }
        sum += w;
    }
    return sum;
}
