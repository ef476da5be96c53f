#include "tools/update/publish.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "engine/vps_format.h"
#include "tools/update/program_image.h"
#include "tools/update/signing.h"
#include "update/package.h"
#include "update/package_maker.h"
#include "update/signature.h"
#include "update/update_config.h"

namespace {

bool readFile(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

bool writeFileReplacing(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::filesystem::path beside = path.string() + ".new";
    {
        std::ofstream out(beside, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(beside, ec);
            error = "cannot write " + beside.string();
            return false;
        }
    }
    std::filesystem::rename(beside, path, ec);
    if (ec) {
        std::filesystem::remove(beside, ec);
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// A program that still carries its debug information would cost every device
// several times its size.
bool checkProgram(const std::string& path, const std::vector<uint8_t>& image, std::string& error) {
    std::vector<ProgramSection> sections;
    std::string why;
    if (!programSections(image, sections, why)) {
        error = path + " is no program for the device: " + why;
        return false;
    }
    const std::vector<std::string> debug = programDebugSections(sections);
    if (!debug.empty()) {
        error = path + " carries debug information (" + debug.front() + (debug.size() > 1 ? ", ..." : "") +
                "); publish the release build, whose debug information is in " + fileName(path) + ".debug";
        return false;
    }
    return true;
}

// One line per entry of a package: its size, and a program's budget.
std::string entryLines(const std::vector<PackageFile>& files) {
    std::string out;
    char line[256];
    for (const PackageFile& file : files) {
        const uint32_t budget = programBudget(file.name);
        if (budget != 0) {
            snprintf(line, sizeof line, "         %-14s %9zu bytes (budget %u KB)%s\n", file.name.c_str(),
                     file.data.size(), budget / 1024, file.data.size() > budget ? ": over its budget" : "");
        } else {
            snprintf(line, sizeof line, "         %-14s %9zu bytes\n", file.name.c_str(), file.data.size());
        }
        out += line;
    }
    return out;
}

}  // namespace

bool publishTree(const PublishRequest& request, std::string& report, std::string& error) {
    if (request.version == 0) {
        error = "the package version must be a number from 1 to 65535";
        return false;
    }
    if (request.editions.empty()) {
        error = "no edition to publish";
        return false;
    }
    std::vector<uint8_t> database, installer;
    if (!readFile(request.databasePath, database, error) || !readFile(request.installerPath, installer, error)) {
        return false;
    }
    // A database the program would refuse would leave every device that
    // installs it without signatures.
    VpsDatabase db;
    const Status loaded = vpsParseImage(database.data(), database.size(), db);
    const uint16_t major = db.versionMajor, minor = db.versionMinor;
    const uint32_t records = db.recordCount;
    vpsRelease(db);
    if (loaded != 0) {
        error = request.databasePath + " is no database the program loads (status " + std::to_string(loaded) + ")";
        return false;
    }
    if (installer.empty()) {
        error = request.installerPath + " is empty";
        return false;
    }
    if (!checkProgram(request.installerPath, installer, error)) return false;
    SigningKey key;
    std::vector<uint8_t> publicKey;
    const bool sign = !request.signingKeyPath.empty();
    if (sign && (!signingKeyLoad(request.signingKeyPath, key, error) || !signingPublicKeyBlob(key, publicKey, error))) {
        return false;
    }
    if (!request.newKeyPath.empty()) {
        // A package signed with the key devices hold can hand them the next one.
        if (!sign) {
            error = "a new key is handed to devices only by a signed package (--sign)";
            return false;
        }
        if (!readFile(request.newKeyPath, publicKey, error)) return false;
        if (publicKeyBlobModulusSize(publicKey.data(), publicKey.size()) == 0) {
            error = request.newKeyPath + " is no key file devices take (an update.key of ./zb keygen)";
            return false;
        }
    }

    std::vector<std::vector<PackageFile>> packages;
    for (const PublishEdition& e : request.editions) {
        std::vector<PackageFile> files;
        files.push_back({"zerbinpda.vps", database, 0});
        if (!request.databaseOnly) {
            PackageFile zerbin{"zerbin.exe", {}, 0}, monitor{"zbMonitor.exe", {}, 0};
            if (!readFile(e.zerbinPath, zerbin.data, error) || !readFile(e.monitorPath, monitor.data, error)) {
                return false;
            }
            if (zerbin.data.empty() || monitor.data.empty()) {
                error = "an empty program for the " + e.edition + " edition";
                return false;
            }
            if (!checkProgram(e.zerbinPath, zerbin.data, error) || !checkProgram(e.monitorPath, monitor.data, error)) {
                return false;
            }
            files.push_back(std::move(zerbin));
            files.push_back(std::move(monitor));
        }
        if (sign) files.push_back({kPublicKeyFile, publicKey, 0});
        files.push_back(packageRecordEntry(request.version));
        files.push_back({fileName(request.installerPath), installer, kEntryFlagInstaller});
        packages.push_back(std::move(files));
    }

    char line[512];
    snprintf(line, sizeof line, "database %s: release %u.%u, %u records\n", request.databasePath.c_str(), major, minor,
             records);
    report += line;
    for (size_t i = 0; i < request.editions.size(); ++i) {
        const PublishEdition& e = request.editions[i];
        const std::filesystem::path folder = std::filesystem::path(request.outputFolder) / "files" / "pda" / e.directory;
        const std::vector<uint8_t> upgrade = packageFileMake(request.version, packages[i]);
        if (upgrade.size() > 0xFFFFFFFFull) {
            error = "the package of the " + e.edition + " edition is over 4 GiB";
            return false;
        }
        std::vector<uint8_t> signature;
        if (sign && !signingSign(key, upgrade, signature, error)) return false;
        if (!sign) {
            // An older package's signature would not match this one: devices
            // with a key refuse it either way, and the tree says what it is.
            std::error_code ec;
            std::filesystem::remove(folder / "upgrade.sig", ec);
        }
        if (!writeFileReplacing(folder / "upgrade.dat", upgrade, error)) return false;
        if (sign && !writeFileReplacing(folder / "upgrade.sig", signature, error)) return false;
        if (!writeFileReplacing(folder / "version.dat", versionFileMake(request.version), error)) return false;
        snprintf(line, sizeof line, "%-6s %s/upgrade.dat: package %u%s, %zu files, %zu bytes%s\n", e.edition.c_str(),
                 folder.string().c_str(), request.version, request.databaseOnly ? " (database only)" : "",
                 packages[i].size(), upgrade.size(), sign ? ", signed (upgrade.sig)" : "");
        report += line;
        report += entryLines(packages[i]);
    }
    if (request.version <= kInstalledPackageVersion) {
        snprintf(line, sizeof line, "note: devices of package %u take only packages above it\n",
                 kInstalledPackageVersion);
        report += line;
    }
    return true;
}

