#include "tools/vps/signatures.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "engine/crc32.h"
#include "engine/search_entry.h"
#include "engine/search_size.h"

namespace {

constexpr const char* kHelp = R"(A signature list is plain text, one database record per line:

  NAME FLAGS FIRST [OFFSET:SECOND] [crc:OFFSET:LENGTH:VALUE]

  NAME    the virus name (8-bit text). Write it in double quotes when it holds
          blanks or starts with '#', '@' or '"'; inside quotes \" \\ and \xHH
          (any byte but 00) are escapes.
  FLAGS   the record's 16-bit flags, decimal or 0x hex. Bit 0 (1): the
          signature counts only at offset 0 of a file.
  FIRST   the first pattern in hex, 1 byte or more (e.g. 4d5a9000).
  OFFSET:SECOND
          optional second pattern in hex, at a signed decimal distance from
          the end of the first pattern (e.g. +12:cafe, -6:4142, 0:00).
  crc:OFFSET:LENGTH:VALUE
          optional checksummed-area fields (signed distance from the end of
          the last pattern, length, CRC-32 value in hex); they do not change
          the verdict.

A record must fit in 255 bytes: 22 + first + second + name length.
Blank lines are ignored; '#' starts a comment (at the start of a line or of a
token). Two optional lines set the database's own fields:

  @version MAJOR.MINOR     the version pair (default 1.0; the program reads major 1 only)
  @header TEXT             the text header (the rest of the line)

Example:

  @version 1.3
  Test.Anchored   1  4d5a5a5a5a                # only at the start of a file
  Test.TwoParts   0  6a6b6c6d6e6f7071 +4:7a7a7a
  "Test Quoted"   0  cafebabe00 crc:0:16:1234abcd
)";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseHex(const std::string& text, std::vector<uint8_t>& out) {
    out.clear();
    if (text.empty() || text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// Decimal, or hex after "0x" when no base is given (no octal surprises).
bool parseUnsigned(const std::string& text, uint64_t max, uint64_t& value, int base = 0) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || isBlank(text[0])) return false;
    std::string digits = text;
    if (base == 0) {
        base = 10;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            digits = digits.substr(2);
            base = 16;
        }
    }
    if (digits.empty() || digits[0] == '-' || digits[0] == '+' || isBlank(digits[0])) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(digits.c_str(), &end, base);
    if (errno != 0 || end == digits.c_str() || *end != 0 || v > max) return false;
    value = v;
    return true;
}

bool parseSigned32(const std::string& text, int32_t& value) {
    if (text.empty() || isBlank(text[0])) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != 0 || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

// Splits a record line into tokens; a quoted token keeps its blanks and has
// its escapes resolved. A token that starts with '#' ends the line.
bool tokenize(const std::string& line, std::vector<std::string>& tokens, std::string& error) {
    tokens.clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string token;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    token += c;
                    continue;
                }
                if (i >= line.size()) break;
                const char e = line[i++];
                if (e == '"' || e == '\\') {
                    token += e;
                } else if (e == 'x' && i + 1 < line.size() && hexValue(line[i]) >= 0 && hexValue(line[i + 1]) >= 0) {
                    const int v = hexValue(line[i]) * 16 + hexValue(line[i + 1]);
                    i += 2;
                    if (v == 0) {
                        error = "a name cannot hold the byte 00";
                        return false;
                    }
                    token += static_cast<char>(v);
                } else {
                    error = std::string("unknown escape \\") + e + " in a quoted name";
                    return false;
                }
            }
            if (!closed) {
                error = "a quoted name is not closed";
                return false;
            }
            if (i < line.size() && !isBlank(line[i])) {
                error = "a blank must follow a quoted name";
                return false;
            }
        } else {
            while (i < line.size() && !isBlank(line[i])) token += line[i++];
        }
        tokens.push_back(token);
    }
    return true;
}

