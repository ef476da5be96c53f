// zbpublish: the server tree of an update (./zb publish).
//   zbpublish VERSION DATABASE --bin DIR --out DIR [--edition E]... [--database-only] [--sign KEY]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/update/publish.h"
#include "update/update_config.h"

namespace {

constexpr const char* kUsage =
    "usage: zb publish VERSION DATABASE [--out DIR] [--edition EDITION]... [--bin DIR]\n"
    "                  [--database-only] [--sign KEY [--new-key UPDATE.KEY]]\n"
    "           (zbpublish VERSION DATABASE --bin DIR --out DIR [--edition EDITION]... [--sign KEY ...])\n"
    "           the server tree DIR/files/pda/<edition directory>/{version.dat,upgrade.dat} for a\n"
    "           package VERSION (1-65535) holding DATABASE, each edition's zerbin.exe and\n"
    "           zbMonitor.exe from the Windows build DIR, and the installer zbinstall.exe;\n"
    "           every edition unless --edition names some (ppc wm5 hpc sphone). With --sign,\n"
    "           KEY (update-signing.pem of ./zb keygen) signs each upgrade.dat into upgrade.sig\n"
    "           and every package also carries the public key as update.key; --new-key hands\n"
    "           devices another update.key instead (rotating the key with a package signed by the old);\n"
    "           --database-only leaves the programs out: the package holds DATABASE and the installer\n";

int usage() {
    fputs(kUsage, stderr);
    return 2;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

int publish(int argc, char** argv) {
    if (argc < 2) return usage();
    char* end = nullptr;
    const long version = strtol(argv[0], &end, 10);
    if (!*argv[0] || *end || version < 1 || version > 65535) {
        fprintf(stderr, "zb publish: the package version '%s' is not a number from 1 to 65535\n", argv[0]);
        return 2;
    }
    PublishRequest request;
    request.version = static_cast<uint16_t>(version);
    request.databasePath = argv[1];
    std::string bin;
    std::vector<std::string> wanted;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--database-only") {
            request.databaseOnly = true;
            continue;
        }
        if (i + 1 >= argc) return usage();
        if (option == "--bin") {
            bin = argv[++i];
        } else if (option == "--out") {
            request.outputFolder = argv[++i];
        } else if (option == "--edition") {
            wanted.emplace_back(argv[++i]);
        } else if (option == "--sign") {
            request.signingKeyPath = argv[++i];
        } else if (option == "--new-key") {
            request.newKeyPath = argv[++i];
        } else {
            return usage();
        }
    }
    if (bin.empty() || request.outputFolder.empty()) return usage();
    for (const std::string& w : wanted) {
        bool known = false;
        for (const EditionDirectory& e : kEditionDirectories) known = known || w == e.edition;
        if (!known) {
            fprintf(stderr, "zb publish: unknown edition '%s' (ppc wm5 hpc sphone)\n", w.c_str());
            return 2;
        }
    }
    for (const EditionDirectory& e : kEditionDirectories) {
        bool take = wanted.empty();
        for (const std::string& w : wanted) take = take || w == e.edition;
        if (!take) continue;
        PublishEdition edition{e.edition, e.directory, bin + "/" + e.edition + "/zerbin.exe",
                               bin + "/" + e.edition + "/zbMonitor.exe"};
        if (!request.databaseOnly && !exists(edition.monitorPath)) {
            // Builds that make one monitor for every edition keep it beside the editions.
            fprintf(stderr, "zb publish: no %s; the %s package takes %s/zbMonitor.exe\n", edition.monitorPath.c_str(),
                    e.edition, bin.c_str());
            edition.monitorPath = bin + "/zbMonitor.exe";
        }
        request.editions.push_back(edition);
    }
    request.installerPath = bin + "/zbinstall.exe";
    std::string report, error;
    if (!publishTree(request, report, error)) {
        fprintf(stderr, "zb publish: %s\n", error.c_str());
        return 1;
    }
    fputs(report.c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!strcmp(argv[1], "help") || !strcmp(argv[1], "--help"))) {
        fputs(kUsage, stdout);
        return 0;
    }
    return publish(argc - 1, argv + 1);
}
