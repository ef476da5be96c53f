// The device must keep every program inside it: its root "\" is C:, no other
// drive exists, and no folder of the device leads out to a host folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Walks a device folder and fails on any entry that is a link to elsewhere.
void expectNoLinksBelow(const std::wstring& folder, int& visited) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        ++visited;
        EXPECT_FALSE(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) << "link in the device: " << std::string(name.begin(), name.end());
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) expectNoLinksBelow(folder + name + L"\\", visited);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

TEST(DeviceTest, RootIsDriveCAndWorkingFolderIsTheRoot) {
    wchar_t cwd[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, cwd), 0u);
    EXPECT_STREQ(cwd, L"C:\\");
    EXPECT_NE(GetFileAttributesW(L"\\Program Files"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(L"\\Storage Card"), INVALID_FILE_ATTRIBUTES);
}

TEST(DeviceTest, OnlyDriveCExists) {
    DWORD drives = GetLogicalDrives();
    EXPECT_EQ(drives, 1u << 2) << "drive mask " << drives;
    EXPECT_EQ(GetFileAttributesW(L"Z:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(L"Z:\\etc\\passwd"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(L"C:\\..\\..\\..\\etc\\passwd"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(L"\\..\\..\\etc\\passwd"), INVALID_FILE_ATTRIBUTES);
}

TEST(DeviceTest, NoFolderOfTheDeviceLeadsToTheHost) {
    int visited = 0;
    expectNoLinksBelow(L"\\", visited);
    EXPECT_GT(visited, 100);
    // The folders that Wine links to the host's home are plain folders here.
    wchar_t profile[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    ASSERT_GT(n, 0u);
    for (const wchar_t* sub : {L"\\Desktop", L"\\Documents", L"\\Downloads", L"\\Music", L"\\Pictures", L"\\Videos"}) {
        std::wstring path = std::wstring(profile) + sub;
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        EXPECT_FALSE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        EXPECT_EQ(GetFileAttributesW((path + L"\\.bashrc").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

}  // namespace
