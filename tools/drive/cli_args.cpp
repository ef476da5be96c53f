#include "tools/drive/cli_args.h"

#include <cctype>
#include <climits>

namespace zbdrive {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

struct NamedValue {
    const char* name;
    unsigned value;
};

// Virtual-key codes of the platform, spelled out so that this file needs none
// of its headers. soft1 and soft2 are the handheld's two soft keys, which the
// platform maps onto F1 and F2.
constexpr NamedValue kKeys[] = {
    {"backspace", 0x08}, {"bs", 0x08},      {"tab", 0x09},     {"enter", 0x0D},  {"return", 0x0D},
    {"esc", 0x1B},       {"escape", 0x1B},  {"space", 0x20},   {"pgup", 0x21},   {"prior", 0x21},
    {"pgdn", 0x22},      {"next", 0x22},    {"end", 0x23},     {"home", 0x24},   {"left", 0x25},
    {"up", 0x26},        {"right", 0x27},   {"down", 0x28},    {"insert", 0x2D}, {"delete", 0x2E},
    {"del", 0x2E},       {"soft1", 0x70},   {"soft2", 0x71},
};

constexpr NamedValue kButtons[] = {
    {"ok", 1}, {"cancel", 2}, {"abort", 3}, {"retry", 4}, {"ignore", 5}, {"yes", 6}, {"no", 7},
};

bool optionValue(const std::vector<std::string>& argv, size_t& i, std::string& value, std::string& error) {
    if (i + 1 >= argv.size()) {
        error = "option " + argv[i] + " needs a value";
        return false;
    }
    value = argv[++i];
    return true;
}

bool numberOption(const std::string& option, const std::string& value, long long low, long long high, long long& out,
                  std::string& error) {
    if (!parseInteger(value, out) || out < low || out > high) {
        error = "option " + option + ": '" + value + "' is not a number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return false;
    }
    return true;
}

}  // namespace

bool parseInteger(std::string_view text, long long& out) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    unsigned long long value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
            digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        } else {
            return false;
        }
        if (value > (static_cast<unsigned long long>(LLONG_MAX) - digit) / base) return false;
        value = value * base + digit;
    }
    out = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
    return true;
}

bool parseKey(std::string_view name, unsigned& vk) {
    std::string key = lower(name);
    for (const NamedValue& k : kKeys) {
        if (key == k.name) {
            vk = k.value;
            return true;
        }
    }
    if (key.size() == 1 && std::isalnum(static_cast<unsigned char>(key[0]))) {
        vk = static_cast<unsigned>(std::toupper(static_cast<unsigned char>(key[0])));
        return true;
    }
    if (key.size() >= 2 && key[0] == 'f' && std::isdigit(static_cast<unsigned char>(key[1]))) {
        long long n = 0;
        if (parseInteger(std::string_view(key).substr(1), n) && n >= 1 && n <= 24) {
            vk = 0x70 + static_cast<unsigned>(n - 1);
            return true;
        }
        return false;
    }
    long long number = 0;
    if (parseInteger(key, number) && number > 0 && number < 256) {
        vk = static_cast<unsigned>(number);
        return true;
    }
    return false;
}

bool parseKeyPress(std::string_view name, unsigned& vk, bool& shifted) {
    constexpr std::string_view kShift = "shift+";
    shifted = name.size() > kShift.size() && lower(name.substr(0, kShift.size())) == kShift;
    return parseKey(shifted ? name.substr(kShift.size()) : name, vk);
}

bool parseButton(std::string_view name, int& id) {
    std::string button = lower(name);
    for (const NamedValue& b : kButtons) {
        if (button == b.name) {
            id = static_cast<int>(b.value);
            return true;
        }
    }
    long long number = 0;
    if (parseInteger(button, number) && number > 0 && number <= 0xFFFF) {
        id = static_cast<int>(number);
        return true;
    }
    return false;
}

std::string deviceFilePath(std::string_view path) {
    if (path.empty() || path[0] != '/') return std::string(path);
    std::string out = "\\\\?\\unix";
    for (char c : path) out += c == '/' ? '\\' : c;
    return out;
}

std::string cellText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return out;
}

std::string textLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    if (out.empty() || out.back() != '\n') out += '\n';
    return out;
}

bool parseArguments(const std::vector<std::string>& argv, Options& out, std::string& error) {
    bool classGiven = false, titleGiven = false, optionsEnded = false;
    std::string className, title;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (optionsEnded || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            if (arg == "--") {
                optionsEnded = true;
                continue;
            }
            out.args.push_back(arg);
            continue;
        }
        std::string value;
        long long number = 0;
        if (arg == "--any") {
            out.anyProcess = true;
        } else if (arg == "--class") {
            if (!optionValue(argv, i, className, error)) return false;
            classGiven = true;
        } else if (arg == "--title") {
            if (!optionValue(argv, i, title, error)) return false;
            titleGiven = true;
        } else if (arg == "--timeout") {
            if (!optionValue(argv, i, value, error) || !numberOption(arg, value, 0, 3600000, number, error)) return false;
            out.timeoutMs = static_cast<long>(number);
        } else if (arg == "--pid") {
            if (!optionValue(argv, i, value, error) || !numberOption(arg, value, 1, 0xFFFFFFFFLL, number, error)) return false;
            out.processId = static_cast<unsigned long>(number);
        } else if (arg == "--process") {
            if (!optionValue(argv, i, out.processName, error)) return false;
        } else if (arg == "--to") {
            if (!optionValue(argv, i, value, error) || !numberOption(arg, value, -32768, 0xFFFF, out.to, error)) return false;
            out.toGiven = true;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (classGiven || titleGiven) {
        out.className = classGiven ? className : std::string();
        out.title = titleGiven ? title : std::string();
    }
    return true;
}

}  // namespace zbdrive
