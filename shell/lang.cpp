#include "shell/lang.h"

#include <windows.h>

#include "shell/config.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the device's texts are UTF-16");

namespace {

constexpr const wchar_t* kResourceType = L"LANG";

struct LoadedText {
    const void* text = nullptr;
    size_t size = 0;
};

Status loadLanguageResource(uint16_t resourceId, LoadedText* loaded) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), kResourceType);
    if (found == nullptr) return GetLastError() ? GetLastError() : ERROR_RESOURCE_NAME_NOT_FOUND;
    HGLOBAL handle = LoadResource(module, found);
    const void* text = handle != nullptr ? LockResource(handle) : nullptr;
    if (text == nullptr) return GetLastError() ? GetLastError() : ERROR_RESOURCE_DATA_NOT_FOUND;
    loaded->text = text;
    loaded->size = SizeofResource(module, found);
    return kStatusOk;
}

}  // namespace

// `lang` is built before g_config (the program defines g_log, lang, g_config
// in this order), so the constructor must not write s_nLanguage: it would be
// written into an object not yet built, and g_config's own constructor then
// sets its default 9 anyway. Start-up calls Init with the stored language,
// which sets s_nLanguage properly.
Language::Language() { select(0, false); }

Status Language::Init(uint16_t languageId) { return select(languageId, true); }

Status Language::select(uint16_t languageId, bool storeInConfig) {
    if (languageId == 0) languageId = GetUserDefaultLangID();
    const LanguageEntry entry = langTableFind(languageId);

    LoadedText loaded;
    Status status = loadLanguageResource(entry.resourceId, &loaded);
    // A program without its language resources keeps what it had rather than
    // losing every text.
    if (status != kStatusOk) return status;

    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_text = loaded.text;
        m_size = loaded.size;
        m_languageId = languageId;
    }
    if (storeInConfig) g_config.s_nLanguage = entry.primaryId;
    return kStatusOk;
}

const wchar_t* Language::GetString(uint32_t id) {
    CopyString(id, m_result, kLanguageTextCapacity + 1);
    return m_result;
}

size_t Language::CopyString(uint32_t id, wchar_t* out, size_t capacity) const {
    const void* text;
    size_t size;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        text = m_text;
        size = m_size;
    }
    return langTextCopy(text, size, id, out, capacity);
}

uint16_t Language::LanguageId() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_languageId;
}

std::wstring languageText(uint32_t id) {
    wchar_t buffer[kLanguageTextCapacity + 1];
    lang.CopyString(id, buffer, kLanguageTextCapacity + 1);
    return buffer;
}