bool parseRecord(const std::vector<std::string>& tokens, Signature& sig, std::string& error) {
    if (tokens.size() < 3) {
        error = "a record needs at least a name, flags and a first pattern";
        return false;
    }
    sig.name = tokens[0];
    if (sig.name.empty()) {
        error = "empty name";
        return false;
    }
    uint64_t flags = 0;
    if (!parseUnsigned(tokens[1], 0xFFFF, flags)) {
        error = "flags '" + tokens[1] + "' are not a number from 0 to 65535";
        return false;
    }
    sig.flags = static_cast<uint16_t>(flags);
    if (!parseHex(tokens[2], sig.first)) {
        error = "first pattern '" + tokens[2] + "' is not an even number of hex digits";
        return false;
    }
    bool haveSecond = false, haveCrc = false;
    for (size_t t = 3; t < tokens.size(); ++t) {
        const std::string& token = tokens[t];
        if (token.rfind("crc:", 0) == 0) {
            if (haveCrc) {
                error = "two checksummed areas";
                return false;
            }
            haveCrc = true;
            const std::string rest = token.substr(4);
            const size_t a = rest.find(':');
            const size_t b = a == std::string::npos ? a : rest.find(':', a + 1);
            uint64_t length = 0, value = 0;
            std::string valueText = b == std::string::npos ? "" : rest.substr(b + 1);
            if (valueText.rfind("0x", 0) == 0 || valueText.rfind("0X", 0) == 0) valueText = valueText.substr(2);
            if (b == std::string::npos || !parseSigned32(rest.substr(0, a), sig.crcAreaOffset) ||
                !parseUnsigned(rest.substr(a + 1, b - a - 1), UINT32_MAX, length, 10) ||
                !parseUnsigned(valueText, UINT32_MAX, value, 16)) {
                error = "'" + token + "' is not crc:OFFSET:LENGTH:VALUE (signed decimal, decimal, hex)";
                return false;
            }
            sig.crcAreaLength = static_cast<uint32_t>(length);
            sig.crcAreaValue = static_cast<uint32_t>(value);
            continue;
        }
        const size_t colon = token.find(':');
        if (colon == std::string::npos) {
            error = "unexpected '" + token + "' (expected OFFSET:SECOND or crc:OFFSET:LENGTH:VALUE)";
            return false;
        }
        if (haveSecond) {
            error = "two second patterns";
            return false;
        }
        haveSecond = true;
        if (!parseSigned32(token.substr(0, colon), sig.secondOffset)) {
            error = "second pattern offset '" + token.substr(0, colon) + "' is not a signed 32-bit number";
            return false;
        }
        if (!parseHex(token.substr(colon + 1), sig.second)) {
            error = "second pattern '" + token.substr(colon + 1) + "' is not an even number of hex digits";
            return false;
        }
    }
    return true;
}

bool parseDirective(const std::string& line, SignatureList& list, bool& sawVersion, bool& sawHeader,
                    std::string& error) {
    size_t i = 0;
    while (i < line.size() && isBlank(line[i])) ++i;
    size_t end = i;
    while (end < line.size() && !isBlank(line[end])) ++end;
    const std::string word = line.substr(i, end - i);
    size_t rest = end;
    while (rest < line.size() && isBlank(line[rest])) ++rest;
    std::string value = line.substr(rest);
    while (!value.empty() && isBlank(value.back())) value.pop_back();
    if (word == "@version") {
        if (sawVersion) {
            error = "a second @version line";
            return false;
        }
        sawVersion = true;
        const size_t dot = value.find('.');
        uint64_t major = 0, minor = 0;
        if (dot == std::string::npos || !parseUnsigned(value.substr(0, dot), 0xFFFF, major, 10) ||
            !parseUnsigned(value.substr(dot + 1), 0xFFFF, minor, 10)) {
            error = "'" + value + "' is not a version MAJOR.MINOR (each 0 to 65535)";
            return false;
        }
        list.versionMajor = static_cast<uint16_t>(major);
        list.versionMinor = static_cast<uint16_t>(minor);
        return true;
    }
    if (word == "@header") {
        if (sawHeader) {
            error = "a second @header line";
            return false;
        }
        sawHeader = true;
        list.header = value;
        return true;
    }
    error = "unknown directive '" + word + "' (@version, @header)";
    return false;
}

