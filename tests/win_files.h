#pragma once
// Files and folders for the tests that run on the device.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testfiles {

// Removes a folder with everything below it, read-only files too; a
// trailing backslash is allowed. What cannot be removed stays.
inline void removeTree(std::wstring folder) {
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring entry = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(entry);
            } else {
                SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(entry.c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// The whole file, or nothing when it cannot be opened; readable while another
// process still writes it.
inline std::vector<uint8_t> readBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    DWORD size = GetFileSize(file, nullptr), read = 0;
    bytes.resize(size);
    if (size) ReadFile(file, bytes.data(), size, &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

// The names of the files (not the folders) in a folder; a trailing backslash
// is allowed.
inline std::vector<std::wstring> filesIn(std::wstring folder) {
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

}  // namespace testfiles
