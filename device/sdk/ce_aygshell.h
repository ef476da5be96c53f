#pragma once
// The device's shell helper library "AygShell.dll": declarations written from
// the documented CE shell API, for programs that bind the library at run time
// (LoadLibraryW, then GetProcAddress by name, then by ordinal).
#include <windows.h>

// SHDoneButton states: the title bar's OK button.
#define SHDB_SHOW 0x0001
#define SHDB_HIDE 0x0002
#define SHDB_SHOWCANCEL 0x0004

// SHFullScreen states. Only the input-panel button flags act on this device.
#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// SHHandleWMActivate flags.
#define SHA_INPUTDIALOG 0x00000001

// SHCreateMenuBar flags (SHMENUBARINFO.dwFlags).
#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK 0x0008
#define SHCMBF_HMENU 0x0010

// What SHHandleWMActivate keeps between calls; the caller zeroes it and sets
// cbSize before the first call.
typedef struct tagSHACTIVATEINFO {
    DWORD cbSize;
    HWND hwndLastFocus;
    UINT fSipUp : 1;
    UINT fSipOnDeactivation : 1;
    UINT fActive : 1;
    UINT fReserved : 29;
} SHACTIVATEINFO, *PSHACTIVATEINFO;

// The request of SHCreateMenuBar; hwndMB receives the menu bar.
typedef struct tagSHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
    COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

// Entries and their ordinals in the device's library.
typedef BOOL(WINAPI* PFN_SHDoneButton)(HWND hwndRequester, DWORD dwState);
typedef BOOL(WINAPI* PFN_SHFullScreen)(HWND hwndRequester, DWORD dwState);
typedef BOOL(WINAPI* PFN_SHHandleWMActivate)(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* psai,
                                             DWORD dwFlags);
typedef BOOL(WINAPI* PFN_SHCreateMenuBar)(SHMENUBARINFO* pmbi);
typedef HWND(WINAPI* PFN_SHFindMenuBar)(HWND hwnd);

#define AYGSHELL_ORDINAL_SHCreateMenuBar 34
#define AYGSHELL_ORDINAL_SHFullScreen 65
#define AYGSHELL_ORDINAL_SHDoneButton 69
#define AYGSHELL_ORDINAL_SHHandleWMActivate 84
#define AYGSHELL_ORDINAL_SHFindMenuBar 188

// Window classes of this device's shell, for tools that look for them from
// outside: the input panel's button (touch-screen devices only) and the menu
// bar window that SHCreateMenuBar creates (it holds a "ToolbarWindow32").
#define ZB_SIPBUTTON_CLASS L"MS_SIPBUTTON"
#define ZB_MENUBAR_CLASS L"ZbMenuBar"