bool needsQuotes(const std::string& name) {
    if (name.empty() || name[0] == '#' || name[0] == '@' || name[0] == '"') return true;
    for (unsigned char c : name) {
        if (c <= 0x20 || c >= 0x7F || c == '\\' || c == '"') return true;
    }
    return false;
}

std::string quoteName(const std::string& name) {
    if (!needsQuotes(name)) return name;
    static const char* kDigits = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : name) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char* kDigits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

const char* signatureListHelp() { return kHelp; }

Status signatureListParse(const std::string& text, SignatureList& list, std::string& error) {
    list = SignatureList{};
    bool sawVersion = false, sawHeader = false;
    size_t start = 0;
    for (unsigned lineNumber = 1; start <= text.size(); ++lineNumber) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        std::string reason;
        size_t first = 0;
        while (first < line.size() && isBlank(line[first])) ++first;
        if (first < line.size() && line[first] == '@') {
            if (!parseDirective(line, list, sawVersion, sawHeader, reason)) {
                error = "line " + std::to_string(lineNumber) + ": " + reason;
                return kStatusBadArgument;
            }
            continue;
        }
        std::vector<std::string> tokens;
        if (!tokenize(line, tokens, reason)) {
            error = "line " + std::to_string(lineNumber) + ": " + reason;
            return kStatusBadArgument;
        }
        if (tokens.empty()) continue;
        Signature sig;
        std::vector<uint8_t> encoded;
        if (!parseRecord(tokens, sig, reason) || signatureEncode(sig, encoded, reason) != kStatusOk) {
            error = "line " + std::to_string(lineNumber) + ": " + reason;
            return kStatusBadArgument;
        }
        sig.line = lineNumber;
        list.signatures.push_back(sig);
    }
    return kStatusOk;
}

std::string signatureListFormat(const SignatureList& list, uint32_t recordCount) {
    std::string out = "# zerbinpda.vps: version " + std::to_string(list.versionMajor) + "." +
                      std::to_string(list.versionMinor) + ", " + std::to_string(recordCount) + " records\n";
    out += "@version " + std::to_string(list.versionMajor) + "." + std::to_string(list.versionMinor) + "\n";
    out += "@header " + list.header + "\n";
    for (const Signature& sig : list.signatures) {
        out += quoteName(sig.name) + " " + std::to_string(sig.flags) + " " + hex(sig.first);
        if (!sig.second.empty()) {
            out += " ";
            if (sig.secondOffset >= 0) out += "+";
            out += std::to_string(sig.secondOffset) + ":" + hex(sig.second);
        }
        if (sig.crcAreaOffset != 0 || sig.crcAreaLength != 0 || sig.crcAreaValue != 0) {
            char value[16];
            std::snprintf(value, sizeof value, "%08x", static_cast<unsigned>(sig.crcAreaValue));
            out += " crc:" + std::to_string(sig.crcAreaOffset) + ":" + std::to_string(sig.crcAreaLength) + ":" + value;
        }
        out += "\n";
    }
    return out;
}

Status signatureEncode(const Signature& sig, std::vector<uint8_t>& out, std::string& error) {
    if (sig.first.empty()) {
        error = "empty first pattern";
        return kStatusBadArgument;
    }
    if (sig.name.find('\0') != std::string::npos) {
        error = "a name cannot hold the byte 00";
        return kStatusBadArgument;
    }
    const size_t length = kVpsRecordFixedLength + sig.first.size() + sig.second.size() + sig.name.size() + 1;
    if (length > kVpsRecordMaxLength) {
        error = "record of " + std::to_string(length) + " bytes does not fit in " +
                std::to_string(kVpsRecordMaxLength) + " (22 + first + second + name)";
        return kStatusBadArgument;
    }
    out.push_back(static_cast<uint8_t>(length));
    put16(out, sig.flags);
    out.push_back(static_cast<uint8_t>(sig.first.size()));
    out.insert(out.end(), sig.first.begin(), sig.first.end());
    put32(out, sig.second.empty() ? 0u : static_cast<uint32_t>(sig.secondOffset));
    out.push_back(static_cast<uint8_t>(sig.second.size()));
    out.insert(out.end(), sig.second.begin(), sig.second.end());
    put32(out, static_cast<uint32_t>(sig.crcAreaOffset));
    put32(out, sig.crcAreaLength);
    put32(out, sig.crcAreaValue);
    out.insert(out.end(), sig.name.begin(), sig.name.end());
    out.push_back(0);
    return kStatusOk;
}

