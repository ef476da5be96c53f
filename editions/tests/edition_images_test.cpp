// The four executables as built: each declares the oldest platform version it
// runs on, and none imports a library that its edition binds at run time or
// does not bind at all (the Handheld PC's has no shell library to import from).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
    std::vector<uint8_t> bytes;
    const IMAGE_NT_HEADERS* nt = nullptr;
};

// The executable carried as resource `name` (see CMakeLists.txt).
Image load(const wchar_t* name) {
    Image image;
    HRSRC found = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10));
    if (!found) return image;
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    image.bytes.assign(data, data + SizeofResource(nullptr, found));
    if (image.bytes.size() < sizeof(IMAGE_DOS_HEADER)) return image;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.bytes.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || size_t(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS) > image.bytes.size()) {
        return image;
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.bytes.data() + dos->e_lfanew);
    if (nt->Signature == IMAGE_NT_SIGNATURE) image.nt = nt;
    return image;
}

// File offset of a relative virtual address, or 0 when no section holds it.
size_t offsetOf(const Image& image, DWORD rva) {
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(image.nt);
    for (WORD i = 0; i < image.nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->SizeOfRawData) {
            return section->PointerToRawData + (rva - section->VirtualAddress);
        }
    }
    return 0;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The names of the libraries the image imports from, in lower case.
std::vector<std::string> importedLibraries(const Image& image) {
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY& directory = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return names;
    size_t at = offsetOf(image, directory.VirtualAddress);
    while (at != 0 && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.bytes.size()) {
        const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.bytes.data() + at);
        if (entry->Name == 0) break;
        size_t name = offsetOf(image, entry->Name);
        if (name == 0 || name >= image.bytes.size()) break;
        const char* text = reinterpret_cast<const char*>(image.bytes.data() + name);
        names.push_back(lower(std::string(text, strnlen(text, image.bytes.size() - name))));
        at += sizeof(IMAGE_IMPORT_DESCRIPTOR);
    }
    return names;
}

struct EditionImage {
    const char* name;
    const wchar_t* resource;
    WORD osMajor, osMinor;
};

constexpr EditionImage kEditions[] = {
    {"ppc", L"ZERBIN_PPC", 3, 0},
    {"wm5", L"ZERBIN_WM5", 3, 0},
    {"hpc", L"ZERBIN_HPC", 2, 11},
    {"sphone", L"ZERBIN_SPHONE", 4, 20},
};

TEST(EditionImages, EachDeclaresItsOldestPlatformVersion) {
    for (const EditionImage& edition : kEditions) {
        SCOPED_TRACE(edition.name);
        Image image = load(edition.resource);
        ASSERT_NE(image.nt, nullptr) << "no executable image";
        const auto& header = image.nt->OptionalHeader;
        EXPECT_EQ(header.MajorOperatingSystemVersion, edition.osMajor);
        EXPECT_EQ(header.MinorOperatingSystemVersion, edition.osMinor);
        EXPECT_EQ(header.MajorSubsystemVersion, edition.osMajor);
        EXPECT_EQ(header.MinorSubsystemVersion, edition.osMinor);
        EXPECT_EQ(header.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    }
}

TEST(EditionImages, OptionalLibrariesAreNeverImported) {
    for (const EditionImage& edition : kEditions) {
        Image image = load(edition.resource);
        ASSERT_NE(image.nt, nullptr);
        std::vector<std::string> libraries = importedLibraries(image);
        // The program imports at least the platform's kernel: the table was read.
        EXPECT_NE(std::find(libraries.begin(), libraries.end(), "kernel32.dll"), libraries.end());
        for (const char* optional : {"aygshell.dll", "cellcore.dll", "wininet.dll"}) {
            EXPECT_EQ(std::find(libraries.begin(), libraries.end(), optional), libraries.end())
                << optional << " imported by the " << edition.name << " edition";
        }
    }
}

}  // namespace
