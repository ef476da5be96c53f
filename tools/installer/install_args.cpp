#include "tools/installer/install_args.h"

namespace {

bool isSpace(wchar_t c) { return c == L' ' || c == L'\t'; }

// "@PID FOLDER" or "PID FOLDER" at the start of `line`.
bool parseFrom(const std::wstring& line, size_t at, InstallArgs* out) {
    InstallArgs a;
    if (at < line.size() && line[at] == L'@') {
        a.interactive = true;
        ++at;
    }
    uint64_t pid = 0;
    size_t digits = 0;
    while (at < line.size() && line[at] >= L'0' && line[at] <= L'9') {
        pid = pid * 10 + static_cast<uint64_t>(line[at] - L'0');
        if (pid > 0xFFFFFFFFull) return false;
        ++at;
        ++digits;
    }
    if (digits == 0 || at >= line.size() || line[at] != L' ') return false;
    ++at;
    std::wstring folder = line.substr(at);
    while (!folder.empty() && (isSpace(folder.back()) || folder.back() == L'\r' || folder.back() == L'\n'))
        folder.pop_back();
    // Quotes around the folder are tolerated (a person may add them).
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') folder = folder.substr(1, folder.size() - 2);
    if (folder.size() < 2) return false;
    for (wchar_t& c : folder) {
        if (c == L'/') c = L'\\';
    }
    const bool drive = folder.size() >= 3 && folder[1] == L':' && folder[2] == L'\\';
    if (!drive && folder[0] != L'\\') return false;
    if (folder.back() != L'\\') folder.push_back(L'\\');
    // The program folder: the temporary folder's parent.
    const size_t last = folder.find_last_of(L'\\', folder.size() - 2);
    if (last == std::wstring::npos) return false;
    const std::wstring name = folder.substr(last + 1, folder.size() - 2 - last);
    if (name.empty() || name == L"." || name == L"..") return false;
    if (folder.find(L"\\..\\") != std::wstring::npos || folder.find(L"\\.\\") != std::wstring::npos) return false;
    a.starterPid = static_cast<uint32_t>(pid);
    a.tempFolder = folder;
    a.programFolder = folder.substr(0, last + 1);
    *out = a;
    return true;
}

}  // namespace

bool parseInstallArgs(const std::wstring& commandLine, InstallArgs* out) {
    size_t at = 0;
    while (at < commandLine.size() && isSpace(commandLine[at])) ++at;
    if (parseFrom(commandLine, at, out)) return true;
    // Skip the program's own name (quoted or not) and try once more.
    if (at < commandLine.size() && commandLine[at] == L'"') {
        const size_t close = commandLine.find(L'"', at + 1);
        if (close == std::wstring::npos) return false;
        at = close + 1;
    } else {
        while (at < commandLine.size() && !isSpace(commandLine[at])) ++at;
    }
    while (at < commandLine.size() && isSpace(commandLine[at])) ++at;
    return parseFrom(commandLine, at, out);
}
