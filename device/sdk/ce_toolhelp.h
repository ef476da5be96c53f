#pragma once
// The device's tool-help library "TOOLHELP.DLL": declarations written from the
// documented CE tool-help API, for programs that bind it at run time.
//
// The desktop's <tlhelp32.h> uses the same names for a different record
// layout. The CE record is therefore always available as CE_PROCESSENTRY32;
// the bare CE names (PROCESSENTRY32, TH32CS_SNAPPROCESS) are defined only when
// <tlhelp32.h> has not been included first. A translation unit that needs both
// includes <tlhelp32.h> before this header.
#include <windows.h>

#define CE_TH32CS_SNAPHEAPLIST 0x00000001
#define CE_TH32CS_SNAPPROCESS 0x00000002
#define CE_TH32CS_SNAPTHREAD 0x00000004
#define CE_TH32CS_SNAPMODULE 0x00000008
#define CE_TH32CS_SNAPNOHEAPS 0x40000000
#define CE_TH32CS_GETALLMODS 0x80000000

// The CE process entry: the desktop's fields with 32-bit heap identifier,
// followed by the process's memory slot base and access key.
typedef struct tagCE_PROCESSENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    DWORD th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    WCHAR szExeFile[MAX_PATH];
    DWORD th32MemoryBase;
    DWORD th32AccessKey;
} CE_PROCESSENTRY32, *LPCE_PROCESSENTRY32;

#ifndef _INC_TOOLHELP32
#define TH32CS_SNAPHEAPLIST CE_TH32CS_SNAPHEAPLIST
#define TH32CS_SNAPPROCESS CE_TH32CS_SNAPPROCESS
#define TH32CS_SNAPTHREAD CE_TH32CS_SNAPTHREAD
#define TH32CS_SNAPMODULE CE_TH32CS_SNAPMODULE
#define TH32CS_SNAPNOHEAPS CE_TH32CS_SNAPNOHEAPS
typedef CE_PROCESSENTRY32 PROCESSENTRY32;
typedef CE_PROCESSENTRY32* LPPROCESSENTRY32;
#endif

// Entries of the device's library (bound by name).
typedef HANDLE(WINAPI* PFN_CreateToolhelp32Snapshot)(DWORD dwFlags, DWORD th32ProcessID);
typedef BOOL(WINAPI* PFN_CloseToolhelp32Snapshot)(HANDLE hSnapshot);
typedef BOOL(WINAPI* PFN_Process32First)(HANDLE hSnapshot, CE_PROCESSENTRY32* lppe);
typedef BOOL(WINAPI* PFN_Process32Next)(HANDLE hSnapshot, CE_PROCESSENTRY32* lppe);
