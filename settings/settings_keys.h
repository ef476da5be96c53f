#pragma once
// The settings key and its values: the one place that names them, shared by
// the settings store, the update (which records the check time) and the
// monitor (which reads "AutoUpdate" and records the check time too).
// Under HKEY_CURRENT_USER, always opened with KEY_ALL_ACCESS.

constexpr const wchar_t kSettingsKeyPath[] = L"Software\\Morvane Software\\ZerbinPDA\\4.1";
// The key above it, which tests remove to start from an empty registry.
constexpr const wchar_t kSettingsVendorKeyPath[] = L"Software\\Morvane Software";

constexpr const wchar_t kValueLanguage[] = L"Language";          // REG_DWORD, primary language ID
constexpr const wchar_t kValueStorageCard[] = L"StorageCard";    // REG_DWORD, lowest byte: 0 off
constexpr const wchar_t kValueAutoUpdate[] = L"AutoUpdate";      // REG_DWORD, lowest byte: 0 off
constexpr const wchar_t kValueReport[] = L"Report";              // REG_DWORD, report level bits
constexpr const wchar_t kValueScanArchives[] = L"ScanArchives";  // REG_DWORD, lowest byte: 0 off (no control)
constexpr const wchar_t kValueUpdateLastCheck[] = L"UpdateLastCheck";  // REG_BINARY, 8-byte OLE date, UTC

constexpr unsigned kUpdateLastCheckSize = 8;
