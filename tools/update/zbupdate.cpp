// The maker's update tool: `zbupdate dump FILE` shows a version file or a
// package as a device reads it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/update/dump.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: zb update dump FILE\n");
    return 2;
}

bool readFile(const char* path, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "dump") != 0) return usage();
    std::vector<uint8_t> bytes;
    if (!readFile(argv[2], bytes)) {
        std::fprintf(stderr, "zb update dump: %s: cannot read the file\n", argv[2]);
        return 1;
    }
    std::string out, error;
    const int result = dumpUpdateFile(bytes, out, error);
    std::fputs(out.c_str(), stdout);
    if (result != 0) std::fprintf(stderr, "zb update dump: %s: %s\n", argv[2], error.c_str());
    return result;
}
