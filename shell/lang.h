#pragma once
// The current language: one of the five language files carried as resources
// of the type "LANG" in the program's own module, and the lookup of its texts
// by string ID.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/status.h"
#include "shell/lang_text.h"

class Language {
public:
    // Selects the user's default language, as Init(0) does, but leaves
    // g_config alone (see lang.cpp).
    Language();

    // Selects the language of `languageId` (0: the user's default language)
    // and stores its primary language ID in g_config.s_nLanguage. A language
    // outside the table selects English. If the language's resource cannot be
    // found, nothing changes and the platform error is returned.
    Status Init(uint16_t languageId);

    // The text of `id` in the current language, in the object's one result
    // buffer: valid, and unchanged, only until the next GetString. An ID that
    // the file does not hold gives an empty text; a text longer than the
    // buffer is cut. User-interface thread only.
    const wchar_t* GetString(uint32_t id);

    // The text of `id` copied into the caller's buffer of `capacity`
    // characters (terminator included), cut to fit. For callers that need a
    // text beside another, or that run on another thread than the user
    // interface. Returns the number of characters copied.
    size_t CopyString(uint32_t id, wchar_t* out, size_t capacity) const;

    // The 16-bit language ID given to the last successful Init (the user's
    // default for Init(0)).
    uint16_t LanguageId() const;

private:
    Status select(uint16_t languageId, bool storeInConfig);

    // The text's address and size are replaced together by Init while the
    // scan thread may be copying a text.
    mutable std::mutex m_lock;
    const void* m_text = nullptr;  // the resource, never freed
    size_t m_size = 0;             // in bytes
    uint16_t m_languageId = 0;
    wchar_t m_result[kLanguageTextCapacity + 1] = {};
};

// The program's one language object. Defined by the program together with
// g_log and g_config (in that order), never by a library.
extern Language lang;

// Text `id` of `lang`, copied: the texts the scan thread writes (the report's
// text source), looked up while the user interface may use its own buffer.
std::wstring languageText(uint32_t id);
