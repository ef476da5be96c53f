// Helper of the CE library tests, started by them on the device as a program
// of its own:
//   celibs_helper load FILE [ENTRY ORDINAL]  loads FILE as a program binds a
//       library and prints what it found, one fact a line:
//       "loaded PATH" or "failed ERROR", then "byname 0|1", "byordinal 0|1",
//       "same 0|1" (both found and at one address)
//   celibs_helper wait                       runs until it is ended
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cstdlib>
#include <string>

namespace {

int load(int argc, wchar_t** argv) {
    HMODULE module = LoadLibraryW(argv[2]);
    if (!module) {
        wprintf(L"failed %lu\n", GetLastError());
        return 0;
    }
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(module, path, MAX_PATH);
    wprintf(L"loaded %ls\n", path);
    if (argc >= 5) {
        std::wstring wide = argv[3];
        std::string name(wide.begin(), wide.end());
        const auto ordinal = static_cast<WORD>(wcstoul(argv[4], nullptr, 10));
        FARPROC byName = GetProcAddress(module, name.c_str());
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
        wprintf(L"byname %d\nbyordinal %d\nsame %d\n", byName != nullptr, byOrdinal != nullptr,
                byName && byName == byOrdinal);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && wcscmp(argv[1], L"load") == 0) {
        int r = load(argc, argv);
        fflush(stdout);
        return r;
    }
    if (argc >= 2 && wcscmp(argv[1], L"wait") == 0) {
        Sleep(INFINITE);
        return 0;
    }
    fwprintf(stderr, L"usage: celibs_helper load FILE [ENTRY ORDINAL] | wait\n");
    return 2;
}
