// make_test_package OUT INSTALLER: the package that the device tests of
// signed updates serve and verify, made on the host so that it can be
// signed there with OpenSSL (make_signing_files.sh): package 430 holding a
// small database and INSTALLER, flagged as the installer.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "update/package.h"
#include "update/package_maker.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: make_test_package OUT INSTALLER\n", stderr);
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::vector<uint8_t> installer((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return 1;
    if (installer.empty()) {
        fprintf(stderr, "make_test_package: cannot read %s\n", argv[2]);
        return 1;
    }
    const std::vector<uint8_t> database = {'s', 'i', 'g', 'n', 'e', 'd'};
    const std::vector<uint8_t> package =
        packageFileMake(430, {{"zerbinpda.vps", database, 0}, {"setup.exe", installer, kEntryFlagInstaller}});
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
    out.close();
    return out ? 0 : 1;
}