Signature signatureFromRecord(const VpsRecord& record) {
    Signature sig;
    sig.name = record.name;
    sig.flags = record.flags;
    sig.first.assign(record.first, record.first + record.firstLength);
    sig.secondOffset = record.secondOffset;
    sig.second.assign(record.second, record.second + record.secondLength);
    sig.crcAreaOffset = record.crcAreaOffset;
    sig.crcAreaLength = record.crcAreaLength;
    sig.crcAreaValue = record.crcAreaValue;
    return sig;
}

std::vector<uint8_t> vpsImageFromArea(const std::string& header, uint16_t major, uint16_t minor,
                                      const std::vector<uint8_t>& area) {
    std::vector<uint8_t> image(header.begin(), header.end());
    image.push_back(0);
    put16(image, major);
    put16(image, minor);
    const size_t crcAt = image.size();
    put32(image, 0);
    const size_t payload = image.size();
    image.resize(payload + area.size());
    vpsDescramble(area.data(), image.data() + payload, area.size());
    const uint32_t crc = crc32(image.data(), image.size(), 0);
    for (int i = 0; i < 4; ++i) image[crcAt + i] = static_cast<uint8_t>(crc >> (8 * i));
    return image;
}

Status vpsImageBuild(const SignatureList& list, std::vector<uint8_t>& image, std::string& error) {
    if (list.header.find('\0') != std::string::npos) {
        error = "the header text cannot hold the byte 00";
        return kStatusBadArgument;
    }
    std::vector<uint8_t> area;
    for (size_t i = 0; i < list.signatures.size(); ++i) {
        std::string reason;
        if (signatureEncode(list.signatures[i], area, reason) != kStatusOk) {
            error = "record " + std::to_string(i + 1) + ": " + reason;
            return kStatusBadArgument;
        }
    }
    image = vpsImageFromArea(list.header, list.versionMajor, list.versionMinor, area);
    return kStatusOk;
}

std::vector<uint8_t> signatureSample(const Signature& sig) {
    const int64_t n = static_cast<int64_t>(sig.first.size());
    const int64_t m = static_cast<int64_t>(sig.second.size());
    int64_t p = 0;
    int64_t s = 0;
    if (m != 0) {
        s = n + sig.secondOffset;  // relative to p
        if (s < 0) p = -s;
        s += p;
    }
    int64_t size = p + n;
    if (m != 0 && s + m > size) size = s + m;
    if (size < 8) size = 8;
    std::vector<uint8_t> bytes(static_cast<size_t>(size), ' ');
    // The second pattern first: where the two overlap, the first pattern
    // must win, since it is the one compared first.
    if (m != 0) std::copy(sig.second.begin(), sig.second.end(), bytes.begin() + s);
    std::copy(sig.first.begin(), sig.first.end(), bytes.begin() + p);
    return bytes;
}

SignatureList signaturesSynthetic(uint32_t count, uint32_t seed) {
    SignatureList list;
    list.versionMinor = 1;
    list.header = "synthetic database";
    std::mt19937 random(seed);
    auto below = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    for (uint32_t i = 0; i < count; ++i) {
        Signature sig;
        sig.name = "Synthetic." + std::to_string(i + 1);
        sig.first.resize(8 + below(9));
        for (uint8_t& b : sig.first) b = static_cast<uint8_t>(random());
        if (i % 2 == 1) {
            sig.second.resize(4 + below(9));
            for (uint8_t& b : sig.second) b = static_cast<uint8_t>(random());
            sig.secondOffset = static_cast<int32_t>(below(200)) - 40;
        }
        list.signatures.push_back(sig);
    }
    return list;
}

