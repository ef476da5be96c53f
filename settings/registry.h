#pragma once
// RegistryKey: the owner of one open registry key. Every registry access of
// both programs goes through one. Each operation is one or two platform calls
// and returns the platform's error code unchanged (0 = ERROR_SUCCESS); no
// caching, no type checks, no logging.
#include <windows.h>

#include <cstdint>

#include "base/status.h"

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Closes the held key, if any; 0 when none was held (no platform call).
    Status Close();

    // RegCreateKeyExW. `disposition`, when given, receives the platform's
    // disposition whether the call succeeded or not. A failure leaves the held
    // key as it was; a success closes it and holds the new one.
    Status Create(HKEY parent, const wchar_t* subKey, wchar_t* keyClass, DWORD options, REGSAM access,
                  SECURITY_ATTRIBUTES* security, DWORD* disposition = nullptr);

    // RegOpenKeyExW; the held key changes only when the open succeeded.
    Status Open(HKEY parent, const wchar_t* subKey, REGSAM access);

    // Reads at most 4 bytes of the value, whatever its type, into
    // `destination`. On failure `destination` is left as it was.
    Status QueryDword(void* destination, const wchar_t* name);

    // Reads the value, whatever its type; `size` is the capacity in bytes on
    // entry and the bytes stored on return.
    Status QueryValue(void* destination, const wchar_t* name, DWORD* size);

    Status SetDword(uint32_t value, const wchar_t* name);      // REG_DWORD
    Status SetString(const wchar_t* text, const wchar_t* name);  // REG_SZ with its terminator

    // The held key, for the few single value writes made directly on it;
    // nullptr when none is held.
    HKEY handle() const { return m_key; }

private:
    HKEY m_key = nullptr;
};
