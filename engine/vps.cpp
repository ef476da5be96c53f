#include "engine/vps.h"

#include <cstdlib>
#include <cwchar>

#include "engine/fileio.h"

VpsDatabase g_vps;

namespace {

constexpr wchar_t kDatabaseName[] = L"zerbinpda.vps";

// Owns the file image for the length of the load.
struct ImageBuffer {
    uint8_t* bytes = nullptr;
    ~ImageBuffer() { std::free(bytes); }
};

}  // namespace

Status vpsLoadFile(const wchar_t* path) {
    vpsRelease(g_vps);  // a failed load leaves nothing loaded, a second one no leak
    if (path == nullptr || path[0] == 0) return kStatusBadArgument;

    FileHandle file;
    Status status = file.open(path, kFileRead);
    if (status != kStatusOk) return status == ERROR_FILE_NOT_FOUND ? kStatusVpsNotFound : status;

    const uint64_t size = fileSize(file.get());
    // The image is read with one call of at most 4 GiB; a larger file (or an
    // unknown size) cannot be held, as an allocation failure.
    if (size > UINT32_MAX) return kStatusOutOfMemory;
    ImageBuffer image;
    image.bytes = static_cast<uint8_t*>(std::malloc(size == 0 ? 1 : static_cast<size_t>(size)));
    if (image.bytes == nullptr) return kStatusOutOfMemory;
    status = fileRead(file.get(), image.bytes, static_cast<uint32_t>(size), nullptr);
    if (status != kStatusOk) return status;

    VpsDatabase loaded;
    status = vpsParseImage(image.bytes, size, loaded);
    g_vps = loaded;  // the versions are kept also when the file proves corrupted
    return status;
}

Status vpsLoad() {
    wchar_t path[kModuleDirectoryCapacity + 16];
    const Status status = moduleDirectory(path);
    if (status != kStatusOk) {
        vpsRelease(g_vps);
        return status;
    }
    const size_t length = wcslen(path);
    path[length] = L'\\';
    wcscpy(path + length + 1, kDatabaseName);
    return vpsLoadFile(path);
}

Status vpsFree() {
    vpsRelease(g_vps);
    return kStatusOk;
}
