#include "tools/update/dump.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/crc32.h"
#include "update/package.h"
#include "update/update_config.h"

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char text[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

// A name as it can be printed on one line: other bytes as \xNN.
std::string printable(const char* name, uint32_t length) {
    std::string out;
    for (uint32_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += format("\\x%02X", c);
        }
    }
    return out;
}

std::string versionText(uint16_t version) {
    return format("%u (%s the installed %u)", version, packageIsNewer(version) ? "newer than" : "not newer than",
                  kInstalledPackageVersion);
}

}  // namespace

int dumpUpdateFile(const std::vector<uint8_t>& file, std::string& out, std::string& error) {
    const uint32_t size = static_cast<uint32_t>(file.size());
    if (size < kContainerMinimumSize) {
        error = format("%u bytes: too short for an update container (at least %u)", size, kContainerMinimumSize);
        return 1;
    }
    if (std::memcmp(file.data(), "KVXP", 4) != 0) {
        error = "not an update container: it does not begin with \"KVXP\"";
        return 1;
    }
    const uint32_t stored = file[4] | (file[5] << 8) | (file[6] << 16) | (static_cast<uint32_t>(file[7]) << 24);
    const uint32_t computed = crc32(file.data() + kContainerHeaderSize, size - kContainerHeaderSize, 0);
    if (stored != computed) {
        error = format("checksum mismatch: stored 0x%08X, computed 0x%08X", stored, computed);
        return 1;
    }
    std::vector<uint8_t> opened = file;
    containerOpen(opened.data(), size);
    out = format("container: %u bytes, checksum 0x%08X (valid)\n", size, stored);

    if (size == kVersionFileSize) {
        out += "version file: package version " + versionText(containerVersion(opened.data())) + "\n";
        return 0;
    }
    if (size < kPackageMinimumSize) {
        error = format("%u bytes: neither a version file (%u bytes) nor a package (at least %u bytes)", size,
                       kVersionFileSize, kPackageMinimumSize);
        return 1;
    }
    const uint16_t count = packageEntryCount(opened.data());
    out += "package: version " + versionText(containerVersion(opened.data())) + format(", %u entries\n", count);
    if (count == 0) {
        error = "the package has no entries";
        return 1;
    }
    out += "  #  flags       size        name\n";
    PackageWalk walk = packageWalkBegin(opened.data(), size);
    int installer = -1;
    std::string installerName;
    for (uint32_t i = 0; i < count; ++i) {
        PackageEntry entry;
        const EntryStatus status = packageWalkNext(walk, entry);
        if (status == EntryStatus::outside) {
            error = format("entry %u (at offset %llu) reaches past the end of the package", i,
                           static_cast<unsigned long long>(walk.next));
            return 1;
        }
        if (status == EntryStatus::unsafeName) {
            // Read the name again for the message: the walk hands out safe names only.
            const char* name = reinterpret_cast<const char*>(opened.data() + walk.next + kEntryHeaderSize);
            error = format("entry %u has the unsafe name \"%s\": it would be written outside the temporary folder", i,
                           printable(name, static_cast<uint32_t>(std::strlen(name))).c_str());
            return 1;
        }
        const bool isInstaller = (entry.flags & kEntryFlagInstaller) != 0;
        const std::string name = printable(entry.name, entry.nameLength);
        out += format("  %-2u 0x%08X  %-10u  %s%s\n", i, entry.flags, entry.dataLength, name.c_str(),
                      isInstaller ? "  [installer]" : "");
        if (isInstaller) {
            installer = static_cast<int>(i);
            installerName = name;
        }
    }
    if (walk.next < size) out += format("%llu bytes after the last entry\n", static_cast<unsigned long long>(size - walk.next));
    if (installer < 0) {
        error = "no entry is flagged as the installer: a device would start nothing";
        return 1;
    }
    out += format("installer: entry %d, %s\n", installer, installerName.c_str());
    return 0;
}
