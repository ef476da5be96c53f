#pragma once
// Folder clean-up for the tests that run on the device.
#include <windows.h>

#include <string>

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

}  // namespace testfiles
