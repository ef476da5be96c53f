// zbfontfix IN.ttf OUT.ttf: prepares a TrueType font for the device. Handheld
// fonts declare as their average character width (OS/2 xAvgCharWidth) the
// weighted average of the lower-case letters and the blank; newer fonts declare
// the average over all glyphs, which is much wider and would make every layout
// computed from tmAveCharWidth too wide for a handheld's screen. The tool
// rewrites that one field (and the checksums) and leaves the glyphs alone.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

uint16_t be16(const Bytes& d, size_t o) { return o + 2 <= d.size() ? uint16_t(d[o] << 8 | d[o + 1]) : 0; }
uint32_t be32(const Bytes& d, size_t o) { return uint32_t(be16(d, o)) << 16 | be16(d, o + 2); }
void put16(Bytes& d, size_t o, uint16_t v) { d[o] = uint8_t(v >> 8); d[o + 1] = uint8_t(v); }
void put32(Bytes& d, size_t o, uint32_t v) { put16(d, o, uint16_t(v >> 16)); put16(d, o + 2, uint16_t(v)); }

struct Table {
    size_t record, offset, length;
};

uint32_t checksum(const Bytes& d, size_t offset, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i < (length + 3) / 4; ++i) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k) {
            size_t o = offset + i * 4 + k;
            word = word << 8 | (o < offset + length && o < d.size() ? d[o] : 0);
        }
        sum += word;
    }
    return sum;
}

// Glyph index of a character through the Windows Unicode cmap (format 4).
uint16_t glyphOf(const Bytes& d, size_t sub, uint16_t c) {
    uint16_t segX2 = be16(d, sub + 6);
    size_t ends = sub + 14, starts = ends + segX2 + 2, deltas = starts + segX2, ranges = deltas + segX2;
    for (size_t i = 0; i < segX2 / 2u; ++i) {
        if (c > be16(d, ends + 2 * i) || c < be16(d, starts + 2 * i)) continue;
        uint16_t delta = be16(d, deltas + 2 * i), range = be16(d, ranges + 2 * i);
        if (range == 0) return uint16_t(c + delta);
        uint16_t g = be16(d, ranges + 2 * i + range + 2 * (c - be16(d, starts + 2 * i)));
        return g ? uint16_t(g + delta) : 0;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zbfontfix IN.ttf OUT.ttf\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    Bytes d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::map<uint32_t, Table> tables;
    uint16_t count = be16(d, 4);
    for (size_t i = 0; i < count; ++i) {
        size_t r = 12 + 16 * i;
        if (r + 16 > d.size()) break;
        tables[be32(d, r)] = Table{r, be32(d, r + 8), be32(d, r + 12)};
    }
    auto tag = [](const char* s) { return uint32_t(s[0]) << 24 | uint32_t(s[1]) << 16 | uint32_t(s[2]) << 8 | uint32_t(s[3]); };
    for (const char* need : {"head", "hhea", "hmtx", "cmap", "OS/2"}) {
        if (!tables.count(tag(need)) || tables[tag(need)].offset + tables[tag(need)].length > d.size()) {
            std::fprintf(stderr, "zbfontfix: %s: no usable %s table\n", argv[1], need);
            return 1;
        }
    }
    const Table &head = tables[tag("head")], &hmtx = tables[tag("hmtx")], &cmap = tables[tag("cmap")], &os2 = tables[tag("OS/2")];
    uint16_t metrics = be16(d, tables[tag("hhea")].offset + 34);
    size_t sub = 0;
    for (size_t i = 0; i < be16(d, cmap.offset + 2); ++i) {
        size_t e = cmap.offset + 4 + 8 * i;
        if (be16(d, e) == 3 && be16(d, e + 2) == 1) sub = cmap.offset + be32(d, e + 4);
    }
    if (!sub || be16(d, sub) != 4 || metrics == 0) {
        std::fprintf(stderr, "zbfontfix: %s: no Windows Unicode character map\n", argv[1]);
        return 1;
    }
    // Letter frequencies per thousand, the classic weighting of xAvgCharWidth.
    static const int weights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20, 56,
                                    56, 17, 4, 49, 56, 71, 31, 10, 18, 3, 18, 2, 166};
    long total = 0;
    for (int i = 0; i < 27; ++i) {
        uint16_t g = glyphOf(d, sub, i < 26 ? uint16_t('a' + i) : uint16_t(' '));
        if (g >= metrics) g = uint16_t(metrics - 1);
        total += long(be16(d, hmtx.offset + 4u * g)) * weights[i];
    }
    put16(d, os2.offset + 2, uint16_t((total + 500) / 1000));

    put32(d, os2.record + 4, checksum(d, os2.offset, os2.length));
    put32(d, head.offset + 8, 0);
    put32(d, head.record + 4, checksum(d, head.offset, head.length));
    put32(d, head.offset + 8, 0xB1B0AFBAu - checksum(d, 0, d.size()));

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
    return out ? 0 : 1;
}
