#pragma once
// The installer's command line, as the program that unpacked the package
// starts it: "@PID FOLDER" (interactive: restart zerbin) or "PID FOLDER"
// (unattended: restart the monitor). FOLDER is the temporary folder with its
// trailing backslash, taken as it is (it may hold spaces). Platform-free, and
// free of the C++ library's strings: the installer travels in every package.
#include <cstddef>
#include <cstdint>

// Longest folder the installer takes, in characters with the terminating zero.
constexpr size_t kInstallFolderCapacity = 512;

struct InstallArgs {
    bool interactive = false;  // the line began with "@"
    uint32_t starterPid = 0;   // the process to wait for
    wchar_t tempFolder[kInstallFolderCapacity] = {};     // always ends with a backslash
    wchar_t programFolder[kInstallFolderCapacity] = {};  // the temporary folder's parent, with a trailing backslash
};

// Parses the whole command line. Platforms that put the program's own name
// first (a desktop, a person starting it by hand) are understood too: a first
// word that is not "@PID" or "PID" is skipped. False for anything else: no
// number, a number beyond 32 bits, no folder, a folder too long, or a folder
// that is not a full path ("X:\..." or "\...") with a parent folder.
bool parseInstallArgs(const wchar_t* commandLine, InstallArgs* out);