Status signaturesSlow(const SignatureList& list, std::vector<SlowSignature>& slow) {
    slow.clear();
    std::vector<uint8_t> area;
    std::vector<uint32_t> offsets;
    for (const Signature& sig : list.signatures) {
        std::string reason;
        offsets.push_back(static_cast<uint32_t>(area.size()));
        if (signatureEncode(sig, area, reason) != kStatusOk) return kStatusBadArgument;
    }
    const uint32_t count = static_cast<uint32_t>(list.signatures.size());
    if (count == 0) return kStatusOk;
    std::vector<SearchEntryChoice> choices(count);
    if (searchChooseEntries(area.data(), area.size(), count, choices.data()) != kStatusOk) return kStatusOutOfMemory;

    // The table keys an entry by its first bytes, as many as the shortest
    // entry of its class has (at most 8): records whose entries agree there
    // are looked at together.
    uint32_t byLength[kSearchClassCount];
    for (uint32_t& s : byLength) s = 255;
    for (const SearchEntryChoice& c : choices) {
        uint32_t& s = byLength[searchClassOf(c.length)];
        if (c.length < s) s = c.length;
    }
    const SearchClassMap classes = searchClassMapFor(byLength);
    uint32_t shortest[kSearchClassCount];
    std::copy(byLength, byLength + kSearchClassCount, shortest);
    if (classes.longJoinShort) shortest[3] = std::min(shortest[3], shortest[4]);
    struct Behind {
        uint32_t records = 0;
        std::set<std::tuple<uint32_t, int32_t, uint32_t>> shapes;  // first-pattern length, second's distance and length
    };
    std::map<std::string, Behind> groups;
    std::vector<std::string> keys(count);
    for (uint32_t i = 0; i < count; ++i) {
        const SearchEntryChoice& c = choices[i];
        const uint32_t prefix = std::min<uint32_t>(shortest[classes.of(c.length)], kSearchEntryPartLength);
        const uint8_t* bytes = searchEntryBytes(area.data(), offsets[i], c);
        const bool whole = searchEntryIsWholeFirst(c);
        std::string key(1, static_cast<char>(whole ? 'w' : 'p'));
        key += static_cast<char>(classes.of(c.length));
        key.append(reinterpret_cast<const char*>(bytes), std::min<uint32_t>(prefix, c.length));
        Behind& behind = groups[key];
        ++behind.records;
        const Signature& sig = list.signatures[i];
        behind.shapes.insert({static_cast<uint32_t>(sig.first.size()), sig.second.empty() ? 0 : sig.secondOffset,
                              static_cast<uint32_t>(sig.second.size())});
        keys[i] = key;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const SearchEntryChoice& c = choices[i];
        const Signature& sig = list.signatures[i];
        // A record that its whole key matches in full, with nothing more to
        // compare, ends the search where it is found.
        if (searchEntryIsWholeFirst(c) && sig.second.empty() && (sig.flags & kVpsFlagAnchored) == 0 &&
            sig.first.size() <= static_cast<size_t>(std::min<uint32_t>(shortest[classes.of(c.length)], 8))) {
            continue;
        }
        const Behind& behind = groups[keys[i]];
        // Records found by their whole first pattern are told apart by binary
        // searches per first-pattern length and second-pattern shape; any
        // other entry is followed record by record.
        const uint32_t looked = searchEntryIsWholeFirst(c) ? static_cast<uint32_t>(behind.shapes.size()) : behind.records;
        const uint8_t* bytes = searchEntryBytes(area.data(), offsets[i], c);
        const uint32_t period = searchEntryPeriod(bytes, c.length);
        const double cost = kSignatureCandidateCost * looked / period;
        if (cost <= kSignatureCostBound) continue;
        SlowSignature s;
        s.index = i;
        s.cost = cost;
        s.entry.assign(bytes, bytes + c.length);
        s.sharing = behind.records;
        slow.push_back(s);
    }
    return kStatusOk;
}
