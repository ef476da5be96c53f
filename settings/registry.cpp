#include "settings/registry.h"

#include <cstring>
#include <cwchar>

Status RegistryKey::Close() {
    if (m_key == nullptr) return kStatusOk;
    Status result = static_cast<Status>(RegCloseKey(m_key));
    m_key = nullptr;
    return result;
}

Status RegistryKey::Create(HKEY parent, const wchar_t* subKey, wchar_t* keyClass, DWORD options, REGSAM access,
                           SECURITY_ATTRIBUTES* security, DWORD* disposition) {
    HKEY created = nullptr;
    DWORD createdDisposition = 0;
    LONG result =
        RegCreateKeyExW(parent, subKey, 0, keyClass, options, access, security, &created, &createdDisposition);
    if (disposition != nullptr) *disposition = createdDisposition;
    if (result != ERROR_SUCCESS) return static_cast<Status>(result);
    Status closed = Close();
    m_key = created;
    return closed;
}

Status RegistryKey::Open(HKEY parent, const wchar_t* subKey, REGSAM access) {
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExW(parent, subKey, 0, access, &opened);
    if (result != ERROR_SUCCESS) return static_cast<Status>(result);
    Status closed = Close();
    m_key = opened;
    return closed;
}

Status RegistryKey::QueryDword(void* destination, const wchar_t* name) {
    // Through a temporary: a value longer than 4 bytes fails, and the platform
    // may have scribbled on the buffer by then; callers keep their defaults.
    uint8_t value[4] = {};
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG result = RegQueryValueExW(m_key, name, nullptr, &type, value, &size);
    if (result != ERROR_SUCCESS) return static_cast<Status>(result);
    if (destination != nullptr) memcpy(destination, value, size <= sizeof value ? size : sizeof value);
    return kStatusOk;
}

Status RegistryKey::QueryValue(void* destination, const wchar_t* name, DWORD* size) {
    DWORD type = 0;
    return static_cast<Status>(
        RegQueryValueExW(m_key, name, nullptr, &type, static_cast<BYTE*>(destination), size));
}

Status RegistryKey::SetDword(uint32_t value, const wchar_t* name) {
    DWORD data = value;
    return static_cast<Status>(
        RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data));
}

Status RegistryKey::SetString(const wchar_t* text, const wchar_t* name) {
    if (text == nullptr) text = L"";
    DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    return static_cast<Status>(
        RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes));
}
