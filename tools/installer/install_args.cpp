#include "tools/installer/install_args.h"

namespace {

bool isSpace(wchar_t c) { return c == L' ' || c == L'\t'; }

size_t length(const wchar_t* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

// True when `text` (of `size` characters) holds `part` anywhere.
bool holds(const wchar_t* text, size_t size, const wchar_t* part) {
    const size_t n = length(part);
    for (size_t at = 0; at + n <= size; ++at) {
        size_t i = 0;
        while (i < n && text[at + i] == part[i]) ++i;
        if (i == n) return true;
    }
    return false;
}

// "@PID FOLDER" or "PID FOLDER" at the start of `line`.
bool parseFrom(const wchar_t* line, InstallArgs* out) {
    bool interactive = false;
    if (*line == L'@') {
        interactive = true;
        ++line;
    }
    uint64_t pid = 0;
    size_t digits = 0;
    while (*line >= L'0' && *line <= L'9') {
        pid = pid * 10 + static_cast<uint64_t>(*line - L'0');
        if (pid > 0xFFFFFFFFull) return false;
        ++line;
        ++digits;
    }
    if (digits == 0 || *line != L' ') return false;
    ++line;
    size_t size = length(line);
    while (size > 0 && (isSpace(line[size - 1]) || line[size - 1] == L'\r' || line[size - 1] == L'\n')) --size;
    // Quotes around the folder are tolerated (a person may add them).
    if (size >= 2 && line[0] == L'"' && line[size - 1] == L'"') {
        ++line;
        size -= 2;
    }
    if (size < 2 || size + 2 > kInstallFolderCapacity) return false;
    wchar_t folder[kInstallFolderCapacity];
    for (size_t i = 0; i < size; ++i) folder[i] = line[i] == L'/' ? L'\\' : line[i];
    const bool drive = size >= 3 && folder[1] == L':' && folder[2] == L'\\';
    if (!drive && folder[0] != L'\\') return false;
    if (folder[size - 1] != L'\\') folder[size++] = L'\\';
    folder[size] = 0;
    // The program folder: the temporary folder's parent.
    size_t last = size - 1;
    while (last > 0 && folder[last - 1] != L'\\') --last;
    if (last == 0) return false;
    --last;  // the backslash before the temporary folder's name
    const wchar_t* name = folder + last + 1;
    const size_t nameLength = size - 2 - last;
    if (nameLength == 0 || (nameLength == 1 && name[0] == L'.') ||
        (nameLength == 2 && name[0] == L'.' && name[1] == L'.')) {
        return false;
    }
    if (holds(folder, size, L"\\..\\") || holds(folder, size, L"\\.\\")) return false;
    out->interactive = interactive;
    out->starterPid = static_cast<uint32_t>(pid);
    for (size_t i = 0; i <= size; ++i) out->tempFolder[i] = folder[i];
    for (size_t i = 0; i <= last; ++i) out->programFolder[i] = folder[i];
    out->programFolder[last + 1] = 0;
    return true;
}

}  // namespace

bool parseInstallArgs(const wchar_t* commandLine, InstallArgs* out) {
    const wchar_t* at = commandLine;
    while (isSpace(*at)) ++at;
    if (parseFrom(at, out)) return true;
    // Skip the program's own name (quoted or not) and try once more.
    if (*at == L'"') {
        ++at;
        while (*at && *at != L'"') ++at;
        if (*at != L'"') return false;
        ++at;
    } else {
        while (*at && !isSpace(*at)) ++at;
    }
    while (isSpace(*at)) ++at;
    return parseFrom(at, out);
}
